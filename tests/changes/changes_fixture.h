// Shared set-up of the tests of changes: a fresh prefix and direct access to its
// registry and folders through the platform layer.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "base/text.h"
#include "changes/startup_parameters.h"
#include "changes/store_layout.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/shell_link.h"
#include "tests/support/test_support.h"

namespace velmora::test {

inline platform::HKey RootOf(int location) {
  return IsMachineLocation(location) ? velmora::test::System().LocalMachine()
                                     : velmora::test::System().CurrentUser();
}
inline const char* KeyOf(int location) { return FindLocation(location)->keyPath; }

class ChangesTest : public ::testing::Test {
 protected:
  static void SetRaw(platform::HKey root, const std::string& path, const std::string& name,
                     std::uint32_t type, const std::string& data) {
    platform::UniqueKey key;
    ASSERT_EQ(platform::reg::CreateKey(root, path, key.out()), platform::kSuccess);
    ASSERT_EQ(
        platform::reg::SetValue(key.get(), name, type, reinterpret_cast<const std::uint8_t*>(data.data()),
                                static_cast<std::uint32_t>(data.size())),
        platform::kSuccess);
  }
  static void SetText(int location, const std::string& name, const std::string& text,
                      std::uint32_t type = platform::kRegSz) {
    SetRaw(RootOf(location), KeyOf(location), name, type, changes::StringData(text));
  }
  static void SetStore(const std::string& valueName, const std::string& command) {
    SetRaw(velmora::test::System().CurrentUser(), DisabledTasksKeyPath(), valueName, platform::kRegSz,
           changes::StringData(command));
  }
  // Values of a key by lower-cased name (empty when the key is missing).
  static std::map<std::string, platform::RegistryValue> Values(platform::HKey root, const std::string& path) {
    std::map<std::string, platform::RegistryValue> out;
    platform::UniqueKey key;
    if (platform::reg::OpenKey(root, path, platform::kKeyRead, key.out()) != platform::kSuccess) return out;
    std::vector<platform::RegistryValue> values;
    platform::reg::ReadAllValues(key.get(), &values);
    for (auto& value : values) out[ToLowerAscii(value.name)] = value;
    return out;
  }
  static std::map<std::string, platform::RegistryValue> LocationValues(int location) {
    return Values(RootOf(location), KeyOf(location));
  }
  static std::map<std::string, platform::RegistryValue> StoreValues() {
    return Values(velmora::test::System().CurrentUser(), DisabledTasksKeyPath());
  }

  std::string Folder(int location) {
    StartupParameters model(velmora::test::System());
    return model.StartupFolderPath(location);
  }
  static std::string Host(const std::string& windowsPath) {
    return platform::files::HostPathFromWindows(velmora::test::System(), windowsPath);
  }
  // Host path of an item of a Startup folder.
  std::string Item(int location, const std::string& name) { return Host(Folder(location) + "\\" + name); }
  static std::string KeptItem(int location, const std::string& name) {
    return Host(changes::KeptItemsFolder(velmora::test::System(), location) + "\\" + name);
  }
  // Every file of a host folder with its bytes.
  static std::map<std::string, std::string> FolderFiles(const std::string& hostFolder) {
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(hostFolder, ec)) {
      if (entry.is_regular_file()) out[entry.path().filename().string()] = ReadFile(entry.path().string());
    }
    return out;
  }
  // Everything roll-back promises to restore: the values of the Run and RunOnce
  // keys, the files of the Startup folders, and the store with its kept copies.
  struct Disk {
    std::map<int, std::map<std::string, std::pair<std::uint32_t, std::string>>> values;
    std::map<int, std::map<std::string, std::string>> items;
    std::map<std::string, std::string> store;
    bool operator==(const Disk&) const = default;
  };
  Disk Capture() {
    Disk disk;
    for (int location : {kLmRun, kLmRunOnce, kCuRun, kCuRunOnce}) {
      for (auto& [name, value] : LocationValues(location))
        disk.values[location][name] = {value.type, value.data};
    }
    for (int location : {kLmStartupFolder, kCuStartupFolder}) {
      disk.items[location] = FolderFiles(Host(Folder(location)));
      for (auto& [name, bytes] :
           FolderFiles(Host(changes::KeptItemsFolder(velmora::test::System(), location)))) {
        disk.store["kept " + std::to_string(location) + " " + name] = bytes;
      }
    }
    for (auto& [name, value] : StoreValues()) disk.store[name] = value.data;
    for (auto& [name, value] : Values(velmora::test::System().CurrentUser(), changes::StoreDataKeyPath())) {
      disk.store["data " + name] = value.data;
    }
    return disk;
  }

  static void MakeShortcut(const std::string& windowsPath, const std::string& target,
                           const std::string& arguments, const std::string& workingFolder = "",
                           const std::string& icon = "") {
    platform::ShellLink link;
    ASSERT_EQ(link.SetPath(velmora::test::System(), target), platform::kOk);
    if (!arguments.empty()) link.SetArguments(arguments);
    if (!workingFolder.empty()) link.SetWorkingDirectory(workingFolder);
    if (!icon.empty()) link.SetIconLocation(icon, 2);
    std::filesystem::create_directories(std::filesystem::path(Host(windowsPath)).parent_path());
    ASSERT_EQ(link.Save(velmora::test::System(), windowsPath), platform::kOk);
  }

  // Entries of every kind: Run values of both roots (one of them expandable), a
  // disabled one in the store, a shortcut and a plain file in the user's Startup
  // folder. The fault tests build on it.
  void MakeEntriesOfEveryKind() {
    SetText(kCuRun, "Plain", "C:\\plain.exe /q");
    SetText(kCuRun, "Exp", "%SystemRoot%\\exp.exe", platform::kRegExpandSz);
    SetText(kLmRun, "Machine", "C:\\machine.exe");
    SetStore("3|Stored", "C:\\stored.exe");
    MakeShortcut(Folder(kCuStartupFolder) + "\\Tool.lnk", "C:\\Tools\\tool.exe", "--tray", "C:\\Tools");
    WriteFile(Item(kCuStartupFolder, "run.cmd"), "echo run\r\n");
  }

  static void Read(StartupParameters& model) {
    model.ScanAllLocations();
    model.ReadDisabledTasks();
  }
  static const Task* Find(const StartupParameters& model, int location, const std::string& name) {
    return model.Entry(location, name);
  }
  static std::string Describe(const std::vector<ApplyFailure>& failures) {
    std::string text;
    for (const ApplyFailure& f : failures)
      text += std::to_string(f.location) + " " + f.name + ": " + f.reason + "\n";
    return text;
  }
  // Snapshot and apply, as the program's apply command does; no failure expected.
  static void Apply(StartupParameters& model) {
    model.TakeSnapshot();
    std::vector<ApplyFailure> failures = model.ApplyChanges();
    EXPECT_TRUE(failures.empty()) << Describe(failures);
  }

  TestSystem prefix_;
};

}  // namespace velmora::test
