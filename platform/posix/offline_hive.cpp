#include "platform/posix/offline_hive.h"

#include <dirent.h>
#include <fcntl.h>
#include <hivex.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <set>

#include "base/names.h"
#include "base/text.h"
#include "platform/posix/path_util.h"
#include "platform/posix/unique_fd.h"

namespace platform::posix {

namespace {

constexpr std::size_t kBaseBlockSize = 4096;
// What a child that tried a change answers when libhivex came back from it.
constexpr char kChangeMade = 'm', kChangeRefused = 'r';
constexpr int kChangeSeconds = 60;

std::uint32_t U32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// Checks the base block without libhivex, so that the common faults get a
// message that says what is wrong. Sets |dirty| from the sequence numbers.
std::string HeaderProblem(const std::string& path, bool* dirty) {
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return std::string("cannot be read: ") + std::strerror(errno);
  struct stat st;
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return "is not a regular file";
  unsigned char head[kBaseBlockSize];
  ssize_t got = pread(fd.get(), head, sizeof head, 0);
  fd.reset();
  if (st.st_size == 0) return "is empty (0 bytes): it is not a registry hive";
  if (got < 0) return std::string("cannot be read: ") + std::strerror(errno);
  if (got < 4 || std::memcmp(head, "regf", 4) != 0)
    return "is not a registry hive (it does not start with \"regf\")";
  if (static_cast<std::size_t>(got) < 512 || static_cast<std::size_t>(st.st_size) < 2 * kBaseBlockSize)
    return "is truncated (" + std::to_string(st.st_size) + " bytes; a hive holds at least 8192)";
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < 508; i += 4) sum ^= U32(head + i);
  if (sum != U32(head + 508)) return "has a damaged header (its checksum does not match)";
  std::uint64_t dataSize = U32(head + 40);
  if (kBaseBlockSize + dataSize > static_cast<std::uint64_t>(st.st_size))
    return "is truncated: its header announces " + std::to_string(kBaseBlockSize + dataSize) +
           " bytes, the file holds " + std::to_string(st.st_size);
  *dirty = U32(head + 4) != U32(head + 8);
  return "";
}

std::vector<std::string> ChildNames(hive_h* hive, hive_node_h node) {
  std::vector<std::string> names;
  std::unique_ptr<hive_node_h, decltype(&std::free)> children(hivex_node_children(hive, node), &std::free);
  if (!children) return names;
  for (hive_node_h* child = children.get(); *child; ++child) {
    std::unique_ptr<char, decltype(&std::free)> name(hivex_node_name(hive, *child), &std::free);
    names.push_back(name ? name.get() : "");
  }
  return names;
}

// The first key libhivex cannot read whole (its name, subkeys or a value's name
// and type), as "the key PATH"; "" when it reads every one. A damaged hive may
// share a cell between two structures: a change that frees or moves it through
// one breaks the other, so such a hive is only read.
std::string UnreadableKey(hive_h* hive) {
  struct Pending {
    hive_node_h node;
    std::string path;
  };
  std::vector<Pending> pending{{hivex_root(hive), ""}};
  std::set<hive_node_h> seen;
  while (!pending.empty()) {
    Pending key = std::move(pending.back());
    pending.pop_back();
    const std::string where = "the key \\" + key.path;
    if (!key.node || !seen.insert(key.node).second) return where;
    std::unique_ptr<hive_value_h, decltype(&std::free)> values(hivex_node_values(hive, key.node), &std::free);
    if (!values) return where;
    for (hive_value_h* value = values.get(); *value; ++value) {
      std::unique_ptr<char, decltype(&std::free)> name(hivex_value_key(hive, *value), &std::free);
      hive_type type;
      std::size_t length = 0;
      if (!name || hivex_value_type(hive, *value, &type, &length) != 0) return where;
    }
    std::unique_ptr<hive_node_h, decltype(&std::free)> children(hivex_node_children(hive, key.node),
                                                                &std::free);
    if (!children) return where;
    for (hive_node_h* child = children.get(); *child; ++child) {
      std::unique_ptr<char, decltype(&std::free)> name(hivex_node_name(hive, *child), &std::free);
      if (!name) return where;
      pending.push_back({*child, key.path.empty() ? name.get() : key.path + "\\" + name.get()});
    }
  }
  return "";
}

// What kind of hive the root's subkeys say this is; "" when it fits |kind|.
std::string KindProblem(hive_h* hive, OfflineHive::Kind kind) {
  hive_node_h root = hivex_root(hive);
  if (!root) return "has no root key";
  auto has = [&](const char* name) { return hivex_node_get_child(hive, root, name) != 0; };
  std::string actual;
  if (kind == OfflineHive::Kind::kSystem)
    return has("Select") ? "" : "is not a SYSTEM hive (it has no Select key)";
  if (has("Select") || has("ControlSet001")) {
    actual = "a SYSTEM hive";
  } else if (has("Policy") && !has("Microsoft")) {
    actual = "a SECURITY hive";
  } else if (has("SAM") && !has("Microsoft")) {
    actual = "a SAM hive";
  } else if (has("Software") && (kind != OfflineHive::Kind::kUser)) {
    actual = "a user's hive (NTUSER.DAT)";
  } else if (kind == OfflineHive::Kind::kSoftware && !has("Microsoft")) {
    actual = "not a SOFTWARE hive (it has no Microsoft key)";
    return "is " + actual;
  } else if (kind == OfflineHive::Kind::kUser && !has("Software")) {
    actual = has("Microsoft") ? "a SOFTWARE hive" : "not a user's hive (it has no Software key)";
    if (!has("Microsoft")) return "is " + actual;
  }
  if (actual.empty()) return "";
  return std::string("is ") + actual + ", not " +
         (kind == OfflineHive::Kind::kSoftware ? "the SOFTWARE hive" : "a user's hive (NTUSER.DAT)");
}

bool InGroup(gid_t gid) {
  if (getegid() == gid) return true;
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(0, getgroups(0, nullptr))));
  int count = groups.empty() ? 0 : getgroups(static_cast<int>(groups.size()), groups.data());
  for (int i = 0; i < count; ++i)
    if (groups[static_cast<std::size_t>(i)] == gid) return true;
  return false;
}

