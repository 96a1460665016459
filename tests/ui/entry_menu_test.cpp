#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QAction>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QThread>
#include <QUrl>
#include <QWindow>
#include <cstdlib>
#include <deque>
#include <map>

#include "entries/startup_location.h"
#include "platform/files.h"
#include "platform/offline.h"
#include "platform/posix/prefix.h"
#include "platform/processes.h"
#include "tests/support/regf_builder.h"
#include "tests/support/test_support.h"
#include "tests/ui/dialog_test_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/entry_context_menu.h"
#include "ui/entry_list.h"
#include "ui/velmora_dlg.h"

namespace velmora {
namespace {

using ui::EntryContextMenu;
using ui::EntryList;

// What the menu showed when it popped up: its captions, and which were enabled.
struct SeenMenu {
  bool shown = false;
  std::vector<std::string> captions;
  std::map<int, bool> enabled;  // by command id
};

// Answers the menu's message boxes from a list (0 when it runs out) and keeps
// what each box said.
struct ScriptedBox : MessageBoxPresenter {
  int Show(MessageBoxRequest& request) override {
    shown.push_back(request);
    if (answers.empty()) return 0;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::vector<MessageBoxRequest> shown;
  std::deque<int> answers;
};

// A session bus of the test's own (dbus-daemon), for the whole test program.
std::string PrivateSessionBus() {
  static std::string address;
  static QProcess* daemon = nullptr;
  if (!address.empty()) return address;
  daemon = new QProcess;  // lives as long as the test program
  daemon->start("dbus-daemon", {"--session", "--nofork", "--print-address"});
  if (!daemon->waitForStarted(5000) || !daemon->waitForReadyRead(5000)) return "";
  address = daemon->readLine().trimmed().toStdString();
  std::atexit([] { ::kill(static_cast<pid_t>(daemon->processId()), SIGKILL); });
  qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray::fromStdString(address));
  return address;
}

// The desktop's file manager as the bus knows it: org.freedesktop.FileManager1,
// which records the items it was asked to show. It answers from a thread of its
// own, since the program waits for the answer.
class FakeFileManager : public QDBusVirtualObject {
 public:
  explicit FakeFileManager(const std::string& address) {
    connection_ = std::make_unique<QDBusConnection>(
        QDBusConnection::connectToBus(QString::fromStdString(address), "fakeFileManager"));
    moveToThread(&thread_);
    thread_.start();
    registered_ = connection_->registerService("org.freedesktop.FileManager1") &&
                  connection_->registerVirtualObject("/org/freedesktop/FileManager1", this);
  }
  ~FakeFileManager() override {
    connection_->unregisterObject("/org/freedesktop/FileManager1");
    connection_->unregisterService("org.freedesktop.FileManager1");
    connection_.reset();
    QDBusConnection::disconnectFromBus("fakeFileManager");
    thread_.quit();
    thread_.wait();
  }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.member() != "ShowItems") return false;
    {
      QMutexLocker lock(&mutex_);
      for (const QString& uri : message.arguments().value(0).toStringList())
        shown_.push_back(uri.toStdString());
    }
    connection.send(message.createReply());
    return true;
  }
  QString introspect(const QString&) const override { return {}; }
  std::vector<std::string> Shown() {
    QMutexLocker lock(&mutex_);
    return shown_;
  }
  bool registered_ = false;

 private:
  QThread thread_;
  std::unique_ptr<QDBusConnection> connection_;
  QMutex mutex_;
  std::vector<std::string> shown_;
};

class EntryMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(velmora::test::InitPrefix(), platform::kSuccess);
    QDir().mkpath(QString::fromStdString(prefix_.HostPath("drive_c/Apps")));
    QDir().mkpath(QString::fromStdString(prefix_.HostPath("drive_c/windows/system32")));
    test::WriteFile(prefix_.HostPath("drive_c/Apps/version_app.exe"),
                    test::ReadFile(test::FixturePath("version_app.exe")));
    test::WriteFile(prefix_.HostPath("drive_c/windows/system32/notepad.exe"), "MZ");
    // Programs of this test only, so that no other process of the machine is ever
    // touched: their names carry this process's id.
    const std::string id = std::to_string(getpid() % 100000);
    runnerName_ = "vr" + id;
    stubbornName_ = "vs" + id;
    CopyProgram("/bin/sleep", runnerName_);
    CopyProgram("/bin/bash", stubbornName_);

    window_.resize(700, 300);
    list_ = new EntryList(&window_);
    list_->setGeometry(0, 0, 700, 300);
    list_->InsertColumns();
    window_.show();
    menu_ = new EntryContextMenu(
        model_, list_, [this] { Reshow(); }, [this] { ++offers_; }, &window_);
    QObject::connect(list_, &EntryList::rowRightClicked, menu_, &EntryContextMenu::ShowEntryMenu);
    menu_->viewLocations = [this] { return ui::Views()[view_].locations; };
    menu_->box = &box_;

    const char* path = std::getenv("PATH");
    oldPath_ = path ? path : "";
  }
  void TearDown() override {
    setenv("PATH", oldPath_.c_str(), 1);
    for (QProcess* process : processes_) {
      process->kill();
      process->waitForFinished(2000);
      delete process;
    }
  }

  void CopyProgram(const std::string& from, const std::string& name) {
    const QString target = QString::fromStdString(prefix_.HostPath("drive_c/Apps/" + name + ".exe"));
    ASSERT_TRUE(QFile::copy(QString::fromStdString(from), target));
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  QProcess* Start(const std::string& name, const QStringList& arguments) {
    auto* process = new QProcess;
    process->start(QString::fromStdString(prefix_.HostPath("drive_c/Apps/" + name + ".exe")), arguments);
    EXPECT_TRUE(process->waitForStarted(5000));
    processes_.push_back(process);
    return process;
  }

  static bool Ended(QProcess* process) {
    return process->state() == QProcess::NotRunning || process->waitForFinished(3000);
  }

  void Add(const std::string& name, const std::string& command, int location) {
    auto task = std::make_unique<Task>();
    task->name = name;
    task->command = command;
    std::string error;
    ASSERT_TRUE(model_.AddEntry(std::move(task), location, &error)) << error;
  }
  Task& Entry(int location, const std::string& key) { return *model_.Entries(location).at(key); }

  // The main window's view command: the list rebuilt from the model.
  void Reshow() {
    ++reshows_;
    list_->DeleteAllRows();
    list_->FillLocations(model_, ui::Views()[view_].locations);
  }
  int RowOf(const std::string& name) const {
    for (int row = 0; row < list_->rowCount(); ++row) {
      if (list_->RowName(row) == name) return row;
    }
    return -1;
  }

  // A right click on |row| (or below the last row for -1) through the window
  // system, as a user makes it. While the menu is open, |inMenu| acts on it;
  // without one the menu is closed with Escape.
  SeenMenu RightClick(int row, const std::function<void(QMenu*)>& inMenu = nullptr,
                      const std::string& shot = "") {
    QPoint point;
    if (row >= 0) {
      point = list_->visualRect(list_->model()->index(row, 0)).center();
    } else {
      point = QPoint(40, list_->viewport()->height() - 5);
    }
    point = list_->viewport()->mapTo(&window_, point);
    SeenMenu seen;
    test::ModalScript script(10000);
    script.Then(
        [] {
          auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
          return menu && menu->isVisible();
        },
        [&] {
          auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
          seen.shown = true;
          for (QAction* action : menu->actions()) {
            if (action->isSeparator()) {
              seen.captions.push_back("-");
              continue;
            }
            seen.captions.push_back(action->text().toStdString());
            seen.enabled[action->data().toInt()] = action->isEnabled();
          }
          if (!shot.empty()) {
            QTest::qWait(50);
            menu->grab().save(QString::fromStdString(test::ScreenshotDir() + "/" + shot + ".png"));
          }
          if (inMenu) {
            inMenu(menu);
          } else {
            QTest::keyClick(menu, Qt::Key_Escape);
          }
        });
    script.Start();
    QTest::mouseClick(window_.windowHandle(), Qt::RightButton, Qt::NoModifier, point);
    // A menu that did not come up leaves the script waiting: give it its chance.
    QElapsedTimer clock;
    clock.start();
    while (!script.Finished() && clock.elapsed() < 300) QTest::qWait(20);
    return seen;
  }
  // Clicks the menu item of |commandId|.
  static std::function<void(QMenu*)> Choose(int commandId) {
    return [commandId](QMenu* menu) {
      for (QAction* action : menu->actions()) {
        if (action->data().toInt() == commandId) {
          // Moved to with the keyboard and taken with Enter, as a user may.
          menu->setActiveAction(action);
          QTest::keyClick(menu, Qt::Key_Return);
          return;
        }
      }
      ADD_FAILURE() << "no menu item " << commandId;
    };
  }

  test::TempPrefix prefix_;
  StartupParameters model_{velmora::test::System(), test::BuiltProgram()};
  ScriptedBox box_;
  QWidget window_;
  EntryList* list_ = nullptr;
  EntryContextMenu* menu_ = nullptr;
  int view_ = 0;
  int reshows_ = 0;
  int offers_ = 0;
  std::string runnerName_;
  std::string stubbornName_;
  std::vector<QProcess*> processes_;
  std::string oldPath_;
};

