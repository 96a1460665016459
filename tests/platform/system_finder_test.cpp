// Finding the systems of a home folder laid out as Wine, Steam, Bottles, Lutris,
// Heroic and PlayOnLinux lay it out, with prefixes that Wine made, and with the
// damage such a folder collects: broken files, link loops, folders that cannot be
// read, prefixes without a registry.
#include "platform/posix/system_finder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/posix/launcher_files.h"
#include "platform/posix/prefix.h"
#include "tests/support/test_support.h"

namespace platform::posix {
namespace {

namespace fs = std::filesystem;
using velmora::test::TempDir;
using velmora::test::WineMadePrefix;
using velmora::test::WriteFile;

// Where the registry does not matter, a minimal prefix is made quicker.
const std::string& MinimalPrefix() {
  static TempDir dir;
  static const std::string prefix = [] {
    CreateMinimalPrefix(dir.path() + "/minimal");
    return dir.path() + "/minimal";
  }();
  return prefix;
}

// A Lutris database with Lutris's table of games.
void MakeLutrisDatabase(const std::string& path,
                        const std::vector<std::pair<std::string, std::string>>& games) {
  fs::create_directories(fs::path(path).parent_path());
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  std::string sql =
      "CREATE TABLE games (id INTEGER PRIMARY KEY, name TEXT, slug TEXT, installer_slug TEXT, parent_slug "
      "TEXT, "
      "platform TEXT, runner TEXT, executable TEXT, directory TEXT, updated DATETIME, lastplayed INTEGER, "
      "installed INTEGER, installed_at INTEGER, year INTEGER, configpath TEXT, has_custom_banner INTEGER, "
      "has_custom_icon INTEGER, playtime REAL, hidden INTEGER, service TEXT, service_id TEXT);";
  for (const auto& [name, configpath] : games) {
    sql += "INSERT INTO games (name, slug, runner, installed, configpath) VALUES ('" + name +
           "', 'slug', 'wine', 1, '" + configpath + "');";
  }
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
}

std::string Real(const std::string& path) { return fs::canonical(path).string(); }

std::vector<std::string> Describe(const std::vector<FoundSystem>& systems) {
  std::vector<std::string> lines;
  for (const FoundSystem& s : systems) {
    lines.push_back(std::string(SystemKindName(s.kind)) + " | " + s.name + " | " + s.path +
                    (s.problem.empty() ? "" : " | " + s.problem));
  }
  return lines;
}

class SystemFinderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = Real(dir_.path()) + "/home/anna";
    fs::create_directories(home_);
    input_.home = home_;
  }
  std::string Home(const std::string& relative) const { return home_ + "/" + relative; }
  // A prefix folder with the registry files of |source_|.
  void MakePrefix(const std::string& path, bool withUserReg = true) const {
    fs::create_directories(path + "/drive_c");
    for (const std::string file : {"system.reg", "user.reg", "userdef.reg"}) {
      if (withUserReg || file != "user.reg")
        fs::copy_file(source_ + "/" + file, path + "/" + file, fs::copy_options::overwrite_existing);
    }
  }

  TempDir dir_;
  std::string home_;
  FinderInput input_;
  std::string source_ = MinimalPrefix();
};

