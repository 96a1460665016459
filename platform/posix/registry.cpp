// The registry over the prefix's hive files: system.reg is HKEY_LOCAL_MACHINE,
// user.reg HKEY_CURRENT_USER.
//
// A hive is read once and read again whenever its file changed on disk. Every
// change is written through at once: the whole file goes to a temporary file
// beside it, is flushed and renamed over the old one. A file that could not be
// parsed is never written, and nothing is written while a wineserver owns the
// prefix's registry.
#include "platform/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_set>

#include "base/path.h"
#include "base/utf16.h"
#include "formats/registry_hive.h"
#include "platform/posix/hive_index_store.h"
#include "platform/posix/host_file.h"
#include "platform/posix/path_util.h"
#include "platform/posix/prefix.h"
#include "platform/posix/registry_handle.h"
#include "platform/posix/unique_fd.h"
#include "platform/processor_pin.h"

namespace platform {

namespace {

using formats::Hive;
using formats::HiveNode;
using formats::HiveValue;
using posix::IsStringType;

}  // namespace

namespace posix {

struct HiveFile {
  std::string path;
  int hive = 0;
  bool loaded = false;
  bool exists = false;
  bool bad = false;
  std::string badDetail;
  // Its status when last read or written: its change time moves on with every
  // write, even one that puts the modification time back.
  struct stat version {};
  Hive model;
  // The path look-up generation in which the file was last checked: within it
  // (one pass of a scan) it is not checked again for every key opened.
  std::uint64_t checkedIn = 0;
  // Whether its permission bits let the program write it, from the status read
  // when it was last checked.
  bool permitsWrite = false;
};

}  // namespace posix

namespace {

using posix::HiveFile;

// Value data as the A-functions hand it out: strings as 8-bit text ending in a zero.
std::string ApiData(const HiveValue& value) {
  if (!IsStringType(value.type)) return value.data;
  const std::size_t units = value.data.size() / 2;
  const char* bytes = value.data.data();
  // ASCII, as nearly every string is: each unit's low byte, narrowed as it is
  // checked, four units at a step, into room for the zero added at the end.
  constexpr std::uint64_t kAboveAscii = 0xFF80FF80FF80FF80ull;
  std::string text(units + 1, '\0');
  char* to = text.data();
  std::size_t ascii = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (std::uint64_t four; ascii + 4 <= units; ascii += 4) {
      std::memcpy(&four, bytes + 2 * ascii, sizeof four);
      if (four & kAboveAscii) break;
      four = (four | four >> 8) & 0x0000FFFF0000FFFFull;
      four = (four | four >> 16) & 0x00000000FFFFFFFFull;
      const std::uint32_t narrowed = static_cast<std::uint32_t>(four);
      std::memcpy(to + ascii, &narrowed, sizeof narrowed);
    }
  }
  for (; ascii < units && bytes[2 * ascii + 1] == 0 && static_cast<unsigned char>(bytes[2 * ascii]) < 0x80;
       ++ascii)
    to[ascii] = bytes[2 * ascii];
  if (ascii == units) {
    // The zero of the stored text ends it; else the one made room for.
    if (units > 0 && text[units - 1] == '\0') text.resize(units);
    return text;
  }
  text = velmora::Utf8FromLittleEndian(reinterpret_cast<const std::uint8_t*>(bytes), units);
  if (text.empty() || text.back() != '\0') text.push_back('\0');
  return text;
}

// A name as the A-functions hand it out: ASCII, as nearly every name is, unit by
// unit, without the general conversion.
std::string NameText(const std::u16string& name) {
  std::string text(name.size(), '\0');
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] >= 0x80) return velmora::Utf8FromUtf16(name);
    text[i] = static_cast<char>(name[i]);
  }
  return text;
}

// Value data as the registry holds it: strings as UTF-16LE ending in a zero.
std::string StoredData(std::uint32_t type, const std::uint8_t* data, std::uint32_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (!IsStringType(type)) return bytes;
  std::u16string units = velmora::Utf16FromUtf8(bytes);
  if (units.empty() || units.back() != u'\0') units.push_back(u'\0');
  std::string stored;
  stored.reserve(units.size() * 2);
  for (char16_t u : units) {
    stored.push_back(static_cast<char>(u & 0xFF));
    stored.push_back(static_cast<char>(u >> 8));
  }
  return stored;
}

