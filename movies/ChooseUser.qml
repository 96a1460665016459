// The choice of a user of an offline Windows installation that has several. The
// program sets strInstallation (the installation's folder) and strUserNames
// ("Ann|Bob"); the movie sends ID_Fs_chooseUser with the name chosen, or
// ID_Fs_cancel.
import QtQuick
import "VelmoraLook"

Rectangle {
    id: root

    signal fsCommand(string command, string argument)

    // ---- variables the program sets ------------------------------------------------
    property string strInstallation: ""
    property string strUserNames: ""

    readonly property var names: strUserNames.split("|").filter(name => name !== "")
    property string selectedName: ""
    onNamesChanged: if (names.indexOf(selectedName) < 0) selectedName = names.length > 0 ? names[0] : ""

    function send(command, argument) { fsCommand(command, argument === undefined ? "" : argument) }
    function choose() { if (selectedName !== "") send("ID_Fs_chooseUser", selectedName) }

    width: 420
    height: titleBar.height + body.height + 2
    color: Look.chrome
    border.color: Look.chromeEdge
    border.width: 1
    focus: true

    Keys.onReturnPressed: choose()
    Keys.onEnterPressed: choose()
    Keys.onEscapePressed: send("ID_Fs_cancel")

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
            text: "Choose the user"
            color: Look.titleText
            font.pixelSize: 13
            font.bold: true
        }
    }

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
            text: "This Windows installation has several users. Whose startup entries do you want to see?"
            wrapMode: Text.Wrap
            color: Look.cardText
            font.pixelSize: 12
        }
        Text {
            id: where
            x: 16
            y: intro.y + intro.height + 4
            width: parent.width - 32
            text: root.strInstallation
            elide: Text.ElideMiddle
            color: Look.cardSubtle
            font.pixelSize: 10
        }
        Grid {
            id: users
            x: 16
            y: where.y + where.height + 12
            columns: 2
            spacing: 6
            Repeater {
                model: root.names
                LocationTile {
                    required property string modelData
                    required property int index
                    objectName: "user_" + modelData
                    width: (body.width - 32 - users.spacing) / 2
                    location: index
                    label: modelData
                    detail: "Users\\" + modelData
                    chosen: root.selectedName === modelData
                    onPicked: root.selectedName = modelData
                }
            }
        }
        Item {
            id: buttons
            x: 16
            y: users.y + users.height + 16
            width: parent.width - 32
            height: 30
            DialogButton {
                id: cancel
                objectName: "ID_Fs_cancel"
                anchors.right: open.left
                anchors.rightMargin: 8
                label: "Cancel"
                command: "ID_Fs_cancel"
                onClicked: root.send(command)
            }
            DialogButton {
                id: open
                objectName: "ID_Fs_chooseUser"
                anchors.right: parent.right
                label: "Open"
                command: "ID_Fs_chooseUser"
                primary: true
                active: root.selectedName !== ""
                onClicked: root.choose()
            }
        }
    }
}
