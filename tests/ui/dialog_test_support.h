// Helpers of the dialog tests: a script of steps that runs while a modal dialog
// (and the boxes and dialogs it opens in turn) waits for the user, and the
// answers given to the program's message box with real clicks on its movie.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "tests/ui/ui_test_support.h"
#include "ui/custom_msg_box_dlg.h"

namespace velmora::test {

// The top-level modal window now in front, when it is a T that has been shown.
template <class T>
T* FrontModal() {
  QWidget* front = QApplication::activeModalWidget();
  auto* modal = dynamic_cast<T*>(front);
  return modal && modal->isVisible() ? modal : nullptr;
}

// Steps run one after the other from the event loop of whatever modal window is
// open. A step waits until it is ready, then acts once; an action may open a modal
// window itself, whose loop runs the following steps. When the whole script has
// not finished within the time limit, every open modal window is closed so that
// the test ends (and fails) instead of hanging.
class ModalScript {
 public:
  explicit ModalScript(int limitMs = 20000) : limitMs_(limitMs) {}
  ~ModalScript() { timer_.stop(); }

  ModalScript& Then(std::function<bool()> ready, std::function<void()> act) {
    steps_.push_back({std::move(ready), std::move(act)});
    return *this;
  }
  // Waits for a modal T in front, then acts on it.
  template <class T>
  ModalScript& On(std::function<void(T*)> action) {
    return Then([] { return FrontModal<T>() != nullptr; }, [action] { action(FrontModal<T>()); });
  }

  void Start() {
    clock_.start();
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    timer_.start(15);
  }
  bool Finished() const { return steps_.empty(); }
  bool TimedOut() const { return timedOut_; }

 private:
  struct Step {
    std::function<bool()> ready;
    std::function<void()> act;
  };
  void Tick() {
    if (clock_.elapsed() > limitMs_) {
      timedOut_ = true;
      if (QWidget* popup = QApplication::activePopupWidget()) {
        popup->close();
        return;
      }
      if (QWidget* front = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(front)) dialog->done(0);
      }
      return;
    }
    if (steps_.empty() || !steps_.front().ready()) return;
    Step step = std::move(steps_.front());
    steps_.pop_front();
    step.act();
  }

  int limitMs_;
  std::deque<Step> steps_;
  QTimer timer_;
  QElapsedTimer clock_;
  bool timedOut_ = false;
};

// What a message box showed.
struct SeenBox {
  std::string title;
  std::string message;
  std::string kind;
  int buttonCount = 0;
  std::string firstCaption;
  std::string secondCaption;
  bool showCheckBox = false;
};

// Answers the next message box: ticks its check box when |tick|, then clicks the
// first button (1), the second (2) or the close button of its title (0). What the
// box showed goes to |seen|, and a screenshot to |screenshot| when not empty.
inline ModalScript& AnswerBox(ModalScript& script, int answer, SeenBox* seen, bool tick = false,
                              const std::string& screenshot = "") {
  return script.On<ui::CustomMsgBoxDlg>([=](ui::CustomMsgBoxDlg* box) {
    if (seen) {
      seen->title = box->title;
      seen->message = box->message;
      seen->kind = box->kind;
      seen->buttonCount = box->buttonCount;
      seen->firstCaption = box->firstCaption;
      seen->secondCaption = box->secondCaption;
      seen->showCheckBox = box->showCheckBox != 0;
    }
    if (tick) ClickMovieItem(box->Movie(), "checkBox");
    if (!screenshot.empty()) SaveScreenshot(box, screenshot);
    const char* button = answer == 1 ? "IDC_FS_OK" : answer == 2 ? "IDC_FS_Cancel" : "closeButton";
    ClickMovieItem(box->Movie(), button);
  });
}

// Puts the keyboard into the movie's item |objectName| with a click, then types.
inline void TypeInto(ui::FlashMovieHost* movie, const QString& objectName, const QString& text) {
  ClickMovieItem(movie, objectName);
  QTest::keyClicks(movie, text);
}

}  // namespace velmora::test
