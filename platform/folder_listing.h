// What a backend gives FolderSearch: the items a find-first pattern matches, in
// any order. FolderSearch orders them the same way on every backend.
#pragma once

#include <string>
#include <vector>

#include "platform/files.h"

namespace platform::files {

// Appends the items that |pattern| (a folder and a mask with '*' and '?', or one
// path) matches; false when the folder is missing or unreadable.
bool ListMatchingItems(ManagedSystem& system, const std::string& pattern, std::vector<FoundItem>* items);

}  // namespace platform::files
