#include "ui/profile_dlg.h"

namespace velmora::ui {

namespace {

constexpr int kTemplateWidth = 220;  // template 174, dialog units
constexpr int kTemplateHeight = 104;

}  // namespace

ProfileDlg::ProfileDlg(StartupParameters& model, MessageBoxPresenter* box, QWidget* parent)
    : MovieDialog(kProfileMovie, kTemplateWidth, kTemplateHeight, box, parent), model_(model) {
  setObjectName("ProfileDlg");
  commands_ = {
      {"IDC_FS_drag", [this](const std::string&) { Movie()->DragWindow(); }},
      {"ID_FS_Exit",
       [this](const std::string&) {
         profileName.clear();
         reject();
       }},
      {"ID_Fs_loadProfile",
       [this](const std::string& name) {
         profileName = name;
         accept();
       }},
      {"ID_Fs_removeProfile", [this](const std::string& name) { RemoveProfile(name); }},
  };
}

void ProfileDlg::SetInitialVariables() {
  Movie()->SetMovieVariable("_root.strProfilesNames", model_.profileNames);
  Movie()->SetMovieVariable("_root.bProfileUpdate", "1");
}

void ProfileDlg::RemoveProfile(const std::string& name) {
  // No question: the movie asks before it sends the command, if at all.
  if (!model_.DeleteProfile(name)) return;
  Movie()->SetMovieVariable("_root.strProfilesNames", model_.profileNames);
  Movie()->SetMovieVariable("_root.bProfileUpdate", "1");
}

}  // namespace velmora::ui
