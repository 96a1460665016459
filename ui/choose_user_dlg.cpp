#include "ui/choose_user_dlg.h"

#include <algorithm>

#include "ui/movie_names.h"

namespace velmora::ui {

namespace {

constexpr int kTemplateWidth = 210;  // dialog units, until the movie gives its size
constexpr int kTemplateHeight = 110;

}  // namespace

ChooseUserDlg::ChooseUserDlg(const ProgramContext& program, std::string installation,
                             std::vector<std::string> users, MessageBoxPresenter* box, QWidget* parent)
    : MovieDialog(program, kChooseUserMovie, kTemplateWidth, kTemplateHeight, box, parent),
      installation_(std::move(installation)),
      users_(std::move(users)) {
  setObjectName("ChooseUserDlg");
  commands_ = {
      {cmd::kDrag, [this](const std::string&) { Movie()->DragWindow(); }},
      {cmd::kChooseUser,
       [this](const std::string& name) {
         // Only a name that was offered is taken.
         if (std::find(users_.begin(), users_.end(), name) == users_.end()) return;
         chosenUser = name;
         accept();
       }},
      {cmd::kDialogCancel, [this](const std::string&) { reject(); }},
  };
}

void ChooseUserDlg::SetInitialVariables() {
  std::string names;
  for (const std::string& user : users_) names += (names.empty() ? "" : "|") + user;
  Movie()->SetMovieVariable("_root.strInstallation", installation_);
  Movie()->SetMovieVariable("_root.strUserNames", names);
}

}  // namespace velmora::ui
