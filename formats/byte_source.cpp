#include "formats/byte_source.h"

#include <cstring>

namespace formats {

bool ByteSource::Read(std::uint64_t offset, std::size_t count, std::string* out) const {
  out->clear();
  if (offset > size() || count > size() - offset) return false;
  out->resize(count);
  if (!Read(offset, count, out->data())) {
    out->clear();
    return false;
  }
  return true;
}

bool MemoryBytes::Read(std::uint64_t offset, std::size_t count, void* out) const {
  if (!data_ || offset > size_ || count > size_ - offset) return false;
  if (count) std::memcpy(out, data_ + offset, count);
  return true;
}

}  // namespace formats
