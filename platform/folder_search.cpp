// Find-first/find-next over the items a backend lists, in one order on every
// backend: the self and parent references first, then names without regard to
// case (ties by their bytes).
#include <algorithm>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/files.h"
#include "platform/folder_listing.h"

namespace platform {

struct FolderSearch::State {
  std::vector<FoundItem> items;
  std::size_t position = 0;
};

FolderSearch::FolderSearch(ManagedSystem& system) : system_(system) {}
FolderSearch::~FolderSearch() = default;

bool FolderSearch::FindFirst(const std::string& pattern) {
  state_.reset();
  if (pattern.empty()) return false;
  std::vector<FoundItem> found;
  if (!files::ListMatchingItems(system_, pattern, &found) || found.empty()) return false;
  auto dots =
      std::stable_partition(found.begin(), found.end(), [](const FoundItem& item) { return item.isDots; });
  std::sort(found.begin(), dots, [](const FoundItem& a, const FoundItem& b) { return a.name < b.name; });
  std::sort(dots, found.end(), [](const FoundItem& a, const FoundItem& b) {
    std::string x = velmora::ToLowerAscii(a.name), y = velmora::ToLowerAscii(b.name);
    return x != y ? x < y : a.name < b.name;
  });
  state_ = std::make_unique<State>();
  state_->items = std::move(found);
  return true;
}

bool FolderSearch::FindNext() {
  if (!state_) return false;
  if (state_->position + 1 >= state_->items.size()) return false;
  ++state_->position;
  return true;
}

const FoundItem& FolderSearch::Current() const {
  static const FoundItem empty;
  return state_ ? state_->items[state_->position] : empty;
}

void FolderSearch::Close() { state_.reset(); }

bool files::PathFindsItem(ManagedSystem& system, const std::string& path) {
  FolderSearch search(system);
  return search.FindFirst(path);
}

}  // namespace platform
