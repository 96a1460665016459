// Icons of PE images (RT_GROUP_ICON / RT_ICON) and .ico files, decoded for the
// 16 x 16 image list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/byte_source.h"

namespace formats {

// One decoded icon image. Either |pixels| (non-premultiplied ARGB, row by row,
// top row first) or |png| (the PNG bytes of an icon stored as PNG) is set.
struct IconBitmap {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
  std::string png;
};

// Decodes the image data of one RT_ICON resource or .ico entry (a DIB with its AND
// mask, or a PNG). False for data it cannot decode.
bool DecodeIconImage(const std::uint8_t* data, std::size_t size, IconBitmap* image);

enum class IconSearch {
  kFound,           // |image| holds the icon
  kNoIcon,          // an executable or icon file without that icon
  kNotAnIconSource  // neither an executable, a library nor an icon file
};

// ExtractIconA's icon number |index| of |file| (0 = the first RT_GROUP_ICON
// resource of a PE image, negative = that resource id; index 0 of an icon file),
// the image of it that suits a 16 x 16 list best.
IconSearch FindIcon(const ByteSource& file, int index, IconBitmap* image);

}  // namespace formats
