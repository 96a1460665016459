// Version resources of PE files.
//
// The block that VersionInfoBlock makes (and both backends'
// version::ReadInfo return) is the RT_VERSION resource as stored
// (UTF-16 keys and strings), followed by a table of every string value already
// converted to 8-bit text:
//
//   [resource][pad to 4][texts, each with its zero]
//   [entries: u32 value offset, u32 text offset, u32 text length] x count
//   [u32 resource length][u32 count][u32 offset of the entries]["VTX8"]
//
// QueryVersionValue returns a pointer into that table, so a string stays valid
// exactly as long as the block is unchanged, and querying never writes. The
// version tree is read only within the resource, never into the table. A block
// cut short by a smaller |size| loses the table: binary values still answer,
// strings do not.
#include "formats/version_resource.h"

#include <algorithm>
#include <cstring>

#include "base/utf16.h"
#include "formats/pe_image.h"

namespace formats {

namespace {

constexpr std::size_t kMaxResourceSize = 1 << 20;
constexpr int kMaxDepth = 16;
constexpr char kMagic[4] = {'V', 'T', 'X', '8'};

std::size_t Align4(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

// One node of the version tree, with every range clamped to its parent's end.
struct Node {
  std::size_t end = 0;  // end of the node (offset in the block)
  std::uint16_t valueLength = 0;
  std::uint16_t type = 0;
  std::size_t keyOffset = 0;
  std::size_t keyUnits = 0;
  std::size_t valueOffset = 0;
  std::size_t valueBytes = 0;
  std::size_t childrenOffset = 0;
};

bool ParseNode(const std::uint8_t* data, std::size_t begin, std::size_t limit, Node* node) {
  if (begin > limit || limit - begin < 6) return false;
  std::uint16_t length = ReadU16(data + begin);
  if (length < 6) return false;
  node->end = std::min(limit, begin + length);
  node->valueLength = ReadU16(data + begin + 2);
  node->type = ReadU16(data + begin + 4);
  node->keyOffset = begin + 6;
  std::size_t pos = node->keyOffset;
  while (true) {
    if (pos + 2 > node->end) return false;  // key without its zero
    if (ReadU16(data + pos) == 0) break;
    pos += 2;
  }
  node->keyUnits = (pos - node->keyOffset) / 2;
  node->valueOffset = std::min(node->end, Align4(pos + 2));
  std::size_t wanted = std::size_t{node->valueLength} * (node->type ? 2 : 1);
  node->valueBytes = std::min(wanted, node->end - node->valueOffset);
  node->childrenOffset = std::min(node->end, Align4(node->valueOffset + node->valueBytes));
  return true;
}

char16_t Fold(char16_t c) {
  if (c >= 'A' && c <= 'Z') return static_cast<char16_t>(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
  return c;
}

bool KeyEquals(const std::uint8_t* data, const Node& node, const std::u16string& key) {
  if (node.keyUnits != key.size()) return false;
  for (std::size_t i = 0; i < key.size(); ++i) {
    if (Fold(static_cast<char16_t>(ReadU16(data + node.keyOffset + i * 2))) != Fold(key[i])) return false;
  }
  return true;
}

// A value is text when its node says so; the strings of a string table are text
// even when a careless writer left their type 0 (their length then counts bytes).
bool IsText(const Node& node, int depth, bool inStringFileInfo) {
  return node.type != 0 || (inStringFileInfo && depth == 3);
}

std::string TextOf(const std::uint8_t* data, const Node& node) {
  std::size_t units = node.valueBytes / 2;
  std::size_t used = 0;
  while (used < units && ReadU16(data + node.valueOffset + used * 2) != 0) ++used;
  return velmora::Utf8FromUtf16(velmora::Utf16FromLittleEndian(data + node.valueOffset, used));
}

struct TextEntry {
  std::uint32_t valueOffset;
  std::string text;
};

void CollectTexts(const std::uint8_t* data, const Node& node, int depth, bool inStringFileInfo,
                  std::vector<TextEntry>* texts) {
  if (depth > 0 && node.valueLength != 0 && IsText(node, depth, inStringFileInfo)) {
    texts->push_back({static_cast<std::uint32_t>(node.valueOffset), TextOf(data, node)});
  }
  if (depth >= kMaxDepth) return;
  static const std::u16string kStringFileInfo = u"stringfileinfo";
  std::size_t pos = node.childrenOffset;
  while (pos < node.end) {
    Node child;
    if (!ParseNode(data, pos, node.end, &child)) break;
    bool childInStrings = inStringFileInfo || (depth == 0 && KeyEquals(data, child, kStringFileInfo));
    CollectTexts(data, child, depth + 1, childInStrings, texts);
    pos = Align4(child.end);
  }
}

void PutU32(std::vector<std::uint8_t>* out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

}  // namespace

std::vector<std::uint8_t> VersionInfoBlock(const ByteSource& file) {
  PeImage image;
  if (!image.Open(&file)) return {};
  std::vector<ResourceEntry> names;
  if (!image.ListNames(kRtVersion, &names) || names.empty()) return {};
  // VS_VERSION_INFO is resource 1; take the first one when a writer numbered it otherwise.
  const ResourceEntry* chosen = &names.front();
  for (const auto& name : names) {
    if (!name.named && name.id == 1) chosen = &name;
  }
  std::string resource;
  if (!image.ReadFirstLanguage(*chosen, kMaxResourceSize, &resource)) return {};
  return VersionBlockOfResource(resource);
}

std::vector<std::uint8_t> VersionBlockOfResource(const std::string& resource) {
  if (resource.empty() || resource.size() > kMaxResourceSize) return {};
  std::vector<std::uint8_t> block(resource.begin(), resource.end());
  std::uint32_t resourceLength = static_cast<std::uint32_t>(block.size());
  std::vector<TextEntry> texts;
  Node root;
  if (ParseNode(block.data(), 0, block.size(), &root)) CollectTexts(block.data(), root, 0, false, &texts);
  std::sort(texts.begin(), texts.end(),
            [](const TextEntry& a, const TextEntry& b) { return a.valueOffset < b.valueOffset; });

  block.resize(Align4(block.size()), 0);
  std::vector<std::uint32_t> textOffsets;
  for (const TextEntry& entry : texts) {
    textOffsets.push_back(static_cast<std::uint32_t>(block.size()));
    block.insert(block.end(), entry.text.begin(), entry.text.end());
    block.push_back(0);
  }
  block.resize(Align4(block.size()), 0);
  std::uint32_t tableOffset = static_cast<std::uint32_t>(block.size());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    PutU32(&block, texts[i].valueOffset);
    PutU32(&block, textOffsets[i]);
    PutU32(&block, static_cast<std::uint32_t>(texts[i].text.size() + 1));
  }
  PutU32(&block, resourceLength);
  PutU32(&block, static_cast<std::uint32_t>(texts.size()));
  PutU32(&block, tableOffset);
  block.insert(block.end(), kMagic, kMagic + 4);
  return block;
}

namespace {

// The table at the end of a block VersionInfoBlock made; false when the block
// has none (or it is damaged).
struct TextTable {
  std::size_t resourceLength = 0;
  std::size_t count = 0;
  std::size_t offset = 0;
};

bool FindTable(const std::vector<std::uint8_t>& block, TextTable* table) {
  std::size_t size = block.size();
  if (size < 16 || std::memcmp(block.data() + size - 4, kMagic, 4) != 0) return false;
  table->resourceLength = ReadU32(block.data() + size - 16);
  table->count = ReadU32(block.data() + size - 12);
  table->offset = ReadU32(block.data() + size - 8);
  return table->resourceLength <= table->offset && table->offset <= size - 16 &&
         table->count <= (size - 16 - table->offset) / 12;
}

// The converted text of the value at |valueOffset|, from the block's table.
bool FindText(const std::vector<std::uint8_t>& block, const TextTable& table, std::size_t valueOffset,
              const char** text, std::uint32_t* length) {
  std::size_t low = 0;
  std::size_t high = table.count;
  while (low < high) {
    std::size_t mid = (low + high) / 2;
    const std::uint8_t* entry = block.data() + table.offset + mid * 12;
    std::size_t at = ReadU32(entry);
    if (at < valueOffset) {
      low = mid + 1;
    } else if (at > valueOffset) {
      high = mid;
    } else {
      std::size_t offset = ReadU32(entry + 4);
      std::size_t bytes = ReadU32(entry + 8);
      if (bytes == 0 || offset > table.offset || bytes > table.offset - offset ||
          block[offset + bytes - 1] != 0) {
        return false;
      }
      *text = reinterpret_cast<const char*>(block.data() + offset);
      *length = static_cast<std::uint32_t>(bytes);
      return true;
    }
  }
  return false;
}

}  // namespace

bool QueryVersionValue(const std::vector<std::uint8_t>& block, const std::string& subBlock,
                       const void** value, std::uint32_t* length) {
  *value = nullptr;
  *length = 0;
  const std::uint8_t* data = block.data();
  TextTable table;
  bool hasTable = FindTable(block, &table);
  Node node;
  if (!ParseNode(data, 0, hasTable ? table.resourceLength : block.size(), &node)) return false;

  int depth = 0;
  bool inStringFileInfo = false;
  std::size_t start = 0;
  while (start <= subBlock.size()) {
    std::size_t slash = subBlock.find('\\', start);
    if (slash == std::string::npos) slash = subBlock.size();
    if (slash > start) {
      std::u16string key = velmora::Utf16FromUtf8(subBlock.substr(start, slash - start));
      bool found = false;
      std::size_t pos = node.childrenOffset;
      while (pos < node.end) {
        Node child;
        if (!ParseNode(data, pos, node.end, &child)) break;
        if (KeyEquals(data, child, key)) {
          node = child;
          found = true;
          break;
        }
        pos = Align4(child.end);
      }
      if (!found) return false;
      if (depth == 0) inStringFileInfo = KeyEquals(data, node, u"stringfileinfo");
      ++depth;
    }
    start = slash + 1;
  }

  if (depth > 0 && IsText(node, depth, inStringFileInfo)) {
    if (node.valueLength == 0) {
      // An empty string: point at the zero that ends the key.
      *value = data + node.keyOffset + node.keyUnits * 2;
      *length = 0;
      return true;
    }
    const char* text = nullptr;
    if (!hasTable || !FindText(block, table, node.valueOffset, &text, length)) return false;
    *value = text;
    return true;
  }
  *value = data + node.valueOffset;
  *length = static_cast<std::uint32_t>(std::min<std::size_t>(node.valueLength, node.valueBytes));
  return true;
}

}  // namespace formats
