// velmora-cli systems, --system and list --all in a home folder laid out as plain
// Wine, Steam (two libraries), Bottles, Lutris, Heroic and PlayOnLinux lay it out,
// with prefixes whose registry Wine made.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/known_systems.h"
#include "platform/posix/prefix.h"
#include "platform/registry.h"
#include "tests/support/run_program.h"
#include "tests/support/test_support.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

class CliSystemsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = fs::canonical(dir_.path()).string() + "/home/anna";
    fs::create_directories(home_);
    // Plain Wine.
    MakePrefix(Home(".wine"), "WineTray");
    // Steam: its own library and one on another disk, both in libraryfolders.vdf;
    // ~/.steam/steam leads to the same folder. A game's name is in the manifest of
    // the library that holds the game.
    const std::string steam = Home(".local/share/Steam");
    library_ = fs::canonical(dir_.path()).string() + "/disk/SteamLibrary";
    test::WriteFile(steam + "/steamapps/libraryfolders.vdf",
                    "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" + steam +
                        "\"\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"" + library_ + "\"\n\t}\n}\n");
    fs::create_directories(Home(".steam"));
    fs::create_directory_symlink(steam, Home(".steam/steam"));
    test::WriteFile(library_ + "/steamapps/appmanifest_620.acf",
                    "\"AppState\"\n{\n\t\"appid\"\t\t\"620\"\n\t\"name\"\t\t\"Portal 2\"\n}\n");
    MakePrefix(steam + "/steamapps/compatdata/620/pfx", "PortalTray");
    MakePrefix(library_ + "/steamapps/compatdata/70/pfx", "");
    // Bottles: a bottle, and one without user.reg.
    const std::string bottles = Home(".local/share/bottles/bottles");
    MakePrefix(bottles + "/Office", "OfficeTray");
    test::WriteFile(bottles + "/Office/bottle.yml", "Arch: win64\nName: Office 2010\nPath: Office\n");
    MakePrefix(bottles + "/Broken", "");
    fs::remove(bottles + "/Broken/user.reg");
    test::WriteFile(bottles + "/Broken/bottle.yml", "Name: Broken\n");
    // Lutris: a game configuration named in pga.db.
    test::WriteFile(Home(".config/lutris/games/gog-galaxy-1690000000.yml"),
                    "game:\n  exe: " + Home("Games/gog/drive_c/GalaxyClient.exe") +
                        "\n  prefix: " + Home("Games/gog") + "\nwine:\n  version: lutris-7.2\n");
    MakePrefix(Home("Games/gog"), "");
    fs::create_directories(Home(".local/share/lutris"));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(Home(".local/share/lutris/pga.db").c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db,
                           "CREATE TABLE games (id INTEGER PRIMARY KEY, name TEXT, slug TEXT, runner TEXT, "
                           "configpath TEXT); INSERT INTO games (name, slug, runner, configpath) VALUES "
                           "('GOG Galaxy', 'gog-galaxy', 'wine', 'gog-galaxy-1690000000');",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    // Heroic: a game's configuration names its prefix.
    test::WriteFile(Home(".config/heroic/GamesConfig/Salt.json"),
                    "{\"Salt\": {\"winePrefix\": \"" + Home("Games/Heroic/Prefixes/Celeste") + "\"}}");
    MakePrefix(Home("Games/Heroic/Prefixes/Celeste"), "");
    // PlayOnLinux: named by its folder, the same name as the bottle.
    MakePrefix(Home(".PlayOnLinux/wineprefix/Office 2010"), "");
  }
  std::string Home(const std::string& relative) const { return home_ + "/" + relative; }
  // A copy of the Wine-made prefix with |entry| (when given) in the user's Run key.
  void MakePrefix(const std::string& path, const std::string& entry) {
    test::CopyWineMadePrefix(path, entry, "C:\\windows\\notepad.exe /tray");
  }
  // velmora-cli in the home folder, without WINEPREFIX; standard error dropped
  // unless |withErrors|.
  test::CommandOutput Cli(const std::string& arguments, bool withErrors = false) {
    return test::RunAndCapture(
        "cd / && env -u WINEPREFIX -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME=" + test::ShellQuote(home_) +
            " XDG_RUNTIME_DIR=" + test::ShellQuote(dir_.RuntimeDir()) + " " +
            test::ShellQuote(VELMORA_PROGRAM_DIR "/velmora-cli") + " " + arguments,
        withErrors ? test::Errors::kMerged : test::Errors::kDropped);
  }

  test::TempDir dir_;
  std::string home_;
  std::string library_;
};

