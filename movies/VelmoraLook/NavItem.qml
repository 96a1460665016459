// One view of the main movie's list of views, indented by |depth|, with an image
// of 16 x 16 pixels before its label when |image| names one; the movie marks the
// current one through |selected|.
import QtQuick

Rectangle {
    id: nav
    property string label
    property string command
    property int view: 0
    property int depth: 0
    property bool selected: false
    property string image
    signal clicked()
    x: 6
    width: parent.width - 12
    height: 23
    radius: 4
    color: selected ? Look.selected : navArea.pressed ? Look.pressed : navArea.containsMouse ? Look.hover : "transparent"
    Behavior on color { ColorAnimation { duration: 90 } }
    Rectangle {
        visible: nav.depth > 0
        x: 8 + (nav.depth - 1) * 14
        anchors.verticalCenter: parent.verticalCenter
        width: 5; height: 5; radius: 2.5
        color: nav.selected ? "white" : Look.sectionText
    }
    Image {
        id: navImage
        visible: nav.image !== ""
        x: 10 + nav.depth * 14
        anchors.verticalCenter: parent.verticalCenter
        width: 16; height: 16
        sourceSize: Qt.size(32, 32)
        source: nav.image
    }
    Text {
        x: 10 + nav.depth * 14 + (navImage.visible ? 20 : 0)
        anchors.verticalCenter: parent.verticalCenter
        text: nav.label
        color: nav.selected ? "white" : Look.text
        font.pixelSize: 12
        font.bold: nav.depth === 0 || nav.selected
    }
    MouseArea {
        id: navArea
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: nav.clicked()
    }
}