TEST_F(EntryMenuTest, ItemsAreGreyedForAMissingAndAnIdleProgramAndOfferedForARunningOne) {
  Start(runnerName_, {"60"});
  Add("Runner", "C:\\Apps\\" + runnerName_ + ".exe /min", kCuRun);
  Add("Idle", "C:\\Apps\\version_app.exe", kCuRun);
  Add("Gone", "C:\\Apps\\missing.exe", kLmRun);
  ASSERT_GT(Entry(kCuRun, "runner").memoryKB, 0);
  Reshow();

  SeenMenu running = RightClick(RowOf("Runner"), nullptr, "entry_menu_running");
  ASSERT_TRUE(running.shown);
  EXPECT_EQ(running.captions,
            (std::vector<std::string>{"&Exit Process", "&Open Program Folder", "-", "Re&move",
                                      "Remove &All Processes", "Remove All &Disabled"}));
  EXPECT_EQ(menu_->selectedItem, RowOf("Runner"));
  EXPECT_TRUE(running.enabled[ui::kExitProcessCommand]);
  EXPECT_TRUE(running.enabled[ui::kOpenProgramFolderCommand]);

  SeenMenu idle = RightClick(RowOf("Idle"));
  ASSERT_TRUE(idle.shown);
  EXPECT_FALSE(idle.enabled[ui::kExitProcessCommand]);
  EXPECT_TRUE(idle.enabled[ui::kOpenProgramFolderCommand]);

  SeenMenu missing = RightClick(RowOf("Gone"), nullptr, "entry_menu_missing");
  ASSERT_TRUE(missing.shown);
  EXPECT_FALSE(missing.enabled[ui::kExitProcessCommand]);
  EXPECT_FALSE(missing.enabled[ui::kOpenProgramFolderCommand]);
  for (int id : {ui::kRemoveCommand, ui::kRemoveAllCommand, ui::kRemoveAllDisabledCommand}) {
    EXPECT_TRUE(missing.enabled[id]) << id;
  }

  // Below the last row there is no menu.
  const int before = menu_->selectedItem;
  EXPECT_FALSE(RightClick(-1).shown);
  EXPECT_EQ(menu_->selectedItem, before);
  EXPECT_EQ(offers_, 0);
}

