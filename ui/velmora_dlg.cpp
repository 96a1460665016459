#include "ui/velmora_dlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <memory>

#include "app/help.h"
#include "app/language.h"
#include "app/velmora_app.h"
#include "database/description_html.h"
#include "entries/startup_location.h"
#include "base/text.h"
#include "platform/system.h"
#include "ui/add_new_task_dlg.h"
#include "ui/custom_msg_box_dlg.h"
#include "ui/entry_context_menu.h"
#include "ui/profile_commands.h"
#include "ui/entry_list.h"
#include "ui/resource_images.h"
#include "ui/splash_player.h"

namespace velmora::ui {

namespace {

constexpr unsigned kTitleId = text_id::kProgramName;
constexpr unsigned kAboutTitleId = 101;
constexpr unsigned kAboutTextId = 7011;
constexpr unsigned kApplyOnCloseId = 7005;

// Template 102, in dialog units: the window, the entry list.
constexpr int kWindowWidth = 426;
constexpr int kWindowHeight = 372;
constexpr int kListX = 143;
constexpr int kListY = 177;
constexpr int kListWidth = 272;
constexpr int kListHeight = 157;
constexpr int kBackgroundColor = 0x33;

// Shows the wait cursor while it lives.
class WaitCursor {
 public:
  WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
};

bool IsInside(QObject* object, QWidget* window) {
  auto* widget = qobject_cast<QWidget*>(object);
  return widget && widget->window() == window;
}

}  // namespace

QEvent::Type HelpRequestEvent::EventType() {
  static const int type = QEvent::registerEventType(QEvent::User + kHelpRequestMessage - 0x400);
  return static_cast<QEvent::Type>(type);
}

const std::array<ViewSpec, 11>& Views() {
  static const std::array<ViewSpec, 11> views = {{
      // The machine's keys of 32-bit programs (6 and 7) count with its own keys;
      // a system without that view has no entries there.
      {"IDC_FS_ALLITEMS", {0, 1, 2, 3, 4, 5, 6, 7}},
      {"IDC_FS_LOCALMACHINE", {0, 1, 2, 6, 7}},
      {"IDC_FS_LOCALREG", {0, 1, 6, 7}},
      {"IDC_FS_LOCALRUN", {0, 6}},
      {"IDC_FS_LOCALRUNONCE", {1, 7}},
      {"IDC_FS_LOCALSTARTFOLDER", {2}},
      {"IDC_FS_CURRENTUSER", {3, 4, 5}},
      {"IDC_FS_USERREG", {3, 4}},
      {"IDC_FS_USERRUN", {3}},
      {"IDC_FS_USERRUNONCE", {4}},
      {"IDC_FS_USERSTARTFOLDER", {5}},
  }};
  return views;
}

std::string VelmoraDlg::SettingsFlagText(std::int32_t value) {
  unsigned char code = static_cast<unsigned char>(value & 0xFF);
  if (code == 0) return "";
  return std::string(1, static_cast<char>(code));
}

VelmoraDlg::VelmoraDlg(VelmoraApp& app, MessageBoxPresenter* box, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      app_(app),
      model_(app.startupParameters),
      box_(box) {
  setObjectName("VelmoraDlg");
  if (!box_) {
    ownBox_ = std::make_unique<QtMessageBoxPresenter>(this);
    box_ = ownBox_.get();
  }
  resize(DialogUnitsToPixelsX(kWindowWidth), DialogUnitsToPixelsY(kWindowHeight));
  movie_ = new FlashMovieHost(this);
  movie_->setObjectName("mainMovie");
  movie_->setGeometry(0, 0, width(), height());
  movie_->SetCommandHandler(
      [this](const std::string& command, const std::string& argument) { OnMovieCommand(command, argument); });
  list_ = new EntryList(this);
  list_->setGeometry(DialogUnitsToPixelsX(kListX), DialogUnitsToPixelsY(kListY), DialogUnitsToPixelsX(kListWidth),
                     DialogUnitsToPixelsY(kListHeight));
  list_->hide();
  list_->raise();
  splash_ = new SplashPlayer(this);

  connect(list_, &EntryList::rowCheckChanged, this, &VelmoraDlg::OnRowCheckChanged);
  connect(list_, &EntryList::rowClicked, this, &VelmoraDlg::OnRowClicked);
  connect(list_, &EntryList::keyDown, this, &VelmoraDlg::OnListKeyDown);
  menu_ = new EntryContextMenu(
      model_, list_, [this] { OnMovieCommand(currentViewCommand); }, [this] { OfferApply(); }, this);
  connect(list_, &EntryList::rowRightClicked, menu_, &EntryContextMenu::ShowEntryMenu);
  movie_->installEventFilter(this);
  qApp->installEventFilter(this);
  BuildCommandTable();
}

VelmoraDlg::~VelmoraDlg() { qApp->removeEventFilter(this); }

void VelmoraDlg::BuildCommandTable() {
  auto toggle = [](std::int32_t& flag) { flag = flag == 0 ? 1 : 0; };
  StartupSettingsParameters& settings = app_.settings;
  commands_ = {
      {"ID_FS_EXIT", [this](const std::string&) { ConfirmApplyOnClose(); }},
      {"ID_FS_MINIMIZE", [this](const std::string&) { showMinimized(); }},
      {"IDC_FS_drag", [this](const std::string&) { movie_->DragWindow(); }},
      {"ID_FS_HELP", [this](const std::string&) { SendHelpRequest(); }},
      {"ID_FS_runLiveUpdate", [this](const std::string&) { StartUpdater(); }},
      {"ID_FS_ABOUTUS", [this](const std::string&) { ShowAbout(); }},
      {"ID_FS_hideForm",
       [this](const std::string&) {
         listShown_ = false;
         list_->hide();
       }},
      {"ID_FS_ShowForm",
       [this](const std::string&) {
         listShown_ = true;
         list_->show();
         list_->raise();
       }},
      {"ID_Fs_showSplash", [&settings, toggle](const std::string&) { toggle(settings.ShowSplash); }},
      {"ID_Fs_startWindows",
       [&settings, toggle](const std::string&) {
         toggle(settings.StartWithWindows);
         settings.ApplyRunAtStartup();
       }},
      {"ID_Fs_showSavingMsg", [&settings, toggle](const std::string&) { toggle(settings.ShowSavingMsg); }},
      {"ID_Fs_showSavProfileMsg", [&settings, toggle](const std::string&) { toggle(settings.ShowSavingProMsg); }},
      {"ID_FS_ADDTASK", [this](const std::string&) { AddTaskCommand(); }},
      {"ID_FS_APPLYCHANGES", [this](const std::string&) { ApplyChangesCommand(); }},
      {"ID_FS_REFRESH", [this](const std::string&) { RefreshCommand(); }},
      {"ID_FS_ROLLBACK", [this](const std::string&) { RollBackCommand(); }},
      {"ID_FS_SAVEPROFILE", [this](const std::string&) { SaveProfileCommandHandler(); }},
      {"ID_Fs_Profile", [this](const std::string&) { ProfileCommandHandler(); }},
      {"ID_Fs_EnableAll", [this](const std::string&) { SetAllInView(1); }},
      {"ID_Fs_DisableAll", [this](const std::string&) { SetAllInView(0); }},
  };
  for (int view = 0; view < static_cast<int>(Views().size()); ++view) {
    commands_.push_back({Views()[view].command, [this, view](const std::string&) { SelectView(view); }});
  }
}

void VelmoraDlg::Initialise() {
  if (initialised_) return;
  initialised_ = true;
  // The window's own face: icon, images, the splash while the model fills.
  setWindowIcon(ProgramWindowIcon());
  if (app_.settings.ShowSplash != 0) {
    splash_->LoadMovie(MoviePath(kSplashMovie, ".vms"));
    splash_->Play(0);
    splash_->SetLooping(false);
  }

  model_.ScanAllLocations();
  model_.ReadDisabledTasks();
  model_.FillCategoryCodes();
  model_.RateAllTasks();
  model_.EnumerateProfiles();

  setWindowTitle(QString::fromStdString(GetString(kTitleId)));
  list_->InsertColumns();
  for (int location : Views()[0].locations) list_->FillLocationRows(model_, location);
  LoadMovie();
  SetInitialVariables();
}

void VelmoraDlg::LoadMovie() {
  movie_->SetMovie(MoviePath(kMainMovie));
  movie_->SetScale("NoScale");
  movie_->SetAlignMode(kAlignLeft);
  movie_->SetBackgroundColor(kBackgroundColor);
}

void VelmoraDlg::SetInitialVariables() {
  const StartupSettingsParameters& settings = app_.settings;
  movie_->SetMovieVariable("_root.showSplash", SettingsFlagText(settings.ShowSplash));
  movie_->SetMovieVariable("_root.startWindows", SettingsFlagText(settings.StartWithWindows));
  movie_->SetMovieVariable("_root.showSavingMsg", SettingsFlagText(settings.ShowSavingMsg));
  movie_->SetMovieVariable("_root.showSavProfileMsg", SettingsFlagText(settings.ShowSavingProMsg));
  movie_->SetMovieVariable("_root.profilesState", "1");
  if (model_.profileNames.empty()) movie_->SetMovieVariable("_root.profilesState", "0");
  movie_->SetMovieVariable("_root.applyState", "0");
  movie_->SetMovieVariable("_root.refreshState", "0");
  movie_->SetMovieVariable("_root.rollBackState", "0");
}

int VelmoraDlg::DoModal() {
  Initialise();
  if (QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
  exec();
  return 0;
}

void VelmoraDlg::OnMovieCommand(const std::string& command, const std::string&) {
  // The main window uses no argument.
  DispatchMovieCommand(commands_, command, "");
}

void VelmoraDlg::SelectView(int view) {
  if (view < 0 || view >= static_cast<int>(Views().size())) return;
  if (view == 2 || view == 3 || view == 4 || view == 7 || view == 8 || view == 9) {
    movie_->SetMovieVariable("_root.description", "");
  }
  currentView = view;
  currentViewCommand = Views()[view].command;
  list_->DeleteAllRows();
  for (int location : Views()[view].locations) list_->FillLocationRows(model_, location);
}

void VelmoraDlg::OfferApply() {
  movie_->SetMovieVariable("_root.applyState", "1");
  movie_->SetMovieVariable("_root.refreshState", "1");
}

void VelmoraDlg::SetAllInView(int enabled) {
  for (int location : Views()[currentView].locations) model_.SetLocationEnabled(location, enabled);
  OnMovieCommand(currentViewCommand);
  OfferApply();
}

// ---- apply, refresh, roll back ----------------------------------------------------

void VelmoraDlg::ApplyChangesCommand() {
  std::vector<ApplyFailure> failures;
  {
    WaitCursor wait;
    model_.TakeSnapshot();
    failures = model_.ApplyChanges();
  }
  // Writes that failed keep their locations' change flags: the movie goes on
  // offering to apply them rather than telling the user all is written.
  const bool pending = model_.AnyLocationChanged();
  movie_->SetMovieVariable("_root.applyState", pending ? "1" : "0");
  movie_->SetMovieVariable("_root.refreshState", pending ? "1" : "0");
  movie_->SetMovieVariable("_root.rollBackState", "1");
  ShowFailures(failures, "Some changes could not be applied:");
}

void VelmoraDlg::RefreshCommand() {
  {
    WaitCursor wait;
    model_.changedFlags.fill(0);
    model_.RefreshAll();
    model_.RateAllTasks();
  }
  OnMovieCommand(currentViewCommand);
  movie_->SetMovieVariable("_root.applyState", "0");
  movie_->SetMovieVariable("_root.refreshState", "0");
}

void VelmoraDlg::RollBackCommand() {
  std::vector<ApplyFailure> failures;
  {
    WaitCursor wait;
    failures = model_.RollBack();
    model_.RateAllTasks();
  }
  // The list now shows the state before the last apply; pending edits are gone.
  OnMovieCommand(currentViewCommand);
  movie_->SetMovieVariable("_root.applyState", "0");
  movie_->SetMovieVariable("_root.refreshState", "0");
  movie_->SetMovieVariable("_root.rollBackState", failures.empty() ? "0" : "1");
  ShowFailures(failures, "The last apply could not be rolled back completely:");
}

void VelmoraDlg::ShowFailures(const std::vector<ApplyFailure>& failures, const std::string& what) {
  if (failures.empty()) return;
  std::string text = what;
  constexpr std::size_t kShown = 8;
  for (std::size_t i = 0; i < failures.size() && i < kShown; ++i) {
    const ApplyFailure& failure = failures[i];
    text += "\n";
    const char* tag = LocationTag(failure.location);
    if (tag[0] != '\0') text += std::string(tag) + ": ";
    text += failure.name.empty() ? "(location)" : failure.name;
    if (!failure.reason.empty()) text += " - " + failure.reason;
  }
  if (failures.size() > kShown) text += "\n... and " + std::to_string(failures.size() - kShown) + " more";
  MessageBoxRequest request;
  request.title = GetString(kTitleId);
  request.message = text;
  request.kind = "error";
  ShowMessage(request);
}

int VelmoraDlg::ShowMessage(MessageBoxRequest& request) { return box_->Show(request); }

void VelmoraDlg::ConfirmApplyOnClose() {
  StartupSettingsParameters& settings = app_.settings;
  if (settings.ShowSavingMsg != 0 && model_.AnyLocationChanged()) {
    MessageBoxRequest request;
    request.title = GetString(kTitleId);
    request.message = GetString(kApplyOnCloseId);
    request.kind = "alert";
    request.buttonCount = 2;
    request.firstCaption = "Yes";
    request.secondCaption = "No";
    request.showCheckBox = true;
    request.checkState = false;
    int answer = ShowMessage(request);
    if (answer == 0) return;
    if (answer == 1) ApplyChangesCommand();
    settings.ShowSavingMsg = request.checkState ? 0 : 1;
  }
  settings.Save();
  done(0);
}

// ---- the entry list -----------------------------------------------------------------

Task* VelmoraDlg::RowTask(int row) {
  if (row < 0 || row >= list_->rowCount()) return nullptr;
  int location = LocationFromText(list_->RowLocationText(row));
  if (location < 0 || location >= kLocationCount) return nullptr;
  auto found = model_.entryMaps[location].find(ToLowerAscii(list_->RowName(row)));
  return found == model_.entryMaps[location].end() ? nullptr : found->second.get();
}

void VelmoraDlg::OnRowCheckChanged(int row) {
  if (row < 0) return;
  int location = LocationFromText(list_->RowLocationText(row));
  if (model_.SetEntryEnabled(list_->RowName(row), location, list_->RowChecked(row) ? 1 : 0)) OfferApply();
}

void VelmoraDlg::OnRowClicked(int row) {
  if (Task* task = RowTask(row)) ShowDescription(*task);
}

void VelmoraDlg::OnListKeyDown() {
  QList<QTableWidgetItem*> selected = list_->selectedItems();
  if (selected.isEmpty()) return;
  int row = list_->rowCount();
  for (QTableWidgetItem* item : selected) row = std::min(row, item->row());
  if (row + 1 < list_->rowCount()) {
    if (Task* task = RowTask(row + 1)) ShowDescription(*task);
  }
}

void VelmoraDlg::ShowDescription(const Task& task) {
  movie_->SetMovieVariable("_root.description", BuildDescriptionHtml(task));
  movie_->SetMovieVariable("_root.discripWinState", "1");
}

// ---- the dialogs ------------------------------------------------------------------

void VelmoraDlg::AddTaskCommand() {
  AddNewTaskDlg dialog(model_, box_, this);
  if (dialog.DoModal() == QDialog::Accepted) {
    OnMovieCommand(currentViewCommand);
    OfferApply();
  }
}

void VelmoraDlg::SaveProfileCommandHandler() {
  ProfileOutcome outcome = SaveProfileCommand(model_, box_, this);
  movie_->SetMovieVariable("_root.profilesState", outcome.profilesState);
}

void VelmoraDlg::ProfileCommandHandler() {
  ProfileOutcome outcome = ProfileCommand(model_, app_.settings, box_, this);
  movie_->SetMovieVariable("_root.profilesState", outcome.profilesState);
  if (outcome.askBeforeLoadTurnedOff)
    movie_->SetMovieVariable("_root.showSavProfileMsg", SettingsFlagText(app_.settings.ShowSavingProMsg));
  if (outcome.entriesChanged) {
    OnMovieCommand(currentViewCommand);
    OfferApply();
  }
}

// ---- help, updater, about -----------------------------------------------------------

void VelmoraDlg::SendHelpRequest() {
  HelpRequestEvent request;
  QCoreApplication::sendEvent(this, &request);
}

void VelmoraDlg::OnHelpRequest() {
  std::string helpFile = HelpFilePath();
  emit helpRequested(QString::fromStdString(helpFile));
  // Tests listen to the signal; a real run shows the file in a help viewer.
  if (!qEnvironmentVariableIsSet("VELMORA_NO_HELP_VIEWER")) OpenHelpFile();
}

void VelmoraDlg::StartUpdater() { velmora::StartUpdater(); }

void VelmoraDlg::ShowAbout() {
  MessageBoxRequest request;
  request.title = GetString(kAboutTitleId);
  request.message = GetString(kAboutTextId);
  request.kind = "info";
  request.buttonCount = 1;
  request.firstCaption = "OK";
  ShowMessage(request);
}

// ---- window messages ------------------------------------------------------------------

bool VelmoraDlg::event(QEvent* event) {
  if (event->type() == HelpRequestEvent::EventType()) {
    OnHelpRequest();
    return true;
  }
  return QDialog::event(event);
}

bool VelmoraDlg::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
      // The movie has no context menu of its own.
      if (watched == movie_ && static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) return true;
      break;
    case QEvent::ContextMenu:
      if (watched == movie_) return true;
      break;
    case QEvent::KeyPress: {
      auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() == Qt::Key_F1 && IsInside(watched, this)) {
        SendHelpRequest();
        return true;
      }
      if (key->key() == Qt::Key_Menu && watched == movie_) return true;
      break;
    }
    default:
      break;
  }
  return QDialog::eventFilter(watched, event);
}

void VelmoraDlg::closeEvent(QCloseEvent* event) {
  // Every way of closing asks first; ConfirmApplyOnClose ends the window itself.
  event->ignore();
  if (isVisible()) ConfirmApplyOnClose();
}

void VelmoraDlg::reject() {
  // Escape never closes the main window.
}

void QtMainWindowRunner::Run(VelmoraApp& app) {
  VelmoraDlg window(app, box_);
  window.DoModal();
}

}  // namespace velmora::ui