TEST_F(CliSystemsTest, SystemsAreListedOnceWithTheirFactsAndChosenByNameOrFolder) {
  const test::CommandOutput systems = Cli("systems --json");
  ASSERT_EQ(systems.status, 0) << systems.out;
  // The version of the Wine-made registry, as the first system shows it.
  const std::string marker = "\"windowsVersion\": \"";
  const std::size_t at = systems.out.find(marker);
  ASSERT_NE(at, std::string::npos) << systems.out;
  const std::string version =
      systems.out.substr(at + marker.size(), systems.out.find('"', at + marker.size()) - at - marker.size());
  EXPECT_NE(version, "");
  auto row = [&](const std::string& name, const std::string& kind, const std::string& path) {
    return "  {\"name\": \"" + name + "\", \"kind\": \"" + kind + "\", \"path\": \"" + path +
           "\", \"architecture\": \"win64\", \"windowsVersion\": \"" + version +
           "\", \"wineserverRunning\": false, \"problem\": \"\"}";
  };
  const std::string steam = Home(".local/share/Steam");
  const std::vector<std::string> expected = {
      "[",
      row(".wine", "wine", Home(".wine")) + ",",
      row("Portal 2", "steam", steam + "/steamapps/compatdata/620/pfx") + ",",
      row("Steam app 70", "steam", library_ + "/steamapps/compatdata/70/pfx") + ",",
      "  {\"name\": \"Broken\", \"kind\": \"bottles\", \"path\": \"" +
          Home(".local/share/bottles/bottles/Broken") +
          "\", \"architecture\": \"\", \"windowsVersion\": \"\", \"wineserverRunning\": false, \"problem\": "
          "\"no "
          "user.reg\"},",
      row("Office 2010", "bottles", Home(".local/share/bottles/bottles/Office")) + ",",
      row("GOG Galaxy", "lutris", Home("Games/gog")) + ",",
      row("Celeste", "heroic", Home("Games/Heroic/Prefixes/Celeste")) + ",",
      row("Office 2010", "playonlinux", Home(".PlayOnLinux/wineprefix/Office 2010")),
      "]",
  };
  EXPECT_EQ(Lines(systems.out), expected);
  const test::CommandOutput table = Cli("systems");
  EXPECT_NE(table.out.find("steam        Portal 2"), std::string::npos) << table.out;

  // By name in any letter case, and by a folder spelled through a link.
  const test::CommandOutput portal = Cli("--system 'portal 2' list --csv");
  EXPECT_EQ(portal.status, 0) << portal.out;
  EXPECT_NE(portal.out.find("3,CU Run,PortalTray,true"), std::string::npos) << portal.out;
  EXPECT_EQ(portal.out.find("WineTray"), std::string::npos);
  const test::CommandOutput linked =
      Cli("--system " + test::ShellQuote(Home(".steam/steam/steamapps/compatdata/620/pfx/")) + " list --csv");
  EXPECT_NE(linked.out.find("PortalTray"), std::string::npos) << linked.out;

  // A name that two systems share is refused naming both; an unknown one and a
  // system that cannot be opened are refused with the reason.
  const test::CommandOutput shared = Cli("--system 'Office 2010' list", true);
  EXPECT_EQ(shared.status, 1);
  EXPECT_NE(shared.out.find("matches 2 systems"), std::string::npos) << shared.out;
  EXPECT_NE(shared.out.find(Home(".PlayOnLinux/wineprefix/Office 2010")), std::string::npos);
  EXPECT_NE(shared.out.find(Home(".local/share/bottles/bottles/Office")), std::string::npos);
  const test::CommandOutput unknown = Cli("--system Nowhere list", true);
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.out.find("no system found on this machine is named \"Nowhere\""), std::string::npos)
      << unknown.out;
  const test::CommandOutput broken = Cli("--system Broken list", true);
  EXPECT_EQ(broken.status, 1);
  EXPECT_NE(broken.out.find("no user.reg"), std::string::npos) << broken.out;
  EXPECT_FALSE(fs::exists(Home(".local/share/bottles/bottles/Broken/user.reg")));
  EXPECT_EQ(Cli("--system").status, 2);
  EXPECT_EQ(Cli("--system .wine --windows /mnt list").status, 2);
}

