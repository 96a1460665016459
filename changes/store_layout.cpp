#include "changes/store_layout.h"

#include "base/text.h"
#include "entries/startup_location.h"
#include "platform/environment.h"

namespace velmora::changes {

std::string StoreValueName(int location, const std::string& name) {
  return std::to_string(location) + "|" + name;
}

void ParseStoreValueName(const std::string& valueName, int* location, std::string* name) {
  std::size_t bar = valueName.find('|');
  if (bar == std::string::npos) {
    *location = 0;
    *name = valueName;
    return;
  }
  *location = ParseLeadingInt(std::string_view(valueName).substr(0, bar));
  *name = valueName.substr(bar + 1);
}

std::string StoreDataKeyPath() { return ProgramKeyPath() + "\\DisabledTaskData"; }

std::string KeptItemsFolder(platform::ManagedSystem& system, int location) {
  if (!IsFolderLocation(location)) return "";
  std::string appData = platform::env::Value(system, "APPDATA");
  if (appData.empty() || appData.find('%') != std::string::npos) return "";
  while (!appData.empty() && appData.back() == '\\') appData.pop_back();
  return appData + "\\" + kCompanyName + "\\" + kProductName + "\\Disabled Startup Items\\" +
         std::to_string(location);
}

std::string ValueText(const std::string& data) {
  std::size_t zero = data.find('\0');
  return zero == std::string::npos ? data : data.substr(0, zero);
}

std::string StringData(const std::string& text) { return text + std::string(1, '\0'); }

}  // namespace velmora::changes
