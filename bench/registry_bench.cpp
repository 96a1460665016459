// Registry hives of the size Wine writes (about 9,000 keys, 1.7 MB): reading a
// file (its check, the keys a listing asks for, every key), writing it back, and
// changing one value the way a write-through does.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "formats/registry_hive.h"
#include "formats/registry_index.h"

namespace {

using formats::Hive;
using formats::HiveParseError;

std::string Utf16(const std::string& ascii) {
  std::string bytes;
  for (char c : ascii) bytes += {c, '\0'};
  return bytes + std::string(2, '\0');
}

std::u16string U16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// A machine hive shaped like Wine's: class registrations with a few string
// values each, some binary and numeric values among them.
const std::string& WineSizedHive() {
  static const std::string text = [] {
    Hive hive;
    hive.Reset("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n");
    for (int i = 0; i < 9000; ++i) {
      std::string id = std::to_string(i * 7919 % 100003);
      auto* node =
          hive.Create({u"Software", u"Classes", U16("CLSID"), U16("{" + id + "-0000-0000-C000-000000000046}"),
                       U16(i % 2 ? "InprocServer32" : "LocalServer32")});
      hive.SetValue(node, u"", 1, Utf16("C:\\windows\\system32\\component" + id + ".dll"));
      hive.SetValue(node, u"ThreadingModel", 1, Utf16("Both"));
      if (i % 5 == 0) hive.SetValue(node, u"Flags", 4, std::string("\x01\0\0\0", 4));
      if (i % 9 == 0) hive.SetValue(node, u"Data", 3, std::string(120, '\x5a'));
    }
    return hive.Serialize();
  }();
  return text;
}

void BM_ParseHive(benchmark::State& state) {
  const std::string& text = WineSizedHive();
  for (auto _ : state) {
    Hive hive;
    HiveParseError error;
    benchmark::DoNotOptimize(hive.Parse(text, &error));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseHive)->Unit(benchmark::kMillisecond);

// The check alone, as a write checks the text it is about to put on disk.
void BM_CheckHive(benchmark::State& state) {
  const std::string& text = WineSizedHive();
  for (auto _ : state) {
    HiveParseError error;
    benchmark::DoNotOptimize(formats::CheckRegistryText(text, &error));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_CheckHive)->Unit(benchmark::kMillisecond);

// A file read and the keys a listing asks for: keys made on the way to them only.
void BM_ParseAndLookUp(benchmark::State& state) {
  const std::string& text = WineSizedHive();
  const std::vector<std::vector<std::u16string>> paths = {
      {u"Software", u"Microsoft", u"Windows", u"CurrentVersion", u"Run"},
      {u"Software", u"Classes", u"CLSID", u"{7919-0000-0000-C000-000000000046}", u"InprocServer32"},
      {u"System", u"CurrentControlSet", u"Services"}};
  for (auto _ : state) {
    Hive hive;
    HiveParseError error;
    hive.Parse(text, &error);
    for (const auto& path : paths) benchmark::DoNotOptimize(hive.Find(path));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseAndLookUp)->Unit(benchmark::kMillisecond);

// The same file taken from the index its check left: the index read against the
// text, then the same keys looked up.
void BM_TakeKeptIndexAndLookUp(benchmark::State& state) {
  const std::string& text = WineSizedHive();
  Hive checked;
  HiveParseError error;
  formats::HiveIndex found;
  checked.ParseOwned(std::string(text), &error, nullptr, &found);
  const std::string kept = formats::EncodeHiveIndex(found, "stamp", text.size());
  const std::vector<std::vector<std::u16string>> paths = {
      {u"Software", u"Microsoft", u"Windows", u"CurrentVersion", u"Run"},
      {u"Software", u"Classes", u"CLSID", u"{7919-0000-0000-C000-000000000046}", u"InprocServer32"},
      {u"System", u"CurrentControlSet", u"Services"}};
  for (auto _ : state) {
    formats::HiveIndex index;
    benchmark::DoNotOptimize(formats::DecodeHiveIndex(kept, "stamp", text, &index));
    Hive hive;
    hive.AdoptChecked(std::string(text), std::move(index));
    for (const auto& path : paths) benchmark::DoNotOptimize(hive.Find(path));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_TakeKeptIndexAndLookUp)->Unit(benchmark::kMillisecond);

// A file read and every key made, as before a change.
void BM_ParseWholeTree(benchmark::State& state) {
  const std::string& text = WineSizedHive();
  for (auto _ : state) {
    Hive hive;
    HiveParseError error;
    hive.Parse(text, &error);
    benchmark::DoNotOptimize(hive.BlockCount());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseWholeTree)->Unit(benchmark::kMillisecond);

void BM_SerializeHive(benchmark::State& state) {
  Hive hive;
  HiveParseError error;
  hive.Parse(WineSizedHive(), &error);
  for (auto _ : state) benchmark::DoNotOptimize(hive.Serialize());
}
BENCHMARK(BM_SerializeHive)->Unit(benchmark::kMillisecond);

// One new key in a full hive, then the text that goes to disk.
void BM_NewKeyAndSerialize(benchmark::State& state) {
  Hive hive;
  HiveParseError error;
  hive.Parse(WineSizedHive(), &error);
  int n = 0;
  for (auto _ : state) {
    auto* node = hive.Create({u"Software", u"Microsoft", u"Windows", u"CurrentVersion", u"Run"});
    hive.SetValue(node, U16("Entry" + std::to_string(n++)), 1, Utf16("C:\\x.exe"));
    benchmark::DoNotOptimize(hive.Serialize());
  }
}
BENCHMARK(BM_NewKeyAndSerialize)->Unit(benchmark::kMillisecond);

}  // namespace