bool ModePermitsWrite(const struct stat& st) {
  if (st.st_uid == geteuid()) return (st.st_mode & S_IWUSR) != 0;
  if (InGroup(st.st_gid)) return (st.st_mode & S_IWGRP) != 0;
  return (st.st_mode & S_IWOTH) != 0;
}

void SyncFolder(const std::string& folder) {
  UniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd) fsync(fd.get());
}

// A value's type is any 32-bit number in a hive (programs store their own), while
// libhivex declares it as an enum whose range ends at REG_QWORD. The number goes
// through the enum's storage as bytes, never as an enum value, which C++ leaves
// undefined outside that range.
static_assert(sizeof(hive_type) == sizeof(std::uint32_t));

std::uint32_t TypeNumber(const hive_type& stored) {
  std::uint32_t number;
  std::memcpy(&number, &stored, sizeof number);
  return number;
}

void StoreType(hive_type* stored, std::uint32_t number) { std::memcpy(stored, &number, sizeof number); }

Status Fail(Status status, std::string detail) {
  SetLastErrorDetail(std::move(detail));
  return status;
}

// Copies |from| to a new file |to| (never replacing one), flushed to disk.
bool CopyFileExclusive(const std::string& from, const std::string& to, std::string* error) {
  UniqueFd in(open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in) {
    *error = "cannot read " + from + ": " + std::strerror(errno);
    return false;
  }
  struct stat st;
  fstat(in.get(), &st);
  UniqueFd out(open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0666));
  if (!out) {
    *error = "cannot create " + to + ": " + std::strerror(errno);
    return false;
  }
  char buffer[1 << 16];
  bool ok = true;
  for (;;) {
    ssize_t n = read(in.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    for (ssize_t done = 0; ok && done < n;) {
      ssize_t w = write(out.get(), buffer + done, static_cast<std::size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0)
        ok = false;
      else
        done += w;
    }
    if (!ok) break;
  }
  int error_number = errno;
  if (ok && fsync(out.get()) != 0) {
    ok = false;
    error_number = errno;
  }
  in.reset();
  if (out.Close() != 0 && ok) {
    ok = false;
    error_number = errno;
  }
  if (!ok) {
    unlink(to.c_str());
    *error = "cannot copy " + from + " to " + to + ": " + std::strerror(error_number);
  }
  return ok;
}

