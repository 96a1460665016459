// Shows nothing: the movies' engine loads it on its QML thread as soon as it is
// made, so that Qt Quick's types are registered there while the window is built
// rather than when the first movie loads.
import QtQuick

Item {}
