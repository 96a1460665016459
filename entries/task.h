// One startup entry.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/icons.h"

namespace velmora {

class Task {
 public:
  Task() = default;
  Task(const Task&) = default;
  Task& operator=(const Task&) = default;
  virtual ~Task() = default;

  std::string name;
  std::string fileName;
  std::string command;
  int location = -1;
  // What is known of the program; FillTask gives an entry without one text 7025
  // ("no information"), and rating replaces it.
  std::string description;
  int memoryKB = 0;
  int peakMemoryKB = 0;
  std::string rating = "Unknown File";
  int enabled = 1;
  int processProtected = 0;
  int fileExists = 1;
  int removed = 0;
  // Disabled by the system's own startup manager (a StartupApproved mark) while
  // still in its location.
  int disabledBySystem = 0;
  std::string applicationName;
  std::string version;
  std::string productName;
  platform::IconHandle icon;  // not owned; copies share it
  // For an entry read from the store of disabled entries: the exact name of the
  // store value it was read from ("Foo", "03|Foo" as well as "3|Foo"); else "".
  std::string storeValueName;
  // Registry entries: the type of the value (as it stands, or stood before it was
  // disabled); 1 (REG_SZ) for everything else.
  std::uint32_t valueType = 1;
  // Why a boot of a Wine prefix would not start the entry where it stands ("" when
  // it would); set by FillTask from the location and valueType.
  std::string wineSkipReason;
  // A disabled entry of the same name that the store keeps while this one stands
  // in the location (its program registered itself again): the kept entry's
  // command, "" when there is none. The kept copy stays until the user removes it.
  std::string keptCommand;
  // 1 when the location cannot be changed (its key or hive cannot be opened for
  // writing); readOnlyReason says why.
  int readOnly = 0;
  std::string readOnlyReason;
  // Services: the DLL a service in a shared host runs ("" for others), the type
  // of its Start value (0 when it has none), and the file its version, icon and
  // rating come from (for other entries "": the program of the command).
  std::string serviceDll;
  std::uint32_t serviceStartType = 0;
  std::string programPath;
};

// Map from a lower-cased name (or snapshot key) to the entry it owns. Ordered, so
// rows within a location come in the order of their lower-cased names.
using TaskMap = std::map<std::string, std::unique_ptr<Task>>;

// A registry value exactly as it stands on disk.
struct RawValue {
  std::string name;
  std::uint32_t type = 0;
  std::string data;  // raw bytes as the registry returns them
};

}  // namespace velmora