// Reads the one byte a child writes to |from| before it ends; false when it ended
// without (the end of the pipe) or, with |late| set, when |seconds| passed first.
bool ReadAnswer(int from, int seconds, char* answer, bool* late) {
  *late = false;
  pollfd ready{from, POLLIN, 0};
  int polled;
  do {
    polled = poll(&ready, 1, seconds * 1000);
  } while (polled < 0 && errno == EINTR);
  if (polled == 0) {
    *late = true;
    return false;
  }
  ssize_t got;
  do {
    got = read(from, answer, 1);
  } while (got < 0 && errno == EINTR);
  return got == 1;
}

// Waits for |child| to end; false when its status is not to be had (a process
// that ignores SIGCHLD has its children reaped by the kernel).
bool WaitForChild(pid_t child, int* status) {
  pid_t waited;
  do {
    waited = waitpid(child, status, 0);
  } while (waited < 0 && errno == EINTR);
  return waited == child;
}

// The last line of what a child wrote to |fd| that says why it stopped: not a
// sanitizer's closing "==pid==ABORTING"; "" when there is none.
std::string LastWordsOf(int fd) {
  if (fd < 0) return "";
  const off_t size = lseek(fd, 0, SEEK_END);
  if (size <= 0) return "";
  const off_t from = size > 4096 ? size - 4096 : 0;
  std::string text(static_cast<std::size_t>(size - from), '\0');
  const ssize_t got = pread(fd, text.data(), text.size(), from);
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  std::size_t end = text.size();
  while (end > 0) {
    const std::size_t start = text.rfind('\n', end - 1);
    const std::size_t begin = start == std::string::npos ? 0 : start + 1;
    std::string line = text.substr(begin, end - begin);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty() && line.compare(0, 2, "==") != 0) return line;
    if (start == std::string::npos) break;
    end = start;
  }
  return "";
}

}  // namespace

std::string OfflineWriteProblem(const std::string& hostPath) {
  struct statvfs fs;
  if (statvfs(hostPath.c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY)) {
    return "the installation is mounted read-only (ntfs-3g does so when Windows was hibernated or shut down "
           "with "
           "Fast Startup); start that Windows, shut it down completely (Shift + Shut down, or turn Fast "
           "Startup "
           "off), mount it again and try again";
  }
  struct stat st;
  if (stat(hostPath.c_str(), &st) == 0 && !ModePermitsWrite(st))
    return hostPath + " is not writable by this user";
  return "";
}

OfflineHive::~OfflineHive() { Close(); }

void OfflineHive::Close() {
  cachedNode_ = 0;
  if (hive_) hivex_close(hive_);
  hive_ = nullptr;
}

bool OfflineHive::Open(const std::string& hostPath, Kind kind, std::string* error) {
  Close();
  path_ = hostPath;
  kind_ = kind;
  backedUp_ = false;
  backups_.clear();
  return Load(error);
}

bool OfflineHive::Load(std::string* error) {
  cachedNode_ = 0;
  unreadableChecked_ = false;
  Close();
  dirty_ = false;
  std::string problem = HeaderProblem(path_, &dirty_);
  if (problem.empty()) {
    errno = 0;
    hive_ = hivex_open(path_.c_str(), HIVEX_OPEN_WRITE);
    if (!hive_)
      problem =
          std::string("is damaged: libhivex cannot read it (") + std::strerror(errno ? errno : EINVAL) + ")";
  }
  if (problem.empty()) {
    problem = KindProblem(hive_, kind_);
    if (!problem.empty()) Close();
  }
  if (problem.empty()) return true;
  if (error) *error = "the registry hive " + path_ + " " + problem + "; nothing was changed";
  return false;
}

