// The definitions database at scale: making the index of 50,000 definitions, the
// full pass and the single look-up with 1,000 entries against them, and decoding
// a 5 MB database.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "base/text.h"
#include "database/database_file.h"
#include "database/definitions_index.h"
#include "database/definitions_source.h"
#include "database/rating.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "platform/managed_system.h"
#include "platform/posix/prefix.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

constexpr int kDefinitions = 50000;
constexpr int kEntries = 1000;
constexpr int kPatterns = 50;

// A prefix and a program folder of the benchmark's own, made once.
struct Workspace {
  Workspace() {
    std::string pattern = (fs::temp_directory_path() / "velmora-bench-XXXXXX").string();
    root = mkdtemp(pattern.data());
    // A prefix of the bare folders and drives, so that the program folder has a
    // Windows path to be read through.
    if (platform::CreateMinimalPrefix(root + "/prefix") != platform::kSuccess) abort();
    setenv("WINEPREFIX", (root + "/prefix").c_str(), 1);
    system = platform::DefaultSystem();
    system->Prepare();
    fs::create_directories(root + "/program");
    context.programDir = platform::files::WindowsPathFromHost(*system, root + "/program");
  }
  ~Workspace() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  void WriteWorkingCopy(const std::string& text) {
    std::ofstream(root + "/program/vlmdb2.vmd", std::ios::binary) << text;
    platform::ini::ClearCache(*system);
  }
  std::string root;
  std::unique_ptr<platform::ManagedSystem> system;
  ProgramContext context;
};

Workspace& Space() {
  static Workspace workspace;
  return workspace;
}

std::string FileName(int i) { return "program" + std::to_string(i) + ".exe"; }

// 50,000 definitions spread over the eleven sections, and patterns that match
// nothing until the last one.
std::vector<Definition> LargeDatabase() {
  std::vector<Definition> definitions;
  for (int i = 0; i < kDefinitions; ++i) {
    Definition d;
    d.section = kCategoryCodeList[i % kCategoryCodeList.size()];
    d.name = FileName(i);
    d.description = i % 3 == 0 ? "NULL" : "Description of definition number " + std::to_string(i) + ".";
    definitions.push_back(d);
  }
  for (int i = 0; i < kPatterns; ++i) {
    Definition d;
    d.section = kPatternSection;
    d.name = i + 1 == kPatterns ? "*.exe" : "pattern" + std::to_string(i);
    d.description = "NULL";
    d.category = "NORM";
    definitions.push_back(d);
  }
  return definitions;
}

using Tasks = std::vector<std::unique_ptr<Task>>;

// 1,000 entries: every other one named by a definition.
void FillEntries(Tasks& tasks) {
  for (int i = 0; i < kEntries; ++i) {
    auto task = std::make_unique<Task>();
    task->name = "Entry " + std::to_string(i);
    task->fileName =
        i % 2 == 0 ? ToUpperAscii(FileName(i * 37 % kDefinitions)) : "unlisted" + std::to_string(i) + ".exe";
    task->command = "C:\\Programs\\" + task->fileName;
    tasks.push_back(std::move(task));
  }
}

void PrepareLargeDatabase() {
  static bool written = false;
  if (written) return;
  Space().WriteWorkingCopy(BuildWorkingCopyText(LargeDatabase()));
  written = true;
}

// What a start makes before the first rating (Rater::PrepareIndex, on its own
// thread): the index of the working copy's text and its sections.
void BM_MakeIndex(benchmark::State& state) {
  const auto document = std::make_shared<const formats::IniDocument>(BuildWorkingCopyText(LargeDatabase()));
  for (auto _ : state) {
    DefinitionsIndex index(document);
    for (std::string_view code : kCategoryCodeList) index.SectionOf(std::string(code));
    index.SectionOf(kPatternSection);
    benchmark::DoNotOptimize(index);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(document->Text().size()));
}
BENCHMARK(BM_MakeIndex)->Unit(benchmark::kMillisecond);

