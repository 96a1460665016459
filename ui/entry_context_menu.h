// EntryContextMenu: the pop-up menu of the entry list and its five commands, and
// the bulk enable and disable of a view's locations.
//
// How the main window uses it:
//   // once, after the list exists:
//   menu_ = new EntryContextMenu(model_, list_,
//       [this] { OnMovieCommand(currentViewCommand); },     // show the view again
//       [this] { OfferApply(); },                           // "_root.applyState"/"refreshState" := "1"
//       this);
//   connect(list_, &EntryList::rowRightClicked, menu_, &EntryContextMenu::ShowEntryMenu);
//   // "ID_Fs_EnableAll" / "ID_Fs_DisableAll":
//   SetViewEnabled(model_, currentView, 1 /* or 0 */);
//   OnMovieCommand(currentViewCommand); OfferApply();
// menu_->selectedItem is the row the menu was opened on last (-1 before).
//
// The menu's commands act on the list's selected row. "Exit Process" ends the
// running process of the entry the menu was opened on: a polite request first, a
// forced end only when the process has not ended after a short wait; then the
// process figures of every entry are read again and the view is shown again.
// "Open Program Folder" has the desktop's file manager show the program file (a
// command naming only a file name means a file of the system folder) and says
// so when nothing could show it. Remove, Remove All Processes and Remove All
// Disabled edit the model, offer apply and show the view again; the two bulk
// removals act on the locations of the current view and ask first.
#pragma once

#include <QObject>
#include <QPoint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/app_interfaces.h"
#include "changes/startup_parameters.h"

class QMenu;
class QWidget;

namespace velmora::ui {

class EntryList;

// Command ids and positions of the menu's items (position 2 is a separator).
enum EntryMenuCommand {
  kExitProcessCommand = 32771,
  kOpenProgramFolderCommand = 32772,
  kRemoveCommand = 32773,
  kRemoveAllCommand = 32774,
  kRemoveAllDisabledCommand = 32775,
};

// SetLocationEnabled with |value| for each location of |locations|.
void SetLocationsEnabled(StartupParameters& model, const std::vector<int>& locations, int value);
// The same over the locations of view |view| (0-10) of the main window.
void SetViewEnabled(StartupParameters& model, int view, int value);

// The file that "Open Program Folder" shows for a command: its program path, in
// the system folder when the path names no folder.
std::string ProgramFolderTarget(platform::ManagedSystem& system, const std::string& command);

// Reads the process figures of every entry again: programs end and start while
// the window is open.
void RereadAllProcessFigures(StartupParameters& model);

// The question before a bulk removal: how many entries of which locations go.
// |counts| holds (location, entries) pairs; |disabledOnly| names them disabled.
std::string BulkRemovalQuestion(const std::vector<std::pair<int, int>>& counts, bool disabledOnly);

class EntryContextMenu : public QObject {
  Q_OBJECT

 public:
  EntryContextMenu(StartupParameters& model, EntryList* list, std::function<void()> reshowView,
                   std::function<void()> offerApply, QWidget* owner);
  ~EntryContextMenu() override;

  // The list's right-click: |row| (-1 below the last row) and the click point in
  // the list's viewport coordinates. Shows the menu when the row is selected and
  // runs the command chosen in it.
  void ShowEntryMenu(int row, const QPoint& position);
  // The menu for |row| with its items greyed as the row's entry requires. Its
  // actions carry their command ids as data; the caller owns the menu.
  std::unique_ptr<QMenu> BuildMenu(int row);
  // Runs one command of the menu.
  void RunCommand(int commandId);

  void ExitProcess();
  void OpenProgramFolder();
  void Remove();
  void RemoveAll();
  void RemoveAllDisabled();

  // The entry of a list row, or null when its name and location find none.
  const Task* RowTask(int row) const;
  // The list's selected row, -1 when none.
  int SelectedRow() const;

  int selectedItem = -1;
  // The locations of the current view, which the bulk removals act on (every
  // location when not set).
  std::function<std::vector<int>()> viewLocations;
  // Shows the menu's questions and notices (the program's message box when null).
  MessageBoxPresenter* box = nullptr;
  // How long "Exit Process" waits for a polite end, then for a forced one.
  int politeWaitMs = 3000;
  int forcedWaitMs = 1000;

 private:
  void ClearSelection();
  void AfterEdit();
  // Removes the entries of the view's locations (only the disabled ones when
  // |disabledOnly|) once the user has agreed.
  void RemoveInView(bool disabledOnly);
  int Show(MessageBoxRequest& request);

  StartupParameters& model_;
  EntryList* list_;
  std::function<void()> reshowView_;
  std::function<void()> offerApply_;
  QWidget* owner_;
};

}  // namespace velmora::ui
