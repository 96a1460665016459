// Writes icon images and .ico files from pixels, for fixtures and tests: DIBs
// of 1, 4, 8, 24 and 32 bits per pixel with their AND mask, and PNG images
// (uncompressed deflate blocks, valid for any PNG reader).
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora::test {

inline void PutLe(std::string* out, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
inline void PatchLe(std::string* s, std::size_t at, std::uint32_t v, int bytes) {
  if (at > s->size() || s->size() - at < static_cast<std::size_t>(bytes)) return;
  char* p = s->data() + at;
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline void PutBe(std::string* out, std::uint32_t v) {
  for (int i = 3; i >= 0; --i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// A deterministic ARGB picture of |colors| distinct colours (at most 16). Some
// pixels are fully transparent; with |partialAlpha| others are half transparent.
inline std::vector<std::uint32_t> Pattern(int width, int height, int colors, int seed, bool partialAlpha) {
  static const std::uint32_t kColors[16] = {0x000000, 0xFFFFFF, 0xC00000, 0x00A000, 0x0000D0, 0xE0E000,
                                            0x00E0E0, 0xE000E0, 0x804000, 0x408080, 0x202060, 0xFF8000,
                                            0x80FF80, 0x8080FF, 0x604020, 0xA0A0A0};
  std::vector<std::uint32_t> pixels;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint32_t rgb = kColors[(x * 3 + y * 5 + seed) % colors];
      std::uint32_t alpha = 0xFF;
      if ((x + 2 * y + seed) % 7 == 0)
        alpha = 0;
      else if (partialAlpha && (x * y + seed) % 5 == 0)
        alpha = 0x80;
      pixels.push_back((alpha << 24) | rgb);
    }
  }
  return pixels;
}

// An icon DIB: BITMAPINFOHEADER with doubled height, palette, XOR bits, AND mask.
// Images of 8 bits or fewer must use at most 2^bpp colours.
inline std::string DibImage(int width, int height, int bitCount, const std::vector<std::uint32_t>& argb) {
  std::vector<std::uint32_t> palette;
  std::vector<int> indexes;
  if (bitCount <= 8) {
    for (std::uint32_t pixel : argb) {
      std::uint32_t rgb = pixel & 0xFFFFFF;
      int found = -1;
      for (std::size_t i = 0; i < palette.size(); ++i) {
        if (palette[i] == rgb) found = static_cast<int>(i);
      }
      if (found < 0) {
        found = static_cast<int>(palette.size());
        palette.push_back(rgb);
      }
      indexes.push_back(found);
    }
    palette.resize(std::size_t{1} << bitCount, 0);
  }
  std::string out;
  PutLe(&out, 40, 4);
  PutLe(&out, static_cast<std::uint32_t>(width), 4);
  PutLe(&out, static_cast<std::uint32_t>(height * 2), 4);
  PutLe(&out, 1, 2);
  PutLe(&out, static_cast<std::uint32_t>(bitCount), 2);
  PutLe(&out, 0, 4);  // BI_RGB
  std::size_t xorStride = ((std::size_t(width) * bitCount + 31) / 32) * 4;
  std::size_t andStride = ((std::size_t(width) + 31) / 32) * 4;
  PutLe(&out, static_cast<std::uint32_t>((xorStride + andStride) * height), 4);
  PutLe(&out, 0, 4);
  PutLe(&out, 0, 4);
  PutLe(&out, 0, 4);  // all palette entries
  PutLe(&out, 0, 4);
  for (std::uint32_t rgb : palette) PutLe(&out, rgb, 4);
  for (int row = height - 1; row >= 0; --row) {
    std::string line(xorStride, '\0');
    for (int x = 0; x < width; ++x) {
      std::size_t i = std::size_t(row) * width + x;
      std::uint32_t pixel = argb[i];
      if (bitCount <= 8) {
        std::size_t bit = std::size_t(x) * bitCount;
        line[bit / 8] = static_cast<char>(line[bit / 8] | (indexes[i] << (8 - bitCount - bit % 8)));
      } else {
        std::size_t at = std::size_t(x) * (bitCount / 8);
        line[at] = static_cast<char>(pixel & 0xFF);
        line[at + 1] = static_cast<char>((pixel >> 8) & 0xFF);
        line[at + 2] = static_cast<char>((pixel >> 16) & 0xFF);
        if (bitCount == 32) line[at + 3] = static_cast<char>(pixel >> 24);
      }
    }
    out += line;
  }
  for (int row = height - 1; row >= 0; --row) {
    std::string line(andStride, '\0');
    for (int x = 0; x < width; ++x) {
      if ((argb[std::size_t(row) * width + x] >> 24) == 0)
        line[x / 8] = static_cast<char>(line[x / 8] | (0x80 >> (x % 8)));
    }
    out += line;
  }
  return out;
}

inline std::uint32_t Crc32(const std::string& data) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (unsigned char c : data) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return crc ^ 0xFFFFFFFF;
}

inline void PngChunk(std::string* out, const char* type, const std::string& data) {
  PutBe(out, static_cast<std::uint32_t>(data.size()));
  std::string body = std::string(type, 4) + data;
  *out += body;
  PutBe(out, Crc32(body));
}

// An RGBA PNG of the picture.
inline std::string PngImage(int width, int height, const std::vector<std::uint32_t>& argb) {
  std::string raw;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);  // filter: none
    for (int x = 0; x < width; ++x) {
      std::uint32_t p = argb[std::size_t(y) * width + x];
      raw.push_back(static_cast<char>((p >> 16) & 0xFF));
      raw.push_back(static_cast<char>((p >> 8) & 0xFF));
      raw.push_back(static_cast<char>(p & 0xFF));
      raw.push_back(static_cast<char>(p >> 24));
    }
  }
  std::string zlib = "\x78\x01";
  for (std::size_t pos = 0; pos < raw.size(); pos += 65535) {
    std::size_t n = std::min<std::size_t>(65535, raw.size() - pos);
    zlib.push_back(pos + n >= raw.size() ? 1 : 0);  // stored block, last one flagged
    PutLe(&zlib, static_cast<std::uint32_t>(n), 2);
    PutLe(&zlib, static_cast<std::uint32_t>(~n & 0xFFFF), 2);
    zlib += raw.substr(pos, n);
  }
  std::uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  PutBe(&zlib, (b << 16) | a);
  std::string out("\x89PNG\r\n\x1a\n", 8);
  std::string header;
  PutBe(&header, static_cast<std::uint32_t>(width));
  PutBe(&header, static_cast<std::uint32_t>(height));
  header += std::string("\x08\x06\x00\x00\x00", 5);  // 8-bit RGBA
  PngChunk(&out, "IHDR", header);
  PngChunk(&out, "IDAT", zlib);
  PngChunk(&out, "IEND", "");
  return out;
}

