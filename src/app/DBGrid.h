// The data-aware grids: a read-only table model fed by the table store's
// view notifications, and a table view whose current row is the table's
// current record in both directions.
//
// The model keeps a copy of the rows (and a bookmark every kCheckpointRows
// rows) made by one walk through the table. A notice that the table changed
// marks the copy stale and schedules one new walk; the walk runs only while
// the table is browsing and no long command holds it (CanTouchTable), so the
// grid never moves the cursor under a running command. Moves that the grid
// itself makes are recognised and cost no walk.
#pragma once

#include <QAbstractTableModel>
#include <QTableView>
#include <functional>
#include <string>
#include <vector>

#include "tablestore/StoreTable.h"

namespace corvane {

struct TGridColumn {
    std::string FieldName;      // stored field shown, also the title
    std::string ComponentName;  // the field object's name (MatchTableFile1 ...)
    int Width = 64;             // at start
    bool Stretch = false;       // takes a share of the room the grid gains
    bool Path = false;          // a file or folder name: elided in its middle
};

class TTableModel : public QAbstractTableModel, public TStoreView {
    Q_OBJECT
  public:
    static constexpr int kCheckpointRows = 64;

    TTableModel(TStoreTable& table, std::vector<TGridColumn> columns, QObject* parent = nullptr);
    ~TTableModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    const std::vector<TGridColumn>& Columns() const { return columns_; }
    TStoreTable& Table() { return table_; }

    // False while a command holds the tables; the grid then neither walks nor
    // moves the table.
    std::function<bool()> CanTouchTable;

    // Walks the table again when a notice came since the last walk and the
    // table may be touched now. The window calls it after each command.
    // Failures go to OnError.
    void RefreshIfStale();
    // The same, letting failures escape.
    void RefreshNow();

    // Around a walk (the walk ends with one notice to the other views, which
    // changes nothing for them: the current record is the one before).
    std::function<void()> BeforeWalk;
    std::function<void()> AfterWalk;
    std::function<void(const std::string&)> OnError;
    // Tooltip of the column titles (the grid's keys, say).
    QString HeaderToolTip;
    bool Stale() const { return stale_; }
    // The row of the table's current record, -1 when there is none.
    int CurrentRow() const { return currentRow_; }
    // Makes Row the table's current record (one notice to the views).
    // False when the table may not be touched now.
    bool MoveTableToRow(int row);

    // The window is about to delete the table's current record itself: the
    // notice of that delete removes the one row instead of walking the table
    // again (checked against the record that becomes current). Cleared by
    // the next notice, or by ClearExpectation when the delete failed.
    void ExpectCurrentRowDeleted() { expectDelete_ = true; }
    void ClearExpectation() { expectDelete_ = false; }

    void DataChanged() override;
    void StateChanged() override;

  signals:
    // The table's current record is now at Row (after a walk).
    void currentRowChanged(int row);

  private:
    void ScheduleRefresh();
    bool RemoveCurrentRow();
    void Rebuild();
    bool MayTouch() const;
    std::vector<std::string> CurrentCells() const;

    TStoreTable& table_;
    std::vector<TGridColumn> columns_;
    std::vector<TField*> fields_;
    std::vector<std::string> cells_;  // row-major
    struct TCheckpoint {
        int Row;
        TBookmark Mark;
    };
    std::vector<TCheckpoint> checkpoints_;  // ascending rows, the first at row 0
    int rows_ = 0;
    int currentRow_ = -1;
    bool stale_ = true;
    bool scheduled_ = false;
    bool ownChange_ = false;
    bool swallowNext_ = false;
    bool expectDelete_ = false;
};

class TDBGrid : public QTableView {
    Q_OBJECT
  public:
    TDBGrid(TTableModel* model, QWidget* parent = nullptr);

    TTableModel* Model() const { return model_; }
    // The field component name of the current cell's column ("" if none).
    std::string CurrentColumnComponent() const;

    // Key press handler: set Consumed to keep the key from the grid. The
    // Delete key comes as kDeleteKey.
    std::function<void(char key, bool& consumed)> OnKeyPress;
    static constexpr char kDeleteKey = '\x7F';

  signals:
    void cellClicked(int column);
    // The user made a record current (mouse or keyboard).
    void recordMoved();
    void popupRequested(const QPoint& globalPos);

  protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void SelectRow(int row);
    TTableModel* model_;
    bool syncing_ = false;
};

}  // namespace corvane
