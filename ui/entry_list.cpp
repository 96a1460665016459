#include "ui/entry_list.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QStyledItemDelegate>
#include <algorithm>
#include <numeric>

#include "changes/startup_parameters.h"
#include "entries/startup_location.h"
#include "ui/text_advance.h"

namespace velmora::ui {

namespace {

// How many cells of a column are measured exactly, the widest by estimate. The
// estimate is off by kerning only: the widest cell is among them, or more than
// this many come within a few pixels of it.
constexpr std::size_t kRowsMeasuredExactly = 16;
// Of those, only cells whose estimate comes within this share of the widest
// estimate: kerning moves a text's width by a few per cent and the bold name of a
// new entry is about a tenth wider than its estimate, so a cell estimated
// narrower than this is drawn narrower than the widest.
constexpr double kMeasuredShare = 0.8;

// Paths lose their middle rather than their end, where the program's name is.
class PathDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    option->textElideMode = Qt::ElideMiddle;
  }
};

}  // namespace

EntryList::EntryList(QWidget* parent)
    : QTableView(parent), entries_(new EntryTableModel(this)), cellWidths_(kColumnCount, -1) {
  setObjectName("entryList");
  setModel(entries_);
  setShowGrid(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  // A click on a heading orders the rows by that column; until then they stay in
  // the order they were filled in.
  horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  setSortingEnabled(true);
  setWordWrap(false);
  setTextElideMode(Qt::ElideRight);
  setItemDelegateForColumn(kColumnFileName, new PathDelegate(this));
  setIconSize(QSize(16, 16));
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setContextMenuPolicy(Qt::CustomContextMenu);
  setFrameShape(QFrame::NoFrame);
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(20);
  horizontalHeader()->setSectionsClickable(true);
  horizontalHeader()->setSortIndicatorShown(true);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setStretchLastSection(false);
  setStyleSheet(
      "QTableView { background: #ffffff; color: #1c2640; gridline-color: #e3e8f2; font-size: 12px;"
      "  selection-background-color: #2f6df6; selection-color: #ffffff; border: none; }"
      "QHeaderView::section { background: #e9eef8; color: #3a4866; border: none;"
      "  border-right: 1px solid #d5dcea; border-bottom: 1px solid #d5dcea; padding: 3px 6px; font-size: "
      "12px;"
      "  font-weight: bold; }"
      "QTableView::item { padding-left: 3px; }");
  // The style sheet's font applies now rather than when the list is first shown,
  // so that the cells are measured once, in the font they are drawn in.
  ensurePolished();

  connect(entries_, &EntryTableModel::checkRequested, this, &EntryList::rowCheckChanged);
  // New rows widen what is known; any other change is measured again when asked.
  connect(entries_, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex&, int first, int last) {
    if (cellWidths_[0] < 0) return;
    const std::vector<int> added = CellsWidths(first, last);
    for (int column = 0; column < kColumnCount; ++column)
      cellWidths_[column] = std::max(cellWidths_[column], added[column]);
  });
  connect(entries_, &QAbstractItemModel::rowsRemoved, this, &EntryList::ForgetContentWidths);
  connect(entries_, &QAbstractItemModel::modelReset, this, &EntryList::ForgetContentWidths);
  connect(entries_, &QAbstractItemModel::dataChanged, this, &EntryList::ForgetContentWidths);
  connect(entries_, &QAbstractItemModel::layoutChanged, this, &EntryList::ForgetContentWidths);
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    const int row = SelectedRow();
    if (row >= 0) emit rowSelected(row);
  });
  connect(this, &QTableView::clicked, this,
          [this](const QModelIndex& index) { emit rowClicked(index.row()); });
  connect(this, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& position) { emit rowRightClicked(rowAt(position.y()), position); });
  // A divider dragged by the user: from now on the columns keep their widths.
  horizontalHeader()->viewport()->installEventFilter(this);
  connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int, int, int) {
    if (!fitting_ && headerPressed_) widthsByUser_ = true;
  });
}

void EntryList::InsertColumns() {
  fitting_ = true;
  for (int column = 0; column < kColumnCount; ++column) setColumnWidth(column, Column(column).width);
  fitting_ = false;
}

void EntryList::DeleteAllRows() {
  clearSelection();
  entries_->Clear();
}

