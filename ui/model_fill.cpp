#include "ui/model_fill.h"

#include <utility>

namespace velmora::ui {

ModelFill::ModelFill(StartupParameters& model) : model_(model) {
  thread_ = std::thread([this] {
    model_.ReadAll();
    model_.FillCategoryCodes();
    model_.RateAllTasks();
    model_.EnumerateProfiles();
    seen_ = changes::SeenEntries::Read(model_.System());
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
