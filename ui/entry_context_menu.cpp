#include "ui/entry_context_menu.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QMenu>
#include <QThread>

#include "app/language.h"
#include "app/message_box_requests.h"
#include "base/text.h"
#include "entries/process_info.h"
#include "entries/program_path.h"
#include "entries/startup_location.h"
#include "platform/files.h"
#include "platform/managed_system.h"
#include "platform/processes.h"
#include "ui/custom_msg_box_dlg.h"
#include "ui/entry_list.h"
#include "ui/file_manager.h"
#include "ui/velmora_dlg.h"

namespace velmora::ui {

namespace {

constexpr int kPollMs = 50;

class WaitCursor {
 public:
  WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
};

// Waits until |pid| has ended or |timeoutMs| have passed; true when it ended.
bool WaitForEnd(std::uint32_t pid, int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (platform::ProcessAlive(pid)) {
    if (timer.elapsed() >= timeoutMs) return false;
    QThread::msleep(kPollMs);
  }
  return true;
}

// The process whose figures the entry shows: the first of the program's processes
// that can be queried (as ReadProcessInfo picks it).
std::uint32_t ShownProcess(platform::ManagedSystem& system, const std::string& programPath) {
  for (std::uint32_t pid : FindProcessIds(system, ProcessNameOfProgram(programPath))) {
    std::uint64_t workingSet = 0, peak = 0;
    if (platform::QueryProcessMemory(pid, &workingSet, &peak)) return pid;
  }
  return 0;
}

constexpr char kMenuStyle[] =
    "QMenu { background: #f7f9fc; color: #1c2640; border: 1px solid #24418f; border-radius: 6px; padding: "
    "5px;"
    "  font-size: 12px; }"
    "QMenu::item { padding: 6px 26px 6px 14px; border-radius: 4px; }"
    "QMenu::item:selected { background: #2f6df6; color: #ffffff; }"
    "QMenu::item:disabled { color: #a3adc2; background: transparent; }"
    "QMenu::separator { height: 1px; background: #d5dcea; margin: 4px 8px; }";

}  // namespace

void SetLocationsEnabled(StartupParameters& model, const std::vector<int>& locations, int value) {
  for (int location : locations) model.SetLocationEnabled(location, value);
}

void SetViewEnabled(StartupParameters& model, int view, int value) {
  if (view < 0 || view >= static_cast<int>(Views().size())) return;
  SetLocationsEnabled(model, Views()[view].locations, value);
}

std::string ProgramFolderTarget(platform::ManagedSystem& system, const std::string& command) {
  std::string path = ExtractProgramPath(system, command, /*expand=*/true);
  if (path.find('\\') == std::string::npos) path = platform::files::SystemDirectory(system) + "\\" + path;
  return path;
}

void RereadAllProcessFigures(StartupParameters& model) {
  for (int location = 0; location < kLocationCount; ++location) {
    std::vector<std::string> keys;
    for (const auto& [key, task] : model.Entries(location)) keys.push_back(key);
    for (const std::string& key : keys) model.RereadProcessFigures(location, key);
  }
}

std::string BulkRemovalQuestion(const std::vector<std::pair<int, int>>& counts, bool disabledOnly) {
  int total = 0;
  for (const auto& [location, count] : counts) total += count;
  const char* kind = disabledOnly ? "disabled " : "";
  std::string text = total == 1 ? std::string("Remove the ") + kind + "entry of "
                                : "Remove all " + std::to_string(total) + " " + kind + "entries of ";
  text += counts.size() == 1 ? "this location?\n" : "these locations?\n";
  for (const auto& [location, count] : counts) {
    text += "\n" + std::string(LocationTag(location)) + ": " + std::to_string(count) +
            (count == 1 ? " entry" : " entries");
  }
  text += "\n\nThey are taken out of Windows when you apply; until then Refresh brings them back.";
  return text;
}

EntryContextMenu::EntryContextMenu(StartupParameters& model, EntryList* list,
                                   std::function<void()> reshowView, std::function<void()> offerApply,
                                   QWidget* owner)
    : QObject(owner),
      model_(model),
      list_(list),
      reshowView_(std::move(reshowView)),
      offerApply_(std::move(offerApply)),
      owner_(owner) {}

EntryContextMenu::~EntryContextMenu() = default;

const Task* EntryContextMenu::RowTask(int row) const { return list_->RowTask(row); }

int EntryContextMenu::SelectedRow() const { return list_->SelectedRow(); }

void EntryContextMenu::ClearSelection() {
  list_->clearSelection();
  list_->setCurrentIndex(QModelIndex());
}

std::unique_ptr<QMenu> EntryContextMenu::BuildMenu(int row) {
  auto menu = std::make_unique<QMenu>(owner_);
  menu->setObjectName("entryMenu");
  menu->setStyleSheet(kMenuStyle);
  auto add = [&menu](const char* caption, int id) {
    QAction* action = menu->addAction(QString::fromUtf8(caption));
    action->setData(id);
    return action;
  };
  QAction* exitProcess = add("&Exit Process", kExitProcessCommand);
  QAction* openFolder = add("&Open Program Folder", kOpenProgramFolderCommand);
  menu->addSeparator();
  QAction* remove = add("Re&move", kRemoveCommand);
  add("Remove &All Processes", kRemoveAllCommand);
  add("Remove All &Disabled", kRemoveAllDisabledCommand);
  // A service is disabled, never removed.
  if (IsServiceLocation(list_->RowLocation(row))) remove->setEnabled(false);
  if (const Task* task = RowTask(row)) {
    // Only a running process that may be fully controlled can be ended.
    if (task->memoryKB == 0 || task->processProtected == 1) exitProcess->setEnabled(false);
    // A command naming only a file name means a program of the system folder,
    // which the entry's own file check (relative to no folder) cannot find.
    if (task->fileExists == 0 &&
        !platform::files::Exists(model_.System(), ProgramFolderTarget(model_.System(), task->command))) {
      openFolder->setEnabled(false);
    }
  }
  return menu;
}

void EntryContextMenu::ShowEntryMenu(int row, const QPoint& position) {
  if (row < 0 || row >= list_->rowCount()) return;
  QItemSelectionModel* selection = list_->selectionModel();
  if (!selection || !selection->isRowSelected(row, QModelIndex())) return;
  selectedItem = row;
  std::unique_ptr<QMenu> menu = BuildMenu(row);
  QAction* chosen = menu->exec(list_->viewport()->mapToGlobal(position));
  if (chosen) RunCommand(chosen->data().toInt());
}

void EntryContextMenu::RunCommand(int commandId) {
  switch (commandId) {
    case kExitProcessCommand:
      ExitProcess();
      break;
    case kOpenProgramFolderCommand:
      OpenProgramFolder();
      break;
    case kRemoveCommand:
      Remove();
      break;
    case kRemoveAllCommand:
      RemoveAll();
      break;
    case kRemoveAllDisabledCommand:
      RemoveAllDisabled();
      break;
    default:
      break;
  }
}

void EntryContextMenu::ExitProcess() {
  const Task* task = RowTask(selectedItem);
  if (!task || task->memoryKB == 0 || task->processProtected == 1) return;
  const std::string programPath = ExtractProgramPath(model_.System(), task->command);
  {
    WaitCursor wait;
    std::uint32_t pid = ShownProcess(model_.System(), programPath);
    // This program never ends itself this way: its pending edits would be lost.
    if (pid != 0 && pid != static_cast<std::uint32_t>(QCoreApplication::applicationPid()) &&
        platform::CanFullyControl(pid)) {
      if (!platform::SignalProcess(pid, false) || !WaitForEnd(pid, politeWaitMs)) {
        if (platform::SignalProcess(pid, true)) WaitForEnd(pid, forcedWaitMs);
      }
    }
    // The figures as they are now: another copy of the program may still run, and
    // ending one program may end others that other rows show.
    RereadAllProcessFigures(model_);
  }
  if (reshowView_) reshowView_();
}

void EntryContextMenu::OpenProgramFolder() {
  int row = SelectedRow();
  ClearSelection();
  if (row < 0) return;
  const std::string target = ProgramFolderTarget(model_.System(), list_->RowCommand(row));
  std::string error;
  if (!ShowInFileManager(model_.System(), target, &error)) {
    MessageBoxRequest request = ErrorBox(error);
    Show(request);
  }
}

void EntryContextMenu::Remove() {
  int row = SelectedRow();
  if (row >= 0) {
    model_.RemoveEntry(list_->RowKey(row), list_->RowLocation(row));
    if (offerApply_) offerApply_();
  }
  ClearSelection();
  if (reshowView_) reshowView_();
}

void EntryContextMenu::RemoveAll() { RemoveInView(false); }

void EntryContextMenu::RemoveAllDisabled() { RemoveInView(true); }

void EntryContextMenu::RemoveInView(bool disabledOnly) {
  std::vector<int> locations;
  if (viewLocations) {
    locations = viewLocations();
  } else {
    for (int location = 0; location < kLocationCount; ++location) locations.push_back(location);
  }
  std::vector<std::pair<int, std::vector<std::string>>> doomed;
  std::vector<std::pair<int, int>> counts;
  for (int location : locations) {
    // Services are disabled, never removed.
    if (location < 0 || location >= kLocationCount || !model_.HasLocation(location) ||
        IsServiceLocation(location))
      continue;
    std::vector<std::string> keys;
    for (const auto& [key, task] : model_.Entries(location)) {
      if (task->removed == 0 && (!disabledOnly || task->enabled == 0)) keys.push_back(key);
    }
    if (keys.empty()) continue;
    counts.push_back({location, static_cast<int>(keys.size())});
    doomed.push_back({location, std::move(keys)});
  }
  if (doomed.empty()) {
    MessageBoxRequest request =
        InfoBox(disabledOnly ? "This view lists no disabled entry." : "This view lists no entry.");
    Show(request);
    return;
  }
  MessageBoxRequest question =
      YesNoQuestion(model_.Context().Text(text_id::kProgramName), BulkRemovalQuestion(counts, disabledOnly));
  if (Show(question) != 1) return;
  for (const auto& [location, keys] : doomed) {
    for (const std::string& key : keys) model_.RemoveEntry(key, location);
  }
  ClearSelection();
  AfterEdit();
}

int EntryContextMenu::Show(MessageBoxRequest& request) {
  if (box) return box->Show(request);
  QtMessageBoxPresenter own(model_.Context(), owner_);
  return own.Show(request);
}

void EntryContextMenu::AfterEdit() {
  if (reshowView_) reshowView_();
  if (offerApply_) offerApply_();
}

}  // namespace velmora::ui
