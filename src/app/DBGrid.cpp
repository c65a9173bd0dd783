#include "app/DBGrid.h"

#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTimer>
#include <algorithm>

#include "app/PathElision.h"

namespace corvane {

TTableModel::TTableModel(TStoreTable& table, std::vector<TGridColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), table_(table), columns_(std::move(columns)) {
    table_.AttachView(this);
}

TTableModel::~TTableModel() {
    table_.DetachView(this);
}

int TTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int TTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant TTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_) return QVariant();
    // The tooltip holds the whole cell, which a narrow column elides.
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return QVariant();
    const size_t cell = static_cast<size_t>(index.row()) * columns_.size() + index.column();
    return QString::fromStdString(cells_[cell]);
}

QVariant TTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return QVariant();
    if (section < 0 || section >= static_cast<int>(columns_.size())) return QVariant();
    if (role == Qt::ToolTipRole && !HeaderToolTip.isEmpty()) return HeaderToolTip;
    if (role != Qt::DisplayRole) return QVariant();
    return QString::fromStdString(columns_[section].FieldName);
}

Qt::ItemFlags TTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled;  // read-only
}

void TTableModel::DataChanged() {
    if (ownChange_) return;
    if (swallowNext_) {
        swallowNext_ = false;
        return;
    }
    if (expectDelete_) {
        expectDelete_ = false;
        if (RemoveCurrentRow()) return;
    }
    stale_ = true;
    ScheduleRefresh();
}

void TTableModel::StateChanged() {
    DataChanged();
}

void TTableModel::ScheduleRefresh() {
    if (scheduled_) return;
    scheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        scheduled_ = false;
        RefreshIfStale();
    });
}

bool TTableModel::MayTouch() const {
    if (CanTouchTable && !CanTouchTable()) return false;
    return table_.Active() && table_.State() == dsBrowse;
}

void TTableModel::RefreshIfStale() {
    try {
        RefreshNow();
    } catch (const std::exception& e) {
        if (OnError) OnError(e.what());
    }
}

void TTableModel::RefreshNow() {
    if (!stale_) return;
    if (!table_.Active()) {
        beginResetModel();
        cells_.clear();
        checkpoints_.clear();
        rows_ = 0;
        currentRow_ = -1;
        endResetModel();
        stale_ = false;
        return;
    }
    if (!MayTouch()) return;  // stays stale; the window asks again later
    Rebuild();
}

std::vector<std::string> TTableModel::CurrentCells() const {
    std::vector<std::string> cells;
    for (TField* field : fields_) cells.push_back(field->AsString());
    return cells;
}

void TTableModel::Rebuild() {
    fields_.clear();
    for (const TGridColumn& column : columns_)
        fields_.push_back(&table_.FieldByName(column.FieldName));
    std::vector<std::string> cells;
    std::vector<TCheckpoint> checkpoints;
    int rows = 0;
    int current = -1;
    if (BeforeWalk) BeforeWalk();
    ownChange_ = true;
    table_.SuspendViews();
    try {
        TBookmark here = table_.TakeBookmark();
        // Every grid shows its table's primary key, so the current record is
        // the first row whose cells equal its cells.
        const std::vector<std::string> currentCells =
            here ? CurrentCells() : std::vector<std::string>();
        cells.reserve(static_cast<size_t>(table_.RecordCount()) * fields_.size());
        table_.First();
        while (!table_.AtEnd()) {
            if (rows % kCheckpointRows == 0) checkpoints.push_back({rows, table_.TakeBookmark()});
            bool same = current < 0 && here;
            for (size_t c = 0; c < fields_.size(); ++c) {
                cells.push_back(fields_[c]->AsString());
                if (same && cells.back() != currentCells[c]) same = false;
            }
            if (same) current = rows;
            ++rows;
            table_.Next();
        }
        table_.MoveToBookmark(here);
    } catch (...) {
        table_.ResumeViews();
        ownChange_ = false;
        if (AfterWalk) AfterWalk();
        throw;
    }
    table_.ResumeViews();
    ownChange_ = false;
    if (AfterWalk) AfterWalk();
    beginResetModel();
    cells_ = std::move(cells);
    checkpoints_ = std::move(checkpoints);
    rows_ = rows;
    currentRow_ = current;
    stale_ = false;
    endResetModel();
    emit currentRowChanged(currentRow_);
}

