// The store of disabled entries as apply, roll-back and the clean-ups change it:
// the DisabledTasks values, the remembered original values and the kept copies of
// Startup-folder items (layout in store_layout.h).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "entries/startup_parameters.h"
#include "platform/registry.h"

namespace velmora::changes {

class Store {
 public:
  explicit Store(StartupParameters& model) : model_(model) {}
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  // Opens DisabledTasks (created when missing) and reads both keys whole. False
  // with |why| set when the store cannot be opened or read.
  bool Open(std::string* why);

  // Every DisabledTasks value, as read by Open and changed since.
  std::vector<platform::RegistryValue> AllValues() const;
  const platform::RegistryValue* Value(int location, const std::string& name) const;
  // The stored command equals |command|.
  bool Holds(int location, const std::string& name, const std::string& command) const;
  // The original value remembered for a stored registry entry, when it still
  // belongs to the stored command.
  const platform::RegistryValue* RememberedValue(int location, const std::string& name) const;
  // The kept copy of a stored Startup-folder item, when the entry is stored.
  bool KeptItem(int location, const std::string& name, std::string* bytes) const;

  // Stores an entry: first what is kept of its original (|original| value or
  // |itemBytes|, each may be null), then its DisabledTasks value. Writes only what
  // is not already there. False with |why| set when a write failed.
  bool Put(int location, const std::string& name, const std::string& command,
           const StartupParameters::RawValue* original, const std::string* itemBytes, std::string* why);
  // Takes an entry out: its DisabledTasks value first, then what is kept of it.
  bool Remove(int location, const std::string& name, std::string* why);

 private:
  bool OpenDataKey(bool create, std::string* why);

  StartupParameters& model_;
  platform::HKey storeKey_ = nullptr;
  platform::HKey dataKey_ = nullptr;
  std::map<std::string, platform::RegistryValue> values_;  // by lower-cased value name
  std::map<std::string, platform::RegistryValue> data_;
};

// Path of the kept copy of a Startup-folder item; false when none can be named.
bool KeptItemPath(int location, const std::string& name, std::string* path);

}  // namespace velmora::changes