std::string OfflineHive::WriteRefusal() const {
  if (!hive_) return "the registry hive " + path_ + " is not open";
  if (dirty_) {
    return "the registry hive " + path_ +
           " was not written completely: its two sequence numbers differ, so changes still wait in its "
           "transaction logs (.LOG, .LOG1, .LOG2), which Velmora cannot replay. It is listed but never "
           "written. "
           "Start that Windows once and shut it down normally, or replay the logs with a tool made for it, "
           "then try again";
  }
  if (!unreadableChecked_) {
    unreadable_ = UnreadableKey(hive_);
    unreadableChecked_ = true;
  }
  if (!unreadable_.empty()) {
    return "the registry hive " + path_ + " is damaged: libhivex cannot read " + unreadable_ +
           " whole, and a change elsewhere in the hive could break it further. It is listed but never "
           "written";
  }
  for (const std::string& place : {path_, FolderOf(path_)}) {
    std::string problem = OfflineWriteProblem(place);
    if (!problem.empty()) return "the registry hive " + path_ + " cannot be changed: " + problem;
  }
  return "";
}

std::size_t OfflineHive::Find(const std::vector<std::string>& path) const {
  if (!hive_) return 0;
  hive_node_h node = hivex_root(hive_);
  for (const std::string& part : path) {
    if (!node) return 0;
    node = hivex_node_get_child(hive_, node, part.c_str());
  }
  return node;
}

std::vector<std::string> OfflineHive::SubkeyNames(std::size_t node) const {
  return hive_ && node ? ChildNames(hive_, node) : std::vector<std::string>();
}

const std::vector<OfflineValue>& OfflineHive::CachedValues(std::size_t node) const {
  if (node == 0 || node != cachedNode_) {
    cachedValues_ = Values(node);
    cachedNode_ = node;
  }
  return cachedValues_;
}

std::vector<OfflineValue> OfflineHive::Values(std::size_t node) const {
  std::vector<OfflineValue> values;
  if (!hive_ || !node) return values;
  std::unique_ptr<hive_value_h, decltype(&std::free)> list(hivex_node_values(hive_, node), &std::free);
  if (!list) return values;
  for (hive_value_h* v = list.get(); *v; ++v) {
    OfflineValue value;
    std::unique_ptr<char, decltype(&std::free)> name(hivex_value_key(hive_, *v), &std::free);
    if (!name) continue;
    value.name = name.get();
    hive_type type;
    StoreType(&type, 0);
    std::size_t length = 0;
    std::unique_ptr<char, decltype(&std::free)> data(hivex_value_value(hive_, *v, &type, &length),
                                                     &std::free);
    if (!data && length) continue;
    value.type = TypeNumber(type);
    if (data) value.data.assign(data.get(), length);
    values.push_back(std::move(value));
  }
  return values;
}

std::size_t OfflineHive::Create(const std::vector<std::string>& path) {
  cachedNode_ = 0;
  damage_.clear();
  if (!hive_) return 0;
  auto create = [&]() -> hive_node_h {
    hive_node_h node = hivex_root(hive_);
    for (const std::string& part : path) {
      // libhivex answers 0 both for "no such key" and for a sibling whose name it
      // cannot read (errno set). Only the first may add the key: after the second,
      // an added key could be a second one of that name, never found again.
      errno = 0;
      hive_node_h child = hivex_node_get_child(hive_, node, part.c_str());
      if (!child && errno != 0) return 0;
      if (!child) child = hivex_node_add_child(hive_, node, part.c_str());
      if (!child) return 0;
      node = child;
    }
    return node;
  };
  return Survives([&] { return create() != 0; }) ? create() : 0;
}

bool OfflineHive::SetValue(std::size_t node, const OfflineValue& value) {
  cachedNode_ = 0;
  if (!hive_ || !node) return false;
  hive_set_value set;
  set.key = const_cast<char*>(value.name.c_str());
  StoreType(&set.t, value.type);
  set.len = value.data.size();
  set.value = const_cast<char*>(value.data.data());
  auto change = [&] { return hivex_node_set_value(hive_, node, &set, 0) == 0; };
  return Survives(change) && change();
}

