#include "ui/movie_dialog.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

#include "app/language.h"
#include "app/message_box_requests.h"
#include "ui/custom_msg_box_dlg.h"

namespace velmora::ui {

namespace {

constexpr unsigned kTitleId = text_id::kProgramName;
constexpr int kBackgroundColor = 0x33;

}  // namespace

MovieDialog::MovieDialog(const ProgramContext& program, const char* movieBaseName, int templateWidth,
                         int templateHeight, MessageBoxPresenter* box, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      program_(program),
      movieBaseName_(movieBaseName),
      box_(box) {
  setModal(true);
  if (!box_) {
    ownBox_ = std::make_unique<QtMessageBoxPresenter>(program_, this);
    box_ = ownBox_.get();
  }
  resize(DialogUnitsToPixelsX(templateWidth), DialogUnitsToPixelsY(templateHeight));
  movie_ = new FlashMovieHost(this);
  movie_->setGeometry(0, 0, width(), height());
  movie_->SetCommandHandler(
      [this](const std::string& command, const std::string& argument) { OnMovieCommand(command, argument); });
}

MovieDialog::~MovieDialog() = default;

void MovieDialog::Initialise() {
  if (initialised_) return;
  initialised_ = true;
  setWindowTitle(QString::fromStdString(program_.Text(kTitleId)));
  movie_->SetMovie(program_, MoviePath(program_, movieBaseName_));
  movie_->SetScale("NoScale");
  movie_->SetAlignMode(kAlignLeft | kAlignTop);
  movie_->SetBackgroundColor(kBackgroundColor);
  // The window keeps the movie's size, also when the variables it is given
  // make the movie grow (more locations, a longer text).
  if (QQuickItem* root = movie_->MovieRoot()) {
    connect(root, &QQuickItem::widthChanged, this, &MovieDialog::FitToMovie);
    connect(root, &QQuickItem::heightChanged, this, &MovieDialog::FitToMovie);
  }
  FitToMovie();
  SetInitialVariables();
}

void MovieDialog::FitToMovie() {
  QQuickItem* root = movie_->MovieRoot();
  if (!root) return;
  const int w = static_cast<int>(root->width());
  const int h = static_cast<int>(root->height());
  if (w <= 0 || h <= 0) return;
  resize(w, h);
  movie_->setGeometry(0, 0, w, h);
}

int MovieDialog::DoModal() {
  Initialise();
  // Commands the movie raised while it started are handled before it appears.
  QCoreApplication::sendPostedEvents(movie_, QEvent::MetaCall);
  movie_->FlushCommands();
  QWidget* anchor = parentWidget() ? parentWidget()->window() : nullptr;
  QRect area = anchor && anchor->isVisible()
                   ? anchor->frameGeometry()
                   : (screen() ? screen()->availableGeometry() : QRect(0, 0, 1024, 768));
  move(area.center() - QPoint(width() / 2, height() / 2));
  movie_->setFocus();
  return exec();
}

void MovieDialog::OnMovieCommand(const std::string& command, const std::string& argument) {
  DispatchMovieCommand(commands_, command, argument);
}

int MovieDialog::ShowMessage(MessageBoxRequest& request) {
  if (request.title.empty()) request.title = program_.Text(kTitleId);
  return box_->Show(request);
}

void MovieDialog::ShowError(const std::string& message) {
  MessageBoxRequest request = ErrorBox(message);
  ShowMessage(request);
}

int MovieDialog::AskYesNo(const std::string& title, const std::string& message) {
  MessageBoxRequest request = YesNoQuestion(title, message);
  return ShowMessage(request);
}

}  // namespace velmora::ui
