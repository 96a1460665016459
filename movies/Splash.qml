// The splash: shown while the main window reads the startup entries. Plays once
// (play(0) starts it) and then tells its player that it has finished.
import QtQuick
import "VelmoraLook"

Rectangle {
    id: root

    signal finished()

    function play(frame) {
        intro.stop()
        progress.width = 0
        intro.start()
    }

    width: 380
    height: 220
    radius: 10
    border.color: Look.quietHover
    border.width: 1
    gradient: Gradient {
        GradientStop { position: 0.0; color: "#1f3b8f" }
        GradientStop { position: 1.0; color: "#081238" }
    }

    Image {
        id: logo
        x: 32
        y: 44
        width: 72; height: 72
        source: "image://res/icon128_128.png"
        sourceSize: Qt.size(128, 128)
        smooth: true
    }
    Text {
        id: name
        anchors.left: logo.right
        anchors.leftMargin: 20
        y: 50
        text: "Velmora"
        color: Look.titleText
        font.pixelSize: 32
        font.bold: true
    }
    Text {
        anchors.left: name.left
        anchors.top: name.bottom
        anchors.topMargin: 2
        text: "See and decide what starts with Windows"
        width: root.width - x - 24
        wrapMode: Text.Wrap
        color: Look.subtleText
        font.pixelSize: 12
    }

    Rectangle {
        id: bar
        x: 32
        y: 160
        width: parent.width - 64
        height: 6
        radius: 3
        color: "#1a2f73"
        Rectangle {
            id: progress
            height: parent.height
            radius: 3
            width: 0
            gradient: Gradient {
                orientation: Gradient.Horizontal
                GradientStop { position: 0.0; color: Look.accent }
                GradientStop { position: 1.0; color: "#ffa81c" }
            }
        }
    }
    Text {
        x: 32
        anchors.top: bar.bottom
        anchors.topMargin: 10
        text: "Reading the startup entries\u2026"
        color: Look.sectionText
        font.pixelSize: 11
    }

    SequentialAnimation {
        id: intro
        NumberAnimation { target: progress; property: "width"; from: 0; to: bar.width; duration: 1500; easing.type: Easing.InOutQuad }
        PauseAnimation { duration: 250 }
        ScriptAction { script: root.finished() }
    }
}