TEST_F(SystemFinderTest, EveryLaunchersPrefixesOnceByNameAndKind) {
  source_ = WineMadePrefix();
  // Plain Wine: ~/.wine, another ~/.wine* and a winetricks prefix with a registry;
  // a ~/.wine* folder without one is not a prefix. XDG_DATA_HOME moved.
  input_.xdgDataHome = Home("data");
  MakePrefix(Home(".wine"));
  MakePrefix(Home(".wine-staging"));
  fs::create_directories(Home(".wine-notes"));
  MakePrefix(Home("data/wineprefixes/tricks"));
  MakePrefix(Home("data/velmora/prefix"));

  // Steam: its folder, reached also through ~/.steam/steam and ~/.steam/root, and
  // a second library outside the home folder named in libraryfolders.vdf (with a
  // library that no longer exists). Each game's name is in the manifest of the
  // library that holds it, not necessarily the one with its prefix.
  const std::string steam = Home(".local/share/Steam");
  const std::string library = Real(dir_.path()) + "/disk/SteamLibrary";
  fs::create_directories(Home(".steam"));
  fs::create_directory_symlink(steam, Home(".steam/steam"));
  fs::create_directory_symlink("../.local/share/Steam", Home(".steam/root"));
  WriteFile(
      steam + "/steamapps/libraryfolders.vdf",
      "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" + steam +
          "\"\n\t\t\"label\"\t\t\"\"\n\t\t\"contentid\"\t\t\"5812393939123\"\n\t\t\"totalsize\"\t\t\"0\"\n"
          "\t\t\"apps\"\n\t\t{\n\t\t\t\"1245620\"\t\t\"49821392\"\n\t\t}\n\t}\n\t\"1\"\n\t{"
          "\n\t\t\"path\"\t\t\"" +
          library +
          "\"\n\t\t\"label\"\t\t\"Games\"\n\t\t\"apps\"\n\t\t{\n\t\t\t\"620\"\t\t\"12914297712\"\n"
          "\t\t}\n\t}\n\t\"2\"\n\t{\n\t\t\"path\"\t\t\"/nonexistent/SteamLibrary\"\n\t}\n}\n");
  WriteFile(library + "/steamapps/appmanifest_620.acf",
            "\"AppState\"\n{\n\t\"appid\"\t\t\"620\"\n\t\"Universe\"\t\t\"1\"\n\t\"name\"\t\t\"Portal 2\"\n"
            "\t\"StateFlags\"\t\t\"4\"\n\t\"installdir\"\t\t\"Portal 2\"\n}\n");
  WriteFile(steam + "/steamapps/appmanifest_1245620.acf",
            "\"AppState\"\n{\n\t\"appid\"\t\t\"1245620\"\n\t\"name\"\t\t\"ELDEN RING\"\n}\n");
  MakePrefix(steam + "/steamapps/compatdata/620/pfx");
  MakePrefix(library + "/steamapps/compatdata/1245620/pfx");
  MakePrefix(steam + "/steamapps/compatdata/3141592653/pfx");      // a game added by hand: no manifest
  fs::create_directories(steam + "/steamapps/compatdata/228980");  // tool data, no prefix
  WriteFile(steam + "/steamapps/compatdata/620/version", "8.0-5\n");

  // Bottles: one bottle named in its bottle.yml, one of the Flatpak, one whose
  // bottle.yml is damaged (named by its folder), one without user.reg, one kept
  // elsewhere through a placeholder.yml; WINEPREFIX names a bottle too, with an
  // extra slash, and it stays a bottle.
  const std::string bottles = Home("data/bottles/bottles");
  MakePrefix(bottles + "/Office");
  WriteFile(bottles + "/Office/bottle.yml",
            "Arch: win64\nCustom_Path: false\nEnvironment: Application\nName: Office 2010\nPath: Office\n"
            "Runner: soda-7.0-9\nWindows: win7\n");
  MakePrefix(bottles + "/Broken");
  WriteFile(bottles + "/Broken/bottle.yml", "Name: [unclosed\n  - : :\n\t");
  MakePrefix(bottles + "/NoUser", false);
  WriteFile(bottles + "/NoUser/bottle.yml", "Name: No User\n");
  const std::string elsewhere = Real(dir_.path()) + "/disk/Bottles/Music";
  MakePrefix(elsewhere);
  WriteFile(elsewhere + "/bottle.yml", "Name: Music\nCustom_Path: true\nPath: " + elsewhere + "\n");
  WriteFile(bottles + "/Music/placeholder.yml", "Path: " + elsewhere + "\n");
  const std::string flatpakBottles = Home(".var/app/com.usebottles.bottles/data/bottles/bottles");
  MakePrefix(flatpakBottles + "/Games");
  WriteFile(flatpakBottles + "/Games/bottle.yml", "Name: 'Games: Flatpak'\n");
  input_.winePrefix = bottles + "//Office/";

  // Lutris: a game configuration in the old place and one in the new; the first
  // named in pga.db, the second not there (named by its file); a damaged one and
  // a Linux game without a prefix are left out.
  WriteFile(Home(".config/lutris/games/gog-galaxy-1690000000.yml"),
            "game:\n  exe: /home/anna/Games/gog-galaxy/drive_c/GOG/GalaxyClient.exe\n"
            "  prefix: ~/Games/gog-galaxy\nsystem:\n  env: {}\nwine:\n  version: lutris-7.2\n");
  WriteFile(Home("data/lutris/games/winamp-1700000000.yml"),
            "game:\n  arch: win32\n  prefix: \"" + Home("Games/winamp") + "\"\n");
  WriteFile(Home("data/lutris/games/broken-1.yml"), "game: {prefix: [\n");
  WriteFile(Home("data/lutris/games/supertux-1.yml"), "game:\n  exe: /usr/games/supertux2\n");
  MakePrefix(Home("Games/gog-galaxy"));
  MakePrefix(Home("Games/winamp"));
  MakeLutrisDatabase(Home("data/lutris/pga.db"), {{"GOG Galaxy", "gog-galaxy-1690000000"}});

  // Heroic: a game's configuration naming a prefix made for Proton (the Wine
  // prefix is its "pfx"), the default prefix under ~/Games/Heroic/Prefixes, and a
  // damaged configuration.
  WriteFile(
      Home(".config/heroic/GamesConfig/Salt.json"),
      "{\n  \"Salt\": {\n    \"autoInstallDxvk\": true,\n    \"winePrefix\": \"" +
          Home("Games/Heroic/Prefixes/Celeste") +
          "\",\n    \"wineVersion\": {\"bin\": \"/opt/proton/proton\", \"name\": \"Proton - GE-Proton8-25\", "
          "\"type\": \"proton\"}\n  },\n  \"version\": \"v0\",\n  \"explicit\": true\n}\n");
  WriteFile(Home(".config/heroic/GamesConfig/bad.json"), "{\"bad\": {\"winePrefix\": ");
  MakePrefix(Home("Games/Heroic/Prefixes/Celeste/pfx"));
  MakePrefix(Home("Games/Heroic/Prefixes/default"));

  // PlayOnLinux: one prefix per program.
  MakePrefix(Home(".PlayOnLinux/wineprefix/Office2007"));

  // A Windows disk mounted through ntfs3 (its folders in other letter case), a
  // folder with the same files on a tmpfs (not searched), and noise.
  const std::string mount = Real(dir_.path()) + "/mnt/win disk";
  WriteFile(mount + "/WINDOWS/system32/CONFIG/software", "regf");
  const std::string tmpfs = Real(dir_.path()) + "/mnt/tmp";
  WriteFile(tmpfs + "/Windows/System32/config/SOFTWARE", "regf");
  std::string escaped = mount;
  escaped.replace(escaped.find(' '), 1, "\\040");
  input_.mountInfo =
      "22 1 0:21 / /proc rw,nosuid - proc proc rw\n"
      "40 29 8:3 / " +
      escaped +
      " rw,relatime shared:21 - ntfs3 /dev/sda3 rw,uid=1000\n"
      "41 29 0:40 / " +
      tmpfs +
      " rw - tmpfs tmpfs rw\n"
      "garbage line\n";

  const std::vector<std::string> expected = {
      "wine | .wine | " + Home(".wine"),
      "wine | .wine-staging | " + Home(".wine-staging"),
      "wine | tricks | " + Home("data/wineprefixes/tricks"),
      "velmora | Velmora | " + Home("data/velmora/prefix"),
      "steam | ELDEN RING | " + library + "/steamapps/compatdata/1245620/pfx",
      "steam | Portal 2 | " + steam + "/steamapps/compatdata/620/pfx",
      "steam | Steam app 3141592653 | " + steam + "/steamapps/compatdata/3141592653/pfx",
      "bottles | Broken | " + bottles + "/Broken",
      "bottles | Games: Flatpak | " + flatpakBottles + "/Games",
      "bottles | Music | " + elsewhere,
      "bottles | No User | " + bottles + "/NoUser | no user.reg",
      "bottles | Office 2010 | " + bottles + "/Office",
      "lutris | GOG Galaxy | " + Home("Games/gog-galaxy"),
      "lutris | winamp-1700000000 | " + Home("Games/winamp"),
      "heroic | Celeste | " + Home("Games/Heroic/Prefixes/Celeste/pfx"),
      "heroic | default | " + Home("Games/Heroic/Prefixes/default"),
      "playonlinux | Office2007 | " + Home(".PlayOnLinux/wineprefix/Office2007"),
      "offline | Windows on " + mount + " | " + mount,
  };
  EXPECT_EQ(Describe(FindSystems(input_)), expected);
  // Nothing was written into the launchers' folders (no journal beside pga.db).
  EXPECT_FALSE(fs::exists(Home("data/lutris/pga.db-journal")));
  EXPECT_FALSE(fs::exists(Home("data/lutris/pga.db-wal")));
}

