#include "platform/posix/resource_file.h"

#include <utility>

#include "platform/posix/host_system.h"

namespace platform::posix {

ResourceFile::ResourceFile(ManagedSystem& system, const std::string& path)
    : system_(AsHost(system)), host_(system.HostPathFromWindows(path)) {
  if (host_.empty() || !system_.MayExist(host_)) return;
  file_ = system_.TakeOpenFile(host_);
  if (file_) return;
  auto file = std::make_unique<FileBytes>();
  if (file->Open(host_)) file_ = std::move(file);
}

ResourceFile::~ResourceFile() {
  if (file_) system_.KeepOpenFile(host_, std::move(file_));
}

}  // namespace platform::posix
