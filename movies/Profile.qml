// The profile dialog: the saved profiles, one to load or remove. The program sets
// strProfilesNames ("Home|Work|Test") and then bProfileUpdate to "1", whereupon the
// list is read again.
import QtQuick
import "VelmoraLook"

Rectangle {
    id: root

    signal fsCommand(string command, string argument)

    // ---- variables the program sets ------------------------------------------------
    property string strProfilesNames: ""
    property string bProfileUpdate: "0"

    // ---- the movie's own state -----------------------------------------------------------
    property var names: []
    property string selectedName: ""
    property bool confirmingRemove: false
    readonly property bool hasSelection: selectedName !== ""

    function readNames() {
        const list = strProfilesNames.split("|").filter(function (name) { return name !== "" })
        names = list
        if (list.indexOf(selectedName) < 0) selectedName = list.length > 0 ? list[0] : ""
        confirmingRemove = false
    }
    onBProfileUpdateChanged: {
        if (bProfileUpdate === "1") {
            readNames()
            bProfileUpdate = "0"
        }
    }
    Component.onCompleted: readNames()

    function send(command, argument) { fsCommand(command, argument === undefined ? "" : argument) }
    function load() { if (hasSelection) send("ID_Fs_loadProfile", selectedName) }
    function askRemove() { if (hasSelection) confirmingRemove = true }
    function remove() {
        if (!hasSelection) return
        confirmingRemove = false
        send("ID_Fs_removeProfile", selectedName)
    }
    function moveSelection(step) {
        if (names.length === 0) return
        let i = names.indexOf(selectedName) + step
        i = Math.max(0, Math.min(names.length - 1, i))
        selectedName = names[i]
        list.positionViewAtIndex(i, ListView.Contain)
    }

    width: 420
    height: titleBar.height + body.height + 2
    color: Look.chrome
    border.color: Look.chromeEdge
    border.width: 1
    focus: true

    Keys.onUpPressed: moveSelection(-1)
    Keys.onDownPressed: moveSelection(1)
    Keys.onReturnPressed: confirmingRemove ? remove() : load()
    Keys.onEnterPressed: confirmingRemove ? remove() : load()
    Keys.onDeletePressed: askRemove()
    Keys.onEscapePressed: confirmingRemove ? (confirmingRemove = false) : send("ID_FS_Exit")

    // ---- title bar ---------------------------------------------------------------------
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
            text: "Profiles"
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
                onClicked: root.send("ID_FS_Exit")
            }
        }
    }

    // ---- body -----------------------------------------------------------------------------
    Rectangle {
        id: body
        x: 1
        y: titleBar.y + titleBar.height
        width: parent.width - 2
        height: footer.y + footer.height + 16
        color: Look.card

        Text {
            id: intro
            x: 16; y: 14
            width: parent.width - 32
            text: "Loading a profile sets every entry as the profile keeps it. Nothing changes until you apply."
            color: Look.cardSubtle
            font.pixelSize: 12
            lineHeight: 1.15
            wrapMode: Text.Wrap
        }

        Rectangle {
            id: frame
            objectName: "profileFrame"
            x: 16
            y: intro.y + intro.height + 10
            width: parent.width - 32
            height: 5 * 34 + 2
            radius: 5
            color: "white"
            border.color: Look.fieldEdge
            clip: true

            ListView {
                id: list
                objectName: "profileList"
                anchors.fill: parent
                anchors.margins: 1
                model: root.names
                boundsBehavior: Flickable.StopAtBounds
                delegate: Rectangle {
                    id: row
                    required property string modelData
                    required property int index
                    readonly property bool chosen: root.selectedName === modelData
                    objectName: "profile_" + modelData
                    width: ListView.view.width
                    height: 34
                    color: chosen ? Look.accent : rowArea.pressed ? Look.neutral : rowArea.containsMouse ? Look.rowHover : "transparent"
                    Rectangle {
                        visible: !row.chosen && row.index > 0
                        width: parent.width - 20; height: 1
                        x: 10
                        color: "#eef1f6"
                    }
                    Rectangle {
                        id: badge
                        x: 10
                        anchors.verticalCenter: parent.verticalCenter
                        width: 22; height: 22; radius: 5
                        color: row.chosen ? "#ffffff" : "#e4ecff"
                        opacity: row.chosen ? 0.25 : 1.0
                    }
                    Text {
                        anchors.centerIn: badge
                        text: "\u2630"
                        color: row.chosen ? "white" : Look.accent
                        font.pixelSize: 12
                    }
                    Text {
                        x: 42
                        anchors.verticalCenter: parent.verticalCenter
                        width: parent.width - 54
                        text: row.modelData
                        color: row.chosen ? "white" : Look.cardText
                        font.pixelSize: 13
                        font.bold: row.chosen
                        elide: Text.ElideRight
                    }
                    MouseArea {
                        id: rowArea
                        anchors.fill: parent
                        hoverEnabled: true
                        cursorShape: Qt.PointingHandCursor
                        onClicked: {
                            root.selectedName = row.modelData
                            root.confirmingRemove = false
                        }
                        onDoubleClicked: {
                            root.selectedName = row.modelData
                            root.load()
                        }
                    }
                }
            }
            Column {
                objectName: "noProfiles"
                visible: root.names.length === 0
                anchors.centerIn: parent
                spacing: 4
                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "No profiles"
                    color: Look.cardText
                    font.pixelSize: 14
                    font.bold: true
                }
                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "Save the current entries as a profile first."
                    color: Look.cardSubtle
                    font.pixelSize: 12
                }
            }
        }

        Item {
            id: footer
            x: 16
            y: frame.y + frame.height + 14
            width: parent.width - 32
            height: 30

            Row {
                visible: !root.confirmingRemove
                anchors.left: parent.left
                spacing: 8
                DialogButton {
                    minimumWidth: 84
                    objectName: "ID_Fs_removeProfile"
                    label: "Remove"
                    active: root.hasSelection
                    onClicked: root.askRemove()
                }
            }
            Row {
                visible: !root.confirmingRemove
                anchors.right: parent.right
                spacing: 8
                DialogButton {
                    minimumWidth: 84
                    objectName: "ID_FS_Exit"
                    label: "Close"
                    onClicked: root.send("ID_FS_Exit")
                }
                DialogButton {
                    minimumWidth: 84
                    objectName: "ID_Fs_loadProfile"
                    label: "Load"
                    primary: true
                    active: root.hasSelection
                    onClicked: root.load()
                }
            }

            // Removing cannot be undone: it is confirmed here first.
            Rectangle {
                objectName: "removeQuestion"
                visible: root.confirmingRemove
                anchors.fill: parent
                anchors.margins: -4
                radius: 6
                color: "#fdecec"
                border.color: "#f3b9bb"
                Text {
                    x: 10
                    anchors.verticalCenter: parent.verticalCenter
                    width: parent.width - keep.width - confirm.width - 36
                    text: "Remove \u201c" + root.selectedName + "\u201d for good?"
                    color: "#7a1d20"
                    font.pixelSize: 12
                    font.bold: true
                    elide: Text.ElideMiddle
                }
                DialogButton {
                    minimumWidth: 84
                    id: keep
                    objectName: "keepProfile"
                    anchors.right: confirm.left
                    anchors.rightMargin: 8
                    anchors.verticalCenter: parent.verticalCenter
                    label: "Keep"
                    onClicked: root.confirmingRemove = false
                }
                DialogButton {
                    minimumWidth: 84
                    id: confirm
                    objectName: "confirmRemove"
                    anchors.right: parent.right
                    anchors.rightMargin: 4
                    anchors.verticalCenter: parent.verticalCenter
                    label: "Remove"
                    danger: true
                    onClicked: root.remove()
                }
            }
        }
    }
}
