// A command button of the main movie's list bar and footer, primary (the
// accent) or quiet; an inactive one is faded and takes no clicks. |tip| is the
// hint the movie shows while the mouse is over it.
import QtQuick

Rectangle {
    id: action
    property string label
    property string glyph: ""
    property string command
    property bool active: true
    property bool primary: false
    property int padding: 26
    property string tip: ""
    readonly property bool hovered: actionArea.containsMouse
    signal clicked()
    implicitWidth: content.implicitWidth + padding
    height: 30
    radius: 5
    opacity: active ? 1.0 : 0.38
    color: primary ? (!active ? Look.accent : actionArea.pressed ? Look.accentPressed : actionArea.containsMouse ? Look.accentHover : Look.accent)
                   : (!active ? Look.quiet : actionArea.pressed ? Look.quietPressed : actionArea.containsMouse ? Look.quietHover : Look.quiet)
    border.color: primary ? "#1d4fc0" : Look.panelEdge
    border.width: 1
    Behavior on color { ColorAnimation { duration: 90 } }
    Row {
        id: content
        anchors.centerIn: parent
        spacing: 6
        Text {
            visible: action.glyph !== ""
            text: action.glyph
            color: "white"
            font.pixelSize: 13
            font.bold: true
        }
        Text {
            text: action.label
            color: "white"
            font.pixelSize: 12
            font.bold: action.primary
        }
    }
    MouseArea {
        id: actionArea
        anchors.fill: parent
        enabled: action.active
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: action.clicked()
    }
}
