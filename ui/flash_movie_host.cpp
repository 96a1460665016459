#include "ui/flash_movie_host.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlProperty>
#include <QQuickImageProvider>
#include <QQuickItem>
#include <QQuickWindow>
#include <QUrl>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "app/language.h"
#include "platform/files.h"
#include "ui/resource_images.h"

namespace velmora::ui {

std::string MoviePath(const ProgramContext& program, const std::string& baseName,
                      const std::string& extension) {
  return MovieDir(program) + "\\" + EncodeFileName(baseName) + extension;
}

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

int DispatchMovieCommand(const MovieCommandTable& table, const std::string& command,
                         const std::string& argument) {
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (EqualsIgnoreCase(command, table[i].name)) {
      if (table[i].action) table[i].action(argument);
      return static_cast<int>(i);
    }
  }
  return -1;
}

namespace {

// The program's own images for the movies: "image://res/NAME" is the resource
// ":/res/NAME", at its own size unless the movie asks for another. Qt Quick lists
// every image format its plugins read before it reads its first image file or
// resource, which loads every plugin; the program's images are PNG, which Qt
// reads itself, so through here none is loaded.
class ResourceImageProvider : public QQuickImageProvider {
 public:
  ResourceImageProvider() : QQuickImageProvider(QQuickImageProvider::Image) {}

  QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override {
    QImage image = ReadResourcePng(QStringLiteral(":/res/") + id);
    if (!image.isNull() && (requestedSize.width() > 0 || requestedSize.height() > 0) &&
        requestedSize != image.size()) {
      // A missing side keeps the image's proportions.
      QSize wanted = requestedSize;
      if (wanted.width() <= 0) wanted.setWidth(image.width() * wanted.height() / image.height());
      if (wanted.height() <= 0) wanted.setHeight(image.height() * wanted.width() / image.width());
      image = ReadResourcePng(QStringLiteral(":/res/") + id, wanted);
    }
    if (size) *size = image.size();
    return image;
  }
};

// Starts loading |url| on |engine|'s QML thread and returns at once; the
// component goes when the load ends, what it registered stays with the engine.
void LoadInBackground(QQmlEngine* engine, const QUrl& url) {
  auto* component = new QQmlComponent(engine, url, QQmlComponent::Asynchronous, engine);
  if (!component->isLoading()) {
    component->deleteLater();
    return;
  }
  QObject::connect(component, &QQmlComponent::statusChanged, component,
                   [component](QQmlComponent::Status status) {
                     if (status != QQmlComponent::Loading) component->deleteLater();
                   });
}

// One QML engine for every movie: Qt Quick's types and the movies compiled are
// made once, not again for the splash, the main movie and each dialog. It lives
// as long as the application object.
QQmlEngine* MovieEngine() {
  static QPointer<QQmlEngine> engine;
  if (!engine) {
    engine = new QQmlEngine(QCoreApplication::instance());
    engine->addImageProvider(QStringLiteral("res"), new ResourceImageProvider);
    // Qt Quick's types are registered on the engine's QML thread while the caller
    // goes on: the first movie then waits only for its own documents.
    LoadInBackground(engine, QUrl(QStringLiteral("qrc:/qml/qt_quick_types.qml")));
  }
  return engine;
}

}  // namespace

FlashMovieHost::FlashMovieHost(QWidget* parent) : QQuickWidget(MovieEngine(), parent) {
  setResizeMode(QQuickWidget::SizeViewToRootObject);  // unused: the movie is placed by Relayout
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_AcceptTouchEvents, false);
  installEventFilter(this);
  SetBackgroundColor(0xFFFFFF);
}

FlashMovieHost::~FlashMovieHost() {
  UnloadMovie();
  // The software scene graph keeps a texture for every image it drew in its render
  // context, and Qt 6.4 never frees them when a QQuickWidget goes away: the render
  // control is not "initialised" in software mode, so invalidating it skips the
  // render context. Let the textures go while the window still renders: dropping
  // the unreferenced pixmaps of the movie's images destroys their texture
  // factories, which queues the textures for deletion at the next sync, and one
  // last frame runs that sync. A player that never drew has nothing to let go.
  if (drawn_ && quickWindow() && quickWindow()->rendererInterface() &&
      quickWindow()->rendererInterface()->graphicsApi() == QSGRendererInterface::Software) {
    quickWindow()->releaseResources();
    grabFramebuffer();
  }
}

