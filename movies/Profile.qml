// The profile dialog: the saved profiles, one to load or remove. The program sets
// strProfilesNames ("Home|Work|Test") and then bProfileUpdate to "1", whereupon the
// list is read again.
import QtQuick

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

    QtObject {
        id: look
        readonly property color chrome: "#0e1f56"
        readonly property color chromeEdge: "#24418f"
        readonly property color titleText: "#e9efff"
        readonly property color card: "#f7f9fc"
        readonly property color cardText: "#1c2640"
        readonly property color cardSubtle: "#69758f"
        readonly property color fieldEdge: "#b9c3d8"
        readonly property color accent: "#2f6df6"
        readonly property color accentHover: "#4a82ff"
        readonly property color accentPressed: "#2256c9"
        readonly property color neutral: "#e3e8f2"
        readonly property color neutralHover: "#d3dbea"
        readonly property color neutralPressed: "#c1cbe0"
        readonly property color rowHover: "#eef3ff"
        readonly property color error: "#e0393e"
        readonly property color errorPressed: "#b8272c"
    }

    width: 420
    height: titleBar.height + body.height + 2
    color: look.chrome
    border.color: look.chromeEdge
    border.width: 1
    focus: true

    Keys.onUpPressed: moveSelection(-1)
    Keys.onDownPressed: moveSelection(1)
    Keys.onReturnPressed: confirmingRemove ? remove() : load()
    Keys.onEnterPressed: confirmingRemove ? remove() : load()
    Keys.onDeletePressed: askRemove()
    Keys.onEscapePressed: confirmingRemove ? (confirmingRemove = false) : send("ID_FS_Exit")

    component DialogButton: Rectangle {
        id: button
        property string label
        property bool primary: false
        property bool danger: false
        property bool active: true
        signal clicked()
        implicitWidth: Math.max(84, caption.implicitWidth + 28)
        implicitHeight: 30
        radius: 5
        opacity: active ? 1.0 : 0.4
        color: danger ? (area.pressed ? look.errorPressed : area.containsMouse ? "#ea5a5e" : look.error)
               : primary ? (!active ? look.accent : area.pressed ? look.accentPressed : area.containsMouse ? look.accentHover : look.accent)
               : (!active ? look.neutral : area.pressed ? look.neutralPressed : area.containsMouse ? look.neutralHover : look.neutral)
        border.color: danger ? "#b8272c" : primary ? "#1d4fc0" : look.fieldEdge
        border.width: 1
        Behavior on color { ColorAnimation { duration: 90 } }
        Text {
            id: caption
            anchors.centerIn: parent
            text: button.label
            color: button.primary || button.danger ? "white" : look.cardText
            font.pixelSize: 13
            font.bold: button.primary || button.danger
        }
        MouseArea {
            id: area
            anchors.fill: parent
            enabled: button.active
            hoverEnabled: true
            cursorShape: Qt.PointingHandCursor
            onClicked: button.clicked()
        }
    }

    // ---- title bar ---------------------------------------------------------------------
    Rectangle {
        id: titleBar
        objectName: "titleBar"
        x: 1; y: 1
        width: parent.width - 2
        height: 34
        gradient: Gradient {
            GradientStop { position: 0.0; color: "#1b3481" }
            GradientStop { position: 1.0; color: "#132767" }
        }
        MouseArea {
            anchors.fill: parent
            onPressed: root.send("IDC_FS_drag")
        }
        Text {
            anchors.left: parent.left
            anchors.leftMargin: 12
            anchors.verticalCenter: parent.verticalCenter
            text: "Profiles"
            color: look.titleText
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
            color: closeArea.pressed ? "#a82a2e" : closeArea.containsMouse ? look.error : "transparent"
            Text {
                anchors.centerIn: parent
                text: "\u2715"
                color: look.titleText
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
        color: look.card

        Text {
            id: intro
            x: 16; y: 14
            width: parent.width - 32
            text: "Loading a profile sets every entry as the profile keeps it. Nothing changes until you apply."
            color: look.cardSubtle
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
            border.color: look.fieldEdge
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
                    color: chosen ? look.accent : rowArea.pressed ? look.neutral : rowArea.containsMouse ? look.rowHover : "transparent"
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
                        color: row.chosen ? "white" : look.accent
                        font.pixelSize: 12
                    }
                    Text {
                        x: 42
                        anchors.verticalCenter: parent.verticalCenter
                        width: parent.width - 54
                        text: row.modelData
                        color: row.chosen ? "white" : look.cardText
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
                    color: look.cardText
                    font.pixelSize: 14
                    font.bold: true
                }
                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "Save the current entries as a profile first."
                    color: look.cardSubtle
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
                    objectName: "ID_FS_Exit"
                    label: "Close"
                    onClicked: root.send("ID_FS_Exit")
                }
                DialogButton {
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
                    id: keep
                    objectName: "keepProfile"
                    anchors.right: confirm.left
                    anchors.rightMargin: 8
                    anchors.verticalCenter: parent.verticalCenter
                    label: "Keep"
                    onClicked: root.confirmingRemove = false
                }
                DialogButton {
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
