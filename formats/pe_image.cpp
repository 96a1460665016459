#include "formats/pe_image.h"

#include <utility>

namespace formats {

namespace {

constexpr std::size_t kMaxSections = 1024;

}  // namespace

bool PeImage::Open(const ByteSource* file) {
  file_ = file;
  sections_.clear();
  resourceRva_ = 0;

  std::string dos;
  if (!file->Read(0, 64, &dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
  std::uint32_t peOffset = ReadU32(dos, 0x3C);
  std::string header;
  if (!file->Read(peOffset, 24, &header) || header.compare(0, 4, std::string("PE\0\0", 4)) != 0) return false;
  std::uint16_t sectionCount = ReadU16(header, 6);
  std::uint16_t optionalSize = ReadU16(header, 20);
  std::string optional;
  if (!file->Read(std::uint64_t{peOffset} + 24, optionalSize, &optional) || optionalSize < 2) return false;

  std::uint16_t magic = ReadU16(optional, 0);
  std::size_t countField = 0;
  std::size_t directoryField = 0;
  if (magic == 0x10B) {
    countField = 92;
    directoryField = 112;
  } else if (magic == 0x20B) {
    countField = 108;
    directoryField = 128;
  } else {
    return false;
  }

  if (sectionCount > kMaxSections) return false;
  std::string table;
  if (!file->Read(std::uint64_t{peOffset} + 24 + optionalSize, std::size_t{sectionCount} * 40, &table))
    return false;
  for (std::size_t i = 0; i < sectionCount; ++i) {
    Section section;
    section.virtualSize = ReadU32(table, i * 40 + 8);
    section.virtualAddress = ReadU32(table, i * 40 + 12);
    section.rawSize = ReadU32(table, i * 40 + 16);
    section.rawPointer = ReadU32(table, i * 40 + 20);
    sections_.push_back(section);
  }

  // An image without a resource directory is still an image.
  if (optional.size() >= countField + 4 && ReadU32(optional, countField) > 2 &&
      optional.size() >= directoryField + 8) {
    std::uint32_t rva = ReadU32(optional, directoryField);
    std::uint32_t size = ReadU32(optional, directoryField + 4);
    std::uint64_t offset = 0;
    if (rva != 0 && size >= 16 && RvaToOffset(rva, 16, &offset)) resourceRva_ = rva;
  }
  return true;
}

bool PeImage::RvaToOffset(std::uint32_t rva, std::uint32_t size, std::uint64_t* offset) const {
  for (const Section& section : sections_) {
    std::uint32_t extent = section.virtualSize ? section.virtualSize : section.rawSize;
    if (rva < section.virtualAddress || rva - section.virtualAddress >= extent) continue;
    std::uint64_t inside = rva - section.virtualAddress;
    if (inside + size > section.rawSize) return false;  // not backed by file data
    *offset = section.rawPointer + inside;
    return *offset + size <= file_->size();
  }
  return false;
}

bool PeImage::ReadTree(std::uint32_t offset, std::size_t count, std::string* out) const {
  std::uint64_t rva = std::uint64_t{resourceRva_} + offset;
  if (rva + count > 0xFFFFFFFFull || count > 0xFFFFFFFFull) return false;
  std::uint64_t fileOffset = 0;
  if (!RvaToOffset(static_cast<std::uint32_t>(rva), static_cast<std::uint32_t>(count), &fileOffset))
    return false;
  return file_->Read(fileOffset, count, out);
}

bool PeImage::ReadDirectory(std::uint32_t offset, std::vector<ResourceEntry>* entries) const {
  entries->clear();
  if (!HasResources()) return false;
  std::string header;
  if (!ReadTree(offset, 16, &header)) return false;
  std::size_t named = ReadU16(header, 12);
  std::size_t ids = ReadU16(header, 14);
  std::size_t count = named + ids;  // at most 131070 entries, about 1 MB
  std::string table;
  if (!ReadTree(offset + 16, count * 8, &table)) return false;
  for (std::size_t i = 0; i < count; ++i) {
    std::uint32_t nameField = ReadU32(table, i * 8);
    std::uint32_t target = ReadU32(table, i * 8 + 4);
    ResourceEntry entry;
    entry.isDirectory = (target & 0x80000000u) != 0;
    entry.offset = target & 0x7FFFFFFFu;
    if (nameField & 0x80000000u) {
      entry.named = true;
      std::string length;
      if (!ReadTree(nameField & 0x7FFFFFFFu, 2, &length)) return false;
      std::string text;
      std::size_t units = ReadU16(length, 0);
      if (!ReadTree((nameField & 0x7FFFFFFFu) + 2, units * 2, &text)) return false;
      for (std::size_t k = 0; k < units; ++k)
        entry.name.push_back(static_cast<char16_t>(ReadU16(text, k * 2)));
    } else {
      entry.id = static_cast<std::uint16_t>(nameField & 0xFFFF);
    }
    entries->push_back(std::move(entry));
  }
  return true;
}

bool PeImage::ReadData(std::uint32_t offset, std::size_t maxSize, std::string* bytes) const {
  bytes->clear();
  std::string entry;
  if (!ReadTree(offset, 16, &entry)) return false;
  std::uint32_t rva = ReadU32(entry, 0);
  std::uint32_t size = ReadU32(entry, 4);
  if (size > maxSize) return false;
  std::uint64_t fileOffset = 0;
  if (!RvaToOffset(rva, size, &fileOffset)) return false;
  return file_->Read(fileOffset, size, bytes);
}

bool PeImage::ListNames(std::uint16_t type, std::vector<ResourceEntry>* names) const {
  names->clear();
  std::vector<ResourceEntry> types;
  if (!ReadDirectory(0, &types)) return false;
  for (const ResourceEntry& entry : types) {
    if (!entry.named && entry.id == type && entry.isDirectory) return ReadDirectory(entry.offset, names);
  }
  return false;
}

bool PeImage::ReadFirstLanguage(const ResourceEntry& name, std::size_t maxSize, std::string* bytes) const {
  bytes->clear();
  if (!name.isDirectory) return ReadData(name.offset, maxSize, bytes);  // no language level
  std::vector<ResourceEntry> languages;
  if (!ReadDirectory(name.offset, &languages)) return false;
  for (const ResourceEntry& language : languages) {
    if (!language.isDirectory) return ReadData(language.offset, maxSize, bytes);
  }
  return false;
}

bool PeImage::ReadResource(std::uint16_t type, std::uint16_t id, std::size_t maxSize,
                           std::string* bytes) const {
  bytes->clear();
  std::vector<ResourceEntry> names;
  if (!ListNames(type, &names)) return false;
  for (const ResourceEntry& name : names) {
    if (!name.named && name.id == id) return ReadFirstLanguage(name, maxSize, bytes);
  }
  return false;
}

FileKind DetectFileKind(const ByteSource& file) {
  std::uint8_t head[6] = {};
  if (!file.Read(0, file.size() < 6 ? static_cast<std::size_t>(file.size()) : 6, head))
    return FileKind::kOther;
  if (file.size() >= 2 && head[0] == 'M' && head[1] == 'Z') {
    PeImage image;
    return image.Open(&file) ? FileKind::kPe : FileKind::kOtherExecutable;
  }
  if (file.size() >= 6 && ReadU16(head) == 0 && ReadU16(head + 2) == 1 && ReadU16(head + 4) > 0) {
    return FileKind::kIconFile;
  }
  return FileKind::kOther;
}

}  // namespace formats
