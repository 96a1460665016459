// VelmoraDlg: the main window. A frameless window covered by the main movie, with
// the entry list in front of it; it turns the movie's commands into their actions.
#pragma once

#include <QDialog>
#include <QEvent>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "app/app_interfaces.h"
#include "app/held_message_box.h"
#include "app/settings.h"
#include "changes/seen_entries.h"
#include "changes/startup_parameters.h"
#include "platform/known_systems.h"
#include "ui/flash_movie_host.h"
#include "ui/model_fill.h"

namespace velmora {
class VelmoraApp;
class Task;
}  // namespace velmora

namespace velmora::ui {

class EntryContextMenu;

class EntryList;
class SplashPlayer;
class DeferredRatings;

// The private help request of the main window (sent, not posted).
inline constexpr int kHelpRequestMessage = 0x4CB;
class HelpRequestEvent : public QEvent {
 public:
  static QEvent::Type EventType();
  HelpRequestEvent() : QEvent(EventType()) {}
};

// The views: which locations the list shows, in fill order.
struct ViewSpec {
  const char* command;
  std::vector<int> locations;
};
const std::array<ViewSpec, 14>& Views();

class VelmoraDlg : public QDialog {
  Q_OBJECT

 public:
  // |box| shows the window's message boxes (the program's CustomMsgBoxDlg when null).
  explicit VelmoraDlg(VelmoraApp& app, MessageBoxPresenter* box = nullptr, QWidget* parent = nullptr);
  ~VelmoraDlg() override;

  // The movies the window starts with. Finding them reads the file system, so it
  // is done before the model's fill starts beside the window.
  struct StartMovies {
    bool showSplash = false;
    MovieFile splash;
    MovieFile main;
  };
  static StartMovies FindStartMovies(const ProgramContext& program,
                                     const StartupSettingsParameters& settings);

  // Initialisation in its fixed order: model, list, movie, variables; the splash
  // plays in front of the window once the list is drawn. The entries are rated
  // before it returns.
  void Initialise();
  // The same with the movies found and the model's fill started, both before the
  // window was made; the entries are rated once the list is first drawn.
  void Initialise(const StartMovies& movies, ModelFill& fill);
  // Initialise (once), then run the window until it ends. Returns 0.
  int DoModal();

  void OnMovieCommand(const std::string& command, const std::string& argument = "");
  // Asks whether to apply pending changes, saves the settings and ends the window;
  // or leaves it open when the question was closed without an answer.
  void ConfirmApplyOnClose();
  // Manages the system at |index| of the chooser's list from now on, its entries
  // read anew, after pending changes are settled as on closing; the choice is
  // remembered for the next start. A system that cannot be opened is said.
  void ChooseSystem(int index);

  void ApplyChangesCommand();
  void RefreshCommand();
  void RollBackCommand();
  void SelectView(int view);
  // The description pane for |task|; with the entry's |location| it also says
  // whether the entry is new or changed since the last look.
  void ShowDescription(const Task& task, int location = -1);

  // The window's size as its template gives it: the default and the smallest.
  static QSize DefaultSize();
  // Where the entry list lies at the window's current size.
  QRect ListGeometry() const;
  // The record of entries seen at the last look, read at initialisation.
  const changes::SeenEntries& Seen() const { return seen_; }

  // Settings flag as the movie receives it: one character of that code, "" for 0.
  static std::string SettingsFlagText(std::int32_t value);

  int currentView = 0;
  std::string currentViewCommand = cmd::kViewAllItems;
  int selectedItem = -1;

  FlashMovieHost* Movie() const { return movie_; }
  EntryList* List() const { return list_; }
  SplashPlayer* Splash() const { return splash_; }
  VelmoraApp& App() const { return app_; }

 signals:
  // The help request arrived; |helpFile| is the Windows path of the help file.
  void helpRequested(const QString& helpFile);

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void reject() override;

