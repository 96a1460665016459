// libFuzzer target: Wine registry text through the hive parser, which decodes a
// key's values only when they are first asked for.
//  - the check of a whole file agrees with decoding every value of it;
//  - keys made when asked for are those of the whole tree, also in a hive taken
//    from the kept index of the check instead of a check;
//  - text that parses serialises to text that parses again to the same text;
//  - decoding every key's values changes nothing of what is written, and the
//    values read after a round trip are the ones read before;
//  - edits drawn from the input's tail (set and delete values, create and delete
//    keys) give text that parses and holds exactly what the edit made.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "formats/registry_hive.h"
#include "formats/registry_index.h"
#include "formats/registry_lexing.h"
#include "fuzz/fuzz_check.h"

using formats::Hive;
using formats::HiveNode;
using formats::HiveValue;

namespace {

void AllNodes(HiveNode* node, std::vector<HiveNode*>* out) {
  out->push_back(node);
  for (HiveNode* child : node->Subkeys()) AllNodes(child, out);
}

// A name as a program could pass it: no zero units; key names also without
// backslashes (the path separator) and never empty.
std::u16string Name(FuzzedDataProvider& input, bool keyName) {
  std::u16string name;
  std::size_t length = input.ConsumeIntegralInRange<std::size_t>(keyName ? 1 : 0, 12);
  for (std::size_t i = 0; i < length; ++i) {
    char16_t unit = input.ConsumeBool() ? static_cast<char16_t>(input.ConsumeIntegralInRange<int>(0x20, 0x7E))
                                        : input.ConsumeIntegral<char16_t>();
    if (unit == 0 || (keyName && unit == u'\\')) unit = u'k';
    name.push_back(unit);
  }
  return name;
}

// Serialises, parses the text again and checks that it is a fixed point.
std::string Reparse(Hive& hive, Hive* again) {
  std::string text = hive.Serialize();
  formats::HiveParseError error;
  if (!again->Parse(text, &error)) {
    // Show the line the parser refused.
    std::size_t start = 0;
    for (int line = 1; line < error.line && start != std::string::npos; ++line) {
      start = text.find('\n', start);
      if (start != std::string::npos) ++start;
    }
    std::string shown = start == std::string::npos ? "" : text.substr(start, text.find('\n', start) - start);
    fprintf(stderr, "serialised text does not parse: line %d: %s\n%s\n", error.line, error.message.c_str(),
            shown.c_str());
  }
  FUZZ_CHECK(again->Parse(text, &error));
  FUZZ_CHECK(again->Serialize() == text);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The edits come from the input's last bytes; the text is the rest, so that a
  // real registry file as seed is mostly text.
  std::size_t editBytes = size < 64 ? size / 4 : 16;
  std::string text(reinterpret_cast<const char*>(data), size - editBytes);
  FuzzedDataProvider edits(data + size - editBytes, editBytes);

  // The check of Parse reaches the verdict of decoding every value, with the
  // same line and reason.
  formats::HiveParseError full, quick;
  const bool parsed = formats::ParseEveryValue(text, &full);
  FUZZ_CHECK(formats::CheckRegistryText(text, &quick) == parsed);
  // So does the form of the check that processors without AVX2 run.
  formats::HiveParseError baseline;
  FUZZ_CHECK(formats::registry_detail::CheckRegistryTextWithBaselineSteps(text, &baseline) == parsed);
  FUZZ_CHECK(parsed || (baseline.line == full.line && baseline.message == full.message));
  Hive hive;
  formats::HiveParseError error;
  if (!hive.Parse(text, &error)) {
    FUZZ_CHECK(!parsed && error.line >= 1 && !error.message.empty());
    FUZZ_CHECK(error.line == full.line && error.message == full.message);
    FUZZ_CHECK(quick.line == full.line && quick.message == full.message);
    return 0;
  }
  FUZZ_CHECK(parsed);
  // Keys made as they are asked for are those of the whole tree, in its order,
  // in a hive taken from what the check found, kept as an index and read back.
  {
    Hive lazy, whole;
    formats::HiveIndex found, taken;
    FUZZ_CHECK(whole.ParseOwned(std::string(text), &error, nullptr, &found));
    const std::string kept = formats::EncodeHiveIndex(found, "stamp", text.size());
    FUZZ_CHECK(formats::DecodeHiveIndex(kept, "stamp", text, &taken));
    lazy.AdoptChecked(std::string(text), std::move(taken));
    whole.BlockCount();  // makes every key
    std::vector<HiveNode*> asked, made;
    AllNodes(lazy.Root(), &asked);
    AllNodes(whole.Root(), &made);
    FUZZ_CHECK(asked.size() == made.size());
    for (std::size_t i = 0; i < asked.size(); ++i) {
      FUZZ_CHECK(asked[i]->name == made[i]->name && !asked[i]->block == !made[i]->block);
      std::vector<const HiveValue*> a = lazy.Values(asked[i]), b = whole.Values(made[i]);
      FUZZ_CHECK(a.size() == b.size());
      for (std::size_t k = 0; k < a.size(); ++k)
        FUZZ_CHECK(a[k]->name == b[k]->name && a[k]->data == b[k]->data);
    }
    FUZZ_CHECK(lazy.Serialize() == whole.Serialize());
  }
  // Written back undecoded, then with every block decoded: the same text.
  const std::string undecoded = hive.Serialize();
  {
    Hive decoded;
    FUZZ_CHECK(decoded.Parse(text, &error));
    std::vector<HiveNode*> nodes;
    AllNodes(decoded.Root(), &nodes);
    Hive again;
    FUZZ_CHECK(again.Parse(undecoded, &error));
    for (HiveNode* node : nodes) {
      std::vector<const HiveValue*> values = decoded.Values(node);
      HiveNode* same = again.Find(Hive::PathOf(node));
      FUZZ_CHECK(same || node == decoded.Root() || values.empty());
      if (!same) continue;
      std::vector<const HiveValue*> read = again.Values(same);
      FUZZ_CHECK(read.size() == values.size());
      for (std::size_t i = 0; i < read.size(); ++i) {
        FUZZ_CHECK(read[i]->name == values[i]->name && read[i]->type == values[i]->type &&
                   read[i]->data == values[i]->data);
      }
    }
    FUZZ_CHECK(decoded.Serialize() == undecoded);
  }
  Hive first;
  FUZZ_CHECK(Reparse(hive, &first) == undecoded);

  for (int step = 0; step < 4 && edits.remaining_bytes() > 0; ++step) {
    std::vector<HiveNode*> nodes;
    AllNodes(hive.Root(), &nodes);
    HiveNode* node = nodes[edits.ConsumeIntegralInRange<std::size_t>(0, nodes.size() - 1)];
    std::vector<std::u16string> path = Hive::PathOf(node);
    Hive after;
    switch (edits.ConsumeIntegralInRange<int>(0, 3)) {
      case 0: {  // set a value
        if (node == hive.Root()) break;
        std::u16string name = Name(edits, false);
        std::uint32_t type = edits.PickValueInArray<std::uint32_t>({0, 1, 2, 3, 4, 7, 11, 0x12345678});
        std::string bytes = edits.ConsumeRandomLengthString(24);
        hive.SetValue(node, name, type, bytes);
        Reparse(hive, &after);
        HiveNode* found = after.Find(path);
        FUZZ_CHECK(found);
        const HiveValue* value = after.FindValue(found, name);
        FUZZ_CHECK(value && value->type == type && value->data == bytes);
        break;
      }
      case 1: {  // delete a value
        std::vector<const HiveValue*> values = hive.Values(node);
        if (values.empty()) break;
        std::u16string name = values[edits.ConsumeIntegralInRange<std::size_t>(0, values.size() - 1)]->name;
        FUZZ_CHECK(hive.DeleteValue(node, name));
        Reparse(hive, &after);
        HiveNode* found = after.Find(path);
        FUZZ_CHECK(!found || !after.FindValue(found, name));
        break;
      }
      case 2: {  // create a key
        std::vector<std::u16string> created = path;
        created.push_back(Name(edits, true));
        if (edits.ConsumeBool()) created.push_back(Name(edits, true));
        FUZZ_CHECK(hive.Create(created));
        Reparse(hive, &after);
        FUZZ_CHECK(after.Find(created));
        break;
      }
      case 3: {  // delete a key
        if (node == hive.Root()) break;
        hive.DeleteKey(node);
        Reparse(hive, &after);
        FUZZ_CHECK(!after.Find(path));
        break;
      }
    }
  }
  return 0;
}
