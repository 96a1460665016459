#include <gtest/gtest.h>

#include <QEventLoop>
#include <QFile>
#include <QQuickItem>
#include <QTimer>
#include <QWidget>

#include "app/language.h"
#include "tests/support/test_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/flash_movie_host.h"

namespace velmora {
namespace {

using ui::FlashMovieHost;

// A small movie of the tests' own: a root with variables, a named child, a title
// area that asks to be dragged and two buttons.
constexpr char kTestMovie[] = R"(
import QtQuick
Rectangle {
    id: root
    signal fsCommand(string command, string argument)
    property string applyState: "0"
    property int counter: 0
    width: 200; height: 120
    color: applyState === "1" ? "green" : "gray"
    Text { objectName: "message_txt"; text: "start"; y: 40 }
    Rectangle {
        objectName: "title"; width: 200; height: 20; color: "navy"
        MouseArea { anchors.fill: parent; onPressed: root.fsCommand("IDC_FS_drag", "") }
    }
    Rectangle {
        objectName: "first"; x: 10; y: 70; width: 60; height: 30
        MouseArea { anchors.fill: parent; onClicked: root.fsCommand("ID_FS_First", "one") }
    }
    Rectangle {
        objectName: "twice"; x: 100; y: 70; width: 60; height: 30
        MouseArea { anchors.fill: parent; onClicked: { root.fsCommand("ID_Fs_A", "1"); root.fsCommand("ID_Fs_B", "2") } }
    }
}
)";

class MovieHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    program_.programFiles = &velmora::test::System();  // the system the movie paths go through
    std::string host = dir_.path() + "/test.vmf";
    test::WriteFile(host, kTestMovie);
    moviePath_ = platform::files::WindowsPathFromHost(velmora::test::System(), host);
    window_.resize(300, 200);
    host_ = new FlashMovieHost(&window_);
    host_->setGeometry(0, 0, 300, 200);
  }
  void Load() {
    host_->SetMovie(program_, moviePath_);
    host_->SetScale("NoScale");
    host_->SetAlignMode(ui::kAlignLeft | ui::kAlignTop);
    host_->SetBackgroundColor(0x33);
    window_.show();
    QCoreApplication::processEvents();
  }

  test::TempPrefix prefix_;
  test::TempDir dir_;
  ProgramContext program_;
  std::string moviePath_;
  QWidget window_{nullptr, Qt::Window | Qt::FramelessWindowHint};
  FlashMovieHost* host_ = nullptr;
};

TEST_F(MovieHostTest, VariablesUnderRootAndNamedChildren) {
  test::QtMessageCatcher messages;
  Load();
  ASSERT_TRUE(host_->MovieLoaded()) << host_->MovieErrors().join("\n").toStdString();

  host_->SetMovieVariable("_root.applyState", "1");
  EXPECT_EQ(host_->GetMovieVariable("_root.applyState"), "1");
  EXPECT_EQ(host_->MovieRoot()->property("color").value<QColor>(), QColor("green"));

  host_->SetMovieVariable("_root.message_txt.text", "hello");
  EXPECT_EQ(host_->GetMovieVariable("_root.message_txt.text"), "hello");
  // Numbers arrive as text and are converted by the movie's property type.
  host_->SetMovieVariable("_root.counter", "42");
  EXPECT_EQ(host_->GetMovieVariable("_root.counter"), "42");

  // Names the movie does not have: no effect, no error, "" when read.
  host_->SetMovieVariable("_root.noSuchVariable", "1");
  host_->SetMovieVariable("_root.noSuchChild.text", "1");
  host_->SetMovieVariable("applyState", "0");
  host_->SetMovieVariable("_root.", "0");
  EXPECT_EQ(host_->GetMovieVariable("_root.applyState"), "1");
  EXPECT_EQ(host_->GetMovieVariable("_root.noSuchVariable"), "");
  EXPECT_FALSE(host_->MovieRoot()->property("noSuchVariable").isValid());
  EXPECT_TRUE(messages.messages.isEmpty()) << messages.messages.join("\n").toStdString();
}