void FlashMovieHost::UnloadMovie() {
  if (root_) {
    root_->setParentItem(nullptr);
    delete root_.data();
  }
  root_ = nullptr;
  delete component_;
  component_ = nullptr;
}

MovieFile FlashMovieHost::FindMovie(const ProgramContext& program, const std::string& windowsPath) {
  // Without a system to map the program's files no movie can be found.
  platform::ManagedSystem* system = program.programFiles;
  if (!system) return {windowsPath, QString()};
  return {windowsPath, QString::fromStdString(platform::files::HostPathFromWindows(*system, windowsPath))};
}

void FlashMovieHost::SetMovie(const ProgramContext& program, const std::string& windowsPath) {
  SetMovie(FindMovie(program, windowsPath));
}

void FlashMovieHost::SetMovie(const MovieFile& movie) {
  UnloadMovie();
  errors_.clear();
  moviePath_ = movie.windowsPath;
  const QString& hostPath = movie.hostPath;
  if (hostPath.isEmpty() || !QFileInfo(hostPath).isFile()) {
    errors_ << QStringLiteral("movie file not found: %1").arg(QString::fromStdString(movie.windowsPath));
    return;
  }
  component_ =
      new QQmlComponent(engine(), QUrl::fromLocalFile(hostPath), QQmlComponent::PreferSynchronous, this);
  if (component_->isError() || !component_->isReady()) {
    for (const QQmlError& error : component_->errors()) errors_ << error.toString();
    if (errors_.isEmpty()) errors_ << QStringLiteral("movie not ready: %1").arg(hostPath);
    delete component_;
    component_ = nullptr;
    return;
  }
  // Create in two steps so that the command connection exists before the
  // movie's own start-up code runs: a movie may send a command when it completes.
  QObject* object = component_->beginCreate(engine()->rootContext());
  QQuickItem* item = qobject_cast<QQuickItem*>(object);
  if (!item) {
    for (const QQmlError& error : component_->errors()) errors_ << error.toString();
    if (object) {
      component_->completeCreate();
      delete object;
    }
    errors_ << QStringLiteral("the movie's root is not an item");
    return;
  }
  item->setParentItem(quickWindow()->contentItem());
  root_ = item;
  if (item->metaObject()->indexOfSignal("fsCommand(QString,QString)") >= 0) {
    connect(item, SIGNAL(fsCommand(QString, QString)), this, SLOT(OnRootCommand(QString, QString)));
  }
  component_->completeCreate();
  for (const QQmlError& error : component_->errors()) errors_ << error.toString();
  if (!root_) return;
  connect(item, &QQuickItem::widthChanged, this, &FlashMovieHost::Relayout);
  connect(item, &QQuickItem::heightChanged, this, &FlashMovieHost::Relayout);
  item->forceActiveFocus();
  Relayout();
}

void FlashMovieHost::SetScale(const std::string& mode) {
  noScale_ = EqualsIgnoreCase(mode, "NoScale");
  Relayout();
}

void FlashMovieHost::SetAlignMode(int mode) {
  alignMode_ = mode;
  Relayout();
}

void FlashMovieHost::SetBackgroundColor(int rgb) {
  setClearColor(QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF));
}

void FlashMovieHost::SetFitMovieToView(bool fit) {
  fitToView_ = fit;
  Relayout();
}

void FlashMovieHost::resizeEvent(QResizeEvent* event) {
  QQuickWidget::resizeEvent(event);
  Relayout();
}

void FlashMovieHost::Relayout() {
  if (!root_) return;
  const double viewWidth = width();
  const double viewHeight = height();
  if (fitToView_ && viewWidth > 0 && viewHeight > 0) root_->setSize(QSizeF(viewWidth, viewHeight));
  const double movieWidth = std::max(1.0, root_->width());
  const double movieHeight = std::max(1.0, root_->height());
  double scale = 1.0;
  if (!noScale_) scale = std::min(viewWidth / movieWidth, viewHeight / movieHeight);
  if (scale <= 0) scale = 1.0;
  root_->setTransformOrigin(QQuickItem::TopLeft);
  root_->setScale(scale);
  const double shownWidth = movieWidth * scale;
  const double shownHeight = movieHeight * scale;
  double x = (viewWidth - shownWidth) / 2;
  double y = (viewHeight - shownHeight) / 2;
  if (alignMode_ & kAlignLeft) {
    x = 0;
  } else if (alignMode_ & kAlignRight) {
    x = viewWidth - shownWidth;
  }
  if (alignMode_ & kAlignTop) {
    y = 0;
  } else if (alignMode_ & kAlignBottom) {
    y = viewHeight - shownHeight;
  }
  root_->setPosition(QPointF(std::round(x), std::round(y)));
}

