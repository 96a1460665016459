// The entry list of the main window: a report view with check boxes, 16 x 16
// images and seven columns, in front of the main movie, over EntryTableModel. A
// row's entry is known by its identity (location and map key), never by the text
// shown in its cells.
#pragma once

#include <QIcon>
#include <QPoint>
#include <QTableView>
#include <string>
#include <vector>

#include "ui/entry_table_model.h"

namespace velmora {
class StartupParameters;
class Task;
}  // namespace velmora

namespace velmora::ui {

class EntryList : public QTableView {
  Q_OBJECT

 public:
  explicit EntryList(QWidget* parent = nullptr);

  // The seven columns at their initial widths.
  void InsertColumns();
  // Adds a row for every entry of each of |locations| in turn that is not
  // removed, above the rows already in the list (EntryTableModel::FillLocationRows),
  // and fits the columns once at the end.
  void FillLocations(StartupParameters& model, const std::vector<int>& locations);
  void DeleteAllRows();

  EntryTableModel* Entries() const { return entries_; }
  int rowCount() const { return entries_->rowCount(); }
  int columnCount() const { return entries_->columnCount(); }

  // The entry of a row (null when it is gone), its location and map key.
  const Task* RowTask(int row) const { return entries_->TaskAt(row); }
  int RowLocation(int row) const { return entries_->LocationAt(row); }
  std::string RowKey(int row) const { return entries_->KeyAt(row); }
  // The entry's name, location tag and command ("" for no entry).
  std::string RowName(int row) const;
  std::string RowLocationText(int row) const;
  std::string RowCommand(int row) const;
  bool RowChecked(int row) const;
  bool RowNew(int row) const;
  // What a cell shows: its text, image and alignment.
  std::string CellText(int row, int column) const;
  QIcon CellIcon(int row, int column) const;
  Qt::Alignment CellAlignment(int row, int column) const;
  std::string HeaderText(int column) const;
  // The lowest selected row, -1 when none.
  int SelectedRow() const;

  // Widths that let every column show its content within |available| pixels:
  // each column keeps at least its initial width and grows towards the width of
  // its widest cell while there is room. Exposed for the window and its tests.
  std::vector<int> FittedColumnWidths(int available) const;
  // How a cell of |column| shortens a text that does not fit.
  Qt::TextElideMode ColumnElideMode(int column) const;
  // The width that shows a column's heading and every cell whole.
  int ContentWidth(int column) const;
  // Fits the columns to the list's current width, unless the user has set the
  // widths by hand (SetColumnWidths, or dragging a header divider).
  void FitColumns();
  // Column widths chosen by the user (restored from the settings); the columns
  // then keep them.
  void SetColumnWidths(const std::vector<int>& widths);
  std::vector<int> ColumnWidths() const;
  bool ColumnWidthsSetByUser() const { return widthsByUser_; }

 signals:
  // The user changed the check box of |row| to |checked|.
  void rowCheckChanged(int row, bool checked);
  // A click on |row|.
  void rowClicked(int row);
  // |row| became the selected row, by any button or key.
  void rowSelected(int row);
  // Any key pressed in the list (before the list moves its selection).
  void keyDown();
  // A right click; |row| is -1 below the last row. |position| in the list's
  // viewport coordinates.
  void rowRightClicked(int row, const QPoint& position);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // The width of the widest cell of each column among rows |first|..|last|,
  // measured on the cells whose text is widest by estimate.
  std::vector<int> CellsWidths(int first, int last) const;
  void ForgetContentWidths();

  EntryTableModel* entries_;
  // The widest cell of each column (all -1: not measured yet), kept up to date as
  // rows come in, so that fitting the columns does not measure every cell again
  // on each fill and resize.
  mutable std::vector<int> cellWidths_;
  bool widthsByUser_ = false;
  bool fitting_ = false;
  bool headerPressed_ = false;
};

}  // namespace velmora::ui
