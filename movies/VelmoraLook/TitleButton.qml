// A button of the main movie's title bar: a glyph on the dark bar, red when it
// closes. |tip| is the hint the movie shows while the mouse is over it.
import QtQuick

Rectangle {
    id: titleButton
    property string glyph
    property string command
    property string tip
    property bool danger: false
    readonly property bool hovered: titleArea.containsMouse
    signal clicked()
    width: 30; height: 28
    radius: 5
    color: titleArea.pressed ? (danger ? "#a82a2e" : Look.pressed)
           : titleArea.containsMouse ? (danger ? Look.danger : Look.hover) : "transparent"
    Behavior on color { ColorAnimation { duration: 90 } }
    Text {
        anchors.centerIn: parent
        text: titleButton.glyph
        color: Look.text
        font.pixelSize: 16
        font.bold: true
    }
    MouseArea {
        id: titleArea
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: titleButton.clicked()
    }
}
