// The message box: title, icon for the kind, message, an optional check box and
// one or two buttons. Reports its size to the window, which follows it.
import QtQuick

Rectangle {
    id: root

    signal fsCommand(string command, string argument)

    // ---- variables the program sets (and, for bMsgCheck, reads back) ----------
    property string buttonCount: "1"
    property string showIcon: "alert"
    property string showCheck: "0"
    property string strMsgCheckLabel: "Do not show this message again."
    property string bMsgCheck: "false"
    property string btnCaption1: "OK"
    property string btnCaption2: "Cancel"
    property string bMessageChanged: "false"

    readonly property bool twoButtons: buttonCount === "2"
    readonly property bool checkShown: showCheck === "1"
    readonly property bool checked: bMsgCheck === "true" || bMsgCheck === "1"

    // The program writes "0" or "1"; the box keeps the state as "true" or "false".
    onBMsgCheckChanged: {
        if (bMsgCheck === "1") bMsgCheck = "true"
        else if (bMsgCheck !== "true" && bMsgCheck !== "false") bMsgCheck = "false"
    }
    onBMessageChangedChanged: {
        if (bMessageChanged === "true") {
            bMessageChanged = "false"
            reportSize()
        }
    }

    QtObject {
        id: look
        readonly property color chrome: "#0e1f56"
        readonly property color chromeEdge: "#24418f"
        readonly property color titleText: "#e9efff"
        readonly property color subtleText: "#9fb0d8"
        readonly property color card: "#f7f9fc"
        readonly property color cardText: "#1c2640"
        readonly property color accent: "#2f6df6"
        readonly property color accentHover: "#4a82ff"
        readonly property color accentPressed: "#2256c9"
        readonly property color neutral: "#e3e8f2"
        readonly property color neutralHover: "#d3dbea"
        readonly property color neutralPressed: "#c1cbe0"
        readonly property color alert: "#f2b400"
        readonly property color error: "#e0393e"
        readonly property color info: "#2f8cf6"
    }

    width: 380
    height: titleBar.height + body.implicitHeight + 2
    color: look.chrome
    border.color: look.chromeEdge
    border.width: 1
    focus: true

    function reportSize() {
        fsCommand("IDC_FS_WIDTH", String(Math.round(width)))
        fsCommand("IDC_FS_HEIGHT", String(Math.round(height)))
    }
    onWidthChanged: reportSize()
    onHeightChanged: reportSize()
    Component.onCompleted: reportSize()

    Keys.onReturnPressed: fsCommand("IDC_FS_OK", "")
    Keys.onEnterPressed: fsCommand("IDC_FS_OK", "")

    component BoxButton: Rectangle {
        id: button
        property string label
        property string command
        property bool primary: false
        implicitWidth: Math.max(84, caption.implicitWidth + 28)
        implicitHeight: 30
        radius: 5
        color: primary ? (area.pressed ? look.accentPressed : area.containsMouse ? look.accentHover : look.accent)
                       : (area.pressed ? look.neutralPressed : area.containsMouse ? look.neutralHover : look.neutral)
        border.color: primary ? "#1d4fc0" : "#b9c3d8"
        border.width: 1
        Text {
            id: caption
            anchors.centerIn: parent
            text: button.label
            color: button.primary ? "white" : look.cardText
            font.pixelSize: 13
            font.bold: button.primary
        }
        MouseArea {
            id: area
            anchors.fill: parent
            hoverEnabled: true
            cursorShape: Qt.PointingHandCursor
            onClicked: root.fsCommand(button.command, "")
        }
    }

    // ---- title bar: drag area and close button ----------------------------------
    Rectangle {
        id: titleBar
        objectName: "titleBar"
        x: 1; y: 1
        width: parent.width - 2
        height: 32
        gradient: Gradient {
            GradientStop { position: 0.0; color: "#1b3481" }
            GradientStop { position: 1.0; color: "#132767" }
        }
        MouseArea {
            anchors.fill: parent
            onPressed: root.fsCommand("IDC_FS_drag", "")
        }
        Text {
            objectName: "msgTitle_txt"
            anchors.left: parent.left
            anchors.leftMargin: 12
            anchors.right: closeButton.left
            anchors.rightMargin: 8
            anchors.verticalCenter: parent.verticalCenter
            color: look.titleText
            font.pixelSize: 13
            font.bold: true
            elide: Text.ElideRight
            text: "Velmora"
        }
        Rectangle {
            id: closeButton
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
                onClicked: root.fsCommand("ID_FS_Exit", "")
            }
        }
    }

    // ---- body: icon, message, check box, buttons -------------------------------------
    Rectangle {
        id: body
        x: 1
        y: titleBar.y + titleBar.height
        width: parent.width - 2
        height: implicitHeight
        // Laid out with anchors, not positioners: the size the box reports must be
        // right before the box is first drawn.
        implicitHeight: buttons.y + buttons.height + 16
        color: look.card

        Item {
            id: content
            x: 16; y: 16
            width: parent.width - 32
            height: parent.height - 32

            Item {
                id: messageRow
                objectName: "messageRow"
                width: parent.width
                height: Math.max(icon.height, message.height)

                Item {
                    id: icon
                    objectName: "kindIcon"
                    width: 36; height: 36
                    property string kind: root.showIcon
                    Rectangle {
                        visible: icon.kind !== "alert"
                        anchors.fill: parent
                        radius: width / 2
                        color: icon.kind === "error" ? look.error : look.info
                        Text {
                            anchors.centerIn: parent
                            text: icon.kind === "error" ? "\u2715" : "i"
                            color: "white"
                            font.pixelSize: icon.kind === "error" ? 18 : 22
                            font.bold: true
                            font.family: "DejaVu Serif"
                        }
                    }
                    Rectangle {
                        visible: icon.kind === "alert"
                        anchors.fill: parent
                        radius: width / 2
                        color: look.alert
                        Text {
                            anchors.centerIn: parent
                            text: "!"
                            color: "#2a1d00"
                            font.pixelSize: 24
                            font.bold: true
                        }
                    }
                }

                Text {
                    id: message
                    objectName: "message_txt"
                    x: icon.width + 14
                    y: height < icon.height ? (icon.height - height) / 2 : 0
                    width: parent.width - x
                    text: "Undefined Error"
                    color: look.cardText
                    font.pixelSize: 13
                    lineHeight: 1.15
                    wrapMode: Text.Wrap
                    textFormat: Text.PlainText
                }
            }

            Item {
                id: checkRow
                objectName: "checkRow"
                visible: root.checkShown
                y: messageRow.height + (visible ? 12 : 0)
                width: parent.width
                height: visible ? 22 : 0
                Rectangle {
                    id: checkBox
                    objectName: "checkBox"
                    x: icon.width + 14
                    anchors.verticalCenter: parent.verticalCenter
                    width: 16; height: 16
                    radius: 3
                    color: root.checked ? look.accent : "white"
                    border.color: root.checked ? look.accentPressed : (checkArea.containsMouse ? look.accent : "#8d99b3")
                    border.width: 1
                    Text {
                        anchors.centerIn: parent
                        visible: root.checked
                        text: "\u2713"
                        color: "white"
                        font.pixelSize: 12
                        font.bold: true
                    }
                }
                Text {
                    anchors.left: checkBox.right
                    anchors.leftMargin: 8
                    anchors.right: parent.right
                    anchors.verticalCenter: parent.verticalCenter
                    text: root.strMsgCheckLabel
                    color: "#4a5672"
                    font.pixelSize: 12
                    elide: Text.ElideRight
                }
                MouseArea {
                    id: checkArea
                    anchors.fill: parent
                    anchors.leftMargin: checkBox.x - 4
                    hoverEnabled: true
                    cursorShape: Qt.PointingHandCursor
                    onClicked: root.bMsgCheck = root.checked ? "false" : "true"
                }
            }

            Item {
                id: buttons
                y: checkRow.y + checkRow.height + 16
                width: parent.width
                height: 30
                BoxButton {
                    objectName: "IDC_FS_OK"
                    anchors.right: root.twoButtons ? cancelButton.left : parent.right
                    anchors.rightMargin: root.twoButtons ? 8 : 0
                    label: root.btnCaption1
                    command: "IDC_FS_OK"
                    primary: true
                }
                BoxButton {
                    id: cancelButton
                    objectName: "IDC_FS_Cancel"
                    anchors.right: parent.right
                    visible: root.twoButtons
                    label: root.btnCaption2
                    command: "IDC_FS_Cancel"
                }
            }
        }
    }
}
