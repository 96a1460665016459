#include "ui/model_fill.h"

#include <utility>

namespace velmora::ui {

ModelFill::ModelFill(StartupParameters& model) : ModelFill(model, nullptr) {}

ModelFill::ModelFill(StartupParameters& model, std::function<bool()> first)
    : model_(model), first_(firstDone_.get_future().share()) {
  thread_ = std::thread([this, first = std::move(first)] {
    const bool go = first ? first() : true;
    firstDone_.set_value(go);
    if (!go) return;
    model_.ReadAll();
    model_.FillCategoryCodes();
    model_.EnumerateProfiles();
    seen_ = changes::SeenEntries::Read(model_.System());
  });
}

ModelFill::~ModelFill() {
  if (thread_.joinable()) thread_.join();
}

bool ModelFill::WaitFirst() { return first_.get(); }

changes::SeenEntries ModelFill::Wait() {
  if (thread_.joinable()) thread_.join();
  return std::move(seen_);
}

}  // namespace velmora::ui
