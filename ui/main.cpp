// Velmora: the window program. Builds the application object and runs its
// start-up with the Qt main window and message box; ends through the
// application's shutdown, which never returns.
#include <QApplication>
#include <QMessageBox>
#include <QQuickWindow>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/message_box_requests.h"
#include "app/system_choice.h"
#include "app/velmora_app.h"
#include "base/program_version.h"
#include "platform/heap.h"
#include "platform/managed_system.h"
#include "platform/offline.h"
#include "ui/choose_user_dlg.h"
#include "ui/custom_msg_box_dlg.h"
#include "ui/entry_list.h"
#include "ui/resource_images.h"
#include "ui/system_chooser.h"
#include "ui/user_settings.h"
#include "ui/velmora_dlg.h"

namespace {

// With VELMORA_QUIT_AFTER_FIRST_FRAME set, the main window closes as soon as it
// has drawn its first frame that shows the entry list, without saving anything,
// and the program ends. When that frame is drawn, standard error gets "first
// frame at SECONDS with N entries" (seconds since 1970, to the microsecond; N the
// rows the list holds then): the start-up benchmark takes the time from there, as
// the window's teardown is no part of its start.
class QuitAfterFirstFrame : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !done_) {
      auto* widget = qobject_cast<QWidget*>(watched);
      auto* window = widget ? qobject_cast<velmora::ui::VelmoraDlg*>(widget->window()) : nullptr;
      // The list's rows are drawn in its viewport, after the movie behind it.
      velmora::ui::EntryList* list = window ? window->List() : nullptr;
      if (list && watched == list->viewport() && list->isVisible()) {
        done_ = true;
        const int rows = list->rowCount();
        // Queued: the rest of this frame is drawn before the window closes.
        QTimer::singleShot(0, window, [window, rows] {
          const auto now = std::chrono::system_clock::now().time_since_epoch();
          const long long micro = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
          std::fprintf(stderr, "first frame at %lld.%06lld with %d entries\n", micro / 1000000,
                       micro % 1000000, rows);
          window->done(0);
        });
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  bool done_ = false;
};

// Opens the chosen Windows. An offline installation with several users lets the
// user choose one; what cannot be opened is said in the message box. False when
// there is nothing to manage.
// |tried| says the system was already tried, in vain, for the reason in |error|.
bool OpenSystemOrSay(velmora::SystemChoice* choice, std::unique_ptr<platform::ManagedSystem>* system,
                     bool tried, std::string error) {
  if (!tried && velmora::OpenChosenSystem(*choice, system, &error)) return true;
  if (!choice->windowsRoot.empty() && choice->userName.empty()) {
    const std::vector<std::string> users = platform::OfflineUserNames(choice->windowsRoot);
    if (users.size() > 1) {
      // The movies are found from the program's own folder, whatever Windows it
      // manages, through the system the program would manage by default.
      const std::unique_ptr<platform::ManagedSystem> programFiles = platform::DefaultSystem();
      velmora::ProgramContext program;
      program.programDir = velmora::ProgramDirOfExecutable(*programFiles);
      program.programFiles = programFiles.get();
      velmora::ui::ChooseUserDlg dialog(program, choice->windowsRoot, users);
      if (dialog.DoModal() != QDialog::Accepted) return false;
      choice->userName = dialog.chosenUser;
      if (velmora::OpenChosenSystem(*choice, system, &error)) return true;
    }
  }
  std::fprintf(stderr, "Velmora: %s\n", error.c_str());
  // Where no one sees a window (the offscreen and minimal platforms) the box would
  // wait for ever: the message above is all that is said.
  const QString platform = QGuiApplication::platformName();
  if (platform == "offscreen" || platform == "minimal") return false;
  // Qt's own box: the program's movies are found through a system, and there is
  // none to go through (looking them up would make the default prefix).
  QMessageBox::critical(
      nullptr, "Velmora",
      QString::fromStdString("Velmora cannot open the Windows it is to manage:\n\n" + error));
  return false;
}

// Qt's application object with the program's name, icon and first-frame hook.
void StartQt(std::optional<QApplication>* qt, int& argc, char** argv, QuitAfterFirstFrame* firstFrame) {
  qt->emplace(argc, argv);
  QApplication::setApplicationName("Velmora");
  QGuiApplication::setDesktopFileName("com.orlinsk.Velmora");  // its entry in the application menu
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(velmora::ui::ProgramWindowIcon());
  if (!qEnvironmentVariableIsEmpty("VELMORA_QUIT_AFTER_FIRST_FRAME")) (*qt)->installEventFilter(firstFrame);
}

// Without a choice on the command line, the system chosen last in the window,
// while it can still be opened; null otherwise.
std::unique_ptr<platform::ManagedSystem> RememberedSystemIfAny(const velmora::SystemChoice& choice) {
  std::unique_ptr<platform::ManagedSystem> system;
  if (choice.windowsRoot.empty() && choice.system.empty() && qEnvironmentVariableIsEmpty("WINEPREFIX")) {
    velmora::SystemChoice remembered = choice;
    remembered.system = velmora::ui::RememberedSystem();
    std::string ignored;
    if (!remembered.system.empty() && !velmora::OpenChosenSystem(remembered, &system, &ignored))
      system.reset();
  }
  return system;
}

}  // namespace

