// The program's settings in a real user hive, and its own Run value.
#include "app/settings.h"

#include <gtest/gtest.h>

#include "entries/startup_location.h"
#include "platform/registry.h"
#include "tests/support/test_support.h"

namespace velmora {
namespace {

using namespace platform;

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    program_.programDir = "C:\\Programs\\Velmora";
    program_.programName = "Velmora";
  }
  void SetProgramValue(const std::string& name, std::uint32_t type, const std::string& bytes) {
    UniqueKey key;
    ASSERT_EQ(reg::CreateKey(velmora::test::System().CurrentUser(), ProgramKeyPath(), key.out()), kSuccess);
    ASSERT_EQ(reg::SetValue(key.get(), name, type, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                            static_cast<std::uint32_t>(bytes.size())),
              kSuccess);
  }
  // Type and bytes of a value; false when it cannot be read.
  bool ReadValue(const std::string& path, const std::string& name, std::uint32_t* type, std::string* bytes) {
    UniqueKey key;
    if (reg::OpenKey(velmora::test::System().CurrentUser(), path, kKeyRead, key.out()) != kSuccess)
      return false;
    std::uint8_t data[1024];
    std::uint32_t size = sizeof data;
    Status status = reg::QueryValue(key.get(), name, type, data, &size);
    if (status != kSuccess) return false;
    bytes->assign(reinterpret_cast<const char*>(data), size);
    return true;
  }
  bool ProgramKeyExists() {
    UniqueKey key;
    if (reg::OpenKey(velmora::test::System().CurrentUser(), ProgramKeyPath(), kKeyRead, key.out()) !=
        kSuccess)
      return false;
    return true;
  }
  void SetRunValue(const std::string& name, const std::string& data) {
    UniqueKey key;
    ASSERT_EQ(reg::CreateKey(velmora::test::System().CurrentUser(), kRunKeyPath, key.out()), kSuccess);
    ASSERT_EQ(reg::SetString(key.get(), name, data), kSuccess);
  }
  bool RunValue(std::string* data) {
    std::uint32_t type = 0;
    std::string bytes;
    if (!ReadValue(kRunKeyPath, "Velmora", &type, &bytes)) return false;
    EXPECT_EQ(type, kRegSz);
    *data = bytes.substr(0, bytes.find('\0'));
    return true;
  }

  ProgramContext program_;
  test::TempPrefix prefix_;
};

TEST_F(SettingsTest, FirstRunKeepsTheDefaultsAndWritesNothing) {
  StartupSettingsParameters settings(program_);
  settings.DefnsVersion = "27/04/2006";
  settings.Load(velmora::test::System());
  EXPECT_EQ(settings.Language, "English");
  EXPECT_EQ(settings.ShowSplash, 1);
  EXPECT_EQ(settings.StartWithWindows, 1);
  EXPECT_EQ(settings.ShowSavingMsg, 1);
  EXPECT_EQ(settings.ShowSavingProMsg, 1);
  std::string data;
  EXPECT_FALSE(RunValue(&data)) << "no Run value at the first start";
  EXPECT_FALSE(ProgramKeyExists()) << "DefnsVersion waits for the first Save";
}

TEST_F(SettingsTest, StoredValuesCountByTheirFirstByte) {
  SetProgramValue("Language", kRegSz, std::string("Deutsch\0junk", 12));
  SetProgramValue("ShowSplash", kRegBinary, std::string("\x00\x01\x00\x00", 4));  // 256 reads as 0
  SetProgramValue("StartWithWindows", kRegSz, std::string("1\0", 2));             // '1' reads as 49
  SetProgramValue("ShowSavingMsg", kRegDword, std::string("\x00\x00\x00\x00", 4));
  SetProgramValue("ShowSavingProMsg", kRegBinary, std::string(203, '\x07'));  // too long: not read
  StartupSettingsParameters settings(program_);
  settings.DefnsVersion = "01/02/2003";
  settings.Load(velmora::test::System());
  EXPECT_EQ(settings.Language, "Deutsch");
  EXPECT_EQ(settings.ShowSplash, 0);
  EXPECT_EQ(settings.StartWithWindows, 49);
  EXPECT_EQ(settings.ShowSavingMsg, 0);
  EXPECT_EQ(settings.ShowSavingProMsg, 1);

  std::string data;
  ASSERT_TRUE(RunValue(&data));
  EXPECT_EQ(data, "C:\\Programs\\Velmora\\Velmora.exe");
  std::uint32_t type = 0;
  std::string bytes;
  ASSERT_TRUE(ReadValue(ProgramKeyPath(), "DefnsVersion", &type, &bytes));
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(bytes, std::string("01/02/2003\0", 11));
}

