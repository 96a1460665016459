// libFuzzer target: a SOFTWARE and NTUSER.DAT pair laid out as an offline
// Windows installation, run through velmora-cli's commands as the program runs
// them (list, add, disable, enable), then judged by libhivex alone.
//  - the installation opens, or says why not; a listing reads it or says why not;
//  - a command that fails says why and leaves the installation as it was: the
//    hive its message names byte for byte, the listing as before;
//  - every hive libhivex read whole before the commands it reads whole after
//    them, and an added entry stands in the user's hive with its command;
//  - an entry disabled and enabled again is back with its type and bytes.
// Input: a 4-byte little-endian length, that many bytes of SOFTWARE, then
// NTUSER.DAT. Each hive's header checksum is set before it is written, so that
// the mutations reach the readers instead of stopping at the checksum.
#include <hivex.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/names.h"
#include "changes/startup_parameters.h"
#include "fuzz/fuzz_support.h"
#include "platform/managed_system.h"
#include "tools/velmora-cli/command.h"
#include "tools/velmora-cli/edit_support.h"

using namespace velmora;

namespace {

constexpr std::size_t kVisitBudget = 4000;  // key nodes and values read per hive
const char* const kRunPath[] = {"Microsoft", "Windows", "CurrentVersion", "Run"};
const char* const kProbeCommand = "C:\\Tools\\probe.exe /q";

using fuzz::ReadHostFile;

struct HivexCloser {
  void operator()(hive_h* h) const { hivex_close(h); }
};
using Hivex = std::unique_ptr<hive_h, HivexCloser>;

Hivex OpenHivex(const std::string& path) { return Hivex(hivex_open(path.c_str(), 0)); }

// Visits every key and value within the budget; false when libhivex fails on one.
bool WalkWhole(hive_h* h, hive_node_h node, std::size_t* budget, int depth) {
  if (*budget == 0 || depth > 32) return true;
  --*budget;
  char* name = hivex_node_name(h, node);
  if (!name) return false;
  free(name);
  hive_value_h* values = hivex_node_values(h, node);
  if (!values) return false;
  bool whole = true;
  for (std::size_t i = 0; values[i] && whole && *budget; ++i, --*budget) {
    hive_type type;
    std::size_t length = 0;
    char* key = hivex_value_key(h, values[i]);
    char* data = hivex_value_value(h, values[i], &type, &length);
    whole = key && data;
    free(key);
    free(data);
  }
  free(values);
  hive_node_h* children = whole ? hivex_node_children(h, node) : nullptr;
  if (!children) return false;
  for (std::size_t i = 0; children[i] && whole; ++i) whole = WalkWhole(h, children[i], budget, depth + 1);
  free(children);
  return whole;
}

// True when libhivex opens the file and reads every key and value of it.
bool ReadsWhole(const std::string& path) {
  Hivex h = OpenHivex(path);
  if (!h) return false;
  std::size_t budget = kVisitBudget;
  return WalkWhole(h.get(), hivex_root(h.get()), &budget, 0);
}

// The Run key's values named |name| (as Windows compares names), as type and bytes.
std::vector<std::string> RunValues(const std::string& path, bool userHive, const std::string& name) {
  std::vector<std::string> found;
  Hivex h = OpenHivex(path);
  if (!h) return found;
  hive_node_h node = hivex_root(h.get());
  if (userHive && node) node = hivex_node_get_child(h.get(), node, "Software");
  for (const char* part : kRunPath)
    if (node) node = hivex_node_get_child(h.get(), node, part);
  if (!node) return found;
  hive_value_h* values = hivex_node_values(h.get(), node);
  if (!values) return found;
  for (std::size_t i = 0; values[i]; ++i) {
    char* key = hivex_value_key(h.get(), values[i]);
    hive_type type;
    std::size_t length = 0;
    char* data = hivex_value_value(h.get(), values[i], &type, &length);
    // libhivex's type is an enum that ends at REG_QWORD: a program's own type
    // number is read from its storage as bytes, never as an enum value.
    std::uint32_t number = 0;
    std::memcpy(&number, &type, sizeof number);
    if (key && data && SameName(key, name))
      found.push_back(std::to_string(number) + ":" + std::string(data, length));
    free(key);
    free(data);
  }
  free(values);
  return found;
}

struct Layout {
  std::string root, software, user;
};

const Layout& Installation() {
  static const Layout layout = [] {
    Layout l;
    l.root = fuzz::WorkDir() + "/win";
    l.software = l.root + "/Windows/System32/config/SOFTWARE";
    l.user = l.root + "/Users/ann/NTUSER.DAT";
    return l;
  }();
  return layout;
}

// Lays the installation out afresh: the two hives and the Startup folders the
// seeds name.
void WriteInstallation(const std::string& software, const std::string& user) {
  const Layout& l = Installation();
  std::filesystem::remove_all(l.root);
  for (const char* folder : {"/Windows/System32/config", "/Users/ann/Start Menu/Programs/Startup",
                             "/ProgramData/Microsoft/Windows/Start Menu/Programs/Startup"})
    std::filesystem::create_directories(l.root + folder);
  fuzz::WriteHostFile(l.software, reinterpret_cast<const std::uint8_t*>(software.data()), software.size());
  fuzz::WriteHostFile(l.user, reinterpret_cast<const std::uint8_t*>(user.data()), user.size());
}

// Runs one command on |system| as velmora-cli does; its status, and what it wrote
// to |output| and |errors| where given.
int Run(platform::ManagedSystem& system, const std::vector<std::string>& args, std::string* output = nullptr,
        std::string* errors = nullptr) {
  StartupParameters model(system);
  std::ostringstream out, err;
  const cli::Command* command = cli::FindCommand(args[0]);
  FUZZ_CHECK(command != nullptr);
  const cli::Operands operands(args.begin() + 1, args.end());
  FUZZ_CHECK(command->check(operands).empty());
  if (command->writes == cli::Writes::kNothing) model.SetReadOnly(true);
  int status = command->run(operands, model, out, err);
  FUZZ_CHECK(status == 0 || status == 1);
  if (status != 0) FUZZ_CHECK(!err.str().empty());
  if (output) *output = out.str();
  if (errors) *errors = err.str();
  return status;
}

std::string Listing(platform::ManagedSystem& system) {
  std::string json;
  Run(system, {"list", "--json"}, &json);
  return json;
}

// Runs a command that changes the hives. A failure leaves the installation as it
// was: SOFTWARE byte for byte when the message names it, the listing as before.
// The store lives in the user's hive: a write to it before the failing one is
// undone, which libhivex does not do byte for byte.
int Change(platform::ManagedSystem& system, const std::vector<std::string>& args) {
  const Layout& l = Installation();
  const std::string software = ReadHostFile(l.software), user = ReadHostFile(l.user);
  const std::string listed = args[0] == "add" ? "" : Listing(system);
  std::string errors;
  int status = Run(system, args, nullptr, &errors);
  if (status == 0) return status;
  const bool softwareKept = ReadHostFile(l.software) == software, userKept = ReadHostFile(l.user) == user;
  if (errors.find(l.software) != std::string::npos) FUZZ_CHECK(softwareKept);
  if (args[0] == "add") {
    FUZZ_CHECK(softwareKept && userKept);
  } else if (!softwareKept || !userKept) {
    FUZZ_CHECK(Listing(system) == listed);
  }
  return status;
}

// The first enabled Run entry that may be changed, with its location.
bool FirstChangeableRunEntry(platform::ManagedSystem& system, std::string* name, int* location) {
  StartupParameters model(system);
  cli::ReadModel(model);
  for (int where : {kLmRun, kCuRun}) {
    for (const auto& [key, task] : model.Entries(where)) {
      if (task->enabled && !task->removed && !task->readOnly && !task->name.empty()) {
        *name = task->name;
        *location = where;
        return true;
      }
    }
  }
  return false;
}

// Every hive change is tried first in a forked child, whose page tables the
// kernel copies from this process. libFuzzer's own tables of features (about
// 20 MB, the only mappings of that size) are most of them, and the child, which
// makes one change and ends, never touches them: they are left out of it. Called
// once libFuzzer has made them. Not under AddressSanitizer, whose shadow memory
// the child needs and whose allocator holds the tables.
void LeaveFuzzerTablesOutOfForks() {
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
  return;
#endif
#endif
  static bool done = false;
  if (done) return;
  done = true;
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    unsigned long start = 0, end = 0;
    char permissions[5] = {};
    unsigned long offset = 0, inode = 0;
    char device[16] = {};
    int consumed = 0;
    if (std::sscanf(line.c_str(), "%lx-%lx %4s %lx %15s %lu %n", &start, &end, permissions, &offset, device,
                    &inode, &consumed) < 6)
      continue;
    const bool anonymous = inode == 0 && line.find_first_not_of(' ', consumed) == std::string::npos;
    if (anonymous && std::strcmp(permissions, "rw-p") == 0 && end - start >= (16ul << 20))
      madvise(reinterpret_cast<void*>(start), end - start, MADV_DONTFORK);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  LeaveFuzzerTablesOutOfForks();
  if (size < 4) return 0;
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = std::min<std::size_t>(fuzz::GetU32(input, 0), size - 4);
  std::string software = input.substr(4, split), user = input.substr(4 + split);
  fuzz::SetHiveChecksum(&software);
  fuzz::SetHiveChecksum(&user);
  WriteInstallation(software, user);
  const Layout& l = Installation();
  const bool softwareWhole = ReadsWhole(l.software), userWhole = ReadsWhole(l.user);

  std::unique_ptr<platform::ManagedSystem> system;
  std::string error;
  if (platform::OpenOfflineSystem(l.root, "", &system, &error) != platform::kSuccess) {
    FUZZ_CHECK(!error.empty());
    FUZZ_CHECK(ReadHostFile(l.software) == software && ReadHostFile(l.user) == user);
    return 0;
  }
  Run(*system, {"list", "--json"});
  std::string name;
  int location = -1;
  const bool found = FirstChangeableRunEntry(*system, &name, &location);
  const bool added = Change(*system, {"add", "CU Run", "VelmoraFuzzProbe", kProbeCommand}) == 0;
  std::vector<std::string> before, after;
  bool switched = false;
  if (found) {
    const std::string& hive = location == kLmRun ? l.software : l.user;
    before = RunValues(hive, location == kCuRun, name);
    const std::string where = std::to_string(location);
    if (Change(*system, {"disable", where, name}) == 0) {
      FUZZ_CHECK(RunValues(hive, location == kCuRun, name).empty());
      switched = Change(*system, {"enable", where, name}) == 0;
      after = RunValues(hive, location == kCuRun, name);
    }
  }
  system.reset();

  if (softwareWhole) FUZZ_CHECK(ReadsWhole(l.software));
  if (userWhole) FUZZ_CHECK(ReadsWhole(l.user));
  if (added) {
    std::vector<std::string> probe = RunValues(l.user, true, "VelmoraFuzzProbe");
    FUZZ_CHECK(probe.size() == 1);
    FUZZ_CHECK(probe.front().compare(0, 2, "1:") == 0 || probe.front().compare(0, 2, "2:") == 0);
  }
  if (switched && before.size() == 1) FUZZ_CHECK(after == before);
  return 0;
}
