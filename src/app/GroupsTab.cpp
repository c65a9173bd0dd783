#include "app/GroupsTab.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRunnable>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QThreadPool>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <filesystem>

#include "app/CorvaneUnit.h"
#include "app/PathElision.h"
#include "app/WidgetMaking.h"
#include "review/PairView.h"
#include "review/WindowTexts.h"
#include "scan/TextFiles.h"
#include "util/StrToInt.h"

namespace corvane {

namespace {

constexpr const char* kGroupsSection = "Groups";
constexpr int kHoverPause = 150;  // ms before a hovered member is previewed

QColor HintColour(const QPalette& palette) {
    const bool dark = palette.color(QPalette::Window).lightness() < 128;
    return dark ? QColor(120, 185, 255) : QColor(0, 84, 166);
}

std::string Plural(size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

// ------------------------------------------------------------ group list

void TGroupListModel::Reset(const TGroupReview* review, std::vector<size_t> listed) {
    beginResetModel();
    review_ = review;
    listed_ = std::move(listed);
    endResetModel();
}

int TGroupListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(listed_.size());
}

QVariant TGroupListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || review_ == nullptr || index.row() >= rowCount()) return {};
    const size_t group = GroupAt(index.row());
    if (role == Qt::DisplayRole) return Q(GroupListText(*review_, group));
    if (role == Qt::ToolTipRole) {
        QString names;
        for (const TGroupMember& member : review_->Groups().Group(group))
            names += Q(std::string(review_->Name(member.Picture))) + '\n';
        names.chop(1);
        return names;
    }
    return {};
}

int TGroupListModel::RowOf(size_t group) const {
    const auto found = std::find(listed_.begin(), listed_.end(), group);
    return found == listed_.end() ? -1 : static_cast<int>(found - listed_.begin());
}

// ------------------------------------------------------------ members

TMemberModel::TMemberModel(TThumbnailLoader& thumbnails, QObject* parent)
    : QAbstractListModel(parent), thumbnails_(thumbnails) {
    connect(&thumbnails_, &TThumbnailLoader::Ready, this,
            [this](const QString& fileName) { ThumbnailReady(fileName); });
}

void TMemberModel::Show(TGroupReview* review, std::optional<size_t> group, bool showExtraHints) {
    beginResetModel();
    review_ = review;
    group_ = group;
    files_.clear();
    captions_.clear();
    facts_.clear();
    shown_.clear();
    thumbnailsShown_ = 0;
    if (review_ != nullptr && group_) {
        const std::span<const TGroupMember> members = review_->Groups().Group(*group_);
        for (const TGroupMember& member : members)
            files_.emplace_back(review_->Name(member.Picture));
        for (size_t m = 0; m < members.size(); ++m) {
            captions_.push_back(MemberCaption(files_[0], files_[m],
                                              files_.size() > 1 ? files_[1] : "", m == 0,
                                              members[m].MaxDiff, showExtraHints));
            facts_.push_back(Facts(static_cast<int>(m)));
        }
        shown_.assign(files_.size(), false);
    }
    endResetModel();
}

std::string TMemberModel::Facts(int row) const {
    const TThumbnail* thumbnail = thumbnails_.Find(files_[static_cast<size_t>(row)]);
    const int32_t width = thumbnail != nullptr ? thumbnail->Width : 0;
    const int32_t height = thumbnail != nullptr ? thumbnail->Height : 0;
    return MemberFactsText(width, height, files_[static_cast<size_t>(row)]);
}

void TMemberModel::SelectionChanged() {
    if (!files_.empty()) emit dataChanged(index(0), index(rowCount() - 1), {Qt::CheckStateRole});
}

int TMemberModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(files_.size());
}

std::string TMemberModel::File(int row) const {
    return row >= 0 && row < rowCount() ? files_[static_cast<size_t>(row)] : std::string();
}

QVariant TMemberModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const auto row = static_cast<size_t>(index.row());
    const TMemberCaption& caption = captions_[row];
    switch (role) {
        case Qt::DisplayRole:
            return Q(caption.Name);
        case Qt::ToolTipRole:
            return Q(files_[row] + "\n" + facts_[row]) + '\n' + data(index, DiffRole).toString();
        case Qt::CheckStateRole:
            return review_->Selection().Selected(*group_, row) ? Qt::Checked : Qt::Unchecked;
        case FolderRole:
            return Q(caption.Folder);
        case FactsRole:
            return Q(facts_[row]);
        case DiffRole: {
            QString line = Q(caption.Diff);
            for (const std::string& hint : caption.Hints) line += " \u00B7 " + Q(hint);
            return line;
        }
        case KeptRole:
            return !review_->Selection().Selected(*group_, row) &&
                   review_->Selection().SelectedCount(*group_) > 0;
        case NameRedRole:
            return caption.NameRed;
        case ThumbnailRole: {
            const TThumbnail* thumbnail = thumbnails_.Find(files_[row]);
            if (thumbnail == nullptr) return {};
            if (!thumbnail->Image.isNull() && !shown_[row]) {
                shown_[row] = true;
                ++thumbnailsShown_;
            }
            return thumbnail->Image.isNull() ? QVariant(Q(thumbnail->Error))
                                             : QVariant(thumbnail->Image);
        }
        default:
            return {};
    }
}

bool TMemberModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !index.isValid() || review_ == nullptr || !group_)
        return false;
    const bool selected = value.toInt() == Qt::Checked;
    const bool done =
        review_->Selection().SetSelected(*group_, static_cast<size_t>(index.row()), selected);
    SelectionChanged();  // the kept frames of the others change too
    if (!done && OnRefused) OnRefused();
    if (done && OnSelectionChanged) OnSelectionChanged();
    return done;
}

Qt::ItemFlags TMemberModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}

void TMemberModel::ThumbnailReady(const QString& fileName) {
    const std::string name = fileName.toStdString();
    for (size_t row = 0; row < files_.size(); ++row) {
        if (files_[row] != name) continue;
        facts_[row] = Facts(static_cast<int>(row));
        emit dataChanged(index(static_cast<int>(row)), index(static_cast<int>(row)));
    }
}

