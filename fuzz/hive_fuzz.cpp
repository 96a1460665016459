// libFuzzer target: binary registry hive bytes through OfflineHive (our calls
// around libhivex), from one scratch file that each run writes again.
//  - whatever opens enumerates (subkeys, values, lookups by name) without a crash;
//  - a hive that opens and may be written takes an edit (a new key with a value,
//    one existing value deleted) and commits; the committed file opens again as
//    the same kind, holds the edit and still holds the root's other keys;
//  - a commit that fails leaves the file byte for byte as it was.
// The header checksum of the input is set right before it is written, so that the
// mutations reach libhivex instead of stopping at the checksum.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/text.h"
#include "fuzz/fuzz_support.h"
#include "platform/posix/offline_hive.h"

using platform::posix::OfflineHive;
using platform::posix::OfflineValue;

namespace {

constexpr std::size_t kVisitBudget = 4000;  // key nodes and values read per input

const std::string& HiveFolder() {
  static const std::string folder = [] {
    std::string path = velmora::fuzz::WorkDir() + "/config";
    if (mkdir(path.c_str(), 0755) != 0) abort();
    return path;
  }();
  return folder;
}

// Removes what a commit leaves beside the hive (dated copies, a new file).
void ClearFolder() {
  if (DIR* dir = opendir(HiveFolder().c_str())) {
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") unlink((HiveFolder() + "/" + name).c_str());
    }
    closedir(dir);
  }
}

// Walks every key below |path| within the budget, reading names and values the
// ways the registry functions do.
void Walk(const OfflineHive& hive, std::vector<std::string>* path, std::size_t* budget) {
  if (*budget == 0 || path->size() > 32) return;
  --*budget;
  std::size_t node = hive.Find(*path);
  if (!node) return;  // a name that does not find its own key (duplicates, odd bytes)
  std::vector<OfflineValue> values = hive.Values(node);
  const std::vector<OfflineValue>& cached = hive.CachedValues(node);
  FUZZ_CHECK(cached.size() == values.size());
  *budget -= std::min(*budget, values.size());
  for (const std::string& name : hive.SubkeyNames(node)) {
    if (*budget == 0) return;
    path->push_back(name);
    Walk(hive, path, budget);
    path->pop_back();
  }
}

bool HasValue(const std::vector<OfflineValue>& values, const OfflineValue& wanted) {
  return std::any_of(values.begin(), values.end(), [&](const OfflineValue& v) {
    return v.name == wanted.name && v.type == wanted.type && v.data == wanted.data;
  });
}

bool HasValueNamed(const std::vector<OfflineValue>& values, const std::string& name) {
  return std::any_of(values.begin(), values.end(),
                     [&](const OfflineValue& v) { return velmora::EqualsIgnoreCase(v.name, name); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  velmora::fuzz::SetHiveChecksum(&bytes);
  ClearFolder();
  const std::string path = HiveFolder() + "/SOFTWARE";
  velmora::fuzz::WriteHostFile(path, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());

  OfflineHive hive;
  OfflineHive::Kind kind = OfflineHive::Kind::kSoftware;
  std::string error;
  if (!hive.Open(path, kind, &error)) {
    FUZZ_CHECK(!error.empty());
    kind = OfflineHive::Kind::kUser;
    error.clear();
    if (!hive.Open(path, kind, &error)) {
      FUZZ_CHECK(!error.empty());
      return 0;
    }
  }
  std::vector<std::string> walked;
  std::size_t budget = kVisitBudget;
  Walk(hive, &walked, &budget);
  if (!hive.WriteRefusal().empty()) return 0;

  // The edit: a new key with a value below the root, and the first value of the
  // root's first subkey deleted.
  const std::vector<std::string> rootKeys = hive.SubkeyNames(hive.Find({}));
  const OfflineValue probe{"Probe", 1, std::string("v\0e\0l\0\0\0", 8)};
  std::size_t created = hive.Create({"VelmoraFuzzProbe"});
  if (!created || !hive.SetValue(created, probe)) {
    hive.Discard();
    return 0;
  }
  std::string deletedName;
  std::vector<std::string> deletedIn;
  if (!rootKeys.empty()) {
    deletedIn = {rootKeys.front()};
    std::size_t first = hive.Find(deletedIn);
    std::vector<OfflineValue> values = first ? hive.Values(first) : std::vector<OfflineValue>();
    // Only a name that stands for one value: deleting it then removes exactly that one.
    if (!values.empty() && std::count_if(values.begin(), values.end(), [&](const OfflineValue& v) {
                             return velmora::EqualsIgnoreCase(v.name, values.front().name);
                           }) == 1) {
      if (hive.DeleteValue(first, values.front().name)) deletedName = values.front().name;
    }
  }

  if (hive.Commit() != platform::kSuccess) {
    FUZZ_CHECK(velmora::fuzz::ReadHostFile(path) == bytes);  // a failed write leaves the old hive
    return 0;
  }
  OfflineHive again;
  FUZZ_CHECK(again.Open(path, kind, &error));
  FUZZ_CHECK(again.WriteRefusal().empty());
  std::size_t node = again.Find({"VelmoraFuzzProbe"});
  FUZZ_CHECK(node != 0);
  FUZZ_CHECK(HasValue(again.Values(node), probe));
  if (!deletedName.empty()) {
    std::size_t first = again.Find(deletedIn);
    FUZZ_CHECK(first != 0);
    FUZZ_CHECK(!HasValueNamed(again.Values(first), deletedName));
  }
  std::vector<std::string> keysAfter = again.SubkeyNames(again.Find({}));
  for (const std::string& name : rootKeys)
    FUZZ_CHECK(std::find(keysAfter.begin(), keysAfter.end(), name) != keysAfter.end());
  return 0;
}