TEST_F(EntryMenuTest, AnOfflineInstallationRunsNothingSoNoHostProcessIsOffered) {
  // A program of the host with the name of the entry's program runs; the entry
  // belongs to a Windows that does not run, so it has no figures and no process.
  Start(runnerName_, {"60"});
  test::TempDir dir;
  test::WindowsTree tree(dir.path() + "/win", "ann", /*xp=*/true);
  tree.User("ann")
      .Key("Software\\Microsoft\\Windows\\CurrentVersion\\Run")
      .Sz("Runner", "C:\\Apps\\" + runnerName_ + ".exe /min");
  tree.Write();
  test::WriteFile(tree.root + "/Apps/" + runnerName_ + ".exe", "MZ");
  std::string error;
  ASSERT_EQ(velmora::test::UseOfflineSystem(tree.root, "", &error), platform::kSuccess) << error;
  model_.SwitchSystem(velmora::test::System());
  model_.ScanAllLocations();
  ASSERT_EQ(model_.Entries(kCuRun).count("runner"), 1u);
  EXPECT_EQ(Entry(kCuRun, "runner").memoryKB, 0);
  EXPECT_EQ(Entry(kCuRun, "runner").fileExists, 1);
  Reshow();
  SeenMenu menu = RightClick(RowOf("Runner"));
  ASSERT_TRUE(menu.shown);
  EXPECT_FALSE(menu.enabled[ui::kExitProcessCommand]);
  EXPECT_TRUE(menu.enabled[ui::kOpenProgramFolderCommand]);
  velmora::test::CloseOfflineSystem();
  model_.SwitchSystem(velmora::test::System());
}

TEST_F(EntryMenuTest, ExitProcessEndsTheProgramPolitelyAndShowsItsFiguresAgain) {
  QProcess* runner = Start(runnerName_, {"60"});
  Add("Runner", "C:\\Apps\\" + runnerName_ + ".exe", kCuRun);
  // Another entry of the same program: its row showed the same process.
  Add("Twin", "C:\\Apps\\" + runnerName_ + ".exe /again", kLmRun);
  model_.ClearChangeFlags();
  Reshow();
  ASSERT_GT(Entry(kCuRun, "runner").memoryKB, 0);
  ASSERT_GT(Entry(kLmRun, "twin").memoryKB, 0);
  const int reshows = reshows_;
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(RightClick(RowOf("Runner"), Choose(ui::kExitProcessCommand)).shown);
  EXPECT_TRUE(Ended(runner));
  EXPECT_LT(clock.elapsed(), menu_->politeWaitMs);  // it did not need the forced end
  EXPECT_FALSE(platform::ProcessAlive(static_cast<std::uint32_t>(runner->processId())));
  EXPECT_EQ(Entry(kCuRun, "runner").memoryKB, 0);
  EXPECT_EQ(Entry(kCuRun, "runner").peakMemoryKB, 0);
  EXPECT_EQ(reshows_, reshows + 1);
  EXPECT_EQ(list_->CellText(RowOf("Runner"), ui::kColumnMemory), "N/A");
  EXPECT_EQ(Entry(kLmRun, "twin").memoryKB, 0);
  EXPECT_EQ(list_->CellText(RowOf("Twin"), ui::kColumnPeak), "N/A");
  // Nothing to apply: the configuration did not change.
  EXPECT_EQ(offers_, 0);
  EXPECT_FALSE(model_.AnyLocationChanged());

  SeenMenu after = RightClick(RowOf("Runner"));
  EXPECT_FALSE(after.enabled[ui::kExitProcessCommand]);
}

