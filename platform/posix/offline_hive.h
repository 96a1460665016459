// One binary registry hive (regf) of an offline Windows installation, read and
// written through libhivex.
//
// Reading needs a hive whose header and bins check out. Writing needs more: a
// hive that was written completely (its two sequence numbers agree; otherwise
// changes still wait in its transaction logs, which libhivex does not replay),
// on a writable file system, in a file and folder this user may write. Before
// the first write a dated copy of the hive and its transaction logs is kept
// beside it. Every write goes to a new file in the same folder, is opened again
// by libhivex, and only then renamed over the hive.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/status.h"

struct hive_h;

namespace platform::posix {

struct OfflineValue {
  std::string name;  // UTF-8
  std::uint32_t type = 0;
  std::string data;  // bytes as the hive holds them (UTF-16LE for strings)
};

class OfflineHive {
 public:
  enum class Kind { kSoftware, kUser, kSystem };

  OfflineHive() = default;
  ~OfflineHive();
  OfflineHive(const OfflineHive&) = delete;
  OfflineHive& operator=(const OfflineHive&) = delete;

  // Opens and checks the hive; false with a message naming the file.
  bool Open(const std::string& hostPath, Kind kind, std::string* error);
  const std::string& path() const { return path_; }
  bool IsOpen() const { return hive_ != nullptr; }
  bool dirty() const { return dirty_; }

  // Why the hive must not be written now; "" when it may be.
  std::string WriteRefusal() const;

  // Key nodes by path below the hive's root (components compare without regard
  // to case); 0 when missing.
  std::size_t Find(const std::vector<std::string>& path) const;
  std::vector<std::string> SubkeyNames(std::size_t node) const;
  std::vector<OfflineValue> Values(std::size_t node) const;
  // Values(node), read once until the next change, so that enumerating a key
  // value by value stays linear.
  const std::vector<OfflineValue>& CachedValues(std::size_t node) const;

  // Changes in memory; Commit writes them. The callers check WriteRefusal first.
  // A change libhivex could not make on a damaged hive fails, and Damage() says
  // why (until the next change); the hive in memory is then as it was.
  std::size_t Create(const std::vector<std::string>& path);
  bool SetValue(std::size_t node, const OfflineValue& value);
  bool DeleteValue(std::size_t node, const std::string& name);
  bool DeleteKey(std::size_t node);

  // Writes the hive safely (see above). On failure the changes in memory are
  // dropped (the hive is read again from its file) and LastErrorDetail says why.
  Status Commit();
  const std::string& Damage() const { return damage_; }
  // Drops the changes in memory: the hive is read again from its file.
  void Discard();

  // The dated copies made before the first write of this run.
  const std::vector<std::string>& backups() const { return backups_; }

  // Called by this hive's Commit between the check of the new file and its
  // rename (tests end the process there to show that a crash leaves the old hive
  // whole).
  void SetBeforeRename(std::function<void(const std::string& newFile)> hook) {
    beforeRename_ = std::move(hook);
  }

 private:
  bool Load(std::string* error);
  void Close();
  Status Backup();
  bool Survives(const std::function<bool()>& change);

  std::string path_;
  Kind kind_ = Kind::kSoftware;
  hive_h* hive_ = nullptr;
  bool dirty_ = false;
  bool backedUp_ = false;
  std::vector<std::string> backups_;
  std::string damage_;
  std::function<void(const std::string&)> beforeRename_;
  mutable std::size_t cachedNode_ = 0;  // 0: nothing cached
  // UnreadableKey() of the hive as loaded, found on the first WriteRefusal.
  mutable bool unreadableChecked_ = false;
  mutable std::string unreadable_;
  mutable std::vector<OfflineValue> cachedValues_;
};

// Writability of a host file or folder from its permission bits (root included:
// a hive made read-only stays read-only for the program) and its file system.
// "" when writable, else the reason.
std::string OfflineWriteProblem(const std::string& hostPath);

}  // namespace platform::posix
