// The icon results that do not come from a file, the same on every backend.
#include "platform/icons.h"

#include <map>
#include <mutex>

namespace platform {

IconHandle icons::NotAnIconFileResult() {
  static const IconHandle result = [] {
    auto image = std::make_shared<IconImage>();
    image->notAnIconFile = true;
    return IconHandle(image);
  }();
  return result;
}

IconHandle icons::ProgramIcon(int resourceId) {
  static std::mutex mutex;
  static std::map<int, IconHandle> icons;
  std::lock_guard<std::mutex> lock(mutex);
  IconHandle& icon = icons[resourceId];
  if (!icon) {
    auto image = std::make_shared<IconImage>();
    image->resourceId = resourceId;
    icon = image;
  }
  return icon;
}

}  // namespace platform