TEST_F(MovieHostTest, MissingOrBrokenMovieLeavesThePlayerEmpty) {
  test::QtMessageCatcher messages;
  host_->SetMovie(
      program_, platform::files::WindowsPathFromHost(velmora::test::System(), dir_.path() + "/missing.vmf"));
  EXPECT_FALSE(host_->MovieLoaded());
  host_->SetMovieVariable("_root.applyState", "1");
  EXPECT_EQ(host_->GetMovieVariable("_root.applyState"), "");

  test::WriteFile(dir_.path() + "/broken.vmf", "import QtQuick\nRectangle { width: \n");
  host_->SetMovie(program_,
                  platform::files::WindowsPathFromHost(velmora::test::System(), dir_.path() + "/broken.vmf"));
  EXPECT_FALSE(host_->MovieLoaded());
  EXPECT_FALSE(host_->MovieErrors().isEmpty());

  // A good movie after a broken one plays.
  Load();
  EXPECT_TRUE(host_->MovieLoaded());
}

TEST_F(MovieHostTest, ClicksRaiseCommandsThatReachTheHandlerInOrder) {
  Load();
  std::vector<std::string> handled;
  host_->SetCommandHandler([&](const std::string& command, const std::string& argument) {
    handled.push_back(command + ":" + argument);
  });
  ASSERT_TRUE(test::ClickMovieItem(host_, "first"));
  // The handler runs from the event loop, after the movie's click handling.
  EXPECT_TRUE(handled.empty());
  test::ProcessMovieCommands();
  ASSERT_TRUE(test::ClickMovieItem(host_, "twice"));
  test::ProcessMovieCommands();
  EXPECT_EQ(handled, (std::vector<std::string>{"ID_FS_First:one", "ID_Fs_A:1", "ID_Fs_B:2"}));
}

TEST_F(MovieHostTest, ACommandArrivingDuringAModalHandlerWaitsForIt) {
  Load();
  std::vector<std::string> handled;
  host_->SetCommandHandler([&](const std::string& command, const std::string&) {
    handled.push_back("begin " + command);
    if (command == "ID_FS_First") {
      // A modal box: its own loop runs while the user clicks the movie again.
      QEventLoop loop;
      QTimer::singleShot(0, [&] {
        test::ClickMovieItem(host_, "twice");
        QTimer::singleShot(0, &loop, &QEventLoop::quit);
      });
      loop.exec();
    }
    handled.push_back("end " + command);
  });
  ASSERT_TRUE(test::ClickMovieItem(host_, "first"));
  test::ProcessMovieCommands();
  EXPECT_EQ(handled, (std::vector<std::string>{"begin ID_FS_First", "end ID_FS_First", "begin ID_Fs_A",
                                               "end ID_Fs_A", "begin ID_Fs_B", "end ID_Fs_B"}));
}

TEST(MovieCommandTable, FirstNameEqualWithoutRegardToCaseRuns) {
  std::vector<std::string> ran;
  ui::MovieCommandTable table = {
      {"ID_FS_EXIT", [&](const std::string& a) { ran.push_back("exit " + a); }},
      {"ID_FS_Exit", [&](const std::string&) { ran.push_back("second"); }},
      {"IDC_FS_drag", [&](const std::string&) { ran.push_back("drag"); }},
  };
  EXPECT_EQ(ui::DispatchMovieCommand(table, "id_fs_exit", "x"), 0);
  EXPECT_EQ(ui::DispatchMovieCommand(table, "IDC_FS_DRAG", ""), 2);
  EXPECT_EQ(ui::DispatchMovieCommand(table, "IDC_FS_dra", ""), -1);
  EXPECT_EQ(ui::DispatchMovieCommand(table, "", ""), -1);
  EXPECT_EQ(ran, (std::vector<std::string>{"exit x", "drag"}));
}

