// The floor of the window program's start: a QQuickWidget that shows one
// rectangle with one line of text, on the same software renderer. With
// VELMORA_QUIT_AFTER_FIRST_FRAME set it writes "first frame at SECONDS" (since
// 1970, to the microsecond) to standard error when its first frame is drawn and
// ends, as the window program does; bench/listing_ratio.sh times both alike.
#include <QApplication>
#include <QEvent>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWidget>
#include <QQuickWindow>
#include <QTimer>
#include <chrono>
#include <cstdio>

namespace {

class QuitAfterFirstFrame : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !done_) {
      done_ = true;
      QTimer::singleShot(0, watched, [] {
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        const long long micro = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
        std::fprintf(stderr, "first frame at %lld.%06lld\n", micro / 1000000, micro % 1000000);
        QApplication::quit();
      });
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  bool done_ = false;
};

constexpr char kScene[] = R"(import QtQuick
Rectangle {
    width: 640; height: 480
    color: "#333333"
    Text { anchors.centerIn: parent; color: "white"; text: "Startup entries" }
}
)";

}  // namespace

int main(int argc, char** argv) {
  QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
  QApplication app(argc, argv);
  QQuickWidget view;
  QQmlComponent component(view.engine());
  component.setData(kScene, QUrl());
  auto* item = qobject_cast<QQuickItem*>(component.create());
  if (!item) {
    std::fprintf(stderr, "%s\n", qPrintable(component.errorString()));
    return 1;
  }
  item->setParentItem(view.quickWindow()->contentItem());
  view.resize(640, 480);
  QuitAfterFirstFrame firstFrame;
  const bool quitAfterFrame = !qEnvironmentVariableIsEmpty("VELMORA_QUIT_AFTER_FIRST_FRAME");
  if (quitAfterFrame) view.installEventFilter(&firstFrame);
  view.show();
  const int result = app.exec();
  delete item;
  return result;
}
