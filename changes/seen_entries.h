// What the user has seen: the entries the window showed when it last closed (or
// that `velmora-cli seen` acknowledged), kept per system under the program's key:
//
//   HKCU\Software\Orlinsk\Velmora\SeenEntries   one REG_SZ value per entry, named
//       "%d|%s" (location number, entry name, as in the store), the command as data.
//
// An entry is new when its location and name are not in the record, changed when
// they are but with another command. Without a record (the first start) nothing
// is new. Reading never creates or writes anything.
#pragma once

#include <map>
#include <string>

#include "entries/task.h"

namespace platform {
class ManagedSystem;
}

namespace velmora {
class StartupParameters;
}

namespace velmora::changes {

enum class SeenState { kSeen, kNew, kChanged };

class SeenEntries {
 public:
  // The record of the system's registry; empty (and !Exists()) when there is none.
  static SeenEntries Read(platform::ManagedSystem& system);
  // Replaces the record with the entries of |model| that are not removed. False
  // (with |error| set) when it could not be written completely.
  static bool Write(const StartupParameters& model, std::string* error = nullptr);

  bool Exists() const { return exists_; }
  SeenState StateOf(int location, const Task& task) const;
  bool IsNew(int location, const Task& task) const { return StateOf(location, task) != SeenState::kSeen; }

 private:
  bool exists_ = false;
  std::map<std::string, std::string> commands_;  // "location|lower-cased name" -> command
};

std::string SeenEntriesKeyPath();  // Software\Orlinsk\Velmora\SeenEntries

}  // namespace velmora::changes
