// The description panel's HTML: the two templates, and entry data that must not
// become markup.
#include "database/description_html.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "tests/support/test_support.h"

namespace velmora {
namespace {

const std::string kSeparator = "<font color ='#cccc99'>" + std::string(54, '-') + "</font>";

std::string Field(const std::string& label, const std::string& value) {
  return kSeparator + "<font color='#990000'>" + label + "</font>" + value + "<br>";
}

class DescriptionHtmlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    task_.name = "Updater";
    task_.fileName = "upd.exe";
    task_.command = "C:\\Tools\\upd.exe /q";
    task_.applicationName = "Update Tool";
    task_.productName = "Tools";
    task_.version = "1.2";
    task_.rating = "Normal File";
    task_.description = "Checks for updates.";
  }
  test::TestSystem system_;
  Task task_;
};

TEST_F(DescriptionHtmlTest, FullTemplateForAnExistingFile) {
  task_.fileExists = 1;
  std::string expected =
      std::string("<font color='#990000'>Name: </font><font color='#0000ff'><u><a href=\"") + kSearchPage +
      "?as_q=Update%20Tool&as_epq=upd.exe\">Updater</a></u></font><br>" +
      Field("Application name: ", "Update Tool") + Field("Path: ", "C:\\Tools\\upd.exe /q") +
      Field("Product name: ", "Tools") + Field("Version: ", "1.2") + Field("Rating: ", "Normal File") +
      Field("Description: ", "Checks for updates.");
  EXPECT_EQ(BuildDescriptionHtml(task_), expected);
  EXPECT_EQ(std::string(kSearchPage).rfind("/search"), std::string(kSearchPage).size() - 7);
}

TEST_F(DescriptionHtmlTest, ShortTemplateWithItsNoteForAMissingFile) {
  task_.fileExists = 0;
  std::string html = BuildDescriptionHtml(task_);
  std::string tail = Field("Path: ", "C:\\Tools\\upd.exe /q") + Field("Rating: ", "Normal File") +
                     Field("Description: ", "Checks for updates.") +
                     "<br><p align='center'><font color='#ff0000'>NOTE: File does not exist</font></p>";
  ASSERT_GE(html.size(), tail.size());
  EXPECT_EQ(html.substr(html.size() - tail.size()), tail);
  EXPECT_EQ(html.find("Application name: "), std::string::npos);
  EXPECT_EQ(html.find("Version: "), std::string::npos);
}

TEST_F(DescriptionHtmlTest, EntryDataCannotInjectMarkupOrLinks) {
  task_.fileExists = 1;
  task_.name = "<a href='http://evil.example/'>click</a>";
  task_.command = "C:\\x.exe \"<script>alert(1)</script>\" & more";
  task_.applicationName = "A&B \"quoted\" #frag ?x=1";
  task_.fileName = "a\"><img src=x>.exe";
  task_.productName = "<b>bold</b>";
  task_.version = "1'2";
  std::string html = BuildDescriptionHtml(task_);

  EXPECT_EQ(html.find("<a href='http://evil"), std::string::npos);
  EXPECT_EQ(html.find("<script>"), std::string::npos);
  EXPECT_EQ(html.find("<img"), std::string::npos);
  EXPECT_EQ(html.find("<b>"), std::string::npos);
  EXPECT_NE(html.find("&lt;a href=&#39;http://evil.example/&#39;&gt;click&lt;/a&gt;</a>"), std::string::npos);
  EXPECT_NE(html.find("&quot;&lt;script&gt;alert(1)&lt;/script&gt;&quot; &amp; more"), std::string::npos);
  EXPECT_NE(html.find("1&#39;2"), std::string::npos);
  // The query values are percent-encoded, so the link's address ends where it should.
  std::string link =
      "?as_q=A%26B%20%22quoted%22%20%23frag%20%3Fx%3D1&as_epq=a%22%3E%3Cimg%20src%3Dx%3E.exe\">";
  EXPECT_NE(html.find(link), std::string::npos) << html;
  // Exactly one link, one opening of the address attribute.
  EXPECT_EQ(html.find("<a "), html.rfind("<a "));
  EXPECT_EQ(html.find("href=\""), html.rfind("href=\""));
}

TEST_F(DescriptionHtmlTest, EnabledEntryThatWineWillNotStartSaysWhy) {
  task_.fileExists = 1;
  task_.wineSkipReason = "Wine never runs the user's RunOnce entries";
  const std::string note =
      "<br><p align='center'><font color='#ff0000'>NOTE: Will not start under Wine: Wine never runs the "
      "user&#39;s "
      "RunOnce entries.</font></p>";
  std::string html = BuildDescriptionHtml(task_);
  ASSERT_GE(html.size(), note.size());
  EXPECT_EQ(html.substr(html.size() - note.size()), note);
  task_.enabled = 0;
  EXPECT_EQ(BuildDescriptionHtml(task_).find("Wine"), std::string::npos) << "a disabled entry starts nowhere";
}

}  // namespace
}  // namespace velmora
