// The registry, with the semantics of the Win32 A-functions.
//
// Strings are 8-bit (UTF-8 on Linux). Key and value names compare without regard
// to letter case. A key handle stays valid until it is closed; closing it releases
// nothing but the handle. Every modifying call is written through to the hive file
// before it returns, so a call that succeeded is on disk.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/status.h"

namespace platform {

struct RegistryKeyHandle;
using HKey = RegistryKeyHandle*;

// The predefined roots are those of a system: ManagedSystem::LocalMachine() and
// CurrentUser() (platform/managed_system.h). They need not (and cannot) be closed.

constexpr std::uint32_t kRegNone = 0;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiSz = 7;

constexpr std::uint32_t kKeyRead = 0x20019;
constexpr std::uint32_t kKeyAllAccess = 0xF003F;

// One value as a whole, for the conveniences of reg:: below.
struct RegistryValue {
  std::string name;
  std::uint32_t type = kRegNone;
  std::string data;  // raw bytes as reg::QueryValue returns them
};

namespace reg {

// Opens an existing key. kKeyAllAccess on a key of HKEY_LOCAL_MACHINE fails with
// kAccessDenied when the machine hive file is not writable.
Status OpenKey(HKey root, const std::string& subKey, std::uint32_t access, HKey* result);
// Opens a key, creating it (and its parents) when missing.
Status CreateKey(HKey root, const std::string& subKey, HKey* result);
Status CloseKey(HKey key);

// Value at |index| in the key's value order. On entry *nameSize and *dataSize are
// the capacities of |name| (characters, including the terminating zero) and |data|
// (bytes); on return they hold the lengths (name without its zero). A name or data
// that does not fit gives kMoreData; past the last value kNoMoreItems. |type|,
// |data| and |dataSize| may be null.
Status EnumValue(HKey key, std::uint32_t index, char* name, std::uint32_t* nameSize, std::uint32_t* type,
                 std::uint8_t* data, std::uint32_t* dataSize);
// The values of a key in one walk where its system has one (see
// ManagedSystem::ReadValues, whose arguments these are); kNotSupported elsewhere.
Status ReadValuesAtOnce(HKey key, std::uint32_t maxName, std::uint32_t maxData,
                        std::vector<RegistryValue>* values, std::uint32_t* skipped);
// Reads a value by name ("" = the default value). *dataSize is the capacity on
// entry and the needed or stored length on return; kMoreData when it does not fit.
// String data is returned as 8-bit text with its terminating zero.
Status QueryValue(HKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                  std::uint32_t* dataSize);
Status SetValue(HKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                std::uint32_t dataSize);
Status DeleteValue(HKey key, const std::string& name);
// A value's bytes as the hive holds them, strings as UTF-16LE whether or not they
// end in a zero or hold whole characters: for copying a value exactly, which the
// 8-bit text form above cannot do for every string.
Status QueryStoredValue(HKey key, const std::string& name, std::uint32_t* type, std::string* bytes);
Status SetStoredValue(HKey key, const std::string& name, std::uint32_t type, const std::string& bytes);
// Name of the subkey at |index|; |size| is the capacity including the zero.
Status EnumKey(HKey key, std::uint32_t index, char* name, std::uint32_t size);
// Deletes a key with everything below it.
Status DeleteTree(HKey root, const std::string& subKey);

// Conveniences over the calls above for code that wants whole values rather than
// fixed buffers. They keep the same status codes.
Status ReadAllValues(HKey key, std::vector<RegistryValue>* values);
Status QueryString(HKey key, const std::string& name, std::string* text);  // up to the first zero
Status SetString(HKey key, const std::string& name, const std::string& text, std::uint32_t type = kRegSz);

}  // namespace reg

// Owns an opened key and closes it when it goes out of scope. Pass out() where a
// call returns a key: reg::OpenKey(root, path, kKeyRead, key.out()).
class UniqueKey {
 public:
  UniqueKey() = default;
  explicit UniqueKey(HKey key) : key_(key) {}
  ~UniqueKey() { reset(); }
  UniqueKey(UniqueKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
  UniqueKey& operator=(UniqueKey&& other) noexcept {
    if (this != &other) {
      reset();
      key_ = std::exchange(other.key_, nullptr);
    }
    return *this;
  }
  UniqueKey(const UniqueKey&) = delete;
  UniqueKey& operator=(const UniqueKey&) = delete;

  HKey get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }
  // Closes the key held so far and hands out the slot for a new one.
  HKey* out() {
    reset();
    return &key_;
  }
  void reset() {
    if (key_) reg::CloseKey(std::exchange(key_, nullptr));
  }

 private:
  HKey key_ = nullptr;
};

}  // namespace platform
