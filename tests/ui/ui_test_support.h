// Shared helpers of the window tests: an offscreen application, the built
// program folder, QML message capture, clicks on movie items and screenshots.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QMutex>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>

#include "base/program_context.h"
#include "platform/files.h"
#include "tests/support/test_support.h"
#include "ui/flash_movie_host.h"

namespace velmora::test {

// Messages of Qt and QML at warning level or above, collected while the object
// lives (QML reports its errors and binding warnings this way).
class QtMessageCatcher {
 public:
  QtMessageCatcher() {
    Instance() = this;
    previous_ = qInstallMessageHandler(&QtMessageCatcher::Handle);
  }
  ~QtMessageCatcher() {
    qInstallMessageHandler(previous_);
    Instance() = nullptr;
  }
  QStringList messages;

 private:
  static QtMessageCatcher*& Instance() {
    static QtMessageCatcher* instance = nullptr;
    return instance;
  }
  static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtDebugMsg || type == QtInfoMsg) return;
    // The offscreen platform's notes about itself are not the movies' business.
    if (text.contains("XDG_RUNTIME_DIR") || text.contains("This plugin does not support")) return;
    if (QtMessageCatcher* catcher = Instance()) catcher->messages << text;
  }
  QtMessageHandler previous_ = nullptr;
};

// The program folder that the build laid out (movies in their numbered folder),
// as |program|'s, reached through its own system (an application's: the one it
// manages), else through the test's.
inline void UseBuiltProgramDir(ProgramContext& program) {
  if (!program.programFiles) program.programFiles = &velmora::test::System();
  program.programDir = platform::files::WindowsPathFromHost(*program.programFiles, VELMORA_PROGRAM_DIR);
}

// A context with the build's program folder, for what a test shows without an
// application object.
inline ProgramContext& BuiltProgram() {
  static ProgramContext program;
  program.programFiles = &velmora::test::System();  // the test's system of the moment
  UseBuiltProgramDir(program);
  return program;
}

inline QQuickItem* FindMovieItem(ui::FlashMovieHost* host, const QString& objectName) {
  QQuickItem* root = host->MovieRoot();
  if (!root) return nullptr;
  if (root->objectName() == objectName) return root;
  if (auto* found = root->findChild<QQuickItem*>(objectName)) return found;
  const QList<QQuickItem*> children = root->childItems();
  std::vector<QQuickItem*> queue(children.begin(), children.end());
  for (std::size_t i = 0; i < queue.size(); ++i) {
    if (queue[i]->objectName() == objectName) return queue[i];
    for (QQuickItem* child : queue[i]->childItems()) queue.push_back(child);
  }
  return nullptr;
}

// Centre of a movie item in the host widget's coordinates.
inline QPoint ItemCentre(QQuickItem* item) {
  QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
  return centre.toPoint();
}

// A real click: move, press and release through the window system's event path.
inline bool ClickMovieItem(ui::FlashMovieHost* host, const QString& objectName,
                           Qt::MouseButton button = Qt::LeftButton) {
  QQuickItem* item = FindMovieItem(host, objectName);
  if (!item || !item->isVisible()) return false;
  QPoint point = ItemCentre(item);
  QTest::mouseMove(host, point);
  QTest::mouseClick(host, button, Qt::NoModifier, point);
  return true;
}

// Runs the event loop until |condition| holds or |milliseconds| have passed by the
// clock; whether it holds. For gtest's assertions: Qt's QTRY_ macros report a
// timeout to QTest alone, which a gtest test never hears of.
inline bool WaitUntil(const std::function<bool()>& condition, int milliseconds = 5000) {
  QDeadlineTimer deadline(milliseconds);
  while (!condition() && !deadline.hasExpired()) QTest::qWait(10);
  return condition();
}

// Handles the commands the click raised.
inline void ProcessMovieCommands() {
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

inline std::string ScreenshotDir() {
  std::string dir = std::string(VELMORA_BINARY_DIR) + "/screenshots";
  QDir().mkpath(QString::fromStdString(dir));
  return dir;
}

// Saves a picture of |widget| (with its movie and child widgets) as
// build/screenshots/<name>.png and returns the path.
inline std::string SaveScreenshot(QWidget* widget, const std::string& name) {
  // Let the movies render the frame of their latest state.
  QTest::qWait(200);
  std::string path = ScreenshotDir() + "/" + name + ".png";
  widget->grab().save(QString::fromStdString(path));
  return path;
}

// Runs |modal| (a function that shows a modal window and returns its result) and,
// once its loop runs, |whileOpen|.
inline int RunModal(const std::function<int()>& modal, const std::function<void()>& whileOpen) {
  QTimer::singleShot(0, [whileOpen] { whileOpen(); });
  return modal();
}

}  // namespace velmora::test

// The window tests run offscreen with Qt Quick's software renderer.
#define VELMORA_UI_TEST_MAIN()                                    \
  int main(int argc, char** argv) {                               \
    qputenv("QT_QPA_PLATFORM", "offscreen");                      \
    velmora::test::TempDir config;                                \
    qputenv("XDG_CONFIG_HOME", config.path().c_str());            \
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software); \
    QApplication app(argc, argv);                                 \
    ::testing::InitGoogleTest(&argc, argv);                       \
    return RUN_ALL_TESTS();                                       \
  }
