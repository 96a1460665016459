// SplashPlayer: plays the splash movie (".vms") in a small frameless window in
// front of the main window as it starts, once the window has drawn its list. The main window calls its three
// operations in this order: LoadMovie(movie), Play(0), SetLooping(false).
//
// The splash movie's root item may declare `signal finished()`: the player then
// closes when the movie has played once (or starts it over when looping). A click
// on the splash closes it at once, and it closes with its owner.
#pragma once

#include <QObject>
#include <QPointer>
#include <string>

class QWidget;

namespace velmora::ui {

class FlashMovieHost;
struct MovieFile;

class SplashPlayer : public QObject {
  Q_OBJECT

 public:
  explicit SplashPlayer(QWidget* owner);
  ~SplashPlayer() override;

  // Operation 22: the splash movie, already found (FlashMovieHost::FindMovie);
  // loading it uses only Qt.
  void LoadMovie(const MovieFile& movie);
  // Operation 19: shows the splash and plays the movie from |startFrame| (0: its start).
  void Play(int startFrame);
  // Operation 15: whether the movie starts over when it has finished.
  void SetLooping(bool looping);

  bool IsShowing() const;
  FlashMovieHost* Host() const { return host_; }
  int CallCount() const { return calls_; }

 public slots:
  void Close();

 private slots:
  void OnMovieFinished();

 private:
  bool eventFilter(QObject* watched, QEvent* event) override;

  QPointer<QWidget> owner_;
  QPointer<QWidget> window_;
  FlashMovieHost* host_ = nullptr;
  bool looping_ = true;
  int calls_ = 0;
};

}  // namespace velmora::ui
