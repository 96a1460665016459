#include "ui/velmora_dlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QSizeGrip>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <future>
#include <memory>
#include <utility>

#include "app/held_message_box.h"
#include "app/help.h"
#include "app/language.h"
#include "app/message_box_requests.h"
#include "app/velmora_app.h"
#include "app/window_layout.h"
#include "base/text.h"
#include "changes/store.h"
#include "database/description_html.h"
#include "entries/startup_location.h"
#include "entries/wine_start.h"
#include "platform/files.h"
#include "platform/managed_system.h"
#include "platform/registry.h"
#include "platform/startup.h"
#include "platform/system.h"
#include "ui/add_new_task_dlg.h"
#include "ui/custom_msg_box_dlg.h"
#include "ui/deferred_ratings.h"
#include "ui/entry_context_menu.h"
#include "ui/entry_list.h"
#include "ui/file_manager.h"
#include "ui/movie_names.h"
#include "ui/profile_commands.h"
#include "ui/resource_images.h"
#include "ui/splash_player.h"
#include "ui/system_chooser.h"
#include "ui/user_settings.h"

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
constexpr int kGripSize = 16;
constexpr int kListMinimumHeight = 80;

// The description pane's line for an entry that is new or changed since the last look.
constexpr char kNewEntryLine[] = "<br><font color='#b36b00'><b>New since the last start.</b></font>";
constexpr char kChangedEntryLine[] =
    "<br><font color='#b36b00'><b>Changed since the last start: the command is new.</b></font>";

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

// Whether the user's Run key holds this program's own value: what the "Start
// with Windows" switch shows, whoever wrote or deleted the value.
bool RunValuePresent(platform::ManagedSystem& system, const ProgramContext& program) {
  platform::UniqueKey key;
  if (platform::reg::OpenKey(system.CurrentUser(), kRunKeyPath, platform::kKeyRead, key.out()) !=
      platform::kSuccess) {
    return false;
  }
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  return platform::reg::QueryValue(key.get(), RunValueName(program), &type, nullptr, &size) ==
         platform::kSuccess;
}

// How long the definitions updater may take to check and install a file.
constexpr int kUpdaterTimeoutMs = 120000;

}  // namespace

QEvent::Type HelpRequestEvent::EventType() {
  static const int type = QEvent::registerEventType(QEvent::User + kHelpRequestMessage - 0x400);
  return static_cast<QEvent::Type>(type);
}