bool OfflineHive::DeleteValue(std::size_t node, const std::string& name) {
  cachedNode_ = 0;
  damage_.clear();
  std::vector<OfflineValue> kept = Values(node);
  // The key's values are written anew without the one deleted: one that cannot be
  // read would be lost with it.
  std::unique_ptr<hive_value_h, decltype(&std::free)> listed(
      hive_ && node ? hivex_node_values(hive_, node) : nullptr, &std::free);
  std::size_t count = 0;
  while (listed && listed.get()[count]) ++count;
  if (!listed || count != kept.size()) {
    damage_ = "the hive is damaged: a value of the key cannot be read, and would be lost with the change";
    return false;
  }
  std::size_t before = kept.size();
  std::erase_if(kept, [&](const OfflineValue& v) { return velmora::SameName(v.name, name); });
  if (kept.size() == before) return false;
  std::vector<hive_set_value> set(kept.size());
  for (std::size_t i = 0; i < kept.size(); ++i) {
    set[i].key = kept[i].name.data();
    StoreType(&set[i].t, kept[i].type);
    set[i].len = kept[i].data.size();
    set[i].value = kept[i].data.data();
  }
  auto change = [&] { return hivex_node_set_values(hive_, node, set.size(), set.data(), 0) == 0; };
  return Survives(change) && change();
}

bool OfflineHive::DeleteKey(std::size_t node) {
  cachedNode_ = 0;
  if (!hive_ || !node || node == hivex_root(hive_)) return false;
  auto change = [&] { return hivex_node_delete_child(hive_, node) == 0; };
  return Survives(change) && change();
}

// libhivex ends the process (an assert) on some damaged hives where it should
// fail: asked to free a block that is not the start of a used one, for example a
// value's data cell whose offset points into another cell. A change is therefore
// made first in a child process, on its copy of the hive in memory, and made here
// only when the child came back from it. The child writes no file. It answers
// through a pipe rather than by its exit status, which is lost where the process
// ignores SIGCHLD (a disposition handed down by whoever started it) or another
// part of it reaps every child.
bool OfflineHive::Survives(const std::function<bool()>& change) {
  damage_.clear();
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    damage_ = std::string("no pipe could be made to try the change (") + std::strerror(errno) + ")";
    return false;
  }
  UniqueFd answers(ends[0]), answer(ends[1]);
  // Without a file for it, the child's standard error stays ours.
  UniqueFd said(memfd_create("velmora-hive-change", MFD_CLOEXEC));
  const pid_t child = fork();
  if (child < 0) {
    damage_ = std::string("no process could be started to try the change (") + std::strerror(errno) + ")";
    return false;
  }
  if (child == 0) {
    // The child ends as a program without handlers would: a fuzzer's or a
    // sanitizer's handler would report its end as the parent's own.
    for (int signal : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL}) std::signal(signal, SIG_DFL);
    // What it says as it stops (libhivex's assert, a sanitizer's report) is kept
    // for the message of the failure.
    if (said.get() >= 0) dup2(said.get(), STDERR_FILENO);
    const char made = change() ? kChangeMade : kChangeRefused;
    _exit(write(answer.get(), &made, 1) == 1 ? 0 : 1);
  }
  answer.reset();
  char made = 0;
  bool late = false;
  const bool answered = ReadAnswer(answers.get(), kChangeSeconds, &made, &late);
  // Still running when late: its end of the pipe is open, so its number is its own.
  if (late) kill(child, SIGKILL);
  int status = 0;
  const bool waited = WaitForChild(child, &status);
  if (answered && (made == kChangeMade || made == kChangeRefused)) return true;
  if (late) {
    damage_ = "libhivex did not finish the change within " + std::to_string(kChangeSeconds) +
              " seconds; the hive is probably damaged";
  } else {
    damage_ = "the hive is damaged: libhivex stopped on it while making the change (" +
              (!waited               ? std::string("the trying process ended without finishing")
               : WIFSIGNALED(status) ? std::string(strsignal(WTERMSIG(status)))
                                     : "exit status " + std::to_string(WEXITSTATUS(status))) +
              ")";
  }
  const std::string why = LastWordsOf(said.get());
  if (!why.empty()) damage_ += ": " + why;
  return false;
}

