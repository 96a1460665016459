// Draws the program's images into PNG files at build time:
//   bitmap181.png       the 98 x 16 strip of the entry list's six 16 x 16 images
//   icon128_<n>.png     the program icon at n x n pixels
//   icon180_<n>.png     the default icon of an entry whose program has none
//   service_<n>.png     a service or driver: a gear, n x n pixels
// Usage: draw_resources <output folder>
#include <QColor>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>
#include <cstdio>

namespace {

QImage NewImage(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  return image;
}

// ---- the six list images, each drawn in a 16 x 16 cell at |x| ------------------

void DrawComputer(QPainter& p) {
  // Monitor bezel, screen, stand and base.
  p.setPen(QPen(QColor(0x3c, 0x44, 0x50), 1));
  p.setBrush(QColor(0xd8, 0xdc, 0xe2));
  p.drawRoundedRect(QRectF(1.5, 1.5, 13, 10), 1.5, 1.5);
  QLinearGradient screen(0, 3, 0, 10);
  screen.setColorAt(0, QColor(0x5a, 0xa8, 0xff));
  screen.setColorAt(1, QColor(0x1d, 0x5c, 0xc4));
  p.setPen(Qt::NoPen);
  p.setBrush(screen);
  p.drawRect(QRectF(3, 3, 10, 7));
  p.setBrush(QColor(255, 255, 255, 110));
  p.drawPolygon(QPolygonF({QPointF(3, 3), QPointF(9, 3), QPointF(3, 8)}));
  p.setBrush(QColor(0x6b, 0x73, 0x80));
  p.drawRect(QRectF(6.5, 12, 3, 1.5));
  p.setPen(QPen(QColor(0x3c, 0x44, 0x50), 1));
  p.setBrush(QColor(0xa8, 0xae, 0xb8));
  p.drawRoundedRect(QRectF(3.5, 13.5, 9, 1.8), 0.8, 0.8);
}

void DrawPerson(QPainter& p, QPointF head, double scale, QColor body, QColor outline) {
  p.setPen(QPen(outline, 0.9));
  QPainterPath shoulders;
  double w = 5.2 * scale;
  double top = head.y() + 3.0 * scale;
  shoulders.moveTo(head.x() - w, top + 5.6 * scale);
  shoulders.cubicTo(head.x() - w, top + 0.5 * scale, head.x() - w * 0.55, top, head.x(), top);
  shoulders.cubicTo(head.x() + w * 0.55, top, head.x() + w, top + 0.5 * scale, head.x() + w,
                    top + 5.6 * scale);
  shoulders.closeSubpath();
  p.setBrush(body);
  p.drawPath(shoulders);
  p.setBrush(QColor(0xf6, 0xd0, 0xa8));
  p.drawEllipse(head, 2.4 * scale, 2.4 * scale);
}

void DrawTwoPersons(QPainter& p) {
  DrawPerson(p, QPointF(10.6, 3.6), 0.85, QColor(0x3f, 0x7f, 0xd8), QColor(0x1f, 0x3f, 0x78));
  DrawPerson(p, QPointF(6.0, 5.6), 1.0, QColor(0x3c, 0xa8, 0x52), QColor(0x1c, 0x5c, 0x2a));
}

void DrawWarningTriangle(QPainter& p) {
  QPainterPath triangle;
  triangle.moveTo(8, 1.2);
  triangle.lineTo(15.2, 14.4);
  triangle.lineTo(0.8, 14.4);
  triangle.closeSubpath();
  QLinearGradient fill(0, 1, 0, 15);
  fill.setColorAt(0, QColor(0xff, 0xe8, 0x4a));
  fill.setColorAt(1, QColor(0xf2, 0xb8, 0x00));
  p.setPen(QPen(QColor(0x8a, 0x5c, 0x00), 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(fill);
  p.drawPath(triangle);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x20, 0x18, 0x00));
  p.drawRoundedRect(QRectF(7.1, 5.0, 1.8, 5.2), 0.8, 0.8);
  p.drawEllipse(QPointF(8, 12.1), 1.05, 1.05);
}

void DrawWindowFlag(QPainter& p) {
  // Four panes on a gently waving flag: red, green, blue, yellow.
  auto pane = [&](QPointF a, QPointF b, QPointF c, QPointF d, QColor color) {
    QPainterPath path;
    path.moveTo(a);
    path.quadTo(QPointF((a.x() + b.x()) / 2, (a.y() + b.y()) / 2 - 0.9), b);
    path.lineTo(c);
    path.quadTo(QPointF((c.x() + d.x()) / 2, (c.y() + d.y()) / 2 - 0.9), d);
    path.closeSubpath();
    p.setBrush(color);
    p.drawPath(path);
  };
  p.setPen(Qt::NoPen);
  pane(QPointF(1.5, 2.8), QPointF(7.4, 2.2), QPointF(7.4, 7.4), QPointF(1.5, 8.0), QColor(0xf2, 0x4a, 0x2a));
  pane(QPointF(8.4, 2.1), QPointF(14.6, 1.4), QPointF(14.6, 6.7), QPointF(8.4, 7.3),
       QColor(0x6c, 0xbf, 0x26));
  pane(QPointF(1.5, 9.0), QPointF(7.4, 8.4), QPointF(7.4, 13.6), QPointF(1.5, 14.2),
       QColor(0x1f, 0x9b, 0xef));
  pane(QPointF(8.4, 8.3), QPointF(14.6, 7.7), QPointF(14.6, 12.9), QPointF(8.4, 13.5),
       QColor(0xff, 0xc1, 0x10));
}

void DrawRedCross(QPainter& p) {
  QRadialGradient fill(QPointF(6, 5), 9);
  fill.setColorAt(0, QColor(0xff, 0x6a, 0x5a));
  fill.setColorAt(1, QColor(0xc8, 0x10, 0x10));
  p.setPen(QPen(QColor(0x7a, 0x00, 0x00), 1));
  p.setBrush(fill);
  p.drawEllipse(QPointF(8, 8), 6.7, 6.7);
  p.setPen(QPen(Qt::white, 2.1, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(5.3, 5.3), QPointF(10.7, 10.7));
  p.drawLine(QPointF(10.7, 5.3), QPointF(5.3, 10.7));
}

void DrawGreenFigure(QPainter& p) {
  QRadialGradient fill(QPointF(6, 5), 9);
  fill.setColorAt(0, QColor(0x7c, 0xe0, 0x6a));
  fill.setColorAt(1, QColor(0x1e, 0x94, 0x2a));
  p.setPen(QPen(QColor(0x0c, 0x50, 0x14), 1));
  p.setBrush(fill);
  p.drawEllipse(QPointF(8, 8), 6.7, 6.7);
  // A small white figure: head, body, arms and legs.
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(8, 4.6), 1.45, 1.45);
  p.setPen(QPen(Qt::white, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawLine(QPointF(8, 6.6), QPointF(8, 9.6));
  p.drawLine(QPointF(5.2, 7.4), QPointF(10.8, 7.4));
  p.drawLine(QPointF(8, 9.6), QPointF(6.0, 12.3));
  p.drawLine(QPointF(8, 9.6), QPointF(10.0, 12.3));
}

QImage DrawStrip() {
  QImage strip = NewImage(98, 16);
  QPainter p(&strip);
  p.setRenderHint(QPainter::Antialiasing);
  void (*drawers[])(QPainter&) = {DrawComputer,   DrawTwoPersons, DrawWarningTriangle,
                                  DrawWindowFlag, DrawRedCross,   DrawGreenFigure};
  for (int i = 0; i < 6; ++i) {
    p.save();
    p.translate(16 * i, 0);
    p.setClipRect(0, 0, 16, 16);
    drawers[i](p);
    p.restore();
  }
  return strip;
}

// ---- the program icon: a checklist card on a deep blue tile --------------------

QImage DrawProgramIcon(int size) {
  QImage image = NewImage(size, size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);

  QLinearGradient tile(0, 0, 0, 64);
  tile.setColorAt(0, QColor(0x2b, 0x5c, 0xc8));
  tile.setColorAt(1, QColor(0x0b, 0x1c, 0x5a));
  p.setPen(QPen(QColor(0x06, 0x10, 0x38), 1.5));
  p.setBrush(tile);
  p.drawRoundedRect(QRectF(2, 2, 60, 60), 13, 13);

  // The card.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 60));
  p.drawRoundedRect(QRectF(13, 13, 41, 43), 5, 5);
  p.setBrush(QColor(0xf7, 0xf9, 0xfc));
  p.drawRoundedRect(QRectF(11, 10, 41, 43), 5, 5);

  // Three rows: two ticked, one cleared.
  for (int row = 0; row < 3; ++row) {
    double y = 17 + row * 12;
    bool ticked = row != 1;
    p.setPen(QPen(QColor(0x5a, 0x66, 0x80), 1.6));
    p.setBrush(ticked ? QColor(0x2f, 0xb3, 0x4a) : QColor(0xff, 0xff, 0xff));
    p.drawRoundedRect(QRectF(16, y, 8, 8), 2, 2);
    if (ticked) {
      p.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.drawPolyline(QPolygonF({QPointF(17.8, y + 4.2), QPointF(19.6, y + 6.0), QPointF(22.4, y + 2.2)}));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(ticked ? QColor(0x3a, 0x48, 0x66) : QColor(0xa8, 0xb0, 0xc0));
    p.drawRoundedRect(QRectF(28, y + 2.2, row == 2 ? 14 : 19, 3.6), 1.8, 1.8);
  }

  // A power mark in the corner: the program decides what starts.
  p.setPen(QPen(QColor(0x0b, 0x1c, 0x5a), 1.5));
  p.setBrush(QColor(0xff, 0xa8, 0x1c));
  p.drawEllipse(QPointF(49, 49), 10.5, 10.5);
  p.setPen(QPen(Qt::white, 2.6, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(43.5, 43.5, 11, 11), 125 * 16, 290 * 16);
  p.drawLine(QPointF(49, 41.8), QPointF(49, 48.5));
  return image;
}

// ---- the default entry icon: a plain program window ----------------------------

QImage DrawDefaultEntryIcon(int size) {
  QImage image = NewImage(size, size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 32.0, size / 32.0);
  p.setPen(QPen(QColor(0x2a, 0x34, 0x48), 1.2));
  p.setBrush(QColor(0xfb, 0xfc, 0xfe));
  p.drawRoundedRect(QRectF(2.5, 4.5, 27, 23), 2.5, 2.5);
  QLinearGradient bar(0, 4, 0, 11);
  bar.setColorAt(0, QColor(0x4f, 0x8c, 0xf0));
  bar.setColorAt(1, QColor(0x24, 0x5c, 0xc8));
  p.setPen(Qt::NoPen);
  p.setBrush(bar);
  QPainterPath title;
  title.addRoundedRect(QRectF(3.1, 5.1, 25.8, 6.4), 2, 2);
  p.drawPath(title);
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(25.5, 8.3), 1.3, 1.3);
  p.setBrush(QColor(0xc8, 0xd0, 0xde));
  for (int i = 0; i < 3; ++i) p.drawRoundedRect(QRectF(6, 14.5 + i * 4, i == 2 ? 12 : 19, 2), 1, 1);
  return image;
}

// ---- a service or driver: a steel gear with a blue hub ---------------------------

QImage DrawServiceImage(int size) {
  QImage image = NewImage(size, size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 16.0, size / 16.0);
  // Eight teeth around a wheel, as one outline.
  QPainterPath gear;
  const QPointF centre(8, 8);
  gear.addEllipse(centre, 5.1, 5.1);
  for (int tooth = 0; tooth < 8; ++tooth) {
    QPainterPath one;
    one.addRoundedRect(QRectF(-1.35, -7.4, 2.7, 3.4), 0.6, 0.6);
    QTransform turn;
    turn.translate(centre.x(), centre.y());
    turn.rotate(tooth * 45.0);
    gear = gear.united(turn.map(one));
  }
  QLinearGradient steel(0, 1, 0, 15);
  steel.setColorAt(0, QColor(0xc9, 0xd1, 0xdc));
  steel.setColorAt(1, QColor(0x74, 0x80, 0x92));
  p.setPen(QPen(QColor(0x3a, 0x42, 0x50), 0.9));
  p.setBrush(steel);
  p.drawPath(gear);
  QRadialGradient hub(QPointF(7.2, 7.2), 3.2);
  hub.setColorAt(0, QColor(0x6a, 0xb4, 0xff));
  hub.setColorAt(1, QColor(0x1d, 0x5c, 0xc4));
  p.setPen(QPen(QColor(0x1f, 0x3f, 0x78), 0.8));
  p.setBrush(hub);
  p.drawEllipse(centre, 2.7, 2.7);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 200));
  p.drawEllipse(centre, 0.9, 0.9);
  return image;
}

bool Save(const QImage& image, const QString& path) {
  if (!image.save(path, "PNG")) {
    std::fprintf(stderr, "draw_resources: cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: draw_resources <output folder>\n");
    return 2;
  }
  QDir out(QString::fromLocal8Bit(argv[1]));
  if (!out.mkpath(".")) return 1;
  bool ok = Save(DrawStrip(), out.filePath("bitmap181.png"));
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    ok = Save(DrawProgramIcon(size), out.filePath(QString("icon128_%1.png").arg(size))) && ok;
  }
  for (int size : {16, 32, 48}) {
    ok = Save(DrawDefaultEntryIcon(size), out.filePath(QString("icon180_%1.png").arg(size))) && ok;
  }
  for (int size : {16, 32}) {
    ok = Save(DrawServiceImage(size), out.filePath(QString("service_%1.png").arg(size))) && ok;
  }
  return ok ? 0 : 1;
}
