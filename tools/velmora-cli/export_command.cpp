#include "tools/velmora-cli/export_command.h"

#include <filesystem>
#include <ostream>

#include "changes/store_layout.h"
#include "entries/startup_location.h"
#include "platform/files.h"
#include "platform/managed_system.h"
#include "platform/registry.h"
#include "tools/velmora-cli/command.h"
#include "tools/velmora-cli/list_command.h"

namespace velmora::cli {

namespace {

struct KeySource {
  platform::HKey root;
  const char* rootName;
  std::string path;
};

// The registry key that holds a registry location's entries.
bool LocationKey(platform::ManagedSystem& system, int location, KeySource* source) {
  const bool machine = IsMachineLocation(location);
  source->root = machine ? system.LocalMachine() : system.CurrentUser();
  source->rootName = machine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
  if (!IsRegistryLocation(location)) return false;
  source->path = FindLocation(location)->keyPath;
  return true;
}

// The key's values, or false when the key does not exist (or cannot be read).
bool ReadKey(const KeySource& source, RegFileKey* key) {
  platform::UniqueKey handle;
  if (platform::reg::OpenKey(source.root, source.path, platform::kKeyRead, handle.out()) !=
      platform::kSuccess) {
    return false;
  }
  std::vector<platform::RegistryValue> values;
  platform::Status status = platform::reg::ReadAllValues(handle.get(), &values);
  if (status != platform::kSuccess) return false;
  key->path = std::string(source.rootName) + "\\" + source.path;
  for (const platform::RegistryValue& value : values)
    key->values.push_back({value.name, value.type, value.data});
  return true;
}

}  // namespace

std::vector<RegFileKey> CollectExportKeys(const StartupParameters& model) {
  std::vector<RegFileKey> keys;
  for (int location = 0; location < kLocationCount; ++location) {
    if (!model.HasLocation(location)) continue;
    KeySource source;
    RegFileKey key;
    if (LocationKey(model.System(), location, &source)) {
      if (ReadKey(source, &key)) keys.push_back(std::move(key));
      continue;
    }
    if (!IsFolderLocation(location)) continue;
    // A Startup folder's items: named only, under the key that names the folder.
    for (const auto& [name, task] : model.Entries(location)) {
      if (task->removed || !task->enabled) continue;
      key.comments.push_back(std::string(LocationTag(location)) + ": " + task->name + " -> " + task->command +
                             " (a file in the Startup folder; not carried by this file)");
    }
    if (!key.comments.empty()) {
      const bool machine = location == kLmStartupFolder;
      key.path = std::string(machine ? "HKEY_LOCAL_MACHINE\\" : "HKEY_CURRENT_USER\\") + kShellFoldersKeyPath;
      keys.push_back(std::move(key));
    }
  }
  for (const std::string& path : {DisabledTasksKeyPath(), changes::StoreDataKeyPath()}) {
    RegFileKey key;
    if (ReadKey({model.System().CurrentUser(), "HKEY_CURRENT_USER", path}, &key))
      keys.push_back(std::move(key));
  }
  return keys;
}

int ExportRegistryFile(const StartupParameters& model, const std::string& hostPath, std::ostream& out,
                       std::ostream& err) {
  std::string text, error;
  if (!RegFileText(CollectExportKeys(model), &text, &error)) {
    err << "velmora-cli: nothing written: " << error << ".\n";
    return 1;
  }
  if (hostPath == "-") {
    out << text;
    return out ? 0 : 1;
  }
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(hostPath, ec);
  if (ec || hostPath.empty()) {
    err << "velmora-cli: cannot use the path " << hostPath << ".\n";
    return 1;
  }
  // The file is the user's, named as the user named it: not through a drive of the system.
  platform::Status status = platform::files::WriteHostFileAtomic(absolute.string(), text);
  if (status != platform::kSuccess) {
    const std::string& detail = platform::LastErrorDetail();
    err << "velmora-cli: cannot write " << hostPath << ": "
        << (detail.empty() ? "error " + std::to_string(status) : detail) << ".\n";
    return 1;
  }
  out << "Exported the startup locations and the store to " << hostPath << ".\n";
  return 0;
}

namespace {

std::string CheckExport(const Operands& operands) {
  return operands.size() == 1 ? "" : "export needs one file name (or - for standard output)";
}

int RunExport(const Operands& operands, StartupParameters& model, std::ostream& out, std::ostream& err) {
  ReadListedModel(model);
  return ExportRegistryFile(model, operands[0], out, err);
}

}  // namespace

const Command kExportCommand = {"export",
                                "FILE.reg",
                                "writes the Run and RunOnce keys and Velmora's store of\n"
                                "disabled entries as a registry file for regedit (- writes\n"
                                "it to standard output)\n",
                                Writes::kNothing,
                                CheckExport,
                                RunExport};

}  // namespace velmora::cli
