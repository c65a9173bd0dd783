#include "app/CorvaneUnit.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
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
#include <QShortcut>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QUrl>
#include <cstdlib>

#include "app/PickStrToIntUnit.h"
#include "platform/DesktopTrash.h"
#include "review/FileActions.h"
#include "review/PairView.h"
#include "util/ProgramFolder.h"

namespace corvane {

namespace {

constexpr int kHintHidePause = 5000;  // a hint stays 5 seconds

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QFont SansFont(int points, bool bold = false) {
    QFont font("MS Sans Serif", points);
    font.setStyleHint(QFont::SansSerif);
    font.setBold(bold);
    return font;
}

QFont MonoFont(int points) {
    QFont font("Courier New", points);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}

template <class T>
T* Named(T* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, int left, int top,
                        int width, int height) {
    auto* button = Named(new QPushButton(caption, parent), name);
    button->setGeometry(left, top, width, height);
    button->setAutoDefault(false);
    return button;
}

QCheckBox* MakeCheck(QWidget* parent, const char* name, const char* caption, int left, int top,
                     int width) {
    auto* box = Named(new QCheckBox(caption, parent), name);
    box->setGeometry(left, top, width, 17);
    return box;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption, int left, int top) {
    auto* label = Named(new QLabel(caption, parent), name);
    label->move(left, top);
    label->adjustSize();
    return label;
}

// A red bold hint label of the pair view.
QLabel* MakeHintLabel(QWidget* parent, const char* name, const char* caption, int left, int top,
                      int width, Qt::Alignment alignment) {
    auto* label = Named(new QLabel(caption, parent), name);
    label->setFont(SansFont(12, true));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    label->setPalette(palette);
    label->setAlignment(alignment | Qt::AlignVCenter);
    label->setGeometry(left, top, width, 22);
    return label;
}

void SetLabelColour(QLabel* label, const QColor& colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

void SetPictureViewDefaults(TImage32* view) {
    view->SetBitmapAlign(TBitmapAlign::baTopLeft);
    view->SetScale(1.0f);
    view->SetScaleMode(TScaleMode::smResize);
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

}  // namespace

TFolderEdit::TFolderEdit(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    Edit = new QLineEdit(this);
    BrowseButton = new QToolButton(this);
    BrowseButton->setText("...");
    layout->addWidget(Edit);
    layout->addWidget(BrowseButton);
    connect(BrowseButton, &QToolButton::clicked, this, [this] {
        const QString folder =
            QFileDialog::getExistingDirectory(this, "Select folder", Edit->text());
        if (!folder.isEmpty()) Edit->setText(folder.endsWith('/') ? folder : folder + '/');
    });
}

std::string DefaultProgramFolder() {
    return ResolveProgramFolder().Path;
}

// ------------------------------------------------------------ construction

TCorvaneForm::TCorvaneForm(std::string programFolder, bool batchRequested, QWidget* parent)
    : QWidget(parent), programFolder_(std::move(programFolder)), batchRequested_(batchRequested) {
    setObjectName("CorvaneForm");
    setWindowTitle("Corvane");
    setFont(SansFont(8));
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    setPalette(palette);
    setFixedSize(986, 636);
    engine_ = std::make_unique<TCorvaneEngine>(*this);
    trash_ = std::make_unique<TDesktopTrash>();
    engine_->Trash = trash_.get();
    BuildPanel();
    BuildActionBar();
    PageControl1 = Named(new QTabWidget(this), "PageControl1");
    PageControl1->setGeometry(0, 49, 986, 636 - 49);
    BuildSignaturesTab();
    BuildMatchesTab();
    BuildHelpTab();
    BuildNonVisual();
    ConnectHandlers();
    if (const QScreen* screen = QApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
}

TCorvaneForm::~TCorvaneForm() {
    // The grids' models detach from the tables before the engine goes.
    delete DBGrid1;
    delete DBGrid2;
    delete SignaturesModel;
    delete MatchModel;
    SignaturesSource.SetDataSet(nullptr);
    MatchSource.SetDataSet(nullptr);
    QApplication::restoreOverrideCursor();
}

void TCorvaneForm::BuildPanel() {
    Panel1 = Named(new QWidget(this), "Panel1");
    Panel1->setGeometry(0, 0, 986, 49);
    QuitButton = MakeButton(Panel1, "QuitButton", "&Quit", 16, 12, 75, 25);
    ProgressBar1 = Named(new QProgressBar(Panel1), "ProgressBar1");
    ProgressBar1->setGeometry(112, 16, 264, 16);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(100);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->hide();
}

void TCorvaneForm::BuildActionBar() {
    UseTrashCBBox = MakeCheck(Panel1, "UseTrashCB", "Use trash", 392, 16, 80);
    UseTrashCBBox->setChecked(true);
    UndoButton = MakeButton(Panel1, "UndoButton", "Undo", 476, 12, 60, 25);
    StatusLine = Named(new QLabel(Panel1), "StatusLine");
    StatusLine->setGeometry(544, 12, 436, 25);
    connect(UndoButton, &QPushButton::clicked, this, [this] { UndoButtonClick(); });
    auto* undoKey = new QShortcut(QKeySequence::Undo, this);
    connect(undoKey, &QShortcut::activated, this, [this] { UndoButtonClick(); });
}

void TCorvaneForm::BuildSignaturesTab() {
    CompSigTabSheet = Named(new QWidget, "CompSigTabSheet");
    PageControl1->addTab(CompSigTabSheet, "Compute Signatures");
    QWidget* page = CompSigTabSheet;
    ComputeButton = MakeButton(page, "ComputeButton", "&Compute Signatures", 16, 10, 140, 25);
    SetHint(ComputeButton, "Compute image signatures according to user specifications");
    Label1 = MakeLabel(page, "Label1", "Compute Search Path:", 172, 15);
    SearchPathEdit = Named(new TFolderEdit(page), "SearchPathEdit");
    SearchPathEdit->setGeometry(300, 12, 422, 22);
    ForceCBBox = MakeCheck(page, "ForceCB", "Force", 16, 46, 60);
    SetHint(ForceCBBox,
            "Force re-calculation of all image signatures, even if file date has not changed");
    SubDirsCBBox = MakeCheck(page, "SubDirsCB", "Sub Dirs", 90, 46, 80);
    NormalizeCBBox = MakeCheck(page, "NormalizeCB", "Normalize", 180, 46, 90);
    SetHint(NormalizeCBBox, "Normalize brightness before computing image signatures");
    IncrMatchCBBox = MakeCheck(page, "IncrMatchCB", "Incremental Match", 280, 46, 130);
    ClearButton = MakeButton(page, "ClearButton", "Clr", 681, 44, 41, 21);
    lSignaturesDB = MakeLabel(page, "lSignaturesDB", "Signatures DB", 16, 76);
    lSignaturesDB->setFont(SansFont(8, true));
    lSignaturesDB->setMinimumWidth(200);

    SignaturesModel = new TTableModel(SignaturesTable(),
                                      {{"FileName", "SignaturesTableFileName", 150},
                                       {"FilePath", "SignaturesTableFilePath", 375},
                                       {"FileDate", "SignaturesTableFileDate", 160}},
                                      this);
    DBGrid1 = Named(new TDBGrid(SignaturesModel, page), "DBGrid1");
    DBGrid1->setGeometry(16, 94, 706, 460);
    DBGrid1->setFont(MonoFont(8));

    SigImage = Named(new TImage32(page), "SigImage");
    SigImage->setGeometry(740, 94, 209, 281);
    SetPictureViewDefaults(SigImage);
    MatchSingleButton =
        MakeButton(page, "MatchSingleButton", "&Match Single Image", 740, 386, 209, 25);
    SetHint(MatchSingleButton,
            "Locate all images in the Signature DB with matching\n"
            "image signatures to the image currently selected in \n"
            "the Signature DB");
    SortSigRG = Named(new QGroupBox("Sort By", page), "SortSigRG");
    SortSigRG->setGeometry(740, 420, 209, 44);
    SortByName = new QRadioButton("Name", SortSigRG);
    SortByName->setGeometry(10, 18, 90, 20);
    SortByDate = new QRadioButton("Date", SortSigRG);
    SortByDate->setGeometry(110, 18, 90, 20);
    SortByName->setChecked(true);
    Memo2 = Named(new QPlainTextEdit(page), "Memo2");
    Memo2->setGeometry(740, 472, 209, 82);
    Memo2->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo2->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo2->hide();
}

void TCorvaneForm::BuildMatchesTab() {
    CompMatchesTabSheet = Named(new QWidget, "CompMatchesTabSheet");
    PageControl1->addTab(CompMatchesTabSheet, "Compute Matches");
    QWidget* page = CompMatchesTabSheet;
    IdentifyButton = MakeButton(page, "IdentifyButton", "&Identify all Matches", 16, 4, 140, 24);
    SetHint(IdentifyButton,
            "Identify duplicate files based on the image signatures in the database");
    Label2 = MakeLabel(page, "Label2", "Match Margin", 172, 9);
    MarginEdit = Named(new QLineEdit(page), "MarginEdit");
    MarginEdit->setGeometry(250, 5, 41, 21);
    SetHint(MarginEdit,
            "Image signatures are considered to be equal if all values\n"
            "are within the margin value of each other. Use margin\n"
            "values of about 5-10 to find \"identical\" images; use\n"
            "margin values of >=50 to find \"similar\" images.");
    ColorsCBBox = MakeCheck(page, "ColorsCB", "Colors", 310, 7, 70);
    SetHint(ColorsCBBox,
            "When comparing image signatures, compare each color separately;\n"
            "otherwise, compare the sum of the colors (black/white)");
    lMatchesDB = MakeLabel(page, "lMatchesDB", "Matches DB", 16, 31);
    lMatchesDB->setFont(SansFont(8, true));
    lMatchesDB->setMinimumWidth(200);

    MatchModel = new TTableModel(MatchTable(),
                                 {{"MaxDiff", "MatchTableMaxDiff", 50},
                                  {"File1", "MatchTableFile1", 310},
                                  {"File2", "MatchTableFile2", 310}},
                                 this);
    DBGrid2 = Named(new TDBGrid(MatchModel, page), "DBGrid2");
    DBGrid2->setGeometry(16, 48, 706, 172);
    DBGrid2->setFont(MonoFont(8));
    Label3 = MakeLabel(page, "Label3", "Ignore matches on these paths:", 731, 31);
    NoMatchMemo = Named(new QPlainTextEdit(page), "NoMatchMemo");
    NoMatchMemo->setGeometry(731, 48, 230, 169);
    NoMatchMemo->setLineWrapMode(QPlainTextEdit::NoWrap);

    lLName = MakeLabel(page, "lLName", "", 16, 221);
    lRName = MakeLabel(page, "lRName", "", 480, 221);
    for (QLabel* name : {lLName, lRName}) {
        name->setFont(SansFont(10, true));
        name->setFixedSize(464, 18);
    }
    LBrowseButton = MakeButton(page, "LBrowseButton", "Browse", 16, 240, 55, 17);
    LMoveButton = MakeButton(page, "LMoveButton", "Move", 80, 240, 55, 17);
    LViewButton = MakeButton(page, "LViewButton", "View", 144, 240, 55, 17);
    LDeleteButton = MakeButton(page, "LDeleteButton", "Delete", 208, 240, 55, 17);
    DelMatchRecButton =
        MakeButton(page, "DelMatchRecButton", "Delete Match Record", 313, 238, 121, 21);
    RDeleteButton = MakeButton(page, "RDeleteButton", "Delete", 480, 240, 55, 17);
    RViewButton = MakeButton(page, "RViewButton", "View", 544, 240, 55, 17);
    RMoveButton = MakeButton(page, "RMoveButton", "Move", 608, 240, 55, 17);
    RBrowseButton = MakeButton(page, "RBrowseButton", "Browse", 672, 240, 55, 17);

    MatchImage1 = Named(new TImage32(page), "MatchImage1");
    MatchImage1->setGeometry(16, 264, 217, 273);
    MatchImage2 = Named(new TImage32(page), "MatchImage2");
    MatchImage2->setGeometry(520, 259, 217, 273);
    DiffImage = Named(new TImage32(page), "DiffImage");
    DiffImage->setGeometry(744, 260, 217, 273);
    for (TImage32* view : {MatchImage1, MatchImage2, DiffImage}) SetPictureViewDefaults(view);

    // Between the two pictures (233 .. 520).
    const int left = 240, width = 272;
    lIsBMP = MakeHintLabel(page, "lIsBMP", "", IsBMPLeft(16, 217, 520), 289, 200, Qt::AlignHCenter);
    lSameName = MakeHintLabel(page, "lSameName", "Same Name!", left, 325, width, Qt::AlignHCenter);
    lSamePath = MakeHintLabel(page, "lSamePath", "Same Path!", left, 361, width, Qt::AlignHCenter);
    lFave = MakeHintLabel(page, "lFave", "", left, 397, width, Qt::AlignHCenter);
    lLShortPath = MakeHintLabel(page, "lLShortPath", "", left, 433, width / 2, Qt::AlignLeft);
    lRShortPath =
        MakeHintLabel(page, "lRShortPath", "", left + width / 2, 433, width / 2, Qt::AlignLeft);
    lBigger = MakeHintLabel(page, "lBigger", "", left, 469, width, Qt::AlignHCenter);
    lAnimation =
        MakeHintLabel(page, "lAnimation", "Animation!", left, 505, width, Qt::AlignHCenter);
    lSameName->hide();
    lSamePath->hide();
}

void TCorvaneForm::BuildHelpTab() {
    HelpTabSheet = Named(new QWidget, "HelpTabSheet");
    PageControl1->addTab(HelpTabSheet, "Help");
    Memo1 = Named(new QPlainTextEdit(HelpTabSheet), "Memo1");
    Memo1->setGeometry(0, 0, 980, 560);
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->viewport()->installEventFilter(this);
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
    connect(DBGrid2, &TDBGrid::cellClicked, this, [this](int) { DBGrid2CellClick(); });
    DBGrid2->OnKeyPress = [this](char key, bool& consumed) {
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
    if (watched == Memo1->viewport() && event->type() == QEvent::MouseButtonPress) {
        Memo1Click();
        return true;
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
        ShowMessage(Guard.RefusalMessage(name));
        return;
    }
    {
        TCommandScope scope(Guard, name);
        Run(command);
    }
    RefreshGrids();
}

void TCorvaneForm::RefreshGrids() {
    SignaturesModel->RefreshIfStale();
    MatchModel->RefreshIfStale();
}

// ------------------------------------------------------------ start-up and close

void TCorvaneForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_) return;
    shown_ = true;
    FormShow();
}

void TCorvaneForm::FormShow() {
    SelectPage(TTabPage::CompSigTabSheet);
    bool started = false;
    RunExclusive("Start-up", [this, &started] {
        // The title says which program folder is in use, and why.
        std::string description = programFolder_;
        if (!description.empty() && description.back() != '/') description += '/';
        if (programFolder_.empty()) {
            const TProgramFolder chosen = ResolveProgramFolder();
            programFolder_ = chosen.Path;
            description = DescribeProgramFolder(chosen);
        }
        setWindowTitle(QString::fromStdString("Corvane - " + description));
        engine_->StartUp(programFolder_);
        started = true;
    });
    if (started && batchRequested_) QTimer::singleShot(0, this, [this] { BatchRun(); });
}

void TCorvaneForm::closeEvent(QCloseEvent* event) {
    if (Guard.Busy()) {
        // Closing under a running command would free the tables it uses.
        ShowMessage(Guard.RefusalMessage("Quit"));
        event->ignore();
        return;
    }
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
    RunExclusive("Match Single Image", [this] { engine_->Matcher.MatchSingleButtonClick(); });
}

void TCorvaneForm::BatchRun() {
    RunExclusive("Batch run", [this] { engine_->BatchRun(); });
}

void TCorvaneForm::ClearButtonClick() {
    if (Guard.Busy()) {
        ShowMessage(Guard.RefusalMessage("Clr"));
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
    RunExclusive("Sort By", [this, &name] { SignaturesTable().SetIndexName(*name); });
}

void TCorvaneForm::DBGrid1CellClick() {
    Run([this] {
        SigFile = engine_->Signatures.SignaturesTableFilePath.AsString() +
                  engine_->Signatures.SignaturesTableFileName.AsString();
        bool loaded = false;
        LoadPictureFile(*this, SigFile, false, loaded, SigImage->Bitmap());
    });
}

void TCorvaneForm::SigImageClick() {
    ShellOpenFile(SigFile);
}

void TCorvaneForm::Memo1Click() {
    Memo1->hide();
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
    LoadPictureFile(*this, LeftFile, false, loaded, MatchImage1->Bitmap());
    LoadPictureFile(*this, RightFile, false, loaded, MatchImage2->Bitmap());
    ComputeDifferencePicture(MatchImage1->Bitmap(), MatchImage2->Bitmap(), DiffImage->Bitmap());
    DiffImage->Invalidate();
    const TPairLabels labels =
        ComputePairLabels(LeftFile, RightFile, engine_->State.ShowExtraHints);
    lSamePath->setVisible(labels.SamePath);
    lSameName->setVisible(labels.SameName);
    lLName->setText(Q(labels.LeftName));
    lRName->setText(Q(labels.RightName));
    SetLabelColour(lLName, labels.LeftNameRed ? Qt::red : Qt::black);
    SetLabelColour(lRName, labels.RightNameRed ? Qt::red : Qt::black);
    const auto apply = [](QLabel* label, const THintLabel& hint) {
        label->setText(Q(hint.Caption));
        label->setVisible(hint.Visible);
    };
    apply(lIsBMP, labels.IsBMP);
    lIsBMP->move(IsBMPLeft(MatchImage1->x(), MatchImage1->width(), MatchImage2->x()), lIsBMP->y());
    apply(lFave, labels.Fave);
    apply(lLShortPath, labels.LShortPath);
    apply(lRShortPath, labels.RShortPath);
    lBigger->setText(Q(labels.Bigger));
    apply(lAnimation, labels.Animation);
}

// ------------------------------------------------------------ file actions

TFileActions& TCorvaneForm::Actions() {
    if (!actions_)
        actions_ = std::make_unique<TFileActions>(
            SignaturesTable(), MatchTable(), trash_.get(),
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
            StatusLine->setText(Q(result.Message));
            break;
        case TActionStatus::SameFile:
            ShowMessage(result.Message);
            break;
        default:
            StatusLine->clear();
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
            StatusLine->setText(Q("Kept " + fileName));
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
    if (OnOpenUrl) {
        OnOpenUrl(fileName);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(Q(fileName)));
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
    lSignaturesDB->adjustSize();
}
void TCorvaneForm::SetMatchesLabel(const std::string& caption) {
    lMatchesDB->setText(Q(caption));
    lMatchesDB->adjustSize();
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
