// The program's built-in images (drawn at build time, see res/) and the icons of
// entries as Qt icons.
#pragma once

#include <QIcon>
#include <QPixmap>

#include "platform/icons.h"

namespace velmora::ui {

// Images of bitmap 181, the entry list's six 16 x 16 pictures.
enum ListImage {
  kImageComputer = 0,     // locations of the local machine
  kImageUsers = 1,        // locations of the current user
  kImageWarning = 2,      // "Unknown File"
  kImageWindowsFlag = 3,  // "System File"
  kImageRedCross = 4,     // any other rating
  kImageGreenFigure = 5,  // "Normal File"
  kListImageCount = 6,
};

// A PNG image of the program's resources (":/res/NAME.png"), read as PNG: a reader
// left to find the format asks every image plugin of Qt first, which loads each
// of them. At |scaled| when that is valid; null when it cannot be read.
QImage ReadResourcePng(const QString& path, const QSize& scaled = QSize());

// The strip of bitmap 181, 98 x 16 pixels.
const QPixmap& ListImageStrip();
// One 16 x 16 image of the strip; a null pixmap outside 0-5.
QPixmap ListImagePixmap(int index);
// A service or driver, in the entry list's location column and the Services view.
QIcon ServiceImage();
// Icon 128: the program's own, at every size drawn.
QIcon ProgramWindowIcon();
// Icon 180: the default icon of an entry whose program has none.
QIcon DefaultEntryIcon();
// The icon of an entry: its decoded image, a program icon by resource id, or a
// null icon when there is nothing to show (no icon, the special value 1, data that
// does not decode). Converted once per image.
QIcon EntryIcon(const platform::IconHandle& icon);

}  // namespace velmora::ui
