#include "ui/splash_player.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMetaObject>
#include <QQuickItem>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include "ui/flash_movie_host.h"

namespace velmora::ui {

SplashPlayer::SplashPlayer(QWidget* owner) : QObject(owner), owner_(owner) {
  if (owner) owner->installEventFilter(this);
}

SplashPlayer::~SplashPlayer() { delete window_.data(); }

void SplashPlayer::LoadMovie(const MovieFile& movie) {
  ++calls_;
  if (!window_) {
    window_ = new QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    window_->setAttribute(Qt::WA_DeleteOnClose, false);
    host_ = new FlashMovieHost(window_);
    host_->SetBackgroundColor(0x000033);
    host_->installEventFilter(this);
  }
  host_->SetMovie(movie);
  host_->SetScale("NoScale");
  host_->SetAlignMode(0);
  if (QQuickItem* root = host_->MovieRoot()) {
    QSize size(static_cast<int>(root->width()), static_cast<int>(root->height()));
    if (size.isEmpty()) size = QSize(360, 220);
    window_->resize(size);
    host_->setGeometry(0, 0, size.width(), size.height());
    if (root->metaObject()->indexOfSignal("finished()") >= 0) {
      connect(root, SIGNAL(finished()), this, SLOT(OnMovieFinished()));
    }
  }
}

void SplashPlayer::Play(int startFrame) {
  ++calls_;
  if (!window_ || !host_->MovieLoaded()) return;
  QQuickItem* root = host_->MovieRoot();
  if (root->metaObject()->indexOfMethod("play(QVariant)") >= 0) {
    QMetaObject::invokeMethod(root, "play", Q_ARG(QVariant, startFrame));
  }
  QScreen* screen = owner_ && owner_->screen() ? owner_->screen() : QGuiApplication::primaryScreen();
  if (screen) {
    QRect area = screen->availableGeometry();
    window_->move(area.center() - QPoint(window_->width() / 2, window_->height() / 2));
  }
  window_->show();
  window_->raise();
  // The owner is still being built: let the splash appear now.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void SplashPlayer::SetLooping(bool looping) {
  ++calls_;
  looping_ = looping;
}

bool SplashPlayer::IsShowing() const { return window_ && window_->isVisible(); }

void SplashPlayer::Close() {
  if (window_) window_->hide();
}

void SplashPlayer::OnMovieFinished() {
  if (looping_ && host_ && host_->MovieRoot() &&
      host_->MovieRoot()->metaObject()->indexOfMethod("play(QVariant)") >= 0) {
    QMetaObject::invokeMethod(host_->MovieRoot(), "play", Q_ARG(QVariant, 0));
    return;
  }
  Close();
}

bool SplashPlayer::eventFilter(QObject* watched, QEvent* event) {
  if (watched == host_ && event->type() == QEvent::MouseButtonRelease) Close();
  // The owner appears while the splash still plays: keep the splash in front
  // (also where no window manager keeps it on top).
  if (watched == owner_ && event->type() == QEvent::Show && IsShowing()) {
    QTimer::singleShot(0, window_.data(), [this] {
      if (window_) window_->raise();
    });
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace velmora::ui
