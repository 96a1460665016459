// The registry backend's cache of loaded hives.
#pragma once

namespace platform::posix {

// Drops every loaded hive; the next call reads the files again.
void ForgetRegistryHives();

}  // namespace platform::posix
