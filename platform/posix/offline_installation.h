// An offline Windows installation as the managed system: the SOFTWARE hive is
// HKEY_LOCAL_MACHINE\Software (its Wow6432Node key holds the 32-bit view), the
// chosen user's NTUSER.DAT is HKEY_CURRENT_USER, drive C: is the installation's
// root folder and Z: the host's root.
//
// Keys open for any access, so that a hive that must not be written is still
// listed; each change is refused with a message saying why (a hive with changes
// waiting in its logs, a read-only mount, missing permissions) and is otherwise
// written through before the call returns.
#pragma once

#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

#include "platform/posix/host_system.h"
#include "platform/posix/offline_hive.h"

namespace platform::posix {

class OfflineInstallation : public HostSystem {
 public:
  OfflineInstallation(std::string root, std::string userName, std::string profilePath);

  // Opens the two hives; false with |error| set when one cannot be read.
  bool OpenHives(const std::string& softwareHive, const std::string& userHive, std::string* error);
  // The SYSTEM hive beside SOFTWARE (the services): optional, as the startup
  // locations do not need it; a hive that does not open leaves System missing.
  void OpenSystemHive(const std::string& systemHive);

  std::string Name() const override;
  std::string Location() const override { return root_; }
  bool IsWinePrefix() const override { return false; }
  bool RunsThisProgram() const override { return false; }
  bool Has32BitView() override;
  WriteRefusal CheckWritesAllowed(bool machineHive) override;
  WriteRefusal CheckServiceWritesAllowed() override;
  std::vector<std::string> HiveBackups() const override;
  std::vector<ProcessEntry> ListProcesses() override { return {}; }  // nothing of it runs
  std::string UserName() override { return userName_; }
  std::string ProfilePath() override { return profilePath_; }
  // From User Shell Folders, as Windows makes the folders at logon: the Shell
  // Folders values are a cache that may name another profile (one renamed or
  // copied). A folder without a value is Windows' default.
  std::string StartupFolder(bool common) override;
  const std::string& Root() const { return root_; }

  Status OpenKey(HKey root, const std::string& subKey, std::uint32_t access, HKey* result) override;
  Status CreateKey(HKey root, const std::string& subKey, HKey* result) override;
  Status EnumValue(HKey key, std::uint32_t index, char* name, std::uint32_t* nameSize, std::uint32_t* type,
                   std::uint8_t* data, std::uint32_t* dataSize) override;
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
  struct Located;
  // The first refusal of |hives|, the lock held.
  static WriteRefusal FirstRefusal(std::initializer_list<const OfflineHive*> hives);
  Status Place(int hive, const std::vector<std::u16string>& fullPath, Located* where);
  Status Open(HKey key, Located* where, std::size_t* node);
  // SetValue's write of |value| (bytes as the hive holds them); the lock is held.
  Status SetStored(HKey key, OfflineValue value);

  std::recursive_mutex mutex_;
  std::string root_;  // host folder that is drive C:
  std::string userName_;
  std::string profilePath_;  // Windows path of the user's profile folder
  OfflineHive software_;     // HKEY_LOCAL_MACHINE\Software
  OfflineHive user_;         // HKEY_CURRENT_USER
  OfflineHive system_;       // HKEY_LOCAL_MACHINE\System, when the SYSTEM hive opens
};

// Looks |name| up in the host folder |folder| as NTFS does: the exact name,
// else the entry that differs only in letter case. "" when there is none.
std::string FindEntryIgnoringCase(const std::string& folder, const std::string& name);

}  // namespace platform::posix
