// The Windows system the program manages, as one object: a Wine prefix, an
// offline installation or the live Windows the program runs on. Every system
// owns its registry handles, its caches and the files it found; two systems can
// be open side by side, and each may be read from several threads.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/startup.h"
#include "platform/status.h"
#include "platform/system.h"

namespace platform {

class ManagedSystem;

// What a registry key handle holds: the system it belongs to and the key in it.
struct RegistryKeyHandle {
  ManagedSystem* system = nullptr;
  int hive = 0;  // kMachineHive or kUserHive
  std::vector<std::u16string> path;
  bool writable = true;
  bool predefined = false;    // a root: never closed
  std::uintptr_t native = 0;  // the live Windows' own key
};

constexpr int kMachineHive = 0;
constexpr int kUserHive = 1;
// Access bits that ask for more than reading.
constexpr std::uint32_t kWriteAccess = 0x0002 | 0x0004 | 0x0020 | 0x10000 | 0x40000 | 0x80000 | 0x40000000;

// The open keys of one system. A closed handle's memory stays with the table
// (and is used again), so that closing it twice is told apart as kInvalidHandle.
class KeyTable {
 public:
  explicit KeyTable(ManagedSystem* system);
  KeyTable(const KeyTable&) = delete;
  KeyTable& operator=(const KeyTable&) = delete;

  HKey Root(int hive) { return &roots_[hive]; }
  HKey Add(int hive, std::vector<std::u16string> path, bool writable, std::uintptr_t native = 0);
  // The handle when |key| is a root or an open key of this table; else null.
  RegistryKeyHandle* Resolve(HKey key);
  // Closes an open key; *native receives the live Windows' key to close.
  Status Close(HKey key, std::uintptr_t* native = nullptr);

 private:
  std::mutex mutex_;
  RegistryKeyHandle roots_[2];
  std::vector<std::unique_ptr<RegistryKeyHandle>> pool_;
  std::vector<RegistryKeyHandle*> free_;
  std::unordered_set<RegistryKeyHandle*> open_;
};

// Copies |name| and its zero into |buffer| of *size characters; *size receives
// its length. kMoreData when it does not fit.
Status CopyRegistryName(const std::string& name, char* buffer, std::uint32_t* size);
// |base| followed by the parts of the backslash-separated |subKey|.
std::vector<std::u16string> JoinKeyPath(const std::vector<std::u16string>& base, const std::string& subKey);
// Copies |bytes| out as the registry's buffer protocol wants: kMoreData (and the
// needed size) when |data| is too small; |data| may be null to ask for the size.
Status CopyRegistryData(const std::string& bytes, std::uint8_t* data, std::uint32_t* dataSize);

class ManagedSystem {
 public:
  ManagedSystem();
  virtual ~ManagedSystem();
  ManagedSystem(const ManagedSystem&) = delete;
  ManagedSystem& operator=(const ManagedSystem&) = delete;

  // Predefined roots of this system's registry. They need not be closed.
  HKey LocalMachine() { return keys_.Root(kMachineHive); }
  HKey CurrentUser() { return keys_.Root(kUserHive); }

  // Makes the system usable before anything is read from it (a Wine prefix is
  // chosen, and made when missing). On failure LastErrorDetail() says why.
  virtual Status Prepare() { return kSuccess; }
  // The system as a message names it, for example "the Wine prefix /home/u/.wine".
  virtual std::string Name() const = 0;
  // The host folder of the system (a prefix's, an installation's root); "" for
  // the Windows the program runs on.
  virtual std::string Location() const { return ""; }
  // Why what is read may lag what the system holds now; "" when it does not.
  virtual std::string ReadMayLag() { return ""; }
  // True when Wine boots the system (fewer locations start than on Windows).
  virtual bool IsWinePrefix() const = 0;
  // True when this program runs on the system and may start with it; false for an
  // installation examined from outside.
  virtual bool RunsThisProgram() const { return true; }
  // True when the machine keeps a 32-bit registry view (Software\Wow6432Node)
  // beside its own.
  virtual bool Has32BitView() = 0;
  // Why changes cannot be written now; |machineHive| when a machine key changes too.
  virtual WriteRefusal CheckWritesAllowed(bool machineHive) = 0;
  // The same for a change of a service, which writes where the system keeps its
  // services (an offline installation's SYSTEM hive) besides the user's keys.
  virtual WriteRefusal CheckServiceWritesAllowed() { return CheckWritesAllowed(true); }
  // Host paths of copies of registry files kept before this run's first write.
  virtual std::vector<std::string> HiveBackups() const { return {}; }
  // GetVersionExA as programs of the system see it. False (with platformId 0)
  // when the system holds no version that can be read as a number.
  virtual bool QueryVersion(OsVersionInfo* info) = 0;
  // True when the system honours the marks its own startup manager leaves under
  // ...\Explorer\StartupApproved (Windows 8 and later). Wine ignores them, so a
  // Wine prefix, and a Windows program running under Wine, never do.
  virtual bool KeepsStartupApproved() = 0;
  // Reads what a first look at the registry needs, the files side by side where
  // there are several. What cannot be read is reported when a key is opened.
  virtual void PreloadRegistry() {}
  // Lets go of the registry read so far (it is read again when next asked for):
  // a caller done with this system for a while keeps no megabytes of it.
  virtual void ForgetRegistry() {}
  // Every process of the system, in process-id order.
  virtual std::vector<ProcessEntry> ListProcesses() = 0;
  // Lets ListProcesses take the processes from |table| instead of reading the
  // host's process table each time; set before the system is read from other threads.
  void ShareProcessTable(std::shared_ptr<const HostProcessTable> table) { processTable_ = std::move(table); }
  // The table given to ShareProcessTable; null when none was.
  std::shared_ptr<const HostProcessTable> SharedProcessTable() const { return processTable_; }
  // Windows path of the common (|common|) or the user's Startup folder when the
  // system decides it itself; "" when the Shell Folders values name it, as on a
  // system whose user's session keeps them current.
  virtual std::string StartupFolder(bool common) { return ""; }
  // The user whose profile the system shows, and the profile's Windows path.
  virtual std::string UserName() = 0;
  virtual std::string ProfilePath() = 0;