int main(int argc, char** argv) {
  // Answered before anything starts: no display, no lock, no Windows needed.
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::printf("Velmora %s\n", velmora::ProgramVersion());
    return 0;
  }
  platform::PrepareHeap();
  // The movies need no GPU: Qt Quick's software renderer draws them anywhere,
  // virtual displays included, unless the user asks for another backend.
  if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND") && qEnvironmentVariableIsEmpty("QSG_RHI_BACKEND")) {
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
  }
  QuitAfterFirstFrame firstFrame;
  std::optional<QApplication> qt;
  std::unique_ptr<platform::ManagedSystem> system;
  velmora::SystemChoice choice;
  std::string error;

  // The system is read while Qt starts: when the command line holds only the
  // program's own options and the system they choose opens, it is opened and its
  // reading begun before the application object is made. Anything else (Qt's own
  // options, a system to ask about or to refuse) takes the path below, with Qt first.
  std::vector<std::string> args(argv + 1, argv + argc);
  bool tried = false;
  if (velmora::TakeSystemOptions(&args, &choice, &error) && args.empty()) {
    tried = true;
    system = RememberedSystemIfAny(choice);
    if (!system && !velmora::OpenChosenSystem(choice, &system, &error)) system.reset();
  }
  if (system) {
    velmora::VelmoraApp app(std::move(system));
    {
      velmora::ui::MainWindowStart start(app);
      StartQt(&qt, argc, argv, &firstFrame);
      velmora::ui::QtMessageBoxPresenter box(app.Context());
      start.Run(box);
    }
    app.EndApplication();
  }

  StartQt(&qt, argc, argv, &firstFrame);
  // "--system NAME|PATH" chooses a system of the machine, "--windows DIR [--user
  // NAME]" an offline Windows installation, instead of the Wine prefix.
  if (!tried) {
    args.clear();
    for (const QString& arg : QApplication::arguments().mid(1)) args.push_back(arg.toStdString());
    choice = velmora::SystemChoice();
    error.clear();
    if (!velmora::TakeSystemOptions(&args, &choice, &error) || !args.empty()) {
      if (error.empty()) error = "unknown argument: " + args.front();
      std::fprintf(
          stderr,
          "Velmora: %s\nUsage: Velmora [--system NAME|PATH | --windows DIR] [--user NAME] | --version\n",
          error.c_str());
      return 2;
    }
    system = RememberedSystemIfAny(choice);
  }
  if (!system && !OpenSystemOrSay(&choice, &system, tried, error)) return 1;
  velmora::VelmoraApp app(std::move(system));
  velmora::ui::QtMessageBoxPresenter box(app.Context());
  velmora::ui::StartAndRunMainWindow(app, box);
  app.EndApplication();
}
