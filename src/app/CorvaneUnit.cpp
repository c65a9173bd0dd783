#include "app/CorvaneUnit.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QUrl>
#include <QVBoxLayout>
#include <cstdlib>

#include "app/GroupsTab.h"
#include "app/HelpText.h"
#include "app/PickStrToIntUnit.h"
#include "app/WidgetMaking.h"
#include "platform/DesktopTrash.h"
#include "review/FileActions.h"
#include "review/PairView.h"
#include "review/WindowTexts.h"
#include "scan/TextFiles.h"
#include "util/ProgramFolder.h"

namespace corvane {

namespace {

constexpr int kHintHidePause = 5000;  // a hint stays 5 seconds
constexpr int kProgressRefreshMs = 100;
constexpr int64_t kProgressAlwaysShown = 10;

// Keys of the window's own section of Corvane.INI.
constexpr const char* kWindowSection = "Window";
constexpr const char* kGeometryKey = "Geometry";

QFont BoldFont(const QFont& base) {
    QFont font = base;
    font.setBold(true);
    return font;
}

QCheckBox* MakeCheck(QWidget* parent, const char* name, const char* caption) {
    return Named(new QCheckBox(caption, parent), name);
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption) {
    return Named(new QLabel(caption, parent), name);
}

void SetLabelColour(QLabel* label, const QColor& colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

std::vector<std::string> LinesOf(const QPlainTextEdit* memo) {
    std::vector<std::string> lines;
    const QString text = memo->toPlainText();
    if (text.isEmpty()) return lines;
    QStringList parts = text.split('\n');
    if (text.endsWith('\n')) parts.removeLast();
    for (const QString& part : parts) lines.push_back(part.toStdString());
    return lines;
}

QHBoxLayout* NewRow(QBoxLayout* parent) {
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    parent->addLayout(row);
    return row;
}

// A widget holding a vertical layout without margins.
QWidget* NewColumn(QWidget* parent, QVBoxLayout*& layout) {
    auto* column = new QWidget(parent);
    layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    return column;
}

// Splitter state as INI text (base64) and back.
std::string SplitterKey(const QSplitter* splitter) {
    return splitter->objectName().toStdString();
}

}  // namespace

TFolderEdit::TFolderEdit(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    Edit = new QLineEdit(this);
    BrowseButton = new QToolButton(this);
    BrowseButton->setText("...");
    BrowseButton->setToolTip("Choose the folder");
    layout->addWidget(Edit);
    layout->addWidget(BrowseButton);
    setFocusProxy(Edit);
    connect(BrowseButton, &QToolButton::clicked, this, [this] {
        const QString folder =
            QFileDialog::getExistingDirectory(this, "Select folder", Edit->text());
        if (!folder.isEmpty()) Edit->setText(folder.endsWith('/') ? folder : folder + '/');
    });
}

// ------------------------------------------------------------ construction

TCorvaneForm::TCorvaneForm(std::string programFolder, bool batchRequested, QWidget* parent)
    : QWidget(parent), programFolder_(std::move(programFolder)), batchRequested_(batchRequested) {
    setObjectName("CorvaneForm");
    setWindowTitle("Corvane");
    if (programFolder_.empty()) {
        const TProgramFolder chosen = ResolveProgramFolder();
        programFolder_ = chosen.Path;
        folderDescription_ = DescribeProgramFolder(chosen);
        defaultSearchPath_ = DefaultSearchFolder(chosen, CurrentProgramFolderInputs());
    }
    engine_ = std::make_unique<TCorvaneEngine>(*this);
    trash_ = std::make_unique<TDesktopTrash>();
    engine_->Trash = trash_.get();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(4);
    BuildPanel();
    layout->addWidget(Panel1);
    PageControl1 = Named(new QTabWidget(this), "PageControl1");
    layout->addWidget(PageControl1, 1);
    StatusLine = new TStatusLine(this);
    layout->addWidget(StatusLine);
    BuildActionBar();
    BuildSignaturesTab();
    BuildMatchesTab();
    BuildGroupsTab();
    BuildHelpTab();
    BuildNonVisual();
    BuildTabOrder();
    ConnectHandlers();
    setMinimumSize(760, 480);
    RestoreWindowLayout();
}

TCorvaneForm::~TCorvaneForm() {
    // The grids' models detach from the tables before the engine goes.
    delete DBGrid1;
    delete DBGrid2;
    delete SignaturesModel;
    delete MatchModel;
    SignaturesSource.SetDataSet(nullptr);
    MatchSource.SetDataSet(nullptr);
    if (cursor_ == TCursor::crHourGlass) QApplication::restoreOverrideCursor();
}

void TCorvaneForm::BuildPanel() {
    Panel1 = Named(new QWidget(this), "Panel1");
    auto* row = new QHBoxLayout(Panel1);
    row->setContentsMargins(0, 0, 0, 0);
    QuitButton = MakeButton(Panel1, "QuitButton", "&Quit");
    QuitButton->setToolTip("Close Corvane (a running run is stopped first)");
    ProgressBar1 = Named(new QProgressBar(Panel1), "ProgressBar1");
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(100);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setFixedWidth(264);
    ProgressBar1->hide();
    StopButton = MakeButton(Panel1, "StopButton", "Stop");
    StopButton->setToolTip(
        "Stop the running compute, conversion or identify run after the current picture; "
        "what is done so far is kept (Esc)");
    StopButton->setEnabled(false);
    lProgress = MakeLabel(Panel1, "lProgress", "");
    lProgress->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    row->addWidget(QuitButton);
    row->addWidget(StopButton);
    row->addWidget(ProgressBar1);
    row->addWidget(lProgress, 1);
}

void TCorvaneForm::BuildActionBar() {
    // Beside the line that names what was just trashed or moved.
    UseTrashCBBox = MakeCheck(StatusLine, "UseTrashCB", "Use trash");
    UseTrashCBBox->setChecked(true);
    UseTrashCBBox->setToolTip(
        "Deleted files go to the desktop trash, from where Undo (Ctrl+Z) brings them back");
    UndoButton = MakeButton(StatusLine, "UndoButton", "Undo");
    UndoButton->setToolTip("Undo the last delete or move (Ctrl+Z)");
    StatusLine->AddPermanentWidget(UseTrashCBBox);
    StatusLine->AddPermanentWidget(UndoButton);
    connect(UndoButton, &QPushButton::clicked, this, [this] { UndoButtonClick(); });
    auto* undoKey = new QShortcut(QKeySequence::Undo, this);
    connect(undoKey, &QShortcut::activated, this, [this] { UndoButtonClick(); });
}

void TCorvaneForm::BuildSignaturesTab() {
    CompSigTabSheet = Named(new QWidget, "CompSigTabSheet");
    PageControl1->addTab(CompSigTabSheet, "Compute Signatures");
    QWidget* page = CompSigTabSheet;
    auto* layout = new QVBoxLayout(page);

    QHBoxLayout* top = NewRow(layout);
    ComputeButton = MakeButton(page, "ComputeButton", "&Compute Signatures");
    SetHint(ComputeButton, "Compute image signatures according to user specifications");
    Label1 = MakeLabel(page, "Label1", "Compute Search Path:");
    SearchPathEdit = Named(new TFolderEdit(page), "SearchPathEdit");
    Label1->setBuddy(SearchPathEdit->Edit);
    top->addWidget(ComputeButton);
    top->addWidget(Label1);
    top->addWidget(SearchPathEdit, 1);

    QHBoxLayout* options = NewRow(layout);
    ForceCBBox = MakeCheck(page, "ForceCB", "Force");
    SetHint(ForceCBBox,
            "Force re-calculation of all image signatures, even if file date has not changed");
    SubDirsCBBox = MakeCheck(page, "SubDirsCB", "Sub Dirs");
    SubDirsCBBox->setToolTip("Include the sub-folders of the search path");
    NormalizeCBBox = MakeCheck(page, "NormalizeCB", "Normalize");
    SetHint(NormalizeCBBox, "Normalize brightness before computing image signatures");
    IncrMatchCBBox = MakeCheck(page, "IncrMatchCB", "Incremental Match");
    IncrMatchCBBox->setToolTip(
        "Look for the matches of each new or changed picture during the compute run");
    ApplyOrientationCBBox = MakeCheck(page, "ApplyOrientationCB", "Orientation");
    SetHint(ApplyOrientationCBBox,
            "Turn JPEG and HEIC pictures upright by their orientation tag\n"
            "before computing image signatures");
    ClearButton = MakeButton(page, "ClearButton", "Clr");
    ClearButton->setToolTip("Empty both tables (the picture files are not touched)");
    for (QWidget* box :
         {ForceCBBox, SubDirsCBBox, NormalizeCBBox, IncrMatchCBBox, ApplyOrientationCBBox})
        options->addWidget(box);
    options->addStretch(1);
    options->addWidget(ClearButton);
    BuildFormatsRow(NewRow(layout), page);

    SigSplitter = Named(new QSplitter(Qt::Horizontal, page), "SigSplitter");
    SigSplitter->setChildrenCollapsible(false);
    layout->addWidget(SigSplitter, 1);
    QVBoxLayout* gridColumn = nullptr;
    QWidget* left = NewColumn(SigSplitter, gridColumn);
    lSignaturesDB = MakeLabel(left, "lSignaturesDB", "Signatures DB");
    lSignaturesDB->setFont(BoldFont(lSignaturesDB->font()));
    SignaturesModel = new TTableModel(SignaturesTable(),
                                      {{"FileName", "SignaturesTableFileName", 200, true},
                                       {"FilePath", "SignaturesTableFilePath", 375, true, true},
                                       {"FileDate", "SignaturesTableFileDate", 150}},
                                      this);
    DBGrid1 = Named(new TDBGrid(SignaturesModel, left), "DBGrid1");
    DBGrid1->setToolTip("");
    gridColumn->addWidget(lSignaturesDB);
    gridColumn->addWidget(DBGrid1, 1);

    QVBoxLayout* previewColumn = nullptr;
    QWidget* right = NewColumn(SigSplitter, previewColumn);
    SigImage = Named(new TImage32(right), "SigImage");
    SigImage->SetBitmapAlign(TBitmapAlign::baCenter);
    SigImage->SetScale(1.0f);
    SigImage->SetScaleMode(TScaleMode::smResize);
    SigImage->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    SigImage->setMinimumSize(120, 100);
    SigImage->setToolTip("The selected picture: click to open it in its default viewer");
    MatchSingleButton = MakeButton(right, "MatchSingleButton", "&Match Single Image");
    SetHint(MatchSingleButton,
            "Locate all images in the Signature DB with matching\n"
            "image signatures to the image currently selected in \n"
            "the Signature DB");
    SortSigRG = Named(new QGroupBox("Sort By", right), "SortSigRG");
    auto* sortRow = new QHBoxLayout(SortSigRG);
    SortByName = new QRadioButton("Name", SortSigRG);
    SortByDate = new QRadioButton("Date", SortSigRG);
    sortRow->addWidget(SortByName);
    sortRow->addWidget(SortByDate);
    SortByName->setChecked(true);
    Memo2 = Named(new QPlainTextEdit(right), "Memo2");
    Memo2->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo2->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo2->setReadOnly(true);
    Memo2->setTabChangesFocus(true);
    Memo2->setToolTip("Pictures that could not be read (kept in BadFiles.txt)");
    Memo2->setMaximumHeight(120);
    Memo2->hide();
    previewColumn->addWidget(SigImage, 1);
    previewColumn->addWidget(MatchSingleButton);
    previewColumn->addWidget(SortSigRG);
    previewColumn->addWidget(Memo2);
    SigSplitter->setStretchFactor(0, 3);
    SigSplitter->setStretchFactor(1, 1);
}

// One box per picture format the scan may take; formats the installed
// libraries cannot decode stay disabled.
void TCorvaneForm::BuildFormatsRow(QHBoxLayout* row, QWidget* page) {
    QLabel* label = MakeLabel(page, "lFormats", "Formats:");
    label->setToolTip("The picture files the compute run reads");
    row->addWidget(label);
    for (const TPictureKind kind : TPictureFormats::Kinds()) {
        const std::string name = std::string("Format") + TPictureFormats::NameOf(kind) + "CB";
        QCheckBox* box = MakeCheck(page, name.c_str(), TPictureFormats::NameOf(kind));
        box->setEnabled(TPictureFormats::Available(kind));
        FormatCBBoxes.emplace_back(kind, box);
        row->addWidget(box);
    }
    row->addStretch(1);
}

void TCorvaneForm::BuildMatchesTab() {
    CompMatchesTabSheet = Named(new QWidget, "CompMatchesTabSheet");
    PageControl1->addTab(CompMatchesTabSheet, "Compute Matches");
    QWidget* page = CompMatchesTabSheet;
    auto* layout = new QVBoxLayout(page);

    QHBoxLayout* top = NewRow(layout);
    IdentifyButton = MakeButton(page, "IdentifyButton", "&Identify all Matches");
    SetHint(IdentifyButton,
            "Identify duplicate files based on the image signatures in the database");
    Label2 = MakeLabel(page, "Label2", "Match Margin");
    MarginEdit = Named(new QLineEdit(page), "MarginEdit");
    MarginEdit->setFixedWidth(MarginEdit->fontMetrics().horizontalAdvance("0000") + 16);
    Label2->setBuddy(MarginEdit);
    SetHint(MarginEdit,
            "Image signatures are considered to be equal if all values\n"
            "are within the margin value of each other. Use margin\n"
            "values of about 5-10 to find \"identical\" images; use\n"
            "margin values of >=50 to find \"similar\" images.");
    ColorsCBBox = MakeCheck(page, "ColorsCB", "Colors");
    RotationsCBBox = MakeCheck(page, "RotationsCB", "Rotations");
    SetHint(RotationsCBBox, "Also match copies turned by 90, 180 or 270 degrees or mirrored");
    SetHint(ColorsCBBox,
            "When comparing image signatures, compare each color separately;\n"
            "otherwise, compare the sum of the colors (black/white)");
    top->addWidget(IdentifyButton);
    top->addWidget(Label2);
    top->addWidget(MarginEdit);
    top->addWidget(ColorsCBBox);
    top->addWidget(RotationsCBBox);
    top->addStretch(1);

    MatchSplitter = Named(new QSplitter(Qt::Vertical, page), "MatchSplitter");
    MatchSplitter->setChildrenCollapsible(false);
    layout->addWidget(MatchSplitter, 1);
    MatchTopSplitter = Named(new QSplitter(Qt::Horizontal, MatchSplitter), "MatchTopSplitter");
    MatchTopSplitter->setChildrenCollapsible(false);

    QVBoxLayout* gridColumn = nullptr;
    QWidget* grid = NewColumn(MatchTopSplitter, gridColumn);
    lMatchesDB = MakeLabel(grid, "lMatchesDB", "Matches DB");
    lMatchesDB->setFont(BoldFont(lMatchesDB->font()));
    MatchModel = new TTableModel(MatchTable(),
                                 {{"MaxDiff", "MatchTableMaxDiff", 60},
                                  {"File1", "MatchTableFile1", 310, true, true},
                                  {"File2", "MatchTableFile2", 310, true, true}},
                                 this);
    MatchModel->HeaderToolTip =
        "Keys: D or Delete deletes a file of the pair (asks which) \u00B7 K drops the row \u00B7 "
        "L / R views the left / right picture \u00B7 Ctrl+Z undoes \u00B7 right click: delete menu";
    DBGrid2 = Named(new TDBGrid(MatchModel, grid), "DBGrid2");
    gridColumn->addWidget(lMatchesDB);
    gridColumn->addWidget(DBGrid2, 1);

    QVBoxLayout* ignoreColumn = nullptr;
    QWidget* ignore = NewColumn(MatchTopSplitter, ignoreColumn);
    Label3 = MakeLabel(ignore, "Label3", "Ignore matches on these paths:");
    NoMatchMemo = Named(new QPlainTextEdit(ignore), "NoMatchMemo");
    NoMatchMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    NoMatchMemo->setTabChangesFocus(true);
    NoMatchMemo->setToolTip(
        "One folder per line: a pair is only compared when both pictures lie in listed "
        "folders or both lie outside them");
    Label3->setBuddy(NoMatchMemo);
    ignoreColumn->addWidget(Label3);
    ignoreColumn->addWidget(NoMatchMemo, 1);
    MatchTopSplitter->setStretchFactor(0, 3);
    MatchTopSplitter->setStretchFactor(1, 1);

    PairView = new TPairPanel(MatchSplitter);
    MatchSplitter->setStretchFactor(0, 2);
    MatchSplitter->setStretchFactor(1, 3);
    lLName = PairView->lLName;
    lRName = PairView->lRName;
    LBrowseButton = PairView->LBrowseButton;
    LMoveButton = PairView->LMoveButton;
    LViewButton = PairView->LViewButton;
    LDeleteButton = PairView->LDeleteButton;
    DelMatchRecButton = PairView->DelMatchRecButton;
    RDeleteButton = PairView->RDeleteButton;
    RViewButton = PairView->RViewButton;
    RMoveButton = PairView->RMoveButton;
    RBrowseButton = PairView->RBrowseButton;
    MatchImage1 = PairView->MatchImage1;
    MatchImage2 = PairView->MatchImage2;
    DiffImage = PairView->DiffImage;
    lIsBMP = PairView->lIsBMP;
    lSameName = PairView->lSameName;
    lSamePath = PairView->lSamePath;
    lFave = PairView->lFave;
    lLShortPath = PairView->lLShortPath;
    lRShortPath = PairView->lRShortPath;
    lBigger = PairView->lBigger;
    lAnimation = PairView->lAnimation;
}

void TCorvaneForm::BuildHelpTab() {
    HelpTabSheet = Named(new QWidget, "HelpTabSheet");
    PageControl1->addTab(HelpTabSheet, "Help");
    auto* layout = new QVBoxLayout(HelpTabSheet);
    Memo1 = Named(new QTextBrowser(HelpTabSheet), "Memo1");
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setOpenLinks(false);
    Memo1->setHtml(HelpHtml());
    layout->addWidget(Memo1);
}

void TCorvaneForm::BuildTabOrder() {
    // Natural order: top row, options, then the grid and the controls
    // beside and below it; Tab leaves the memos instead of typing a tab.
    const QList<QWidget*> signatures = {ComputeButton,
                                        SearchPathEdit->Edit,
                                        SearchPathEdit->BrowseButton,
                                        ForceCBBox,
                                        SubDirsCBBox,
                                        NormalizeCBBox,
                                        IncrMatchCBBox,
                                        ClearButton,
                                        DBGrid1,
                                        MatchSingleButton,
                                        SortByName,
                                        SortByDate,
                                        Memo2};
    const QList<QWidget*> matches = {IdentifyButton,    MarginEdit,    ColorsCBBox, DBGrid2,
                                     LBrowseButton,     LMoveButton,   LViewButton, LDeleteButton,
                                     DelMatchRecButton, RDeleteButton, RViewButton, RMoveButton,
                                     RBrowseButton,     NoMatchMemo};
    for (const QList<QWidget*>* chain : {&signatures, &matches})
        for (qsizetype i = 1; i < chain->size(); ++i)
            QWidget::setTabOrder((*chain)[i - 1], (*chain)[i]);
}

void TCorvaneForm::BuildNonVisual() {
    PopupMenu1 = Named(new QMenu(this), "PopupMenu1");
    DeleteLeft1 = PopupMenu1->addAction("Delete Left");
    DeleteLeft1->setObjectName("DeleteLeft1");
    DeleteRight1 = PopupMenu1->addAction("Delete Right");
    DeleteRight1->setObjectName("DeleteRight1");
    Close1 = PopupMenu1->addAction("Close");
    Close1->setObjectName("Close1");
    Timer1 = Named(new QTimer(this), "Timer1");
    Timer1->setInterval(100);
    SignaturesSource.SetDataSet(&SignaturesTable());
    MatchSource.SetDataSet(&MatchTable());
    MatchSource.OnDataChange = [this] { MatchSourceDataChange(); };
}

void TCorvaneForm::ConnectHandlers() {
    const auto on = [this](QPushButton* button, void (TCorvaneForm::*handler)()) {
        connect(button, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
    };
    on(QuitButton, &TCorvaneForm::QuitButtonClick);
    on(ComputeButton, &TCorvaneForm::ComputeButtonClick);
    on(ClearButton, &TCorvaneForm::ClearButtonClick);
    on(MatchSingleButton, &TCorvaneForm::MatchSingleButtonClick);
    on(IdentifyButton, &TCorvaneForm::IdentifyButtonClick);
    on(LBrowseButton, &TCorvaneForm::LBrowseButtonClick);
    on(LDeleteButton, &TCorvaneForm::LDeleteButtonClick);
    on(LMoveButton, &TCorvaneForm::LMoveButtonClick);
    on(DelMatchRecButton, &TCorvaneForm::DelMatchRecButtonClick);
    on(RDeleteButton, &TCorvaneForm::RDeleteButtonClick);
    on(RBrowseButton, &TCorvaneForm::RBrowseButtonClick);
    on(RMoveButton, &TCorvaneForm::RMoveButtonClick);
    on(LViewButton, &TCorvaneForm::LViewButtonClick);
    on(RViewButton, &TCorvaneForm::RViewButtonClick);
    connect(SortByName, &QRadioButton::clicked, this, [this] { SortSigRGClick(); });
    connect(SortByDate, &QRadioButton::clicked, this, [this] { SortSigRGClick(); });
    connect(SigImage, &TImage32::clicked, this, [this] { SigImageClick(); });
    connect(MatchImage1, &TImage32::clicked, this, [this] { MatchImage1Click(); });
    connect(MatchImage2, &TImage32::clicked, this, [this] { MatchImage2Click(); });
    connect(DBGrid1, &TDBGrid::cellClicked, this, [this](int) { DBGrid1CellClick(); });
    connect(DBGrid1, &TDBGrid::recordMoved, this, [this] { ShowSignaturePreview(); });
    connect(StopButton, &QPushButton::clicked, this, [this] { RequestStop(); });
    connect(PageControl1, &QTabWidget::currentChanged, this,
            [this] { QTimer::singleShot(0, this, [this] { ApplyDefaultSplits(); }); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, [this] { RequestStop(); });
    connect(DBGrid2, &TDBGrid::cellClicked, this, [this](int) { DBGrid2CellClick(); });
    DBGrid2->OnKeyPress = [this](char key, bool& consumed) {
        if (key == TDBGrid::kDeleteKey) key = 'D';  // Delete asks as D does
        DBGrid2KeyPress(key);
        consumed = key == 0;
    };
    connect(DBGrid2, &TDBGrid::popupRequested, this, [this](const QPoint& at) {
        PopupMenu1Popup();
        PopupMenu1->popup(at);
    });
    connect(DeleteLeft1, &QAction::triggered, this, [this] { DeleteLeft1Click(); });
    connect(DeleteRight1, &QAction::triggered, this, [this] { DeleteRight1Click(); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    for (TTableModel* model : {SignaturesModel, MatchModel}) {
        model->CanTouchTable = [this] { return !Guard.Busy(); };
        model->OnError = [this](const std::string& text) { ShowError(text); };
    }
    // A walk of the match grid ends on the record it started from: the pair
    // shown stays right, so its notice does not reload the pictures.
    MatchModel->BeforeWalk = [this] { walking_ = true; };
    MatchModel->AfterWalk = [this] { walking_ = false; };
}

void TCorvaneForm::SetHint(QWidget* widget, const std::string& text) {
    widget->setToolTip(Q(text));
    widget->installEventFilter(this);
}

bool TCorvaneForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && !widget->toolTip().isEmpty()) {
            const auto* help = static_cast<QHelpEvent*>(event);
            QToolTip::showText(help->globalPos(), widget->toolTip(), widget, QRect(),
                               kHintHidePause);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ------------------------------------------------------------ running handlers

void TCorvaneForm::ShowError(const std::string& text) {
    if (OnShowError) {
        OnShowError(text);
        return;
    }
    QMessageBox::critical(this, "Corvane", Q(text));
}

void TCorvaneForm::Run(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
}

void TCorvaneForm::RunExclusive(const std::string& name, const std::function<void()>& command) {
    if (Guard.Busy()) {
        // A box here would hold the running command until it is answered.
        ShowStatus(Guard.RefusalMessage(name));
        return;
    }
    {
        TCommandScope scope(Guard, name);
        SetRunning(name);
        Run(command);
        SetRunning("");
    }
    RefreshGrids();
    if (GroupsTab != nullptr) GroupsTab->MarkStale();
    if (!engine_->State.ProgramFolder.empty()) Run([this] { engine_->Matcher.ShowRecordCounts(); });
    if (closeAfterRun_) QTimer::singleShot(0, this, [this] { close(); });
}

bool TCorvaneForm::IsStoppableRun(const std::string& name) const {
    return name == "Compute Signatures" || name == "Identify all Matches" || name == "Batch run";
}

void TCorvaneForm::SetRunning(const std::string& name) {
    stopRequested_ = false;
    runName_ = name;
    runIndex_ = 0;
    runTotal_ = 0;
    StopButton->setEnabled(IsStoppableRun(name));
    lProgress->setText("");
}

void TCorvaneForm::RequestStop() {
    if (!IsStoppableRun(Guard.Running()) || stopRequested_) return;
    stopRequested_ = true;
    StopButton->setEnabled(false);
    ShowStatus("Stopping " + Guard.Running() + " after the current picture\u2026");
}

bool TCorvaneForm::StopRequested() const {
    return stopRequested_;
}

void TCorvaneForm::ShowRunItem(const std::string& name, int64_t index, int64_t total) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point now = Clock::now();
    // A new phase (the next run of a batch) starts its own pace.
    if (index <= 1 || index < runIndex_ || total != runTotal_) runItemsStart_ = now;
    runIndex_ = index > 0 ? index : runIndex_ + 1;
    runTotal_ = total;
    // The first items always show; then a fast run refreshes the line at a
    // pace the eye can follow without slowing the run.
    if (index > kProgressAlwaysShown &&
        now - progressShown_ < std::chrono::milliseconds(kProgressRefreshMs))
        return;
    progressShown_ = now;
    const double elapsed = std::chrono::duration<double>(now - runItemsStart_).count();
    const std::string text = RunProgressText(runName_, runIndex_, total, elapsed, name);
    lProgress->setText(Q(text));
    lProgress->setToolTip(Q(text));
}

void TCorvaneForm::ShowStatus(const std::string& text) {
    StatusLine->ShowText(Q(text));
}

std::string TCorvaneForm::StatusText() const {
    return StatusLine->Text().toStdString();
}

void TCorvaneForm::RefreshGrids() {
    SignaturesModel->RefreshIfStale();
    MatchModel->RefreshIfStale();
}

// ------------------------------------------------------------ start-up and close

void TCorvaneForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    QTimer::singleShot(0, this, [this] { ApplyDefaultSplits(); });
    if (shown_) return;
    shown_ = true;
    FormShow();
}

void TCorvaneForm::FormShow() {
    SelectPage(TTabPage::CompSigTabSheet);
    bool started = false;
    RunExclusive("Start-up", [this, &started] {
        // The title says which program folder is in use, and why.
        std::string description = folderDescription_;
        if (description.empty()) {
            description = programFolder_;
            if (!description.empty() && description.back() != '/') description += '/';
        }
        setWindowTitle(QString::fromStdString("Corvane - " + description));
        engine_->DefaultSearchPath = defaultSearchPath_;
        engine_->StartUp(programFolder_);
        started = true;
    });
    if (started && batchRequested_) QTimer::singleShot(0, this, [this] { BatchRun(); });
}

void TCorvaneForm::closeEvent(QCloseEvent* event) {
    if (Guard.Busy()) {
        // Closing under a running command would free the tables it uses:
        // the run is stopped and the window closes when it has ended.
        closeAfterRun_ = true;
        RequestStop();
        ShowStatus("Closing when " + Guard.Running() + " has stopped\u2026");
        event->ignore();
        return;
    }
    SaveWindowLayout();
    FormClose();
    event->accept();
}

void TCorvaneForm::FormClose() {
    if (closed_ || engine_->State.ProgramFolder.empty()) return;
    closed_ = true;
    // Each file is written even when an earlier one fails; the window closes
    // after the failures are shown.
    std::vector<std::string> failures;
    const auto attempt = [&failures](const std::function<void()>& step) {
        try {
            step();
        } catch (const std::exception& e) {
            failures.push_back(e.what());
        }
    };
    attempt([this] { engine_->WriteSettings(); });
    attempt([this] { engine_->SaveIgnoreList(); });
    attempt([this] { engine_->SaveBadFiles(); });
    for (const std::string& failure : failures) ShowError(failure);
}

void TCorvaneForm::RestoreWindowLayout() {
    const TIniFile ini(programFolder_ + kSettingsFileName);
    const auto restore = [&ini](const std::string& key) {
        return QByteArray::fromBase64(
            QByteArray::fromStdString(ini.ReadString(kWindowSection, key, "")));
    };
    bool placed = false;
    try {
        placed = restoreGeometry(restore(kGeometryKey));
        for (QSplitter* splitter : {SigSplitter, MatchSplitter, MatchTopSplitter})
            splitter->restoreState(restore(SplitterKey(splitter)));
        GroupsTab->ReadSettings(ini);
    } catch (const std::exception&) {
        placed = false;  // an unreadable settings file: the default place
    }
    if (placed) return;
    // First start: a comfortable size that still fits the screen, centred.
    const QScreen* screen = QApplication::primaryScreen();
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
    const QSize size(std::min(1180, area.width()), std::min(760, area.height()));
    resize(size.expandedTo(minimumSize()).boundedTo(area.size()));
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    unsplit_ = {SigSplitter, MatchSplitter, MatchTopSplitter};
}

void TCorvaneForm::ApplyDefaultSplits() {
    // Once a splitter is on screen with its real size: the grid gets most of
    // the width, the pair view most of the height.
    const auto percentOf = [this](QSplitter* splitter) {
        return splitter == MatchSplitter ? 40 : splitter == MatchTopSplitter ? 78 : 75;
    };
    for (auto it = unsplit_.begin(); it != unsplit_.end();) {
        QSplitter* splitter = *it;
        if (!splitter->isVisible()) {
            ++it;
            continue;
        }
        const int total =
            splitter->orientation() == Qt::Horizontal ? splitter->width() : splitter->height();
        const int first = total * percentOf(splitter) / 100;
        splitter->setSizes({first, total - first});
        it = unsplit_.erase(it);
    }
}

void TCorvaneForm::SaveWindowLayout() {
    if (engine_->State.ProgramFolder.empty()) return;
    try {
        TIniFile ini(programFolder_ + kSettingsFileName);
        ini.WriteString(kWindowSection, kGeometryKey, saveGeometry().toBase64().toStdString());
        for (QSplitter* splitter : {SigSplitter, MatchSplitter, MatchTopSplitter})
            ini.WriteString(kWindowSection, SplitterKey(splitter),
                            splitter->saveState().toBase64().toStdString());
        GroupsTab->WriteSettings(ini);
    } catch (const std::exception&) {
        // The settings write that follows reports an unwritable file.
    }
}

void TCorvaneForm::QuitButtonClick() {
    close();
}

void TCorvaneForm::ShowRecordCounts() {
    Run([this] { engine_->Matcher.ShowRecordCounts(); });
}

// ------------------------------------------------------------ commands

void TCorvaneForm::ComputeButtonClick() {
    RunExclusive("Compute Signatures", [this] { engine_->ComputeButtonClick(); });
}

void TCorvaneForm::IdentifyButtonClick() {
    RunExclusive("Identify all Matches", [this] { engine_->Matcher.IdentifyButtonClick(); });
}

void TCorvaneForm::MatchSingleButtonClick() {
    bool done = false;
    RunExclusive("Match Single Image", [this, &done] {
        engine_->Matcher.MatchSingleButtonClick();
        done = true;
    });
    if (!done) return;
    // Its results are on the other tab: go there and say what was found.
    const int32_t found = MatchTable().RecordCount();
    SelectPage(TTabPage::CompMatchesTabSheet);
    const std::string of = engine_->Signatures.SignaturesTableFilePath.AsString() +
                           engine_->Signatures.SignaturesTableFileName.AsString();
    ShowStatus("Match Single Image: " + std::to_string(found) +
               (found == 1 ? " match" : " matches") + " of " + of);
}

void TCorvaneForm::BatchRun() {
    RunExclusive("Batch run", [this] { engine_->BatchRun(); });
}

void TCorvaneForm::ClearButtonClick() {
    if (Guard.Busy()) {
        ShowStatus(Guard.RefusalMessage("Clr"));
        return;
    }
    if (!Confirm("Remove every signature record and every match row?")) return;
    RunExclusive("Clr", [this] {
        SignaturesTable().EmptyTable();
        MatchTable().EmptyTable();
        lSamePath->hide();
        lSameName->hide();
        engine_->Matcher.ShowRecordCounts();
    });
}

void TCorvaneForm::SortSigRGClick() {
    const int item = SortByName->isChecked() ? 0 : (SortByDate->isChecked() ? 1 : -1);
    const std::optional<std::string> name = SortIndexNameOf(item);
    if (!name) return;
    RunExclusive("Sort By", [this, &name] {
        try {
            SignaturesTable().SetIndexName(*name);
        } catch (const EStoreEngineError& e) {
            if (e.ErrorCode() != seInvalidIndexName) throw;
            // A table made before the date order existed: say so plainly.
            SortByName->setChecked(true);
            ShowStatus(
                "Sort by Date needs a date index, which this signature table does not "
                "have; it stays sorted by Name.");
        }
    });
}

void TCorvaneForm::ShowSignaturePreview() {
    const std::string current = engine_->Signatures.SignaturesTableFilePath.AsString() +
                                engine_->Signatures.SignaturesTableFileName.AsString();
    if (current == SigFile && !SigImage->Bitmap().Empty()) return;
    DBGrid1CellClick();
}

void TCorvaneForm::DBGrid1CellClick() {
    Run([this] {
        SigFile = engine_->Signatures.SignaturesTableFilePath.AsString() +
                  engine_->Signatures.SignaturesTableFileName.AsString();
        bool loaded = false;
        LoadPictureFile(*this, SigFile, false, loaded, SigImage->Bitmap(), ViewLoadOptions());
    });
}

void TCorvaneForm::SigImageClick() {
    ShellOpenFile(SigFile);
}

// ------------------------------------------------------------ pair view

void TCorvaneForm::DBGrid2CellClick() {
    ShowMatchTableImages();
}

void TCorvaneForm::MatchSourceDataChange() {
    if (walking_) return;
    ShowMatchTableImages();
}

void TCorvaneForm::ShowMatchTableImages() {
    // Loading processes messages; a change meanwhile is shown once the
    // current pair is done instead of loading into the same views twice.
    if (showingPair_) {
        reshowPending_ = true;
        return;
    }
    showingPair_ = true;
    try {
        do {
            reshowPending_ = false;
            ShowPairOnce();
        } while (reshowPending_);
    } catch (const std::exception& e) {
        showingPair_ = false;
        ShowError(e.what());
        return;
    }
    showingPair_ = false;
}

std::string TCorvaneForm::CurrentMatchFile(int side) const {
    const TMatchTableObjects& m = engine_->Matches;
    return side == 1 ? m.MatchTableFile1.AsString() : m.MatchTableFile2.AsString();
}

void TCorvaneForm::ShowPairOnce() {
    LeftFile = CurrentMatchFile(1);
    RightFile = CurrentMatchFile(2);
    bool loaded = false;
    LoadPictureFile(*this, LeftFile, false, loaded, MatchImage1->Bitmap(), ViewLoadOptions());
    LoadPictureFile(*this, RightFile, false, loaded, MatchImage2->Bitmap(), ViewLoadOptions());
    ComputeDifferencePicture(MatchImage1->Bitmap(), MatchImage2->Bitmap(), DiffImage->Bitmap());
    DiffImage->Invalidate();
    // No current row: nothing to compare, so no hint and no button.
    const bool present = !LeftFile.empty() || !RightFile.empty();
    PairView->SetPairPresent(present);
    if (!present) return;
    const TPairLabels labels =
        ComputePairLabels(LeftFile, RightFile, engine_->State.ShowExtraHints);
    lSamePath->setVisible(labels.SamePath);
    lSameName->setVisible(labels.SameName);
    lLName->SetPath(Q(labels.LeftName));
    lRName->SetPath(Q(labels.RightName));
    SetLabelColour(lLName, labels.LeftNameRed ? QColor(Qt::red) : PairView->NameColour());
    SetLabelColour(lRName, labels.RightNameRed ? QColor(Qt::red) : PairView->NameColour());
    const auto apply = [](QLabel* label, const THintLabel& hint) {
        label->setText(Q(hint.Caption));
        label->setVisible(hint.Visible && !hint.Caption.empty());
    };
    apply(lIsBMP, labels.IsBMP);
    apply(lFave, labels.Fave);
    apply(lLShortPath, labels.LShortPath);
    apply(lRShortPath, labels.RShortPath);
    lBigger->setText(Q(labels.Bigger));
    lBigger->setVisible(!labels.Bigger.empty());
    apply(lAnimation, labels.Animation);
    ShowPictureInfo();
}

void TCorvaneForm::ShowPictureInfo() {
    PairView->lLInfo->setText(Q(PictureInfoText(MatchImage1->Bitmap(), LeftFile)));
    PairView->lRInfo->setText(Q(PictureInfoText(MatchImage2->Bitmap(), RightFile)));
    PairView->lDiffInfo->setText(
        Q(DifferenceInfoText(MatchImage1->Bitmap(), MatchImage2->Bitmap(), DiffImage->Bitmap())));
}

// ------------------------------------------------------------ file actions

TFileActions& TCorvaneForm::Actions() {
    if (!actions_)
        actions_ =
            std::make_unique<TFileActions>(SignaturesTable(), MatchTable(), trash_.get(),
                                           engine_->State.ProgramFolder + kUndoJournalFileName);
    actions_->UseTrash = UseTrashCB();
    return *actions_;
}

void TCorvaneForm::SetTrashCan(std::unique_ptr<TTrashCan> trash) {
    actions_.reset();
    trash_ = std::move(trash);
    engine_->Trash = trash_.get();
}

bool TCorvaneForm::Confirm(const std::string& question) {
    if (OnConfirm) return OnConfirm(question);
    return QMessageBox::question(this, "Corvane", Q(question)) == QMessageBox::Yes;
}

void TCorvaneForm::ShowActionResult(const TActionResult& result) {
    switch (result.Status) {
        case TActionStatus::Done:
        case TActionStatus::NothingToUndo:
            ShowStatus(result.Message);
            break;
        case TActionStatus::SameFile:
            ShowMessage(result.Message);
            break;
        default:
            ShowStatus("");
            ShowError(result.Message);
            break;
    }
}

void TCorvaneForm::AfterFileAction() {
    SigImage->Bitmap().SetSize(0, 0);
    MatchImage1->Bitmap().SetSize(0, 0);
    MatchImage2->Bitmap().SetSize(0, 0);
    ShowMatchTableImages();
    engine_->Matcher.ShowRecordCounts();
}

void TCorvaneForm::DeleteImageFile(std::string fileName) {
    if (fileName.empty()) return;
    TActionResult result = Actions().Delete(fileName);
    if (result.Status == TActionStatus::NoTrash) {
        if (!Confirm(result.Message + "\n\nDelete " + fileName + " for good?")) {
            ShowStatus("Kept " + fileName);
            return;
        }
        result = Actions().Delete(fileName, true);
    }
    ShowActionResult(result);
    if (result.Status == TActionStatus::Done) AfterFileAction();
}

void TCorvaneForm::UndoButtonClick() {
    RunExclusive("Undo", [this] {
        const TActionResult result = Actions().Undo();
        ShowActionResult(result);
        if (result.Status == TActionStatus::Done) AfterFileAction();
    });
}

void TCorvaneForm::ShellOpenFile(const std::string& fileName) {
    // The desktop says nothing when it cannot open a file: the status line does.
    if (fileName.empty()) {
        ShowStatus("No picture is shown, so there is nothing to open.");
        return;
    }
    if (!QFileInfo::exists(Q(fileName))) {
        ShowStatus("Cannot open " + fileName + ": it does not exist (any more).");
        return;
    }
    if (OnOpenUrl) {
        OnOpenUrl(fileName);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(Q(fileName))))
        ShowStatus("Cannot open " + fileName +
                   ": no program is set up to open it (see your desktop's default "
                   "applications).");
}

void TCorvaneForm::BrowseFolderOf(const std::string& fileName) {
    ShellOpenFile(FolderPart(fileName));
}

void TCorvaneForm::LDeleteButtonClick() {
    RunExclusive("Delete", [this] { DeleteImageFile(CurrentMatchFile(1)); });
}

void TCorvaneForm::RDeleteButtonClick() {
    RunExclusive("Delete", [this] { DeleteImageFile(CurrentMatchFile(2)); });
}

void TCorvaneForm::DelMatchRecButtonClick() {
    RunExclusive("Delete Match Record", [this] {
        // The grid drops the one row instead of reading the table again.
        if (MatchModel->CurrentRow() >= 0 && !MatchModel->Stale())
            MatchModel->ExpectCurrentRowDeleted();
        try {
            MatchTable().Delete();
        } catch (...) {
            MatchModel->ClearExpectation();
            throw;
        }
        MatchModel->ClearExpectation();
    });
}

void TCorvaneForm::MoveSide(std::string fileName, TImage32* view) {
    std::optional<std::string> destination;
    if (OnChooseMoveDestination) {
        destination = OnChooseMoveDestination(FolderPart(fileName), NamePart(fileName));
    } else {
        QFileDialog dialog(this, "Move file where?", Q(FolderPart(fileName)));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.selectFile(Q(NamePart(fileName)));
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            destination = dialog.selectedFiles().front().toStdString();
    }
    if (!destination) return;
    TActionResult result = Actions().Move(fileName, *destination);
    if (result.Status == TActionStatus::DestinationTaken) {
        const char* fate = UseTrashCB() ? "to the trash" : "away for good";
        if (!Confirm(result.Message + " Replace it? The file there goes " + fate + ".")) return;
        result = Actions().Move(fileName, *destination, true);
    }
    ShowActionResult(result);
    if (result.Status != TActionStatus::Done) return;
    view->Bitmap().SetSize(0, 0);
    // The records follow the file: the pair view shows where it is now.
    ShowMatchTableImages();
    engine_->Matcher.ShowRecordCounts();
}

void TCorvaneForm::LMoveButtonClick() {
    RunExclusive("Move", [this] { MoveSide(LeftFile, MatchImage1); });
}

void TCorvaneForm::RMoveButtonClick() {
    RunExclusive("Move", [this] { MoveSide(RightFile, MatchImage2); });
}

void TCorvaneForm::LBrowseButtonClick() {
    BrowseFolderOf(LeftFile);
}
void TCorvaneForm::RBrowseButtonClick() {
    BrowseFolderOf(RightFile);
}
void TCorvaneForm::LViewButtonClick() {
    ShellOpenFile(LeftFile);
}
void TCorvaneForm::RViewButtonClick() {
    ShellOpenFile(RightFile);
}
void TCorvaneForm::MatchImage1Click() {
    ShellOpenFile(LeftFile);
}
void TCorvaneForm::MatchImage2Click() {
    ShellOpenFile(RightFile);
}

// ------------------------------------------------------------ grid commands

void TCorvaneForm::DBGrid2KeyPress(char& key) {
    const TGridKeyCommand command = GridKeyCommandOf(key);
    if (command == TGridKeyCommand::None) return;
    key = 0;
    switch (command) {
        case TGridKeyCommand::DeleteAsk:
            RunExclusive("Delete", [this] {
                const auto pick = OnPick ? OnPick : PickStrToInt;
                const int answer =
                    pick(kDeleteQuestion, {kDeleteLeftCaption, kDeleteRightCaption}, 0);
                if (answer == 1) DeleteImageFile(CurrentMatchFile(1));
                if (answer == 2) DeleteImageFile(CurrentMatchFile(2));
            });
            break;
        case TGridKeyCommand::DropRow:
            DelMatchRecButtonClick();
            break;
        case TGridKeyCommand::ViewLeft:
            ShellOpenFile(LeftFile);
            break;
        case TGridKeyCommand::ViewRight:
            ShellOpenFile(RightFile);
            break;
        case TGridKeyCommand::None:
            break;
    }
}

// The menu only offers: a right click must never delete at once.
void TCorvaneForm::PopupMenu1Popup() {}

void TCorvaneForm::DeleteLeft1Click() {
    RunExclusive("Delete", [this] { DeleteImageFile(CurrentMatchFile(1)); });
}

void TCorvaneForm::DeleteRight1Click() {
    RunExclusive("Delete", [this] { DeleteImageFile(CurrentMatchFile(2)); });
}

void TCorvaneForm::Timer1Timer() {
    PopupMenu1->close();
    Timer1->stop();
}

// ------------------------------------------------------------ TFormControls

bool TCorvaneForm::ForceCB() const {
    return ForceCBBox->isChecked();
}
bool TCorvaneForm::NormalizeCB() const {
    return NormalizeCBBox->isChecked();
}
bool TCorvaneForm::ColorsCB() const {
    return ColorsCBBox->isChecked();
}
bool TCorvaneForm::SubDirsCB() const {
    return SubDirsCBBox->isChecked();
}
bool TCorvaneForm::IncrMatchCB() const {
    return IncrMatchCBBox->isChecked();
}
TLoadOptions TCorvaneForm::ViewLoadOptions() const {
    // The views show pictures as their signatures were computed.
    TLoadOptions options;
    options.ApplyOrientation = ApplyOrientationCB();
    return options;
}
bool TCorvaneForm::ApplyOrientationCB() const {
    return ApplyOrientationCBBox->isChecked();
}
void TCorvaneForm::SetApplyOrientationCB(bool value) {
    ApplyOrientationCBBox->setChecked(value);
}
bool TCorvaneForm::RotationsCB() const {
    return RotationsCBBox->isChecked();
}
void TCorvaneForm::SetRotationsCB(bool value) {
    RotationsCBBox->setChecked(value);
}
TPictureFormats TCorvaneForm::Formats() const {
    TPictureFormats formats;
    for (const auto& [kind, box] : FormatCBBoxes) formats.Set(kind, box->isChecked());
    return formats;
}
void TCorvaneForm::SetFormats(const TPictureFormats& value) {
    for (const auto& [kind, box] : FormatCBBoxes) box->setChecked(value.Has(kind));
}
bool TCorvaneForm::UseTrashCB() const {
    return UseTrashCBBox->isChecked();
}
void TCorvaneForm::SetUseTrashCB(bool value) {
    UseTrashCBBox->setChecked(value);
}
void TCorvaneForm::SetNormalizeCB(bool value) {
    NormalizeCBBox->setChecked(value);
}
void TCorvaneForm::SetColorsCB(bool value) {
    ColorsCBBox->setChecked(value);
}
void TCorvaneForm::SetSubDirsCB(bool value) {
    SubDirsCBBox->setChecked(value);
}
void TCorvaneForm::SetIncrMatchCB(bool value) {
    IncrMatchCBBox->setChecked(value);
}

std::string TCorvaneForm::MarginText() const {
    return MarginEdit->text().toStdString();
}
void TCorvaneForm::SetMarginText(const std::string& text) {
    MarginEdit->setText(Q(text));
}
std::string TCorvaneForm::SearchPath() const {
    return SearchPathEdit->Edit->text().toStdString();
}
void TCorvaneForm::SetSearchPath(const std::string& text) {
    SearchPathEdit->Edit->setText(Q(text));
}

std::vector<std::string> TCorvaneForm::IgnoreLines() const {
    return LinesOf(NoMatchMemo);
}

void TCorvaneForm::SetIgnoreLines(const std::vector<std::string>& lines) {
    QStringList parts;
    for (const std::string& line : lines) parts << Q(line);
    NoMatchMemo->setPlainText(parts.join('\n'));
}

void TCorvaneForm::ApplyProgress() {
    // The bar shows the position clamped into its range; the stored values
    // are what the commands read back.
    ProgressBar1->setRange(progressMin_, std::max(progressMin_, progressMax_));
    ProgressBar1->setValue(
        std::clamp(progressPosition_, progressMin_, std::max(progressMin_, progressMax_)));
}

void TCorvaneForm::SetProgressMin(int32_t value) {
    progressMin_ = value;
    ApplyProgress();
}
void TCorvaneForm::SetProgressMax(int32_t value) {
    progressMax_ = value;
    ApplyProgress();
}
int32_t TCorvaneForm::ProgressMax() const {
    return progressMax_;
}
void TCorvaneForm::SetProgressPosition(int32_t value) {
    progressPosition_ = value;
    ApplyProgress();
}
int32_t TCorvaneForm::ProgressPosition() const {
    return progressPosition_;
}
void TCorvaneForm::SetProgressVisible(bool value) {
    ProgressBar1->setVisible(value);
}

void TCorvaneForm::AddMemo2Line(const std::string& line) {
    Memo2->appendPlainText(Q(line));
    // The beginning of a line says what failed; the end is the file's name.
    Memo2->horizontalScrollBar()->setValue(0);
}
std::vector<std::string> TCorvaneForm::Memo2Lines() const {
    return LinesOf(Memo2);
}
bool TCorvaneForm::Memo2Visible() const {
    return !Memo2->isHidden();
}
void TCorvaneForm::SetMemo2Visible(bool value) {
    Memo2->setVisible(value);
}

void TCorvaneForm::SetSignaturesLabel(const std::string& caption) {
    lSignaturesDB->setText(Q(caption));
}
void TCorvaneForm::SetMatchesLabel(const std::string& caption) {
    lMatchesDB->setText(Q(caption));
}

TCursor TCorvaneForm::ScreenCursor() const {
    return cursor_;
}

void TCorvaneForm::SetScreenCursor(TCursor cursor) {
    const bool busy = cursor == TCursor::crHourGlass;
    const bool wasBusy = cursor_ == TCursor::crHourGlass;
    cursor_ = cursor;
    if (busy && !wasBusy) QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!busy && wasBusy) QApplication::restoreOverrideCursor();
}

void TCorvaneForm::ProcessMessages() {
    QCoreApplication::processEvents();
}

void TCorvaneForm::ShowMessage(const std::string& text) {
    ShowStatus(text);
    // Closing: the summary stays in the status line; no box holds the close.
    if (closeAfterRun_) return;
    if (OnShowMessage) {
        OnShowMessage(text);
        return;
    }
    QMessageBox::information(this, "Corvane", Q(text));
}

void TCorvaneForm::SelectPage(TTabPage page) {
    PageControl1->setCurrentWidget(page == TTabPage::CompSigTabSheet ? CompSigTabSheet
                                                                     : CompMatchesTabSheet);
}

}  // namespace corvane
