// Loading and saving shell links through the system's own shell-link object
// (CLSID_ShellLink with IShellLinkW and IPersistFile).
#include "platform/shell_link.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <random>
#include <vector>

#include "platform/files.h"
#include "platform/win32/com.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

using win32::ComPtr;
using win32::Narrow;
using win32::Wide;

constexpr int kTextCapacity = 32768;

bool CreateLink(ComPtr<IShellLinkW>* link, ComPtr<IPersistFile>* file) {
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              link->outVoid()))) {
    return false;
  }
  return SUCCEEDED((*link)->QueryInterface(IID_IPersistFile, file->outVoid()));
}

template <typename Getter>
std::string Text(Getter get) {
  std::vector<wchar_t> buffer(kTextCapacity, L'\0');
  if (FAILED(get(buffer.data(), kTextCapacity))) return "";
  buffer.back() = L'\0';
  return Narrow(buffer.data(), wcslen(buffer.data()));
}

}  // namespace

HResult ShellLink::Load(ManagedSystem& system, const std::string& path) {
  *this = ShellLink();
  win32::ComScope com;  // before the interfaces, which are released first
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> file;
  if (!com.ok() || !CreateLink(&link, &file)) return kFail;
  if (!files::Exists(system, path) || FAILED(file->Load(Wide(path).c_str(), STGM_READ))) return kFail;
  target = Text([&](wchar_t* b, int n) { return link->GetPath(b, n, nullptr, SLGP_RAWPATH); });
  if (target.find('%') != std::string::npos) targetExpandable = target;
  description = Text([&](wchar_t* b, int n) { return link->GetDescription(b, n); });
  workingDirectory = Text([&](wchar_t* b, int n) { return link->GetWorkingDirectory(b, n); });
  arguments = Text([&](wchar_t* b, int n) { return link->GetArguments(b, n); });
  int index = 0;
  iconLocation = Text([&](wchar_t* b, int n) { return link->GetIconLocation(b, n, &index); });
  iconIndex = index;
  int show = 1;
  if (SUCCEEDED(link->GetShowCmd(&show))) showCommand = show;
  return kOk;
}

// Saved to a temporary file beside |path| and renamed over it, so that a failed
// save leaves the old link as it was.
HResult ShellLink::Save(ManagedSystem& system, const std::string& path) const {
  win32::ComScope com;
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> file;
  if (!com.ok() || !CreateLink(&link, &file)) return kFail;
  if (FAILED(link->SetPath(Wide(target).c_str()))) return kFail;
  if (!description.empty()) link->SetDescription(Wide(description).c_str());
  if (!arguments.empty()) link->SetArguments(Wide(arguments).c_str());
  if (!workingDirectory.empty()) link->SetWorkingDirectory(Wide(workingDirectory).c_str());
  if (!iconLocation.empty()) link->SetIconLocation(Wide(iconLocation).c_str(), iconIndex);
  link->SetShowCmd(showCommand);
  std::string temp = path + ".tmp" + std::to_string(std::random_device{}());
  if (FAILED(file->Save(Wide(temp).c_str(), FALSE))) {
    files::RemoveFile(system, temp);
    return kFail;
  }
  if (files::Rename(system, temp, path) != kSuccess) {
    files::RemoveFile(system, temp);
    return kFail;
  }
  return kOk;
}

}  // namespace platform
