// Writing the pending changes to the locations and the store.
//
// Every entry is always either in its location or in the store, whenever the
// writes stop: an entry is put into the store (its original form first, then its
// store value) before it is taken out of its location, and put back into its
// location before it is taken out of the store. Values and items that the edits
// did not change are not written at all.
#include "changes/apply.h"

#include "base/names.h"
#include "base/text.h"
#include "changes/create_shortcut.h"
#include "changes/item_names.h"
#include "changes/service_store.h"
#include "changes/shortcut_command.h"
#include "changes/startup_parameters.h"
#include "changes/store.h"
#include "changes/store_layout.h"
#include "changes/value_forms.h"
#include "changes/write_steps.h"
#include "entries/services.h"
#include "entries/startup_approved.h"
#include "entries/value_command.h"
#include "platform/files.h"
#include "platform/managed_system.h"

namespace velmora {

namespace {

using changes::FromRegistry;
using changes::ValueToWrite;

class LocationApply {
 public:
  LocationApply(StartupParameters& model, int location, std::vector<ApplyFailure>& failures)
      : model_(model), location_(location), failures_(failures), store_(model) {}

  void Run() {
    // The store is read here and opened for writing only when something is
    // written to it or deleted from it.
    std::string why;
    const std::string& readOnly = model_.ReadOnlyReason(location_);
    if (!readOnly.empty()) {
      Fail("", "refused: " + std::string(LocationTag(location_)) + " cannot be changed: " + readOnly);
      return;
    }
    if (!store_.Open(&why)) {
      Fail("", why);
      return;
    }
    if (IsFolderLocation(location_)) {
      RunFolder();
    } else if (IsServiceLocation(location_)) {
      RunServices();
    } else {
      RunRegistry();
    }
  }

 private:
  void Fail(const std::string& name, const std::string& reason) {
    failures_.push_back({location_, name, reason});
  }
  // Whether an entry of the location is to stand in it.
  bool WritesAnEntry() const {
    for (const auto& [key, task] : model_.Entries(location_)) {
      if (task->enabled && !task->removed) return true;
    }
    return false;
  }
  changes::StoredEntry Stored(const Task& task) const { return changes::StoredEntryOf(task, location_); }

  // The exact form a loaded profile gave the entry, while it still belongs to the
  // entry's command.
  const RawValue* Pending(const Task& task) const {
    const RawValue* pending = model_.PendingValue(SnapshotKey(location_, task.name));
    if (!pending || CommandOfValue(pending->type, pending->data) != task.command) return nullptr;
    return pending;
  }
  const std::string* PendingItem(const std::string& name) const {
    return model_.PendingItem(SnapshotKey(location_, name));
  }