// ------------------------------------------------------------ member delegate

namespace {

constexpr int kPad = 6;

int LineHeight(const QStyleOptionViewItem& option) {
    return option.fontMetrics.height();
}

}  // namespace

QRect TMemberDelegate::CheckRect(const QRect& item) {
    return QRect(item.left() + kPad, item.top() + kPad, 20, 20);
}

QSize TMemberDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return QSize(kItemWidth, kThumbnailBox + 3 * kPad + 6 * LineHeight(option));
}

void TMemberDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    painter->save();
    const QRect item = option.rect.adjusted(1, 1, -1, -1);
    const QPalette& palette = option.palette;
    const bool selected = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
    const bool current = (option.state & QStyle::State_Selected) != 0;
    if (current) painter->fillRect(item, palette.color(QPalette::Highlight).lighter(170));
    // A member selected to go is framed in red, one kept beside them in green.
    const bool kept = index.data(TMemberModel::KeptRole).toBool();
    if (selected || kept) {
        painter->setPen(QPen(selected ? QColor(200, 30, 30) : QColor(30, 150, 60), 3));
        painter->drawRect(item.adjusted(1, 1, -2, -2));
    } else if (option.state & QStyle::State_HasFocus) {
        painter->setPen(QPen(palette.color(QPalette::Highlight), 1, Qt::DashLine));
        painter->drawRect(item.adjusted(0, 0, -1, -1));
    }
    const QRect box(item.left() + (item.width() - kThumbnailBox) / 2, item.top() + kPad,
                    kThumbnailBox, kThumbnailBox);
    const QVariant thumbnail = index.data(TMemberModel::ThumbnailRole);
    if (thumbnail.canConvert<QImage>() && thumbnail.typeId() == QMetaType::QImage) {
        const QImage image = thumbnail.value<QImage>();
        QSize size = image.size();
        if (size.width() > box.width() || size.height() > box.height())
            size.scale(box.size(), Qt::KeepAspectRatio);
        const QRect target(box.left() + (box.width() - size.width()) / 2,
                           box.top() + (box.height() - size.height()) / 2, size.width(),
                           size.height());
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawImage(target, image);
        if (selected) painter->fillRect(target, QColor(200, 30, 30, 60));
    } else {
        painter->fillRect(box, palette.color(QPalette::AlternateBase));
        painter->setPen(palette.color(QPalette::PlaceholderText));
        const QString text =
            thumbnail.isValid() ? "Cannot show:\n" + thumbnail.toString() : "\u2026";
        painter->drawText(box.adjusted(4, 4, -4, -4), Qt::AlignCenter | Qt::TextWordWrap, text);
    }
    QStyleOptionViewItem check = option;
    check.rect = CheckRect(item);
    check.state = QStyle::State_Enabled | (selected ? QStyle::State_On : QStyle::State_Off);
    painter->fillRect(check.rect.adjusted(-2, -2, 2, 2), palette.color(QPalette::Base));
    QApplication::style()->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &check, painter);

    const int line = LineHeight(option);
    QRect text(item.left() + kPad, box.bottom() + kPad, item.width() - 2 * kPad, line);
    QFont bold = option.font;
    bold.setBold(true);
    painter->setFont(bold);
    painter->setPen(index.data(TMemberModel::NameRedRole).toBool() ? QColor(Qt::red)
                                                                   : palette.color(QPalette::Text));
    const QString name = index.data(Qt::DisplayRole).toString();
    painter->drawText(text, Qt::AlignHCenter, ElidePath(name, QFontMetrics(bold), text.width()));
    painter->setFont(option.font);
    painter->setPen(palette.color(QPalette::Text));
    const QString folder = index.data(TMemberModel::FolderRole).toString();
    text.translate(0, line);
    painter->drawText(text, Qt::AlignHCenter, ElidePath(folder, option.fontMetrics, text.width()));
    // Pixel and file size on one line, the date on the next.
    const QString facts = index.data(TMemberModel::FactsRole).toString();
    const qsizetype cut = facts.lastIndexOf(" \u00B7 ");
    for (const QString& part :
         {cut < 0 ? facts : facts.left(cut), cut < 0 ? QString() : facts.mid(cut + 3)}) {
        text.translate(0, line);
        painter->drawText(text, Qt::AlignHCenter,
                          option.fontMetrics.elidedText(part, Qt::ElideRight, text.width()));
    }
    // MaxDiff and the hints: two lines when they need them.
    text.translate(0, line);
    text.setHeight(2 * line);
    painter->setPen(HintColour(palette));
    painter->drawText(text, Qt::AlignHCenter | Qt::TextWordWrap,
                      index.data(TMemberModel::DiffRole).toString());
    painter->restore();
}

bool TMemberDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                  const QStyleOptionViewItem& option, const QModelIndex& index) {
    const auto toggle = [&] {
        const bool selected = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        model->setData(index, selected ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
        return true;
    };
    const QRect box = CheckRect(option.rect.adjusted(1, 1, -1, -1)).adjusted(-3, -3, 3, 3);
    switch (event->type()) {
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton && box.contains(mouse->position().toPoint()))
                return toggle();
            return false;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            return box.contains(static_cast<QMouseEvent*>(event)->position().toPoint());
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            return key == Qt::Key_Space || key == Qt::Key_Select ? toggle() : false;
        }
        default:
            return false;
    }
}

// ------------------------------------------------------------ the tab

