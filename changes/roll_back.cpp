// Roll-back: the locations and the store return to what the snapshot holds of
// them, value by value (data and type) and item by item (bytes).
//
// All writes come first, then all deletions, so that an entry that moved between
// its location and the store is, at every moment, in at least one of them. Only
// what differs from the snapshot is written, so a second roll-back finds nothing
// left to do.
#include "changes/roll_back.h"

#include "base/names.h"
#include "base/text.h"
#include "changes/item_names.h"
#include "changes/service_store.h"
#include "changes/startup_parameters.h"
#include "changes/store_layout.h"
#include "changes/write_steps.h"
#include "entries/services.h"
#include "entries/startup_approved.h"
#include "platform/files.h"
#include "platform/managed_system.h"

namespace velmora {

namespace {

// Both missing, or of the same type and bytes.
bool SameValue(const RawValue& a, const RawValue& b) {
  return a.name.empty() == b.name.empty() && (a.name.empty() || (a.type == b.type && a.data == b.data));
}

class RollBackRun {
 public:
  RollBackRun(const StartupParameters& model, const changes::RawState& raw,
              std::vector<ApplyFailure>& failures)
      : model_(model), raw_(raw), failures_(failures) {}

  void Pass(bool deleting) {
    const changes::RawState& raw = raw_;
    for (int location = 0; location < kLocationCount; ++location) {
      if (!raw.readable[location]) continue;
      if (IsFolderLocation(location)) {
        SyncFolder(location, raw.folders[location], raw.items[location], deleting);
      } else if (IsServiceLocation(location)) {
        SyncServices(raw.services, deleting);
      } else {
        platform::UniqueKey key;
        platform::Status opened = platform::kSuccess;
        if (!model_.OpenLocationKey(location, key.out(), &opened)) {
          if (raw.values[location].empty() && model_.LocationKeyMissing(location))
            continue;  // still nothing there
          if (!deleting) {
            Fail(location, "",
                 changes::KeyOpenFailureText(std::string("the key of ") + LocationTag(location), opened));
          }
          continue;
        }
        SyncKey(location, key.get(), raw.values[location], deleting);
      }
    }
    if (!deleting) {
      for (int location = 0; location < kLocationCount; ++location)
        RestoreDisabledMarks(location, raw.disabledMarks[location]);
    }
    if (!raw.storeReadable) return;
    // Each key of the store is created only when the snapshot holds values for it.
    platform::UniqueKey key;
    platform::Status status = platform::kSuccess;
    if (raw.store.empty()) {
      status = platform::reg::OpenKey(model_.System().CurrentUser(), DisabledTasksKeyPath(),
                                      platform::kKeyRead, key.out());
      key.reset();
    }
    // An existing key opens with the access its hive file allows.
    if (status == platform::kSuccess)
      status = platform::reg::CreateKey(model_.System().CurrentUser(), DisabledTasksKeyPath(), key.out());
    if (status == platform::kSuccess) {
      SyncKey(-1, key.get(), raw.store, deleting);
    } else if (status != platform::kFileNotFound && !deleting) {
      Fail(-1, "", changes::FailureText("open the store of disabled entries", status));
    }
    status = platform::reg::OpenKey(model_.System().CurrentUser(), changes::StoreDataKeyPath(),
                                    platform::kKeyAllAccess, key.out());
    if (status != platform::kSuccess && !raw.storeData.empty()) {
      status =
          platform::reg::CreateKey(model_.System().CurrentUser(), changes::StoreDataKeyPath(), key.out());
      changes::CountWrite();
    }
    if (status == platform::kSuccess) {
      SyncKey(-1, key.get(), raw.storeData, deleting);
      key.reset();
    } else if (!raw.storeData.empty() && !deleting) {
      Fail(-1, "", changes::FailureText("open the key of remembered values", status));
    }
    SyncKeptServices(raw.keptServices, deleting);
    for (int location : {kLmStartupFolder, kCuStartupFolder}) {
      std::string folder = changes::KeptItemsFolder(model_.System(), location);
      if (folder.empty()) continue;
      if (!deleting && !raw.keptItems[location].empty())
        platform::files::MakeDirectories(model_.System(), folder);
      SyncFolder(location, folder, raw.keptItems[location], deleting);
    }
  }

 private:
  void Fail(int location, const std::string& name, const std::string& reason) {
    failures_.push_back({location, name, reason});
  }

  // The apply deleted the system's "disabled" mark of each entry it enabled; the
  // marks of the snapshot go back (marks that came since are left alone).
  void RestoreDisabledMarks(int location, const std::vector<RawValue>& marks) {
    if (marks.empty()) return;
    platform::UniqueKey key;
    platform::Status status = platform::reg::CreateKey(StartupApprovedRoot(model_.System(), location),
                                                       StartupApprovedKeyPath(location), key.out());
    if (status != platform::kSuccess) {
      Fail(location, "", changes::FailureText("open the key of the system's \"disabled\" marks", status));
      return;
    }
    for (const RawValue& mark : marks) {
      std::vector<std::uint8_t> current(mark.data.size() + 1);
      std::uint32_t type = 0, size = static_cast<std::uint32_t>(current.size());
      if (platform::reg::QueryValue(key.get(), mark.name, &type, current.data(), &size) ==
              platform::kSuccess &&
          type == mark.type && std::string(current.begin(), current.begin() + size) == mark.data) {
        continue;
      }
      status = changes::SetRawValue(key.get(), mark.name, mark.type, mark.data);
      if (status != platform::kSuccess)
        Fail(location, mark.name, changes::FailureText("restore the system's \"disabled\" mark", status));
    }
  }