  void RunRegistry() {
    platform::UniqueKey key;
    platform::Status opened = platform::kSuccess;
    // A Run or RunOnce key that does not exist yet (a fresh prefix has no RunOnce
    // key of the user, nor a 32-bit Run key) is made when an entry goes into it;
    // with nothing to put there, it stays missing.
    if (!model_.OpenLocationKey(location_, key.out(), &opened) &&
        !(opened == platform::kFileNotFound && WritesAnEntry() && model_.LocationKeyMissing(location_) &&
          model_.CreateLocationKey(location_, key.out()))) {
      Fail("", changes::KeyOpenFailureText(std::string("the key of ") + LocationTag(location_), opened));
      return;
    }
    std::vector<platform::RegistryValue> values;
    platform::Status status = platform::reg::ReadAllValues(key.get(), &values);
    if (status != platform::kSuccess) {
      Fail("", changes::FailureText(std::string("read the key of ") + LocationTag(location_), status));
      return;
    }
    std::map<std::string, platform::RegistryValue> onDisk;
    for (platform::RegistryValue& value : values) onDisk[NameKey(value.name)] = std::move(value);

    for (const auto& [lower, entry] : model_.Entries(location_)) {
      const Task& task = *entry;
      auto found = onDisk.find(lower);
      const platform::RegistryValue* disk = found == onDisk.end() ? nullptr : &found->second;
      std::string why;
      if (task.removed) {
        if (disk) {
          status = changes::RemoveValue(key.get(), disk->name);
          if (status != platform::kSuccess) {
            Fail(task.name, changes::FailureText("delete the value", status));
            continue;
          }
        }
        // A kept entry of the same name stays, and is listed in its place.
        if (task.keptCommand.empty() && !store_.Remove(Stored(task), &why)) Fail(task.name, why);
      } else if (task.enabled) {
        const RawValue* pending = Pending(task);
        bool asWanted = disk && CommandOfValue(disk->type, disk->data) == task.command &&
                        (!pending || (pending->type == disk->type && pending->data == disk->data));
        std::string written;  // the name of a value written where none stood
        if (!asWanted) {
          std::vector<RawValue> known;
          if (pending) known.push_back(*pending);
          const platform::RegistryValue* remembered = store_.RememberedValue(Stored(task));
          if (remembered) known.push_back(FromRegistry(*remembered));
          if (disk) known.push_back(FromRegistry(*disk));
          RawValue value = ValueToWrite(task.name, task.command, known);
          // The remembered original goes back byte for byte, not through its text form.
          const bool original =
              remembered && value.type == remembered->type && value.data == remembered->data;
          status = original ? store_.PutBackExactly(Stored(task), key.get(), value.name)
                            : changes::SetRawValue(key.get(), value.name, value.type, value.data);
          if (status != platform::kSuccess) {
            Fail(task.name, changes::FailureText("write the value", status));
            continue;
          }
          if (!disk) written = value.name;
        }
        if (!ClearSystemMark(task)) continue;
        // In its location again: the stored copy is no longer needed (unless it is
        // another entry of the same name). A copy that stays would list the entry
        // as disabled too: the enable fails, and a value it wrote goes again.
        if (task.keptCommand.empty() && !store_.Remove(Stored(task), &why)) {
          if (!written.empty() && changes::RemoveValue(key.get(), written) == platform::kSuccess)
            why += "; the entry stays disabled";
          Fail(task.name, why);
        }
      } else if (task.disabledBySystem && disk) {
        continue;  // disabled by the system's startup manager: it stays as it is
      } else if (!MayStoreBesideKept(task)) {
        continue;
      } else if (disk) {
        const RawValue* pending = Pending(task);
        RawValue original = pending ? *pending : FromRegistry(*disk);
        const bool storedBefore = store_.Value(Stored(task)) != nullptr;
        if (!store_.Put(Stored(task), task.command, &original, nullptr, &why) ||
            (!pending && !store_.KeepExactly(Stored(task), key.get(), disk->name, &why))) {
          // Nor is it listed as disabled: what was stored of it goes again.
          if (!storedBefore) store_.Remove(Stored(task), nullptr);
          Fail(task.name, why + "; the entry stays where it is");
          continue;
        }
        status = changes::RemoveValue(key.get(), disk->name);
        if (status != platform::kSuccess) {
          const std::string failure = changes::FailureText("delete the value", status);
          // The entry stays where it is: the copy just stored would list it twice.
          if (!storedBefore) store_.Remove(Stored(task), nullptr);
          Fail(task.name, failure);
        }
      } else if (!store_.Holds(Stored(task), task.command)) {
        if (!store_.Put(Stored(task), task.command, Pending(task), nullptr, &why)) Fail(task.name, why);
      }
    }
  }

