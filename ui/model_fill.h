// ModelFill: the model as the window starts with it, read on a thread of its own
// while the window is built and its movies load.
#pragma once

#include <functional>
#include <future>
#include <thread>

#include "changes/seen_entries.h"
#include "changes/startup_parameters.h"

namespace velmora::ui {

class ModelFill {
 public:
  // Starts reading the locations, the store, the profiles and the record of
  // entries seen into |model|; the entries are not rated (ui/deferred_ratings.h). Until Wait returns, that
  // thread alone uses the registry, the file system and |model|.
  explicit ModelFill(StartupParameters& model);
  // The same after |first|, run on that thread before the fill: the fill follows
  // only when it returns true. Until WaitFirst returns, |first| alone uses what
  // it reaches (the core's start: the system, the program's context, the settings).
  ModelFill(StartupParameters& model, std::function<bool()> first);
  ModelFill(const ModelFill&) = delete;
  ModelFill& operator=(const ModelFill&) = delete;
  ~ModelFill();  // waits for the thread

  // Waits until |first| has returned; what it returned (true without one).
  bool WaitFirst();
  // Waits until the model is filled; the record of entries seen, once.
  changes::SeenEntries Wait();

 private:
  StartupParameters& model_;
  changes::SeenEntries seen_;
  std::promise<bool> firstDone_;
  std::shared_future<bool> first_;
  std::thread thread_;
};

}  // namespace velmora::ui