TEST_F(SystemFinderTest, LinkLoopsDamagedFilesAndUnreadableFoldersAreLeftOut) {
  // Link loops where the finder looks: a ~/.wine*, the Steam folder, a library,
  // a bottle, a Lutris and a Heroic prefix.
  fs::create_directory_symlink(Home(".wine-loop"), Home(".wine-loop"));
  fs::create_directories(Home(".local/share"));
  fs::create_directory_symlink(Home(".local/share/Steam"), Home(".local/share/Steam"));
  const std::string steam = Home(".var/app/com.valvesoftware.Steam/.local/share/Steam");
  WriteFile(
      steam + "/steamapps/libraryfolders.vdf",
      "\"libraryfolders\" { \"1\" { \"path\" \"" + Home("loop-a") + "\" } \"2\" { \"path\" \"relative\" } }");
  fs::create_directory_symlink(Home("loop-b"), Home("loop-a"));
  fs::create_directory_symlink(Home("loop-a"), Home("loop-b"));
  MakePrefix(steam + "/steamapps/compatdata/70/pfx");
  fs::create_directories(Home(".local/share/bottles/bottles"));
  fs::create_directory_symlink(Home(".local/share/bottles/bottles/Loop"),
                               Home(".local/share/bottles/bottles/Loop"));
  WriteFile(Home(".config/lutris/games/loop-1.yml"), "game:\n  prefix: " + Home("loop-a") + "\n");
  WriteFile(Home(".config/heroic/GamesConfig/Loop.json"),
            "{\"Loop\": {\"winePrefix\": \"" + Home("loop-b") + "\"}}");

  // Damaged files: a libraryfolders.vdf cut short hides the libraries it lists,
  // not the Steam folder's own prefixes; a damaged manifest names its game by
  // number; a pga.db that is not a database names its games by file.
  const std::string native = Home(".local/share/Steam2");
  WriteFile(steam + "/steamapps/appmanifest_70.acf", "\"AppState\" { \"name\" \"Half-Life\" ");
  MakePrefix(Home("Games/lutris-game"));
  WriteFile(Home(".config/lutris/games/game-2.yml"), "game:\n  prefix: " + Home("Games/lutris-game") + "\n");
  WriteFile(Home(".local/share/lutris/pga.db"),
            std::string("SQLite format 3\0garbage", 23) + std::string(4000, 'x'));

  // A folder that cannot be read: left out, or listed with the reason when it
  // is named directly (WINEPREFIX). The superuser reads everything.
  MakePrefix(Home(".PlayOnLinux/wineprefix/Hidden"));
  MakePrefix(Home("locked"));
  input_.winePrefix = Home("locked");
  chmod(Home(".PlayOnLinux/wineprefix").c_str(), 0);
  chmod(Home("locked").c_str(), 0);
  const bool superuser = geteuid() == 0;

  std::vector<std::string> expected = {
      "steam | Steam app 70 | " + steam + "/steamapps/compatdata/70/pfx",
      "lutris | game-2 | " + Home("Games/lutris-game"),
  };
  expected.insert(expected.begin(),
                  superuser ? "wine | locked | " + Home("locked")
                            : "wine | locked | " + Home("locked") + " | the folder cannot be read");
  if (superuser) expected.push_back("playonlinux | Hidden | " + Home(".PlayOnLinux/wineprefix/Hidden"));
  EXPECT_EQ(Describe(FindSystems(input_)), expected);
  chmod(Home(".PlayOnLinux/wineprefix").c_str(), 0755);
  chmod(Home("locked").c_str(), 0755);

  // No home folder at all: only what the input names.
  FinderInput bare;
  bare.winePrefix = Home(".PlayOnLinux/wineprefix/Hidden");
  EXPECT_EQ(Describe(FindSystems(bare)),
            std::vector<std::string>{"wine | Hidden | " + Home(".PlayOnLinux/wineprefix/Hidden")});
}

