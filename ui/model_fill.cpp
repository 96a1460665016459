#include "ui/model_fill.h"

#include <utility>

#include "entries/scan_pass.h"

namespace velmora::ui {

ModelFill::ModelFill(StartupParameters& model) : model_(model) {
  thread_ = std::thread([this] {
    {
      ScanPass pass;  // the locations and the store in one pass
      model_.ScanAllLocations();
      model_.ReadDisabledTasks();
    }
    model_.FillCategoryCodes();
    model_.RateAllTasks();
    model_.EnumerateProfiles();
    seen_ = changes::SeenEntries::Read();
  });
}

ModelFill::~ModelFill() {
  if (thread_.joinable()) thread_.join();
}

changes::SeenEntries ModelFill::Wait() {
  if (thread_.joinable()) thread_.join();
  return std::move(seen_);
}

}  // namespace velmora::ui
