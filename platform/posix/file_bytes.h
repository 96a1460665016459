// A regular file of the host read at offsets, for the readers of formats/.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "formats/byte_source.h"
#include "platform/posix/unique_fd.h"

namespace platform::posix {

// Small reads are served from the file's pages, each read once: a resource walk
// reads a PE image's headers and directories in pieces of a few bytes, and the
// icon reader walks them again after the version reader. Reads of a page or more
// go to the file directly. One reader at a time.
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
  static constexpr std::size_t kPage = 4096;
  bool ReadFile(std::uint64_t offset, std::size_t count, char* out) const;
  // The bytes of page |index| (shorter at the end of the file); null when they
  // could not all be read.
  const std::string* Page(std::uint64_t index) const;

  UniqueFd fd_;
  std::uint64_t size_ = 0;
  mutable std::map<std::uint64_t, std::string> pages_;
  mutable const std::string* last_ = nullptr;  // the page read from last, in pages_
  mutable std::uint64_t lastIndex_ = 0;
};

}  // namespace platform::posix