struct IcoEntry {
  int width = 0;
  int height = 0;
  int bitCount = 0;
  std::string data;
};

// A .ico file: ICONDIR, 16-byte entries, then the images as they are.
inline std::string IcoFile(const std::vector<IcoEntry>& entries) {
  std::string out;
  PutLe(&out, 0, 2);
  PutLe(&out, 1, 2);
  PutLe(&out, static_cast<std::uint32_t>(entries.size()), 2);
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * entries.size());
  for (const IcoEntry& entry : entries) {
    out.push_back(static_cast<char>(entry.width >= 256 ? 0 : entry.width));
    out.push_back(static_cast<char>(entry.height >= 256 ? 0 : entry.height));
    out.push_back(static_cast<char>(entry.bitCount < 8 ? (1 << entry.bitCount) : 0));
    out.push_back(0);
    PutLe(&out, 1, 2);
    PutLe(&out, static_cast<std::uint32_t>(entry.bitCount), 2);
    PutLe(&out, static_cast<std::uint32_t>(entry.data.size()), 4);
    PutLe(&out, offset, 4);
    offset += static_cast<std::uint32_t>(entry.data.size());
  }
  for (const IcoEntry& entry : entries) out += entry.data;
  return out;
}

inline IcoEntry Dib(int size, int bitCount, int colors, int seed) {
  return {size, size, bitCount,
          DibImage(size, size, bitCount, Pattern(size, size, colors, seed, bitCount == 32))};
}
inline IcoEntry Png(int size, int seed) {
  return {size, size, 32, PngImage(size, size, Pattern(size, size, 16, seed, true))};
}

}  // namespace velmora::test
