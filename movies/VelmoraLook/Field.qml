// A one-line text field of the dialogs: a frame that shows focus and hover, a
// placeholder while it is empty, Tab to |tabTarget|, and Enter and Escape
// reported as accepted() and cancelled().
import QtQuick

Rectangle {
    id: field
    property alias input: textInput
    property string placeholder
    property Item tabTarget: null
    signal edited(string text)
    signal accepted()
    signal cancelled()

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
        Keys.onReturnPressed: field.accepted()
        Keys.onEnterPressed: field.accepted()
        Keys.onEscapePressed: field.cancelled()
    }
    Text {
        anchors.left: textInput.left
        anchors.right: textInput.right
        anchors.verticalCenter: parent.verticalCenter
        visible: textInput.text === "" && !textInput.activeFocus
        text: field.placeholder
        color: "#a3adc2"
        font.pixelSize: 13
        elide: Text.ElideRight
    }
}