  // Host path of a Windows path and back (the same path on the live Windows).
  virtual std::string HostPathFromWindows(const std::string& windowsPath) = 0;
  virtual std::string WindowsPathFromHost(const std::string& hostPath) = 0;

  // The registry operations behind reg::, on keys of this system.
  virtual Status OpenKey(HKey root, const std::string& subKey, std::uint32_t access, HKey* result) = 0;
  virtual Status CreateKey(HKey root, const std::string& subKey, HKey* result) = 0;
  virtual Status CloseKey(HKey key) { return keys_.Close(key); }
  virtual Status EnumValue(HKey key, std::uint32_t index, char* name, std::uint32_t* nameSize,
                           std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) = 0;
  // Every value of |key| in value order, each whole as EnumValue gives it,
  // appended to |values| in one walk of the key. A value whose name has |maxName|
  // characters or more, or whose data is longer than |maxData| bytes, is left out
  // and counted in |*skipped|. kNotSupported where the system has no such walk:
  // the caller then enumerates by index.
  virtual Status ReadValues(HKey key, std::uint32_t maxName, std::uint32_t maxData,
                            std::vector<RegistryValue>* values, std::uint32_t* skipped) {
    (void)key, (void)maxName, (void)maxData, (void)values, (void)skipped;
    return kNotSupported;
  }
  virtual Status QueryValue(HKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                            std::uint32_t* dataSize) = 0;
  virtual Status SetValue(HKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                          std::uint32_t dataSize) = 0;
  virtual Status DeleteValue(HKey key, const std::string& name) = 0;
  virtual Status QueryStoredValue(HKey key, const std::string& name, std::uint32_t* type,
                                  std::string* bytes) = 0;
  virtual Status SetStoredValue(HKey key, const std::string& name, std::uint32_t type,
                                const std::string& bytes) = 0;
  virtual Status EnumKey(HKey key, std::uint32_t index, char* name, std::uint32_t size) = 0;
  virtual Status DeleteTree(HKey root, const std::string& subKey) = 0;

  // The path under HKEY_LOCAL_MACHINE of the services key:
  // "System\CurrentControlSet\Services" where the system has that key; else that
  // of the control set CurrentControlSet links to, or that System\Select names as
  // current (an offline SYSTEM hive has no CurrentControlSet).
  std::string ServicesKeyPath();
  // Every service and driver the system knows, in the order it lists them. Here
  // the subkeys of the services key; the live Windows asks its service manager.
  // False when the services cannot be read.
  virtual bool ListServices(std::vector<ServiceRecord>* services);
  // The service |name| as ListServices gives it; false when there is none.
  virtual bool QueryService(const std::string& name, ServiceRecord* service);

  // Sets the start of the service |name| through the system's service manager, so
  // that a running system knows at once: |start| its start number, |delayed| its
  // delayed-start flag (0 or 1; -1 leaves it). kNotSupported where the system has
  // no running service manager (a prefix or an installation seen from outside):
  // its registry is then all there is.
  virtual Status ChangeServiceStart(const std::string& name, std::uint32_t start, int delayed) {
    (void)name;
    (void)start;
    (void)delayed;
    return kNotSupported;
  }

 protected:
  // The host's process table: the shared one, else a fresh reading.
  std::shared_ptr<const HostProcessTable> ProcessTable() const {
    return processTable_ ? processTable_ : HostProcessTable::Read();
  }

  KeyTable keys_;

 private:
  std::shared_ptr<const HostProcessTable> processTable_;
};

// The system of this build when no other is chosen: on Linux the Wine prefix
// that WINEPREFIX names (or ~/.wine, or the program's own), not yet prepared; on
// Windows the live system.
std::unique_ptr<ManagedSystem> DefaultSystem();
// An offline Windows installation whose drive C: is the host folder |hostRoot|:
// HKEY_LOCAL_MACHINE\Software is its Windows\System32\config\SOFTWARE,
// HKEY_CURRENT_USER the NTUSER.DAT of |userName| (under Users or Documents and
// Settings). An empty |userName| picks the one user profile with a hive; none or
// several is an error that lists them. Without success |system| is left alone and
// |error| says why, naming the file.
Status OpenOfflineSystem(const std::string& hostRoot, const std::string& userName,
                         std::unique_ptr<ManagedSystem>* system, std::string* error);

}  // namespace platform
