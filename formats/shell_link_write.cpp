// Writing .lnk files that both Windows and Wine resolve: header, an IDList in
// the form Windows writes (My Computer, drive, one item per path component),
// LinkInfo with the local or network path (where Wine looks first), Unicode
// strings, and the terminal block.
#include <cstring>

#include "base/path.h"
#include "base/utf16.h"
#include "formats/shell_link.h"
#include "formats/shell_link_format.h"

namespace formats {

namespace {

using namespace lnk;

class Writer {
 public:
  void U8(std::uint8_t v) { bytes_.push_back(static_cast<char>(v)); }
  void U16(std::uint16_t v) {
    U8(v & 0xFF);
    U8(v >> 8);
  }
  void U32(std::uint32_t v) {
    U16(v & 0xFFFF);
    U16(v >> 16);
  }
  void Raw(const void* data, std::size_t size) { bytes_.append(static_cast<const char*>(data), size); }
  void Raw(const std::string& data) { bytes_ += data; }
  void Zeros(std::size_t count) { bytes_.append(count, '\0'); }
  void Utf16(const std::u16string& text) {
    for (char16_t c : text) U16(c);
  }
  void PatchU16(std::size_t at, std::uint16_t v) {
    bytes_[at] = static_cast<char>(v & 0xFF);
    bytes_[at + 1] = static_cast<char>(v >> 8);
  }
  void PatchU32(std::size_t at, std::uint32_t v) {
    PatchU16(at, v & 0xFFFF);
    PatchU16(at + 2, v >> 16);
  }
  std::size_t size() const { return bytes_.size(); }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// One file or folder item: type, size, dates, the 8-bit name and a version 3
// extension block with the long name in UTF-16.
void FileItem(Writer* out, const std::string& name, bool folder, std::uint32_t size) {
  std::string ansi;
  Windows1252FromUtf8(name, &ansi);
  std::u16string wide = velmora::Utf16FromUtf8(name);
  std::size_t start = out->size();
  out->U16(0);  // size, patched below
  out->U8(folder ? 0x31 : 0x32);
  out->U8(0);
  out->U32(folder ? 0 : size);
  out->U32(0);  // modification date and time
  out->U16(folder ? 0x10 : 0x20);
  out->Raw(ansi);
  out->U8(0);
  if ((out->size() - start) & 1) out->U8(0);
  std::size_t extension = out->size();
  out->U16(static_cast<std::uint16_t>(20 + (wide.size() + 1) * 2 + 2));
  out->U16(3);
  out->U32(kFileEntryExtension);
  out->U32(0);     // creation date and time
  out->U32(0);     // access date and time
  out->U16(0x14);  // offset of the long name in this block
  out->U16(0);     // no localized name
  out->Utf16(wide);
  out->U16(0);
  out->U16(static_cast<std::uint16_t>(extension - start));
  out->PatchU16(start, static_cast<std::uint16_t>(out->size() - start));
}

// The IDList of a drive path; false when the path is not one or too long for it.
bool IdList(const std::string& target, std::uint32_t attributes, std::uint32_t fileSize, Writer* out) {
  if (!IsDrivePath(target)) return false;
  Writer list;
  list.U16(0x14);
  list.U8(0x1F);
  list.U8(0x50);
  list.Raw(kMyComputerClsid, 16);
  list.U16(0x19);
  list.U8(0x2F);
  list.Raw(target.substr(0, 2) + "\\");
  list.Zeros(19);
  std::vector<std::string> parts = velmora::SplitFilePath(target.substr(2));
  for (std::size_t i = 0; i < parts.size(); ++i) {
    bool last = i + 1 == parts.size();
    FileItem(&list, parts[i], !last || (attributes & 0x10), last ? fileSize : 0);
  }
  list.U16(0);
  if (list.size() > 0xFFFF) return false;
  out->U16(static_cast<std::uint16_t>(list.size()));
  out->Raw(list.bytes());
  return true;
}

// LinkInfo for a drive path (VolumeID and LocalBasePath) or a UNC path
// (CommonNetworkRelativeLink). Wine takes the target from the 8-bit path alone
// when LinkInfo is there, so a drive path with characters that code page 1252
// lacks gets no LinkInfo: Wine and Windows then both follow the IDList, whose
// items carry the names in UTF-16. A UNC path has no IDList here; it keeps
// LinkInfo and adds the Unicode suffix (the header of 0x24 bytes).
bool LinkInfo(const std::string& target, Writer* out) {
  bool local = IsDrivePath(target);
  if (!local && !IsUncPath(target)) return false;
  std::string base = target;
  std::string suffix;
  if (!local) {
    // "\\server\share" is the network name, the rest the common suffix.
    std::size_t share = target.find('\\', 2);
    std::size_t rest = share == std::string::npos ? std::string::npos : target.find('\\', share + 1);
    if (share == std::string::npos || share == 2) return false;
    base = target.substr(0, rest);
    suffix = rest == std::string::npos ? "" : target.substr(rest + 1);
  }
  std::string baseAnsi;
  std::string suffixAnsi;
  bool exact = Windows1252FromUtf8(base, &baseAnsi);
  exact = Windows1252FromUtf8(suffix, &suffixAnsi) && exact;
  if (local && !exact) return false;
  std::uint32_t headerSize = exact ? 0x1C : 0x24;

  Writer info;
  info.U32(0);  // size, patched below
  info.U32(headerSize);
  info.U32(local ? 1 : 2);
  std::size_t fields = info.size();
  info.Zeros(headerSize - 12);
  std::uint32_t baseOffset = 0;
  if (local) {
    info.PatchU32(fields, static_cast<std::uint32_t>(info.size()));  // VolumeIDOffset
    info.U32(0x11);
    info.U32(3);  // DRIVE_FIXED
    info.U32(0);  // serial number
    info.U32(0x10);
    info.U8(0);  // empty label
    baseOffset = static_cast<std::uint32_t>(info.size());
    info.PatchU32(fields + 4, baseOffset);
    info.Raw(baseAnsi);
    info.U8(0);
  } else {
    std::size_t network = info.size();
    info.PatchU32(fields + 8, static_cast<std::uint32_t>(network));
    info.U32(0);           // size, patched below
    info.U32(2);           // ValidNetType
    info.U32(0x14);        // NetNameOffset
    info.U32(0);           // no device name
    info.U32(0x00020000);  // WNNC_NET_LANMAN
    info.Raw(baseAnsi);
    info.U8(0);
    info.PatchU32(network, static_cast<std::uint32_t>(info.size() - network));
  }
  info.PatchU32(fields + 12, static_cast<std::uint32_t>(info.size()));  // CommonPathSuffixOffset
  info.Raw(suffixAnsi);
  info.U8(0);
  if (!exact) {
    if (info.size() & 1) info.U8(0);
    info.PatchU32(fields + 20, static_cast<std::uint32_t>(info.size()));
    info.Utf16(velmora::Utf16FromUtf8(suffix));
    info.U16(0);
  }
  info.PatchU32(0, static_cast<std::uint32_t>(info.size()));
  out->Raw(info.bytes());
  return true;
}

}  // namespace

bool WriteShellLink(const ShellLinkData& link, const std::string& linkPath, std::uint32_t attributes,
                    std::uint32_t fileSize, std::string* bytes) {
  bytes->clear();
  const std::string& target = link.target;
  Writer idList;
  bool hasIdList = IdList(target, attributes, fileSize, &idList);
  Writer linkInfo;
  bool hasLinkInfo = LinkInfo(target, &linkInfo);
  std::string relative =
      link.relativePath.empty() ? RelativePathBetween(FolderOf(linkPath), target) : link.relativePath;

  const std::pair<std::uint32_t, const std::string*> strings[] = {{kHasName, &link.description},
                                                                  {kHasRelativePath, &relative},
                                                                  {kHasWorkingDir, &link.workingDirectory},
                                                                  {kHasArguments, &link.arguments},
                                                                  {kHasIconLocation, &link.iconLocation}};
  std::uint32_t flags = kIsUnicode | (hasIdList ? std::uint32_t{kHasIdList} : 0u) |
                        (hasLinkInfo ? std::uint32_t{kHasLinkInfo} : 0u);
  for (const auto& [flag, text] : strings) {
    if (!text->empty()) flags |= flag;
  }

  Writer out;
  out.U32(kHeaderSize);
  out.Raw(kLinkClsid, 16);
  out.U32(flags);
  out.U32(attributes);
  out.Zeros(24);  // creation, access and write times
  out.U32(fileSize);
  out.U32(static_cast<std::uint32_t>(link.iconIndex));
  out.U32(static_cast<std::uint32_t>(link.showCommand));
  out.Zeros(12);  // hot key and reserved fields
  out.Raw(idList.bytes());
  out.Raw(linkInfo.bytes());
  for (const auto& [flag, text] : strings) {
    if (text->empty()) continue;
    std::u16string wide = velmora::Utf16FromUtf8(*text);
    if (wide.size() > 0xFFFF) return false;
    out.U16(static_cast<std::uint16_t>(wide.size()));
    out.Utf16(wide);
  }
  out.U32(0);  // terminal block
  *bytes = out.bytes();
  return true;
}

}  // namespace formats
