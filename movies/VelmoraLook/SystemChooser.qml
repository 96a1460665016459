// The main movie's chooser of the Windows it manages, in the title bar: the kind
// and name of the system shown, and under them, in the alert colour, the note
// the program sets when what is shown may lag the system.
import QtQuick

Rectangle {
    id: chooser
    property string kind
    property string name
    property string note
    property bool open: false
    readonly property bool hovered: chooserArea.containsMouse
    signal clicked()
    height: 34
    radius: 6
    color: chooserArea.pressed || open ? Look.pressed : chooserArea.containsMouse ? Look.hover : Look.quiet
    border.color: note !== "" ? Look.alert : Look.chromeEdge
    Behavior on color { ColorAnimation { duration: 90 } }

    KindBadge {
        id: badge
        x: 8
        y: chooser.note === "" ? (chooser.height - height) / 2 : 3
        kind: chooser.kind
    }
    Text {
        objectName: "systemNameText"
        x: badge.x + badge.width + 8
        y: chooser.note === "" ? (chooser.height - height) / 2 : 3
        width: chooser.width - x - 24
        elide: Text.ElideRight
        text: chooser.name
        color: Look.text
        font.pixelSize: 13
        font.bold: true
    }
    Text {
        objectName: "systemNoteText"
        visible: chooser.note !== ""
        x: 8
        y: 19
        width: chooser.width - x - 18
        elide: Text.ElideRight
        text: chooser.note
        color: Look.alert
        font.pixelSize: 10
    }
    Text {
        anchors.right: parent.right
        anchors.rightMargin: 9
        anchors.verticalCenter: parent.verticalCenter
        text: chooser.open ? "\u25b4" : "\u25be"
        color: Look.subtleText
        font.pixelSize: 12
    }
    MouseArea {
        id: chooserArea
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: chooser.clicked()
    }
}
