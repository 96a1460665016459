#include "tests/support/regf_builder.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <stdexcept>

#include "base/utf16.h"
#include "tests/support/run_program.h"
#include "tests/support/test_support.h"

namespace velmora::test {

namespace {

constexpr std::uint32_t kNone = 0xFFFFFFFFu;
constexpr std::uint64_t kTimestamp = 133000000000000000ull;  // a FILETIME in 2022

std::string Utf16(const std::u16string& units) {
  std::string bytes;
  for (char16_t u : units) {
    bytes.push_back(static_cast<char>(u & 0xFF));
    bytes.push_back(static_cast<char>(u >> 8));
  }
  return bytes;
}

bool IsAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char16_t Upper(char16_t c) { return c < 0x80 ? static_cast<char16_t>(std::toupper(c)) : c; }

// The hive bins data: one bin, cells appended in order.
class Bins {
 public:
  Bins() : bytes_(32, '\0') {}

  // A new allocated cell with room for |size| bytes of data; returns its offset.
  std::uint32_t Alloc(std::size_t size) {
    std::size_t cell = (size + 4 + 7) & ~std::size_t{7};
    auto offset = static_cast<std::uint32_t>(bytes_.size());
    bytes_.resize(bytes_.size() + cell, '\0');
    Put32(offset, static_cast<std::uint32_t>(-static_cast<std::int32_t>(cell)));
    return offset;
  }
  // Writes at |at| bytes into the data of the cell at |cell|.
  void Put16(std::uint32_t cell, std::size_t at, std::uint16_t v) {
    for (int i = 0; i < 2; ++i) bytes_[cell + 4 + at + i] = static_cast<char>(v >> (8 * i));
  }
  void Put32At(std::uint32_t cell, std::size_t at, std::uint32_t v) { Put32(cell + 4 + at, v); }
  void Put64(std::uint32_t cell, std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) bytes_[cell + 4 + at + i] = static_cast<char>(v >> (8 * i));
  }
  void PutBytes(std::uint32_t cell, std::size_t at, const std::string& data) {
    std::memcpy(&bytes_[cell + 4 + at], data.data(), data.size());
  }

  // The finished bin: its header, and a free cell over the rest of its last page.
  std::string Finish() {
    std::size_t used = bytes_.size();
    std::size_t size = (used + 4095) / 4096 * 4096;
    bytes_.resize(size, '\0');
    if (size > used) Put32(static_cast<std::uint32_t>(used), static_cast<std::uint32_t>(size - used));
    std::memcpy(&bytes_[0], "hbin", 4);
    Put32(4, 0);
    Put32(8, static_cast<std::uint32_t>(size));
    for (int i = 0; i < 8; ++i) bytes_[20 + i] = static_cast<char>(kTimestamp >> (8 * i));
    return bytes_;
  }

 private:
  void Put32(std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_[at + i] = static_cast<char>(v >> (8 * i));
  }
  std::string bytes_;
};

// A self-relative security descriptor: owner Administrators, group SYSTEM, a
// DACL granting Everyone full access to the key.
std::string SecurityDescriptor() {
  std::string sd(76, '\0');
  auto put16 = [&](std::size_t at, std::uint16_t v) {
    sd[at] = static_cast<char>(v & 0xFF);
    sd[at + 1] = static_cast<char>(v >> 8);
  };
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) sd[at + i] = static_cast<char>(v >> (8 * i));
  };
  sd[0] = 1;                           // revision
  put16(2, 0x8004);                    // self-relative, DACL present
  put32(4, 48);                        // owner
  put32(8, 64);                        // group
  put32(12, 0);                        // no SACL
  put32(16, 20);                       // DACL
  sd[20] = 2;                          // ACL revision
  put16(22, 28);                       // ACL size
  put16(24, 1);                        // one ACE
  sd[28] = 0;                          // ACCESS_ALLOWED_ACE_TYPE
  put16(30, 20);                       // ACE size
  put32(32, 0x000F003F);               // KEY_ALL_ACCESS
  sd[36] = 1, sd[37] = 1, sd[43] = 1;  // S-1-1-0
  put32(44, 0);
  sd[48] = 1, sd[49] = 2, sd[55] = 5;  // S-1-5-32-544
  put32(56, 32);
  put32(60, 544);
  sd[64] = 1, sd[65] = 1, sd[71] = 5;  // S-1-5-18
  put32(72, 18);
  return sd;
}

