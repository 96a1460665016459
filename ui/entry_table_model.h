// EntryTableModel: the rows of the entry list over the entries of
// StartupParameters. A row holds only the identity of its entry (location and the
// key of the location's entry map); every cell is read from the entry when the
// view asks, so an edit shows as soon as the view repaints. The identity is also
// what the list hands out (EntryLocationRole, EntryKeyRole), never a cell's text.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <functional>
#include <string>
#include <vector>

namespace velmora {
class StartupParameters;
class Task;
}  // namespace velmora

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

// Roles of the entry's identity, on every cell of a row.
enum EntryRole {
  EntryLocationRole = Qt::UserRole + 1,  // int: the location number
  EntryKeyRole,                          // QString: the key in the location's map
  EntryNewRole,                          // bool: new or changed since the last look
};

// The heading, alignment and initial width of a column.
struct ColumnSpec {
  const char* heading;
  bool rightAligned;
  int width;
};
const ColumnSpec& Column(int column);
// Whether every cell of |column| shows an image (the entry's icon, the location's
// or the rating's), and a check box, before its text.
bool ShowsImage(int column);
bool ShowsCheckBox(int column);

// Image of a rating: 2 "Unknown File", 3 "System File", 5 "Normal File" (exact
// comparison), 4 for anything else.
int FileKindImage(const std::string& rating);
// What the Rating and Comment cells show while the entries wait for their ratings.
inline constexpr char kRatingPending[] = "Rating\u2026";
inline constexpr char kCommentPending[] = "\u2026";
// Kilobytes as megabytes with three decimals ("1.465"), or "N/A" for 0.
std::string MemoryText(int kilobytes);

class EntryTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit EntryTableModel(QObject* parent = nullptr);

  // Adds a row for every entry of |location| that is not removed, above the rows
  // already there, in the map's order. An entry without an icon gets the default
  // icon 180 and keeps it.
  void FillLocationRows(StartupParameters& parameters, int location);
  void Clear();
  // Every cell shows its entry as it now stands (after its figures were read again).
  void RefreshCells();
  // While the entries wait for their ratings, the Rating and Comment cells say so
  // (kRatingPending, kCommentPending), without the rating's image.
  void SetRatingsPending(bool pending);
  bool RatingsPending() const { return ratingsPending_; }

  // The entry of a row, or null when the row or its entry is gone.
  const Task* TaskAt(int row) const;
  int LocationAt(int row) const;
  std::string KeyAt(int row) const;

  // What the cells of a row show, as data() gives it, with its entry looked up once:
  // the text, and whether an image and a check box come before it. Empty when the
  // row or its entry is gone.
  struct CellContent {
    QString text;
    bool image = false;
    bool checkBox = false;
  };
  std::vector<CellContent> RowCells(int row) const;

  // Tells whether an entry is new since the last look; rows ask it when filled.
  void SetNewTest(std::function<bool(int location, const Task&)> isNew) { isNew_ = std::move(isNew); }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  // Orders the rows by |column| (-1: leaves them as they are): texts without
  // regard to letter case, the memory figures by their value, locations by number.
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

 signals:
  // The user asked to turn the entry of |row| on or off; the entry itself is
  // changed by whoever handles this.
  void checkRequested(int row, bool checked);

 private:
  struct Row {
    int location;
    std::string key;
    QIcon icon;
    bool isNew;
  };
  QString CellText(const Row& row, const Task& task, int column) const;
  // What the cell shows: its text with the new mark and the notes.
  QString DisplayText(const Row& row, const Task& task, int column) const;
  QVariant CellData(const Row& row, const Task& task, int column, int role) const;

  StartupParameters* parameters_ = nullptr;
  std::vector<Row> rows_;
  std::function<bool(int location, const Task&)> isNew_;
  bool ratingsPending_ = false;
};

}  // namespace velmora::ui
