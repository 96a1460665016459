// The palette of every movie: the dark chrome around a light card, one accent.
pragma Singleton
import QtQuick

QtObject {
    // chrome: window frames, title bars, the main window's side panel
    readonly property color chrome: "#0e1f56"
    readonly property color chromeEdge: "#24418f"
    readonly property color titleTop: "#1b3481"
    readonly property color titleBottom: "#132767"
    readonly property color titleText: "#e9efff"
    readonly property color subtleText: "#9fb0d8"
    readonly property color panel: "#13245e"
    readonly property color panelEdge: "#24418f"
    readonly property color text: "#e9efff"
    readonly property color sectionText: "#8197cf"
    readonly property color hover: "#1e3782"
    readonly property color pressed: "#0c1a4a"
    readonly property color selected: "#2f6df6"
    readonly property color quiet: "#223d8c"
    readonly property color quietHover: "#2c4ca6"
    readonly property color quietPressed: "#1a3070"

    // the card: dialog bodies and the description pane
    readonly property color card: "#f7f9fc"
    readonly property color cardText: "#1c2640"
    readonly property color cardSubtle: "#69758f"
    readonly property color label: "#3a4866"
    readonly property color field: "#ffffff"
    readonly property color fieldEdge: "#b9c3d8"
    readonly property color tile: "#ffffff"
    readonly property color tileHover: "#eef3ff"
    readonly property color tileSelected: "#e4ecff"
    readonly property color rowHover: "#eef3ff"

    // buttons
    readonly property color accent: "#2f6df6"
    readonly property color accentHover: "#4a82ff"
    readonly property color accentPressed: "#2256c9"
    readonly property color accentEdge: "#1d4fc0"
    readonly property color neutral: "#e3e8f2"
    readonly property color neutralHover: "#d3dbea"
    readonly property color neutralPressed: "#c1cbe0"

    // states
    readonly property color error: "#e0393e"
    readonly property color errorHover: "#ea5a5e"
    readonly property color errorPressed: "#b8272c"
    readonly property color danger: "#e0393e"
    readonly property color alert: "#f2b400"
    readonly property color info: "#2f8cf6"
    readonly property color pending: "#ffb020"
    readonly property color ok: "#3ccf6a"
}