TGroupsTab::TGroupsTab(TCorvaneForm& form, QWidget* parent)
    : QWidget(parent), form_(form), previewPool_(std::make_unique<QThreadPool>()) {
    setObjectName("GroupsTabSheet");
    previewPool_->setMaxThreadCount(1);
    Thumbnails = new TThumbnailLoader(TThumbnailCache(), this);
    GroupModel = new TGroupListModel(this);
    MemberModel = new TMemberModel(*Thumbnails, this);
    hoverTimer_ = new QTimer(this);
    hoverTimer_->setSingleShot(true);
    hoverTimer_->setInterval(kHoverPause);

    auto* layout = new QVBoxLayout(this);
    BuildTopRow(layout);
    GroupsSplitter = Named(new QSplitter(Qt::Horizontal, this), "GroupsSplitter");
    GroupsSplitter->setChildrenCollapsible(false);
    layout->addWidget(GroupsSplitter, 1);

    // A flat tree: its one column takes the list's width and elides.
    GroupList = Named(new QTreeView(GroupsSplitter), "GroupList");
    GroupList->setModel(GroupModel);
    GroupList->setRootIsDecorated(false);
    GroupList->setHeaderHidden(true);
    GroupList->setUniformRowHeights(true);
    GroupList->setItemsExpandable(false);
    GroupList->setTextElideMode(Qt::ElideRight);
    GroupList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    GroupList->setMinimumWidth(160);

    // The members with the count of what is selected under them.
    auto* middle = new QWidget(GroupsSplitter);
    auto* middleLayout = new QVBoxLayout(middle);
    middleLayout->setContentsMargins(0, 0, 0, 0);
    middleLayout->setSpacing(2);
    MemberView = Named(new QListView(middle), "MemberView");
    lSelectionInfo = Named(new QLabel(middle), "lSelectionInfo");
    lSelectionInfo->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    middleLayout->addWidget(MemberView, 1);
    middleLayout->addWidget(lSelectionInfo);
    MemberView->setModel(MemberModel);
    MemberView->setItemDelegate(new TMemberDelegate(MemberView));
    MemberView->setViewMode(QListView::IconMode);
    MemberView->setMovement(QListView::Static);
    MemberView->setResizeMode(QListView::Adjust);
    MemberView->setUniformItemSizes(true);
    MemberView->setWrapping(true);
    MemberView->setSpacing(4);
    MemberView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    MemberView->setMouseTracking(true);
    MemberView->setMinimumWidth(TMemberDelegate::kThumbnailBox + 40);
    MemberView->setToolTip("");
    MemberView->viewport()->installEventFilter(this);

    auto* right = new QSplitter(Qt::Vertical, GroupsSplitter);
    right->setObjectName("GroupsRightSplitter");
    right->setChildrenCollapsible(false);
    right->addWidget(BuildPreviewColumn(right));
    // The rules scroll when the window is too low for them.
    auto* rulesScroll = new QScrollArea(right);
    rulesScroll->setWidgetResizable(true);
    rulesScroll->setFrameShape(QFrame::NoFrame);
    rulesScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    rulesScroll->setWidget(BuildRulesBox(rulesScroll));
    rulesScroll->setMinimumWidth(rulesScroll->widget()->minimumSizeHint().width() +
                                 rulesScroll->verticalScrollBar()->sizeHint().width());
    rulesScroll->setMinimumHeight(80);
    right->addWidget(rulesScroll);
    right->setStretchFactor(0, 1);
    right->setStretchFactor(1, 0);
    GroupsSplitter->setStretchFactor(0, 2);
    GroupsSplitter->setStretchFactor(1, 4);
    GroupsSplitter->setStretchFactor(2, 2);
    BuildButtonRow(layout);
    Connect();
    ShowCurrentGroup();
}

TGroupsTab::~TGroupsTab() {
    previewPool_->clear();
    previewPool_->waitForDone();
}

void TGroupsTab::BuildTopRow(QVBoxLayout* layout) {
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(row);
    RefreshButton = MakeButton(this, "GroupsRefreshButton", "&Refresh",
                               "Form the groups anew from the match table, at the Match Margin "
                               "and Colors setting of Compute Matches");
    lGroupsInfo = Named(new QLabel(this), "lGroupsInfo");
    lGroupsInfo->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    OrderBox = Named(new QComboBox(this), "GroupOrderBox");
    OrderBox->addItems({"Largest first", "Closest first"});
    OrderBox->setToolTip("Most pictures first, or the smallest MaxDiff first");
    auto* orderLabel = new QLabel("&Order:", this);
    orderLabel->setBuddy(OrderBox);
    auto* folderEdit = Named(new TFolderEdit(this), "GroupFolderEdit");
    FolderFilterEdit = folderEdit->Edit;
    FolderFilterEdit->setPlaceholderText("every folder");
    FolderFilterEdit->setClearButtonEnabled(true);
    FolderFilterEdit->setToolTip("Only the groups with a picture in this folder or below it");
    auto* folderLabel = new QLabel("&Folder:", this);
    folderLabel->setBuddy(FolderFilterEdit);
    row->addWidget(RefreshButton);
    row->addWidget(lGroupsInfo, 3);
    row->addWidget(orderLabel);
    row->addWidget(OrderBox);
    row->addWidget(folderLabel);
    row->addWidget(folderEdit, 2);
}

QWidget* TGroupsTab::BuildPreviewColumn(QWidget* parent) {
    auto* column = new QWidget(parent);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    lPreviewCaption = Named(new TElidedLabel(column), "lPreviewCaption");
    MemberImage = MakeView(column, "MemberImage",
                           "The member under the mouse or the current one: click to open it");
    GroupDiffImage = MakeView(column, "GroupDiffImage",
                              "Its difference to the reference, pixel by pixel: black where equal");
    lPreviewInfo = Named(new QLabel(column), "lPreviewInfo");
    lPreviewInfo->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lPreviewInfo->setWordWrap(true);
    lPreviewInfo->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* diffCaption = new QLabel("Difference to the reference", column);
    diffCaption->setAlignment(Qt::AlignHCenter);
    layout->addWidget(lPreviewCaption);
    layout->addWidget(MemberImage, 1);
    layout->addWidget(diffCaption);
    layout->addWidget(GroupDiffImage, 1);
    layout->addWidget(lPreviewInfo);
    return column;
}

