// A command of the main movie's side panel: a glyph and a label; an inactive
// one is faded and takes no clicks.
import QtQuick

Rectangle {
    id: side
    property string label
    property string glyph
    property string command
    property bool active: true
    signal clicked()
    x: 6
    width: parent.width - 12
    height: 26
    radius: 4
    opacity: active ? 1.0 : 0.4
    color: !active ? "transparent" : sideArea.pressed ? Look.pressed : sideArea.containsMouse ? Look.hover : "transparent"
    Behavior on color { ColorAnimation { duration: 90 } }
    Text {
        x: 10
        width: 16
        anchors.verticalCenter: parent.verticalCenter
        horizontalAlignment: Text.AlignHCenter
        text: side.glyph
        color: Look.subtleText
        font.pixelSize: 12
    }
    Text {
        x: 32
        anchors.verticalCenter: parent.verticalCenter
        text: side.label
        color: Look.text
        font.pixelSize: 12
    }
    MouseArea {
        id: sideArea
        anchors.fill: parent
        enabled: side.active
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: side.clicked()
    }
}
