// libFuzzer target: Valve's key-value text (Steam's libraryfolders.vdf and
// appmanifest_*.acf). Properties beyond "no crash":
//  - a text that reads writes back, quoted and escaped, into a text that reads
//    into the same entries;
//  - a refused text leaves no entries and says why;
//  - Find gives the first entry of a key, in any letter case.
#include <cstdint>
#include <string>
#include <vector>

#include "base/text.h"
#include "formats/valve_key_values.h"
#include "fuzz/fuzz_support.h"

namespace {

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

void Write(const std::vector<formats::KeyValue>& entries, std::string* out) {
  for (const formats::KeyValue& entry : entries) {
    *out += Quote(entry.key);
    if (entry.isSection) {
      *out += "\n{\n";
      Write(entry.children, out);
      *out += "}\n";
    } else {
      *out += "\t" + Quote(entry.value) + "\n";
    }
  }
}

bool Same(const std::vector<formats::KeyValue>& a, const std::vector<formats::KeyValue>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].key != b[i].key || a[i].value != b[i].value || a[i].isSection != b[i].isSection) return false;
    if (!Same(a[i].children, b[i].children)) return false;
  }
  return true;
}

void CheckFind(const formats::KeyValue& section) {
  for (std::size_t i = 0; i < section.children.size(); ++i) {
    const formats::KeyValue* found = section.Find(velmora::ToUpperAscii(section.children[i].key));
    FUZZ_CHECK(found != nullptr && found <= &section.children[i]);
    FUZZ_CHECK(velmora::EqualsIgnoreCase(found->key, section.children[i].key));
    if (section.children[i].isSection) CheckFind(section.children[i]);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<formats::KeyValue> roots;
  std::string error;
  if (!formats::ParseKeyValues(text, &roots, &error)) {
    FUZZ_CHECK(roots.empty() && !error.empty());
    return 0;
  }
  std::string written;
  Write(roots, &written);
  std::vector<formats::KeyValue> again;
  FUZZ_CHECK(formats::ParseKeyValues(written, &again, &error));
  FUZZ_CHECK(Same(roots, again));
  formats::KeyValue top;
  top.isSection = true;
  top.children = std::move(roots);
  CheckFind(top);
  return 0;
}