std::string HeaderFor(int hive, const std::string& prefix) {
  // The new file's architecture follows the other hive of the prefix.
  std::string arch = "win64";
  std::string sibling = prefix + (hive == kMachineHive ? "/user.reg" : "/system.reg");
  posix::UniqueFd fd(open(sibling.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd) {
    char head[512];
    ssize_t n = read(fd.get(), head, sizeof head);
    fd.reset();
    if (n > 0 &&
        std::string_view(head, static_cast<std::size_t>(n)).find("\n#arch=win32") != std::string_view::npos)
      arch = "win32";
  }
  std::string branch =
      hive == kMachineHive ? "REGISTRY\\\\Machine" : "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000";
  return "WINE REGISTRY Version 2\n;; All keys relative to " + branch + "\n\n#arch=" + arch + "\n";
}

bool InGroup(gid_t gid) {
  if (getegid() == gid) return true;
  gid_t groups[NGROUPS_MAX];
  int count = getgroups(NGROUPS_MAX, groups);
  return count > 0 && std::find(groups, groups + count, gid) != groups + count;
}

// Writability from the permission bits alone, for every user root included:
// a hive file made read-only stays read-only for the program.
bool PermitsWrite(const struct stat& st) {
  if (st.st_uid == geteuid()) return (st.st_mode & S_IWUSR) != 0;
  if (InGroup(st.st_gid)) return (st.st_mode & S_IWGRP) != 0;
  return (st.st_mode & S_IWOTH) != 0;
}

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

bool Writable(const HiveFile& file) {
  struct stat st;
  if (stat(file.path.c_str(), &st) == 0) return PermitsWrite(st);
  return stat(FolderOf(file.path).c_str(), &st) == 0 && PermitsWrite(st);
}

bool SameIdentity(const HiveFile& file, const struct stat& st) {
  return file.exists && posix::SameFileVersion(file.version, st);
}

void Remember(HiveFile* file, const struct stat& st) {
  file->exists = true;
  file->version = st;
}

// Writable, answered from the last check of the file while that check holds (a
// key opened for every location of a pass does not ask again); a change itself
// asks the file system (CheckWrite).
bool WritableAsChecked(const HiveFile& file, std::uint64_t generation) {
  if (generation != 0 && file.checkedIn == generation && file.exists) return file.permitsWrite;
  return Writable(file);
}

// A name in UTF-16 for looking it up: an ASCII name, as nearly every one is,
// widened into |room| without an allocation; any other through |spare|.
class LookupName {
 public:
  explicit LookupName(std::string_view name) {
    if (name.size() <= sizeof room_ / sizeof room_[0] &&
        std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
      std::copy(name.begin(), name.end(), room_);
      units_ = std::u16string_view(room_, name.size());
    } else {
      spare_ = velmora::Utf16FromUtf8(name);
      units_ = spare_;
    }
  }
  LookupName(const LookupName&) = delete;
  LookupName& operator=(const LookupName&) = delete;
  std::u16string_view units() const { return units_; }

 private:
  char16_t room_[64];
  std::u16string spare_;
  std::u16string_view units_;
};

// The key |subKey| names below |node|, null when there is none: its names
// between backslashes, empty ones skipped, as JoinKeyPath takes them. A key
// that is missing is known so without building its path.
HiveNode* FindBelow(HiveNode* node, std::string_view subKey) {
  for (std::size_t start = 0; node && start <= subKey.size();) {
    std::size_t cut = subKey.find('\\', start);
    if (cut == std::string_view::npos) cut = subKey.size();
    if (cut > start) node = node->Child(LookupName(subKey.substr(start, cut - start)).units());
    start = cut + 1;
  }
  return node;
}

Status Fail(Status status, std::string detail) {
  SetLastErrorDetail(std::move(detail));
  return status;
}

// Runs |other| on a thread of its own beside |mine|; one after the other when no
// thread can be had. The thread is the second helper of PreloadRegistry.
void RunOnThread(const std::function<void()>& other, const std::function<void()>& mine) {
  std::thread thread;
  try {
    thread = std::thread([&other] {
      const ProcessorPin pin(HelperSlot(1));
      other();
    });
  } catch (const std::system_error&) {
    other();
    mine();
    return;
  }
  try {
    mine();
  } catch (...) {
    thread.join();
    throw;
  }
  thread.join();
}

// Brings the model up to date with the file on disk; with |runBeside|, a large
// file's check runs in two parts at once.
Status Refresh(HiveFile* file, const std::string& prefix, formats::RunBeside runBeside = nullptr) {
  struct stat st;
  if (stat(file->path.c_str(), &st) != 0) {
    int error = errno;
    if (error != ENOENT)
      return Fail(posix::StatusFromErrno(error),
                  "cannot read the registry file " + file->path + ": " + std::strerror(error));
    // No file yet: an empty hive, written when something is stored in it.
    if (!file->loaded || file->exists) {
      file->model.Reset(HeaderFor(file->hive, prefix));
      file->exists = false;
      file->bad = false;
      file->loaded = true;
    }
    return kSuccess;
  }
  if (file->loaded && SameIdentity(*file, st)) {
    file->permitsWrite = PermitsWrite(st);
    return kSuccess;
  }

  std::string text;
  struct stat opened;
  posix::HostReadFailure failure;
  timespec readStarted{};
  clock_gettime(CLOCK_REALTIME, &readStarted);
  if (!posix::ReadHostFile(file->path, &text, &failure, &opened)) {
    file->loaded = false;
    Status status =
        std::string_view(failure.step) == "open" ? posix::StatusFromErrno(failure.error) : kAccessDenied;
    return Fail(status, "cannot read the registry file " + file->path + ": " + std::strerror(failure.error));
  }
  formats::HiveParseError parseError;
  // A large file checked before and unchanged since is taken as that check found
  // it; one checked now has what the check found kept for the next read.
  const std::size_t size = text.size();
  formats::HiveIndex index;
  if (size >= posix::kIndexedFileFrom && posix::LoadKeptHiveIndex(file->path, opened, text, &index)) {
    file->model.AdoptChecked(std::move(text), std::move(index));
    file->bad = false;
  } else {
    const bool keep = size >= posix::kIndexedFileFrom && posix::SettledForIndex(opened, readStarted);
    file->bad = !file->model.ParseOwned(std::move(text), &parseError, runBeside, keep ? &index : nullptr);
    if (keep && !file->bad) posix::KeepHiveIndex(file->path, opened, readStarted, index, size);
  }
  file->badDetail = file->bad ? "the registry file " + file->path + " could not be read (line " +
                                    std::to_string(parseError.line) + ": " + parseError.message +
                                    "); it is left untouched"
                              : std::string();
  Remember(file, opened);
  file->permitsWrite = PermitsWrite(opened);
  file->loaded = true;
  return kSuccess;
}

// Writes the model to its file: a temporary file in the same folder, flushed,
// then renamed over the old one.
Status Commit(HiveFile* file) {
  std::string target = file->path;
  struct stat old;
  if (lstat(target.c_str(), &old) == 0 && S_ISLNK(old.st_mode)) {
    // Keep the link: rewrite the file it points at.
    char* real = realpath(target.c_str(), nullptr);
    if (real) {
      target = real;
      std::free(real);
    }
  }
  std::string text = file->model.Serialize();
  // A file that would not read back is never written: Wine would lose the hive.
  formats::HiveParseError readBack;
  if (!formats::CheckRegistryText(text, &readBack)) {
    file->loaded = false;  // the change stays out of the model too
    return Fail(kBadRegistryFile,
                "the registry file " + file->path + " would not read back after the change (line " +
                    std::to_string(readBack.line) + ": " + readBack.message + "); it is unchanged");
  }
  posix::AtomicWriteFailure failure;
  struct stat st;
  if (!posix::WriteFileAtomically(target, text, true, &failure, &st, 0666)) {
    file->loaded = false;  // the model no longer matches the disk
    std::string detail = std::string("cannot write the registry file ") + file->path;
    if (std::string_view(failure.step) != "create") detail += std::string(" (") + failure.step + ")";
    return Fail(posix::StatusFromErrno(failure.error), detail + ": " + std::strerror(failure.error));
  }
  Remember(file, st);
  return kSuccess;
}

}  // namespace