// The readers of the launchers' files on their own: what they accept beyond the
// files above.
TEST(LauncherFiles, YamlJsonMountsAndSteamLists) {
  std::string value;
  EXPECT_TRUE(YamlScalarAt("%YAML 1.1\n---\ngame: {prefix: '/a b', exe: x}\n", {"game", "prefix"}, &value));
  EXPECT_EQ(value, "/a b");
  // Only a value at the path counts: not a key, not a list item, not a deeper one.
  EXPECT_FALSE(YamlScalarAt("game:\n  - prefix: /x\n", {"game", "prefix"}, &value));
  EXPECT_FALSE(YamlScalarAt("game:\n  other:\n    prefix: /x\n", {"game", "prefix"}, &value));
  EXPECT_FALSE(YamlScalarAt("prefix: game\n", {"game", "prefix"}, &value));
  EXPECT_FALSE(YamlScalarAt("game:\n  prefix:\n    nested: /x\n", {"game", "prefix"}, &value));
  EXPECT_FALSE(YamlScalarAt("base: &b /x\ngame:\n  prefix: *b\n", {"game", "prefix"}, &value));
  EXPECT_TRUE(YamlScalarAt("? [complex, key]\n: 1\ngame:\n  prefix: /y\n", {"game", "prefix"}, &value));
  EXPECT_EQ(value, "/y");
  EXPECT_FALSE(YamlScalarAt(std::string(5000, '['), {"game"}, &value));
  EXPECT_FALSE(YamlScalarAt("Name: first\n---\nName: second\n", {"Other"}, &value));

  EXPECT_TRUE(JsonStringAt("{\"defaultSettings\": {\"winePrefix\": \"/p\"}}",
                           {"defaultSettings", "winePrefix"}, &value));
  EXPECT_EQ(value, "/p");
  EXPECT_FALSE(
      JsonStringAt("{\"defaultSettings\": {\"winePrefix\": 3}}", {"defaultSettings", "winePrefix"}, &value));
  EXPECT_FALSE(JsonStringAt(std::string(100000, '[') + std::string(100000, ']'), {"a"}, &value));
  using Prefixes = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(GameConfigPrefixes(
                "{\"a\": {\"winePrefix\": \"/x\"}, \"version\": \"v0\", \"b\": {\"winePrefix\": 1}}"),
            (Prefixes{{"a", "/x"}}));
  EXPECT_TRUE(GameConfigPrefixes("[1, 2]").empty());

  const std::vector<MountEntry> mounts = ParseMountInfo(
      "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n2 1 8:2 / /mnt/a\\134b\\040c rw shared:1 master:2 - ntfs3 "
      "/dev/sda2 rw\n"
      "3 1 8:3 / /short rw -\n4 1 8:4 / relative rw - vfat /dev/sdb1 rw\n");
  ASSERT_EQ(mounts.size(), 2u);
  EXPECT_EQ(mounts[1].mountPoint, "/mnt/a\\b c");
  EXPECT_EQ(mounts[1].fileSystem, "ntfs3");

  EXPECT_EQ(
      SteamLibraryPaths("\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\t\"1690000000\"\n"
                        "\t\"ContentStatsID\"\t\t\"-4567\"\n\t\"1\"\t\t\"/mnt/games/SteamLibrary\"\n}\n"),
      std::vector<std::string>{"/mnt/games/SteamLibrary"});
  EXPECT_EQ(SteamAppName("\"AppState\" { \"appid\" \"1\" }"), "");
}

}  // namespace
}  // namespace platform::posix
