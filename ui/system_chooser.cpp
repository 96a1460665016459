#include "ui/system_chooser.h"

#include <QDialog>

#include "app/system_choice.h"
#include "platform/offline.h"
#include "ui/choose_user_dlg.h"

namespace velmora::ui {

namespace {

// Tabs and line ends would split a field.
std::string Field(std::string text) {
  for (char& c : text) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

}  // namespace

std::string SystemListText(const std::vector<platform::KnownSystem>& systems) {
  std::string text;
  for (const platform::KnownSystem& system : systems) {
    if (!text.empty()) text += "\n";
    text += Field(system.kind) + "\t" + Field(system.name) + "\t" + Field(system.path) + "\t" +
            Field(system.problem);
  }
  return text;
}

int DescribeSystem(platform::ManagedSystem& system, const std::vector<platform::KnownSystem>& systems,
                   platform::KnownSystem* shown) {
  const std::string path = system.Location();
  for (std::size_t i = 0; i < systems.size(); ++i) {
    if (!path.empty() && systems[i].path == path) {
      *shown = systems[i];
      return static_cast<int>(i);
    }
  }
  const std::size_t slash = path.find_last_of("/\\");
  *shown = {slash == std::string::npos ? path : path.substr(slash + 1),
            system.IsWinePrefix()      ? "wine"
            : system.RunsThisProgram() ? "windows"
                                       : "offline",
            path, ""};
  return -1;
}

bool OpenChosenKnownSystem(const ProgramContext& program, const platform::KnownSystem& system,
                           std::unique_ptr<platform::ManagedSystem>* opened, std::string* error) {
  std::string userName;
  if (system.kind == "offline" && system.problem.empty()) {
    const std::vector<std::string> users = platform::OfflineUserNames(system.path);
    if (users.size() > 1) {
      ChooseUserDlg dialog(program, system.path, users);
      if (dialog.DoModal() != QDialog::Accepted) {
        error->clear();
        return false;
      }
      userName = dialog.chosenUser;
    }
  }
  if (!platform::OpenKnownSystem(system, userName, opened, error)) return false;
  return CheckSystemReadable(**opened, error);
}

}  // namespace velmora::ui
