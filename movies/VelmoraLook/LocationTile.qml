// A choice among the startup locations: a round mark, the location's name and a
// line of detail. picked() on a click; |chosen| shows the mark filled.
import QtQuick

Rectangle {
    id: tile
    property int location
    property string label
    property string detail
    property bool chosen: false
    signal picked()

    height: 38
    radius: 5
    color: chosen ? Look.tileSelected : tileArea.pressed ? Look.neutral : tileArea.containsMouse ? Look.tileHover : Look.tile
    border.color: chosen ? Look.accent : Look.fieldEdge
    border.width: chosen ? 2 : 1
    Behavior on color { ColorAnimation { duration: 90 } }
    Rectangle {
        x: 9
        anchors.verticalCenter: parent.verticalCenter
        width: 14; height: 14; radius: 7
        color: "white"
        border.color: tile.chosen ? Look.accent : "#8d99b3"
        border.width: tile.chosen ? 4 : 1
    }
    Text {
        x: 30; y: 4
        width: parent.width - 34
        text: tile.label
        color: Look.cardText
        font.pixelSize: 12
        font.bold: true
        elide: Text.ElideRight
    }
    Text {
        x: 30; y: 20
        width: parent.width - 34
        text: tile.detail
        color: Look.cardSubtle
        font.pixelSize: 10
        elide: Text.ElideRight
    }
    MouseArea {
        id: tileArea
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: tile.picked()
    }
}
