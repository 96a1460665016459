// The resource tree of PE images (PE32 and PE32+), read through a ByteSource:
// every read is checked against the file's size, so a truncated or corrupt file
// gives a failure, never a read past its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/byte_source.h"

namespace formats {

constexpr std::uint16_t kRtIcon = 3;
constexpr std::uint16_t kRtGroupIcon = 14;
constexpr std::uint16_t kRtVersion = 16;

// One entry of a resource directory.
struct ResourceEntry {
  bool named = false;
  std::u16string name;   // when named
  std::uint16_t id = 0;  // when not named
  bool isDirectory = false;
  std::uint32_t offset = 0;  // of the subdirectory or data entry, from the tree's root
};

class PeImage {
 public:
  // True when |file| holds a PE image; |file| must outlive this object.
  bool Open(const ByteSource* file);
  bool HasResources() const { return resourceRva_ != 0; }

  // The entries of the directory at |offset| (0 = the root), in stored order:
  // named entries first, then IDs ascending.
  bool ReadDirectory(std::uint32_t offset, std::vector<ResourceEntry>* entries) const;
  // The bytes of the data entry at |offset|; false when the data lies outside the
  // file or is larger than |maxSize|.
  bool ReadData(std::uint32_t offset, std::size_t maxSize, std::string* bytes) const;

  // The names (second level) of resource type |type|.
  bool ListNames(std::uint16_t type, std::vector<ResourceEntry>* names) const;
  // The data of the first language of the resource |name| (an entry ListNames gave).
  bool ReadFirstLanguage(const ResourceEntry& name, std::size_t maxSize, std::string* bytes) const;
  // The first language of resource |type|/|id|.
  bool ReadResource(std::uint16_t type, std::uint16_t id, std::size_t maxSize, std::string* bytes) const;

 private:
  struct Section {
    std::uint32_t virtualAddress = 0;
    std::uint32_t virtualSize = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawPointer = 0;
  };
  // File offset of |size| bytes at |rva|, all inside one section's raw data.
  bool RvaToOffset(std::uint32_t rva, std::uint32_t size, std::uint64_t* offset) const;
  bool ReadTree(std::uint32_t offset, std::size_t count, std::string* out) const;

  const ByteSource* file_ = nullptr;
  std::vector<Section> sections_;
  std::uint32_t resourceRva_ = 0;
};

// What a file holds, judged by its first bytes.
enum class FileKind { kPe, kOtherExecutable, kIconFile, kOther };
FileKind DetectFileKind(const ByteSource& file);

}  // namespace formats
