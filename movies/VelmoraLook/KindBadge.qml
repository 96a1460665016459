// The kind of a Windows system ("steam", "bottles", "wine", ...) as a small pill.
import QtQuick

Rectangle {
    id: badge
    property string kind
    property bool muted: false
    width: badgeText.implicitWidth + 12
    height: 16
    radius: 8
    color: muted ? Look.quiet : Look.selected
    Text {
        id: badgeText
        anchors.centerIn: parent
        text: badge.kind.toUpperCase()
        color: badge.muted ? Look.subtleText : "white"
        font.pixelSize: 10
        font.bold: true
        font.letterSpacing: 0.8
    }
}