Status OfflineHive::Backup() {
  if (backedUp_) return kSuccess;
  char stamp[32];
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", &local);
  const std::string folder = FolderOf(path_);
  const std::string base = Lower(BaseName(path_));
  // The first copy of a day is kept, not one per run: a hive can be hundreds of
  // megabytes. The day's copy already holds the hive as it stood before
  // Velmora's first change that day.
  const std::string todays = base + ".velmora-backup-" + std::string(stamp, 10);
  std::vector<std::string> sources;
  bool copiedToday = false;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      std::string name = Lower(entry->d_name);
      if (name == base || name == base + ".log" || name == base + ".log1" || name == base + ".log2")
        sources.push_back(folder + "/" + entry->d_name);
      if (name.rfind(todays, 0) == 0) copiedToday = true;
    }
    closedir(dir);
  }
  if (copiedToday) {
    backups_.clear();
    backedUp_ = true;
    return kSuccess;
  }
  std::vector<std::string> made;
  for (const std::string& source : sources) {
    std::string target = source + ".velmora-backup-" + stamp;
    for (int n = 2; access(target.c_str(), F_OK) == 0; ++n)
      target = source + ".velmora-backup-" + stamp + "-" + std::to_string(n);
    std::string error;
    if (!CopyFileExclusive(source, target, &error)) {
      for (const std::string& partial : made) unlink(partial.c_str());
      return Fail(kWriteFault, "no backup of the registry hive " + path_ + " could be kept (" + error +
                                   "), so it was not changed");
    }
    made.push_back(target);
  }
  SyncFolder(folder);
  backups_ = made;
  backedUp_ = true;
  return kSuccess;
}

void OfflineHive::Discard() {
  cachedNode_ = 0;
  std::string ignored;
  Load(&ignored);
}

Status OfflineHive::Commit() {
  cachedNode_ = 0;
  auto dropChanges = [&] { Discard(); };
  std::string refusal = WriteRefusal();
  if (!refusal.empty()) {
    dropChanges();
    return Fail(kAccessDenied, refusal);
  }
  Status status = Backup();
  if (status != kSuccess) {
    std::string detail = LastErrorDetail();
    dropChanges();
    return Fail(status, detail);
  }
  const std::string fresh = path_ + ".velmora-new";
  auto failWith = [&](const std::string& what) {
    unlink(fresh.c_str());
    dropChanges();
    return Fail(kWriteFault,
                "the registry hive " + path_ + " could not be written (" + what + "); it is unchanged");
  };
  unlink(fresh.c_str());
  if (hivex_commit(hive_, fresh.c_str(), 0) != 0)
    return failWith(std::string("writing: ") + std::strerror(errno));
  struct stat old;
  if (stat(path_.c_str(), &old) == 0) {
    chmod(fresh.c_str(), old.st_mode & 07777);
    if (chown(fresh.c_str(), old.st_uid, old.st_gid) != 0) {
      // Only a privileged process can give the file away; keeping ours is fine.
    }
  }
  {
    UniqueFd fd(open(fresh.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd || fsync(fd.get()) != 0) {
      int error = errno;
      return failWith(std::string("flushing: ") + std::strerror(error));
    }
  }
  // The new file must read back as a hive of the same kind before it replaces the old one.
  {
    OfflineHive check;
    std::string problem;
    bool dirty = false;
    check.path_ = fresh;
    check.kind_ = kind_;
    if (!check.Load(&problem)) return failWith("the written file did not read back: " + problem);
    HeaderProblem(fresh, &dirty);
    if (dirty) return failWith("the written file is not marked as completely written");
  }
  if (beforeRename_) beforeRename_(fresh);
  if (rename(fresh.c_str(), path_.c_str()) != 0)
    return failWith(std::string("renaming: ") + std::strerror(errno));
  SyncFolder(FolderOf(path_));
  return kSuccess;
}

}  // namespace platform::posix
