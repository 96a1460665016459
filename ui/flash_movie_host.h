// FlashMovieHost: plays one movie (a QML document) in a QQuickWidget that fills a
// frameless window, and carries the two directions of the movie protocol:
//   movie -> program: the root item's signal fsCommand(command, argument);
//   program -> movie: SetMovieVariable / GetMovieVariable on paths under "_root"
//     ("_root.applyState" is the root's property applyState, "_root.message_txt.text"
//     the property text of the child whose objectName is message_txt).
#pragma once

#include <QPoint>
#include <QPointer>
#include <QQuickItem>
#include <QQuickWidget>
#include <QSize>
#include <QStringList>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/program_context.h"
#include "ui/movie_names.h"

class QQmlComponent;

namespace velmora::ui {

// Full Windows path of a movie of |program|: MovieDir\<EncodeFileName(baseName)><extension>.
// MovieDir creates the numbered folders when they are missing, through the
// context's programFiles (which must be set).
std::string MoviePath(const ProgramContext& program, const std::string& baseName,
                      const std::string& extension = ".vmf");

// Pixels of dialog units of the windows' templates (the system dialog font's
// base units, 6 x 13 pixels).
inline int DialogUnitsToPixelsX(int units) { return (units * 6 + 2) / 4; }
inline int DialogUnitsToPixelsY(int units) { return (units * 13 + 4) / 8; }

// Alignment bits of SetAlignMode.
enum MovieAlign { kAlignLeft = 1, kAlignRight = 2, kAlignTop = 4, kAlignBottom = 8 };

// One window's command table: names compared without regard to ASCII letter case,
// in the table's order; the first equal name runs.
struct MovieCommand {
  const char* name;
  std::function<void(const std::string& argument)> action;
};
using MovieCommandTable = std::vector<MovieCommand>;
// Index of the entry that ran, or -1 when no name matched.
int DispatchMovieCommand(const MovieCommandTable& table, const std::string& command,
                         const std::string& argument);
bool EqualsIgnoreCase(const std::string& a, const std::string& b);

// A movie's document: its Windows path and the host file it names.
struct MovieFile {
  std::string windowsPath;
  QString hostPath;  // empty when the path names no file
};

class FlashMovieHost : public QQuickWidget {
  Q_OBJECT

 public:
  // Finds the host file of the movie at |windowsPath| through |program|'s
  // programFiles (none without one). Loading the document then needs nothing
  // more of the file system's mapping (see SetMovie(MovieFile)).
  static MovieFile FindMovie(const ProgramContext& program, const std::string& windowsPath);

  explicit FlashMovieHost(QWidget* parent = nullptr);
  ~FlashMovieHost() override;

  // ---- player properties -------------------------------------------------------
  // Movie: loads the document at |windowsPath| (replacing any earlier movie). A
  // missing or broken document leaves the player empty; nothing is reported to the
  // window, but MovieErrors() tells what went wrong. The path is |program|'s.
  void SetMovie(const ProgramContext& program, const std::string& windowsPath);
  // The same for a movie already found: uses only Qt.
  void SetMovie(const MovieFile& movie);
  // "NoScale": the movie keeps its own size and is placed by the align mode;
  // anything else ("ShowAll"): scaled uniformly to fit the player.
  void SetScale(const std::string& mode);
  void SetAlignMode(int mode);       // MovieAlign bits; 0 centres
  void SetBackgroundColor(int rgb);  // 0xRRGGBB
  // With |fit| the movie's root item takes the player's size (a movie that lays
  // itself out for any size follows its window); otherwise it keeps its own.
  void SetFitMovieToView(bool fit);

  bool MovieLoaded() const { return root_ != nullptr; }
  const QStringList& MovieErrors() const { return errors_; }
  QQuickItem* MovieRoot() const { return root_; }
  std::string MoviePathLoaded() const { return moviePath_; }

  // ---- variables -------------------------------------------------------------------
  // Setting a name the movie does not have has no effect.
  void SetMovieVariable(const std::string& name, const std::string& value);
  // The value as text; "" for a name the movie does not have.
  std::string GetMovieVariable(const std::string& name) const;

  // ---- commands ------------------------------------------------------------------
  // The window's handler. Commands reach it from the event loop after the movie's
  // own event handling has returned, one at a time: a command that arrives while
  // the handler runs (for example inside a modal box it opened) waits until the
  // handler has returned.
  void SetCommandHandler(std::function<void(const std::string&, const std::string&)> handler);
  // Runs the commands that have arrived but not been handled yet.
  void FlushCommands();

  // DragWindow: moves the top-level window with the mouse as if its caption were
  // dragged. Uses the window system's own move where it has one; otherwise the
  // window follows the mouse until the button is released.
  void DragWindow();

 signals:
  // Every command of the movie, as it is raised (before the handler runs).
  void fsCommand(const QString& command, const QString& argument);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private slots:
  void OnRootCommand(const QString& command, const QString& argument);
  void Relayout();

 private:
  void UnloadMovie();
  QObject* FindPathObject(const std::string& name, std::string* property) const;
  void RunPending();

  QPointer<QQuickItem> root_;
  QQmlComponent* component_ = nullptr;
  QStringList errors_;
  std::string moviePath_;
  bool drawn_ = false;  // painted at least once
  bool noScale_ = false;
  bool fitToView_ = false;
  int alignMode_ = 0;

  std::function<void(const std::string&, const std::string&)> handler_;
  std::deque<std::pair<std::string, std::string>> pending_;
  bool handling_ = false;
  bool runScheduled_ = false;

  // Manual dragging when the window system cannot move the window itself.
  bool dragging_ = false;
  QPoint pressGlobal_;
  QPoint dragStartGlobal_;
  QPoint dragStartWindow_;
};

}  // namespace velmora::ui
