// Reading .lnk files: header, IDList, LinkInfo, StringData and ExtraData, each
// range checked against the file and against the structure that holds it.
#include <cstring>

#include "base/utf16.h"
#include "formats/byte_source.h"
#include "formats/shell_link.h"
#include "formats/shell_link_format.h"

namespace formats {

namespace {

using namespace lnk;

// A range of bytes with checked little-endian reads.
class Span {
 public:
  Span(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::size_t size() const { return size_; }
  bool Has(std::size_t offset, std::size_t count) const { return offset <= size_ && count <= size_ - offset; }
  std::uint16_t U16(std::size_t offset) const { return Has(offset, 2) ? ReadU16(data_ + offset) : 0; }
  std::uint32_t U32(std::size_t offset) const { return Has(offset, 4) ? ReadU32(data_ + offset) : 0; }
  const std::uint8_t* At(std::size_t offset) const { return data_ + offset; }
  Span Sub(std::size_t offset, std::size_t count) const { return Span(data_ + offset, count); }

  // A zero-terminated 8-bit string (code page 1252) at |offset|; false without its zero.
  bool Ansi(std::size_t offset, std::string* out) const {
    if (offset >= size_) return false;
    const void* end = std::memchr(data_ + offset, 0, size_ - offset);
    if (!end) return false;
    *out =
        velmora::Utf8FromWindows1252(std::string(reinterpret_cast<const char*>(data_ + offset),
                                                 static_cast<const std::uint8_t*>(end) - (data_ + offset)));
    return true;
  }
  // A zero-terminated UTF-16 string at |offset|.
  bool Unicode(std::size_t offset, std::string* out) const {
    std::size_t units = 0;
    while (true) {
      if (!Has(offset + units * 2, 2)) return false;
      if (U16(offset + units * 2) == 0) break;
      ++units;
    }
    *out = velmora::Utf8FromUtf16(velmora::Utf16FromLittleEndian(data_ + offset, units));
    return true;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

// Long name of a file entry from its 0xBEEF0004 extension block at |offset|.
bool ExtensionLongName(const Span& item, std::size_t offset, std::string* name) {
  if (!item.Has(offset, 18)) return false;
  std::size_t size = item.U16(offset);
  std::uint16_t version = item.U16(offset + 2);
  if (item.U32(offset + 4) != kFileEntryExtension || version < 3 || size < 20 || !item.Has(offset, size))
    return false;
  Span block = item.Sub(offset, size);
  std::size_t nameOffset = block.U16(16);
  if (nameOffset < 18 || nameOffset >= size) {
    nameOffset = version >= 9 ? 46 : version >= 8 ? 42 : version >= 7 ? 38 : 20;
  }
  return block.Unicode(nameOffset, name) && !name->empty();
}

// Name of a file or folder item (type 0x3X) of an IDList.
bool FileEntryName(const Span& item, std::uint8_t type, std::string* name) {
  const std::size_t kNameOffset = 14;
  if (!item.Has(kNameOffset, 1)) return false;
  std::string primary;
  std::size_t after = 0;
  if (type & 0x04) {
    if (!item.Unicode(kNameOffset, &primary)) return false;
    after = kNameOffset + (velmora::Utf16FromUtf8(primary).size() + 1) * 2;
  } else {
    const void* end = std::memchr(item.At(kNameOffset), 0, item.size() - kNameOffset);
    if (!end) return false;
    std::size_t length = static_cast<const std::uint8_t*>(end) - item.At(kNameOffset);
    primary = velmora::Utf8FromWindows1252(
        std::string(reinterpret_cast<const char*>(item.At(kNameOffset)), length));
    after = kNameOffset + length + 1;
  }
  after += after & 1;
  std::string longName;
  *name = ExtensionLongName(item, after, &longName) ? longName : primary;
  return !name->empty();
}

// A file-system path from an IDList: My Computer, a drive, then folders and
// files. "" for anything else (network places, virtual folders, damage).
std::string PathFromIdList(const Span& list) {
  std::string path;
  std::size_t pos = 0;
  bool first = true;
  while (list.Has(pos, 2)) {
    std::size_t size = list.U16(pos);
    if (size == 0) return path;
    if (size < 3 || !list.Has(pos, size)) return "";
    Span item = list.Sub(pos, size);
    std::uint8_t type = *item.At(2);
    if (first && type == 0x1F) {
      if (size < 20 || std::memcmp(item.At(4), kMyComputerClsid, 16) != 0) return "";
    } else if ((type & 0x70) == 0x20 && path.empty()) {
      std::string drive;
      if (!item.Ansi(3, &drive) || drive.size() < 2 || drive[1] != ':') return "";
      path = drive.substr(0, 2) + "\\";
    } else if ((type & 0x70) == 0x30 && !path.empty()) {
      std::string name;
      if (!FileEntryName(item, type, &name)) return "";
      if (path.back() != '\\') path += '\\';
      path += name;
    } else {
      return "";
    }
    first = false;
    pos += size;
  }
  return "";  // no terminating zero item
}

// The target that a LinkInfo structure names; "" when it names none.
bool ParseLinkInfo(const Span& info, std::string* target) {
  target->clear();
  std::uint32_t headerSize = info.U32(4);
  std::uint32_t flags = info.U32(8);
  if (headerSize < 0x1C || headerSize > info.size()) return false;
  std::uint32_t volumeOffset = info.U32(12);
  std::uint32_t baseOffset = info.U32(16);
  std::uint32_t networkOffset = info.U32(20);
  std::uint32_t suffixOffset = info.U32(24);
  std::uint32_t baseOffsetUnicode = headerSize >= 0x24 ? info.U32(28) : 0;
  std::uint32_t suffixOffsetUnicode = headerSize >= 0x24 ? info.U32(32) : 0;

  std::string suffix;
  if (!(suffixOffsetUnicode && info.Unicode(suffixOffsetUnicode, &suffix)) && suffixOffset) {
    if (!info.Ansi(suffixOffset, &suffix)) return false;
  }
  if (flags & 1) {
    if (!info.Has(volumeOffset, 4) || info.U32(volumeOffset) < 0x10) return false;
    std::string base;
    if (!(baseOffsetUnicode && info.Unicode(baseOffsetUnicode, &base)) && !info.Ansi(baseOffset, &base))
      return false;
    *target = base + suffix;
    return true;
  }
  if (flags & 2) {
    if (!info.Has(networkOffset, 0x14)) return false;
    std::uint32_t size = info.U32(networkOffset);
    if (size < 0x14 || !info.Has(networkOffset, size)) return false;
    Span network = info.Sub(networkOffset, size);
    std::uint32_t nameOffset = network.U32(8);
    std::string name;
    bool haveUnicode = nameOffset > 0x14 && network.U32(0x14) && network.Unicode(network.U32(0x14), &name);
    if (!haveUnicode && !network.Ansi(nameOffset, &name)) return false;
    *target = suffix.empty() ? name : name + "\\" + suffix;
    return true;
  }
  return true;
}

bool Parse(const Span& file, const std::string& linkPath, ShellLinkData* link) {
  if (!file.Has(0, kHeaderSize) || file.U32(0) != kHeaderSize ||
      std::memcmp(file.At(4), kLinkClsid, 16) != 0) {
    return false;
  }
  std::uint32_t flags = file.U32(0x14);
  link->fileAttributes = file.U32(0x18);
  link->iconIndex = static_cast<std::int32_t>(file.U32(0x38));
  link->showCommand = static_cast<int>(file.U32(0x3C));
  std::size_t pos = kHeaderSize;

  std::string idListPath;
  if (flags & kHasIdList) {
    if (!file.Has(pos, 2)) return false;
    std::size_t size = file.U16(pos);
    if (!file.Has(pos + 2, size)) return false;
    idListPath = PathFromIdList(file.Sub(pos + 2, size));
    pos += 2 + size;
  }

  std::string linkInfoPath;
  if (flags & kHasLinkInfo) {
    if (!file.Has(pos, 4)) return false;
    std::size_t size = file.U32(pos);
    if (size < 0x1C || !file.Has(pos, size)) return false;
    if (!ParseLinkInfo(file.Sub(pos, size), &linkInfoPath)) return false;
    if (flags & kForceNoLinkInfo) linkInfoPath.clear();
    pos += size;
  }

  const std::pair<std::uint32_t, std::string*> strings[] = {{kHasName, &link->description},
                                                            {kHasRelativePath, &link->relativePath},
                                                            {kHasWorkingDir, &link->workingDirectory},
                                                            {kHasArguments, &link->arguments},
                                                            {kHasIconLocation, &link->iconLocation}};
  bool unicode = (flags & kIsUnicode) != 0;
  for (const auto& [flag, out] : strings) {
    if (!(flags & flag)) continue;
    if (!file.Has(pos, 2)) return false;
    std::size_t count = file.U16(pos);
    std::size_t bytes = count * (unicode ? 2 : 1);
    if (!file.Has(pos + 2, bytes)) return false;
    if (unicode) {
      std::u16string text = velmora::Utf16FromLittleEndian(file.At(pos + 2), count);
      while (!text.empty() && text.back() == 0) text.pop_back();
      *out = velmora::Utf8FromUtf16(text);
    } else {
      std::string text(reinterpret_cast<const char*>(file.At(pos + 2)), count);
      while (!text.empty() && text.back() == 0) text.pop_back();
      *out = velmora::Utf8FromWindows1252(text);
    }
    pos += 2 + bytes;
  }

  // Extra data: blocks until one smaller than 4 bytes; a block that runs past
  // the end of the file ends the list (writers differ in how they end it).
  while (file.Has(pos, 4)) {
    std::size_t size = file.U32(pos);
    if (size < 4 || !file.Has(pos, size)) break;
    if (size >= kEnvironmentBlockSize && file.U32(pos + 4) == kEnvironmentBlock) {
      Span block = file.Sub(pos, size);
      std::string unicodeTarget;
      std::string ansiTarget;
      // Both fields are fixed-size and zero-filled; one without its zero is ignored.
      block.Sub(8 + 260, 520).Unicode(0, &unicodeTarget);
      block.Sub(8, 260).Ansi(0, &ansiTarget);
      link->targetExpandable = unicodeTarget.empty() ? ansiTarget : unicodeTarget;
    }
    pos += size;
  }

  if (!linkInfoPath.empty()) {
    link->target = linkInfoPath;
  } else if ((flags & kHasExpString) && !link->targetExpandable.empty()) {
    link->target = link->targetExpandable;
  } else if (!idListPath.empty()) {
    link->target = idListPath;
  } else if (!link->relativePath.empty()) {
    // Only a link that names its target no other way is resolved from its own folder.
    link->target = JoinPath(FolderOf(linkPath), link->relativePath);
  }
  return true;
}

}  // namespace

bool ReadShellLink(const std::uint8_t* data, std::size_t size, const std::string& linkPath,
                   ShellLinkData* link) {
  *link = ShellLinkData();
  if (!data || size > kMaxShellLinkFile) return false;
  ShellLinkData parsed;
  if (!Parse(Span(data, size), linkPath, &parsed)) return false;
  *link = parsed;
  return true;
}

}  // namespace formats