namespace posix {

std::string ApiDataFromStored(std::uint32_t type, const std::string& stored) {
  return ApiData(HiveValue{u"", type, stored, ""});
}

std::string StoredDataFromApi(std::uint32_t type, const std::uint8_t* data, std::uint32_t size) {
  return StoredData(type, data, size);
}

}  // namespace posix

namespace posix {

struct WinePrefix::Opened {
  RegistryKeyHandle* handle = nullptr;
  HiveFile* file = nullptr;
  HiveNode* node = nullptr;
};

WinePrefix::WinePrefix(std::string dir) : requestedDir_(dir), dir_(std::move(dir)) {}

void WinePrefix::ForgetChoice() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  dir_ = requestedDir_;
  user_.clear();
  for (std::unique_ptr<HiveFile>& file : files_) file.reset();
}
WinePrefix::~WinePrefix() = default;

// The hive of a root, up to date; kBadRegistryFile when its file is unparsable.
Status WinePrefix::OpenHive(int hive, HiveFile** result) {
  Status status = PrepareLocked();
  if (status != kSuccess) return status;
  HiveFile* slot = &HiveSlot(hive);
  const std::uint64_t generation = LookupGeneration();
  if (generation == 0 || !slot->loaded || slot->checkedIn != generation) {
    status = Refresh(slot, dir_);
    if (status != kSuccess) return status;
    slot->checkedIn = generation;
  }
  if (slot->bad) return Fail(kBadRegistryFile, slot->badDetail);
  *result = slot;
  return kSuccess;
}