  // A disabled service starts on demand (Start 3) and Velmora keeps its Start and
  // DelayedAutostart; enabling writes those back exactly.
  void RunServices() {
    platform::ManagedSystem& system = model_.System();
    platform::UniqueKey services;
    platform::Status opened = platform::kSuccess;
    if (!model_.OpenLocationKey(location_, services.out(), &opened)) {
      Fail("", changes::KeyOpenFailureText("the services key", opened));
      return;
    }
    for (const auto& [lower, entry] : model_.Entries(location_)) {
      const Task& task = *entry;
      std::string why;
      ServiceConfig config;
      if (!ReadServiceConfig(system, task.name, &config)) {
        if (task.removed && !store_.Remove(Stored(task), &why)) Fail(task.name, why);
        if (!task.removed) Fail(task.name, "the service's key is not there");
        continue;
      }
      const std::string unchangeable = config.UnchangeableReason();
      if (task.removed) {
        Fail(task.name, "refused: a service is not removed; disable it instead");
      } else if (task.enabled) {
        if (config.StartsAutomatically()) {
          if (!store_.Remove(Stored(task), &why)) Fail(task.name, why);
          continue;
        }
        if (task.readOnly) continue;  // listed as it is, never written
        changes::ServiceStartState kept;
        if (!changes::KeptServiceState(system, config.name, &kept)) {
          Fail(task.name, "Velmora keeps no start of this service to put back");
        } else if (!unchangeable.empty()) {
          Fail(task.name, "refused: " + unchangeable);
        } else if (!changes::WriteServiceState(system, services.get(), kept, false, &why) ||
                   !changes::WriteServiceState(system, services.get(), kept, true, &why)) {
          Fail(task.name, why);
        } else if (!store_.Remove(Stored(task), &why)) {
          Fail(task.name, why);
        }
      } else if (!unchangeable.empty()) {
        Fail(task.name, "refused: " + unchangeable);
      } else if (config.StartsAutomatically()) {
        changes::ServiceStartState state = changes::StartStateOf(config);
        if (!changes::KeepServiceState(system, state, &why) ||
            !store_.Put(Stored(task), task.command, nullptr, nullptr, &why)) {
          Fail(task.name, why + "; the service stays as it is");
          continue;
        }
        state.start = {config.start.name, platform::kRegDword, std::string("\x03\0\0\0", 4)};
        if (!changes::WriteServiceState(system, services.get(), state, false, &why)) Fail(task.name, why);
      } else if (!store_.Holds(Stored(task), task.command)) {
        if (!store_.Put(Stored(task), task.command, nullptr, nullptr, &why)) Fail(task.name, why);
      }
    }
  }

  void RunFolder() {
    std::string folder = model_.StartupFolderPath(location_);
    if (folder.empty()) {
      Fail("", std::string("could not read the folder path of ") + LocationTag(location_));
      return;
    }
    for (const auto& [lower, entry] : model_.Entries(location_)) {
      const Task& task = *entry;
      std::string why;
      std::string path;
      if (!changes::ItemPathInFolder(model_.System(), folder, task.name, &path, &why)) {
        // No file is touched under such a name; its store value may still go.
        if (task.removed) {
          if (!store_.Remove(Stored(task), &why)) Fail(task.name, why);
        } else if (task.enabled || !store_.Holds(Stored(task), task.command)) {
          Fail(task.name, "refused: " + why);
        }
        continue;
      }
      bool exists = platform::files::Exists(model_.System(), path);
      bool isFolder = exists && platform::files::DirectoryExists(model_.System(), path);
      if (task.removed) {
        if (exists && !isFolder) {
          platform::Status status = changes::RemoveItem(model_.System(), path);
          if (status != platform::kSuccess) {
            Fail(task.name, changes::FailureText("delete " + path, status));
            continue;
          }
        }
        if (task.keptCommand.empty() && !store_.Remove(Stored(task), &why)) Fail(task.name, why);
      } else if (task.enabled) {
        std::string restored;  // the item written where none stood
        if (!exists && !Restore(task, folder, path, &restored)) continue;
        const std::string* pending = PendingItem(task.name);
        if (exists && !isFolder && pending) {
          // A loaded profile brings the item as it was saved.
          std::string current;
          if (platform::files::ReadWholeFile(model_.System(), path, &current) != platform::kSuccess ||
              current != *pending) {
            platform::Status status = changes::WriteItem(model_.System(), path, *pending);
            if (status != platform::kSuccess) {
              Fail(task.name, changes::FailureText("write " + path, status));
              continue;
            }
          }
        }
        if (!ClearSystemMark(task)) continue;
        if (task.keptCommand.empty() && !store_.Remove(Stored(task), &why)) {
          if (!restored.empty() && changes::RemoveItem(model_.System(), restored) == platform::kSuccess)
            why += "; the item stays disabled";
          Fail(task.name, why);
        }
      } else if (task.disabledBySystem && exists) {
        continue;  // disabled by the system's startup manager: it stays as it is
      } else if (!MayStoreBesideKept(task)) {
        continue;
      } else if (exists && !isFolder) {
        std::string bytes;
        platform::Status status = platform::files::ReadWholeFile(model_.System(), path, &bytes);
        if (status != platform::kSuccess) {
          Fail(task.name, changes::FailureText("read " + path, status) + "; the item stays where it is");
          continue;
        }
        const std::string* pending = PendingItem(task.name);
        if (!store_.Put(Stored(task), task.command, nullptr, pending ? pending : &bytes, &why)) {
          Fail(task.name, why + "; the item stays where it is");
          continue;
        }
        status = changes::RemoveItem(model_.System(), path);
        if (status != platform::kSuccess) Fail(task.name, changes::FailureText("delete " + path, status));
      } else if (!store_.Holds(Stored(task), task.command)) {
        if (!store_.Put(Stored(task), task.command, nullptr, PendingItem(task.name), &why)) {
          Fail(task.name, why);
        }
      }
    }
  }

