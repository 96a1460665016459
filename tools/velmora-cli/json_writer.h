// Minimal JSON output for the command-line tool.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace velmora::cli {

// A JSON string literal. Valid UTF-8 passes through; other bytes are taken as
// Latin-1 characters, so the output is always valid JSON.
std::string JsonString(std::string_view text);
// The same literal, appended to |out|.
void AppendJsonString(std::string* out, std::string_view text);

// JSON text made piece by piece, for output made of many small pieces: each
// piece is copied in place, without the bookkeeping of a string's append.
class JsonText {
 public:
  void Raw(std::string_view piece) {
    std::memcpy(Room(piece.size()), piece.data(), piece.size());
    size_ += piece.size();
  }
  void Char(char c) {
    *Room(1) = c;
    ++size_;
  }
  void String(std::string_view text);  // as JsonString
  void Number(long long value);
  void Bool(bool value) { Raw(value ? std::string_view("true") : std::string_view("false")); }

  std::string_view View() const { return std::string_view(buffer_.data(), size_); }
  std::size_t Size() const { return size_; }
  void Clear() { size_ = 0; }
  // Drops the last |count| bytes.
  void DropLast(std::size_t count) { size_ -= count < size_ ? count : size_; }

 private:
  // Where |count| more bytes go.
  char* Room(std::size_t count) {
    if (buffer_.size() - size_ < count) Grow(count);
    return buffer_.data() + size_;
  }
  void Grow(std::size_t count);

  std::string buffer_;  // its own size is the room; |size_| bytes are written
  std::size_t size_ = 0;
};

}  // namespace velmora::cli
