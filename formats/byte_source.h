// Bytes read at offsets, from a file or from memory. The readers of formats/ read
// through it: every read is checked against the size, so a truncated or corrupt
// file gives a failure, never a read past its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace formats {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t size() const = 0;
  // Reads exactly |count| bytes at |offset|; false when they are not all there.
  virtual bool Read(std::uint64_t offset, std::size_t count, void* out) const = 0;
  // The same into |out|, which is empty after a failure.
  bool Read(std::uint64_t offset, std::size_t count, std::string* out) const;
};

// Bytes held in memory; they must outlive this object. Null data holds nothing
// and fails every read.
class MemoryBytes final : public ByteSource {
 public:
  MemoryBytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(data ? size : 0) {}
  std::uint64_t size() const override { return size_; }
  using ByteSource::Read;
  bool Read(std::uint64_t offset, std::size_t count, void* out) const override;

 private:
  const std::uint8_t* data_;
  std::uint64_t size_;
};

// Little-endian reads from a byte buffer; the caller checks the bounds.
inline std::uint16_t ReadU16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t ReadU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint16_t ReadU16(const std::string& s, std::size_t at) {
  return ReadU16(reinterpret_cast<const std::uint8_t*>(s.data()) + at);
}
inline std::uint32_t ReadU32(const std::string& s, std::size_t at) {
  return ReadU32(reinterpret_cast<const std::uint8_t*>(s.data()) + at);
}

}  // namespace formats