struct Writer {
  Bins bins;
  std::uint32_t sk = 0;
  std::uint32_t keys = 0;

  std::uint32_t WriteKey(const RegfKey& key, std::uint32_t parent, bool root) {
    ++keys;
    const bool ascii = IsAscii(key.name);
    const std::string name = ascii ? key.name : Utf16(velmora::Utf16FromUtf8(key.name));
    const std::uint32_t nk = bins.Alloc(76 + name.size());
    bins.PutBytes(nk, 0, "nk");
    bins.Put16(nk, 2, static_cast<std::uint16_t>((root ? 0x0C : 0) | (ascii ? 0x20 : 0)));
    bins.Put64(nk, 4, kTimestamp);
    bins.Put32At(nk, 16, parent);
    bins.Put32At(nk, 32, kNone);  // no volatile subkeys
    bins.Put32At(nk, 44, sk);
    bins.Put32At(nk, 48, kNone);  // no class name
    bins.Put16(nk, 72, static_cast<std::uint16_t>(name.size()));
    bins.PutBytes(nk, 76, name);

    std::uint32_t longestValueName = 0, longestData = 0;
    std::vector<std::uint32_t> valueCells;
    for (const RegfValue& value : key.values) {
      const bool asciiName = IsAscii(value.name);
      const std::string valueName = asciiName ? value.name : Utf16(velmora::Utf16FromUtf8(value.name));
      const std::uint32_t vk = bins.Alloc(20 + valueName.size());
      bins.PutBytes(vk, 0, "vk");
      bins.Put16(vk, 2, static_cast<std::uint16_t>(valueName.size()));
      const auto size = static_cast<std::uint32_t>(value.data.size());
      if (size > 16344) throw std::length_error("value data beyond one cell is not built");
      if (size <= 4) {
        bins.Put32At(vk, 4, size | 0x80000000u);
        std::string inline_data = value.data;
        inline_data.resize(4, '\0');
        bins.PutBytes(vk, 8, inline_data);
      } else {
        const std::uint32_t cell = bins.Alloc(size);
        bins.PutBytes(cell, 0, value.data);
        bins.Put32At(vk, 4, size);
        bins.Put32At(vk, 8, cell);
      }
      bins.Put32At(vk, 12, value.type);
      bins.Put16(vk, 16, asciiName ? 1 : 0);
      bins.PutBytes(vk, 20, valueName);
      valueCells.push_back(vk);
      longestValueName =
          std::max<std::uint32_t>(longestValueName, static_cast<std::uint32_t>(value.name.size() * 2));
      longestData = std::max(longestData, size);
    }
    bins.Put32At(nk, 36, static_cast<std::uint32_t>(valueCells.size()));
    if (valueCells.empty()) {
      bins.Put32At(nk, 40, kNone);
    } else {
      const std::uint32_t list = bins.Alloc(4 * valueCells.size());
      for (std::size_t i = 0; i < valueCells.size(); ++i) bins.Put32At(list, 4 * i, valueCells[i]);
      bins.Put32At(nk, 40, list);
    }

    // Subkeys in the order of their upper-case names, with name hashes.
    std::vector<const RegfKey*> children;
    for (const RegfKey& child : key.subkeys) children.push_back(&child);
    auto upper = [](const RegfKey* k) {
      std::u16string u = velmora::Utf16FromUtf8(k->name);
      for (char16_t& c : u) c = Upper(c);
      return u;
    };
    std::sort(children.begin(), children.end(),
              [&](const RegfKey* a, const RegfKey* b) { return upper(a) < upper(b); });
    std::uint32_t longestSubkey = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> entries;
    for (const RegfKey* child : children) {
      std::uint32_t hash = 0;
      for (char16_t c : upper(child)) hash = hash * 37 + c;
      entries.emplace_back(WriteKey(*child, nk, false), hash);
      longestSubkey =
          std::max<std::uint32_t>(longestSubkey, static_cast<std::uint32_t>(child->name.size() * 2));
    }
    bins.Put32At(nk, 20, static_cast<std::uint32_t>(entries.size()));
    if (entries.empty()) {
      bins.Put32At(nk, 28, kNone);
    } else {
      const std::uint32_t list = bins.Alloc(4 + 8 * entries.size());
      bins.PutBytes(list, 0, "lh");
      bins.Put16(list, 2, static_cast<std::uint16_t>(entries.size()));
      for (std::size_t i = 0; i < entries.size(); ++i) {
        bins.Put32At(list, 4 + 8 * i, entries[i].first);
        bins.Put32At(list, 8 + 8 * i, entries[i].second);
      }
      bins.Put32At(nk, 28, list);
    }
    bins.Put32At(nk, 52, longestSubkey);
    bins.Put32At(nk, 60, longestValueName);
    bins.Put32At(nk, 64, longestData);
    return nk;
  }
};

}  // namespace

