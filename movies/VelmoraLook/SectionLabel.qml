// The small capital heading of a group in the main movie's side panel.
import QtQuick

Text {
    x: 16
    color: Look.sectionText
    font.pixelSize: 10
    font.bold: true
    font.letterSpacing: 1.2
}