TEST_F(EntryMenuTest, AProgramThatIgnoresThePoliteRequestIsEndedByForce) {
  QProcess* stubborn = Start(stubbornName_, {"-c", "trap '' TERM; while :; do sleep 0.2; done"});
  QTest::qWait(200);  // the trap is set
  Add("Stubborn", "C:\\Apps\\" + stubbornName_ + ".exe", kCuRunOnce);
  Reshow();
  ASSERT_GT(Entry(kCuRunOnce, "stubborn").memoryKB, 0);
  menu_->politeWaitMs = 400;
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(RightClick(RowOf("Stubborn"), Choose(ui::kExitProcessCommand)).shown);
  EXPECT_GE(clock.elapsed(), 400);
  EXPECT_TRUE(Ended(stubborn));
  EXPECT_FALSE(platform::ProcessAlive(static_cast<std::uint32_t>(stubborn->processId())));
  EXPECT_EQ(Entry(kCuRunOnce, "stubborn").memoryKB, 0);
}

TEST_F(EntryMenuTest, OpenProgramFolderAsksTheFileManagerThenTheFolderOpenerThenSaysSo) {
  const std::string bus = PrivateSessionBus();
  ASSERT_FALSE(bus.empty()) << "dbus-daemon is needed";
  // xdg-open, where the test puts it, writes down the folder it was given.
  test::TempDir tools;
  const std::string opened = tools.path() + "/opened";
  test::WriteFile(tools.path() + "/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + opened + "'\n");
  QFile::setPermissions(QString::fromStdString(tools.path() + "/xdg-open"),
                        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  setenv("PATH", tools.path().c_str(), 1);

  Add("Idle", "\"C:\\Apps\\version_app.exe\" /tray", kCuRun);
  Add("Pad", "notepad.exe /quiet", kCuRun);
  Add("Nothing", "nosuch.exe", kCuRun);
  model_.ClearChangeFlags();
  Reshow();
  // A bare file name is found in the system folder, or not at all.
  EXPECT_TRUE(RightClick(RowOf("Pad")).enabled[ui::kOpenProgramFolderCommand]);
  EXPECT_FALSE(RightClick(RowOf("Nothing")).enabled[ui::kOpenProgramFolderCommand]);
  auto uri = [this](const std::string& relative) {
    return QUrl::fromLocalFile(QString::fromStdString(prefix_.HostPath(relative)))
        .toString(QUrl::FullyEncoded)
        .toStdString();
  };

  {
    // The desktop's file manager shows the file, selected.
    FakeFileManager manager(bus);
    ASSERT_TRUE(manager.registered_);
    ASSERT_TRUE(RightClick(RowOf("Idle"), Choose(ui::kOpenProgramFolderCommand)).shown);
    EXPECT_TRUE(list_->selectionModel()->selectedRows().isEmpty());
    // A bare file name is a program of the system folder.
    ASSERT_TRUE(RightClick(RowOf("Pad"), Choose(ui::kOpenProgramFolderCommand)).shown);
    EXPECT_EQ(manager.Shown(), (std::vector<std::string>{uri("dosdevices/c:/Apps/version_app.exe"),
                                                         uri("dosdevices/c:/windows/system32/notepad.exe")}));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(opened)));
  }
  // No file manager on the bus: the folder is opened.
  ASSERT_TRUE(RightClick(RowOf("Idle"), Choose(ui::kOpenProgramFolderCommand)).shown);
  EXPECT_EQ(test::ReadFile(opened), prefix_.HostPath("dosdevices/c:/Apps") + "\n");
  EXPECT_TRUE(box_.shown.empty());

  // Nothing opens folders either: the user is told, with the folder.
  test::WriteFile(tools.path() + "/xdg-open", "#!/bin/sh\nexit 3\n");
  ASSERT_TRUE(RightClick(RowOf("Idle"), Choose(ui::kOpenProgramFolderCommand)).shown);
  ASSERT_EQ(box_.shown.size(), 1u);
  EXPECT_EQ(box_.shown[0].kind, "error");
  EXPECT_NE(box_.shown[0].message.find("C:\\Apps\\version_app.exe"), std::string::npos)
      << box_.shown[0].message;
  EXPECT_NE(box_.shown[0].message.find(prefix_.HostPath("dosdevices/c:/Apps")), std::string::npos);
  EXPECT_EQ(offers_, 0);
  EXPECT_FALSE(model_.AnyLocationChanged());
}

