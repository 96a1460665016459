// A regular file of the host read at offsets, for the readers of formats/.
#pragma once

#include <cstdint>
#include <string>

#include "formats/byte_source.h"
#include "platform/posix/unique_fd.h"

namespace platform::posix {

class FileBytes final : public formats::ByteSource {
 public:
  FileBytes() = default;
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;

  // False when the file is missing, unreadable or not a regular file.
  bool Open(const std::string& hostPath);
  std::uint64_t size() const override { return size_; }
  using formats::ByteSource::Read;
  bool Read(std::uint64_t offset, std::size_t count, void* out) const override;

 private:
  UniqueFd fd_;
  std::uint64_t size_ = 0;
};

}  // namespace platform::posix