bool TTableModel::RemoveCurrentRow() {
    const int row = currentRow_;
    if (stale_ || row < 0 || row >= rows_ || !table_.Active()) return false;
    const size_t width = columns_.size();
    beginRemoveRows(QModelIndex(), row, row);
    cells_.erase(cells_.begin() + static_cast<ptrdiff_t>(row * width),
                 cells_.begin() + static_cast<ptrdiff_t>((row + 1) * width));
    --rows_;
    std::vector<TCheckpoint> kept;
    for (TCheckpoint& c : checkpoints_) {
        if (c.Row == row) continue;  // its record is gone
        kept.push_back({c.Row > row ? c.Row - 1 : c.Row, c.Mark});
    }
    checkpoints_ = std::move(kept);
    // The store makes the following record current, or the new last one.
    currentRow_ = rows_ == 0 ? -1 : std::min(row, rows_ - 1);
    endRemoveRows();
    if (currentRow_ >= 0) {
        const std::vector<std::string> actual = CurrentCells();
        for (size_t c = 0; c < width; ++c)
            if (actual[c] != cells_[static_cast<size_t>(currentRow_) * width + c]) {
                stale_ = true;  // not what was expected: walk again
                ScheduleRefresh();
                return true;
            }
    }
    emit currentRowChanged(currentRow_);
    return true;
}

bool TTableModel::MoveTableToRow(int row) {
    if (row < 0 || row >= rows_) return false;
    if (row == currentRow_) return true;
    if (stale_ || !MayTouch()) return false;
    ownChange_ = true;
    table_.SuspendViews();
    try {
        // The nearest checkpoint at or before the row, then single steps.
        auto at = std::upper_bound(checkpoints_.begin(), checkpoints_.end(), row,
                                   [](int r, const TCheckpoint& c) { return r < c.Row; });
        int from = 0;
        if (at == checkpoints_.begin()) {
            table_.First();
        } else {
            --at;
            table_.MoveToBookmark(at->Mark);
            from = at->Row;
        }
        for (int i = from; i < row; ++i) table_.Next();
    } catch (...) {
        ownChange_ = false;
        table_.ResumeViews();
        throw;
    }
    currentRow_ = row;
    ownChange_ = false;
    // One notice to every view (the pair view follows the move). The model's
    // own copy of that notice is swallowed: a move changes no row. Notices of
    // anything the other views' handlers change meanwhile still count.
    swallowNext_ = true;
    table_.ResumeViews();
    swallowNext_ = false;
    return true;
}

// ---- TDBGrid ----

TDBGrid::TDBGrid(TTableModel* model, QWidget* parent) : QTableView(parent), model_(model) {
    setModel(model_);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setAlternatingRowColors(true);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setFixedWidth(12);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setMinimumSectionSize(40);
    auto* paths = new TPathDelegate(this);
    for (int c = 0; c < static_cast<int>(model_->Columns().size()); ++c) {
        const TGridColumn& column = model_->Columns()[c];
        setColumnWidth(c, column.Width);
        horizontalHeader()->setSectionResizeMode(
            c, column.Stretch ? QHeaderView::Stretch : QHeaderView::Interactive);
        if (column.Path) setItemDelegateForColumn(c, paths);
    }
    connect(model_, &TTableModel::currentRowChanged, this, &TDBGrid::SelectRow);
    connect(this, &QTableView::clicked, this,
            [this](const QModelIndex& index) { emit cellClicked(index.column()); });
}

std::string TDBGrid::CurrentColumnComponent() const {
    const int column = currentIndex().isValid() ? currentIndex().column() : 0;
    if (column < 0 || column >= static_cast<int>(model_->Columns().size())) return "";
    return model_->Columns()[column].ComponentName;
}

void TDBGrid::SelectRow(int row) {
    syncing_ = true;
    if (row < 0) {
        setCurrentIndex(QModelIndex());
    } else {
        const int column = currentIndex().isValid() ? currentIndex().column() : 0;
        const QModelIndex index = model_->index(row, column);
        setCurrentIndex(index);
        scrollTo(index);
    }
    syncing_ = false;
}

void TDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (syncing_ || !current.isValid()) return;
    if (current.row() == model_->CurrentRow()) {
        emit recordMoved();  // already there; the views may still follow
        return;
    }
    bool moved = false;
    try {
        moved = model_->MoveTableToRow(current.row());
    } catch (const std::exception& e) {
        if (model_->OnError) model_->OnError(e.what());
    }
    if (!moved) {
        // The table is held by a command: keep showing its current record.
        QTimer::singleShot(0, this, [this] { SelectRow(model_->CurrentRow()); });
        return;
    }
    emit recordMoved();
}

void TDBGrid::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        bool consumed = false;
        if (OnKeyPress) OnKeyPress(kDeleteKey, consumed);
        event->accept();
        return;
    }
    const QString text = event->text();
    if (text.size() == 1 && text[0].isPrint()) {
        bool consumed = false;
        if (OnKeyPress) OnKeyPress(static_cast<char>(text[0].toLatin1()), consumed);
        // Letters never search the grid: a data grid has no type-ahead.
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void TDBGrid::contextMenuEvent(QContextMenuEvent* event) {
    emit popupRequested(event->globalPos());
    event->accept();
}

}  // namespace corvane
