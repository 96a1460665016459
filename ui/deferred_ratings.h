// DeferredRatings: the ratings of the model's entries, made on a thread of their
// own once the window has drawn its first frame (they take as long as reading the
// entries, and the first frame does not show them), and given to the entries on
// the window's thread. The thread rates copies of what a rating reads of each
// entry; the entries themselves change only in Settle, on the window's thread.
#pragma once

#include <functional>
#include <future>
#include <vector>

#include "entries/task.h"

namespace velmora {
class StartupParameters;
}  // namespace velmora

namespace velmora::ui {

class DeferredRatings {
 public:
  // Nothing is rated until Start or Settle. |model| must outlive the object; from
  // Start until Settle it is only read, and nothing else rates it.
  explicit DeferredRatings(StartupParameters& model) : model_(model) {}
  DeferredRatings(const DeferredRatings&) = delete;
  DeferredRatings& operator=(const DeferredRatings&) = delete;
  ~DeferredRatings();  // waits for the thread; what it rated is dropped

  // Whether the entries still wait for their ratings.
  bool Pending() const { return pending_; }
  // Whether Start was called.
  bool Begun() const { return begun_; }
  // Begins rating every entry of the model on a thread of its own (once, while
  // pending); |ready| is called on that thread when the ratings are made. Without
  // a thread to spare the ratings are made by Settle.
  void Start(std::function<void()> ready);
  // Waits for the ratings (made here when not begun) and gives them to the
  // entries. False when nothing was pending.
  bool Settle();

 private:
  StartupParameters& model_;
  bool pending_ = true;
  bool begun_ = false;
  std::vector<Task*> tasks_;
  std::vector<Task> copies_;
  std::future<void> rating_;
};

}  // namespace velmora::ui
