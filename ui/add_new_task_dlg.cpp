#include "ui/add_new_task_dlg.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QUrl>
#include <memory>

#include "app/language.h"
#include "base/text.h"
#include "entries/module_version.h"
#include "entries/program_path.h"
#include "entries/startup_location.h"
#include "platform/files.h"
#include "platform/icons.h"
#include "ui/movie_names.h"

namespace velmora::ui {

namespace {

constexpr int kTemplateWidth = 200;  // template 172, dialog units
constexpr int kTemplateHeight = 123;
constexpr unsigned kDuplicateNameId = 7004;
constexpr unsigned kNoNameId = 7012;
constexpr unsigned kNoPathId = 7013;
constexpr int kDefaultEntryIcon = 180;

}  // namespace

AddNewTaskDlg::AddNewTaskDlg(StartupParameters& model, MessageBoxPresenter* box, QWidget* parent)
    : MovieDialog(model.Context(), kAddTaskMovie, kTemplateWidth, kTemplateHeight, box, parent),
      model_(model) {
  setObjectName("AddNewTaskDlg");
  commands_ = {
      {cmd::kDrag, [this](const std::string&) { Movie()->DragWindow(); }},
      {cmd::kAdd, [this](const std::string&) { Add(); }},
      {cmd::kBrowse, [this](const std::string&) { Browse(); }},
      {cmd::kDialogCancel, [this](const std::string&) { reject(); }},
  };
}

std::string AddNewTaskDlg::CommandOfChosenFile(const std::string& windowsPath) {
  if (windowsPath.find(' ') == std::string::npos) return windowsPath;
  return "\"" + windowsPath + "\"";
}

std::string AddNewTaskDlg::ChooseFile() {
  // Drive C: of the managed system, by its real folder rather than the drive link.
  QString driveC = QString::fromStdString(platform::files::HostPathFromWindows(model_.System(), "C:\\"));
  if (!QFileInfo(driveC).canonicalFilePath().isEmpty()) driveC = QFileInfo(driveC).canonicalFilePath();
  QString folder = driveC;
  while (true) {
    QFileDialog dialog(this, QStringLiteral("Choose the program"), folder, QStringLiteral("All Files (*)"));
    dialog.setObjectName("chooseProgramDialog");
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // A name that does not exist may be typed; it is confirmed below.
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!driveC.isEmpty()) {
      QList<QUrl> places = dialog.sidebarUrls();
      places.prepend(QUrl::fromLocalFile(driveC));
      dialog.setSidebarUrls(places);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return "";
    const QFileInfo info(dialog.selectedFiles().first());
    // Links resolved, so that a file reached through a drive link gets its drive.
    QString host = info.canonicalFilePath();
    if (host.isEmpty()) {
      const QString parent = QFileInfo(info.absolutePath()).canonicalFilePath();
      host = parent.isEmpty() ? info.absoluteFilePath() : parent + "/" + info.fileName();
    }
    const std::string windowsPath = platform::files::WindowsPathFromHost(model_.System(), host.toStdString());
    if (info.isFile()) return windowsPath;
    folder = info.isDir() ? host : info.absolutePath();
    if (info.isDir()) continue;
    int answer = AskYesNo(model_.Context().Text(text_id::kProgramName),
                          windowsPath +
                              "\n\nThis file does not exist.\nDo you want to use this name all "
                              "the same?");
    if (answer == 1) return windowsPath;
    if (answer == 0) return "";
  }
}

void AddNewTaskDlg::Browse() {
  std::string chosen = ChooseFile();
  if (chosen.empty()) return;
  Movie()->SetMovieVariable(var::kTaskLocation, CommandOfChosenFile(chosen));
  Movie()->SetMovieVariable(var::kTaskLocFlag, "1");
}

void AddNewTaskDlg::SetInitialVariables() {
  std::string offered;
  for (int location = 0; location < kLocationCount; ++location) {
    if (!model_.HasLocation(location) || !IsAddableLocation(location)) continue;
    if (!offered.empty()) offered += "|";
    offered += std::to_string(location);
  }
  Movie()->SetMovieVariable("_root.offeredLocations", offered);
}

void AddNewTaskDlg::Add() {
  taskName = Movie()->GetMovieVariable(var::kTaskName);
  taskLocation = Movie()->GetMovieVariable(var::kTaskLocation);
  // Only emptiness is checked: blanks are a name and a command like any other.
  if (taskName.empty()) {
    ShowError(model_.Context().Text(kNoNameId));
    return;
  }
  if (taskLocation.empty()) {
    ShowError(model_.Context().Text(kNoPathId));
    return;
  }
  selectedLocation = ParseLeadingInt(Movie()->GetMovieVariable(var::kSelectedLocation));

  auto task = std::make_unique<Task>();
  task->name = taskName;
  task->command = taskLocation;
  model_.RateTask(*task);
  taskLocation = ExtractProgramPath(model_.System(), taskLocation);
  DeriveFileName(model_.System(), *task);
  if (selectedLocation < 0 || selectedLocation >= kLocationCount || !model_.HasLocation(selectedLocation) ||
      !IsAddableLocation(selectedLocation))
    return;

  // The key the entry will have: in a Startup folder it is the shortcut's name.
  std::string key = ToLowerAscii(taskName);
  if (IsFolderLocation(selectedLocation) && !EndsWith(key, ".lnk")) key += ".lnk";
  const Task* existing = model_.Entry(selectedLocation, key);
  // An entry removed in this session is no longer listed; a new one may take its
  // name. Enabled and disabled entries alike block the name.
  if (existing && existing->removed == 0) {
    ShowError(model_.Context().Text(kDuplicateNameId));
    return;
  }
  // The file, process and version figures are filled as the scans fill them.
  std::string error;
  if (!model_.AddEntry(std::move(task), selectedLocation, &error)) {
    ShowError("The new entry cannot be added:\n\n" + error + ".");
    return;
  }
  // A program without version data still shows its own icon; a file that holds
  // none (or is missing) shows the default entry icon rather than nothing.
  const Task* added = model_.Entry(selectedLocation, key);
  if (added && !added->icon) {
    platform::IconHandle icon = ExtractFileIcon(model_.System(), taskLocation, 0);
    if (!icon || icon->notAnIconFile) icon = platform::icons::ProgramIcon(kDefaultEntryIcon);
    model_.SetEntryIcon(selectedLocation, key, icon);
  }
  addedLocation = selectedLocation;
  addedKey = key;
  accept();
}

}  // namespace velmora::ui