TEST_F(SettingsTest, RunValueFollowsAStoredStartWithWindowsAtEveryLoad) {
  SetRunValue("Velmora", "C:\\somewhere\\else.exe");
  SetProgramValue("StartWithWindows", kRegBinary, std::string("\x00\x00\x00\x00", 4));
  StartupSettingsParameters settings(program_);
  settings.Load(velmora::test::System());
  std::string data;
  EXPECT_FALSE(RunValue(&data)) << "StartWithWindows 0 removes the value";

  SetRunValue("Velmora", "C:\\added\\by\\hand.exe");
  StartupSettingsParameters again(program_);
  again.Load(velmora::test::System());
  EXPECT_FALSE(RunValue(&data)) << "also when the user put it back by hand";

  SetProgramValue("StartWithWindows", kRegBinary, std::string("\x01\x00\x00\x00", 4));
  StartupSettingsParameters on(program_);
  on.Load(velmora::test::System());
  ASSERT_TRUE(RunValue(&data));
  EXPECT_EQ(data, "C:\\Programs\\Velmora\\Velmora.exe") << "a stale path is corrected";

  // Without a stored StartWithWindows the Run value is left as it is.
  SetRunValue("Velmora", "C:\\kept.exe");
  UniqueKey key;
  ASSERT_EQ(reg::OpenKey(velmora::test::System().CurrentUser(), ProgramKeyPath(), kKeyAllAccess, key.out()),
            kSuccess);
  ASSERT_EQ(reg::DeleteValue(key.get(), "StartWithWindows"), kSuccess);
  StartupSettingsParameters untouched(program_);
  untouched.StartWithWindows = 0;
  untouched.Load(velmora::test::System());
  ASSERT_TRUE(RunValue(&data));
  EXPECT_EQ(data, "C:\\kept.exe");
}

TEST_F(SettingsTest, ReadingWritesNothing) {
  SetRunValue("Velmora", "C:\\added\\by\\hand.exe");
  SetProgramValue("StartWithWindows", kRegBinary, std::string("\x00\x00\x00\x00", 4));
  SetProgramValue("ShowSplash", kRegBinary, std::string("\x00\x00\x00\x00", 4));
  const std::string before = test::ReadFile(prefix_.HostPath("user.reg"));
  StartupSettingsParameters settings(program_);
  settings.DefnsVersion = "01/02/2003";
  settings.Read(velmora::test::System());
  EXPECT_EQ(settings.StartWithWindows, 0);
  EXPECT_EQ(settings.ShowSplash, 0);
  EXPECT_TRUE(test::ReadFile(prefix_.HostPath("user.reg")) == before) << "user.reg changed";
}

TEST_F(SettingsTest, SaveWritesTheSixValuesInTheirLayouts) {
  StartupSettingsParameters settings(program_);
  settings.Language = "English";
  settings.ShowSplash = 0;
  settings.StartWithWindows = 1;
  settings.ShowSavingMsg = 0x01020304;
  settings.ShowSavingProMsg = 0;
  settings.DefnsVersion = "27/04/2006";
  settings.Save(velmora::test::System());

  struct Expect {
    const char* name;
    std::uint32_t type;
    std::string bytes;
  };
  const Expect expectations[] = {
      {"Language", kRegSz, std::string("English\0", 8)},
      {"ShowSplash", kRegBinary, std::string("\x00\x00\x00\x00", 4)},
      {"StartWithWindows", kRegBinary, std::string("\x01\x00\x00\x00", 4)},
      {"ShowSavingMsg", kRegBinary, std::string("\x04\x03\x02\x01", 4)},
      {"ShowSavingProMsg", kRegBinary, std::string("\x00\x00\x00\x00", 4)},
      {"DefnsVersion", kRegSz, std::string("27/04/2006\0", 11)},
  };
  for (const Expect& e : expectations) {
    std::uint32_t type = 0;
    std::string bytes;
    ASSERT_TRUE(ReadValue(ProgramKeyPath(), e.name, &type, &bytes)) << e.name;
    EXPECT_EQ(type, e.type) << e.name;
    EXPECT_EQ(bytes, e.bytes) << e.name;
  }
  // In the hive file, as Wine reads it.
  std::string hive = test::ReadFile(prefix_.HostPath("user.reg"));
  EXPECT_NE(hive.find("\"ShowSavingMsg\"=hex:04,03,02,01"), std::string::npos);
  EXPECT_NE(hive.find("\"DefnsVersion\"=\"27/04/2006\""), std::string::npos);

  StartupSettingsParameters loaded(program_);
  loaded.DefnsVersion = "27/04/2006";
  loaded.Load(velmora::test::System());
  EXPECT_EQ(loaded.ShowSplash, 0);
  EXPECT_EQ(loaded.ShowSavingMsg, 4) << "only the first byte is read back";
  EXPECT_EQ(loaded.ShowSavingProMsg, 0);
  std::string data;
  EXPECT_TRUE(RunValue(&data));
}

TEST_F(SettingsTest, SetRunAtStartupReportsWhatHappened) {
  StartupSettingsParameters settings(program_);
  EXPECT_FALSE(settings.SetRunAtStartup(velmora::test::System(), "Velmora", "", true)) << "nothing to delete";
  EXPECT_TRUE(settings.SetRunAtStartup(velmora::test::System(), "Other", "C:\\other.exe", false));
  std::uint32_t type = 0;
  std::string bytes;
  ASSERT_TRUE(ReadValue(kRunKeyPath, "Other", &type, &bytes));
  EXPECT_EQ(bytes, std::string("C:\\other.exe\0", 13));
  EXPECT_TRUE(settings.SetRunAtStartup(velmora::test::System(), "Other", "", true));
  EXPECT_FALSE(ReadValue(kRunKeyPath, "Other", &type, &bytes));

  // Without a Run key nothing is created.
  ASSERT_EQ(reg::DeleteTree(velmora::test::System().CurrentUser(), kRunKeyPath), kSuccess);
  EXPECT_FALSE(settings.SetRunAtStartup(velmora::test::System(), "Velmora", "C:\\v.exe", false));
  HKey key = nullptr;
  EXPECT_NE(reg::OpenKey(velmora::test::System().CurrentUser(), kRunKeyPath, kKeyRead, &key), kSuccess);
}

}  // namespace
}  // namespace velmora
