// Writing a hive as Wine's registry text: untouched blocks as they were read,
// changed keys and values in the form Wine writes them.
#include <cstdio>

#include "formats/registry_hive.h"
#include "formats/registry_lexing.h"

namespace formats {

namespace {

using namespace registry_detail;

std::string HexNumber(const char* format, unsigned value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

std::string KeyPathText(const HiveNode* node) {
  std::vector<std::u16string> path = Hive::PathOf(node);
  std::string text;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (i) text += "\\\\";
    text += EscapeRegistryText(path[i], "[]");
  }
  return text;
}

std::string TimeLine(std::uint64_t filetime) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "#time=%x%08x\n", static_cast<unsigned>(filetime >> 32),
                static_cast<unsigned>(filetime & 0xFFFFFFFFu));
  return buffer;
}

std::string KeyLine(const HiveNode* node, std::uint64_t filetime) {
  unsigned seconds = static_cast<unsigned>((filetime - 116444736000000000ull) / 10000000u);
  return "[" + KeyPathText(node) + "] " + std::to_string(seconds) + "\n";
}

std::u16string Utf16LeUnits(const std::string& data, std::size_t count) {
  std::u16string units(count, u'\0');
  for (std::size_t i = 0; i < count; ++i)
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(data[2 * i]) |
                                     static_cast<unsigned char>(data[2 * i + 1]) << 8);
  return units;
}

}  // namespace

std::string FormatValue(const HiveValue& value) {
  std::string out;
  if (!value.name.empty()) {
    out = "\"" + EscapeRegistryText(value.name, "\"") + "\"=";
  } else {
    out = "@=";
  }
  std::size_t count = out.size();
  const std::string& data = value.data;
  switch (value.type) {
    case kSz:
    case kExpandSz:
    case kMultiSz:
      // Only properly terminated strings are written as strings.
      if (data.size() >= 2 && data.size() % 2 == 0 && data[data.size() - 1] == 0 &&
          data[data.size() - 2] == 0) {
        if (value.type != kSz) out += HexNumber("str(%x):", value.type);
        out += '"';
        out += EscapeRegistryText(Utf16LeUnits(data, data.size() / 2 - 1), "\"");
        out += "\"\n";
        return out;
      }
      break;
    case kDword:
      if (data.size() == 4) {
        std::uint32_t number = static_cast<unsigned char>(data[0]) |
                               static_cast<unsigned char>(data[1]) << 8 |
                               static_cast<unsigned char>(data[2]) << 16 |
                               static_cast<std::uint32_t>(static_cast<unsigned char>(data[3])) << 24;
        out += HexNumber("dword:%08x\n", number);
        return out;
      }
      break;
  }
  std::string tag = value.type == kBinary ? "hex:" : HexNumber("hex(%x):", value.type);
  out += tag;
  count += tag.size();
  char digits[4];
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(data[i]));
    out += digits;
    count += 2;
    if (i + 1 < data.size()) {
      out += ',';
      if (++count > 76) {
        out += "\\\n  ";
        count = 2;
      }
    }
  }
  out += '\n';
  return out;
}

std::string Hive::Serialize() {
  Complete();
  MergeRepeatedValues();
  std::string out;
  std::size_t estimate = header_.size() + trailer_.size();
  for (const auto& block : blocks_) {
    estimate += block->lead.size() + block->keyLine.size() + 64 * block->items.size();
    estimate += block->span.size();
    for (std::string_view span : block->laterSpans) estimate += span.size();
  }
  out.reserve(estimate);
  // A file read without a newline at its end has a last line without one: what
  // follows it now must start a line of its own, or the two would run together.
  auto append = [&out](std::string_view piece) {
    if (!piece.empty() && !out.empty() && out.back() != '\n') out += '\n';
    out += piece;
  };
  append(header_);
  for (const auto& block : blocks_) {
    append(block->lead);
    if (!block->decoded) {
      append(block->keyLine);
      append(block->span);  // an undecoded block has no later spans
      continue;
    }
    bool fresh = block->touched || block->keyLine.empty();
    append(fresh ? KeyLine(block->node, block->modified) : block->keyLine);
    bool hasTime = false;
    for (const HiveItem& item : block->items) hasTime |= item.kind == HiveItem::kTime;
    if (fresh && !hasTime) append(TimeLine(block->modified));
    for (const HiveItem& item : block->items) {
      switch (item.kind) {
        case HiveItem::kValue:
          if (item.value.text.empty()) {
            append(FormatValue(item.value));
          } else {
            append(item.value.text);
          }
          break;
        case HiveItem::kTime:
          append(fresh ? TimeLine(block->modified) : item.text);
          break;
        case HiveItem::kOther:
          append(item.text);
          break;
      }
    }
  }
  append(trailer_);
  return out;
}

}  // namespace formats