RegfKey& RegfKey::Key(const std::string& path) {
  RegfKey* key = this;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t slash = path.find('\\', start);
    if (slash == std::string::npos) slash = path.size();
    std::string part = path.substr(start, slash - start);
    start = slash + 1;
    if (part.empty()) continue;
    auto it = std::find_if(key->subkeys.begin(), key->subkeys.end(),
                           [&](const RegfKey& k) { return k.name == part; });
    if (it == key->subkeys.end()) {
      key->subkeys.push_back(RegfKey{part, {}, {}});
      key = &key->subkeys.back();
    } else {
      key = &*it;
    }
  }
  return *key;
}

RegfKey& RegfKey::Raw(const std::string& valueName, std::uint32_t type, const std::string& bytes) {
  values.push_back(RegfValue{valueName, type, bytes});
  return *this;
}
RegfKey& RegfKey::Sz(const std::string& valueName, const std::string& text) {
  return Raw(valueName, 1, Utf16Data(text));
}
RegfKey& RegfKey::ExpandSz(const std::string& valueName, const std::string& text) {
  return Raw(valueName, 2, Utf16Data(text));
}
RegfKey& RegfKey::Dword(const std::string& valueName, std::uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
  return Raw(valueName, 4, bytes);
}

std::string Utf16Data(const std::string& text) { return Utf16(velmora::Utf16FromUtf8(text) + u'\0'); }

