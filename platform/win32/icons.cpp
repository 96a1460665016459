// Icons through ExtractIconW, turned into images by drawing them into 32-bit
// bitmaps of the icon's own size.
#include "platform/icons.h"

#include <windows.h>
#include <shellapi.h>

#include <cstring>

#include "platform/files.h"
#include "platform/win32/wide.h"

namespace platform::icons {

namespace {

bool IsPng(const std::uint8_t* data, std::size_t size) {
  static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return size >= 24 && std::memcmp(data, kSignature, 8) == 0;
}

std::uint32_t BigEndian(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// The pixels of |icon| as non-premultiplied ARGB, top row first. An icon without
// alpha takes its transparency from the AND mask.
bool ImageOf(HICON icon, IconImage* image) {
  ICONINFO info = {};
  if (!GetIconInfo(icon, &info)) return false;
  BITMAP bitmap = {};
  HBITMAP source = info.hbmColor ? info.hbmColor : info.hbmMask;
  bool ok = GetObjectW(source, sizeof bitmap, &bitmap) != 0;
  int width = bitmap.bmWidth;
  int height = info.hbmColor ? bitmap.bmHeight : bitmap.bmHeight / 2;
  ok = ok && width > 0 && height > 0;
  std::vector<std::uint32_t> color(ok ? static_cast<std::size_t>(width) * height : 0);
  std::vector<std::uint32_t> mask(color.size());
  if (ok) {
    BITMAPINFO header = {};
    header.bmiHeader.biSize = sizeof header.bmiHeader;
    header.bmiHeader.biWidth = width;
    header.bmiHeader.biHeight = -height;  // top row first
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 32;
    header.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    if (info.hbmColor)
      ok = GetDIBits(screen, info.hbmColor, 0, height, color.data(), &header, DIB_RGB_COLORS) == height;
    BITMAPINFO maskHeader = header;
    ok = ok && GetDIBits(screen, info.hbmMask, 0, height, mask.data(), &maskHeader, DIB_RGB_COLORS) == height;
    ReleaseDC(nullptr, screen);
  }
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  if (!ok) return false;
  bool hasAlpha = false;
  for (std::uint32_t pixel : color) hasAlpha = hasAlpha || (pixel >> 24) != 0;
  for (std::size_t i = 0; i < color.size(); ++i) {
    if (!hasAlpha) color[i] = (color[i] & 0x00FFFFFF) | ((mask[i] & 0x00FFFFFF) ? 0 : 0xFF000000u);
  }
  image->width = width;
  image->height = height;
  image->pixels = std::move(color);
  return true;
}

// An executable or library ("MZ") or an icon file (reserved 0, type 1): files
// whose lack of an icon is "no icon" rather than "not an icon file". Wine's
// ExtractIcon answers both with no icon.
bool IsIconSource(const std::string& path) {
  HANDLE file = CreateFileW(win32::Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  unsigned char head[4] = {};
  DWORD read = 0;
  bool ok = ReadFile(file, head, sizeof head, &read, nullptr) && read == sizeof head;
  CloseHandle(file);
  return ok && ((head[0] == 'M' && head[1] == 'Z') ||
                (head[0] == 0 && head[1] == 0 && head[2] == 1 && head[3] == 0));
}

}  // namespace

bool DecodeImage(const std::uint8_t* data, std::size_t size, IconImage* image) {
  if (!data || !image || size < 16) return false;
  if (IsPng(data, size)) {
    image->width = static_cast<int>(BigEndian(data + 16));
    image->height = static_cast<int>(BigEndian(data + 20));
    image->png.assign(reinterpret_cast<const char*>(data), size);
    return image->width > 0 && image->height > 0;
  }
  HICON icon = CreateIconFromResourceEx(const_cast<std::uint8_t*>(data), static_cast<DWORD>(size), TRUE,
                                        0x00030000, 0, 0, LR_DEFAULTCOLOR);
  if (!icon) return false;
  bool ok = ImageOf(icon, image);
  DestroyIcon(icon);
  return ok;
}

IconHandle Extract(ManagedSystem& system, const std::string& path, int index) {
  if (path.empty() || !files::Exists(system, path) || files::DirectoryExists(system, path))
    return NotAnIconFileResult();
  HICON icon = ExtractIconW(GetModuleHandleW(nullptr), win32::Wide(path).c_str(), static_cast<UINT>(index));
  if (reinterpret_cast<INT_PTR>(icon) == 1) return NotAnIconFileResult();
  if (!icon) return IsIconSource(path) ? nullptr : NotAnIconFileResult();
  auto image = std::make_shared<IconImage>();
  bool ok = ImageOf(icon, image.get());
  DestroyIcon(icon);
  return ok ? IconHandle(image) : nullptr;
}

}  // namespace platform::icons
