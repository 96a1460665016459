#include "ui/deferred_ratings.h"

#include <system_error>
#include <utility>

#include "changes/startup_parameters.h"

namespace velmora::ui {

namespace {

// What a rating reads of an entry and writes into it, and nothing else.
Task RatingCopy(const Task& task) {
  Task copy;
  copy.fileName = task.fileName;
  copy.command = task.command;
  copy.description = task.description;
  copy.rating = task.rating;
  return copy;
}

std::vector<Task*> PointersTo(std::vector<Task>& tasks) {
  std::vector<Task*> pointers;
  pointers.reserve(tasks.size());
  for (Task& task : tasks) pointers.push_back(&task);
  return pointers;
}

}  // namespace

DeferredRatings::~DeferredRatings() {
  if (rating_.valid()) rating_.wait();
}

void DeferredRatings::Start(std::function<void()> ready) {
  if (!pending_ || begun_) return;
  begun_ = true;
  tasks_ = model_.AllTasks();
  copies_.reserve(tasks_.size());
  for (const Task* task : tasks_) copies_.push_back(RatingCopy(*task));
  try {
    rating_ = std::async(std::launch::async, [this, ready = std::move(ready)] {
      model_.RateTasks(PointersTo(copies_));
      if (ready) ready();
    });
  } catch (const std::system_error&) {
    // No thread: Settle rates them.
  }
}

bool DeferredRatings::Settle() {
  if (!pending_) return false;
  pending_ = false;
  if (!rating_.valid()) {
    model_.RateAllTasks();
  } else {
    rating_.get();
    for (std::size_t n = 0; n < tasks_.size(); ++n) {
      tasks_[n]->description = std::move(copies_[n].description);
      tasks_[n]->rating = std::move(copies_[n].rating);
    }
  }
  tasks_.clear();
  copies_.clear();
  return true;
}

}  // namespace velmora::ui