 private:
  void BuildCommandTable();
  void RestoreLayout();
  void SaveLayout();
  void RecordSeenEntries();
  void LoadMovie(const MovieFile& movie);
  void SetInitialVariables();
  void OfferApply();
  // Asks whether to apply pending changes, as closing does; false when the user
  // closed the question or changes are still pending after the apply.
  bool SettlePendingChanges();
  // The chooser's list and the system in use, as the movie shows them.
  void ListSystems();
  void ListSystems(std::vector<platform::KnownSystem> systems);
  void ShowSystem();
  void ShowFailures(const std::vector<ApplyFailure>& failures, const std::string& what);
  int ShowMessage(MessageBoxRequest& request);
  void SendHelpRequest();
  void OnHelpRequest();
  void StartUpdater();
  void OpenDescriptionLink(const std::string& link);
  // Gives the "Start with Windows" switch the state of the program's Run value.
  void ShowRunAtStartup();
  void ShowReadMayLag();
  void ShowAbout();
  void SetAllInView(int enabled);
  const Task* RowTask(int row);
  void OnRowCheckChanged(int row, bool checked);
  void OnRowClicked(int row);
  void OnListKeyDown();
  void AddTaskCommand();
  // The ratings of the entries: begun on a thread once the first frame is drawn,
  // and given to the entries (their cells, order and description) when made or
  // when anything first needs them, whichever comes first.
  void StartRatings();
  void SettleRatings();
  void SaveProfileCommandHandler();
  void ProfileCommandHandler();

  VelmoraApp& app_;
  StartupParameters& model_;
  MessageBoxPresenter* box_;
  std::unique_ptr<MessageBoxPresenter> ownBox_;
  FlashMovieHost* movie_ = nullptr;
  EntryList* list_ = nullptr;
  SplashPlayer* splash_ = nullptr;
  // The splash to play when the list is first drawn: nothing of it is in the
  // window's first frame, so it does not hold that frame up.
  MovieFile pendingSplash_;
  bool splashPending_ = false;
  std::unique_ptr<DeferredRatings> ratings_;
  bool ratingsQueued_ = false;
  QWidget* sizeGrip_ = nullptr;
  EntryContextMenu* menu_ = nullptr;
  changes::SeenEntries seen_;
  std::vector<platform::KnownSystem> systems_;
  MovieCommandTable commands_;
  bool initialised_ = false;
  std::string readMayLag_;  // why what is shown may lag the system; "" when it does not
  bool listShown_ = false;
  // Pixels the list gives up to the grown details pane.
  int listShift_ = 0;
};

// Runs VelmoraDlg for the application's start-up, once the core has started.
class QtMainWindowRunner : public MainWindowRunner {
 public:
  explicit QtMainWindowRunner(MessageBoxPresenter* box = nullptr) : box_(box) {}
  void Run(VelmoraApp& app) override;

 private:
  MessageBoxPresenter* box_;
};

// The window program's start: VelmoraApp::StartApplication with the core's start
// (StartCore), the search for the start movies and the model's fill on a thread of
// their own, begun before the window is made. A refusal is shown through |box|
// once the window exists, and the window is then not shown; otherwise it runs
// until it ends. The window's own boxes are |windowBox| (its own when null).
void StartAndRunMainWindow(VelmoraApp& app, MessageBoxPresenter& box,
                           MessageBoxPresenter* windowBox = nullptr);

// The same in two steps, so that the system is read while Qt itself starts: the
// reading begins when this is made, which needs no application object yet (only
// the core and QString are used on its thread), and Run makes and runs the window
// once the application object exists. Made and run once, on the main thread.
class MainWindowStart {
 public:
  explicit MainWindowStart(VelmoraApp& app);
  MainWindowStart(const MainWindowStart&) = delete;
  MainWindowStart& operator=(const MainWindowStart&) = delete;
  ~MainWindowStart();  // waits for the reading

  void Run(MessageBoxPresenter& box, MessageBoxPresenter* windowBox = nullptr);

 private:
  VelmoraApp& app_;
  HeldMessageBox refusals_;
  VelmoraDlg::StartMovies movies_;
  ModelFill fill_;
};

}  // namespace velmora::ui
