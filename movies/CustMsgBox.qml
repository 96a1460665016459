// The message box: title, icon for the kind, message, an optional check box and
// one or two buttons. Reports its size to the window, which follows it.
import QtQuick
import "VelmoraLook"

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

    width: 380
    height: titleBar.height + body.implicitHeight + 2
    color: Look.chrome
    border.color: Look.chromeEdge
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

    // ---- title bar: drag area and close button ----------------------------------
    Rectangle {
        id: titleBar
        objectName: "titleBar"
        x: 1; y: 1
        width: parent.width - 2
        height: 32
        gradient: TitleGradient {}
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
            color: Look.titleText
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
        color: Look.card

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
                        color: icon.kind === "error" ? Look.error : Look.info
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
                        color: Look.alert
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
                    color: Look.cardText
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
                    color: root.checked ? Look.accent : "white"
                    border.color: root.checked ? Look.accentPressed : (checkArea.containsMouse ? Look.accent : "#8d99b3")
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
                DialogButton {
                    onClicked: root.fsCommand(command, "")
                    minimumWidth: 84
                    objectName: "IDC_FS_OK"
                    anchors.right: root.twoButtons ? cancelButton.left : parent.right
                    anchors.rightMargin: root.twoButtons ? 8 : 0
                    label: root.btnCaption1
                    command: "IDC_FS_OK"
                    primary: true
                }
                DialogButton {
                    onClicked: root.fsCommand(command, "")
                    minimumWidth: 84
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
