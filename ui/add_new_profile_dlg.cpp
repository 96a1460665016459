#include "ui/add_new_profile_dlg.h"

#include "ui/movie_names.h"

namespace velmora::ui {

namespace {

constexpr int kTemplateWidth = 200;  // template 173, dialog units
constexpr int kTemplateHeight = 62;

}  // namespace

AddNewProfileDlg::AddNewProfileDlg(const ProgramContext& program, MessageBoxPresenter* box, QWidget* parent)
    : MovieDialog(program, kNewProfileMovie, kTemplateWidth, kTemplateHeight, box, parent) {
  setObjectName("AddNewProfileDlg");
  commands_ = {
      {cmd::kDrag, [this](const std::string&) { Movie()->DragWindow(); }},
      {cmd::kSave, [this](const std::string& name) { Save(name); }},
      {cmd::kDialogCancel,
       [this](const std::string&) {
         profileName.clear();
         reject();
       }},
  };
}

void AddNewProfileDlg::Save(const std::string& name) {
  profileName = name;
  if (acceptName && !acceptName(name)) return;
  accept();
}

}  // namespace velmora::ui
