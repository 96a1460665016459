#include "ui/entry_list.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <cstdio>

#include "entries/startup_location.h"
#include "entries/startup_parameters.h"
#include "ui/resource_images.h"

namespace velmora::ui {

namespace {

struct ColumnSpec {
  const char* heading;
  bool rightAligned;
  int width;
};

constexpr ColumnSpec kColumns[kColumnCount] = {
    {"Name", false, 90},  {"File name", false, 100}, {"Startup Location", false, 90}, {"Rating", false, 90},
    {"Mem", true, 90},    {"Peak", true, 90},        {"Comment", false, 90},
};

QTableWidgetItem* NewCell(const std::string& text, int column) {
  auto* item = new QTableWidgetItem(QString::fromStdString(text));
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  item->setTextAlignment(Qt::AlignVCenter | (kColumns[column].rightAligned ? Qt::AlignRight : Qt::AlignLeft));
  item->setToolTip(item->text());  // the full text of a narrow cell
  return item;
}

}  // namespace

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

EntryList::EntryList(QWidget* parent) : QTableWidget(parent) {
  setObjectName("entryList");
  setShowGrid(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSortingEnabled(false);
  setWordWrap(false);
  setIconSize(QSize(16, 16));
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setContextMenuPolicy(Qt::CustomContextMenu);
  setFrameShape(QFrame::NoFrame);
  verticalHeader()->hide();
  verticalHeader()->setDefaultSectionSize(20);
  horizontalHeader()->setSectionsClickable(false);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  setStyleSheet(
      "QTableWidget { background: #ffffff; color: #1c2640; gridline-color: #e3e8f2; font-size: 12px;"
      "  selection-background-color: #2f6df6; selection-color: #ffffff; border: none; }"
      "QHeaderView::section { background: #e9eef8; color: #3a4866; border: none;"
      "  border-right: 1px solid #d5dcea; border-bottom: 1px solid #d5dcea; padding: 3px 6px; font-size: 11px;"
      "  font-weight: bold; }"
      "QTableWidget::item { padding-left: 3px; }");

  connect(this, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
    if (filling_ || !item || item->column() != kColumnName) return;
    emit rowCheckChanged(item->row());
  });
  connect(this, &QTableWidget::cellClicked, this, [this](int row, int) { emit rowClicked(row); });
  connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
    emit rowRightClicked(rowAt(position.y()), position);
  });
}

void EntryList::InsertColumns() {
  setColumnCount(kColumnCount);
  for (int column = 0; column < kColumnCount; ++column) {
    auto* header = new QTableWidgetItem(kColumns[column].heading);
    header->setTextAlignment(Qt::AlignVCenter | (kColumns[column].rightAligned ? Qt::AlignRight : Qt::AlignLeft));
    setHorizontalHeaderItem(column, header);
    setColumnWidth(column, kColumns[column].width);
  }
}

void EntryList::DeleteAllRows() {
  clearSelection();
  setRowCount(0);
}

void EntryList::FillLocationRows(StartupParameters& model, int location) {
  if (location < 0 || location >= kLocationCount || !model.HasLocation(location)) return;
  filling_ = true;
  int position = 0;
  for (auto& [key, task] : model.entryMaps[location]) {
    if (task->removed) continue;
    if (!task->icon) task->icon = platform::icons::ProgramIcon(180);
    insertRow(position);
    QTableWidgetItem* name = NewCell(task->name, kColumnName);
    name->setFlags(name->flags() | Qt::ItemIsUserCheckable);
    name->setIcon(EntryIcon(task->icon));
    name->setCheckState(task->enabled == 1 ? Qt::Checked : Qt::Unchecked);
    setItem(position, kColumnName, name);
    setItem(position, kColumnFileName, NewCell(task->command, kColumnFileName));
    QTableWidgetItem* tag = NewCell(LocationTag(location), kColumnLocation);
    tag->setIcon(ListImagePixmap(IsMachineLocation(location) ? kImageComputer : kImageUsers));
    setItem(position, kColumnLocation, tag);
    setItem(position, kColumnMemory, NewCell(MemoryText(task->memoryKB), kColumnMemory));
    setItem(position, kColumnPeak, NewCell(MemoryText(task->peakMemoryKB), kColumnPeak));
    setItem(position, kColumnComment, NewCell(task->description, kColumnComment));
    QTableWidgetItem* rating = NewCell(task->rating, kColumnRating);
    rating->setIcon(ListImagePixmap(FileKindImage(task->rating)));
    setItem(position, kColumnRating, rating);
    ++position;
  }
  filling_ = false;
}

std::string EntryList::CellText(int row, int column) const {
  const QTableWidgetItem* cell = item(row, column);
  return cell ? cell->text().toStdString() : std::string();
}

std::string EntryList::RowName(int row) const { return CellText(row, kColumnName); }
std::string EntryList::RowLocationText(int row) const { return CellText(row, kColumnLocation); }
std::string EntryList::RowCommand(int row) const { return CellText(row, kColumnFileName); }

bool EntryList::RowChecked(int row) const {
  const QTableWidgetItem* cell = item(row, kColumnName);
  return cell && cell->checkState() == Qt::Checked;
}

void EntryList::keyPressEvent(QKeyEvent* event) {
  emit keyDown();
  QTableWidget::keyPressEvent(event);
}

}  // namespace velmora::ui