QObject* FlashMovieHost::FindPathObject(const std::string& name, std::string* property) const {
  if (!root_) return nullptr;
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    std::size_t dot = name.find('.', start);
    parts.push_back(name.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  if (parts.size() < 2 || parts[0] != "_root" || parts.back().empty()) return nullptr;
  QObject* object = root_;
  for (std::size_t i = 1; i + 1 < parts.size(); ++i) {
    const QString childName = QString::fromStdString(parts[i]);
    if (childName.isEmpty()) return nullptr;
    QObject* child = object->findChild<QObject*>(childName);
    if (!child) {
      // Items created by views and loaders are visual children only.
      if (auto* item = qobject_cast<QQuickItem*>(object)) {
        const QList<QQuickItem*> children = item->childItems();
        std::vector<QQuickItem*> queue(children.begin(), children.end());
        for (std::size_t k = 0; k < queue.size() && !child; ++k) {
          if (queue[k]->objectName() == childName) child = queue[k];
          for (QQuickItem* grandChild : queue[k]->childItems()) queue.push_back(grandChild);
        }
      }
    }
    if (!child) return nullptr;
    object = child;
  }
  *property = parts.back();
  return object;
}

void FlashMovieHost::SetMovieVariable(const std::string& name, const std::string& value) {
  std::string propertyName;
  QObject* object = FindPathObject(name, &propertyName);
  if (!object) return;
  QQmlProperty property(object, QString::fromStdString(propertyName));
  if (!property.isValid() || !property.isWritable() || property.type() != QQmlProperty::Property) return;
  property.write(QString::fromStdString(value));
}

std::string FlashMovieHost::GetMovieVariable(const std::string& name) const {
  std::string propertyName;
  QObject* object = FindPathObject(name, &propertyName);
  if (!object) return "";
  QQmlProperty property(object, QString::fromStdString(propertyName));
  if (!property.isValid() || property.type() != QQmlProperty::Property) return "";
  return property.read().toString().toStdString();
}

void FlashMovieHost::SetCommandHandler(std::function<void(const std::string&, const std::string&)> handler) {
  handler_ = std::move(handler);
}

void FlashMovieHost::OnRootCommand(const QString& command, const QString& argument) {
  emit fsCommand(command, argument);
  pending_.emplace_back(command.toStdString(), argument.toStdString());
  if (!runScheduled_) {
    runScheduled_ = true;
    QMetaObject::invokeMethod(this, &FlashMovieHost::RunPending, Qt::QueuedConnection);
  }
}

void FlashMovieHost::FlushCommands() { RunPending(); }

void FlashMovieHost::RunPending() {
  runScheduled_ = false;
  if (handling_) return;  // the handler that runs now takes them when it returns
  handling_ = true;
  QPointer<FlashMovieHost> self(this);
  while (!pending_.empty()) {
    std::pair<std::string, std::string> next = std::move(pending_.front());
    pending_.pop_front();
    if (handler_) handler_(next.first, next.second);
    if (!self) return;
  }
  handling_ = false;
}

void FlashMovieHost::DragWindow() {
  QWidget* topLevel = window();
  if (!topLevel) return;
  QWindow* handle = topLevel->windowHandle();
  if (handle && handle->startSystemMove()) return;
  if (!(QGuiApplication::mouseButtons() & Qt::LeftButton) && !dragging_) {
    // The button is already up: nothing to follow.
    return;
  }
  dragging_ = true;
  dragStartGlobal_ = pressGlobal_;
  dragStartWindow_ = topLevel->pos();
}

bool FlashMovieHost::eventFilter(QObject* watched, QEvent* event) {
  if (watched == this) {
    switch (event->type()) {
      case QEvent::Paint:
        drawn_ = true;
        break;
      case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
          pressGlobal_ = mouse->globalPosition().toPoint();
          dragging_ = false;
        }
        break;
      }
      case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (dragging_ && (mouse->buttons() & Qt::LeftButton)) {
          window()->move(dragStartWindow_ + (mouse->globalPosition().toPoint() - dragStartGlobal_));
        }
        break;
      }
      case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) dragging_ = false;
        break;
      }
      default:
        break;
    }
  }
  return QQuickWidget::eventFilter(watched, event);
}

}  // namespace velmora::ui