HiveFile& WinePrefix::HiveSlot(int hive) {
  // The folder is chosen once until ForgetChoice, which drops the slots with it.
  std::unique_ptr<HiveFile>& slot = files_[hive == kMachineHive ? 0 : 1];
  if (!slot) {
    slot = std::make_unique<HiveFile>();
    slot->path = dir_ + (hive == kMachineHive ? "/system.reg" : "/user.reg");
    slot->hive = hive;
  }
  return *slot;
}

void WinePrefix::PreloadRegistry() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (PrepareLocked() != kSuccess) return;
  HiveFile& machine = HiveSlot(kMachineHive);
  HiveFile& user = HiveSlot(kUserHive);
  if (machine.loaded || user.loaded) return;
  // Each thread reads its own file into its own model; a failure is left for
  // OpenHive to report, as the file is read again there.
  Status userStatus = kSuccess;
  std::thread other;
  try {
    // Kept off the processor of this thread, which parses the large file meanwhile.
    other = std::thread([&] {
      const ProcessorPin pin(HelperSlot(0));
      userStatus = Refresh(&user, dir_);
    });
  } catch (const std::system_error&) {
    userStatus = Refresh(&user, dir_);  // no thread to spare: one after the other
  }
  // The machine's file is the large one: its check is shared with a thread of its own.
  const Status machineStatus = Refresh(&machine, dir_, other.joinable() ? RunOnThread : nullptr);
  if (other.joinable()) other.join();
  // Read in this pass of look-ups: the keys opened in it take the files as checked.
  if (const std::uint64_t generation = LookupGeneration(); generation != 0) {
    if (machineStatus == kSuccess) machine.checkedIn = generation;
    if (userStatus == kSuccess) user.checkedIn = generation;
  }
}

void WinePrefix::ForgetRegistry() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  for (std::unique_ptr<HiveFile>& file : files_) file.reset();
}

// May the program change this hive now?
Status WinePrefix::CheckWrite(const HiveFile& file) {
  int pid = 0;
  if (WineServerRunning(&pid)) {
    return Fail(kSharingViolation,
                "cannot change the registry file " + file.path + ": a wineserver (pid " +
                    std::to_string(pid) + ") is running for the prefix " + dir_ +
                    " and owns its registry; close the prefix's programs or run wineserver -k");
  }
  if (!Writable(file))
    return Fail(kAccessDenied, "the registry file " + file.path + " is not writable by this user");
  return kSuccess;
}

// Resolves a handle to its hive and key; the key must still exist.
Status WinePrefix::OpenKeyOf(HKey key, Opened* opened) {
  opened->handle = keys_.Resolve(key);
  if (!opened->handle) return kInvalidHandle;
  Status status = OpenHive(opened->handle->hive, &opened->file);
  if (status != kSuccess) return status;
  opened->node = opened->file->model.Find(opened->handle->path);
  return opened->node ? kSuccess : kFileNotFound;
}

bool WinePrefix::Has32BitView() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  HiveFile* file = nullptr;
  if (OpenHive(kMachineHive, &file) != kSuccess) return false;
  std::string_view header = file->model.Header();
  for (std::size_t start = 0; start < header.size();) {
    std::size_t end = header.find('\n', start);
    if (end == std::string_view::npos) end = header.size();
    std::string_view line = header.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line == "#arch=win64") return true;
    start = end + 1;
  }
  return file->model.Find(velmora::SplitKeyPath(u"Software\\Wow6432Node")) != nullptr;
}

