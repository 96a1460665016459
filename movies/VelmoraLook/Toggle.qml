// An on/off setting of the main movie's side panel. A click flips it and then
// reports the click.
import QtQuick

Item {
    id: toggle
    property string label
    property string command
    property bool on: false
    signal clicked()
    x: 6
    width: parent.width - 12
    height: 26
    Rectangle {
        anchors.fill: parent
        radius: 4
        color: toggleArea.pressed ? Look.pressed : toggleArea.containsMouse ? Look.hover : "transparent"
        Behavior on color { ColorAnimation { duration: 90 } }
    }
    Text {
        x: 10
        anchors.verticalCenter: parent.verticalCenter
        width: parent.width - track.width - 24
        text: toggle.label
        color: Look.text
        font.pixelSize: 12
        elide: Text.ElideRight
    }
    Rectangle {
        id: track
        anchors.right: parent.right
        anchors.rightMargin: 8
        anchors.verticalCenter: parent.verticalCenter
        width: 30; height: 16; radius: 8
        color: toggle.on ? Look.ok : "#3a4f86"
        Behavior on color { ColorAnimation { duration: 120 } }
        Rectangle {
            width: 12; height: 12; radius: 6
            y: 2
            x: toggle.on ? parent.width - width - 2 : 2
            color: "white"
            Behavior on x { NumberAnimation { duration: 120 } }
        }
    }
    MouseArea {
        id: toggleArea
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: {
            toggle.on = !toggle.on
            toggle.clicked()
        }
    }
}
