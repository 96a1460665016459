// The main window's size and the entry list's column widths, kept beside the
// settings under the program's key in values of their own, so that a stored
// configuration without them stays valid:
//   "MainWindowWidth", "MainWindowHeight"  REG_DWORD, pixels
//   "ListColumnWidths"                     REG_SZ, widths in pixels, comma-separated
// A value that is missing or does not read as expected is left at 0 / empty.
#pragma once

#include <string>
#include <vector>

namespace platform {
class ManagedSystem;
}

namespace velmora {

struct WindowLayout {
  int width = 0;
  int height = 0;
  std::vector<int> columnWidths;  // empty: the columns fit their content

  // Read from and written to the user's registry of |system|.
  static WindowLayout Load(platform::ManagedSystem& system);
  // Writes the values that are set; false when the program key cannot be written.
  bool Save(platform::ManagedSystem& system) const;
};

// "90,100,90" -> {90, 100, 90}; empty for text that is not such a list of
// positive numbers.
std::vector<int> ParseColumnWidths(const std::string& text);
std::string ColumnWidthsText(const std::vector<int>& widths);

}  // namespace velmora
