// A Wine prefix as the managed system: system.reg is HKEY_LOCAL_MACHINE, user.reg
// HKEY_CURRENT_USER, the dosdevices folder maps the drives.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/posix/host_system.h"
#include "platform/status.h"

namespace platform {

namespace posix {

struct HiveFile;

class WinePrefix : public HostSystem {
 public:
  // The prefix in the host folder |dir|; "" chooses it on Prepare: WINEPREFIX when
  // set (created when missing), else ~/.wine when it holds a registry, else the
  // program's own under $XDG_DATA_HOME/velmora/prefix (created when missing). A
  // created prefix is a minimal Windows XP one that Wine itself can boot later.
  explicit WinePrefix(std::string dir = "");
  ~WinePrefix() override;

  Status Prepare() override;
  std::string Name() const override;
  std::string Location() const override { return Dir(); }
  std::string ReadMayLag() override;
  bool IsWinePrefix() const override { return true; }
  bool Has32BitView() override;
  WriteRefusal CheckWritesAllowed(bool machineHive) override;
  std::vector<ProcessEntry> ListProcesses() override;
  void PreloadRegistry() override;
  void ForgetRegistry() override;
  std::string UserName() override;
  std::string ProfilePath() override;

  // Host folder of the prefix (empty before Prepare succeeded).
  std::string Dir() const;
  // True when a wineserver currently runs for the prefix; |pid| receives its id.
  bool WineServerRunning(int* pid = nullptr) const;
  // Forgets the chosen folder and the hives read; the next use chooses again.
  // Open keys stay valid (tests switch prefixes under them).
  void ForgetChoice();

  Status OpenKey(HKey root, const std::string& subKey, std::uint32_t access, HKey* result) override;
  Status CreateKey(HKey root, const std::string& subKey, HKey* result) override;
  Status EnumValue(HKey key, std::uint32_t index, char* name, std::uint32_t* nameSize, std::uint32_t* type,
                   std::uint8_t* data, std::uint32_t* dataSize) override;
  Status ReadValues(HKey key, std::uint32_t maxName, std::uint32_t maxData,
                    std::vector<RegistryValue>* values, std::uint32_t* skipped) override;
  Status QueryValue(HKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                    std::uint32_t* dataSize) override;
  Status SetValue(HKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                  std::uint32_t dataSize) override;
  Status DeleteValue(HKey key, const std::string& name) override;
  Status QueryStoredValue(HKey key, const std::string& name, std::uint32_t* type,
                          std::string* bytes) override;
  Status SetStoredValue(HKey key, const std::string& name, std::uint32_t type,
                        const std::string& bytes) override;
  Status EnumKey(HKey key, std::uint32_t index, char* name, std::uint32_t size) override;
  Status DeleteTree(HKey root, const std::string& subKey) override;

 protected:
  std::string DriveHostRoot(char letter) override;

 private:
  struct Opened;
  Status PrepareLocked();
  Status OpenHive(int hive, HiveFile** result);
  HiveFile& HiveSlot(int hive);  // the lock is held and the prefix prepared
  Status OpenKeyOf(HKey key, Opened* opened);
  // SetValue's write of |stored| (bytes as the hive holds them); the lock is held.
  Status SetStored(HKey key, const std::string& name, std::uint32_t type, std::string stored);
  Status CheckWrite(const HiveFile& file);

  mutable std::recursive_mutex mutex_;
  std::string requestedDir_;
  std::string dir_;
  std::string user_;
  // By hive: the machine's file and the user's, in the folder |dir_|.
  std::unique_ptr<HiveFile> files_[2];
};

}  // namespace posix

// |system| as a Wine prefix; null when it is none.
posix::WinePrefix* AsPrefix(ManagedSystem& system);
// The folder and the user of |system| ("" when it is no prefix), and whether its
// wineserver runs.
std::string PrefixDir(ManagedSystem& system);
std::string PrefixUserName(ManagedSystem& system);
bool WineServerRunning(ManagedSystem& system, int* pid = nullptr);

// Creates a minimal Windows XP prefix in |hostDir| (which may exist and be empty).
Status CreateMinimalPrefix(const std::string& hostDir);

}  // namespace platform
