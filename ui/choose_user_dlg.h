// ChooseUserDlg: the choice of a user of an offline Windows installation that
// has several, drawn by the movie "ChooseUser".
//
//   ChooseUserDlg dialog(program, root, {"Ann", "Bob"});
//   if (dialog.DoModal() == QDialog::Accepted) use(dialog.chosenUser);
#pragma once

#include <string>
#include <vector>

#include "ui/movie_dialog.h"

namespace velmora::ui {

class ChooseUserDlg : public MovieDialog {
  Q_OBJECT

 public:
  ChooseUserDlg(const ProgramContext& program, std::string installation, std::vector<std::string> users,
                MessageBoxPresenter* box = nullptr, QWidget* parent = nullptr);

  // The name chosen, after Accepted.
  std::string chosenUser;

 protected:
  void SetInitialVariables() override;

 private:
  std::string installation_;
  std::vector<std::string> users_;
};

}  // namespace velmora::ui