TEST_F(CliSystemsTest, ListAllNamesEachRowsSystemAndReportsTheOnesItCannotRead) {
  const test::CommandOutput json = Cli("list --all --json", true);
  EXPECT_EQ(json.status, 1) << json.out;
  EXPECT_NE(json.out.find("velmora-cli: cannot open the bottles system \"Broken\""), std::string::npos)
      << json.out;
  for (const auto& [entry, system] : std::vector<std::pair<std::string, std::string>>{
           {"WineTray",
            "\"system\": \".wine\", \"systemKind\": \"wine\", \"systemPath\": \"" + Home(".wine")},
           {"PortalTray", "\"system\": \"Portal 2\", \"systemKind\": \"steam\", \"systemPath\": \"" +
                              Home(".local/share/Steam/steamapps/compatdata/620/pfx")},
           {"OfficeTray", "\"system\": \"Office 2010\", \"systemKind\": \"bottles\", \"systemPath\": \"" +
                              Home(".local/share/bottles/bottles/Office")}}) {
    const std::size_t name = json.out.find("\"name\": \"" + entry + "\"");
    ASSERT_NE(name, std::string::npos) << entry << "\n" << json.out;
    const std::size_t start = json.out.rfind('{', name);
    EXPECT_EQ(json.out.substr(start, json.out.find(", \"location\"", start) - start), "{" + system + "\"");
  }
  EXPECT_EQ(json.out.find("\"system\": \"Broken\""), std::string::npos);

  const test::CommandOutput csv = Cli("list --all --csv");
  EXPECT_EQ(csv.status, 1);
  // The header and the user's Run entries; the RunServices value and the services
  // Wine sets up in each prefix are left out here.
  std::vector<std::string> lines;
  for (const std::string& line : Lines(csv.out))
    if (lines.empty() || line.find(",3,CU Run,") != std::string::npos) lines.push_back(line);
  ASSERT_EQ(lines.size(), 4u) << csv.out;
  EXPECT_EQ(lines[0].rfind("system,system kind,system path,location,tag,name,", 0), 0u);
  EXPECT_EQ(lines[1].rfind(".wine,wine," + Home(".wine") + ",3,CU Run,WineTray,true,", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2].rfind("Portal 2,steam,", 0), 0u) << lines[2];
  EXPECT_EQ(lines[3].rfind("Office 2010,bottles,", 0), 0u) << lines[3];
  // Nothing was written into the launchers' folders.
  EXPECT_FALSE(fs::exists(Home(".local/share/velmora")));
  EXPECT_FALSE(fs::exists(Home(".local/share/lutris/pga.db-journal")));

  // A default prefix that cannot be read ends the run before any system is listed
  // or named, however far the search for the others has gone.
  std::ofstream(Home(".wine/system.reg"), std::ios::app) << "\n[Software\\\\Bad\n";
  const test::CommandOutput unreadable = Cli("list --all --json", true);
  EXPECT_EQ(unreadable.status, 1);
  EXPECT_EQ(unreadable.out.rfind("velmora-cli: cannot read the registry of ", 0), 0u) << unreadable.out;
  EXPECT_EQ(Lines(unreadable.out).size(), 1u) << unreadable.out;
}

}  // namespace
}  // namespace velmora
