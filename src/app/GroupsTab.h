// The "Review Groups" tab: the groups of near copies of the match table in a
// list, the current group's members as thumbnails with their facts, MaxDiff
// and hints, the difference of a member to the reference, the keep-best rules
// and the buttons that trash or move the selected members or mark pictures
// "not a duplicate". The groups, the selection and the marks are the core's
// (TGroupReview); the window's file actions and undo do the file work.
#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <QStyledItemDelegate>
#include <QWidget>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/Image32.h"
#include "app/PathElision.h"
#include "app/ThumbnailCache.h"
#include "review/GroupReview.h"
#include "review/GroupView.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QThreadPool;
class QTimer;
class QTreeView;
class QVBoxLayout;

namespace corvane {

class TCorvaneForm;
class TIniFile;

// The listed groups, one line each, made when a row is painted.
class TGroupListModel : public QAbstractListModel {
    Q_OBJECT
  public:
    using QAbstractListModel::QAbstractListModel;
    void Reset(const TGroupReview* review, std::vector<size_t> listed);
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    size_t GroupAt(int row) const { return listed_[static_cast<size_t>(row)]; }
    // The row of a group, -1 when it is not listed.
    int RowOf(size_t group) const;

  private:
    const TGroupReview* review_ = nullptr;
    std::vector<size_t> listed_;
};

// The members of the current group. The check state is the member's
// selection; a change the core refuses (all members selected) is undone and
// reported through OnRefused.
class TMemberModel : public QAbstractListModel {
    Q_OBJECT
  public:
    enum TRole {
        FolderRole = Qt::UserRole,
        FactsRole,
        DiffRole,
        NameRedRole,
        ThumbnailRole,
        KeptRole,  // unselected in a group with a selection
    };
    TMemberModel(TThumbnailLoader& thumbnails, QObject* parent = nullptr);
    // Group: none when the review has no groups.
    void Show(TGroupReview* review, std::optional<size_t> group, bool showExtraHints);
    // The selection changed in the core (rules applied): the boxes anew.
    void SelectionChanged();
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    std::optional<size_t> Group() const { return group_; }
    std::string File(int row) const;
    std::vector<std::string> Files() const;
    std::function<void()> OnRefused;
    std::function<void()> OnSelectionChanged;  // by hand
    // Thumbnails painted since the last Show (a benchmark reads it).
    int ThumbnailsShown() const { return thumbnailsShown_; }

  private:
    void ThumbnailReady(const QString& fileName);
    std::string Facts(int row) const;

    TThumbnailLoader& thumbnails_;
    TGroupReview* review_ = nullptr;
    std::optional<size_t> group_;
    std::vector<std::string> files_;
    std::vector<TMemberCaption> captions_;
    std::vector<std::string> facts_;
    mutable std::vector<bool> shown_;
    mutable int thumbnailsShown_ = 0;
};

// Draws a member: its selection box, thumbnail, name, folder, facts, MaxDiff
// and hints; a click on the box or Space toggles the selection.
class TMemberDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    static constexpr int kThumbnailBox = 160;
    static constexpr int kItemWidth = 196;
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    static QRect CheckRect(const QRect& item);

  protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
};

class TGroupsTab : public QWidget {
    Q_OBJECT
  public:
    TGroupsTab(TCorvaneForm& form, QWidget* parent = nullptr);
    ~TGroupsTab() override;

    // The tables, the margin or the mode may have changed: the groups are
    // formed anew when the tab is next shown (at once when it is shown now).
    void MarkStale();
    // Reads the match table and forms the groups now (keeping the
    // selection, the current group's place and the hand-made choices).
    void LoadGroups();
    // The listed groups in the order and folder chosen; the current group
    // stays current when it is listed.
    void Relist();
    // Makes the listed group at Row current.
    void ShowListedGroup(int row);
    // The selected members of every group to the trash / into a folder.
    void TrashSelected();
    void MoveSelected();
    // "Not a duplicate": the two highlighted members, or the highlighted one
    // and the reference; or every pair of the current group.
    void MarkPairNotDuplicate();
    void MarkGroupNotDuplicate();
    // The keep-best rules as chosen, applied to every group.
    void SelectByRules();
    void ClearSelection();
    std::vector<TKeepRule> ChosenRules() const;

    void ReadSettings(const TIniFile& ini);
    void WriteSettings(TIniFile& ini) const;

    TGroupReview Review;
    TThumbnailLoader* Thumbnails;
    TGroupListModel* GroupModel;
    TMemberModel* MemberModel;
    // Controls.
    QPushButton* RefreshButton;
    QLabel* lGroupsInfo;
    QComboBox* OrderBox;
    QLineEdit* FolderFilterEdit;
    QTreeView* GroupList;
    QListView* MemberView;
    TElidedLabel* lPreviewCaption;
    TImage32* MemberImage;
    TImage32* GroupDiffImage;
    QLabel* lPreviewInfo;
    QListWidget* KeepRulesList;
    QPushButton* RuleUpButton;
    QPushButton* RuleDownButton;
    QPlainTextEdit* PreferredMemo;
    QPushButton* SelectByRulesButton;
    QPushButton* ClearSelectionButton;
    QLabel* lSelectionInfo;
    QPushButton* TrashSelectedButton;
    QPushButton* MoveSelectedButton;
    QPushButton* NotDuplicatePairButton;
    QPushButton* NotDuplicateGroupButton;
    QPushButton* ViewMemberButton;
    QPushButton* BrowseMemberButton;
    QSplitter* GroupsSplitter;  // list | members | preview and rules

    // Previews shown so far, and waiting for the one asked for (tests).
    int PreviewsShown() const { return previewsShown_; }
    void WaitForPreview();

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildTopRow(QVBoxLayout* layout);
    QWidget* BuildPreviewColumn(QWidget* parent);
    QWidget* BuildRulesBox(QWidget* parent);
    void BuildButtonRow(QVBoxLayout* layout);
    void Connect();
    void ShowCurrentGroup();
    void ShowSelectionInfo();
    void ShowPreview(int row);
    void PreviewArrived(uint64_t request, std::shared_ptr<TBitmap32> member,
                        std::shared_ptr<TBitmap32> diff, const std::string& info);
    void MoveRule(int by);
    int CurrentMember() const;
    std::vector<int> HighlightedMembers() const;
    // After marks or a new load: the list anew, the group at Row current.
    void AfterRegroup(int row);
    void RelistAt(int row);
    void LoadIfStale();
    void WantThumbnails();

    TCorvaneForm& form_;
    std::unique_ptr<QThreadPool> previewPool_;
    QTimer* hoverTimer_;
    int hoverRow_ = -1;
    int previewRow_ = -1;
    int previewsShown_ = 0;
    uint64_t previewRequest_ = 0;
    std::string referenceFile_;  // the reference's raster, kept for its group (name, options)
    std::shared_ptr<TBitmap32> referenceRaster_;
    std::string marginText_;
    bool stale_ = true;
    bool loaded_ = false;
};

}  // namespace corvane
