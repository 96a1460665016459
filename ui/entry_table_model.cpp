#include "ui/entry_table_model.h"

#include <QCollator>
#include <QFont>
#include <QStringList>
#include <algorithm>
#include <cstdio>

#include "changes/startup_parameters.h"
#include "changes/store.h"
#include "entries/startup_location.h"
#include "ui/resource_images.h"

namespace velmora::ui {

namespace {

// The name comes first and gets the room to be read; the memory figures are
// short ("N/A" or a few digits) and take little.
constexpr ColumnSpec kColumns[kColumnCount] = {
    {"Name", false, 170}, {"File name", false, 120}, {"Startup Location", false, 118}, {"Rating", false, 96},
    {"Mem", true, 58},    {"Peak", true, 58},        {"Comment", false, 120},
};

// The mark of an entry that is new since the last look, before its name.
constexpr char kNewMark[] = "\u2605 ";

// What the list says of an entry besides its columns, as velmora-cli's listing
// says it: why its location cannot be changed, the disabled entry of its name
// that Velmora keeps. One line each; "" when there is nothing to say.
QString NotesOf(const Task& task, int location) {
  QStringList notes;
  for (const std::string& note : {changes::ReadOnlyNote(task), changes::KeptCopyNote(task, location)})
    if (!note.empty()) notes << QString::fromStdString(note);
  return notes.join(QLatin1Char('\n'));
}

}  // namespace

bool ShowsImage(int column) {
  return column == kColumnName || column == kColumnLocation || column == kColumnRating;
}

bool ShowsCheckBox(int column) { return column == kColumnName; }

const ColumnSpec& Column(int column) { return kColumns[column < 0 || column >= kColumnCount ? 0 : column]; }

int FileKindImage(const std::string& rating) {
  if (rating == "Unknown File") return kImageWarning;
  if (rating == "System File") return kImageWindowsFlag;
  if (rating == "Normal File") return kImageGreenFigure;
  return kImageRedCross;
}

std::string MemoryText(int kilobytes) {
  if (kilobytes == 0) return "N/A";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.3lf", static_cast<double>(kilobytes) / 1024);
  return buffer;
}

EntryTableModel::EntryTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void EntryTableModel::FillLocationRows(StartupParameters& parameters, int location) {
  if (location < 0 || location >= kLocationCount) return;
  parameters_ = &parameters;
  std::vector<Row> added;
  for (const auto& [key, task] : parameters.Entries(location)) {
    if (task->removed) continue;
    // A service or driver whose program shows no icon of its own shows a gear.
    const bool ownIcon = task->icon != nullptr;
    if (!ownIcon) parameters.SetEntryIcon(location, key, platform::icons::ProgramIcon(180));
    const QIcon icon = !ownIcon && IsServiceLocation(location) ? ServiceImage() : EntryIcon(task->icon);
    added.push_back({location, key, icon, isNew_ && isNew_(location, *task)});
  }
  if (added.empty()) return;
  beginInsertRows(QModelIndex(), 0, static_cast<int>(added.size()) - 1);
  rows_.insert(rows_.begin(), std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
  endInsertRows();
}

void EntryTableModel::Clear() {
  if (rows_.empty()) return;
  beginResetModel();
  rows_.clear();
  endResetModel();
}

const Task* EntryTableModel::TaskAt(int row) const {
  if (!parameters_ || row < 0 || row >= static_cast<int>(rows_.size())) return nullptr;
  const Row& entry = rows_[row];
  return parameters_->Entry(entry.location, entry.key);
}

int EntryTableModel::LocationAt(int row) const {
  return row < 0 || row >= static_cast<int>(rows_.size()) ? -1 : rows_[row].location;
}

std::string EntryTableModel::KeyAt(int row) const {
  return row < 0 || row >= static_cast<int>(rows_.size()) ? std::string() : rows_[row].key;
}

int EntryTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

void EntryTableModel::RefreshCells() {
  if (rows_.empty()) return;
  emit dataChanged(index(0, 0), index(static_cast<int>(rows_.size()) - 1, kColumnCount - 1));
}

void EntryTableModel::SetRatingsPending(bool pending) {
  if (pending == ratingsPending_) return;
  ratingsPending_ = pending;
  if (!rows_.empty())
    emit dataChanged(index(0, kColumnRating), index(static_cast<int>(rows_.size()) - 1, kColumnComment));
}

void EntryTableModel::sort(int column, Qt::SortOrder order) {
  if (column < 0 || column >= kColumnCount || rows_.size() < 2) return;
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const QModelIndexList before = persistentIndexList();
  std::vector<std::pair<int, std::string>> identities;
  for (const QModelIndex& index : before)
    identities.emplace_back(LocationAt(index.row()), KeyAt(index.row()));

  QCollator collator;
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  collator.setNumericMode(true);
  auto less = [&](const Row& a, const Row& b) {
    const Task* ta = parameters_ ? parameters_->Entry(a.location, a.key) : nullptr;
    const Task* tb = parameters_ ? parameters_->Entry(b.location, b.key) : nullptr;
    if (!ta || !tb) return ta != nullptr && tb == nullptr;
    switch (column) {
      case kColumnLocation:
        return a.location < b.location;
      case kColumnMemory:
        return ta->memoryKB < tb->memoryKB;
      case kColumnPeak:
        return ta->peakMemoryKB < tb->peakMemoryKB;
      default:
        return collator.compare(CellText(a, *ta, column), CellText(b, *tb, column)) < 0;
    }
  };
  if (order == Qt::AscendingOrder) {
    std::stable_sort(rows_.begin(), rows_.end(), less);
  } else {
    std::stable_sort(rows_.begin(), rows_.end(), [&](const Row& a, const Row& b) { return less(b, a); });
  }

  QModelIndexList after;
  for (std::size_t i = 0; i < identities.size(); ++i) {
    int row = 0;
    while (row < static_cast<int>(rows_.size()) &&
           (rows_[row].location != identities[i].first || rows_[row].key != identities[i].second)) {
      ++row;
    }
    after << (row < static_cast<int>(rows_.size()) ? index(row, before[i].column()) : QModelIndex());
  }
  changePersistentIndexList(before, after);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int EntryTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QString EntryTableModel::CellText(const Row& row, const Task& task, int column) const {
  switch (column) {
    case kColumnName:
      return QString::fromStdString(task.name);
    case kColumnFileName:
      return QString::fromStdString(task.command);
    case kColumnLocation:
      return QString::fromUtf8(LocationTag(row.location));
    case kColumnRating:
      return ratingsPending_ ? QString::fromUtf8(kRatingPending) : QString::fromStdString(task.rating);
    case kColumnMemory:
      return QString::fromStdString(MemoryText(task.memoryKB));
    case kColumnPeak:
      return QString::fromStdString(MemoryText(task.peakMemoryKB));
    case kColumnComment:
      return ratingsPending_ ? QString::fromUtf8(kCommentPending) : QString::fromStdString(task.description);
    default:
      return QString();
  }
}

QVariant EntryTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return QVariant();
  const Row& row = rows_[index.row()];
  const int column = index.column();
  switch (role) {
    case EntryLocationRole:
      return row.location;
    case EntryKeyRole:
      return QString::fromStdString(row.key);
    case EntryNewRole:
      return row.isNew;
    case Qt::TextAlignmentRole:
      return static_cast<int>(Qt::AlignVCenter |
                              (Column(column).rightAligned ? Qt::AlignRight : Qt::AlignLeft));
    default:
      break;
  }
  const Task* task = TaskAt(index.row());
  if (!task) return QVariant();
  return CellData(row, *task, column, role);
}

std::vector<EntryTableModel::CellContent> EntryTableModel::RowCells(int row) const {
  std::vector<CellContent> cells;
  const Task* task = TaskAt(row);
  if (!task) return cells;
  const Row& entry = rows_[row];
  cells.resize(kColumnCount);
  for (int column = 0; column < kColumnCount; ++column) {
    cells[column].text = DisplayText(entry, *task, column);
    cells[column].image = ShowsImage(column);
    cells[column].checkBox = ShowsCheckBox(column);
  }
  return cells;
}

QString EntryTableModel::DisplayText(const Row& row, const Task& task, int column) const {
  if (column == kColumnName && row.isNew) return QString::fromUtf8(kNewMark) + CellText(row, task, column);
  if (column == kColumnComment) {
    // The notes follow the comment, so that they are seen without a hover.
    const QString notes = NotesOf(task, row.location);
    if (!notes.isEmpty()) {
      const QString comment = CellText(row, task, column);
      QString shown = comment.isEmpty() ? notes : comment + QStringLiteral(" \u2014 ") + notes;
      return shown.replace(QLatin1Char('\n'), QLatin1Char(' '));
    }
  }
  return CellText(row, task, column);
}

QVariant EntryTableModel::CellData(const Row& row, const Task& task, int column, int role) const {
  switch (role) {
    case Qt::DisplayRole:
      return DisplayText(row, task, column);
    case Qt::ToolTipRole: {
      QString text = CellText(row, task, column);  // the whole text of a narrow cell
      if (column == kColumnName && row.isNew) text += QStringLiteral("\nNew since the last start");
      const QString notes = NotesOf(task, row.location);
      if (!notes.isEmpty()) text += QLatin1Char('\n') + notes;
      return text;
    }
    case Qt::FontRole:
      if (column == kColumnName && (row.isNew || task.readOnly)) {
        QFont font;
        font.setBold(row.isNew);
        font.setItalic(task.readOnly != 0);  // the mark of an entry that cannot be changed
        return font;
      }
      return QVariant();
    case Qt::CheckStateRole:
      if (ShowsCheckBox(column)) return task.enabled == 1 ? Qt::Checked : Qt::Unchecked;
      return QVariant();
    case Qt::DecorationRole:
      if (!ShowsImage(column)) return QVariant();
      if (column == kColumnName) return row.icon;
      if (column == kColumnLocation) {
        if (IsServiceLocation(row.location)) return ServiceImage();
        return ListImagePixmap(IsMachineLocation(row.location) ? kImageComputer : kImageUsers);
      }
      if (column == kColumnRating) {
        if (ratingsPending_) return QVariant();
        return ListImagePixmap(FileKindImage(task.rating));
      }
      return QVariant();
    default:
      return QVariant();
  }
}

bool EntryTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || !index.isValid() || index.column() != kColumnName) return false;
  if (!TaskAt(index.row())) return false;
  emit checkRequested(index.row(), static_cast<Qt::CheckState>(value.toInt()) == Qt::Checked);
  // The box shows the entry as it now stands, whatever the handler did.
  emit dataChanged(index, index, {Qt::CheckStateRole});
  return true;
}

Qt::ItemFlags EntryTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  // The box of an entry that cannot be changed shows its state but takes no click.
  const Task* task = TaskAt(index.row());
  if (index.column() == kColumnName && !(task && task->readOnly)) flags |= Qt::ItemIsUserCheckable;
  return flags;
}

QVariant EntryTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return QVariant();
  if (role == Qt::DisplayRole) return QString::fromUtf8(Column(section).heading);
  if (role == Qt::TextAlignmentRole) {
    return static_cast<int>(Qt::AlignVCenter |
                            (Column(section).rightAligned ? Qt::AlignRight : Qt::AlignLeft));
  }
  return QVariant();
}

}  // namespace velmora::ui
