// The names the windows and their movies share: the movie files, the commands a
// movie sends (FSCommand) and the variables the program sets and reads in it.
// Commands are compared without regard to letter case; variables are paths
// under "_root".
#pragma once

namespace velmora::ui {

// Movie file base names (installed under their encoded names in MovieDir).
inline constexpr char kMainMovie[] = "VlmMain";
inline constexpr char kMessageBoxMovie[] = "CustMsgBox";
inline constexpr char kSplashMovie[] = "Splash";
inline constexpr char kAddTaskMovie[] = "AddTask";
inline constexpr char kNewProfileMovie[] = "NewProfile";
inline constexpr char kProfileMovie[] = "Profile";
inline constexpr char kChooseUserMovie[] = "ChooseUser";

namespace cmd {
// every window: drag the window by its title area
inline constexpr char kDrag[] = "IDC_FS_drag";
// main window
inline constexpr char kMainExit[] = "ID_FS_EXIT";
inline constexpr char kMinimize[] = "ID_FS_MINIMIZE";
inline constexpr char kHelp[] = "ID_FS_HELP";
inline constexpr char kRunLiveUpdate[] = "ID_FS_runLiveUpdate";
inline constexpr char kAboutUs[] = "ID_FS_ABOUTUS";
inline constexpr char kHideForm[] = "ID_FS_hideForm";
inline constexpr char kShowForm[] = "ID_FS_ShowForm";
inline constexpr char kToggleSplash[] = "ID_Fs_showSplash";
inline constexpr char kToggleStartWindows[] = "ID_Fs_startWindows";
inline constexpr char kToggleSavingMsg[] = "ID_Fs_showSavingMsg";
inline constexpr char kToggleSavProfileMsg[] = "ID_Fs_showSavProfileMsg";
inline constexpr char kAddTask[] = "ID_FS_ADDTASK";
inline constexpr char kApplyChanges[] = "ID_FS_APPLYCHANGES";
inline constexpr char kRefresh[] = "ID_FS_REFRESH";
inline constexpr char kRollBack[] = "ID_FS_ROLLBACK";
inline constexpr char kSaveProfile[] = "ID_FS_SAVEPROFILE";
inline constexpr char kProfile[] = "ID_Fs_Profile";
inline constexpr char kEnableAll[] = "ID_Fs_EnableAll";
inline constexpr char kDisableAll[] = "ID_Fs_DisableAll";
// the link of the description pane; the argument is its address
inline constexpr char kOpenLink[] = "ID_FS_openLink";
// the details pane grew by the argument's pixels, which the list gives up
inline constexpr char kDetailsGrow[] = "ID_FS_detailsGrow";
// the chooser of the managed system: the list is wanted; the argument of the
// choice is the index of a system in "_root.systemList"
inline constexpr char kListSystems[] = "ID_FS_listSystems";
inline constexpr char kChooseSystem[] = "ID_FS_chooseSystem";
// the views
inline constexpr char kViewAllItems[] = "IDC_FS_ALLITEMS";
inline constexpr char kViewLocalMachine[] = "IDC_FS_LOCALMACHINE";
inline constexpr char kViewLocalReg[] = "IDC_FS_LOCALREG";
inline constexpr char kViewLocalRun[] = "IDC_FS_LOCALRUN";
inline constexpr char kViewLocalRunOnce[] = "IDC_FS_LOCALRUNONCE";
inline constexpr char kViewLocalStartFolder[] = "IDC_FS_LOCALSTARTFOLDER";
inline constexpr char kViewCurrentUser[] = "IDC_FS_CURRENTUSER";
inline constexpr char kViewUserReg[] = "IDC_FS_USERREG";
inline constexpr char kViewUserRun[] = "IDC_FS_USERRUN";
inline constexpr char kViewUserRunOnce[] = "IDC_FS_USERRUNONCE";
inline constexpr char kViewUserStartFolder[] = "IDC_FS_USERSTARTFOLDER";
inline constexpr char kViewLocalRunServices[] = "IDC_FS_LOCALRUNSERVICES";
inline constexpr char kViewLocalRunServicesOnce[] = "IDC_FS_LOCALRUNSERVICESONCE";
inline constexpr char kViewServices[] = "IDC_FS_SERVICES";
// message box and profile dialog: end without a choice
inline constexpr char kDialogExit[] = "ID_FS_Exit";
// add-task and new-profile dialogs: end without a choice
inline constexpr char kDialogCancel[] = "ID_Fs_cancel";
// message box
inline constexpr char kBoxWidth[] = "IDC_FS_WIDTH";
inline constexpr char kBoxHeight[] = "IDC_FS_HEIGHT";
inline constexpr char kBoxOk[] = "IDC_FS_OK";
inline constexpr char kBoxCancel[] = "IDC_FS_Cancel";
// add-task dialog
inline constexpr char kBrowse[] = "ID_Fs_Browser";
inline constexpr char kAdd[] = "ID_Fs_add";
// new-profile dialog
inline constexpr char kSave[] = "ID_Fs_Save";
// profile dialog
inline constexpr char kLoadProfile[] = "ID_Fs_loadProfile";
inline constexpr char kRemoveProfile[] = "ID_Fs_removeProfile";
// user choice of an offline installation; the argument is the name chosen
inline constexpr char kChooseUser[] = "ID_Fs_chooseUser";
}  // namespace cmd

namespace var {
// main window
inline constexpr char kShowSplash[] = "_root.showSplash";
inline constexpr char kStartWindows[] = "_root.startWindows";
inline constexpr char kShowSavingMsg[] = "_root.showSavingMsg";
inline constexpr char kShowSavProfileMsg[] = "_root.showSavProfileMsg";
inline constexpr char kProfilesState[] = "_root.profilesState";
inline constexpr char kApplyState[] = "_root.applyState";
inline constexpr char kRefreshState[] = "_root.refreshState";
inline constexpr char kRollBackState[] = "_root.rollBackState";
inline constexpr char kDescription[] = "_root.description";
inline constexpr char kReadNote[] = "_root.readNote";
inline constexpr char kDescriptionPaneState[] = "_root.discripWinState";
// the managed system: its kind and name, a note when what is shown may lag it,
// the systems of the machine (ui/system_chooser.h) and its index among them
inline constexpr char kSystemKind[] = "_root.systemKind";
inline constexpr char kSystemName[] = "_root.systemName";
inline constexpr char kSystemNote[] = "_root.systemNote";
inline constexpr char kSystemList[] = "_root.systemList";
inline constexpr char kCurrentSystem[] = "_root.currentSystem";
// message box
inline constexpr char kBoxTitle[] = "_root.msgTitle_txt.text";
inline constexpr char kBoxMessage[] = "_root.message_txt.text";
inline constexpr char kBoxButtonCount[] = "_root.buttonCount";
inline constexpr char kBoxIcon[] = "_root.showIcon";
inline constexpr char kBoxShowCheck[] = "_root.showCheck";
inline constexpr char kBoxCheckLabel[] = "_root.strMsgCheckLabel";
inline constexpr char kBoxCheck[] = "_root.bMsgCheck";
inline constexpr char kBoxCaption1[] = "_root.btnCaption1";
inline constexpr char kBoxCaption2[] = "_root.btnCaption2";
inline constexpr char kBoxMessageChanged[] = "_root.bMessageChanged";
// add-task dialog
inline constexpr char kTaskName[] = "_root.taskName";
inline constexpr char kTaskLocation[] = "_root.taskLocation";
inline constexpr char kTaskLocFlag[] = "_root.taskLocFlag";
inline constexpr char kSelectedLocation[] = "_root.selectedSLoc";
inline constexpr char kProfileNames[] = "_root.strProfilesNames";
inline constexpr char kProfileUpdate[] = "_root.bProfileUpdate";
}  // namespace var

}  // namespace velmora::ui