void BM_RateAllTasks(benchmark::State& state) {
  PrepareLargeDatabase();
  Rater rater(Space().context);
  rater.FillCategoryCodes();
  Tasks tasks;
  FillEntries(tasks);
  std::vector<Task*> pointers;
  for (const auto& task : tasks) pointers.push_back(task.get());
  for (auto _ : state) {
    for (Task* task : pointers) task->rating = kUnknownFileRating;
    rater.RateAll(*Space().system, pointers);
  }
  state.counters["definitions"] = kDefinitions;
  state.counters["entries"] = kEntries;
}
BENCHMARK(BM_RateAllTasks)->Unit(benchmark::kMillisecond);

// The pass without the index, for comparison: every definition against every entry.
void BM_RateAllTasksWithoutIndex(benchmark::State& state) {
  PrepareLargeDatabase();
  Rater rater(Space().context);
  rater.FillCategoryCodes();
  Tasks tasks;
  FillEntries(tasks);
  const std::string path = WorkingCopyPath(Space().context.programDir);
  for (auto _ : state) {
    int hits = 0;
    for (const std::string& code : rater.CategoryCodes()) {
      for (int n = 0;; ++n) {
        std::uint32_t count = 0;
        std::string name = TrimWhiteSpace(
            ReadDatabaseString(*Space().system, code, "PRON" + std::to_string(n), "", path, &count));
        if (count == 0) break;
        std::string description =
            ReadDatabaseString(*Space().system, code, "PROD" + std::to_string(n), "NULL", path);
        for (const auto& task : tasks)
          if (EqualsIgnoreCase(task->fileName, name)) ++hits;
      }
    }
    benchmark::DoNotOptimize(hits);
  }
}
BENCHMARK(BM_RateAllTasksWithoutIndex)->Unit(benchmark::kMillisecond)->Iterations(3);

// A file that no definition names: every section is read to its end, then the
// patterns up to the last one.
void BM_RateTaskUnlisted(benchmark::State& state) {
  PrepareLargeDatabase();
  Rater rater(Space().context);
  rater.FillCategoryCodes();
  for (auto _ : state) {
    Task task;
    task.command = "C:\\Programs\\unlisted.exe";
    rater.RateTask(*Space().system, task);
    benchmark::DoNotOptimize(task.rating);
  }
}
BENCHMARK(BM_RateTaskUnlisted)->Unit(benchmark::kMillisecond);

void BM_RateTaskListedLast(benchmark::State& state) {
  PrepareLargeDatabase();
  Rater rater(Space().context);
  rater.FillCategoryCodes();
  for (auto _ : state) {
    Task task;
    task.command = "C:\\Programs\\" + FileName(kDefinitions - 1);
    rater.RateTask(*Space().system, task);
    benchmark::DoNotOptimize(task.rating);
  }
}
BENCHMARK(BM_RateTaskListedLast)->Unit(benchmark::kMillisecond);

void BM_DecodeDatabase(benchmark::State& state) {
  Space();
  std::string body;
  for (int i = 0; body.size() < 5u * 1024 * 1024; ++i) {
    body += ScrambleText("PRON" + std::to_string(i)) + "=" + ScrambleText(FileName(i)) + "\r\n";
  }
  body.resize(5u * 1024 * 1024);
  // A folder of its own, so that the working copy of the look-ups stays as it is.
  std::string folder = Space().root + "/decode";
  fs::create_directories(folder);
  std::ofstream(folder + "/vlmdb.vmd", std::ios::binary) << BuildDatabaseFile("27/04/2006", body);
  const std::string programDir = platform::files::WindowsPathFromHost(*Space().system, folder);
  for (auto _ : state) {
    if (!DecodeDatabase(*Space().system, programDir)) state.SkipWithError("decoding failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(body.size()));
}
BENCHMARK(BM_DecodeDatabase)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora
