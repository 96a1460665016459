// The single writes that apply, roll-back, profiles and the store clean-up make to
// the locations, the store and the kept copies. Each is one atomic step of the
// platform (a hive file or an item replaced as a whole), and each is counted, so
// that a caller can observe how far a sequence of writes got.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/registry.h"
#include "platform/status.h"

namespace platform {
class ManagedSystem;
}  // namespace platform

namespace velmora::changes {

// Called after every write with the number of writes made since the observer was
// set (1 for the first). Empty: no observer.
using WriteObserver = std::function<void(int writeNumber)>;
void SetWriteObserver(WriteObserver observer);

platform::Status SetRawValue(platform::HKey key, const std::string& name, std::uint32_t type,
                             const std::string& data);
platform::Status SetTextValue(platform::HKey key, const std::string& name, const std::string& text,
                              std::uint32_t type = platform::kRegSz);
// Copies the value |fromName| of |from| to |to| as |toName| exactly: type and bytes
// as the hive holds them. Writes only when |to| holds other bytes there.
platform::Status CopyStoredValue(platform::HKey from, const std::string& fromName, platform::HKey to,
                                 const std::string& toName);
// A value that is not there counts as deleted.
platform::Status RemoveValue(platform::HKey key, const std::string& name);
platform::Status WriteItem(platform::ManagedSystem& system, const std::string& path,
                           const std::string& bytes);
// A file that is not there counts as deleted.
platform::Status RemoveItem(platform::ManagedSystem& system, const std::string& path);
platform::Status RemoveKeyTree(platform::HKey root, const std::string& subKey);
// Counts a write made elsewhere (a shortcut saved by the shell-link writer).
void CountWrite();

// "could not <what> (<status text>)" with the platform's explanation when it has one.
std::string FailureText(const std::string& what, platform::Status status);
// Why the key |keyName| ("the key of CU Run") did not open: "<keyName> does not
// exist" for a missing key (never created here), else FailureText.
std::string KeyOpenFailureText(const std::string& keyName, platform::Status status);

}  // namespace velmora::changes
