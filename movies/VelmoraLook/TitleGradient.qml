// The fill of a dialog's title bar.
import QtQuick

Gradient {
    GradientStop { position: 0.0; color: Look.titleTop }
    GradientStop { position: 1.0; color: Look.titleBottom }
}