Status WinePrefix::OpenKey(HKey root, const std::string& subKey, std::uint32_t access, HKey* result) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ClearLastErrorDetail();
  if (!result) return kInvalidParameter;
  *result = nullptr;
  Opened base;
  Status status = OpenKeyOf(root, &base);
  if (status != kSuccess) return status;
  if (!FindBelow(base.node, subKey)) return kFileNotFound;
  std::vector<std::u16string> path = JoinKeyPath(base.handle->path, subKey);
  bool wantsWrite = (access & kWriteAccess) != 0;
  if (wantsWrite && !WritableAsChecked(*base.file, LookupGeneration()))
    return Fail(kAccessDenied, "the registry file " + base.file->path + " is not writable by this user");
  *result = keys_.Add(base.handle->hive, std::move(path), wantsWrite);
  return kSuccess;
}

Status WinePrefix::CreateKey(HKey root, const std::string& subKey, HKey* result) {
  // Before the prefix's lock: a path look-up takes that lock inside its own.
  ForgetLookups();  // a write goes to the hive file as it is now, read again if it changed
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ClearLastErrorDetail();
  if (!result) return kInvalidParameter;
  *result = nullptr;
  Opened base;
  Status status = OpenKeyOf(root, &base);
  if (status != kSuccess) return status;
  std::vector<std::u16string> path = JoinKeyPath(base.handle->path, subKey);
  if (base.file->model.Find(path)) {
    // An existing key opens with whatever access the hive file allows.
    *result =
        keys_.Add(base.handle->hive, std::move(path), WritableAsChecked(*base.file, LookupGeneration()));
    return kSuccess;
  }
  if (!base.handle->writable) return kAccessDenied;
  status = CheckWrite(*base.file);
  if (status != kSuccess) return status;
  base.file->model.Create(path);
  status = Commit(base.file);
  if (status != kSuccess) return status;
  *result = keys_.Add(base.handle->hive, std::move(path), true);
  return kSuccess;
}

Status WinePrefix::EnumValue(HKey key, std::uint32_t index, char* name, std::uint32_t* nameSize,
                             std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ClearLastErrorDetail();
  if (!name || !nameSize || (data && !dataSize)) return kInvalidParameter;
  Opened opened;
  Status status = OpenKeyOf(key, &opened);
  if (status != kSuccess) return status;
  const HiveValue* found = opened.file->model.ValueAt(opened.node, index);
  if (!found) return kNoMoreItems;
  const HiveValue& value = *found;
  std::string bytes = ApiData(value);
  if (CopyRegistryName(velmora::Utf8FromUtf16(value.name), name, nameSize) != kSuccess) {
    if (dataSize) *dataSize = static_cast<std::uint32_t>(bytes.size());
    return kMoreData;
  }
  if (type) *type = value.type;
  if (data && bytes.size() > *dataSize) {
    *dataSize = static_cast<std::uint32_t>(bytes.size());
    return kMoreData;
  }
  if (data) std::memcpy(data, bytes.data(), bytes.size());
  if (dataSize) *dataSize = static_cast<std::uint32_t>(bytes.size());
  return kSuccess;
}

// The key is found once for all its values, not once for each as by EnumValue.
Status WinePrefix::ReadValues(HKey key, std::uint32_t maxName, std::uint32_t maxData,
                              std::vector<RegistryValue>* values, std::uint32_t* skipped) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ClearLastErrorDetail();
  if (!values || !skipped) return kInvalidParameter;
  Opened opened;
  Status status = OpenKeyOf(key, &opened);
  if (status != kSuccess) return status;
  const Hive& model = opened.file->model;
  for (std::size_t index = 0;; ++index) {
    const HiveValue* value = model.ValueAt(opened.node, index);
    if (!value) return kSuccess;
    RegistryValue read;
    read.name = NameText(value->name);
    read.data = ApiData(*value);
    if (read.name.size() >= maxName || read.data.size() > maxData) {
      ++*skipped;
      continue;
    }
    read.type = value->type;
    values->push_back(std::move(read));
  }
}

Status WinePrefix::QueryStoredValue(HKey key, const std::string& name, std::uint32_t* type,
                                    std::string* bytes) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ClearLastErrorDetail();
  if (!type || !bytes) return kInvalidParameter;
  Opened opened;
  Status status = OpenKeyOf(key, &opened);
  if (status != kSuccess) return status;
  const HiveValue* value = opened.file->model.FindValue(opened.node, LookupName(name).units());
  if (!value) return kFileNotFound;
  *type = value->type;
  *bytes = value->data;
  return kSuccess;
}

