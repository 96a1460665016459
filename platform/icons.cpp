// The icon results that do not come from a file, the same on every backend.
#include "platform/icons.h"

namespace platform {

IconHandle icons::NotAnIconFileResult() {
  static const IconHandle result = [] {
    auto image = std::make_shared<IconImage>();
    image->notAnIconFile = true;
    return IconHandle(image);
  }();
  return result;
}

namespace {

IconHandle MakeProgramIcon(int resourceId) {
  auto image = std::make_shared<IconImage>();
  image->resourceId = resourceId;
  return image;
}

}  // namespace

IconHandle icons::ProgramIcon(int resourceId) {
  // The program's own icons (the window's and the default entry's) are made once
  // and never change; any other id gets an icon of its own.
  static const IconHandle window = MakeProgramIcon(128);
  static const IconHandle entry = MakeProgramIcon(180);
  if (resourceId == 128) return window;
  if (resourceId == 180) return entry;
  return MakeProgramIcon(resourceId);
}

}  // namespace platform
