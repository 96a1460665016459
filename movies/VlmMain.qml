// The main window's movie. It draws everything but the entry list, which the
// program places in front of it in the frame at 215,288 (408 x 255 at the
// window's default size; lower by the growth of the details, "ID_FS_detailsGrow"). The window gives the movie its own size when it is
// resized; the list frame, the header and the footer grow with it.
import QtQuick
import "VelmoraLook"

Rectangle {
    id: root

    signal fsCommand(string command, string argument)

    // ---- variables the program sets -------------------------------------------
    // The four settings arrive as a one-character text when on, "" when off.
    property string showSplash: ""
    property string startWindows: ""
    property string showSavingMsg: ""
    property string showSavProfileMsg: ""
    property string profilesState: "0"
    property string applyState: "0"
    property string refreshState: "0"
    property string rollBackState: "0"
    property string description: ""
    // Why what is shown may lag the system ("" when it does not).
    property string readNote: ""
    property string discripWinState: "0"
    // The managed system: kind, name, a note when what is shown may lag it, and
    // the systems of the machine, one per line: kind, name, folder and problem
    // separated by tabs; currentSystem is the line of the one shown (-1: none).
    property string systemKind: ""
    property string systemName: ""
    property string systemNote: ""
    property string systemList: ""
    property string currentSystem: "-1"

    // ---- the movie's own state ---------------------------------------------------
    property int currentView: 0
    property bool detailsExpanded: false
    property string hint: ""
    // Whether a hint was shown: its box exists from then on.
    property bool hinted: false
    onHintChanged: if (hint !== "") hinted = true
    property bool systemsOpen: false
    // Whether the list of systems has dropped once: its items exist from then on.
    property bool systemsOpened: false
    readonly property var systemRows: systemList === "" ? [] : systemList.split("\n").map(line => line.split("\t"))

    readonly property bool descriptionShown: discripWinState === "1" && description !== ""
    // Whether a description has arrived: the pane's text exists from then on.
    property bool described: false
    onDescriptionChanged: if (description !== "") described = true

    width: 639
    height: 605
    // How much larger than its default size the window is.
    readonly property int extraWidth: Math.max(0, width - 639)
    readonly property int extraHeight: Math.max(0, height - 605)
    gradient: Gradient {
        GradientStop { position: 0.0; color: "#0f2160" }
        GradientStop { position: 1.0; color: "#081238" }
    }

    Component.onCompleted: fsCommand("ID_FS_ShowForm", "")

    function send(command) { fsCommand(command, "") }
    // The hint of a control the mouse entered (|shown|) or left.
    function showTip(tip, shown) {
        if (tip === "") return
        hint = shown ? tip : (hint === tip ? "" : hint)
    }

    // The list of systems drops over the entry list, which the program hides meanwhile.
    function openSystems(open) {
        if (open) send("ID_FS_listSystems")
        if (open) systemsOpened = true
        systemsOpen = open
        send(open ? "ID_FS_hideForm" : "ID_FS_ShowForm")
    }
    function chooseSystem(index) {
        openSystems(false)
        fsCommand("ID_FS_chooseSystem", String(index))
    }

    function chooseView(view, command) {
        currentView = view
        send(command)
    }

    // Grown details take room from the list, which moves down and stays in view
    // with a few rows; the program moves it by the pixels it is told.
    readonly property int detailsGrowth: detailsExpanded ? Math.round((259 + extraHeight) * 0.55) : 0
    onDetailsGrowthChanged: fsCommand("ID_FS_detailsGrow", String(detailsGrowth))

    function setDetailsExpanded(expanded) {
        detailsExpanded = expanded
    }

    // ---- title bar ---------------------------------------------------------------------
    Item {
        id: titleBar
        objectName: "titleBar"
        width: parent.width
        height: 44

        Rectangle {
            anchors.fill: parent
            gradient: Gradient {
                GradientStop { position: 0.0; color: "#1f3b8f" }
                GradientStop { position: 1.0; color: "#152b70" }
            }
        }
        Rectangle {
            anchors.bottom: parent.bottom
            width: parent.width; height: 1
            color: Look.panelEdge
        }
        MouseArea {
            anchors.fill: parent
            onPressed: root.send("IDC_FS_drag")
        }
        Image {
            x: 12
            anchors.verticalCenter: parent.verticalCenter
            width: 28; height: 28
            source: "image://res/icon128_32.png"
            sourceSize: Qt.size(32, 32)
            smooth: true
        }
        Text {
            id: appName
            objectName: "appName"
            x: 48; y: 6
            text: "Velmora"
            color: Look.text
            font.pixelSize: 16
            font.bold: true
        }
        Text {
            objectName: "readNote"
            x: 49
            anchors.top: appName.bottom
            text: root.readNote === "" ? "What starts with Windows" : "What is shown may lag: " + root.readNote
            color: root.readNote === "" ? Look.subtleText : Look.pending
            font.pixelSize: 10
        }
        SystemChooser {
            id: systemChooser
            objectName: "systemChooser"
            x: 196
            anchors.verticalCenter: parent.verticalCenter
            width: Math.max(150, titleButtons.x - x - 12)
            kind: root.systemKind
            name: root.systemName
            note: root.systemNote
            open: root.systemsOpen
            onClicked: root.openSystems(!root.systemsOpen)
            onHoveredChanged: root.showTip(root.systemNote !== "" ? root.systemNote : "Choose the Windows to manage", hovered)
        }
        Row {
            id: titleButtons
            anchors.right: parent.right
            anchors.rightMargin: 8
            anchors.verticalCenter: parent.verticalCenter
            spacing: 2
            TitleButton { objectName: "ID_FS_HELP"; glyph: "?"; command: "ID_FS_HELP"; tip: "Help (F1)"; onClicked: root.send(command); onHoveredChanged: root.showTip(tip, hovered) }
            TitleButton { objectName: "ID_FS_runLiveUpdate"; glyph: "\u2b07"; command: "ID_FS_runLiveUpdate"; tip: "Update definitions\u2026"; onClicked: root.send(command); onHoveredChanged: root.showTip(tip, hovered) }
            TitleButton { objectName: "ID_FS_ABOUTUS"; glyph: "i"; command: "ID_FS_ABOUTUS"; tip: "About Velmora"; onClicked: root.send(command); onHoveredChanged: root.showTip(tip, hovered) }
            Item { width: 10; height: 1 }
            TitleButton { objectName: "ID_FS_MINIMIZE"; glyph: "\u2013"; command: "ID_FS_MINIMIZE"; tip: "Minimise"; onClicked: root.send(command); onHoveredChanged: root.showTip(tip, hovered) }
            TitleButton { objectName: "ID_FS_EXIT"; glyph: "\u2715"; command: "ID_FS_EXIT"; tip: "Close"; danger: true; onClicked: root.send(command); onHoveredChanged: root.showTip(tip, hovered) }
        }
    }

    // A hint under the title buttons, made when the first hint is shown.
    Loader {
        anchors.right: parent.right
        anchors.rightMargin: 10
        y: 46
        z: 10
        active: root.hinted
        sourceComponent: Rectangle {
            objectName: "hint"
            visible: root.hint !== "" && !root.systemsOpen
            width: hintText.implicitWidth + 16
            height: 22
            radius: 4
            color: "#0a153f"
            border.color: Look.panelEdge
            Text {
                id: hintText
                anchors.centerIn: parent
                text: root.hint
                color: Look.text
                font.pixelSize: 11
            }
        }
    }

    // ---- side panel: views, profiles, options ------------------------------------------
    Rectangle {
        id: sidePanel
        x: 8; y: 52
        width: 192
        height: 545 + root.extraHeight
        radius: 8
        color: Look.panel
        border.color: Look.panelEdge

        SectionLabel { y: 12; text: "STARTUP LOCATIONS" }
        Item {
            id: views
            y: 30
            width: parent.width
            // 14 views of 20 pixels: the machine's RunServices keys and its services fit
            // beside the others.
            height: 14 * 20
            NavItem { y: 0;   objectName: "IDC_FS_ALLITEMS";             command: objectName; view: 0;  depth: 0; height: 20; label: "All entries"; selected: root.currentView === view; onClicked: root.chooseView(view, command) }
            NavItem { y: 20;  objectName: "IDC_FS_LOCALMACHINE";         command: objectName; view: 1;  depth: 0; height: 20; label: "Local machine"; selected: root.currentView === view; onClicked: root.chooseView(view, command) }
            NavItem { y: 40;  objectName: "IDC_FS_LOCALREG";             command: objectName; view: 2;  depth: 1; height: 20; label: "Registry"; selected: root.currentView === view; onClicked: root.chooseView(view, command) }
            NavItem { y: 60;  objectName: "IDC_FS_LOCALRUN";             command: objectName; view: 3;  depth: 2; height: 20; label: "Run"; selected: root.currentView === view; onClicked: root.chooseView(view, command) }
            NavItem { y: 80;  objectName: "IDC_FS_LOCALRUNONCE";         command: objectName; view: 4;  depth: 2; height: 20; label: "RunOnce"; selected: root.currentView === view; onClicked: root.chooseView(view, command) }
            NavItem { y: 100; objectName: "IDC_FS_LOCALRUNSERVICES";     command: objectName; view: 11; depth: 2; height: 20; label: "RunServices"; selected: root.currentView === view; onClicked: root.chooseView(view, command) }
            NavItem { y: 120; objectName: "IDC_FS_LOCALRUNSERVICESONCE"; command: objectName; view: 12; depth: 2; height: 20; label: "RunServicesOnce"; selected: root.currentView === view; onClicked: root.chooseView(view, command) }
            NavItem { y: 140; objectName: "IDC_FS_LOCALSTARTFOLDER";     command: objectName; view: 5;  depth: 1; height: 20; label: "Startup folder"; selected: root.currentView === view; onClicked: root.chooseView(view, command) }
            NavItem { y: 160; objectName: "IDC_FS_SERVICES";             command: objectName; view: 13; depth: 1; height: 20; label: "Services"; image: "image://res/service_32.png"; selected: root.currentView === view; onClicked: root.chooseView(view, command) }
            NavItem { y: 180; objectName: "IDC_FS_CURRENTUSER";          command: objectName; view: 6;  depth: 0; height: 20; label: "Current user"; selected: root.currentView === view; onClicked: root.chooseView(view, command) }
            NavItem { y: 200; objectName: "IDC_FS_USERREG";              command: objectName; view: 7;  depth: 1; height: 20; label: "Registry"; selected: root.currentView === view; onClicked: root.chooseView(view, command) }
            NavItem { y: 220; objectName: "IDC_FS_USERRUN";              command: objectName; view: 8;  depth: 2; height: 20; label: "Run"; selected: root.currentView === view; onClicked: root.chooseView(view, command) }
            NavItem { y: 240; objectName: "IDC_FS_USERRUNONCE";          command: objectName; view: 9;  depth: 2; height: 20; label: "RunOnce"; selected: root.currentView === view; onClicked: root.chooseView(view, command) }
            NavItem { y: 260; objectName: "IDC_FS_USERSTARTFOLDER";      command: objectName; view: 10; depth: 1; height: 20; label: "Startup folder"; selected: root.currentView === view; onClicked: root.chooseView(view, command) }
        }

        Rectangle { x: 12; y: 323; width: parent.width - 24; height: 1; color: Look.panelEdge }
        SectionLabel { y: 333; text: "PROFILES" }
        Item {
            y: 351
            width: parent.width
            height: 52
            SideButton { y: 0;  objectName: "ID_FS_SAVEPROFILE"; command: objectName; glyph: "\u21a7"; label: "Save as profile\u2026"; onClicked: root.send(command) }
            SideButton { y: 26; objectName: "ID_Fs_Profile"; command: objectName; glyph: "\u2630"; label: "Manage profiles\u2026"; active: root.profilesState === "1"; onClicked: root.send(command) }
        }

        Rectangle { x: 12; y: 413; width: parent.width - 24; height: 1; color: Look.panelEdge }
        SectionLabel { y: 423; text: "OPTIONS" }
        Item {
            y: 441
            width: parent.width
            height: 4 * 26
            Toggle { y: 0;  objectName: "ID_Fs_showSplash"; command: objectName; label: "Splash at start"; on: root.showSplash.length > 0; onClicked: root.send(command) }
            Toggle { y: 26; objectName: "ID_Fs_startWindows"; command: objectName; label: "Start with Windows"; on: root.startWindows.length > 0; onClicked: root.send(command) }
            Toggle { y: 52; objectName: "ID_Fs_showSavingMsg"; command: objectName; label: "Ask before closing"; on: root.showSavingMsg.length > 0; onClicked: root.send(command) }
            Toggle { y: 78; objectName: "ID_Fs_showSavProfileMsg"; command: objectName; label: "Ask on profile load"; on: root.showSavProfileMsg.length > 0; onClicked: root.send(command) }
        }
    }

    // ---- header of the entries: current view and edits -------------------------------
    Item {
        id: header
        x: 215; y: 50
        width: 408 + root.extraWidth
        height: 48

        // Where the view lies in the tree of the side panel: the path of its parents.
        readonly property var groups: ["STARTUP ENTRIES", "STARTUP ENTRIES", "LOCAL MACHINE",
            "LOCAL MACHINE \u203a REGISTRY", "LOCAL MACHINE \u203a REGISTRY", "LOCAL MACHINE", "STARTUP ENTRIES",
            "CURRENT USER", "CURRENT USER \u203a REGISTRY", "CURRENT USER \u203a REGISTRY", "CURRENT USER",
            "LOCAL MACHINE \u203a REGISTRY", "LOCAL MACHINE \u203a REGISTRY", "LOCAL MACHINE"]
        readonly property var titles: ["All entries", "Local machine", "Registry", "Run", "RunOnce", "Startup folder",
            "Current user", "Registry", "Run", "RunOnce", "Startup folder", "RunServices", "RunServicesOnce",
            "Services"]

        Text {
            objectName: "viewGroup"
            y: 4
            text: header.groups[root.currentView]
            color: Look.sectionText
            font.pixelSize: 10
            font.bold: true
            font.letterSpacing: 1.2
        }
        Text {
            objectName: "viewTitle"
            y: 19
            width: header.width - headerActions.width - 10
            text: header.titles[root.currentView]
            color: Look.text
            font.pixelSize: 16
            font.bold: true
            // The whole heading, in a smaller size where the room is short.
            fontSizeMode: Text.HorizontalFit
            minimumPixelSize: 10
        }
        Row {
            id: headerActions
            anchors.right: parent.right
            y: 14
            spacing: 5
            ActionButton { objectName: "ID_Fs_EnableAll"; command: objectName; label: "Enable all"; padding: 16; tip: "Check every entry of this view"; onClicked: root.send(command); onHoveredChanged: root.showTip(tip, hovered) }
            ActionButton { objectName: "ID_Fs_DisableAll"; command: objectName; label: "Disable all"; padding: 16; tip: "Clear every entry of this view"; onClicked: root.send(command); onHoveredChanged: root.showTip(tip, hovered) }
            ActionButton { objectName: "ID_FS_ADDTASK"; command: objectName; glyph: "+"; label: "Add entry"; primary: true; padding: 18; tip: "Add a program that starts with Windows"; onClicked: root.send(command); onHoveredChanged: root.showTip(tip, hovered) }
        }
    }

    // ---- the description pane -----------------------------------------------------------
    Rectangle {
        id: details
        objectName: "details"
        x: 215
        y: 106
        width: 408 + root.extraWidth
        height: 172 + root.detailsGrowth
        radius: 8
        color: Look.card
        border.color: "#d5dcea"
        z: 2
        Behavior on height { NumberAnimation { duration: 140; easing.type: Easing.OutCubic } }

        Text {
            x: 14; y: 10
            text: "Details"
            color: Look.cardText
            font.pixelSize: 13
            font.bold: true
        }
        Row {
            anchors.right: parent.right
            anchors.rightMargin: 6
            y: 5
            spacing: 2
            Repeater {
                model: [
                    { name: "expandDetails", glyph: root.detailsExpanded ? "\u25b4" : "\u25be", shown: true },
                    { name: "closeDetails", glyph: "\u2715", shown: root.descriptionShown }
                ]
                Rectangle {
                    objectName: modelData.name
                    visible: modelData.shown
                    width: 24; height: 22; radius: 4
                    color: cardButton.pressed ? "#c9d2e4" : cardButton.containsMouse ? "#e3e8f2" : "transparent"
                    Text {
                        anchors.centerIn: parent
                        text: modelData.glyph
                        color: Look.cardSubtle
                        font.pixelSize: 12
                    }
                    MouseArea {
                        id: cardButton
                        anchors.fill: parent
                        hoverEnabled: true
                        cursorShape: Qt.PointingHandCursor
                        onClicked: {
                            if (modelData.name === "expandDetails") root.setDetailsExpanded(!root.detailsExpanded)
                            else root.discripWinState = "0"
                        }
                    }
                }
            }
        }
        Rectangle { x: 12; y: 32; width: parent.width - 24; height: 1; color: "#e1e6f0" }

        // Made when the first description arrives, and kept: the first frame has none.
        Loader {
            anchors.fill: parent
            active: root.described
            sourceComponent: Item {
                Flickable {
                    id: flick
                    x: 14; y: 40
                    width: parent.width - 28
                    height: parent.height - 48
                    clip: true
                    contentWidth: width
                    contentHeight: descriptionText.height
                    boundsBehavior: Flickable.StopAtBounds
                    visible: root.descriptionShown
                    Text {
                        id: descriptionText
                        objectName: "descriptionText"
                        width: flick.width
                        // Each field line of a description begins with a run of dashes meant
                        // to fill one line of a pane of fixed width; here every field has its
                        // own line anyway, so the run is left out.
                        // A closing note needs no blank line before its own paragraph.
                        text: root.description.replace(/<font color ?= ?'#cccc99'>-+<\/font>/g, "")
                                              .replace(/<br>\s*<p /g, "<p ")
                        textFormat: Text.RichText
                        wrapMode: Text.Wrap
                        color: Look.cardText
                        font.pixelSize: 12
                        lineHeight: 1.3
                        // The program opens it, and says so when nothing could.
                        onLinkActivated: (link) => root.fsCommand("ID_FS_openLink", link)
                        MouseArea {
                            anchors.fill: parent
                            acceptedButtons: Qt.NoButton
                            cursorShape: parent.hoveredLink !== "" ? Qt.PointingHandCursor : Qt.ArrowCursor
                        }
                    }
                }
                // Where the text goes on below the pane: a thin bar that shows how far.
                Rectangle {
                    objectName: "detailsScrollBar"
                    visible: flick.visible && flick.contentHeight > flick.height
                    x: parent.width - 8
                    y: flick.y + flick.visibleArea.yPosition * flick.height
                    width: 4
                    height: Math.max(16, flick.visibleArea.heightRatio * flick.height)
                    radius: 2
                    color: "#b9c3d8"
                }
            }
        }
        Column {
            objectName: "detailsPlaceholder"
            visible: !root.descriptionShown
            anchors.centerIn: parent
            anchors.verticalCenterOffset: 14
            spacing: 6
            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: "Select an entry"
                color: Look.cardText
                font.pixelSize: 13
                font.bold: true
            }
            Text {
                width: 320
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
                text: "Click an entry in the list to see what it is, where it lives and how it is rated. Clear its check box to keep it from starting."
                color: Look.cardSubtle
                font.pixelSize: 12
            }
        }
    }

    // ---- the frame of the entry list (the list itself is the program's) --------------
    Rectangle {
        objectName: "listFrame"
        x: 213; y: 286 + root.detailsGrowth
        width: 412 + root.extraWidth; height: 259 + root.extraHeight - root.detailsGrowth
        radius: 3
        color: "#ffffff"
        border.color: Look.panelEdge
        Text {
            anchors.centerIn: parent
            visible: !root.systemsOpen
            text: "Loading entries\u2026"
            color: Look.cardSubtle
            font.pixelSize: 12
        }
    }

    // ---- state of the changes and the three change commands ------------------------------
    Item {
        id: footer
        x: 215; y: 555 + root.extraHeight
        width: 408 + root.extraWidth
        height: 40

        Rectangle {
            id: stateDot
            y: 10
            width: 8; height: 8; radius: 4
            color: root.applyState === "1" ? Look.pending : Look.ok
        }
        Text {
            objectName: "changeState"
            x: 14
            y: 4
            text: root.applyState === "1" ? "Changes to apply"
                  : root.rollBackState === "1" ? "Applied"
                  : "Up to date"
            color: Look.text
            font.pixelSize: 12
            font.bold: true
        }
        Text {
            objectName: "changeDetail"
            x: 14
            y: 21
            text: root.refreshState === "1" ? "Refresh drops them"
                  : root.rollBackState === "1" ? "Roll back undoes it" : ""
            color: Look.subtleText
            font.pixelSize: 10
        }
        Row {
            anchors.right: parent.right
            y: 4
            spacing: 6
            ActionButton { objectName: "ID_FS_REFRESH"; command: objectName; glyph: "\u21bb"; label: "Refresh"; tip: "Read the startup locations again (F5)"; padding: 20; onClicked: root.send(command); onHoveredChanged: root.showTip(tip, hovered) }
            ActionButton { objectName: "ID_FS_ROLLBACK"; command: objectName; glyph: "\u21b6"; label: "Roll back"; active: root.rollBackState === "1"; padding: 20; onClicked: root.send(command); onHoveredChanged: root.showTip(tip, hovered) }
            ActionButton { objectName: "ID_FS_APPLYCHANGES"; command: objectName; glyph: "\u2714"; label: "Apply"; primary: true; active: root.applyState === "1"; padding: 20; onClicked: root.send(command); onHoveredChanged: root.showTip(tip, hovered) }
        }
    }
    // ---- the systems of the machine, dropped from the chooser ---------------------------
    // Made when the list first drops, and kept: nothing of it is in the first frame.
    Loader {
        anchors.fill: parent
        z: 20
        active: root.systemsOpened
        sourceComponent: Item {
            MouseArea {
                objectName: "systemMenuShade"
                anchors.fill: parent
                z: 20
                visible: root.systemsOpen
                onClicked: root.openSystems(false)
            }
            Rectangle {
                objectName: "systemMenu"
                visible: root.systemsOpen
                z: 21
                x: systemChooser.x
                y: 42
                width: Math.max(systemChooser.width, 400)
                height: Math.min(systemColumn.implicitHeight + 12, root.height - y - 12)
                radius: 8
                color: Look.panel
                border.color: Look.panelEdge
                Flickable {
                    anchors.fill: parent
                    anchors.margins: 6
                    contentHeight: systemColumn.implicitHeight
                    clip: true
                    Column {
                        id: systemColumn
                        width: parent.width
                        Text {
                            visible: root.systemRows.length === 0
                            width: parent.width
                            height: 30
                            verticalAlignment: Text.AlignVCenter
                            leftPadding: 8
                            text: "No Windows system was found on this machine."
                            color: Look.subtleText
                            font.pixelSize: 12
                        }
                        // Made when the list drops: nothing of it is drawn before.
                        Repeater {
                            model: root.systemsOpen ? root.systemRows : []
                            delegate: Rectangle {
                                id: systemRow
                                objectName: "system" + index
                                readonly property bool usable: modelData.length > 3 && modelData[3] === ""
                                readonly property bool current: String(index) === root.currentSystem
                                width: systemColumn.width
                                height: 38
                                radius: 5
                                color: current ? Look.selected : rowArea.containsMouse && usable ? Look.hover : "transparent"
                                KindBadge {
                                    id: rowBadge
                                    x: 8; y: 5
                                    kind: modelData[0]
                                    muted: !systemRow.usable
                                }
                                Text {
                                    x: rowBadge.x + rowBadge.width + 8; y: 4
                                    width: systemRow.width - x - 8
                                    elide: Text.ElideRight
                                    text: modelData[1]
                                    color: systemRow.usable ? Look.text : Look.subtleText
                                    font.pixelSize: 12
                                    font.bold: true
                                }
                                Text {
                                    x: 8; y: 22
                                    width: systemRow.width - 16
                                    elide: Text.ElideMiddle
                                    text: systemRow.usable ? modelData[2] : modelData[2] + " \u2014 " + modelData[3]
                                    color: systemRow.current ? "white" : systemRow.usable ? Look.subtleText : Look.alert
                                    font.pixelSize: 10
                                }
                                MouseArea {
                                    id: rowArea
                                    anchors.fill: parent
                                    hoverEnabled: true
                                    enabled: systemRow.usable
                                    cursorShape: Qt.PointingHandCursor
                                    onClicked: root.chooseSystem(index)
                                }
                            }
                        }
                    }
                }
            }
        }
    }
}
