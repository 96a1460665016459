// Scanning many Run entries in one pass: the process list, each program file and
// each folder are read once, so the time should grow with the entries and no
// faster. Entries share 50 program files; one in four names a missing file.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "changes/startup_parameters.h"
#include "platform/files.h"
#include "platform/posix/prefix.h"
#include "platform/registry.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

struct ScanPrefix {
  explicit ScanPrefix(int entries) {
    std::string pattern = (fs::temp_directory_path() / "velmora-scan-bench-XXXXXX").string();
    root = mkdtemp(pattern.data());
    setenv("WINEPREFIX", (root + "/prefix").c_str(), 1);
    owned = platform::DefaultSystem();
    system = owned.get();
    system->Prepare();
    std::string programs = platform::files::HostPathFromWindows(*system, "C:\\Programs");
    fs::create_directories(programs);
    for (int i = 0; i < 50; ++i) std::ofstream(programs + "/tool" + std::to_string(i) + ".exe") << "MZ";
    platform::HKey key = nullptr;
    platform::reg::CreateKey(system->CurrentUser(), kRunKeyPath, &key);
    std::vector<std::pair<std::string, std::string>> values;
    for (int i = 0; i < entries; ++i) {
      std::string command = i % 4 == 3 ? "\"C:\\Program Files\\Vendor " + std::to_string(i) + "\\app.exe\" -s"
                                       : "C:\\Programs\\tool" + std::to_string(i % 50) + ".exe /run";
      platform::reg::SetString(key, "Entry " + std::to_string(i), command);
    }
    platform::reg::CloseKey(key);
  }
  ~ScanPrefix() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  std::string root;
  std::unique_ptr<platform::ManagedSystem> owned;
  platform::ManagedSystem* system = nullptr;
};

void BM_ScanRunEntries(benchmark::State& state) {
  const int entries = static_cast<int>(state.range(0));
  ScanPrefix prefix(entries);
  for (auto _ : state) {
    StartupParameters model(*prefix.system);
    model.SetReadOnly(true);
    model.ScanAllLocations();
    benchmark::DoNotOptimize(model.Entries(kCuRun).size());
  }
  state.counters["entries"] = entries;
  state.counters["per_entry"] =
      benchmark::Counter(static_cast<double>(entries),
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ScanRunEntries)->Arg(250)->Arg(500)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora
