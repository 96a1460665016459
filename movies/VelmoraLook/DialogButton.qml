// The push button of the dialogs: neutral, primary (the accent) or danger; an
// inactive button is faded and takes no clicks. |command| is for the movie's own
// use in onClicked (most buttons send it as they are).
import QtQuick

Rectangle {
    id: button
    property string label
    property string command
    property bool primary: false
    property bool danger: false
    property bool active: true
    property int minimumWidth: 88
    signal clicked()

    implicitWidth: Math.max(minimumWidth, caption.implicitWidth + 28)
    implicitHeight: 30
    radius: 5
    opacity: active ? 1.0 : 0.4
    color: danger ? (area.pressed ? Look.errorPressed : area.containsMouse ? Look.errorHover : Look.error)
           : primary ? (!active ? Look.accent : area.pressed ? Look.accentPressed
                                 : area.containsMouse ? Look.accentHover : Look.accent)
           : (!active ? Look.neutral : area.pressed ? Look.neutralPressed
                       : area.containsMouse ? Look.neutralHover : Look.neutral)
    border.color: danger ? Look.errorPressed : primary ? Look.accentEdge : Look.fieldEdge
    border.width: 1
    Behavior on color { ColorAnimation { duration: 90 } }

    Text {
        id: caption
        anchors.centerIn: parent
        text: button.label
        color: button.primary || button.danger ? "white" : Look.cardText
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