TEST(ProgramFolderTarget, FindsTheProgramFileOfACommand) {
  test::TempPrefix prefix;
  ASSERT_EQ(velmora::test::InitPrefix(), platform::kSuccess);
  const std::string system = platform::files::SystemDirectory(velmora::test::System());
  EXPECT_EQ(ui::ProgramFolderTarget(velmora::test::System(), "notepad.exe"), system + "\\notepad.exe");
  EXPECT_EQ(ui::ProgramFolderTarget(velmora::test::System(), "\"C:\\Program Files\\App\\app.exe\" -tray"),
            "C:\\Program Files\\App\\app.exe");
  EXPECT_EQ(ui::ProgramFolderTarget(velmora::test::System(), "C:\\Tools\\tool.exe /s"),
            "C:\\Tools\\tool.exe");
  EXPECT_EQ(ui::ProgramFolderTarget(velmora::test::System(), "%SystemRoot%\\regedit.exe"),
            "C:\\windows\\regedit.exe");
}

TEST_F(EntryMenuTest, RemoveCommandsEditTheModelAndOfferApply) {
  Add("Idle", "C:\\Apps\\version_app.exe", kCuRun);
  Add("Gone", "C:\\Apps\\missing.exe", kLmRun);
  Add("Later", "C:\\Apps\\version_app.exe /later", kCuRunOnce);
  Add("Spare", "C:\\Apps\\version_app.exe", kCuStartupFolder);
  model_.ClearChangeFlags();
  Reshow();

  ASSERT_TRUE(RightClick(RowOf("Idle"), Choose(ui::kRemoveCommand)).shown);
  EXPECT_EQ(Entry(kCuRun, "idle").removed, 1);
  EXPECT_EQ(model_.ChangedFlags()[kCuRun], 1);
  EXPECT_EQ(offers_, 1);
  EXPECT_EQ(RowOf("Idle"), -1);
  EXPECT_TRUE(list_->selectionModel()->selectedRows().isEmpty());

  // Without a selected row nothing is removed, but the view is shown again.
  const int reshows = reshows_;
  list_->clearSelection();
  menu_->Remove();
  EXPECT_EQ(reshows_, reshows + 1);
  EXPECT_EQ(offers_, 1);
  EXPECT_EQ(list_->rowCount(), 3);

  model_.SetEntryEnabled("gone", kLmRun, 0);
  Reshow();
  box_.answers = {1};
  ASSERT_TRUE(RightClick(RowOf("Later"), Choose(ui::kRemoveAllDisabledCommand)).shown);
  ASSERT_EQ(box_.shown.size(), 1u);
  EXPECT_EQ(box_.shown[0].message.substr(0, box_.shown[0].message.find("\n\nThey")),
            "Remove the disabled entry of this location?\n\nLM Run: 1 entry");
  EXPECT_EQ(Entry(kLmRun, "gone").removed, 1);
  EXPECT_EQ(Entry(kCuRunOnce, "later").removed, 0);
  EXPECT_EQ(offers_, 2);
  EXPECT_EQ(RowOf("Gone"), -1);

  // The bulk removals act on the view's locations, and only once the user agrees.
  Add("Other", "C:\\Apps\\version_app.exe", kCuRunOnce);
  view_ = 7;  // the user's registry: CU Run and CU RunOnce
  Reshow();
  box_.shown.clear();
  box_.answers = {2};
  ASSERT_TRUE(RightClick(RowOf("Later"), Choose(ui::kRemoveAllCommand)).shown);
  ASSERT_EQ(box_.shown.size(), 1u);
  EXPECT_EQ(box_.shown[0].firstCaption, "Yes");
  EXPECT_EQ(box_.shown[0].message.substr(0, box_.shown[0].message.find("\n\nThey")),
            "Remove all 2 entries of this location?\n\nCU RunOnce: 2 entries");
  EXPECT_EQ(Entry(kCuRunOnce, "later").removed, 0);
  EXPECT_EQ(offers_, 2);  // a refusal offers nothing
  box_.answers = {1};
  ASSERT_TRUE(RightClick(RowOf("Later"), Choose(ui::kRemoveAllCommand)).shown);
  EXPECT_EQ(Entry(kCuRunOnce, "later").removed, 1);
  EXPECT_EQ(Entry(kCuRunOnce, "other").removed, 1);
  for (auto& [key, task] : model_.Entries(kCuStartupFolder)) EXPECT_EQ(task->removed, 0) << key;
  EXPECT_EQ(list_->rowCount(), 0);
  EXPECT_EQ(offers_, 3);

  view_ = 0;
  Reshow();
  box_.answers = {1};
  ASSERT_GT(list_->rowCount(), 0);
  ASSERT_TRUE(RightClick(0, Choose(ui::kRemoveAllCommand)).shown);
  EXPECT_EQ(list_->rowCount(), 0);
  for (int location = 0; location < kLocationCount; ++location) {
    for (auto& [key, task] : model_.Entries(location)) EXPECT_EQ(task->removed, 1) << key;
  }
  EXPECT_EQ(offers_, 4);
}