QWidget* TGroupsTab::BuildRulesBox(QWidget* parent) {
    auto* box = Named(new QGroupBox("Keep the best of each group", parent), "KeepRulesBox");
    auto* layout = new QVBoxLayout(box);
    layout->setSpacing(3);
    KeepRulesList = Named(new QListWidget(box), "KeepRulesList");
    KeepRulesList->setToolTip(
        "Ticked rules decide in order, as in a sort: the first decides, the next breaks its "
        "ties. Drag or use the arrows to change the order.");
    KeepRulesList->setDragDropMode(QAbstractItemView::InternalMove);
    KeepRulesList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (TKeepRule rule : AllKeepRules()) {
        auto* item = new QListWidgetItem(Q(KeepRuleCaption(rule)), KeepRulesList);
        item->setData(Qt::UserRole, static_cast<int>(rule));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(rule == TKeepRule::MostPixels || rule == TKeepRule::LargestFile
                                ? Qt::Checked
                                : Qt::Unchecked);
    }
    RuleUpButton = MakeButton(box, "RuleUpButton", "\u25B2", "Move the rule up (earlier)");
    RuleDownButton = MakeButton(box, "RuleDownButton", "\u25BC", "Move the rule down (later)");
    auto* arrows = new QVBoxLayout;
    arrows->addWidget(RuleUpButton);
    arrows->addWidget(RuleDownButton);
    arrows->addStretch(1);
    auto* rulesRow = new QHBoxLayout;
    rulesRow->addWidget(KeepRulesList, 1);
    rulesRow->addLayout(arrows);
    layout->addLayout(rulesRow);
    // Room for every rule, no more.
    KeepRulesList->setFixedHeight(KeepRulesList->sizeHintForRow(0) * KeepRulesList->count() +
                                  2 * KeepRulesList->frameWidth() + 2);
    auto* preferredLabel = new QLabel("Preferred folders (one per line, first best):", box);
    PreferredMemo = Named(new QPlainTextEdit(box), "PreferredMemo");
    PreferredMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    PreferredMemo->setTabChangesFocus(true);
    PreferredMemo->setToolTip(
        "For the rule \"In a preferred folder\": a folder and its sub-folders");
    preferredLabel->setBuddy(PreferredMemo);
    layout->addWidget(preferredLabel);
    PreferredMemo->setFixedHeight(PreferredMemo->fontMetrics().lineSpacing() * 3 + 12);
    layout->addWidget(PreferredMemo);
    SelectByRulesButton = MakeButton(box, "SelectByRulesButton", "&Select by Rules",
                                     "In every group, keep the member the rules pick and "
                                     "select the others");
    ClearSelectionButton =
        MakeButton(box, "ClearSelectionButton", "Clear", "Select nothing in any group");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(SelectByRulesButton, 1);
    buttons->addWidget(ClearSelectionButton);
    layout->addLayout(buttons);
    return box;
}

void TGroupsTab::BuildButtonRow(QVBoxLayout* layout) {
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(row);
    TrashSelectedButton =
        MakeButton(this, "TrashSelectedButton", "&Trash Selected",
                   "Send the selected members of every group to the trash, with their records "
                   "(Undo or Ctrl+Z brings them back one by one, the last first)");
    MoveSelectedButton = MakeButton(this, "MoveSelectedButton", "&Move Selected\u2026",
                                    "Move the selected members of every group into a folder, "
                                    "keeping their folders below the search path");
    NotDuplicatePairButton =
        MakeButton(this, "NotDuplicatePairButton", "&Not a Duplicate",
                   "The highlighted picture and the reference (or the two highlighted pictures, "
                   "Ctrl+click) are different pictures: never group them again while both "
                   "files stay as they are");
    NotDuplicateGroupButton = MakeButton(this, "NotDuplicateGroupButton", "Not Duplicates: &Group",
                                         "No two pictures of this group are duplicates");
    ViewMemberButton = MakeButton(this, "ViewMemberButton", "&View",
                                  "Open the highlighted picture in its default viewer (Enter)");
    BrowseMemberButton = MakeButton(this, "BrowseMemberButton", "&Browse",
                                    "Open the folder of the highlighted picture");
    row->addStretch(1);
    for (QPushButton* button : {TrashSelectedButton, MoveSelectedButton, NotDuplicatePairButton,
                                NotDuplicateGroupButton, ViewMemberButton, BrowseMemberButton})
        row->addWidget(button);
}

void TGroupsTab::Connect() {
    connect(RefreshButton, &QPushButton::clicked, this, [this] { LoadGroups(); });
    connect(OrderBox, &QComboBox::currentIndexChanged, this, [this] { Relist(); });
    auto* filterPause = new QTimer(this);
    filterPause->setSingleShot(true);
    filterPause->setInterval(300);
    connect(FolderFilterEdit, &QLineEdit::textChanged, filterPause, qOverload<>(&QTimer::start));
    connect(filterPause, &QTimer::timeout, this, [this] { Relist(); });
    connect(GroupList->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { ShowCurrentGroup(); });
    connect(MemberView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { ShowPreview(CurrentMember()); });
    connect(MemberView, &QListView::entered, this, [this](const QModelIndex& index) {
        hoverRow_ = index.row();
        hoverTimer_->start();
    });
    connect(hoverTimer_, &QTimer::timeout, this, [this] { ShowPreview(hoverRow_); });
    connect(MemberView, &QListView::activated, this, [this](const QModelIndex& index) {
        form_.ShellOpenFile(MemberModel->File(index.row()));
    });
    connect(MemberImage, &TImage32::clicked, this,
            [this] { form_.ShellOpenFile(MemberModel->File(previewRow_)); });
    MemberModel->OnRefused = [this] {
        form_.ShowStatus("A group keeps at least one picture: clear another member's box first.");
    };
    MemberModel->OnSelectionChanged = [this] { ShowSelectionInfo(); };
    connect(RuleUpButton, &QPushButton::clicked, this, [this] { MoveRule(-1); });
    connect(RuleDownButton, &QPushButton::clicked, this, [this] { MoveRule(1); });
    connect(SelectByRulesButton, &QPushButton::clicked, this, [this] { SelectByRules(); });
    connect(ClearSelectionButton, &QPushButton::clicked, this, [this] { ClearSelection(); });
    connect(TrashSelectedButton, &QPushButton::clicked, this, [this] { TrashSelected(); });
    connect(MoveSelectedButton, &QPushButton::clicked, this, [this] { MoveSelected(); });
    connect(NotDuplicatePairButton, &QPushButton::clicked, this,
            [this] { MarkPairNotDuplicate(); });
    connect(NotDuplicateGroupButton, &QPushButton::clicked, this,
            [this] { MarkGroupNotDuplicate(); });
    connect(ViewMemberButton, &QPushButton::clicked, this,
            [this] { form_.ShellOpenFile(MemberModel->File(CurrentMember())); });
    connect(BrowseMemberButton, &QPushButton::clicked, this,
            [this] { form_.BrowseFolderOf(MemberModel->File(CurrentMember())); });
    QWidget::setTabOrder(RefreshButton, OrderBox);
    QWidget::setTabOrder(OrderBox, FolderFilterEdit);
    QWidget::setTabOrder(FolderFilterEdit, GroupList);  // past the folder picker: a click away
    QWidget::setTabOrder(GroupList, MemberView);
    QWidget::setTabOrder(MemberView, TrashSelectedButton);
}

