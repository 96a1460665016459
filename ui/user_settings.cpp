#include "ui/user_settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <memory>

namespace velmora::ui {

namespace {

constexpr char kSystemKey[] = "ManagedSystem";
constexpr char kWidthKey[] = "Window/Width";
constexpr char kHeightKey[] = "Window/Height";
constexpr char kColumnsKey[] = "Window/ColumnWidths";

// The settings file, read; null when it holds what cannot be read (it is then
// neither used nor written).
std::unique_ptr<QSettings> OpenFile() {
  auto settings =
      std::make_unique<QSettings>(QString::fromStdString(UserSettingsPath()), QSettings::IniFormat);
  if (settings->status() != QSettings::NoError) return nullptr;
  return settings;
}

// Writes what was set: QSettings writes a new file and renames it over the old.
bool Write(QSettings& settings) {
  QDir().mkpath(QFileInfo(settings.fileName()).path());
  settings.sync();
  return settings.status() == QSettings::NoError;
}

}  // namespace

std::string UserSettingsPath() {
  return (QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/velmora/velmora.conf")
      .toStdString();
}

std::string RememberedSystem() {
  std::unique_ptr<QSettings> settings = OpenFile();
  if (settings && settings->contains(kSystemKey)) return settings->value(kSystemKey).toString().toStdString();
  // Where earlier versions kept it.
  QSettings old(
      QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/Orlinsk/Velmora.ini",
      QSettings::IniFormat);
  const std::string path = old.value(kSystemKey).toString().toStdString();
  if (!path.empty()) RememberSystem(path);
  return path;
}

bool RememberSystem(const std::string& path) {
  std::unique_ptr<QSettings> settings = OpenFile();
  if (!settings) return false;
  settings->setValue(kSystemKey, QString::fromStdString(path));
  return Write(*settings);
}

WindowLayout LoadWindowLayout(platform::ManagedSystem& system) {
  std::unique_ptr<QSettings> settings = OpenFile();
  if (settings && !settings->contains(kWidthKey) && !settings->contains(kColumnsKey)) {
    // Where earlier versions kept it: the managed system's registry.
    WindowLayout layout = WindowLayout::Load(system);
    if (layout.width > 0 || !layout.columnWidths.empty()) SaveWindowLayout(layout);
    return layout;
  }
  WindowLayout layout;
  if (!settings) return layout;
  bool ok = false;
  const int width = settings->value(kWidthKey).toInt(&ok);
  const int height = ok ? settings->value(kHeightKey).toInt(&ok) : 0;
  if (ok && width > 0 && height > 0 && width <= 100000 && height <= 100000) {
    layout.width = width;
    layout.height = height;
  }
  layout.columnWidths = ParseColumnWidths(settings->value(kColumnsKey).toString().toStdString());
  return layout;
}

bool SaveWindowLayout(const WindowLayout& layout) {
  std::unique_ptr<QSettings> settings = OpenFile();
  if (!settings) return false;
  if (layout.width > 0 && layout.height > 0) {
    settings->setValue(kWidthKey, layout.width);
    settings->setValue(kHeightKey, layout.height);
  }
  // Empty: the columns fit their content again, a width chosen earlier is forgotten.
  settings->setValue(kColumnsKey, QString::fromStdString(ColumnWidthsText(layout.columnWidths)));
  return Write(*settings);
}

}  // namespace velmora::ui
