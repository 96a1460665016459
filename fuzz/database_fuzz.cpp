// libFuzzer target: a definitions database file through the decoder, and the
// rating pass over the decoded working copy.
//  - the version is "" or has its slashes at index 2 and 5, without CR LF;
//  - the outer layer round-trips: building a file from the decoded body and
//    decoding it again gives the same body;
//  - the decoder writes exactly the body as the working copy;
//  - rating a set of entries reads the working copy without failing, and every
//    rating is one the program knows.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/program_context.h"
#include "database/categories.h"
#include "database/database_file.h"
#include "database/rating.h"
#include "entries/task.h"
#include "fuzz/fuzz_support.h"
#include "platform/files.h"
#include "platform/ini_file.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::WorkDir();
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string version = DefnsVersionOf(bytes);
  if (!version.empty()) {
    FUZZ_CHECK(version.size() >= 6 && version[2] == '/' && version[5] == '/');
    FUZZ_CHECK(version.find("\r\n") == std::string::npos);
  }
  std::string body;
  bool hasBody = ExtractPlainBody(bytes, &body);
  if (hasBody) {
    std::string again;
    FUZZ_CHECK(ExtractPlainBody(BuildDatabaseFile("01/02/2003", body), &again) && again == body);
  }
  std::string scrambled = ScrambleText(bytes.substr(0, 64));
  FUZZ_CHECK(ScrambleText(UnscrambleText(scrambled)) == scrambled);

  const std::string& programDir = fuzz::Context().programDir;
  fuzz::WriteHostFile(platform::files::HostPathFromWindows(fuzz::System(), DatabasePath(programDir)), data,
                      size);
  platform::ini::ClearCache(fuzz::System());
  FUZZ_CHECK(DecodeDatabase(fuzz::System(), programDir) == hasBody);
  if (!hasBody) return 0;
  std::string copy;
  FUZZ_CHECK(platform::files::ReadWholeFile(fuzz::System(), WorkingCopyPath(programDir), &copy) ==
                 platform::kSuccess &&
             copy == body);

  Rater rater(fuzz::Context());
  std::vector<std::unique_ptr<Task>> owned;
  std::vector<Task*> tasks;
  for (const char* file : {"explorer.exe", "ctfmon.exe", "tray.exe", "qttask.exe", "a.exe"}) {
    auto task = std::make_unique<Task>();
    task->name = file;
    task->fileName = file;
    task->command = std::string("C:\\x\\") + file;
    tasks.push_back(task.get());
    owned.push_back(std::move(task));
  }
  rater.FillCategoryCodes();
  rater.RateAll(fuzz::System(), tasks);
  for (Task* task : tasks) {
    Task single = *task;
    single.rating = kUnknownFileRating;
    rater.RateTask(fuzz::System(), single);
    FUZZ_CHECK(!task->rating.empty() && !single.rating.empty());
  }
  return 0;
}
