// TCorvaneForm: the main window. It owns the engine (the two tables, the
// form state, the commands) and binds TFormControls to its widgets; every
// handler does little more than call the engine or the review library.
#pragma once

#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/DBGrid.h"
#include "app/Image32.h"
#include "app/PairPanel.h"
#include "app/StatusLine.h"
#include "matching/FormControls.h"
#include "review/FileActions.h"
#include "review/GridCommands.h"
#include "scan/Engine.h"

class QCheckBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSplitter;
class QTabWidget;
class QTextBrowser;
class QTimer;
class QToolButton;

namespace corvane {

// A text box with a folder-picker button.
class TFolderEdit : public QWidget {
    Q_OBJECT
  public:
    explicit TFolderEdit(QWidget* parent = nullptr);
    QLineEdit* Edit;
    QToolButton* BrowseButton;
};

class TCorvaneForm : public QWidget, public TFormControls {
    Q_OBJECT
  public:
    // ProgramFolder: where the tables and settings live (the choice of
    // util/ProgramFolder.h when empty). BatchRequested: a command-line parameter was given.
    explicit TCorvaneForm(std::string programFolder = "", bool batchRequested = false,
                          QWidget* parent = nullptr);
    ~TCorvaneForm() override;

    TCorvaneEngine& Engine() { return *engine_; }
    TStoreTable& SignaturesTable() { return engine_->Signatures.SignaturesTable; }
    TStoreTable& MatchTable() { return engine_->Matches.MatchTable; }

    // ---- form state of the review commands
    std::string LeftFile;
    std::string RightFile;
    std::string SigFile;
    TCommandGuard Guard;

    // ---- hooks (tests replace them; defaults use dialogs and the desktop)
    std::function<void(const std::string&)> OnShowMessage;  // summary and notices
    std::function<void(const std::string&)> OnShowError;    // the error box
    std::function<std::optional<std::string>(const std::string& folder, const std::string& name)>
        OnChooseMoveDestination;
    std::function<void(const std::string&)> OnOpenUrl;  // file or folder
    std::function<int(const std::string&, const std::vector<std::string>&, int)> OnPick;
    std::function<bool(const std::string&)> OnConfirm;  // a Yes/No question

    // ---- methods
    void FormShow();
    void FormClose();
    void ShowRecordCounts();
    void ShowMatchTableImages();
    void DeleteImageFile(std::string fileName);
    void ShellOpenFile(const std::string& fileName);
    void BrowseFolderOf(const std::string& fileName);
    // Delete, move and undo with the records, through the undo journal of
    // the program folder (available after start-up).
    TFileActions& Actions();
    // Replaces the desktop trash (tests inject failures).
    void SetTrashCan(std::unique_ptr<TTrashCan> trash);
    // Re-reads the grids whose tables changed while a command held them.
    void RefreshGrids();
    // The status line: notices that need no answer (refusals, failed View or
    // Browse, what a command found, what an action did).
    void ShowStatus(const std::string& text);
    std::string StatusText() const;
    // Stop button and Esc: the running compute, conversion or identify run
    // ends after its current picture or record.
    void RequestStop();
    // Shows the signature table's current picture unless it is shown already
    // (a keyboard move in the signature grid).
    void ShowSignaturePreview();

    // ---- handlers (each catches and shows its errors)
    void QuitButtonClick();
    void ComputeButtonClick();
    void IdentifyButtonClick();
    void MatchSingleButtonClick();
    void BatchRun();
    void ClearButtonClick();
    void SortSigRGClick();
    void DBGrid1CellClick();
    void SigImageClick();
    void DBGrid2CellClick();
    void MatchSourceDataChange();
    void DBGrid2KeyPress(char& key);
    void PopupMenu1Popup();
    void DeleteLeft1Click();
    void DeleteRight1Click();
    void Timer1Timer();
    void LDeleteButtonClick();
    void RDeleteButtonClick();
    void LMoveButtonClick();
    void RMoveButtonClick();
    void LBrowseButtonClick();
    void RBrowseButtonClick();
    void LViewButtonClick();
    void RViewButtonClick();
    void MatchImage1Click();
    void MatchImage2Click();
    void DelMatchRecButtonClick();
    void UndoButtonClick();

    // ---- TFormControls
    bool ForceCB() const override;
    bool NormalizeCB() const override;
    bool ColorsCB() const override;
    bool SubDirsCB() const override;
    bool IncrMatchCB() const override;
    void SetNormalizeCB(bool value) override;
    void SetColorsCB(bool value) override;
    void SetSubDirsCB(bool value) override;
    void SetIncrMatchCB(bool value) override;
    bool ApplyOrientationCB() const override;
    void SetApplyOrientationCB(bool value) override;
    bool RotationsCB() const override;
    void SetRotationsCB(bool value) override;
    TPictureFormats Formats() const override;
    TLoadOptions ViewLoadOptions() const;
    void SetFormats(const TPictureFormats& value) override;
    bool UseTrashCB() const override;
    void SetUseTrashCB(bool value) override;
    std::string MarginText() const override;
    void SetMarginText(const std::string& text) override;
    std::string SearchPath() const override;
    void SetSearchPath(const std::string& text) override;
    std::vector<std::string> IgnoreLines() const override;
    void SetIgnoreLines(const std::vector<std::string>& lines) override;
    void SetProgressMin(int32_t value) override;
    void SetProgressMax(int32_t value) override;
    int32_t ProgressMax() const override;
    void SetProgressPosition(int32_t value) override;
    int32_t ProgressPosition() const override;
    void SetProgressVisible(bool value) override;
    void AddMemo2Line(const std::string& line) override;
    std::vector<std::string> Memo2Lines() const override;
    bool Memo2Visible() const override;
    void SetMemo2Visible(bool value) override;
    void SetSignaturesLabel(const std::string& caption) override;
    void SetMatchesLabel(const std::string& caption) override;
    TCursor ScreenCursor() const override;
    void SetScreenCursor(TCursor cursor) override;
    void ProcessMessages() override;
    void ShowMessage(const std::string& text) override;
    void SelectPage(TTabPage page) override;
    bool StopRequested() const override;
    void ShowRunItem(const std::string& name, int64_t index, int64_t total) override;