bool TGroupsTab::eventFilter(QObject* watched, QEvent* event) {
    // Leaving the members: the preview goes back to the current one.
    if (watched == MemberView->viewport() && event->type() == QEvent::Leave) {
        hoverTimer_->stop();
        if (previewRow_ != CurrentMember()) ShowPreview(CurrentMember());
    }
    return QWidget::eventFilter(watched, event);
}

// ------------------------------------------------------------ loading and listing

void TGroupsTab::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (stale_) QTimer::singleShot(0, this, [this] { LoadIfStale(); });
}

void TGroupsTab::MarkStale() {
    stale_ = true;
    if (isVisible()) QTimer::singleShot(0, this, [this] { LoadIfStale(); });
}

void TGroupsTab::LoadIfStale() {
    if (stale_ && isVisible()) LoadGroups();
}

void TGroupsTab::LoadGroups() {
    if (form_.Engine().State.ProgramFolder.empty()) return;  // start-up has not ended well
    if (form_.Guard.Busy()) return;  // the command's end marks the groups stale again
    TCommandScope scope(form_.Guard, "Review Groups");
    const std::vector<std::string> selected =
        loaded_ ? Review.SelectedFiles() : std::vector<std::string>{};
    const int row = GroupList->currentIndex().row();
    try {
        const int32_t margin = StrToInt(form_.MarginText());
        const bool perChannel = form_.ColorsCB();
        form_.SetScreenCursor(TCursor::crHourGlass);
        // The grids' current records stay where they are.
        TStoreTable& matches = form_.MatchTable();
        TStoreTable& signatures = form_.SignaturesTable();
        const TBookmark matchHere = matches.TakeBookmark();
        const TBookmark signatureHere = signatures.TakeBookmark();
        form_.walking_ = true;
        matches.SuspendViews();
        signatures.SuspendViews();
        const auto restore = [&] {
            matches.MoveToBookmark(matchHere);
            signatures.MoveToBookmark(signatureHere);
            matches.ResumeViews();
            signatures.ResumeViews();
            form_.walking_ = false;
        };
        try {
            Review.Load(form_.Engine().Matches, form_.Engine().Signatures,
                        form_.Engine().State.ProgramFolder);
        } catch (...) {
            restore();
            throw;
        }
        restore();
        Review.Regroup(margin, perChannel);
        Review.Reselect(selected);
        marginText_ = "margin " + std::to_string(margin) + (perChannel ? ", colors" : ", sum");
        loaded_ = true;
        stale_ = false;
        form_.SetScreenCursor(TCursor::crDefault);
    } catch (const std::exception& e) {
        form_.SetScreenCursor(TCursor::crDefault);
        stale_ = false;  // shown until the next change or Refresh
        Review = TGroupReview();
        loaded_ = false;
        form_.ShowStatus(std::string("Review Groups: ") + e.what());
    }
    RelistAt(std::max(0, row));
}

void TGroupsTab::Relist() {
    RelistAt(-1);
}

void TGroupsTab::RelistAt(int wanted) {
    const auto order = OrderBox->currentIndex() == 1 ? TGroupReview::TOrder::Closest
                                                     : TGroupReview::TOrder::Largest;
    const std::string folder = FolderFilterEdit->text().trimmed().toStdString();
    const size_t before = GroupModel->rowCount() > 0 && GroupList->currentIndex().isValid()
                              ? GroupModel->GroupAt(GroupList->currentIndex().row())
                              : SIZE_MAX;
    GroupModel->Reset(&Review, Review.ListedGroups(order, folder));
    const size_t total = Review.Groups().Count();
    const size_t listed = static_cast<size_t>(GroupModel->rowCount());
    std::string info = loaded_ ? Plural(total, "group", "groups") + " of " +
                                     Plural(Review.Groups().MemberCount(), "picture", "pictures") +
                                     " at " + marginText_
                               : std::string("No groups yet");
    if (loaded_ && listed != total) info += " \u00B7 " + std::to_string(listed) + " in the folder";
    lGroupsInfo->setText(Q(info));
    int row = wanted;
    if (row < 0) row = before == SIZE_MAX ? 0 : std::max(0, GroupModel->RowOf(before));
    ShowListedGroup(std::min(row, std::max(0, GroupModel->rowCount() - 1)));
}

void TGroupsTab::ShowListedGroup(int row) {
    if (row < GroupModel->rowCount()) {
        GroupList->setCurrentIndex(GroupModel->index(row));
        if (GroupList->currentIndex().row() == row && MemberModel->Group() &&
            *MemberModel->Group() == GroupModel->GroupAt(row))
            return;  // shown already
    }
    ShowCurrentGroup();
}