Status WinePrefix::QueryValue(HKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                              std::uint32_t* dataSize) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ClearLastErrorDetail();
  if (data && !dataSize) return kInvalidParameter;
  Opened opened;
  Status status = OpenKeyOf(key, &opened);
  if (status != kSuccess) return status;
  const HiveValue* value = opened.file->model.FindValue(opened.node, LookupName(name).units());
  if (!value) return kFileNotFound;
  std::string bytes = ApiData(*value);
  if (type) *type = value->type;
  if (data && bytes.size() > *dataSize) {
    *dataSize = static_cast<std::uint32_t>(bytes.size());
    return kMoreData;
  }
  if (data) std::memcpy(data, bytes.data(), bytes.size());
  if (dataSize) *dataSize = static_cast<std::uint32_t>(bytes.size());
  return kSuccess;
}

Status WinePrefix::SetValue(HKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                            std::uint32_t dataSize) {
  // Before the prefix's lock: a path look-up takes that lock inside its own.
  ForgetLookups();  // a write goes to the hive file as it is now, read again if it changed
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ClearLastErrorDetail();
  if (!data && dataSize) return kInvalidParameter;
  return SetStored(key, name, type, StoredData(type, data, dataSize));
}

Status WinePrefix::SetStoredValue(HKey key, const std::string& name, std::uint32_t type,
                                  const std::string& bytes) {
  ForgetLookups();
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ClearLastErrorDetail();
  return SetStored(key, name, type, bytes);
}

Status WinePrefix::SetStored(HKey key, const std::string& name, std::uint32_t type, std::string stored) {
  Opened opened;
  Status status = OpenKeyOf(key, &opened);
  if (status != kSuccess) return status;
  if (!opened.handle->writable) return kAccessDenied;
  status = CheckWrite(*opened.file);
  if (status != kSuccess) return status;
  std::u16string valueName = velmora::Utf16FromUtf8(name);
  const HiveValue* existing = opened.file->model.FindValue(opened.node, valueName);
  if (existing && existing->type == type && existing->data == stored) return kSuccess;  // nothing to write
  opened.file->model.SetValue(opened.node, valueName, type, std::move(stored));
  return Commit(opened.file);
}

Status WinePrefix::DeleteValue(HKey key, const std::string& name) {
  // Before the prefix's lock: a path look-up takes that lock inside its own.
  ForgetLookups();  // a write goes to the hive file as it is now, read again if it changed
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ClearLastErrorDetail();
  Opened opened;
  Status status = OpenKeyOf(key, &opened);
  if (status != kSuccess) return status;
  if (!opened.handle->writable) return kAccessDenied;
  std::u16string valueName = velmora::Utf16FromUtf8(name);
  if (!opened.file->model.FindValue(opened.node, valueName)) return kFileNotFound;
  status = CheckWrite(*opened.file);
  if (status != kSuccess) return status;
  opened.file->model.DeleteValue(opened.node, valueName);
  return Commit(opened.file);
}

Status WinePrefix::EnumKey(HKey key, std::uint32_t index, char* name, std::uint32_t size) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ClearLastErrorDetail();
  if (!name) return kInvalidParameter;
  Opened opened;
  Status status = OpenKeyOf(key, &opened);
  if (status != kSuccess) return status;
  const std::vector<HiveNode*>& subkeys = opened.node->Subkeys();
  if (index >= subkeys.size()) return kNoMoreItems;
  return CopyRegistryName(velmora::Utf8FromUtf16(subkeys[index]->name), name, &size);
}

Status WinePrefix::DeleteTree(HKey root, const std::string& subKey) {
  // Before the prefix's lock: a path look-up takes that lock inside its own.
  ForgetLookups();  // a write goes to the hive file as it is now, read again if it changed
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ClearLastErrorDetail();
  Opened base;
  Status status = OpenKeyOf(root, &base);
  if (status != kSuccess) return status;
  std::vector<std::u16string> path = JoinKeyPath(base.handle->path, subKey);
  if (path.empty()) return kInvalidParameter;  // a root key is never deleted
  HiveNode* node = base.file->model.Find(path);
  if (!node) return kFileNotFound;
  if (!base.handle->writable) return kAccessDenied;
  status = CheckWrite(*base.file);
  if (status != kSuccess) return status;
  base.file->model.DeleteKey(node);
  return Commit(base.file);
}

}  // namespace posix

}  // namespace platform
