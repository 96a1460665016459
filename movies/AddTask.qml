// The add-task dialog: a name, a program (typed, or chosen with Browse) and one of
// the startup locations. The program reads taskName, taskLocation and
// selectedSLoc when "Add" is pressed; it writes taskLocation and taskLocFlag after
// a file was chosen, and has32BitView ("1" on a 64-bit system, which offers the
// machine's Run and RunOnce of 32-bit programs too) when the dialog opens.
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
    property string has32BitView: "0"

    readonly property int selected: {
        const n = parseInt(selectedSLoc, 10)
        return isNaN(n) ? 0 : n
    }

    width: 440
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

    // ---- building blocks ----------------------------------------------------------

    component Field: Rectangle {
        id: field
        property alias input: textInput
        property string placeholder
        property Item tabTarget: null
        signal edited(string text)
        height: 30
        radius: 4
        color: Look.field
        border.color: textInput.activeFocus ? Look.accent : (fieldArea.containsMouse ? "#8d99b3" : Look.fieldEdge)
        border.width: textInput.activeFocus ? 2 : 1
        MouseArea {
            id: fieldArea
            anchors.fill: parent
            hoverEnabled: true
            cursorShape: Qt.IBeamCursor
            onPressed: (mouse) => { textInput.forceActiveFocus(); mouse.accepted = false }
        }
        TextInput {
            id: textInput
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
            onTextEdited: field.edited(text)
            Keys.onTabPressed: if (field.tabTarget) field.tabTarget.input.forceActiveFocus()
            Keys.onBacktabPressed: if (field.tabTarget) field.tabTarget.input.forceActiveFocus()
            Keys.onReturnPressed: root.send("ID_Fs_add")
            Keys.onEnterPressed: root.send("ID_Fs_add")
            Keys.onEscapePressed: root.send("ID_Fs_cancel")
        }
        Text {
            anchors.left: textInput.left
            anchors.verticalCenter: parent.verticalCenter
            visible: textInput.text === "" && !textInput.activeFocus
            text: field.placeholder
            color: "#a3adc2"
            font.pixelSize: 13
        }
    }

    component LocationTile: Rectangle {
        id: tile
        property int location
        property string label
        property string detail
        readonly property bool chosen: root.selected === location
        width: parent.width
        height: 40
        radius: 5
        color: chosen ? Look.tileSelected : tileArea.pressed ? Look.neutral : tileArea.containsMouse ? Look.tileHover : Look.tile
        border.color: chosen ? Look.accent : Look.fieldEdge
        border.width: chosen ? 2 : 1
        Behavior on color { ColorAnimation { duration: 90 } }
        Rectangle {
            id: dot
            x: 10
            anchors.verticalCenter: parent.verticalCenter
            width: 16; height: 16; radius: 8
            color: "white"
            border.color: tile.chosen ? Look.accent : "#8d99b3"
            border.width: tile.chosen ? 5 : 1
        }
        Text {
            x: 34; y: 5
            width: parent.width - 40
            text: tile.label
            color: Look.cardText
            font.pixelSize: 12
            font.bold: true
            elide: Text.ElideRight
        }
        Text {
            x: 34; y: 21
            width: parent.width - 40
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
            onClicked: root.selectedSLoc = String(tile.location)
        }
    }

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
        Row {
            id: locations
            x: 16
            y: whereLabel.y + whereLabel.height + 6
            width: parent.width - 32
            spacing: 10
            Column {
                width: (locations.width - locations.spacing) / 2
                spacing: 6
                Text {
                    text: "LOCAL MACHINE \u00b7 ALL USERS"
                    color: "#6577a8"
                    font.pixelSize: 9
                    font.bold: true
                    font.letterSpacing: 1.1
                }
                LocationTile { objectName: "location0"; location: 0; label: "Run"; detail: "At every logon" }
                LocationTile { objectName: "location1"; location: 1; label: "RunOnce"; detail: "At the next logon only" }
                LocationTile { objectName: "location2"; location: 2; label: "Startup folder"; detail: "A shortcut for every user" }
                LocationTile {
                    objectName: "location6"; location: 6; visible: root.has32BitView === "1"
                    label: "Run (32-bit)"; detail: "At every logon, as 32-bit programs do"
                }
                LocationTile {
                    objectName: "location7"; location: 7; visible: root.has32BitView === "1"
                    label: "RunOnce (32-bit)"; detail: "At the next logon only, 32-bit"
                }
            }
            Column {
                width: (locations.width - locations.spacing) / 2
                spacing: 6
                Text {
                    text: "CURRENT USER"
                    color: "#6577a8"
                    font.pixelSize: 9
                    font.bold: true
                    font.letterSpacing: 1.1
                }
                LocationTile { objectName: "location3"; location: 3; label: "Run"; detail: "At every logon" }
                LocationTile { objectName: "location4"; location: 4; label: "RunOnce"; detail: "At the next logon only" }
                LocationTile { objectName: "location5"; location: 5; label: "Startup folder"; detail: "A shortcut for you" }
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