// Enable all and Disable all act on exactly the locations of the current view.
TEST_F(EntryMenuTest, BulkEditsCoverTheLocationsOfEachView) {
  int filled = 0;
  for (int location = 0; location < kLocationCount; ++location) {
    if (!IsAddableLocation(location)) continue;
    Add("Entry" + std::to_string(location), "C:\\Apps\\version_app.exe", location);
    ++filled;
  }
  const auto& views = ui::Views();
  for (int view = 0; view < static_cast<int>(views.size()); ++view) {
    for (int location = 0; location < kLocationCount; ++location) model_.SetLocationEnabled(location, 1);
    model_.ClearChangeFlags();
    ui::SetViewEnabled(model_, view, 0);
    const std::vector<int>& covered = views[view].locations;
    for (int location = 0; location < kLocationCount; ++location) {
      bool inView = std::find(covered.begin(), covered.end(), location) != covered.end();
      for (auto& [key, task] : model_.Entries(location)) {
        EXPECT_EQ(task->enabled, inView ? 0 : 1) << views[view].command << " " << key;
      }
      const bool changes = inView && !model_.Entries(location).empty();
      EXPECT_EQ(model_.ChangedFlags()[location], changes ? 1 : 0) << views[view].command << " " << location;
    }
    ui::SetViewEnabled(model_, view, 1);
    for (int location : covered) {
      for (auto& [key, task] : model_.Entries(location)) EXPECT_EQ(task->enabled, 1) << key;
    }
  }

  // In the list: "IDC_FS_USERREG" clears the check boxes of CU Run and CU RunOnce only.
  for (int location = 0; location < kLocationCount; ++location) model_.SetLocationEnabled(location, 1);
  ui::SetViewEnabled(model_, 7, 0);
  view_ = 0;
  Reshow();
  ASSERT_EQ(list_->rowCount(), filled);
  for (int row = 0; row < list_->rowCount(); ++row) {
    const std::string tag = list_->RowLocationText(row);
    EXPECT_EQ(list_->RowChecked(row), tag != "CU Run" && tag != "CU RunOnce") << tag;
  }
  ui::SetViewEnabled(model_, 11, 0);  // no such view: nothing
  ui::SetViewEnabled(model_, -1, 0);
  EXPECT_EQ(Entry(kLmRun, "entry0").enabled, 1);
}

}  // namespace
}  // namespace velmora

VELMORA_UI_TEST_MAIN()