void EntryList::FillLocations(StartupParameters& model, const std::vector<int>& locations) {
  // Measured once when all rows are in, not again for each location's rows.
  ForgetContentWidths();
  for (int location : locations) {
    if (location >= 0 && location < kLocationCount && model.HasLocation(location))
      entries_->FillLocationRows(model, location);
  }
  // Rows come in fill order; the order the user chose holds for them too.
  if (isSortingEnabled() && horizontalHeader()->sortIndicatorSection() >= 0)
    entries_->sort(horizontalHeader()->sortIndicatorSection(), horizontalHeader()->sortIndicatorOrder());
  FitColumns();
}

std::string EntryList::CellText(int row, int column) const {
  return entries_->index(row, column).data(Qt::DisplayRole).toString().toStdString();
}

QIcon EntryList::CellIcon(int row, int column) const {
  QVariant decoration = entries_->index(row, column).data(Qt::DecorationRole);
  if (decoration.canConvert<QIcon>() && decoration.userType() == QMetaType::QIcon)
    return decoration.value<QIcon>();
  if (decoration.userType() == QMetaType::QPixmap) return QIcon(decoration.value<QPixmap>());
  return QIcon();
}

Qt::Alignment EntryList::CellAlignment(int row, int column) const {
  return Qt::Alignment(entries_->index(row, column).data(Qt::TextAlignmentRole).toInt());
}

std::string EntryList::HeaderText(int column) const {
  return entries_->headerData(column, Qt::Horizontal).toString().toStdString();
}

std::string EntryList::RowName(int row) const {
  const Task* task = RowTask(row);
  return task ? task->name : std::string();
}

std::string EntryList::RowLocationText(int row) const {
  int location = RowLocation(row);
  return location < 0 ? std::string() : std::string(LocationTag(location));
}

std::string EntryList::RowCommand(int row) const {
  const Task* task = RowTask(row);
  return task ? task->command : std::string();
}

bool EntryList::RowChecked(int row) const {
  return entries_->index(row, kColumnName).data(Qt::CheckStateRole).toInt() == Qt::Checked;
}

bool EntryList::RowNew(int row) const {
  return entries_->index(row, kColumnName).data(EntryNewRole).toBool();
}

int EntryList::SelectedRow() const {
  QItemSelectionModel* selection = selectionModel();
  if (!selection) return -1;
  const QModelIndexList rows = selection->selectedRows();
  if (rows.isEmpty()) return -1;
  int row = rows.first().row();
  for (const QModelIndex& index : rows) row = std::min(row, index.row());
  return row;
}

Qt::TextElideMode EntryList::ColumnElideMode(int column) const {
  return dynamic_cast<PathDelegate*>(itemDelegateForColumn(column)) ? Qt::ElideMiddle : textElideMode();
}

std::vector<int> EntryList::CellsWidths(int first, int last) const {
  // As QTableView::sizeHintForColumn measures, but only the cells that are among
  // the widest by a quick estimate (text, image and check box): measuring one
  // cell exactly lays its text out in full, which for a thousand rows took longer
  // than reading them. Each row's entry is read once for all its cells.
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  TextAdvance advance(option.font);
  const double imageWidth = iconSize().width();
  const double checkWidth = style()->pixelMetric(QStyle::PM_IndicatorWidth, &option, this);
  struct Candidate {
    double estimate;
    int row;
  };
  std::vector<std::vector<Candidate>> candidates(kColumnCount);
  for (int row = first; row <= last; ++row) {
    if (isRowHidden(row)) continue;
    const std::vector<EntryTableModel::CellContent> cells = entries_->RowCells(row);
    for (int column = 0; column < static_cast<int>(cells.size()); ++column) {
      const EntryTableModel::CellContent& cell = cells[column];
      double estimate = advance.Estimate(cell.text);
      if (cell.image) estimate += imageWidth;
      if (cell.checkBox) estimate += checkWidth;
      candidates[column].push_back({estimate, row});
    }
  }
  std::vector<int> widths(kColumnCount, 0);
  for (int column = 0; column < kColumnCount; ++column) {
    std::vector<Candidate>& columnCandidates = candidates[column];
    const auto measured =
        columnCandidates.begin() + std::min<std::size_t>(columnCandidates.size(), kRowsMeasuredExactly);
    std::partial_sort(columnCandidates.begin(), measured, columnCandidates.end(),
                      [](const Candidate& a, const Candidate& b) { return a.estimate > b.estimate; });
    // Cells alike in text and font are as wide as each other: many rows share a
    // rating, a location, a memory figure or a comment, and one of them is measured.
    std::vector<std::pair<QString, QVariant>> seen;
    int widest = 0;
    const double least = columnCandidates.empty() ? 0 : columnCandidates.front().estimate * kMeasuredShare;
    for (auto candidate = columnCandidates.begin(); candidate != measured && candidate->estimate >= least;
         ++candidate) {
      const QModelIndex index = entries_->index(candidate->row, column);
      std::pair<QString, QVariant> look(index.data(Qt::DisplayRole).toString(), index.data(Qt::FontRole));
      if (std::find(seen.begin(), seen.end(), look) != seen.end()) continue;
      widest = std::max(widest, itemDelegateForIndex(index)->sizeHint(option, index).width());
      seen.push_back(std::move(look));
    }
    widths[column] = showGrid() ? widest + 1 : widest;
  }
  return widths;
}

