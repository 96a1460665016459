#include <gtest/gtest.h>

#include <QQuickItem>

#include "app/language.h"
#include "tests/support/test_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/custom_msg_box_dlg.h"

namespace velmora {
namespace {

using ui::CustomMsgBoxDlg;

class MessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override { test::BuiltProgram(); }
  test::TempPrefix prefix_;
};

TEST(AtoiLike, ReadsLikeTheRuntime) {
  EXPECT_EQ(ui::AtoiLike("204"), 204);
  EXPECT_EQ(ui::AtoiLike("  \t-17px"), -17);
  EXPECT_EQ(ui::AtoiLike("+8"), 8);
  EXPECT_EQ(ui::AtoiLike("12.9"), 12);
  EXPECT_EQ(ui::AtoiLike("abc"), 0);
  EXPECT_EQ(ui::AtoiLike(""), 0);
  EXPECT_EQ(ui::AtoiLike("- 5"), 0);
  EXPECT_EQ(ui::AtoiLike("99999999999999"), 2147483647);
}

TEST_F(MessageBoxTest, DefaultsAndTheVariablesThatReachTheMovie) {
  test::QtMessageCatcher messages;
  CustomMsgBoxDlg box(test::BuiltProgram());
  EXPECT_EQ(box.title, GetString(7001));
  EXPECT_EQ(box.message, "Undefined Error");
  EXPECT_EQ(box.kind, "alert");
  EXPECT_EQ(box.width, 204);
  EXPECT_EQ(box.height, 94);
  EXPECT_EQ(box.buttonCount, 1);
  EXPECT_EQ(box.firstCaption, "OK");
  EXPECT_EQ(box.secondCaption, "Cancel");
  EXPECT_EQ(box.showCheckBox, 0);
  EXPECT_EQ(box.checkLabel, "Do not show this message again.");
  EXPECT_EQ(box.checkState, 0);

  box.message = "Two lines\nof text";
  box.kind = "error";
  box.buttonCount = 2;
  box.firstCaption = "Yes";
  box.secondCaption = "No";
  box.showCheckBox = 1;
  box.checkState = 1;
  box.Initialise();
  ui::FlashMovieHost* movie = box.Movie();
  ASSERT_TRUE(movie->MovieLoaded()) << movie->MovieErrors().join("\n").toStdString();
  EXPECT_EQ(movie->GetMovieVariable("_root.msgTitle_txt.text"), "Velmora");
  EXPECT_EQ(movie->GetMovieVariable("_root.message_txt.text"), "Two lines\nof text");
  EXPECT_EQ(movie->GetMovieVariable("_root.buttonCount"), "2");
  EXPECT_EQ(movie->GetMovieVariable("_root.showIcon"), "error");
  EXPECT_EQ(movie->GetMovieVariable("_root.showCheck"), "1");
  EXPECT_EQ(movie->GetMovieVariable("_root.btnCaption1"), "Yes");
  EXPECT_EQ(movie->GetMovieVariable("_root.btnCaption2"), "No");
  // The program writes the check state as "1"; the movie keeps it as "true".
  EXPECT_EQ(movie->GetMovieVariable("_root.bMsgCheck"), "true");
  EXPECT_TRUE(test::FindMovieItem(movie, "IDC_FS_Cancel")->isVisible());
  EXPECT_TRUE(test::FindMovieItem(movie, "checkRow")->isVisible());
  EXPECT_TRUE(messages.messages.isEmpty()) << messages.messages.join("\n").toStdString();
}

TEST_F(MessageBoxTest, OneButtonBoxWithoutCheckBox) {
  CustomMsgBoxDlg box(test::BuiltProgram());
  box.Initialise();
  EXPECT_FALSE(test::FindMovieItem(box.Movie(), "IDC_FS_Cancel")->isVisible());
  EXPECT_FALSE(test::FindMovieItem(box.Movie(), "checkRow")->isVisible());
  EXPECT_EQ(box.Movie()->GetMovieVariable("_root.bMsgCheck"), "false");
}

TEST_F(MessageBoxTest, FirstButtonReturnsOneWithTheCheckStateOfTheMovie) {
  CustomMsgBoxDlg box(test::BuiltProgram());
  box.buttonCount = 2;
  box.showCheckBox = 1;
  int result =
      test::RunModal([&] { return box.DoModal(); }, [&] { test::ClickMovieItem(box.Movie(), "IDC_FS_OK"); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(box.checkState, 0);
}

TEST_F(MessageBoxTest, SecondButtonAfterTickingReturnsTwoAndChecked) {
  CustomMsgBoxDlg box(test::BuiltProgram());
  box.message = "Do you want to apply the last changes you have made, before closing Velmora?";
  box.buttonCount = 2;
  box.firstCaption = "Yes";
  box.secondCaption = "No";
  box.showCheckBox = 1;
  int result = test::RunModal([&] { return box.DoModal(); },
                              [&] {
                                test::ClickMovieItem(box.Movie(), "checkBox");
                                test::SaveScreenshot(&box, "message_box_question");
                                test::ClickMovieItem(box.Movie(), "IDC_FS_Cancel");
                              });
  EXPECT_EQ(result, 2);
  EXPECT_EQ(box.checkState, 1);
}

TEST_F(MessageBoxTest, ClosingWithoutAChoiceReturnsZeroAndKeepsTheCheckState) {
  CustomMsgBoxDlg box(test::BuiltProgram());
  box.showCheckBox = 1;
  box.checkState = 1;
  int result = test::RunModal([&] { return box.DoModal(); },
                              [&] {
                                test::ClickMovieItem(box.Movie(), "checkBox");  // cleared in the movie
                                test::ClickMovieItem(box.Movie(), "closeButton");
                              });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(box.checkState, 1);

  // Escape is the same as the close button.
  CustomMsgBoxDlg second(test::BuiltProgram());
  result = test::RunModal([&] { return second.DoModal(); },
                          [&] { QTest::keyClick(second.Movie(), Qt::Key_Escape); });
  EXPECT_EQ(result, 0);
}

TEST_F(MessageBoxTest, CommandsAreComparedWithoutCaseAndCheckIsExactlyTrue) {
  CustomMsgBoxDlg box(test::BuiltProgram());
  box.Initialise();
  box.Movie()->SetMovieVariable("_root.bMsgCheck", "True");
  int result = test::RunModal([&] { return box.exec(); }, [&] { box.OnMovieCommand("idc_fs_ok", ""); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(box.checkState, 0);

  CustomMsgBoxDlg other(test::BuiltProgram());
  other.checkState = 1;
  other.Initialise();
  result = test::RunModal([&] { return other.exec(); }, [&] { other.OnMovieCommand("ID_FS_EXIT", ""); });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(other.checkState, 1);
}

TEST_F(MessageBoxTest, ResizesOnHeightReportsOnly) {
  CustomMsgBoxDlg box(test::BuiltProgram());
  box.Initialise();
  box.move(40, 50);
  box.resize(100, 60);
  box.OnMovieCommand("IDC_FS_WIDTH", "undefined");
  box.OnMovieCommand("IDC_FS_HEIGHT", "UNDEFINED");
  // Nothing reported: the stored size, 204 x 94.
  EXPECT_EQ(box.size(), QSize(204, 94));
  EXPECT_EQ(box.Movie()->geometry(), QRect(0, 0, 204, 94));

  box.OnMovieCommand("IDC_FS_WIDTH", "300");
  EXPECT_EQ(box.size(), QSize(204, 94));  // a width alone changes nothing yet
  box.OnMovieCommand("IDC_FS_HEIGHT", "120px");
  EXPECT_EQ(box.size(), QSize(300, 120));
  EXPECT_EQ(box.pos(), QPoint(40, 50));
  box.OnMovieCommand("IDC_FS_WIDTH", "undefined");
  box.OnMovieCommand("IDC_FS_HEIGHT", " 150");
  EXPECT_EQ(box.size(), QSize(300, 150));
  EXPECT_EQ(box.Movie()->geometry(), QRect(0, 0, 300, 150));
}

TEST_F(MessageBoxTest, OpensAtTheSizeItsMovieReports) {
  CustomMsgBoxDlg box(test::BuiltProgram());
  box.message =
      "A much longer message that needs several lines in the box, so that the movie grows taller "
      "than its first size and tells the window so before it appears.";
  box.kind = "info";
  QSize shown;
  int result = test::RunModal([&] { return box.DoModal(); },
                              [&] {
                                shown = box.size();
                                test::SaveScreenshot(&box, "message_box_info");
                                box.OnMovieCommand("ID_FS_Exit", "");
                              });
  EXPECT_EQ(result, 0);
  QQuickItem* root = box.Movie()->MovieRoot();
  EXPECT_EQ(shown, QSize(qRound(root->width()), qRound(root->height())));
  EXPECT_EQ(box.width, shown.width());
  EXPECT_EQ(box.height, shown.height());
  EXPECT_GT(box.height, 94);
}

TEST_F(MessageBoxTest, PresenterPassesTheRequestAndReturnsTheCheckState) {
  ui::QtMessageBoxPresenter presenter(test::BuiltProgram());
  MessageBoxRequest request;
  request.title = "Velmora";
  request.message = GetString(7026);
  request.kind = "error";
  request.showCheckBox = true;
  int result =
      test::RunModal([&] { return presenter.Show(request); },
                     [&] {
                       auto* box = qobject_cast<CustomMsgBoxDlg*>(QApplication::activeModalWidget());
                       ASSERT_NE(box, nullptr);
                       EXPECT_EQ(box->Movie()->GetMovieVariable("_root.message_txt.text"), GetString(7026));
                       test::SaveScreenshot(box, "message_box_error");
                       test::ClickMovieItem(box->Movie(), "checkBox");
                       test::ClickMovieItem(box->Movie(), "IDC_FS_OK");
                     });
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(request.checkState);
}

}  // namespace
}  // namespace velmora

VELMORA_UI_TEST_MAIN()