std::string BuildRegfHive(const RegfKey& root, const RegfOptions& options) {
  Writer writer;
  const std::string sd = SecurityDescriptor();
  writer.sk = writer.bins.Alloc(20 + sd.size());
  writer.bins.PutBytes(writer.sk, 0, "sk");
  writer.bins.Put32At(writer.sk, 4, writer.sk);  // the only entry: it links to itself
  writer.bins.Put32At(writer.sk, 8, writer.sk);
  writer.bins.Put32At(writer.sk, 16, static_cast<std::uint32_t>(sd.size()));
  writer.bins.PutBytes(writer.sk, 20, sd);
  const std::uint32_t rootCell = writer.WriteKey(root, kNone, true);
  writer.bins.Put32At(writer.sk, 12, writer.keys);
  const std::string bins = writer.bins.Finish();

  std::string base(4096, '\0');
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) base[at + i] = static_cast<char>(v >> (8 * i));
  };
  std::memcpy(&base[0], "regf", 4);
  put32(4, options.primarySequence);
  put32(8, options.secondarySequence);
  put32(12, static_cast<std::uint32_t>(kTimestamp));
  put32(16, static_cast<std::uint32_t>(kTimestamp >> 32));
  put32(20, 1);  // major version
  put32(24, 5);  // minor version
  put32(28, 0);  // primary file
  put32(32, 1);  // direct memory load
  put32(36, rootCell);
  put32(40, static_cast<std::uint32_t>(bins.size()));
  put32(44, 1);  // clustering factor
  std::string fileName = Utf16(velmora::Utf16FromUtf8(options.fileName));
  if (fileName.size() > 64) fileName = fileName.substr(fileName.size() - 64);
  std::memcpy(&base[48], fileName.data(), fileName.size());
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < 508; i += 4) {
    sum ^= static_cast<std::uint32_t>(static_cast<unsigned char>(base[i])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(base[i + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(base[i + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(base[i + 3])) << 24;
  }
  put32(508, sum);
  return base + bins;
}

// ---------------------------------------------------------------------------

namespace {

void MakeFolders(const std::string& path) {
  std::string partial;
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      partial = path.substr(0, i);
      mkdir(partial.c_str(), 0755);
    }
  }
}

std::string HostOf(const std::string& root, const std::string& windowsPath) {
  std::string path = root;
  for (char c : windowsPath.substr(2)) path += c == '\\' ? '/' : c;
  return path;
}

}  // namespace

WindowsTree::WindowsTree(std::string rootFolder, const std::string& userName, bool xp)
    : root(std::move(rootFolder)), software{"ROOT", {}, {}}, xpLayout(xp) {
  RegfKey& version = software.Key("Microsoft\\Windows NT\\CurrentVersion");
  if (xp) {
    version.Sz("CurrentVersion", "5.1").Sz("CurrentBuildNumber", "2600").Sz("CSDVersion", "Service Pack 3");
    version.Sz("ProductName", "Microsoft Windows XP").Sz("SystemRoot", "C:\\WINDOWS");
  } else {
    version.Sz("CurrentVersion", "6.3")
        .Dword("CurrentMajorVersionNumber", 10)
        .Dword("CurrentMinorVersionNumber", 0);
    version.Sz("CurrentBuildNumber", "19045")
        .Sz("ProductName", "Windows 10 Pro")
        .Sz("SystemRoot", "C:\\Windows");
    software.Key("Microsoft\\Windows NT\\CurrentVersion\\ProfileList")
        .ExpandSz("ProgramData", "%SystemDrive%\\ProgramData")
        .ExpandSz("Public", "%SystemDrive%\\Users\\Public");
    software.Key("WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run");
    software.Key("WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce");
  }
  software.Key("Microsoft\\Windows\\CurrentVersion")
      .Sz("ProgramFilesDir", "C:\\Program Files")
      .Sz("CommonFilesDir", "C:\\Program Files\\Common Files");
  software.Key("Microsoft\\Windows\\CurrentVersion\\Run");
  software.Key("Microsoft\\Windows\\CurrentVersion\\RunOnce");
  software.Key("Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders")
      .Sz("Common Startup", xp ? "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Startup"
                               : "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup");
  software.Key("Classes\\.txt").Sz("", "txtfile");
  User(userName);
}

RegfKey& WindowsTree::User(const std::string& name) {
  for (struct User& user : users)
    if (user.name == name) return user.hive;
  users.push_back({name, RegfKey{"ROOT", {}, {}}});
  RegfKey& hive = users.back().hive;
  const std::string profile = std::string(xpLayout ? "C:\\Documents and Settings\\" : "C:\\Users\\") + name;
  const std::string appData = profile + (xpLayout ? "\\Application Data" : "\\AppData\\Roaming");
  const std::string startMenu =
      xpLayout ? profile + "\\Start Menu" : appData + "\\Microsoft\\Windows\\Start Menu";
  hive.Key("Software\\Microsoft\\Windows\\CurrentVersion\\Run");
  hive.Key("Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce");
  hive.Key("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders")
      .Sz("AppData", appData)
      .Sz("Startup", startMenu + "\\Programs\\Startup");
  hive.Key("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders")
      .ExpandSz("AppData", xpLayout ? "%USERPROFILE%\\Application Data" : "%USERPROFILE%\\AppData\\Roaming");
  hive.Key("Control Panel\\Desktop").Sz("Wallpaper", "");
  hive.Key("Environment").ExpandSz("TEMP", "%USERPROFILE%\\AppData\\Local\\Temp");
  return hive;
}

std::string WindowsTree::ProfileHostPath(const std::string& name) const {
  return root + (xpLayout ? "/Documents and Settings/" : "/Users/") + name;
}
std::string WindowsTree::SoftwareHostPath() const { return root + "/Windows/System32/config/SOFTWARE"; }
std::string WindowsTree::UserHiveHostPath(const std::string& name) const {
  return ProfileHostPath(name) + "/NTUSER.DAT";
}

void WindowsTree::Write(const RegfOptions& softwareOptions, const RegfOptions& userOptions) const {
  MakeFolders(root + "/Windows/System32/config");
  WriteFile(SoftwareHostPath(), BuildRegfHive(software, softwareOptions));
  MakeFolders(HostOf(root, xpLayout ? "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Startup"
                                    : "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"));
  MakeFolders(root + (xpLayout ? "/Documents and Settings/Default User" : "/Users/Default"));
  for (const struct User& user : users) {
    const std::string profile = ProfileHostPath(user.name);
    MakeFolders(profile + (xpLayout ? "/Start Menu/Programs/Startup"
                                    : "/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Startup"));
    RegfOptions options = userOptions;
    options.fileName = "\\??\\" + std::string(xpLayout ? "C:\\Documents and Settings\\" : "C:\\Users\\") +
                       user.name + "\\ntuser.dat";
    WriteFile(UserHiveHostPath(user.name), BuildRegfHive(user.hive, options));
  }
}

}  // namespace velmora::test