void TGroupsTab::ShowCurrentGroup() {
    const int row = GroupList->currentIndex().row();
    std::optional<size_t> group;
    if (row >= 0 && row < GroupModel->rowCount()) group = GroupModel->GroupAt(row);
    MemberModel->Show(&Review, group, form_.Engine().State.ShowExtraHints);
    WantThumbnails();
    // The first member beside the reference: its difference shows at once.
    if (MemberModel->rowCount() > 0)
        MemberView->setCurrentIndex(MemberModel->index(std::min(1, MemberModel->rowCount() - 1)));
    else
        ShowPreview(-1);
    for (QPushButton* button :
         {NotDuplicatePairButton, NotDuplicateGroupButton, ViewMemberButton, BrowseMemberButton})
        button->setEnabled(group.has_value());
    ShowSelectionInfo();
}

void TGroupsTab::WantThumbnails() {
    // This group now; the next ones while the user looks at it.
    std::vector<std::string> later;
    const int row = GroupList->currentIndex().row();
    for (int next = row + 1; next <= row + 2 && next < GroupModel->rowCount(); ++next)
        for (const TGroupMember& member : Review.Groups().Group(GroupModel->GroupAt(next)))
            later.emplace_back(Review.Name(member.Picture));
    Thumbnails->Want(MemberModel->Files(), later);
}

std::vector<std::string> TMemberModel::Files() const {
    return files_;
}

void TGroupsTab::ShowSelectionInfo() {
    size_t pictures = 0;
    size_t groups = 0;
    for (size_t g = 0; g < Review.Groups().Count(); ++g) {
        const size_t count = Review.Selection().SelectedCount(g);
        pictures += count;
        groups += count > 0 ? 1 : 0;
    }
    lSelectionInfo->setText(Q(pictures == 0
                                  ? std::string("Nothing selected")
                                  : "Selected: " + Plural(pictures, "picture", "pictures") +
                                        " in " + Plural(groups, "group", "groups")));
    TrashSelectedButton->setEnabled(pictures > 0);
    MoveSelectedButton->setEnabled(pictures > 0);
    ClearSelectionButton->setEnabled(pictures > 0);
}

int TGroupsTab::CurrentMember() const {
    return MemberView->currentIndex().isValid() ? MemberView->currentIndex().row() : -1;
}