    // ---- controls
    QWidget* Panel1;
    QPushButton* QuitButton;
    QProgressBar* ProgressBar1;
    QPushButton* StopButton;
    QLabel* lProgress;  // "n of N", time left, the current file
    // Notices: refusals, failed View or Browse, what a command found, what
    // was just trashed, moved or restored (with Use trash and Undo).
    TStatusLine* StatusLine;
    QCheckBox* UseTrashCBBox;
    QPushButton* UndoButton;
    QTabWidget* PageControl1;
    QWidget* CompSigTabSheet;
    QWidget* CompMatchesTabSheet;
    QWidget* HelpTabSheet;
    // Compute Signatures
    QPushButton* ComputeButton;
    QLabel* Label1;
    TFolderEdit* SearchPathEdit;
    QCheckBox* ForceCBBox;
    QCheckBox* SubDirsCBBox;
    QCheckBox* NormalizeCBBox;
    QCheckBox* IncrMatchCBBox;
    QCheckBox* ApplyOrientationCBBox;
    std::vector<std::pair<TPictureKind, QCheckBox*>> FormatCBBoxes;
    QPushButton* ClearButton;
    QLabel* lSignaturesDB;
    QSplitter* SigSplitter;  // signature grid | preview column
    TDBGrid* DBGrid1;
    TImage32* SigImage;
    QPushButton* MatchSingleButton;
    QPlainTextEdit* Memo2;
    QGroupBox* SortSigRG;
    QRadioButton* SortByName;
    QRadioButton* SortByDate;
    // Compute Matches
    QPushButton* IdentifyButton;
    QLabel* Label2;
    QLineEdit* MarginEdit;
    QCheckBox* ColorsCBBox;
    QCheckBox* RotationsCBBox;
    QLabel* lMatchesDB;
    QSplitter* MatchSplitter;     // grid and ignore list above, pair view below
    QSplitter* MatchTopSplitter;  // grid | ignore list
    TPairPanel* PairView;
    TDBGrid* DBGrid2;
    TImage32* MatchImage1;
    TImage32* MatchImage2;
    TImage32* DiffImage;
    QPushButton* LBrowseButton;
    QPushButton* LDeleteButton;
    QPushButton* LMoveButton;
    QPushButton* DelMatchRecButton;
    QPushButton* RDeleteButton;
    QPushButton* RBrowseButton;
    QPushButton* RMoveButton;
    QPushButton* LViewButton;
    QPushButton* RViewButton;
    QLabel* Label3;
    QPlainTextEdit* NoMatchMemo;
    TElidedLabel* lLName;
    TElidedLabel* lRName;
    QLabel* lIsBMP;
    QLabel* lSameName;
    QLabel* lSamePath;
    QLabel* lFave;
    QLabel* lLShortPath;
    QLabel* lRShortPath;
    QLabel* lBigger;
    QLabel* lAnimation;
    // Help
    QTextBrowser* Memo1;
    // Non-visual
    QMenu* PopupMenu1;
    QAction* DeleteLeft1;
    QAction* DeleteRight1;
    QAction* Close1;
    QTimer* Timer1;
    TTableModel* SignaturesModel;
    TTableModel* MatchModel;
    TDataSource SignaturesSource;
    TDataSource MatchSource;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildPanel();
    void BuildActionBar();
    bool Confirm(const std::string& question);
    // Shows what a file action did: the status line, or the reason.
    void ShowActionResult(const TActionResult& result);
    // After a file action: the views empty, the pair and the counts anew.
    void AfterFileAction();
    void BuildSignaturesTab();
    void BuildFormatsRow(QHBoxLayout* row, QWidget* page);
    void BuildMatchesTab();
    void BuildHelpTab();
    void BuildNonVisual();
    void BuildTabOrder();
    void RestoreWindowLayout();
    void SaveWindowLayout();
    void ApplyDefaultSplits();
    void ConnectHandlers();
    void SetHint(QWidget* widget, const std::string& text);
    // Runs a handler, showing any error in the error box.
    void Run(const std::function<void()>& handler);
    // Runs a command that must not overlap another long or destructive one.
    void RunExclusive(const std::string& name, const std::function<void()>& command);
    void ShowError(const std::string& text);
    void ShowPairOnce();
    void MoveSide(std::string fileName, TImage32* view);
    std::string CurrentMatchFile(int side) const;
    void ApplyProgress();
    bool IsStoppableRun(const std::string& name) const;
    void SetRunning(const std::string& name);
    void ShowPictureInfo();

    std::unique_ptr<TCorvaneEngine> engine_;
    std::unique_ptr<TTrashCan> trash_;
    std::unique_ptr<TFileActions> actions_;
    std::string programFolder_;
    std::string folderDescription_;  // with the reason for the choice, when chosen here
    std::string defaultSearchPath_;
    bool batchRequested_;
    bool shown_ = false;
    bool closed_ = false;
    bool showingPair_ = false;
    bool reshowPending_ = false;
    bool walking_ = false;
    int32_t progressMin_ = 0;
    int32_t progressMax_ = 100;
    int32_t progressPosition_ = 100;
    TCursor cursor_ = TCursor::crDefault;
    std::vector<QSplitter*> unsplit_;  // not yet given their first sizes
    bool stopRequested_ = false;
    bool closeAfterRun_ = false;
    // Progress line of the running run, refreshed at most every 100 ms.
    std::string runName_;
    int64_t runIndex_ = 0;
    int64_t runTotal_ = 0;
    std::chrono::steady_clock::time_point runItemsStart_;
    std::chrono::steady_clock::time_point progressShown_;
};

}  // namespace corvane
