// Builds small PE images (PE32 or PE32+) with a resource tree, byte by byte, for
// tests that need layouts the MinGW tools do not produce: 32-bit images, and
// resource trees damaged in chosen places.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/icon_writer.h"

namespace velmora::test {

struct TestResource {
  std::uint16_t type = 0;
  std::u16string name;  // a named resource when not empty
  std::uint16_t id = 0;
  std::uint16_t language = 0x409;
  std::string data;
};

constexpr std::uint32_t kTestResourceRva = 0x1000;
constexpr std::uint32_t kTestResourceFileOffset = 0x200;

// The .rsrc section content for |resources| (types and names in the stored
// order: named first, then IDs ascending), with data RVAs from |rva|.
inline std::string ResourceSection(const std::vector<TestResource>& resources, std::uint32_t rva) {
  using Key = std::tuple<bool, std::u16string, std::uint16_t>;  // (is id, name, id): names sort first
  auto key = [](bool isType, const TestResource& r) {
    return isType ? Key{true, u"", r.type} : Key{r.name.empty(), r.name, r.id};
  };
  std::map<Key, std::map<Key, std::map<std::uint16_t, const TestResource*>>> tree;
  for (const TestResource& r : resources) tree[key(true, r)][key(false, r)][r.language] = &r;

  auto dirSize = [](std::size_t entries) { return 16 + 8 * entries; };
  std::size_t size = dirSize(tree.size());
  for (auto& [t, names] : tree) {
    size += dirSize(names.size());
    for (auto& [n, langs] : names) size += dirSize(langs.size());
  }
  std::string out(size, '\0');
  std::vector<std::pair<std::size_t, std::u16string>> namePatches;
  std::vector<std::pair<std::size_t, const TestResource*>> dataPatches;
  std::size_t next = 0;
  auto directory = [&](std::size_t at, std::size_t named, std::size_t ids) {
    PatchLe(&out, at + 12, static_cast<std::uint32_t>(named), 2);
    PatchLe(&out, at + 14, static_cast<std::uint32_t>(ids), 2);
  };
  auto entry = [&](std::size_t at, const Key& k, std::uint32_t target) {
    if (std::get<0>(k)) {
      PatchLe(&out, at, std::get<2>(k), 4);
    } else {
      namePatches.push_back({at, std::get<1>(k)});
    }
    PatchLe(&out, at + 4, target, 4);
  };
  std::size_t root = next;
  next += dirSize(tree.size());
  directory(root, 0, tree.size());
  std::size_t typeIndex = 0;
  for (auto& [t, names] : tree) {
    std::size_t nameDir = next;
    next += dirSize(names.size());
    entry(root + 16 + 8 * typeIndex++, t, 0x80000000u | static_cast<std::uint32_t>(nameDir));
    std::size_t namedCount = 0;
    for (auto& [n, langs] : names) namedCount += std::get<0>(n) ? 0 : 1;
    directory(nameDir, namedCount, names.size() - namedCount);
    std::size_t nameIndex = 0;
    for (auto& [n, langs] : names) {
      std::size_t langDir = next;
      next += dirSize(langs.size());
      entry(nameDir + 16 + 8 * nameIndex++, n, 0x80000000u | static_cast<std::uint32_t>(langDir));
      directory(langDir, 0, langs.size());
      std::size_t langIndex = 0;
      for (auto& [language, resource] : langs) {
        PatchLe(&out, langDir + 16 + 8 * langIndex, language, 4);
        dataPatches.push_back({langDir + 16 + 8 * langIndex + 4, resource});
        ++langIndex;
      }
    }
  }
  for (auto& [at, name] : namePatches) {
    PatchLe(&out, at, 0x80000000u | static_cast<std::uint32_t>(out.size()), 4);
    PutLe(&out, static_cast<std::uint32_t>(name.size()), 2);
    for (char16_t c : name) PutLe(&out, c, 2);
  }
  while (out.size() % 4) out.push_back(0);
  std::vector<std::size_t> entries;
  for (auto& [at, resource] : dataPatches) {
    PatchLe(&out, at, static_cast<std::uint32_t>(out.size()), 4);
    entries.push_back(out.size());
    out.append(16, '\0');
  }
  for (std::size_t i = 0; i < dataPatches.size(); ++i) {
    PatchLe(&out, entries[i], rva + static_cast<std::uint32_t>(out.size()), 4);
    PatchLe(&out, entries[i] + 4, static_cast<std::uint32_t>(dataPatches[i].second->data.size()), 4);
    out += dataPatches[i].second->data;
    while (out.size() % 4) out.push_back(0);
  }
  return out;
}

// A PE image with one section, .rsrc, at RVA 0x1000 and file offset 0x200.
inline std::string BuildPe(bool pe32plus, const std::string& section) {
  std::string out(kTestResourceFileOffset, '\0');
  out[0] = 'M';
  out[1] = 'Z';
  PatchLe(&out, 0x3C, 0x40, 4);
  out.replace(0x40, 4, std::string("PE\0\0", 4));
  std::size_t optionalSize = pe32plus ? 240 : 224;
  PatchLe(&out, 0x44, pe32plus ? 0x8664 : 0x14C, 2);
  PatchLe(&out, 0x46, 1, 2);  // one section
  PatchLe(&out, 0x54, static_cast<std::uint32_t>(optionalSize), 2);
  PatchLe(&out, 0x56, 0x0102, 2);
  std::size_t optional = 0x58;
  PatchLe(&out, optional, pe32plus ? 0x20B : 0x10B, 2);
  PatchLe(&out, optional + (pe32plus ? 108 : 92), 16, 4);  // NumberOfRvaAndSizes
  std::size_t directories = optional + (pe32plus ? 112 : 96);
  PatchLe(&out, directories + 16, kTestResourceRva, 4);
  PatchLe(&out, directories + 20, static_cast<std::uint32_t>(section.size()), 4);
  std::size_t header = optional + optionalSize;
  out.replace(header, 6, ".rsrc\0", 6);
  PatchLe(&out, header + 8, static_cast<std::uint32_t>(section.size()), 4);
  PatchLe(&out, header + 12, kTestResourceRva, 4);
  std::uint32_t raw = static_cast<std::uint32_t>((section.size() + 0x1FF) & ~std::size_t{0x1FF});
  PatchLe(&out, header + 16, raw, 4);
  PatchLe(&out, header + 20, kTestResourceFileOffset, 4);
  PatchLe(&out, header + 36, 0x40000040, 4);
  std::string body = section;
  body.resize(raw, '\0');
  return out + body;
}

inline std::string BuildPe(bool pe32plus, const std::vector<TestResource>& resources) {
  return BuildPe(pe32plus, ResourceSection(resources, kTestResourceRva));
}

// RT_ICON and RT_GROUP_ICON resources for the images of one icon, as windres
// makes them from a .ico file; the images take the IDs from |firstId|.
inline std::vector<TestResource> IconResources(std::uint16_t groupId, const std::u16string& groupName,
                                               const std::vector<IcoEntry>& images, std::uint16_t firstId) {
  std::vector<TestResource> out;
  std::string group;
  PutLe(&group, 0, 2);
  PutLe(&group, 1, 2);
  PutLe(&group, static_cast<std::uint32_t>(images.size()), 2);
  for (std::size_t i = 0; i < images.size(); ++i) {
    const IcoEntry& image = images[i];
    group.push_back(static_cast<char>(image.width >= 256 ? 0 : image.width));
    group.push_back(static_cast<char>(image.height >= 256 ? 0 : image.height));
    group.push_back(0);
    group.push_back(0);
    PutLe(&group, 1, 2);
    PutLe(&group, static_cast<std::uint32_t>(image.bitCount), 2);
    PutLe(&group, static_cast<std::uint32_t>(image.data.size()), 4);
    PutLe(&group, static_cast<std::uint32_t>(firstId + i), 2);
    out.push_back({3, u"", static_cast<std::uint16_t>(firstId + i), 0x409, image.data});
  }
  out.push_back({14, groupName, groupId, 0x409, group});
  return out;
}

}  // namespace velmora::test
