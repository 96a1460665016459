#include "ui/resource_images.h"

#include <QBuffer>
#include <QIconEngine>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <array>
#include <map>
#include <utility>
#include <vector>

namespace velmora::ui {

namespace {

// An icon of the program's images read when it is first drawn or asked for a
// size, not when it is made: the window's icon (seven images up to 256 x 256) is
// not in the window's first frame, and on some platforms never drawn at all.
class ImageFilesIconEngine : public QIconEngine {
 public:
  ImageFilesIconEngine(const char* stem, std::vector<int> sizes) : stem_(stem), sizes_(std::move(sizes)) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    Loaded().paint(painter, rect, Qt::AlignCenter, mode, state);
  }
  QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return Loaded().actualSize(size, mode, state);
  }
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return Loaded().pixmap(size, mode, state);
  }
  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
    return Loaded().pixmap(size, scale, mode, state);
  }
  QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
    return Loaded().availableSizes(mode, state);
  }
  QString key() const override { return QStringLiteral("VelmoraImageFiles"); }
  QIconEngine* clone() const override { return new ImageFilesIconEngine(*this); }
  bool isNull() override { return sizes_.empty(); }

 private:
  const QIcon& Loaded() {
    if (loaded_.isNull()) {
      for (int size : sizes_)
        loaded_.addPixmap(
            QPixmap::fromImage(ReadResourcePng(QString(":/res/%1_%2.png").arg(stem_).arg(size))));
    }
    return loaded_;
  }

  const char* stem_;
  std::vector<int> sizes_;
  QIcon loaded_;
};

QIcon IconFromFiles(const char* stem, std::initializer_list<int> sizes) {
  return QIcon(new ImageFilesIconEngine(stem, sizes));
}

QIcon ProgramIconById(int resourceId) {
  if (resourceId == 128) return ProgramWindowIcon();
  if (resourceId == 180) return DefaultEntryIcon();
  return QIcon();
}

QIcon Convert(const platform::IconImage& image) {
  if (image.notAnIconFile) return QIcon();
  if (image.resourceId != 0) return ProgramIconById(image.resourceId);
  QImage decoded;
  if (!image.png.empty()) {
    // As PNG only, without asking Qt's image plugins (see ReadResourcePng).
    QByteArray data = QByteArray::fromRawData(image.png.data(), static_cast<qsizetype>(image.png.size()));
    QBuffer buffer(&data);
    QImageReader reader(&buffer, "png");
    reader.setAutoDetectImageFormat(false);
    reader.read(&decoded);
  } else if (image.width > 0 && image.height > 0 &&
             image.pixels.size() ==
                 static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height)) {
    decoded = QImage(image.width, image.height, QImage::Format_ARGB32);
    for (int y = 0; y < image.height; ++y) {
      auto* line = reinterpret_cast<QRgb*>(decoded.scanLine(y));
      for (int x = 0; x < image.width; ++x)
        line[x] = image.pixels[static_cast<std::size_t>(y) * image.width + x];
    }
  }
  if (decoded.isNull()) return QIcon();
  return QIcon(QPixmap::fromImage(decoded));
}

}  // namespace

QImage ReadResourcePng(const QString& path, const QSize& scaled) {
  QImageReader reader(path, "png");
  reader.setAutoDetectImageFormat(false);
  if (scaled.isValid()) reader.setScaledSize(scaled);
  QImage image;
  if (!reader.read(&image)) return QImage();
  return image;
}

const QPixmap& ListImageStrip() {
  // Kept to the end of the process: Qt's images must not be destroyed after the
  // application object, as function statics would be.
  static const QPixmap* strip = new QPixmap(QPixmap::fromImage(ReadResourcePng(":/res/bitmap181.png")));
  return *strip;
}

QPixmap ListImagePixmap(int index) {
  if (index < 0 || index >= kListImageCount) return QPixmap();
  // Cut once: every cell of two columns asks for its image on each paint.
  static const auto* images = [] {
    auto* cut = new std::array<QPixmap, kListImageCount>;
    for (int i = 0; i < kListImageCount; ++i) (*cut)[i] = ListImageStrip().copy(i * 16, 0, 16, 16);
    return cut;
  }();
  return (*images)[index];
}

QIcon ProgramWindowIcon() {
  static const QIcon* icon = new QIcon(IconFromFiles("icon128", {16, 24, 32, 48, 64, 128, 256}));
  return *icon;
}

QIcon ServiceImage() {
  static const QIcon* icon = new QIcon(IconFromFiles("service", {16, 32}));
  return *icon;
}

QIcon DefaultEntryIcon() {
  static const QIcon* icon = new QIcon(IconFromFiles("icon180", {16, 32, 48}));
  return *icon;
}

QIcon EntryIcon(const platform::IconHandle& icon) {
  if (!icon) return QIcon();
  // Entries share their images; keep each converted one with the image it came from.
  static auto& cache = *new std::map<const platform::IconImage*, std::pair<platform::IconHandle, QIcon>>;
  auto found = cache.find(icon.get());
  if (found != cache.end()) return found->second.second;
  QIcon converted = Convert(*icon);
  cache.emplace(icon.get(), std::make_pair(icon, converted));
  return converted;
}

}  // namespace velmora::ui