  // Disabling an entry while the store keeps another of its name would write over
  // that one: refused.
  bool MayStoreBesideKept(const Task& task) {
    if (task.keptCommand.empty()) return true;
    Fail(task.name, "refused: Velmora already keeps a disabled entry of this name (" + task.keptCommand +
                        "); remove one of the two first");
    return false;
  }

  // An enabled entry must not keep a "disabled" mark of the system's startup
  // manager, or the system would still not start it.
  bool ClearSystemMark(const Task& task) {
    if (!model_.HonoursStartupApproved()) return true;
    platform::Status status = ClearStartupApprovedMark(model_.System(), location_, task.name);
    if (status == platform::kSuccess) return true;
    Fail(task.name, changes::FailureText("clear the system's \"disabled\" mark", status));
    return false;
  }

  // Puts a missing item back: the copy a loaded profile brought, else its kept copy, else
  // a new shortcut to the command (the name with ".lnk" added when it lacks it). Sets
  // |written| to the file it wrote.
  bool Restore(const Task& task, const std::string& folder, const std::string& path, std::string* written) {
    std::string bytes;
    const std::string* pending = PendingItem(task.name);
    if (pending) bytes = *pending;
    if (pending || store_.KeptItem(Stored(task), &bytes)) {
      platform::Status status = changes::WriteItem(model_.System(), path, bytes);
      if (status != platform::kSuccess) {
        Fail(task.name, changes::FailureText("write " + path, status));
        return false;
      }
      *written = path;
      return true;
    }
    std::string shortcutPath = EndsWithIgnoreCase(task.name, ".lnk") ? path : path + ".lnk";
    if (shortcutPath != path) {
      std::string why;
      if (!changes::ItemPathInFolder(model_.System(), folder, task.name + ".lnk", &shortcutPath, &why)) {
        Fail(task.name, "refused: " + why);
        return false;
      }
      if (platform::files::Exists(model_.System(), shortcutPath)) return true;
    }
    std::string target, arguments;
    changes::SplitShortcutCommand(model_.System(), task.command, &target, &arguments);
    platform::HResult result =
        changes::CreateShortcut(model_.System(), model_.Context(), target, "", shortcutPath, arguments);
    changes::CountWrite();
    if (result < 0) {
      Fail(task.name, "could not create the shortcut " + shortcutPath + " to " + target);
      return false;
    }
    *written = shortcutPath;
    return true;
  }

  StartupParameters& model_;
  int location_;
  std::vector<ApplyFailure>& failures_;
  changes::Store store_;
};

}  // namespace

std::vector<ApplyFailure> StartupParameters::ApplyChanges() {
  std::vector<ApplyFailure> failures;
  for (int location = 0; location < kLocationCount; ++location) {
    if (!LocationChanged(location)) continue;
    std::size_t before = failures.size();
    LocationApply(*this, location, failures).Run();
    // A location whose writes did not all happen stays changed, so that the user
    // sees it and can apply again.
    if (failures.size() != before) continue;
    // What a loaded profile brought for this location has now been written.
    MarkWritten(location);
  }
  return failures;
}

}  // namespace velmora