TEST_F(MovieHostTest, NoScalePlacesTheMovieByTheAlignMode) {
  Load();
  QQuickItem* root = host_->MovieRoot();
  EXPECT_EQ(root->position(), QPointF(0, 0));
  EXPECT_DOUBLE_EQ(root->scale(), 1.0);
  host_->SetAlignMode(ui::kAlignLeft);  // left, centred vertically
  EXPECT_EQ(root->position(), QPointF(0, 40));
  host_->SetAlignMode(0);
  EXPECT_EQ(root->position(), QPointF(50, 40));
  host_->SetAlignMode(ui::kAlignRight | ui::kAlignBottom);
  EXPECT_EQ(root->position(), QPointF(100, 80));
  host_->SetScale("ShowAll");
  EXPECT_NEAR(root->scale(), 1.5, 1e-9);  // min(300 / 200, 200 / 120)
}

TEST_F(MovieHostTest, TitleAreaDragMovesTheWindowWithTheMouse) {
  Load();
  host_->SetCommandHandler([&](const std::string& command, const std::string&) {
    if (command == "IDC_FS_drag") host_->DragWindow();
  });
  window_.move(100, 100);
  QCoreApplication::processEvents();
  const QPoint start = window_.pos();
  QPoint press(50, 10);
  QTest::mousePress(host_, Qt::LeftButton, Qt::NoModifier, press);
  test::ProcessMovieCommands();
  QMouseEvent move(QEvent::MouseMove, QPointF(press + QPoint(30, 20)),
                   QPointF(host_->mapToGlobal(press + QPoint(30, 20))), Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QCoreApplication::sendEvent(host_, &move);
  EXPECT_EQ(window_.pos(), start + QPoint(30, 20));
  QTest::mouseRelease(host_, Qt::LeftButton, Qt::NoModifier, press + QPoint(30, 20));
  // After the release the mouse no longer drags.
  QMouseEvent later(QEvent::MouseMove, QPointF(10, 10), QPointF(host_->mapToGlobal(QPoint(10, 10))),
                    Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(host_, &later);
  EXPECT_EQ(window_.pos(), start + QPoint(30, 20));
}

// The build lays each movie out under the name the program computes, and every
// movie loads without a QML error or warning.
class InstalledMoviesTest : public ::testing::Test {
 protected:
  void SetUp() override { test::BuiltProgram(); }
  test::TempPrefix prefix_;
};

TEST_F(InstalledMoviesTest, EveryMovieIsInstalledUnderItsEncodedNameAndLoadsCleanly) {
  QDir sources(QString::fromStdString(test::SourcePath("movies")));
  QStringList qml = sources.entryList({"*.qml"}, QDir::Files);
  ASSERT_FALSE(qml.isEmpty());
  for (const QString& file : qml) {
    std::string base = QFileInfo(file).completeBaseName().toStdString();
    std::string path = ui::MoviePath(test::BuiltProgram(), base, base == ui::kSplashMovie ? ".vms" : ".vmf");
    SCOPED_TRACE(base + " at " + path);
    ASSERT_TRUE(platform::files::Exists(velmora::test::System(), path));
    EXPECT_EQ(test::ReadFile(platform::files::HostPathFromWindows(velmora::test::System(), path)),
              test::ReadFile(sources.filePath(file).toStdString()));

    test::QtMessageCatcher messages;
    QWidget window(nullptr, Qt::Window | Qt::FramelessWindowHint);
    window.resize(640, 605);
    auto* host = new FlashMovieHost(&window);
    host->setGeometry(0, 0, 640, 605);
    host->SetMovie(test::BuiltProgram(), path);
    window.show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(host->MovieLoaded()) << host->MovieErrors().join("\n").toStdString();
    EXPECT_TRUE(messages.messages.isEmpty()) << messages.messages.join("\n").toStdString();
  }
  EXPECT_NE(ui::MoviePath(test::BuiltProgram(), "VlmMain").find("\\61\\17422\\86767777657378.vmf"),
            std::string::npos);
}

}  // namespace
}  // namespace velmora

VELMORA_UI_TEST_MAIN()
