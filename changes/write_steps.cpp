#include "changes/write_steps.h"

#include "platform/files.h"

namespace velmora::changes {

namespace {

struct Counter {
  WriteObserver observer;
  int count = 0;
};

Counter& TheCounter() {
  static Counter counter;
  return counter;
}

const char* StatusText(platform::Status status) {
  switch (status) {
    case platform::kFileNotFound:
      return "not found";
    case platform::kPathNotFound:
      return "path not found";
    case platform::kAccessDenied:
      return "access denied";
    case platform::kInvalidData:
      return "invalid data";
    case platform::kWriteFault:
      return "write fault";
    case platform::kSharingViolation:
      return "the prefix is in use by a running wineserver";
    case platform::kInvalidParameter:
      return "invalid parameter";
    case platform::kBadRegistryFile:
      return "a registry file of the prefix cannot be read";
    default:
      return "failed";
  }
}

}  // namespace

void SetWriteObserver(WriteObserver observer) {
  TheCounter().observer = std::move(observer);
  TheCounter().count = 0;
}

void CountWrite() {
  Counter& counter = TheCounter();
  ++counter.count;
  if (counter.observer) counter.observer(counter.count);
}

platform::Status SetRawValue(platform::HKey key, const std::string& name, std::uint32_t type,
                             const std::string& data) {
  platform::Status status =
      platform::reg::SetValue(key, name, type, reinterpret_cast<const std::uint8_t*>(data.data()),
                              static_cast<std::uint32_t>(data.size()));
  CountWrite();
  return status;
}

platform::Status CopyStoredValue(platform::HKey from, const std::string& fromName, platform::HKey to,
                                 const std::string& toName) {
  std::uint32_t type = 0, currentType = 0;
  std::string bytes, current;
  platform::Status status = platform::reg::QueryStoredValue(from, fromName, &type, &bytes);
  if (status != platform::kSuccess) return status;
  if (platform::reg::QueryStoredValue(to, toName, &currentType, &current) == platform::kSuccess &&
      currentType == type && current == bytes)
    return platform::kSuccess;
  status = platform::reg::SetStoredValue(to, toName, type, bytes);
  CountWrite();
  return status;
}

platform::Status SetTextValue(platform::HKey key, const std::string& name, const std::string& text,
                              std::uint32_t type) {
  platform::Status status = platform::reg::SetString(key, name, text, type);
  CountWrite();
  return status;
}

platform::Status RemoveValue(platform::HKey key, const std::string& name) {
  platform::Status status = platform::reg::DeleteValue(key, name);
  CountWrite();
  return status == platform::kFileNotFound ? platform::kSuccess : status;
}

platform::Status WriteItem(platform::ManagedSystem& system, const std::string& path,
                           const std::string& bytes) {
  platform::Status status = platform::files::WriteAtomic(system, path, bytes);
  CountWrite();
  return status;
}

platform::Status RemoveItem(platform::ManagedSystem& system, const std::string& path) {
  platform::Status status = platform::files::RemoveFile(system, path);
  CountWrite();
  return status == platform::kFileNotFound || status == platform::kPathNotFound ? platform::kSuccess : status;
}

platform::Status RemoveKeyTree(platform::HKey root, const std::string& subKey) {
  platform::Status status = platform::reg::DeleteTree(root, subKey);
  CountWrite();
  return status == platform::kFileNotFound ? platform::kSuccess : status;
}

std::string FailureText(const std::string& what, platform::Status status) {
  std::string text = "could not " + what + " (" + StatusText(status);
  if (status != platform::kSuccess && StatusText(status) == std::string("failed"))
    text += " " + std::to_string(status);
  const std::string& detail = platform::LastErrorDetail();
  if (!detail.empty()) text += ": " + detail;
  return text + ")";
}

std::string KeyOpenFailureText(const std::string& keyName, platform::Status status) {
  if (status == platform::kFileNotFound || status == platform::kPathNotFound)
    return keyName + " does not exist";
  return FailureText("open " + keyName, status);
}

}  // namespace velmora::changes
