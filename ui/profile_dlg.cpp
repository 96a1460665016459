#include "ui/profile_dlg.h"

#include "ui/movie_names.h"

namespace velmora::ui {

namespace {

constexpr int kTemplateWidth = 220;  // template 174, dialog units
constexpr int kTemplateHeight = 104;

}  // namespace

ProfileDlg::ProfileDlg(StartupParameters& model, MessageBoxPresenter* box, QWidget* parent)
    : MovieDialog(model.Context(), kProfileMovie, kTemplateWidth, kTemplateHeight, box, parent),
      model_(model) {
  setObjectName("ProfileDlg");
  commands_ = {
      {cmd::kDrag, [this](const std::string&) { Movie()->DragWindow(); }},
      {cmd::kDialogExit,
       [this](const std::string&) {
         profileName.clear();
         reject();
       }},
      {cmd::kLoadProfile,
       [this](const std::string& name) {
         profileName = name;
         accept();
       }},
      {cmd::kRemoveProfile, [this](const std::string& name) { RemoveProfile(name); }},
  };
}

namespace {

// The names as the movie takes them: joined by "|".
std::string JoinedNames(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names) joined += (joined.empty() ? "" : "|") + name;
  return joined;
}

}  // namespace

void ProfileDlg::SetInitialVariables() {
  Movie()->SetMovieVariable(var::kProfileNames, JoinedNames(model_.ProfileNames()));
  Movie()->SetMovieVariable(var::kProfileUpdate, "1");
}

void ProfileDlg::RemoveProfile(const std::string& name) {
  // No question: the movie asks before it sends the command, if at all.
  if (!model_.DeleteProfile(name)) return;
  Movie()->SetMovieVariable(var::kProfileNames, JoinedNames(model_.ProfileNames()));
  Movie()->SetMovieVariable(var::kProfileUpdate, "1");
}

}  // namespace velmora::ui
