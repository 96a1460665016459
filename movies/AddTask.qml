// The add-entry dialog: a name, a program (typed, or chosen with Browse) and one
// of the startup locations. The program reads taskName, taskLocation and
// selectedSLoc when "Add" is pressed; it writes taskLocation and taskLocFlag after
// a file was chosen, and offeredLocations (the numbers of the locations one can
// add to on this system, joined by "|") when the dialog opens.
import QtQuick
import "VelmoraLook"

Rectangle {
    id: root

    signal fsCommand(string command, string argument)

    // ---- variables the program reads (and, for taskLocation, writes) -----------
    property string taskName: ""
    property string taskLocation: ""
    property string taskLocFlag: "0"
    property string selectedSLoc: "0"
    property string offeredLocations: "0|1|2|3|4|5"

    readonly property int selected: {
        const n = parseInt(selectedSLoc, 10)
        return isNaN(n) ? 0 : n
    }

    // Every location one may add to: its group, its name and when it starts.
    readonly property var locationInfo: ({
        0: { machine: true, label: "Run", detail: "At every logon" },
        1: { machine: true, label: "RunOnce", detail: "At the next logon only" },
        2: { machine: true, label: "Startup folder", detail: "A shortcut for every user" },
        6: { machine: true, label: "Run", detail: "32-bit, at every logon" },
        7: { machine: true, label: "RunOnce", detail: "32-bit, next logon only" },
        8: { machine: true, label: "RunServices", detail: "At every start" },
        9: { machine: true, label: "RunServicesOnce", detail: "At the next start only" },
        10: { machine: true, label: "RunServices", detail: "32-bit, at every start" },
        11: { machine: true, label: "RunServicesOnce", detail: "32-bit, next start only" },
        3: { machine: false, label: "Run", detail: "At every logon" },
        4: { machine: false, label: "RunOnce", detail: "At the next logon only" },
        5: { machine: false, label: "Startup folder", detail: "A shortcut for you" }
    })
    function offered(machine) {
        const order = machine ? [0, 1, 2, 6, 7, 8, 9, 10, 11] : [3, 4, 5]
        const shown = offeredLocations.split("|").map(n => parseInt(n, 10))
        return order.filter(n => shown.indexOf(n) >= 0)
    }

    width: 540
    height: titleBar.height + body.height + 2
    color: Look.chrome
    border.color: Look.chromeEdge
    border.width: 1

    function send(command) { fsCommand(command, "") }

    // The path field follows what the program writes; after Browse its end, the
    // file's name, is what shows.
    onTaskLocationChanged: if (pathField.input.text !== taskLocation) pathField.input.text = taskLocation
    onTaskNameChanged: if (nameField.input.text !== taskName) nameField.input.text = taskName
    onTaskLocFlagChanged: {
        if (taskLocFlag === "1") {
            pathField.input.cursorPosition = pathField.input.text.length
            if (nameField.input.text === "") nameField.input.forceActiveFocus()
        }
    }

    // The window gives the movie the keyboard: it goes on to the name field.
    onActiveFocusChanged: if (activeFocus) nameField.input.forceActiveFocus()
    Component.onCompleted: nameField.input.forceActiveFocus()

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
            text: "Add a startup entry"
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

    // ---- the fields -----------------------------------------------------------------------
    Rectangle {
        id: body
        x: 1
        y: titleBar.y + titleBar.height
        width: parent.width - 2
        height: buttons.y + buttons.height + 16
        color: Look.card

        Text {
            id: nameLabel
            x: 16; y: 14
            text: "Name"
            color: Look.label
            font.pixelSize: 11
            font.bold: true
        }
        Field {
            id: nameField
            objectName: "taskName_field"
            x: 16
            y: nameLabel.y + nameLabel.height + 4
            width: parent.width - 32
            placeholder: "How the entry is listed, for example Backup helper"
            tabTarget: pathField
            onEdited: (text) => root.taskName = text
            onAccepted: root.send("ID_Fs_add")
            onCancelled: root.send("ID_Fs_cancel")
        }

        Text {
            id: pathLabel
            x: 16
            y: nameField.y + nameField.height + 12
            text: "Program"
            color: Look.label
            font.pixelSize: 11
            font.bold: true
        }
        Field {
            id: pathField
            objectName: "taskLocation_field"
            x: 16
            y: pathLabel.y + pathLabel.height + 4
            width: parent.width - 32 - browse.width - 8
            placeholder: "C:\\Program Files\\App\\app.exe"
            tabTarget: nameField
            onEdited: (text) => root.taskLocation = text
            onAccepted: root.send("ID_Fs_add")
            onCancelled: root.send("ID_Fs_cancel")
        }
        DialogButton {
            onClicked: root.send(command)
            id: browse
            objectName: "ID_Fs_Browser"
            anchors.right: parent.right
            anchors.rightMargin: 16
            y: pathField.y
            implicitWidth: 96
            label: "Browse\u2026"
            command: "ID_Fs_Browser"
        }
        Text {
            id: pathHint
            x: 16
            y: pathField.y + pathField.height + 5
            width: parent.width - 32
            text: "Options may follow the program: \"C:\\Tools\\sync.exe\" /quiet"
            color: Look.cardSubtle
            font.pixelSize: 10
            elide: Text.ElideRight
        }

        Text {
            id: whereLabel
            x: 16
            y: pathHint.y + pathHint.height + 12
            text: "Starts from"
            color: Look.label
            font.pixelSize: 11
            font.bold: true
        }
        // Three tiles a row, the machine's locations first: room for every
        // location there is, at the window's default size too.
        Column {
            id: locations
            x: 16
            y: whereLabel.y + whereLabel.height + 6
            width: parent.width - 32
            spacing: 6
            Repeater {
                model: [true, false]
                Column {
                    id: group
                    required property bool modelData
                    width: locations.width
                    spacing: 5
                    visible: root.offered(group.modelData).length > 0
                    Text {
                        text: group.modelData ? "LOCAL MACHINE \u00b7 ALL USERS" : "CURRENT USER"
                        color: "#6577a8"
                        font.pixelSize: 9
                        font.bold: true
                        font.letterSpacing: 1.1
                    }
                    Grid {
                        id: tiles
                        columns: 3
                        spacing: 6
                        readonly property real tileWidth: (locations.width - 2 * spacing) / 3
                        Repeater {
                            model: root.offered(group.modelData)
                            LocationTile {
                                required property int modelData
                                objectName: "location" + modelData
                                width: tiles.tileWidth
                                location: modelData
                                label: root.locationInfo[modelData].label
                                detail: root.locationInfo[modelData].detail
                                chosen: root.selected === modelData
                                onPicked: root.selectedSLoc = String(modelData)
                            }
                        }
                    }
                }
            }
        }

        Rectangle {
            id: rule
            x: 16
            y: locations.y + locations.height + 14
            width: parent.width - 32
            height: 1
            color: "#e1e6f0"
        }
        Item {
            id: buttons
            x: 16
            y: rule.y + 12
            width: parent.width - 32
            height: 30
            Text {
                anchors.left: parent.left
                anchors.verticalCenter: parent.verticalCenter
                width: parent.width - cancel.width - add.width - 24
                text: "Nothing changes until you apply."
                color: Look.cardSubtle
                font.pixelSize: 11
                elide: Text.ElideRight
            }
            DialogButton {
                onClicked: root.send(command)
                id: cancel
                objectName: "ID_Fs_cancel"
                anchors.right: add.left
                anchors.rightMargin: 8
                label: "Cancel"
                command: "ID_Fs_cancel"
            }
            DialogButton {
                onClicked: root.send(command)
                id: add
                objectName: "ID_Fs_add"
                anchors.right: parent.right
                label: "Add"
                command: "ID_Fs_add"
                primary: true
            }
        }
    }
}
