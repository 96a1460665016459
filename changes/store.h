// The store of disabled entries as apply, roll-back and the clean-ups change it:
// the DisabledTasks values, the remembered original values and the kept copies of
// Startup-folder items (layout in store_layout.h).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "entries/task.h"
#include "platform/registry.h"

namespace platform {
class ManagedSystem;
}

namespace velmora {

class StartupParameters;

namespace changes {

// An entry as the store knows it: location, name, and the exact name of the store
// value it was read from ("" when it was not read from the store).
struct StoredEntry {
  int location = -1;
  std::string name;
  std::string valueName;
};
inline StoredEntry StoredEntryOf(const Task& task, int location) {
  return {location, task.name, task.storeValueName};
}

class Store {
 public:
  explicit Store(const StartupParameters& model) : model_(model) {}
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  // Reads DisabledTasks and DisabledTaskData whole, without creating or writing
  // anything: a missing key is an empty store. False with |why| set when the
  // store exists but cannot be read.
  bool Open(std::string* why);
  // Opens DisabledTasks for writing, created when missing (Put and Remove do this
  // themselves when they have something to write).
  bool OpenForWriting(std::string* why);

  // Every DisabledTasks value, as read by Open and changed since.
  std::vector<platform::RegistryValue> AllValues() const;
  // The name under which the store holds |entry|: the value it was read from
  // while that is still there, else the first value that names it, else the
  // "%d|%s" form a new value is written under.
  std::string NameOf(const StoredEntry& entry) const;
  const platform::RegistryValue* Value(const StoredEntry& entry) const;
  // The stored command equals |command|.
  bool Holds(const StoredEntry& entry, const std::string& command) const;
  // The original value remembered for a stored registry entry, when it still
  // belongs to the stored command.
  const platform::RegistryValue* RememberedValue(const StoredEntry& entry) const;
  // The kept copy of a stored Startup-folder item, when the entry is stored.
  bool KeptItem(const StoredEntry& entry, std::string* bytes) const;
  // Whether the store keeps no more of |entry| than |standing|, the entry of that
  // name in the location, holds now: the same command, and the same value type or
  // item bytes. Only then is the stored copy stale; else it is another entry of
  // the same name and is kept.
  bool StaleBeside(const StoredEntry& entry, const Task& standing) const;

  // Stores an entry under NameOf(entry): first what is kept of its original
  // (|original| value or |itemBytes|, each may be null), then its DisabledTasks
  // value. Writes only what is not already there. False with |why| set when a
  // write failed.
  bool Put(const StoredEntry& entry, const std::string& command, const RawValue* original,
           const std::string* itemBytes, std::string* why);
  // After Put: keeps the value |name| of |key| as the remembered original of
  // |entry| exactly. Put remembers the 8-bit text form, which carries most values
  // but not a string without its zero, of odd length or with a lone surrogate.
  bool KeepExactly(const StoredEntry& entry, platform::HKey key, const std::string& name, std::string* why);
  // Writes the remembered original of |entry| exactly into |key| as |name|.
  platform::Status PutBackExactly(const StoredEntry& entry, platform::HKey key, const std::string& name);
  // Takes an entry out: every DisabledTasks value that names it (the one it was
  // read from first), then what is kept of it under those names.
  bool Remove(const StoredEntry& entry, std::string* why);

 private:
  bool OpenDataKey(bool create, std::string* why);
  // Lower-cased names of the values that name |entry|, the one it was read from first.
  std::vector<std::string> NamesOf(const StoredEntry& entry) const;

  const StartupParameters& model_;
  bool read_ = false;
  platform::UniqueKey storeKey_;
  platform::UniqueKey dataKey_;
  std::map<std::string, platform::RegistryValue> values_;  // by lower-cased value name
  std::map<std::string, platform::RegistryValue> data_;
};

// What is said of an entry whose name the store also keeps as a disabled entry
// (Task::keptCommand).
std::string KeptCopyNote(const Task& standing, int location);
// What is said of an entry whose location cannot be changed (Task::readOnly); ""
// for one that can.
std::string ReadOnlyNote(const Task& task);

// Path of the kept copy of a Startup-folder item; false when none can be named.
bool KeptItemPath(int location, const std::string& name, std::string* path);

// The task of the stored value |value| (entry |name| of |location|), as the store
// readers make it before FillTask: disabled, its command (the original value's
// when remembered), |programPath| the file its data comes from.
std::unique_ptr<Task> StoredTask(platform::ManagedSystem& system, const Store& store,
                                 const platform::RegistryValue& value, int location, const std::string& name,
                                 std::string* programPath);

// The task of a service that the store keeps disabled, read from the service's key
// as it stands (|programPath| receives its file); a bare task when the key is gone.
std::unique_ptr<Task> StoredServiceTask(platform::ManagedSystem& system, const std::string& name,
                                        std::string* programPath);

}  // namespace changes
}  // namespace velmora