std::vector<int> TGroupsTab::HighlightedMembers() const {
    std::vector<int> rows;
    for (const QModelIndex& index : MemberView->selectionModel()->selectedIndexes())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

// ------------------------------------------------------------ preview

namespace {

class TPreviewJob : public QRunnable {
  public:
    explicit TPreviewJob(std::function<void()> work) : work_(std::move(work)) {}
    void run() override { work_(); }

  private:
    std::function<void()> work_;
};

std::shared_ptr<TBitmap32> LoadQuietly(const std::string& fileName, const TLoadOptions& options) {
    auto raster = std::make_shared<TBitmap32>();
    try {
        LoadConversionPicture(QuietLoadControls(), fileName, *raster, nullptr, options);
    } catch (const std::exception&) {
        raster->SetSize(0, 0);
    }
    return raster;
}

}  // namespace

void TGroupsTab::ShowPreview(int row) {
    const uint64_t request = ++previewRequest_;
    previewRow_ = row;
    const std::string member = MemberModel->File(row);
    const std::string reference = MemberModel->File(0);
    if (member.empty()) {
        MemberImage->Bitmap().SetSize(0, 0);
        GroupDiffImage->Bitmap().SetSize(0, 0);
        lPreviewCaption->SetPath("");
        lPreviewInfo->setText("");
        return;
    }
    lPreviewCaption->SetPath(Q(member));
    lPreviewInfo->setText("\u2026");
    // The reference's raster is kept while its group is shown.
    // As the pair view loads them (the Orientation setting).
    const TLoadOptions options = form_.ViewLoadOptions();
    const std::string referenceKey = reference + (options.ApplyOrientation ? "\n1" : "\n0");
    std::shared_ptr<TBitmap32> known = referenceFile_ == referenceKey ? referenceRaster_ : nullptr;
    previewPool_->clear();
    previewPool_->start(
        new TPreviewJob([this, request, member, reference, referenceKey, known, options] {
            std::shared_ptr<TBitmap32> base = known ? known : LoadQuietly(reference, options);
            std::shared_ptr<TBitmap32> picture =
                member == reference ? base : LoadQuietly(member, options);
            auto diff = std::make_shared<TBitmap32>();
            if (member != reference) ComputeDifferencePicture(*base, *picture, *diff);
            std::string info =
                member == reference ? "the reference" : DifferenceInfoText(*base, *picture, *diff);
            QMetaObject::invokeMethod(
                this,
                [this, request, referenceKey, base, picture, diff, info] {
                    referenceFile_ = referenceKey;
                    referenceRaster_ = base;
                    PreviewArrived(request, picture, diff, info);
                },
                Qt::QueuedConnection);
        }));
}

void TGroupsTab::PreviewArrived(uint64_t request, std::shared_ptr<TBitmap32> member,
                                std::shared_ptr<TBitmap32> diff, const std::string& info) {
    if (request != previewRequest_) return;  // another member is wanted by now
    MemberImage->Bitmap().Assign(member.get());
    GroupDiffImage->Bitmap().Assign(diff.get());
    MemberImage->Invalidate();
    GroupDiffImage->Invalidate();
    std::string text =
        MemberFactsText(member->Width(), member->Height(), MemberModel->File(previewRow_));
    if (!info.empty()) text = info + " \u00B7 " + text;
    lPreviewInfo->setText(Q(text));
    ++previewsShown_;
}

void TGroupsTab::WaitForPreview() {
    previewPool_->waitForDone();
    QCoreApplication::processEvents();
}

// ------------------------------------------------------------ keep rules and selection

std::vector<TKeepRule> TGroupsTab::ChosenRules() const {
    std::vector<TKeepRule> rules;
    for (int i = 0; i < KeepRulesList->count(); ++i) {
        const QListWidgetItem* item = KeepRulesList->item(i);
        if (item->checkState() == Qt::Checked)
            rules.push_back(static_cast<TKeepRule>(item->data(Qt::UserRole).toInt()));
    }
    return rules;
}

void TGroupsTab::MoveRule(int by) {
    const int row = KeepRulesList->currentRow();
    const int target = row + by;
    if (row < 0 || target < 0 || target >= KeepRulesList->count()) return;
    QListWidgetItem* item = KeepRulesList->takeItem(row);
    KeepRulesList->insertItem(target, item);
    KeepRulesList->setCurrentRow(target);
}

void TGroupsTab::SelectByRules() {
    const std::vector<TKeepRule> rules = ChosenRules();
    std::vector<std::string> preferred;
    for (const QString& line : PreferredMemo->toPlainText().split('\n'))
        if (!line.trimmed().isEmpty()) preferred.push_back(line.trimmed().toStdString());
    form_.SetScreenCursor(TCursor::crHourGlass);
    try {
        Review.SelectByRules(TKeepChooser(rules, preferred));
    } catch (const std::exception& e) {
        form_.SetScreenCursor(TCursor::crDefault);
        form_.ShowError(e.what());
        return;
    }
    form_.SetScreenCursor(TCursor::crDefault);
    MemberModel->SelectionChanged();
    ShowSelectionInfo();
    std::string how;
    for (TKeepRule rule : rules) how += (how.empty() ? "" : ", then ") + KeepRuleCaption(rule);
    form_.ShowStatus(
        "Each group keeps one picture" +
        (how.empty() ? std::string(" (its reference: no rule is ticked)") : " by " + how) +
        "; the others are selected.");
}

void TGroupsTab::ClearSelection() {
    Review.Selection().Reset(Review.Groups());
    MemberModel->SelectionChanged();
    ShowSelectionInfo();
}

// ------------------------------------------------------------ file actions

void TGroupsTab::TrashSelected() {
    if (form_.Guard.Busy()) {
        form_.ShowStatus(form_.Guard.RefusalMessage("Trash Selected"));
        return;
    }
    const std::vector<std::string> files = Review.SelectedFiles();
    if (files.empty()) return;
    const bool toTrash = form_.UseTrashCB();
    const std::string what = Plural(files.size(), "selected picture", "selected pictures");
    if (!form_.Confirm(toTrash ? "Send " + what + " to the trash?"
                               : "Delete " + what + " for good? (Use trash is off)"))
        return;
    form_.RunExclusive("Trash Selected", [this, &files, toTrash] {
        size_t done = 0;
        std::vector<std::string> failures;
        std::optional<bool> forGood;  // asked once when no trash takes a file
        form_.walking_ = true;        // the pair view is shown once, at the end
        form_.SetScreenCursor(TCursor::crHourGlass);
        // All at once: the match table is read and cleaned once, not per file.
        const auto apply = [&](const std::vector<std::string>& names, bool permanent) {
            const std::vector<TActionResult> results = form_.Actions().DeleteAll(names, permanent);
            std::vector<std::string> refused;
            for (size_t i = 0; i < names.size(); ++i) {
                if (results[i].Status == TActionStatus::Done) {
                    ++done;
                    Thumbnails->Forget(names[i]);
                } else if (results[i].Status == TActionStatus::NoTrash) {
                    refused.push_back(names[i]);
                    if (!forGood)
                        forGood = form_.Confirm(results[i].Message +
                                                "\n\nDelete the selected pictures for good?");
                } else {
                    failures.push_back(results[i].Message);
                }
            }
            return refused;
        };
        const std::vector<std::string> refused = apply(files, false);
        if (!refused.empty() && forGood.value_or(false)) apply(refused, true);
        form_.SetScreenCursor(TCursor::crDefault);
        form_.walking_ = false;
        form_.ShowStatus(
            Plural(done, "picture", "pictures") +
            (toTrash && !forGood.value_or(false) ? " sent to the trash" : " deleted") +
            (done > 0 ? " (Undo or Ctrl+Z brings them back one by one, the last first)" : "") +
            (files.size() > done ? "; " + std::to_string(files.size() - done) + " kept" : ""));
        if (!failures.empty())
            form_.ShowError(failures.front() +
                            (failures.size() > 1 ? "\n(and " + std::to_string(failures.size() - 1) +
                                                       " more failures)"
                                                 : ""));
        form_.AfterFileAction();
    });
}

void TGroupsTab::MoveSelected() {
    if (form_.Guard.Busy()) {
        form_.ShowStatus(form_.Guard.RefusalMessage("Move Selected"));
        return;
    }
    const std::vector<std::string> files = Review.SelectedFiles();
    if (files.empty()) return;
    const std::string base = MoveBaseFolder(files, form_.SearchPath());
    std::optional<std::string> destination;
    if (form_.OnChooseFolder) {
        destination = form_.OnChooseFolder(base);
    } else {
        const QString folder = QFileDialog::getExistingDirectory(
            this, Q("Move " + Plural(files.size(), "picture", "pictures") + " into which folder?"),
            Q(base));
        if (!folder.isEmpty()) destination = folder.toStdString();
    }
    if (!destination) return;
    form_.RunExclusive("Move Selected", [this, &files, &base, &destination] {
        size_t moved = 0;
        size_t taken = 0;
        std::vector<std::string> failures;
        form_.walking_ = true;
        for (size_t i = 0; i < files.size(); ++i) {
            form_.ShowRunItem(files[i], static_cast<int64_t>(i + 1),
                              static_cast<int64_t>(files.size()));
            const std::string target = MoveTarget(files[i], base, *destination);
            std::error_code error;
            std::filesystem::create_directories(FolderPart(target), error);
            const TActionResult result = form_.Actions().Move(files[i], target);
            if (result.Status == TActionStatus::Done) {
                ++moved;
                Thumbnails->Forget(files[i]);
            } else if (result.Status == TActionStatus::DestinationTaken ||
                       result.Status == TActionStatus::SameFile) {
                ++taken;
            } else {
                failures.push_back(result.Message);
            }
            if (i % 16 == 15) form_.ProcessMessages();
        }
        form_.walking_ = false;
        form_.ShowStatus("Moved " + Plural(moved, "picture", "pictures") + " into " + *destination +
                         ", keeping their folders below " + base +
                         (taken > 0 ? "; " + std::to_string(taken) +
                                          " left where they are (a file of the name is there)"
                                    : ""));
        if (!failures.empty()) form_.ShowError(failures.front());
        form_.AfterFileAction();
    });
}

// ------------------------------------------------------------ not a duplicate

void TGroupsTab::MarkPairNotDuplicate() {
    if (!MemberModel->Group()) return;
    // Two highlighted pictures, else the current one and the reference.
    std::vector<int> rows = HighlightedMembers();
    if (rows.size() != 2 && CurrentMember() > 0) rows = {0, CurrentMember()};
    if (rows.size() != 2) {
        form_.ShowStatus(
            "Not a Duplicate: highlight one picture besides the reference, or two pictures "
            "(Ctrl+click).");
        return;
    }
    const std::span<const TGroupMember> members = Review.Groups().Group(*MemberModel->Group());
    const int row = GroupList->currentIndex().row();
    try {
        Review.MarkNotDuplicate(members[static_cast<size_t>(rows[0])].Picture,
                                members[static_cast<size_t>(rows[1])].Picture);
    } catch (const std::exception& e) {
        form_.ShowError(e.what());
        return;
    }
    form_.ShowStatus("Marked as not duplicates: " + MemberModel->File(rows[0]) + " and " +
                     MemberModel->File(rows[1]) + " (kept in NotDuplicates.Txt)");
    AfterRegroup(row);
}

void TGroupsTab::MarkGroupNotDuplicate() {
    if (!MemberModel->Group()) return;
    const size_t size = static_cast<size_t>(MemberModel->rowCount());
    if (size > 2 && !form_.Confirm("Mark all " + std::to_string(size) +
                                   " pictures of this group as different pictures?"))
        return;
    const int row = GroupList->currentIndex().row();
    try {
        Review.MarkGroupNotDuplicate(*MemberModel->Group());
    } catch (const std::exception& e) {
        form_.ShowError(e.what());
        return;
    }
    form_.ShowStatus("Marked " + std::to_string(size) +
                     " pictures as not duplicates of each other (kept in NotDuplicates.Txt)");
    AfterRegroup(row);
}

void TGroupsTab::AfterRegroup(int row) {
    RelistAt(std::max(0, row));  // group numbers changed: the place counts
}

// ------------------------------------------------------------ settings

void TGroupsTab::ReadSettings(const TIniFile& ini) {
    const auto read = [&ini](const char* key) { return ini.ReadString(kGroupsSection, key, ""); };
    OrderBox->setCurrentIndex(read("Order") == "Closest" ? 1 : 0);
    FolderFilterEdit->setText(Q(read("Folder")));
    const std::string order = read("RuleOrder");
    if (!order.empty()) {
        const std::vector<TKeepRule> listed = KeepRulesOf(order);
        const std::vector<TKeepRule> ticked = KeepRulesOf(read("KeepRules"));
        std::vector<TKeepRule> all = listed;
        for (TKeepRule rule : AllKeepRules())
            if (std::find(all.begin(), all.end(), rule) == all.end()) all.push_back(rule);
        KeepRulesList->clear();
        for (TKeepRule rule : all) {
            auto* item = new QListWidgetItem(Q(KeepRuleCaption(rule)), KeepRulesList);
            item->setData(Qt::UserRole, static_cast<int>(rule));
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            const bool on = std::find(ticked.begin(), ticked.end(), rule) != ticked.end();
            item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
        }
    }
    QStringList preferred;
    for (int i = 1;; ++i) {
        const std::string folder = read(("PreferredFolder" + std::to_string(i)).c_str());
        if (folder.empty()) break;
        preferred << Q(folder);
    }
    PreferredMemo->setPlainText(preferred.join('\n'));
    GroupsSplitter->restoreState(
        QByteArray::fromBase64(QByteArray::fromStdString(read("Splitter"))));
}

void TGroupsTab::WriteSettings(TIniFile& ini) const {
    const auto write = [&ini](const std::string& key, const std::string& value) {
        ini.WriteString(kGroupsSection, key, value);
    };
    write("Order", OrderBox->currentIndex() == 1 ? "Closest" : "Largest");
    write("Folder", FolderFilterEdit->text().toStdString());
    std::vector<TKeepRule> order;
    for (int i = 0; i < KeepRulesList->count(); ++i)
        order.push_back(static_cast<TKeepRule>(KeepRulesList->item(i)->data(Qt::UserRole).toInt()));
    write("RuleOrder", KeepRulesText(order));
    write("KeepRules", KeepRulesText(ChosenRules()));
    int i = 0;
    for (const QString& line : PreferredMemo->toPlainText().split('\n'))
        if (!line.trimmed().isEmpty())
            write("PreferredFolder" + std::to_string(++i), line.trimmed().toStdString());
    // A shorter list than before ends at an empty key.
    write("PreferredFolder" + std::to_string(i + 1), "");
    write("Splitter", GroupsSplitter->saveState().toBase64().toStdString());
}

// ------------------------------------------------------------ the window's side

void TCorvaneForm::BuildGroupsTab() {
    GroupsTab = new TGroupsTab(*this);
    PageControl1->insertTab(PageControl1->indexOf(CompMatchesTabSheet) + 1, GroupsTab,
                            "Review Groups");
    // Another margin or mode forms other groups.
    connect(MarginEdit, &QLineEdit::textChanged, GroupsTab, [this] { GroupsTab->MarkStale(); });
    connect(ColorsCBBox, &QCheckBox::toggled, GroupsTab, [this] { GroupsTab->MarkStale(); });
}

}  // namespace corvane
