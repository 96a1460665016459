// Builds binary registry hives (regf) for tests, from the published description
// of the format: a 4,096-byte base block, then one hive bin holding the cells
// (key nodes "nk" with "lh" subkey lists, values "vk" with their data cells, and
// one shared security cell "sk").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::test {

struct RegfValue {
  std::string name;  // UTF-8; "" is the default value
  std::uint32_t type = 0;
  std::string data;  // bytes as the hive holds them
};

struct RegfKey {
  std::string name;
  std::vector<RegfValue> values;
  std::vector<RegfKey> subkeys;

  // The key at |path| ("A\\B\\C") below this one, made when missing.
  RegfKey& Key(const std::string& path);
  RegfKey& Sz(const std::string& name, const std::string& text);        // REG_SZ
  RegfKey& ExpandSz(const std::string& name, const std::string& text);  // REG_EXPAND_SZ
  RegfKey& Dword(const std::string& name, std::uint32_t value);
  RegfKey& Raw(const std::string& name, std::uint32_t type, const std::string& bytes);
};

struct RegfOptions {
  std::uint32_t primarySequence = 7;
  std::uint32_t secondarySequence = 7;  // differs from the primary one in a dirty hive
  std::string fileName = "\\??\\C:\\Windows\\System32\\config\\SOFTWARE";
};

// The bytes of a hive whose root key is |root|.
std::string BuildRegfHive(const RegfKey& root, const RegfOptions& options = RegfOptions());

// UTF-16LE bytes of |text| with a terminating zero, as string values are stored.
std::string Utf16Data(const std::string& text);

// A mounted Windows installation in a host folder: SOFTWARE, user profiles with
// their NTUSER.DAT, Startup folders. Hives are written by Write().
struct WindowsTree {
  std::string root;
  RegfKey software;  // HKEY_LOCAL_MACHINE\Software
  struct User {
    std::string name;
    RegfKey hive;
  };
  std::vector<User> users;
  bool xpLayout = false;  // "Documents and Settings" and version 5.1, else "Users" and version 10

  // An installation with the usual keys (version, Shell Folders, Run keys, the
  // 32-bit view) and one user |userName|.
  WindowsTree(std::string rootFolder, const std::string& userName, bool xp = false);
  RegfKey& User(const std::string& name);  // adds the user when missing
  std::string ProfileHostPath(const std::string& name) const;
  std::string SoftwareHostPath() const;
  std::string UserHiveHostPath(const std::string& name) const;
  void Write(const RegfOptions& softwareOptions = RegfOptions(),
             const RegfOptions& userOptions = RegfOptions()) const;
};

}  // namespace velmora::test

namespace velmora::test {

// Reads a hive with the two independent readers, libhivex (every key and value
// visited) and libregf's regfinfo/regfexport; "" when both read it whole, else
// what went wrong.
std::string HiveReaderProblems(const std::string& hostPath);
// regfexport's text of a hive (keys with their values), "" when it fails.
std::string RegfExportText(const std::string& hostPath);

}  // namespace velmora::test
