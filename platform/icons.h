// Icons of executables, libraries and .ico files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "formats/icons.h"

namespace platform {

class ManagedSystem;

// One decoded icon image: the pixels or PNG bytes of formats::IconBitmap.
// |resourceId| marks an icon of the program's own resources (for example 180, the
// default entry icon) that the interface draws itself. |notAnIconFile| is the
// platform's special result 1 of ExtractIconA for files that are neither an
// executable, a library nor an icon file.
struct IconImage : formats::IconBitmap {
  int resourceId = 0;
  bool notAnIconFile = false;
};

// Shared, never destroyed while a Task refers to it; copies of a Task share it.
using IconHandle = std::shared_ptr<const IconImage>;

namespace icons {

// ExtractIconA(path, index): icon number |index| (0 = the first RT_GROUP_ICON
// resource, negative = that resource id) of a PE file, or the icon of a .ico file
// (index 0). nullptr when the file has no such icon; icons::NotAnIconFileResult() for any
// other kind of file or a missing one.
IconHandle Extract(ManagedSystem& system, const std::string& path, int index);

// The special result 1.
IconHandle NotAnIconFileResult();
// An icon of the program's own resources, by resource id (128, 180).
IconHandle ProgramIcon(int resourceId);

// Decodes the image data of one RT_ICON resource or .ico entry (a DIB with its AND
// mask, or a PNG). False for data it cannot decode.
bool DecodeImage(const std::uint8_t* data, std::size_t size, IconImage* image);

}  // namespace icons

}  // namespace platform
