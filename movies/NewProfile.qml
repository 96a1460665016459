// The new-profile dialog: one name. "Save" sends it with "ID_Fs_Save"; the program
// checks it and keeps the dialog open when it cannot be used.
import QtQuick
import "VelmoraLook"

Rectangle {
    id: root

    signal fsCommand(string command, string argument)

    // The name as typed; the program may also preset it.
    property string profileName: ""

    width: 400
    height: titleBar.height + body.height + 2
    color: Look.chrome
    border.color: Look.chromeEdge
    border.width: 1

    function send(command, argument) { fsCommand(command, argument === undefined ? "" : argument) }
    function save() { send("ID_Fs_Save", nameInput.text) }

    onProfileNameChanged: if (nameInput.text !== profileName) nameInput.text = profileName
    onActiveFocusChanged: if (activeFocus) nameInput.forceActiveFocus()
    Component.onCompleted: nameInput.forceActiveFocus()

    // ---- title bar -------------------------------------------------------------------
    Rectangle {
        id: titleBar
        objectName: "titleBar"
        x: 1; y: 1
        width: parent.width - 2
        height: 34
        gradient: TitleGradient {}
        MouseArea {
            anchors.fill: parent
            onPressed: root.send("IDC_FS_drag")
        }
        Text {
            anchors.left: parent.left
            anchors.leftMargin: 12
            anchors.verticalCenter: parent.verticalCenter
            text: "Save as profile"
            color: Look.titleText
            font.pixelSize: 13
            font.bold: true
        }
        Rectangle {
            objectName: "closeButton"
            anchors.right: parent.right
            anchors.rightMargin: 4
            anchors.verticalCenter: parent.verticalCenter
            width: 26; height: 24
            radius: 4
            color: closeArea.pressed ? "#a82a2e" : closeArea.containsMouse ? Look.error : "transparent"
            Text {
                anchors.centerIn: parent
                text: "\u2715"
                color: Look.titleText
                font.pixelSize: 13
            }
            MouseArea {
                id: closeArea
                anchors.fill: parent
                hoverEnabled: true
                onClicked: root.send("ID_Fs_cancel")
            }
        }
    }

    // ---- body ------------------------------------------------------------------------
    Rectangle {
        id: body
        x: 1
        y: titleBar.y + titleBar.height
        width: parent.width - 2
        height: buttons.y + buttons.height + 16
        color: Look.card

        Text {
            id: intro
            x: 16; y: 14
            width: parent.width - 32
            text: "Keeps the entries as the list shows them now, enabled and disabled, under a name you can load again later."
            color: Look.cardSubtle
            font.pixelSize: 12
            lineHeight: 1.15
            wrapMode: Text.Wrap
        }
        Text {
            id: nameLabel
            x: 16
            y: intro.y + intro.height + 12
            text: "Profile name"
            color: Look.label
            font.pixelSize: 11
            font.bold: true
        }
        Rectangle {
            id: field
            objectName: "profileName_field"
            x: 16
            y: nameLabel.y + nameLabel.height + 4
            width: parent.width - 32
            height: 30
            radius: 4
            color: "white"
            border.color: nameInput.activeFocus ? Look.accent : (fieldArea.containsMouse ? "#8d99b3" : Look.fieldEdge)
            border.width: nameInput.activeFocus ? 2 : 1
            MouseArea {
                id: fieldArea
                anchors.fill: parent
                hoverEnabled: true
                cursorShape: Qt.IBeamCursor
                onPressed: (mouse) => { nameInput.forceActiveFocus(); mouse.accepted = false }
            }
            TextInput {
                id: nameInput
                objectName: "profileName_input"
                anchors.fill: parent
                anchors.leftMargin: 9
                anchors.rightMargin: 9
                verticalAlignment: TextInput.AlignVCenter
                clip: true
                color: Look.cardText
                selectionColor: Look.accent
                selectedTextColor: "white"
                selectByMouse: true
                font.pixelSize: 13
                onTextEdited: root.profileName = text
                Keys.onReturnPressed: root.save()
                Keys.onEnterPressed: root.save()
                Keys.onEscapePressed: root.send("ID_Fs_cancel")
            }
            Text {
                anchors.left: nameInput.left
                anchors.verticalCenter: parent.verticalCenter
                visible: nameInput.text === "" && !nameInput.activeFocus
                text: "For example Work or Quiet start"
                color: "#a3adc2"
                font.pixelSize: 13
            }
        }
        Item {
            id: buttons
            x: 16
            y: field.y + field.height + 16
            width: parent.width - 32
            height: 30
            DialogButton {
                objectName: "ID_Fs_cancel"
                anchors.right: saveButton.left
                anchors.rightMargin: 8
                label: "Cancel"
                onClicked: root.send("ID_Fs_cancel")
            }
            DialogButton {
                id: saveButton
                objectName: "ID_Fs_Save"
                anchors.right: parent.right
                label: "Save"
                primary: true
                onClicked: root.save()
            }
        }
    }
}
