#include "app/window_layout.h"

#include "entries/startup_location.h"
#include "platform/managed_system.h"
#include "platform/registry.h"

namespace velmora {

namespace {

constexpr char kWidthValue[] = "MainWindowWidth";
constexpr char kHeightValue[] = "MainWindowHeight";
constexpr char kColumnsValue[] = "ListColumnWidths";
// Beyond any screen: a larger stored figure is a damaged value.
constexpr int kLargestSize = 100000;

int ReadDword(platform::HKey key, const char* name) {
  std::uint8_t bytes[4] = {0, 0, 0, 0};
  std::uint32_t size = sizeof bytes;
  std::uint32_t type = 0;
  if (platform::reg::QueryValue(key, name, &type, bytes, &size) != platform::kSuccess) return 0;
  if (type != platform::kRegDword || size != 4) return 0;
  std::uint32_t value =
      bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
  return value > static_cast<std::uint32_t>(kLargestSize) ? 0 : static_cast<int>(value);
}

platform::Status WriteDword(platform::HKey key, const char* name, int value) {
  const auto v = static_cast<std::uint32_t>(value);
  const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                                 static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
  return platform::reg::SetValue(key, name, platform::kRegDword, bytes, sizeof bytes);
}

}  // namespace

std::vector<int> ParseColumnWidths(const std::string& text) {
  std::vector<int> widths;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t comma = text.find(',', start);
    std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (part.empty() || part.size() > 6 || part.find_first_not_of("0123456789") != std::string::npos)
      return {};
    int width = std::stoi(part);
    if (width <= 0 || width > kLargestSize) return {};
    widths.push_back(width);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return widths;
}

std::string ColumnWidthsText(const std::vector<int>& widths) {
  std::string text;
  for (std::size_t i = 0; i < widths.size(); ++i) text += (i ? "," : "") + std::to_string(widths[i]);
  return text;
}

WindowLayout WindowLayout::Load(platform::ManagedSystem& system) {
  WindowLayout layout;
  platform::UniqueKey key;
  if (platform::reg::OpenKey(system.CurrentUser(), ProgramKeyPath(), platform::kKeyRead, key.out()) !=
      platform::kSuccess) {
    return layout;
  }
  layout.width = ReadDword(key.get(), kWidthValue);
  layout.height = ReadDword(key.get(), kHeightValue);
  std::string text;
  if (platform::reg::QueryString(key.get(), kColumnsValue, &text) == platform::kSuccess) {
    layout.columnWidths = ParseColumnWidths(text);
  }
  return layout;
}

bool WindowLayout::Save(platform::ManagedSystem& system) const {
  platform::UniqueKey key;
  if (platform::reg::CreateKey(system.CurrentUser(), ProgramKeyPath(), key.out()) != platform::kSuccess)
    return false;
  bool ok = true;
  if (width > 0 && height > 0) {
    ok = WriteDword(key.get(), kWidthValue, width) == platform::kSuccess && ok;
    ok = WriteDword(key.get(), kHeightValue, height) == platform::kSuccess && ok;
  }
  if (!columnWidths.empty()) {
    ok = platform::reg::SetString(key.get(), kColumnsValue, ColumnWidthsText(columnWidths)) ==
             platform::kSuccess &&
         ok;
  } else {
    // The columns fit their content again: a width chosen earlier is forgotten.
    platform::reg::DeleteValue(key.get(), kColumnsValue);
  }
  return ok;
}

}  // namespace velmora
