// Rating entries from the definitions database: the working copy in the folder
// the program writes in (ProgramContext::WriteDir), looked up through its index
// (database/definitions_index.h).
#pragma once

#include <future>
#include <string>
#include <vector>

#include "base/program_context.h"
#include "database/categories.h"
#include "entries/task.h"

namespace platform {
class ManagedSystem;
}  // namespace platform

namespace velmora {

class Rater {
 public:
  // |context| gives the program folder and the texts; it must outlive the object.
  explicit Rater(const ProgramContext& context) : context_(context) {}

  // Starts making the index of the definitions on a thread of its own, so that it
  // is ready (or nearly) when the entries are read and rated; the ratings wait
  // for it. Without a thread to spare, the first rating makes it as before.
  void PrepareIndex(platform::ManagedSystem& system);

  // The category codes in the order of the look-up; empty until filled, and then
  // nothing is rated by a category section.
  void FillCategoryCodes();
  const std::vector<std::string>& CategoryCodes() const { return categoryCodes_; }

  // The working copy is read through the program's own files (the context's
  // programFiles), else through |system|: the systems listed side by side share
  // one parse of it.
  // Rates every task: the last category hit decides, and the name patterns touch
  // only tasks still unrated, the first match deciding.
  void RateAll(platform::ManagedSystem& system, const std::vector<Task*>& tasks) const;
  // Rates one task: the first category hit decides, else the first pattern that
  // matches while its description is still "no information". Also sets fileName.
  void RateTask(platform::ManagedSystem& system, Task& task) const;

 private:
  std::string DatabaseFile() const;
  platform::ManagedSystem& FilesOf(platform::ManagedSystem& system) const;

  const ProgramContext& context_;
  std::vector<std::string> categoryCodes_;
  std::future<void> preparing_;  // waited for when the rater goes
};

// The file name the definitions are looked up by: the entry's file name, except
// for a command of a Squirrel install (Discord, Teams, Slack and others start
// their program through "...\Update.exe --processStart Name.exe"), which is rated
// as the program it starts, "Name.exe", not as its updater.
std::string RatedFileName(const Task& task);

// Pattern match of the "SPC" section. A pattern without '*' is found anywhere in
// the name; with '*', the part before it is found first and the rest is matched
// against what follows that occurrence. A remaining pattern ".exe" matches
// anything. Letters compare without regard to case.
bool MatchNamePattern(const std::string& pattern, const std::string& name);

}  // namespace velmora
