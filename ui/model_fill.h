// ModelFill: the model as the window starts with it, read on a thread of its own
// while the window is built and its movies load.
#pragma once

#include <thread>

#include "changes/seen_entries.h"
#include "changes/startup_parameters.h"

namespace velmora::ui {

class ModelFill {
 public:
  // Starts reading the locations, the store, the ratings, the profiles and the
  // record of entries seen into |model|. Until Wait returns, that thread alone
  // uses the registry, the file system and |model|.
  explicit ModelFill(StartupParameters& model);
  ModelFill(const ModelFill&) = delete;
  ModelFill& operator=(const ModelFill&) = delete;
  ~ModelFill();  // waits for the thread

  // Waits until the model is filled; the record of entries seen, once.
  changes::SeenEntries Wait();

 private:
  StartupParameters& model_;
  changes::SeenEntries seen_;
  std::thread thread_;
};

}  // namespace velmora::ui
