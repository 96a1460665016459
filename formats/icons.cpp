// Icons of PE files (RT_GROUP_ICON / RT_ICON) and .ico files, decoded for the
// 16 x 16 image list.
#include "formats/icons.h"

#include <algorithm>
#include <cstring>

#include "formats/pe_image.h"

namespace formats {

namespace {

constexpr std::size_t kMaxGroupSize = 1 << 20;
constexpr std::size_t kMaxImageSize = 16 << 20;
constexpr int kMaxDimension = 1024;
constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::int32_t ReadI32(const std::uint8_t* p) { return static_cast<std::int32_t>(ReadU32(p)); }
std::uint32_t ReadU32Be(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

bool IsPng(const std::uint8_t* data, std::size_t size) {
  return size >= 8 && std::memcmp(data, kPngSignature, 8) == 0;
}

bool DecodePng(const std::uint8_t* data, std::size_t size, IconBitmap* image) {
  // Signature, then the IHDR chunk: length, "IHDR", width, height (big-endian).
  if (size < 24 || std::memcmp(data + 12, "IHDR", 4) != 0) return false;
  std::uint32_t width = ReadU32Be(data + 16);
  std::uint32_t height = ReadU32Be(data + 20);
  if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return false;
  image->width = static_cast<int>(width);
  image->height = static_cast<int>(height);
  image->png.assign(reinterpret_cast<const char*>(data), size);
  return true;
}

bool DecodeDib(const std::uint8_t* data, std::size_t size, IconBitmap* image) {
  if (size < 40) return false;
  std::uint32_t headerSize = ReadU32(data);
  if (headerSize < 40 || headerSize > size) return false;
  std::int32_t width = ReadI32(data + 4);
  std::int32_t doubledHeight = ReadI32(data + 8);
  std::uint16_t bitCount = ReadU16(data + 14);
  std::uint32_t compression = ReadU32(data + 16);
  std::uint32_t colorsUsed = ReadU32(data + 32);
  if (width <= 0 || width > kMaxDimension || doubledHeight < 2 || doubledHeight > 2 * kMaxDimension)
    return false;
  if (compression != 0) return false;  // BI_RGB only
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32) return false;
  int height = doubledHeight / 2;

  std::size_t paletteCount = 0;
  if (bitCount <= 8) {
    std::size_t full = std::size_t{1} << bitCount;
    paletteCount = colorsUsed == 0 || colorsUsed > full ? full : colorsUsed;
  }
  std::size_t paletteOffset = headerSize;
  std::size_t xorOffset = paletteOffset + paletteCount * 4;
  std::size_t xorStride = ((std::size_t(width) * bitCount + 31) / 32) * 4;
  std::size_t andStride = ((std::size_t(width) + 31) / 32) * 4;
  std::size_t andOffset = xorOffset + xorStride * height;
  if (andOffset > size) return false;
  bool hasMask = andOffset + andStride * height <= size;

  std::vector<std::uint32_t> pixels(std::size_t(width) * height);
  bool anyAlpha = false;
  for (int row = 0; row < height; ++row) {
    const std::uint8_t* src = data + xorOffset + xorStride * (height - 1 - row);  // stored bottom-up
    std::uint32_t* dst = pixels.data() + std::size_t(row) * width;
    for (int x = 0; x < width; ++x) {
      std::uint32_t b = 0, g = 0, r = 0, a = 0;
      if (bitCount <= 8) {
        std::size_t bit = std::size_t(x) * bitCount;
        std::uint32_t index = (src[bit / 8] >> (8 - bitCount - bit % 8)) & ((1u << bitCount) - 1);
        if (index < paletteCount) {
          const std::uint8_t* entry = data + paletteOffset + index * 4;
          b = entry[0];
          g = entry[1];
          r = entry[2];
        }
      } else {
        const std::uint8_t* p = src + std::size_t(x) * (bitCount / 8);
        b = p[0];
        g = p[1];
        r = p[2];
        if (bitCount == 32) a = p[3];
      }
      if (a) anyAlpha = true;
      dst[x] = (a << 24) | (r << 16) | (g << 8) | b;
    }
  }
  // 32-bit images with any alpha carry their own transparency; all others take
  // it from the AND mask (a set bit is transparent).
  bool useAlpha = bitCount == 32 && anyAlpha;
  if (!useAlpha) {
    for (int row = 0; row < height; ++row) {
      const std::uint8_t* mask = hasMask ? data + andOffset + andStride * (height - 1 - row) : nullptr;
      std::uint32_t* dst = pixels.data() + std::size_t(row) * width;
      for (int x = 0; x < width; ++x) {
        bool transparent = mask && ((mask[x / 8] >> (7 - x % 8)) & 1);
        dst[x] = (dst[x] & 0x00FFFFFFu) | (transparent ? 0u : 0xFF000000u);
      }
    }
  }
  image->width = width;
  image->height = height;
  image->pixels = std::move(pixels);
  image->png.clear();
  return true;
}

// One image an icon offers, with what its data says about it.
struct Candidate {
  std::string data;
  int width = 0;
  int height = 0;
  int bitCount = 0;
  bool png = false;
};

void Describe(Candidate* candidate, int entryWidth, int entryHeight, int entryBits) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(candidate->data.data());
  std::size_t size = candidate->data.size();
  candidate->width = entryWidth ? entryWidth : 256;
  candidate->height = entryHeight ? entryHeight : 256;
  candidate->bitCount = entryBits;
  if (IsPng(p, size)) {
    candidate->png = true;
    if (size >= 26) {
      candidate->width = static_cast<int>(std::min<std::uint32_t>(ReadU32Be(p + 16), 1 << 20));
      candidate->height = static_cast<int>(std::min<std::uint32_t>(ReadU32Be(p + 20), 1 << 20));
      static const int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
      int colorType = p[25];
      candidate->bitCount = colorType <= 6 ? p[24] * kChannels[colorType] : 0;
    }
  } else if (size >= 40 && ReadU32(p) >= 40) {
    std::int32_t w = ReadI32(p + 4);
    std::int32_t h = ReadI32(p + 8) / 2;
    if (w > 0 && w <= kMaxDimension && h > 0 && h <= kMaxDimension) {
      candidate->width = w;
      candidate->height = h;
    }
    candidate->bitCount = ReadU16(p + 14);
  }
}

// Order of preference for a 16 x 16 list: exactly 16 x 16 with the most colours;
// else the smallest image of at least 16 pixels; else the largest smaller one. A
// DIB goes before a PNG of the same size and depth.
bool Better(const Candidate& a, const Candidate& b) {
  auto rank = [](const Candidate& c) {
    return c.width == 16 && c.height == 16 ? 0 : (c.width >= 16 && c.height >= 16 ? 1 : 2);
  };
  int ra = rank(a), rb = rank(b);
  if (ra != rb) return ra < rb;
  long areaA = long(a.width) * a.height, areaB = long(b.width) * b.height;
  if (ra == 1 && areaA != areaB) return areaA < areaB;
  if (ra == 2 && areaA != areaB) return areaA > areaB;
  if (a.bitCount != b.bitCount) return a.bitCount > b.bitCount;
  return !a.png && b.png;
}

// The best of |candidates| that decodes, into |image|: kNoIcon when none does.
IconSearch Choose(std::vector<Candidate>* candidates, IconBitmap* image) {
  std::stable_sort(candidates->begin(), candidates->end(), Better);
  for (const Candidate& candidate : *candidates) {
    IconBitmap decoded;
    if (DecodeIconImage(reinterpret_cast<const std::uint8_t*>(candidate.data.data()), candidate.data.size(),
                        &decoded)) {
      *image = std::move(decoded);
      return IconSearch::kFound;
    }
  }
  return IconSearch::kNoIcon;
}

IconSearch IconFromPe(const ByteSource& file, int index, IconBitmap* icon) {
  PeImage image;
  if (!image.Open(&file)) return IconSearch::kNoIcon;
  std::vector<ResourceEntry> groups;
  if (!image.ListNames(kRtGroupIcon, &groups)) return IconSearch::kNoIcon;
  const ResourceEntry* group = nullptr;
  if (index >= 0) {
    if (static_cast<std::size_t>(index) < groups.size()) group = &groups[index];
  } else if (index >= -0xFFFF) {
    for (const auto& entry : groups) {
      if (!entry.named && entry.id == -index) group = &entry;
    }
  }
  if (!group) return IconSearch::kNoIcon;
  std::string directory;
  if (!image.ReadFirstLanguage(*group, kMaxGroupSize, &directory) || directory.size() < 6)
    return IconSearch::kNoIcon;
  if (ReadU16(directory, 0) != 0 || ReadU16(directory, 2) != 1) return IconSearch::kNoIcon;
  std::size_t count = std::min<std::size_t>(ReadU16(directory, 4), (directory.size() - 6) / 14);
  std::vector<Candidate> candidates;
  for (std::size_t i = 0; i < count; ++i) {
    const auto* entry = reinterpret_cast<const std::uint8_t*>(directory.data()) + 6 + i * 14;
    Candidate candidate;
    if (!image.ReadResource(kRtIcon, ReadU16(entry + 12), kMaxImageSize, &candidate.data)) continue;
    Describe(&candidate, entry[0], entry[1], ReadU16(entry + 6));
    candidates.push_back(std::move(candidate));
  }
  return Choose(&candidates, icon);
}

IconSearch IconFromIcoFile(const ByteSource& file, int index, IconBitmap* icon) {
  if (index != 0) return IconSearch::kNoIcon;
  std::string header;
  if (!file.Read(0, 6, &header)) return IconSearch::kNoIcon;
  std::size_t count = ReadU16(header, 4);
  std::string entries;
  if (!file.Read(6, count * 16, &entries)) return IconSearch::kNoIcon;
  std::vector<Candidate> candidates;
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const auto* entry = reinterpret_cast<const std::uint8_t*>(entries.data()) + i * 16;
    std::uint32_t size = ReadU32(entry + 8);
    std::uint32_t offset = ReadU32(entry + 12);
    if (size > kMaxImageSize || (total += size) > 4 * kMaxImageSize) continue;
    Candidate candidate;
    if (!file.Read(offset, size, &candidate.data)) continue;
    Describe(&candidate, entry[0], entry[1], ReadU16(entry + 6));
    candidates.push_back(std::move(candidate));
  }
  return Choose(&candidates, icon);
}

}  // namespace

bool DecodeIconImage(const std::uint8_t* data, std::size_t size, IconBitmap* image) {
  if (!data) return false;
  if (IsPng(data, size)) return DecodePng(data, size, image);
  return DecodeDib(data, size, image);
}

IconSearch FindIcon(const ByteSource& file, int index, IconBitmap* image) {
  switch (DetectFileKind(file)) {
    case FileKind::kPe:
      return IconFromPe(file, index, image);
    case FileKind::kOtherExecutable:
      return IconSearch::kNoIcon;  // an executable, but not one whose resources we read
    case FileKind::kIconFile:
      return IconFromIcoFile(file, index, image);
    default:
      return IconSearch::kNotAnIconSource;
  }
}

}  // namespace formats
