// The entry list of the main window: a report view with check boxes, 16 x 16
// images and seven columns, in front of the main movie. It holds no data of its
// own: a row is identified by its name (column 0) and location tag (column 2).
#pragma once

#include <QPoint>
#include <QTableWidget>
#include <string>

namespace velmora {
class StartupParameters;
}

namespace velmora::ui {

enum EntryColumn {
  kColumnName = 0,
  kColumnFileName = 1,
  kColumnLocation = 2,
  kColumnRating = 3,
  kColumnMemory = 4,
  kColumnPeak = 5,
  kColumnComment = 6,
  kColumnCount = 7,
};

// Image of a rating: 2 "Unknown File", 3 "System File", 5 "Normal File" (exact
// comparison), 4 for anything else.
int FileKindImage(const std::string& rating);
// Kilobytes as megabytes with three decimals ("1.465"), or "N/A" for 0.
std::string MemoryText(int kilobytes);

class EntryList : public QTableWidget {
  Q_OBJECT

 public:
  explicit EntryList(QWidget* parent = nullptr);

  // The seven columns, created once.
  void InsertColumns();
  // Adds a row for every entry of |location| that is not removed, inserting from
  // position 0: the rows of a location stand above those already in the list.
  // An entry without an icon gets the default icon 180 and keeps it.
  void FillLocationRows(StartupParameters& model, int location);
  void DeleteAllRows();

  std::string RowName(int row) const;
  std::string RowLocationText(int row) const;
  std::string RowCommand(int row) const;
  bool RowChecked(int row) const;
  std::string CellText(int row, int column) const;

 signals:
  // The user changed the check box of |row|.
  void rowCheckChanged(int row);
  // A click on |row|.
  void rowClicked(int row);
  // Any key pressed in the list (before the list moves its selection).
  void keyDown();
  // A right click; |row| is -1 below the last row. |position| in the list's
  // viewport coordinates.
  void rowRightClicked(int row, const QPoint& position);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool filling_ = false;
};

}  // namespace velmora::ui
