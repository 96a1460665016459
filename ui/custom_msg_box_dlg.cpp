#include "ui/custom_msg_box_dlg.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <climits>

#include "app/language.h"
#include "base/text.h"
#include "ui/movie_names.h"

namespace velmora::ui {

namespace {

constexpr unsigned kProgramTitleId = text_id::kProgramName;
constexpr int kTemplateWidth = 185;  // dialog units
constexpr int kTemplateHeight = 58;
constexpr int kBackgroundColor = 0x33;
constexpr int kAlignLeftTop = kAlignLeft | kAlignTop;

}  // namespace

int AtoiLike(const std::string& text) { return ParseLeadingInt(text); }

CustomMsgBoxDlg::CustomMsgBoxDlg(const ProgramContext& program, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      title(program.Text(kProgramTitleId)),
      program_(program) {
  setModal(true);
  resize(DialogUnitsToPixelsX(kTemplateWidth), DialogUnitsToPixelsY(kTemplateHeight));
  movie_ = new FlashMovieHost(this);
  movie_->setGeometry(0, 0, QDialog::width(), QDialog::height());
  movie_->SetCommandHandler(
      [this](const std::string& command, const std::string& argument) { OnMovieCommand(command, argument); });
  commands_ = {
      {cmd::kDrag, [this](const std::string&) { movie_->DragWindow(); }},
      {cmd::kDialogExit, [this](const std::string&) { done(0); }},
      {cmd::kBoxWidth,
       [this](const std::string& argument) {
         if (!EqualsIgnoreCase(argument, "undefined")) width = AtoiLike(argument);
       }},
      {cmd::kBoxHeight,
       [this](const std::string& argument) {
         if (!EqualsIgnoreCase(argument, "undefined")) height = AtoiLike(argument);
         ResizeToMovie();
       }},
      {cmd::kBoxOk,
       [this](const std::string&) {
         ReadCheckState();
         done(1);
       }},
      {cmd::kBoxCancel,
       [this](const std::string&) {
         ReadCheckState();
         done(2);
       }},
  };
}

void CustomMsgBoxDlg::Initialise() {
  if (initialised_) return;
  initialised_ = true;
  setWindowTitle(QString::fromStdString(title));
  movie_->SetMovie(program_, MoviePath(program_, kMessageBoxMovie));
  movie_->SetScale("NoScale");
  movie_->SetAlignMode(kAlignLeftTop);
  movie_->SetBackgroundColor(kBackgroundColor);
  movie_->SetMovieVariable(var::kBoxTitle, title);
  movie_->SetMovieVariable(var::kBoxMessage, message);
  movie_->SetMovieVariable(var::kBoxButtonCount, std::to_string(buttonCount));
  movie_->SetMovieVariable(var::kBoxIcon, kind);
  movie_->SetMovieVariable(var::kBoxShowCheck, std::to_string(showCheckBox ? 1 : 0));
  movie_->SetMovieVariable(var::kBoxCheckLabel, checkLabel);
  movie_->SetMovieVariable(var::kBoxCheck, std::to_string(checkState ? 1 : 0));
  movie_->SetMovieVariable(var::kBoxCaption1, firstCaption);
  movie_->SetMovieVariable(var::kBoxCaption2, secondCaption);
  movie_->SetMovieVariable(var::kBoxMessageChanged, "false");
}

int CustomMsgBoxDlg::DoModal() {
  Initialise();
  // The movie reports its size as soon as it has its texts: take that before the
  // box appears, so that it opens centred at its final size.
  QCoreApplication::sendPostedEvents(movie_, QEvent::MetaCall);
  movie_->FlushCommands();
  QWidget* anchor = parentWidget() ? parentWidget()->window() : nullptr;
  QRect area = anchor && anchor->isVisible()
                   ? anchor->frameGeometry()
                   : (screen() ? screen()->availableGeometry() : QRect(0, 0, 1024, 768));
  move(area.center() - QPoint(QDialog::width() / 2, QDialog::height() / 2));
  return exec();
}

void CustomMsgBoxDlg::OnMovieCommand(const std::string& command, const std::string& argument) {
  DispatchMovieCommand(commands_, command, argument);
}

void CustomMsgBoxDlg::ReadCheckState() {
  checkState = movie_->GetMovieVariable(var::kBoxCheck) == "true" ? 1 : 0;
}

void CustomMsgBoxDlg::ResizeToMovie() {
  // Keep the top-left corner; the stacking order does not change with a resize.
  const int w = width > 0 ? width : 1;
  const int h = height > 0 ? height : 1;
  resize(w, h);
  movie_->setGeometry(0, 0, w, h);
}

int QtMessageBoxPresenter::Show(MessageBoxRequest& request) {
  CustomMsgBoxDlg box(program_, parent_);
  if (!request.title.empty()) box.title = request.title;
  box.message = request.message;
  box.kind = request.kind;
  box.buttonCount = request.buttonCount;
  box.firstCaption = request.firstCaption;
  box.secondCaption = request.secondCaption;
  box.showCheckBox = request.showCheckBox ? 1 : 0;
  box.checkLabel = request.checkLabel;
  box.checkState = request.checkState ? 1 : 0;
  int result = box.DoModal();
  if (result == 1 || result == 2) request.checkState = box.checkState != 0;
  return result;
}

}  // namespace velmora::ui