// ---------------------------------------------------------------------------

#include <hivex.h>

#include <cstdlib>

namespace velmora::test {

namespace {

bool VisitAll(hive_h* hive, hive_node_h node, int depth, std::string* problem) {
  if (depth > 64) return true;
  char* name = hivex_node_name(hive, node);
  if (!name) {
    *problem = "hivex: a key without a readable name";
    return false;
  }
  free(name);
  hive_value_h* values = hivex_node_values(hive, node);
  if (!values) {
    *problem = "hivex: unreadable values";
    return false;
  }
  for (hive_value_h* v = values; *v; ++v) {
    hive_type type;
    std::size_t length = 0;
    char* data = hivex_value_value(hive, *v, &type, &length);
    char* key = hivex_value_key(hive, *v);
    bool ok = key && (data || length == 0);
    free(data);
    free(key);
    if (!ok) {
      free(values);
      *problem = "hivex: an unreadable value";
      return false;
    }
  }
  free(values);
  hive_node_h* children = hivex_node_children(hive, node);
  if (!children) {
    *problem = "hivex: unreadable subkeys";
    return false;
  }
  bool ok = true;
  for (hive_node_h* c = children; ok && *c; ++c) ok = VisitAll(hive, *c, depth + 1, problem);
  free(children);
  return ok;
}

}  // namespace

std::string HiveReaderProblems(const std::string& hostPath) {
  hive_h* hive = hivex_open(hostPath.c_str(), 0);
  if (!hive) return "hivex cannot open " + hostPath;
  std::string problem;
  VisitAll(hive, hivex_root(hive), 0, &problem);
  hivex_close(hive);
  if (!problem.empty()) return problem;
  CommandOutput info = RunAndCapture(ShellCommand("regfinfo", {hostPath}));
  if (info.status != 0) return "regfinfo failed: " + info.out;
  if (info.out.find("Windows NT Registry File information") == std::string::npos)
    return "regfinfo printed no file information: " + info.out;
  CommandOutput exported = RunAndCapture(ShellCommand("regfexport", {hostPath}));
  if (exported.status != 0) return "regfexport failed: " + exported.out;
  if (exported.out.find("Unable") != std::string::npos || exported.out.find("rror") != std::string::npos)
    return "regfexport reported a problem: " + exported.out;
  return "";
}

std::string RegfExportText(const std::string& hostPath) {
  CommandOutput exported = RunAndCapture(ShellCommand("regfexport", {hostPath}));
  return exported.status == 0 ? exported.out : "";
}

}  // namespace velmora::test
