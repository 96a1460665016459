#include "formats/registry_index.h"

#include <cstdint>
#include <functional>
#include <limits>

#include "formats/byte_source.h"

namespace formats {

namespace {

constexpr std::string_view kMagic = "VLMHIDX1";

// A number below 255 in its byte; any other as 255 and its four bytes. Nearly
// every distance between a key line's offsets is below 255, so reading them back
// rarely takes the longer way and seldom guesses it wrong.
constexpr unsigned char kLonger = 0xFF;

// Writes |value| at |out|; returns where the next number goes.
inline char* PutNumber(std::uint32_t value, char* out) {
  if (value < kLonger) {
    *out = static_cast<char>(value);
    return out + 1;
  }
  *out++ = static_cast<char>(kLonger);
  for (int i = 0; i < 4; ++i) *out++ = static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}

void PutNumber(std::uint32_t value, std::string* out) {
  char bytes[5];
  out->append(bytes, PutNumber(value, bytes));
}

void PutFixed(std::uint64_t value, std::string* out) {
  for (int i = 0; i < 8; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::uint64_t Checksum(std::string_view bytes) { return std::hash<std::string_view>{}(bytes); }

// Reads the bytes written by PutNumber and PutFixed, noting any that run past the
// end.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  bool Fixed(std::uint64_t* value) {
    if (bytes_.size() - at_ < 8) return false;
    *value = U32(at_) | (std::uint64_t{U32(at_ + 4)} << 32);
    at_ += 8;
    return true;
  }
  bool Number(std::uint64_t* value) {
    if (at_ == bytes_.size()) return false;
    const auto byte = static_cast<unsigned char>(bytes_[at_++]);
    if (byte != kLonger) {
      *value = byte;
      return true;
    }
    if (bytes_.size() - at_ < 4) return false;
    *value = U32(at_);
    at_ += 4;
    return true;
  }
  bool Bytes(std::size_t count, std::string_view* out) {
    if (bytes_.size() - at_ < count) return false;
    *out = bytes_.substr(at_, count);
    at_ += count;
    return true;
  }
  bool AtEnd() const { return at_ == bytes_.size(); }

 private:
  std::uint32_t U32(std::size_t at) const {
    return ReadU32(reinterpret_cast<const std::uint8_t*>(bytes_.data()) + at);
  }

  std::string_view bytes_;
  std::size_t at_ = 0;
};

}  // namespace

std::string EncodeHiveIndex(const HiveIndex& index, std::string_view stamp, std::size_t textSize) {
  std::string body;
  body.reserve(32 + stamp.size() + index.keys.size() * 6);
  PutNumber(static_cast<std::uint32_t>(stamp.size()), &body);
  body.append(stamp);
  PutFixed(textSize, &body);
  PutNumber(index.headerEnd, &body);
  PutNumber(static_cast<std::uint32_t>(index.keys.size()), &body);
  std::uint32_t last = index.headerEnd;
  for (const HiveKeyLine& key : index.keys) {
    if (key.pathEnd - key.pathStart > std::numeric_limits<std::uint32_t>::max() >> 1) return "";
    char bytes[25];  // five numbers of at most five bytes: one append a key
    char* end = PutNumber(key.lineStart - last, bytes);
    end = PutNumber(key.pathStart - key.lineStart, end);
    end = PutNumber(((key.pathEnd - key.pathStart) << 1) | (key.plain ? 1 : 0), end);
    end = PutNumber(key.bodyStart - key.pathEnd, end);
    end = PutNumber(key.bodyEnd - key.bodyStart, end);
    body.append(bytes, end);
    last = key.bodyEnd;
  }
  PutNumber(index.trailerStart - last, &body);
  std::string bytes(kMagic);
  PutFixed(Checksum(body), &bytes);
  return bytes + body;
}

bool DecodeHiveIndex(std::string_view bytes, std::string_view stamp, std::string_view text,
                     HiveIndex* index) {
  if (bytes.substr(0, kMagic.size()) != kMagic) return false;
  Reader head(bytes.substr(kMagic.size()));
  std::uint64_t checksum = 0;
  if (!head.Fixed(&checksum)) return false;
  const std::string_view body = bytes.substr(kMagic.size() + 8);
  if (Checksum(body) != checksum) return false;

  Reader in(body);
  std::uint64_t stampSize = 0, textSize = 0, headerEnd = 0, count = 0;
  std::string_view stored;
  if (!in.Number(&stampSize) || !in.Bytes(stampSize, &stored) || stored != stamp) return false;
  if (!in.Fixed(&textSize) || textSize != text.size() || !in.Number(&headerEnd) || headerEnd > text.size())
    return false;
  if (!in.Number(&count) || count > text.size() / 3) return false;  // a key line takes at least "[]\n"
  HiveIndex read;
  read.headerEnd = static_cast<std::uint32_t>(headerEnd);
  read.keys.reserve(count);
  // Each offset follows the one before it, so none can pass the end of the text
  // unless one of them is checked to: every sum is checked against its size.
  std::uint64_t last = headerEnd;
  auto next = [&](std::uint64_t from, std::uint64_t* at) {
    std::uint64_t distance = 0;
    if (!in.Number(&distance) || distance > text.size() - from) return false;
    *at = from + distance;
    return true;
  };
  for (std::uint64_t k = 0; k < count; ++k) {
    std::uint64_t lineStart, pathStart, pathEnd, bodyStart, bodyEnd, pathField;
    if (!next(last, &lineStart) || !next(lineStart, &pathStart) || !in.Number(&pathField)) return false;
    if (pathStart == lineStart || text[pathStart - 1] != '[') return false;
    if ((pathField >> 1) >= text.size() - pathStart) return false;
    pathEnd = pathStart + (pathField >> 1);
    if (text[pathEnd] != ']' || !next(pathEnd, &bodyStart) || bodyStart == pathEnd) return false;
    if (bodyStart < text.size() && text[bodyStart - 1] != '\n') return false;
    if (!next(bodyStart, &bodyEnd)) return false;
    read.keys.push_back({static_cast<std::uint32_t>(lineStart), static_cast<std::uint32_t>(pathStart),
                         static_cast<std::uint32_t>(pathEnd), static_cast<std::uint32_t>(bodyStart),
                         static_cast<std::uint32_t>(bodyEnd), (pathField & 1) != 0});
    last = bodyEnd;
  }
  std::uint64_t trailerStart = 0;
  if (!next(last, &trailerStart) || !in.AtEnd()) return false;
  read.trailerStart = static_cast<std::uint32_t>(trailerStart);
  *index = std::move(read);
  return true;
}

}  // namespace formats