void EntryList::ForgetContentWidths() { std::fill(cellWidths_.begin(), cellWidths_.end(), -1); }

int EntryList::ContentWidth(int column) const {
  if (column < 0 || column >= kColumnCount) return 0;
  if (cellWidths_[column] < 0) cellWidths_ = CellsWidths(0, entries_->rowCount() - 1);
  return std::max(cellWidths_[column], horizontalHeader()->sectionSizeHint(column));
}

std::vector<int> EntryList::FittedColumnWidths(int available) const {
  std::vector<int> widths(kColumnCount), wanted(kColumnCount);
  for (int column = 0; column < kColumnCount; ++column) widths[column] = Column(column).width;
  int room = available - std::accumulate(widths.begin(), widths.end(), 0);
  // No room beyond the initial widths (the window at its default size): what the
  // cells hold changes nothing, and they are not measured.
  if (room <= 0) return widths;
  for (int column = 0; column < kColumnCount; ++column)
    wanted[column] = std::max(ContentWidth(column), widths[column]);
  // Share the room out evenly among the columns that still want more, so that a
  // long path does not take it all from the short columns; what still does not
  // fit elides in the middle and shows whole in its tooltip.
  while (room > 0) {
    std::vector<int> hungry;
    for (int column = 0; column < kColumnCount; ++column) {
      if (widths[column] < wanted[column]) hungry.push_back(column);
    }
    if (hungry.empty()) break;
    int share = std::max(1, room / static_cast<int>(hungry.size()));
    for (int column : hungry) {
      int grow = std::min({share, wanted[column] - widths[column], room});
      widths[column] += grow;
      room -= grow;
      if (room == 0) break;
    }
  }
  // What is left goes to the comment column, so that the rows reach the edge.
  if (room > 0) widths[kColumnComment] += room;
  return widths;
}

void EntryList::FitColumns() {
  if (widthsByUser_) return;
  const int available = viewport()->width() > 0 ? viewport()->width() : width();
  std::vector<int> widths = FittedColumnWidths(available);
  fitting_ = true;
  for (int column = 0; column < kColumnCount; ++column) setColumnWidth(column, widths[column]);
  fitting_ = false;
}

void EntryList::SetColumnWidths(const std::vector<int>& widths) {
  if (widths.size() != static_cast<std::size_t>(kColumnCount)) return;
  fitting_ = true;
  for (int column = 0; column < kColumnCount; ++column) setColumnWidth(column, widths[column]);
  fitting_ = false;
  widthsByUser_ = true;
}

std::vector<int> EntryList::ColumnWidths() const {
  std::vector<int> widths(kColumnCount);
  for (int column = 0; column < kColumnCount; ++column) widths[column] = columnWidth(column);
  return widths;
}

void EntryList::keyPressEvent(QKeyEvent* event) {
  emit keyDown();
  QTableView::keyPressEvent(event);
}

bool EntryList::eventFilter(QObject* watched, QEvent* event) {
  if (watched == horizontalHeader()->viewport()) {
    if (event->type() == QEvent::MouseButtonPress) headerPressed_ = true;
    if (event->type() == QEvent::MouseButtonRelease) headerPressed_ = false;
  }
  return QTableView::eventFilter(watched, event);
}

void EntryList::changeEvent(QEvent* event) {
  // Cells measure otherwise in another font or style.
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) ForgetContentWidths();
  QTableView::changeEvent(event);
}

void EntryList::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  FitColumns();
}

}  // namespace velmora::ui