const std::array<ViewSpec, 14>& Views() {
  // The views added later come last, so that a view's number stays what it was.
  static const std::array<ViewSpec, 14> views = {{
      // The machine's keys of 32-bit programs (6, 7, 10 and 11) count with its own
      // keys; a system without that view has no entries there.
      {cmd::kViewAllItems, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
      {cmd::kViewLocalMachine, {0, 1, 2, 6, 7, 8, 9, 10, 11, 12}},
      {cmd::kViewLocalReg, {0, 1, 6, 7, 8, 9, 10, 11}},
      {cmd::kViewLocalRun, {0, 6}},
      {cmd::kViewLocalRunOnce, {1, 7}},
      {cmd::kViewLocalStartFolder, {2}},
      {cmd::kViewCurrentUser, {3, 4, 5}},
      {cmd::kViewUserReg, {3, 4}},
      {cmd::kViewUserRun, {3}},
      {cmd::kViewUserRunOnce, {4}},
      {cmd::kViewUserStartFolder, {5}},
      {cmd::kViewLocalRunServices, {8, 10}},
      {cmd::kViewLocalRunServicesOnce, {9, 11}},
      {cmd::kViewServices, {12}},
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
      model_(app.Model()),
      box_(box) {
  // Only Qt is used here: the model's fill may already run beside the window.
  setObjectName("VelmoraDlg");
  if (!box_) {
    ownBox_ = std::make_unique<QtMessageBoxPresenter>(app_.Context(), this);
    box_ = ownBox_.get();
  }
  // The template's size is the smallest and the first size; the window grows
  // from its bottom-right corner, and the movie and the list grow with it.
  setMinimumSize(DefaultSize());
  resize(DefaultSize());
  movie_ = new FlashMovieHost(this);
  movie_->setObjectName("mainMovie");
  movie_->SetFitMovieToView(true);
  movie_->setGeometry(0, 0, width(), height());
  movie_->SetCommandHandler(
      [this](const std::string& command, const std::string& argument) { OnMovieCommand(command, argument); });
  list_ = new EntryList(this);
  list_->setGeometry(ListGeometry());
  list_->hide();
  list_->raise();
  sizeGrip_ = new QSizeGrip(this);
  sizeGrip_->setObjectName("sizeGrip");
  sizeGrip_->resize(kGripSize, kGripSize);
  sizeGrip_->raise();
  splash_ = new SplashPlayer(this);

  connect(list_, &EntryList::rowCheckChanged, this, &VelmoraDlg::OnRowCheckChanged);
  connect(list_, &EntryList::rowClicked, this, &VelmoraDlg::OnRowClicked);
  // Whatever selects a row, a click of either button or a key, describes it.
  connect(list_, &EntryList::rowSelected, this, &VelmoraDlg::OnRowClicked);
  connect(list_, &EntryList::keyDown, this, &VelmoraDlg::OnListKeyDown);
  menu_ = new EntryContextMenu(
      model_, list_, [this] { OnMovieCommand(currentViewCommand); }, [this] { OfferApply(); }, this);
  menu_->viewLocations = [this] { return Views()[currentView].locations; };
  menu_->box = box_;
  connect(list_, &EntryList::rowRightClicked, this, [this](int row, const QPoint& position) {
    SettleRatings();  // what the menu does may change or read the entries
    menu_->ShowEntryMenu(row, position);
  });
  movie_->installEventFilter(this);
  qApp->installEventFilter(this);
  BuildCommandTable();
}

VelmoraDlg::~VelmoraDlg() { qApp->removeEventFilter(this); }

QSize VelmoraDlg::DefaultSize() {
  return QSize(DialogUnitsToPixelsX(kWindowWidth), DialogUnitsToPixelsY(kWindowHeight));
}

QRect VelmoraDlg::ListGeometry() const {
  // The list keeps its top-left corner in the movie's frame and takes whatever
  // the window has beyond its default size.
  const QSize extra = (size() - DefaultSize()).expandedTo(QSize(0, 0));
  // Grown details push the list's top down; it keeps a few rows at least.
  const int height = DialogUnitsToPixelsY(kListHeight) + extra.height();
  const int shift = std::clamp(listShift_, 0, std::max(0, height - kListMinimumHeight));
  return QRect(DialogUnitsToPixelsX(kListX), DialogUnitsToPixelsY(kListY) + shift,
               DialogUnitsToPixelsX(kListWidth) + extra.width(), height - shift);
}

void VelmoraDlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  if (movie_) movie_->setGeometry(0, 0, width(), height());
  if (list_) list_->setGeometry(ListGeometry());
  if (sizeGrip_) {
    sizeGrip_->move(width() - sizeGrip_->width(), height() - sizeGrip_->height());
    sizeGrip_->raise();
  }
}

void VelmoraDlg::RestoreLayout() {
  const WindowLayout layout = LoadWindowLayout(app_.System());
  if (layout.width > 0 && layout.height > 0)
    resize(QSize(layout.width, layout.height).expandedTo(minimumSize()));
  if (static_cast<int>(layout.columnWidths.size()) == kColumnCount)
    list_->SetColumnWidths(layout.columnWidths);
}

void VelmoraDlg::SaveLayout() {
  WindowLayout layout;
  const QRect normal = isMaximized() || isMinimized() ? normalGeometry() : geometry();
  layout.width = normal.width();
  layout.height = normal.height();
  if (list_->ColumnWidthsSetByUser()) layout.columnWidths = list_->ColumnWidths();
  SaveWindowLayout(layout);
}

void VelmoraDlg::RecordSeenEntries() {
  std::string error;
  if (!changes::SeenEntries::Write(model_, &error)) std::fprintf(stderr, "Velmora: %s\n", error.c_str());
}

void VelmoraDlg::BuildCommandTable() {
  auto toggle = [](std::int32_t& flag) { flag = flag == 0 ? 1 : 0; };
  StartupSettingsParameters& settings = app_.settings;
  commands_ = {
      {cmd::kMainExit, [this](const std::string&) { ConfirmApplyOnClose(); }},
      {cmd::kMinimize, [this](const std::string&) { showMinimized(); }},
      {cmd::kDrag, [this](const std::string&) { movie_->DragWindow(); }},
      {cmd::kHelp, [this](const std::string&) { SendHelpRequest(); }},
      {cmd::kRunLiveUpdate, [this](const std::string&) { StartUpdater(); }},
      {cmd::kAboutUs, [this](const std::string&) { ShowAbout(); }},
      {cmd::kHideForm,
       [this](const std::string&) {
         listShown_ = false;
         list_->hide();
       }},
      {cmd::kShowForm,
       [this](const std::string&) {
         listShown_ = true;
         list_->show();
         list_->raise();
       }},
      {cmd::kToggleSplash, [&settings, toggle](const std::string&) { toggle(settings.ShowSplash); }},
      {cmd::kToggleStartWindows,
       [this, &settings, toggle](const std::string&) {
         toggle(settings.StartWithWindows);
         settings.ApplyRunAtStartup(app_.System());
         ShowRunAtStartup();
       }},
      {cmd::kToggleSavingMsg, [&settings, toggle](const std::string&) { toggle(settings.ShowSavingMsg); }},
      {cmd::kToggleSavProfileMsg,
       [&settings, toggle](const std::string&) { toggle(settings.ShowSavingProMsg); }},
      {cmd::kAddTask, [this](const std::string&) { AddTaskCommand(); }},
      {cmd::kApplyChanges, [this](const std::string&) { ApplyChangesCommand(); }},
      {cmd::kRefresh, [this](const std::string&) { RefreshCommand(); }},
      {cmd::kRollBack, [this](const std::string&) { RollBackCommand(); }},
      {cmd::kOpenLink, [this](const std::string& link) { OpenDescriptionLink(link); }},
      {cmd::kDetailsGrow,
       [this](const std::string& pixels) {
         listShift_ = std::max(0, ParseLeadingInt(pixels));
         list_->setGeometry(ListGeometry());
       }},
      {cmd::kSaveProfile, [this](const std::string&) { SaveProfileCommandHandler(); }},
      {cmd::kProfile, [this](const std::string&) { ProfileCommandHandler(); }},
      {cmd::kListSystems, [this](const std::string&) { ListSystems(); }},
      {cmd::kChooseSystem, [this](const std::string& index) { ChooseSystem(ParseLeadingInt(index)); }},
      {cmd::kEnableAll, [this](const std::string&) { SetAllInView(1); }},
      {cmd::kDisableAll, [this](const std::string&) { SetAllInView(0); }},
  };
  for (int view = 0; view < static_cast<int>(Views().size()); ++view) {
    commands_.push_back({Views()[view].command, [this, view](const std::string&) { SelectView(view); }});
  }
}

VelmoraDlg::StartMovies VelmoraDlg::FindStartMovies(const ProgramContext& program,
                                                    const StartupSettingsParameters& settings) {
  StartMovies movies;
  movies.showSplash = settings.ShowSplash != 0;
  if (movies.showSplash)
    movies.splash = FlashMovieHost::FindMovie(program, MoviePath(program, kSplashMovie, ".vms"));
  movies.main = FlashMovieHost::FindMovie(program, MoviePath(program, kMainMovie));
  return movies;
}

void VelmoraDlg::Initialise() {
  if (initialised_) return;
  const StartMovies movies = FindStartMovies(app_.Context(), app_.settings);
  ModelFill fill(model_);
  Initialise(movies, fill);
  SettleRatings();  // rated before it is shown
}

void VelmoraDlg::Initialise(const StartMovies& movies, ModelFill& fill) {
  if (initialised_) return;
  initialised_ = true;
  // The window's own face: icon, images. The movies need only Qt once they are found.
  setWindowIcon(ProgramWindowIcon());
  // The systems of the machine are looked for while the movie loads and the model
  // fills: the chooser shows which of them is managed.
  std::future<std::vector<platform::KnownSystem>> systems =
      std::async(std::launch::async, [] { return platform::FindKnownSystems(); });
  if (movies.showSplash) {
    pendingSplash_ = movies.splash;
    splashPending_ = true;
  }
  LoadMovie(movies.main);
  seen_ = fill.Wait();
  // Rated once the first frame is drawn: until then the ratings' cells say they wait.
  ratings_ = std::make_unique<DeferredRatings>(model_);
  list_->Entries()->SetRatingsPending(true);

  // What is new since the last look is marked as the rows are filled.
  list_->Entries()->SetNewTest(
      [this](int location, const Task& task) { return seen_.IsNew(location, task); });
  ShowReadMayLag();
  list_->InsertColumns();
  RestoreLayout();
  list_->FillLocations(model_, Views()[0].locations);
  SetInitialVariables();
  ListSystems(systems.get());
}

void VelmoraDlg::LoadMovie(const MovieFile& movie) {
  movie_->SetMovie(movie);
  movie_->SetScale("NoScale");
  movie_->SetAlignMode(kAlignLeft);
  movie_->SetBackgroundColor(kBackgroundColor);
}

void VelmoraDlg::SetInitialVariables() {
  const StartupSettingsParameters& settings = app_.settings;
  movie_->SetMovieVariable(var::kShowSplash, SettingsFlagText(settings.ShowSplash));
  movie_->SetMovieVariable(var::kStartWindows, SettingsFlagText(settings.StartWithWindows));
  movie_->SetMovieVariable(var::kShowSavingMsg, SettingsFlagText(settings.ShowSavingMsg));
  movie_->SetMovieVariable(var::kShowSavProfileMsg, SettingsFlagText(settings.ShowSavingProMsg));
  movie_->SetMovieVariable(var::kProfilesState, "1");
  if (model_.ProfileNames().empty()) movie_->SetMovieVariable(var::kProfilesState, "0");
  movie_->SetMovieVariable(var::kApplyState, "0");
  movie_->SetMovieVariable(var::kRefreshState, "0");
  movie_->SetMovieVariable(var::kRollBackState, "0");
}

int VelmoraDlg::DoModal() {
  Initialise();
  if (QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
  exec();
  return 0;
}

void VelmoraDlg::OnMovieCommand(const std::string& command, const std::string& argument) {
  // Before the ratings are begun (the first frame) only the movie itself sends
  // commands; after, every command finds the entries rated.
  if (ratings_ && ratings_->Begun()) SettleRatings();
  // Only the link of the description pane comes with an argument.
  const bool takesArgument = EqualsIgnoreCase(command, cmd::kOpenLink) ||
                             EqualsIgnoreCase(command, cmd::kDetailsGrow) ||
                             EqualsIgnoreCase(command, cmd::kChooseSystem);
  DispatchMovieCommand(commands_, command, takesArgument ? argument : "");
}

void VelmoraDlg::SelectView(int view) {
  if (view < 0 || view >= static_cast<int>(Views().size())) return;
  if (view == 2 || view == 3 || view == 4 || view == 7 || view == 8 || view == 9) {
    movie_->SetMovieVariable(var::kDescription, "");
  }
  currentView = view;
  currentViewCommand = Views()[view].command;
  list_->DeleteAllRows();
  list_->FillLocations(model_, Views()[view].locations);
}

void VelmoraDlg::OfferApply() {
  movie_->SetMovieVariable(var::kApplyState, "1");
  movie_->SetMovieVariable(var::kRefreshState, "1");
}

void VelmoraDlg::SetAllInView(int enabled) {
  for (int location : Views()[currentView].locations) model_.SetLocationEnabled(location, enabled);
  OnMovieCommand(currentViewCommand);
  OfferApply();
}

// ---- apply, refresh, roll back ----------------------------------------------------

void VelmoraDlg::StartRatings() {
  if (!ratings_ || ratings_->Begun()) return;
  ratings_->Start([this] {
    // On the rating's thread: the window takes them on its own (the thread ends
    // before the window goes, and a call queued for a window gone is dropped).
    QMetaObject::invokeMethod(
        this, [this] { SettleRatings(); }, Qt::QueuedConnection);
  });
}

void VelmoraDlg::SettleRatings() {
  if (!ratings_ || !ratings_->Settle()) return;
  EntryTableModel* entries = list_->Entries();
  entries->SetRatingsPending(false);
  // Rows ordered by what the ratings give are ordered again, and the columns fit
  // what they now hold.
  const QHeaderView* header = list_->horizontalHeader();
  const int section = header->sortIndicatorSection();
  if (list_->isSortingEnabled() && (section == kColumnRating || section == kColumnComment))
    entries->sort(section, header->sortIndicatorOrder());
  list_->FitColumns();
  // A description shown meanwhile was that of an entry not yet rated.
  const int row = list_->SelectedRow();
  if (row >= 0 && movie_->GetMovieVariable(var::kDescriptionPaneState) == "1") OnRowClicked(row);
}

void VelmoraDlg::ApplyChangesCommand() {
  SettleRatings();
  std::vector<ApplyFailure> failures;
  {
    WaitCursor wait;
    model_.TakeSnapshot();
    failures = model_.ApplyChanges();
    // What was started or ended meanwhile, and the apply itself, changed the figures.
    RereadAllProcessFigures(model_);
  }
  list_->Entries()->RefreshCells();
  ShowRunAtStartup();
  // Writes that failed keep their locations' change flags: the movie goes on
  // offering to apply them rather than telling the user all is written.
  const bool pending = model_.AnyLocationChanged();
  movie_->SetMovieVariable(var::kApplyState, pending ? "1" : "0");
  movie_->SetMovieVariable(var::kRefreshState, pending ? "1" : "0");
  movie_->SetMovieVariable(var::kRollBackState, "1");
  ShowFailures(failures, "Some changes could not be applied:");
}

void VelmoraDlg::RefreshCommand() {
  SettleRatings();
  // Refresh is always offered: other programs change the locations too. Edits
  // not yet applied are dropped by it, so it asks first.
  if (model_.AnyLocationChanged()) {
    MessageBoxRequest question = YesNoQuestion(
        app_.Context().Text(kTitleId),
        "Refresh reads the startup locations again and drops the changes you have not applied.\n\n"
        "Drop them and refresh?");
    if (ShowMessage(question) != 1) return;
  }
  {
    WaitCursor wait;
    model_.RefreshDiscardingChanges();
    model_.RateAllTasks();
  }
  ShowReadMayLag();
  OnMovieCommand(currentViewCommand);
  movie_->SetMovieVariable(var::kApplyState, "0");
  movie_->SetMovieVariable(var::kRefreshState, "0");
  ShowRunAtStartup();
}

// What is read may lag the system (a wineserver holds the prefix's registry in
// memory): the title says so, and every description says why.
void VelmoraDlg::ShowReadMayLag() {
  readMayLag_ = app_.System().ReadMayLag();
  movie_->SetMovieVariable(var::kReadNote, readMayLag_.empty() ? "" : "a wineserver is running");
  const std::string title = app_.Context().Text(kTitleId);
  setWindowTitle(QString::fromStdString(
      readMayLag_.empty() ? title : title + " (what is shown may lag the running wineserver)"));
}

void VelmoraDlg::RollBackCommand() {
  SettleRatings();
  std::vector<ApplyFailure> failures;
  {
    WaitCursor wait;
    failures = model_.RollBack();
    model_.RateAllTasks();
  }
  // The list now shows the state before the last apply; pending edits are gone.
  OnMovieCommand(currentViewCommand);
  movie_->SetMovieVariable(var::kApplyState, "0");
  movie_->SetMovieVariable(var::kRefreshState, "0");
  movie_->SetMovieVariable(var::kRollBackState, failures.empty() ? "0" : "1");
  ShowRunAtStartup();
  ShowFailures(failures, "The last apply could not be rolled back completely:");
}

void VelmoraDlg::ShowRunAtStartup() {
  // The program's own Run value is an entry like any other: an apply, a roll
  // back or a profile may have written or removed it.
  StartupSettingsParameters& settings = app_.settings;
  if (app_.System().RunsThisProgram()) {
    const bool present = RunValuePresent(app_.System(), app_.Context());
    if (present != (settings.StartWithWindows != 0)) settings.StartWithWindows = present ? 1 : 0;
  }
  movie_->SetMovieVariable(var::kStartWindows, SettingsFlagText(settings.StartWithWindows));
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
  MessageBoxRequest request = ErrorBox(text);
  ShowMessage(request);
}

int VelmoraDlg::ShowMessage(MessageBoxRequest& request) { return box_->Show(request); }

bool VelmoraDlg::SettlePendingChanges() {
  StartupSettingsParameters& settings = app_.settings;
  if (settings.ShowSavingMsg != 0 && model_.AnyLocationChanged()) {
    MessageBoxRequest request =
        YesNoQuestion(app_.Context().Text(kTitleId), app_.Context().Text(kApplyOnCloseId), true);
    int answer = ShowMessage(request);
    if (answer == 0) return false;
    if (answer == 1) {
      ApplyChangesCommand();
      // What could not be written stays pending in the open window, as the
      // apply's message said, rather than going with the window.
      if (model_.AnyLocationChanged()) return false;
    }
    settings.ShowSavingMsg = request.checkState ? 0 : 1;
  }
  return true;
}

void VelmoraDlg::ConfirmApplyOnClose() {
  SettleRatings();
  StartupSettingsParameters& settings = app_.settings;
  if (!SettlePendingChanges()) return;
  // The window's layout is the user's, whichever system is shown.
  SaveLayout();
  // An offline installation is a system being repaired: only the changes the
  // user applies are written to it. The settings and the record of entries seen
  // there belong to the copy installed on that Windows.
  if (app_.System().RunsThisProgram()) {
    std::string error;
    if (!settings.Save(app_.System(), &error)) {
      MessageBoxRequest request = ErrorBox("The settings could not be saved: " + error);
      ShowMessage(request);
    }
    RecordSeenEntries();
  }
  done(0);
}

// ---- the managed system --------------------------------------------------------------

void VelmoraDlg::ListSystems() {
  // Found again each time the chooser opens: prefixes come and go.
  ListSystems(platform::FindKnownSystems());
}

void VelmoraDlg::ListSystems(std::vector<platform::KnownSystem> systems) {
  systems_ = std::move(systems);
  movie_->SetMovieVariable(var::kSystemList, SystemListText(systems_));
  ShowSystem();
}

void VelmoraDlg::ShowSystem() {
  platform::KnownSystem shown;
  const int index = DescribeSystem(app_.System(), systems_, &shown);
  movie_->SetMovieVariable(var::kSystemKind, shown.kind);
  movie_->SetMovieVariable(var::kSystemName, shown.name);
  movie_->SetMovieVariable(var::kCurrentSystem, std::to_string(index));
  const bool lags = !app_.System().ReadMayLag().empty();
  movie_->SetMovieVariable(var::kSystemNote, lags ? "Its programs run: changes wait until they end" : "");
}

void VelmoraDlg::ChooseSystem(int index) {
  SettleRatings();
  if (index < 0 || index >= static_cast<int>(systems_.size())) return;
  const platform::KnownSystem chosen = systems_[index];
  if (chosen.path == app_.System().Location()) return;
  if (!SettlePendingChanges()) return;
  std::unique_ptr<platform::ManagedSystem> system;
  std::string error;
  bool opened = false;
  {
    WaitCursor wait;
    opened = OpenChosenKnownSystem(app_.Context(), chosen, &system, &error);
  }
  if (opened) {
    // What this window showed of the system it leaves, as closing records it.
    if (app_.System().RunsThisProgram()) RecordSeenEntries();
    WaitCursor wait;
    opened = app_.SwitchSystem(std::move(system), &error);
  }
  if (!opened) {
    if (error.empty()) return;
    MessageBoxRequest request = ErrorBox(error);
    ShowMessage(request);
    return;
  }
  RememberSystem(chosen.path);
  seen_ = changes::SeenEntries::Read(app_.System());
  movie_->SetMovieVariable(var::kDescription, "");
  movie_->SetMovieVariable(var::kProfilesState, model_.ProfileNames().empty() ? "0" : "1");
  movie_->SetMovieVariable(var::kApplyState, "0");
  movie_->SetMovieVariable(var::kRefreshState, "0");
  movie_->SetMovieVariable(var::kRollBackState, "0");
  ShowSystem();
  ShowRunAtStartup();
  OnMovieCommand(currentViewCommand);
}

// ---- the entry list -----------------------------------------------------------------

const Task* VelmoraDlg::RowTask(int row) { return list_->RowTask(row); }

void VelmoraDlg::OnRowCheckChanged(int row, bool checked) {
  SettleRatings();
  const Task* task = list_->RowTask(row);
  if (task && model_.SetEntryEnabled(task->name, list_->RowLocation(row), checked ? 1 : 0)) OfferApply();
}

void VelmoraDlg::OnRowClicked(int row) {
  if (const Task* task = RowTask(row)) ShowDescription(*task, list_->RowLocation(row));
}

void VelmoraDlg::OnListKeyDown() {
  const int row = list_->SelectedRow();
  if (row < 0) return;
  if (row + 1 < list_->rowCount()) {
    if (const Task* task = RowTask(row + 1)) ShowDescription(*task, list_->RowLocation(row + 1));
  }
}

void VelmoraDlg::ShowDescription(const Task& task, int location) {
  SettleRatings();
  // What velmora-cli's listing says of the entry besides, and of the system, comes
  // first, where it is seen without scrolling.
  std::string html;
  const int where = location < 0 ? task.location : location;
  for (const std::string& note : {changes::ReadOnlyNote(task), changes::KeptCopyNote(task, where),
                                  readMayLag_.empty() ? std::string() : "Note: " + readMayLag_ + "."})
    if (!note.empty()) html += "<font color='#990000'>" + EscapeHtml(note) + "</font><br>";
  html += BuildDescriptionHtml(task, location < 0 ? "" : StartsWhen(app_.System(), location, task));
  switch (location < 0 ? changes::SeenState::kSeen : seen_.StateOf(location, task)) {
    case changes::SeenState::kNew:
      html += kNewEntryLine;
      break;
    case changes::SeenState::kChanged:
      html += kChangedEntryLine;
      break;
    case changes::SeenState::kSeen:
      break;
  }
  movie_->SetMovieVariable(var::kDescription, html);
  movie_->SetMovieVariable(var::kDescriptionPaneState, "1");
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
  movie_->SetMovieVariable(var::kProfilesState, outcome.profilesState);
}

void VelmoraDlg::ProfileCommandHandler() {
  ProfileOutcome outcome = ProfileCommand(model_, app_.settings, box_, this);
  movie_->SetMovieVariable(var::kProfilesState, outcome.profilesState);
  if (outcome.askBeforeLoadTurnedOff)
    movie_->SetMovieVariable(var::kShowSavProfileMsg, SettingsFlagText(app_.settings.ShowSavingProMsg));
  if (outcome.entriesChanged) {
    OnMovieCommand(currentViewCommand);
    OfferApply();
  }
  ShowRunAtStartup();
}

// ---- help, updater, about -----------------------------------------------------------

void VelmoraDlg::SendHelpRequest() {
  HelpRequestEvent request;
  QCoreApplication::sendEvent(this, &request);
}

void VelmoraDlg::OnHelpRequest() {
  std::string helpFile = HelpFilePath(app_.Context());
  emit helpRequested(QString::fromStdString(helpFile));
  // Tests listen to the signal; a real run shows the file in a help viewer.
  if (!qEnvironmentVariableIsSet("VELMORA_NO_HELP_VIEWER")) OpenHelpFile(app_.Context());
}

void VelmoraDlg::StartUpdater() {
  // The updater installs a database file the user has: chosen here, then checked
  // and installed by the updater, which says what it did.
  const QString updater = QString::fromStdString(
      platform::files::HostPathFromWindows(app_.System(), UpdaterPath(app_.Context())));
  if (!QFileInfo(updater).isFile()) {
    MessageBoxRequest request = ErrorBox("The definitions updater is missing:\n" + updater.toStdString());
    ShowMessage(request);
    return;
  }
  const QString file =
      QFileDialog::getOpenFileName(this, QStringLiteral("Choose the new definitions database"), QString(),
                                   QStringLiteral("Definitions (*.vmd);;All files (*)"));
  if (file.isEmpty()) return;
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  {
    WaitCursor wait;
    process.start(updater, {file});
    process.waitForFinished(kUpdaterTimeoutMs);
  }
  const std::string output = process.readAll().trimmed().toStdString();
  const bool installed = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
  MessageBoxRequest request = installed ? InfoBox(output.empty() ? "The definitions were installed." : output)
                                        : ErrorBox("The definitions were not installed.\n\n" + output);
  ShowMessage(request);
}

void VelmoraDlg::OpenDescriptionLink(const std::string& link) {
  std::string error;
  if (link.empty() || OpenLink(link, &error)) return;
  MessageBoxRequest request = ErrorBox(error);
  ShowMessage(request);
}

void VelmoraDlg::ShowAbout() {
  MessageBoxRequest request = InfoBox(app_.Context().Text(kAboutTextId), app_.Context().Text(kAboutTitleId));
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
    case QEvent::Paint:
      if (ratings_ && !ratingsQueued_ && list_ && watched == list_->viewport()) {
        ratingsQueued_ = true;
        // Begun once the first frame that shows the list is drawn and shown.
        QTimer::singleShot(0, this, [this] { QTimer::singleShot(0, this, [this] { StartRatings(); }); });
      }
      if (splashPending_ && list_ && watched == list_->viewport()) {
        splashPending_ = false;
        // Twice through the event loop: the rest of the frame is drawn and shown first.
        QTimer::singleShot(0, this, [this] {
          QTimer::singleShot(0, this, [this] {
            splash_->LoadMovie(pendingSplash_);
            splash_->Play(0);
            splash_->SetLooping(false);
          });
        });
      }
      break;
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
      // F5 reads the locations again, as the Refresh button does.
      if (key->key() == Qt::Key_F5 && IsInside(watched, this)) {
        RefreshCommand();
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
  // The model fills while the window is made, not only while its movies load.
  const VelmoraDlg::StartMovies movies = VelmoraDlg::FindStartMovies(app.Context(), app.settings);
  ModelFill fill(app.Model());
  VelmoraDlg window(app, box_);
  window.Initialise(movies, fill);
  window.DoModal();
}

void StartAndRunMainWindow(VelmoraApp& app, MessageBoxPresenter& box, MessageBoxPresenter* windowBox) {
  MainWindowStart start(app);
  start.Run(box, windowBox);
}

// Until the core has started nothing but Qt is used here: its refusals wait for
// the window, the movies are found where the start reads the system.
MainWindowStart::MainWindowStart(VelmoraApp& app)
    : app_(app), fill_(app.Model(), [this] {
        if (app_.StartCore(refusals_) != VelmoraApp::StartResult::kReady) return false;
        movies_ = VelmoraDlg::FindStartMovies(app_.Context(), app_.settings);
        return true;
      }) {}

MainWindowStart::~MainWindowStart() = default;

void MainWindowStart::Run(MessageBoxPresenter& box, MessageBoxPresenter* windowBox) {
  VelmoraDlg window(app_, windowBox);
  if (!fill_.WaitFirst()) {
    refusals_.ShowThrough(box);
    return;
  }
  window.Initialise(movies_, fill_);
  window.DoModal();
}

}  // namespace velmora::ui