  // Each service's Start and DelayedAutostart as the snapshot holds them; only
  // what differs is written (services that came since are left alone).
  void SyncServices(const std::vector<changes::ServiceStartState>& states, bool deleting) {
    platform::ManagedSystem& system = model_.System();
    platform::UniqueKey services;
    platform::Status opened = platform::kSuccess;
    if (!model_.OpenLocationKey(kServices, services.out(), &opened)) {
      if (!deleting) Fail(kServices, "", changes::KeyOpenFailureText("the services key", opened));
      return;
    }
    for (const changes::ServiceStartState& state : states) {
      ServiceConfig config;
      if (!ReadServiceConfig(system, state.name, &config)) continue;
      // A service as the snapshot holds it is not written (nor asked of the service
      // manager, which refuses changes to a service it is deleting).
      if (SameValue(config.start, state.start) && SameValue(config.delayed, state.delayed)) continue;
      std::string why;
      if (!changes::WriteServiceState(system, services.get(), state, deleting, &why))
        Fail(kServices, state.name, why);
    }
  }

  // What the store keeps of disabled services, as the snapshot holds it.
  void SyncKeptServices(const std::vector<changes::ServiceStartState>& states, bool deleting) {
    platform::ManagedSystem& system = model_.System();
    std::vector<changes::ServiceStartState> current;
    changes::AllKeptServiceStates(system, &current);
    std::map<std::string, const changes::ServiceStartState*> wanted;
    for (const changes::ServiceStartState& state : states) wanted[NameKey(state.name)] = &state;
    std::string why;
    if (!deleting) {
      for (const changes::ServiceStartState& state : states) {
        if (!changes::KeepServiceState(system, state, &why)) Fail(kServices, state.name, why);
      }
      return;
    }
    for (const changes::ServiceStartState& state : current) {
      if (!wanted.count(NameKey(state.name))) changes::ForgetServiceState(system, state.name);
    }
  }

  void SyncKey(int location, platform::HKey key, const std::vector<RawValue>& wanted, bool deleting) {
    std::vector<platform::RegistryValue> values;
    platform::Status status = platform::reg::ReadAllValues(key, &values);
    if (status != platform::kSuccess) {
      if (!deleting) Fail(location, "", changes::FailureText("read a key", status));
      return;
    }
    std::map<std::string, const platform::RegistryValue*> current;
    for (const platform::RegistryValue& value : values) current[NameKey(value.name)] = &value;
    std::map<std::string, const RawValue*> target;
    for (const RawValue& value : wanted) target[NameKey(value.name)] = &value;

    if (!deleting) {
      for (const auto& [lower, value] : target) {
        auto it = current.find(lower);
        if (it != current.end() && it->second->type == value->type && it->second->data == value->data)
          continue;
        status = changes::SetRawValue(key, value->name, value->type, value->data);
        if (status != platform::kSuccess)
          Fail(location, value->name, changes::FailureText("write the value", status));
      }
    } else {
      for (const auto& [lower, value] : current) {
        if (target.count(lower)) continue;
        status = changes::RemoveValue(key, value->name);
        if (status != platform::kSuccess)
          Fail(location, value->name, changes::FailureText("delete the value", status));
      }
    }
  }

  void SyncFolder(int location, const std::string& folder, const std::vector<RawItem>& wanted,
                  bool deleting) {
    std::map<std::string, platform::FoundItem> current;
    platform::FolderSearch search(model_.System());
    if (search.FindFirst(folder + "\\*.*")) {
      do {
        const platform::FoundItem& item = search.Current();
        if (!item.isDots && !item.isDirectory && !IsUnfinishedWriteItem(item.name)) {
          current[NameKey(item.name)] = item;
        }
      } while (search.FindNext());
    }
    std::map<std::string, const RawItem*> target;
    for (const RawItem& item : wanted) target[NameKey(item.name)] = &item;

    if (!deleting) {
      for (const auto& [lower, item] : target) {
        std::string path, why;
        if (!changes::ItemPathInFolder(model_.System(), folder, item->name, &path, &why)) {
          Fail(location, item->name, "refused: " + why);
          continue;
        }
        auto it = current.find(lower);
        if (it != current.end()) {
          std::string bytes;
          if (platform::files::ReadWholeFile(model_.System(), it->second.fullPath, &bytes) ==
                  platform::kSuccess &&
              bytes == item->bytes)
            continue;
        }
        platform::Status status = changes::WriteItem(model_.System(), path, item->bytes);
        if (status != platform::kSuccess)
          Fail(location, item->name, changes::FailureText("write " + path, status));
      }
    } else {
      for (const auto& [lower, item] : current) {
        if (target.count(lower)) continue;
        platform::Status status = changes::RemoveItem(model_.System(), item.fullPath);
        if (status != platform::kSuccess) {
          Fail(location, item.name, changes::FailureText("delete " + item.fullPath, status));
        }
      }
    }
  }

  const StartupParameters& model_;
  const changes::RawState& raw_;
  std::vector<ApplyFailure>& failures_;
};

}  // namespace

std::vector<ApplyFailure> changes::RollBackTo(const StartupParameters& model, const RawState& raw) {
  std::vector<ApplyFailure> failures;
  RollBackRun run(model, raw, failures);
  run.Pass(false);
  // A deletion after a failed write could take the last copy of an entry away.
  if (failures.empty()) run.Pass(true);
  return failures;
}

}  // namespace velmora
