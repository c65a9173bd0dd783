// The one interface between the engine and the window: every control state the
// commands read or write, plus the cursor, message processing and message
// boxes. The Qt window binds it to its widgets, the command-line program to
// its options and the terminal, the tests to plain fields (TPlainFormControls).
//
// The engine reads a control at the moment it needs it, so a value changed
// while messages are processed takes effect at its next read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "picture/loader/PictureLoader.h"

namespace corvane {

// Tab pages the batch run selects.
enum class TTabPage { CompSigTabSheet, CompMatchesTabSheet };

// Extends what the picture loader needs of the window (progress maximum and
// position, screen cursor, message processing) with everything else.
class TFormControls : public TLoadControls {
  public:
    // ---- check boxes
    virtual bool ForceCB() const = 0;
    virtual bool NormalizeCB() const = 0;
    virtual bool ColorsCB() const = 0;
    virtual bool SubDirsCB() const = 0;
    virtual bool IncrMatchCB() const = 0;
    virtual void SetNormalizeCB(bool value) = 0;
    virtual void SetColorsCB(bool value) = 0;
    virtual void SetSubDirsCB(bool value) = 0;
    virtual void SetIncrMatchCB(bool value) = 0;
    // Turn JPEG and HEIF pictures upright before the signature (ApplyOrientation).
    virtual bool ApplyOrientationCB() const = 0;
    virtual void SetApplyOrientationCB(bool value) = 0;
    // Match searches also compare turned and mirrored arrangements (Rotations).
    virtual bool RotationsCB() const = 0;
    virtual void SetRotationsCB(bool value) = 0;
    // The picture formats the directory scan accepts (Formats).
    virtual TPictureFormats Formats() const = 0;
    virtual void SetFormats(const TPictureFormats& value) = 0;
    // Removed files go to the desktop trash (the setting UseTrash).
    virtual bool UseTrashCB() const { return true; }
    virtual void SetUseTrashCB(bool) {}

    // ---- edits
    virtual std::string MarginText() const = 0;  // MarginEdit
    virtual void SetMarginText(const std::string& text) = 0;
    virtual std::string SearchPath() const = 0;  // SearchPathEdit
    virtual void SetSearchPath(const std::string& text) = 0;
    // NoMatchMemo: the ignore list, one folder per line.
    virtual std::vector<std::string> IgnoreLines() const = 0;
    virtual void SetIgnoreLines(const std::vector<std::string>& lines) = 0;

    // ---- ProgressBar1 (maximum and position: TLoadControls)
    virtual void SetProgressMin(int32_t value) = 0;
    virtual void SetProgressVisible(bool value) = 0;

    // ---- Memo2: the "Unable to process" lines, hidden until the first one.
    virtual void AddMemo2Line(const std::string& line) = 0;
    virtual std::vector<std::string> Memo2Lines() const = 0;
    virtual bool Memo2Visible() const = 0;
    virtual void SetMemo2Visible(bool value) = 0;

    // ---- record-count labels lSignaturesDB and lMatchesDB
    virtual void SetSignaturesLabel(const std::string& caption) = 0;
    virtual void SetMatchesLabel(const std::string& caption) = 0;

    // ---- the rest of the window
    // A summary message box (the window waits for OK).
    virtual void ShowMessage(const std::string& text) = 0;
    virtual void SelectPage(TTabPage page) = 0;

    // ---- long runs (compute, conversion, identify all)
    // True once the user asked the running run to stop. A run asks between
    // two pictures or records and then ends as if it had reached the end:
    // everything posted stays, and its summary carries kStoppedMark.
    virtual bool StopRequested() const { return false; }
    // The picture or record a run is at: the Index-th of Total (Total 0 when
    // not known ahead). Only for showing progress.
    virtual void ShowRunItem(const std::string& /*name*/, int64_t /*index*/, int64_t /*total*/) {}
};

// Appended to the summary of a run that was stopped.
inline constexpr const char* kStoppedMark = " (stopped)";

// Plain fields: for tests and for the command-line program, which overrides
// what it shows on the terminal.
class TPlainFormControls : public TFormControls {
  public:
    bool Force = false;
    bool Normalize = false;
    bool Colors = true;
    bool SubDirs = true;
    bool IncrMatch = false;
    bool ApplyOrientation = false;
    bool Rotations = false;
    TPictureFormats PictureFormats;
    bool UseTrash = true;
    std::string Margin = "25";
    std::string Search;
    std::vector<std::string> Ignore;
    int32_t ProgressMinValue = 0;
    int32_t ProgressMaxValue = 100;
    int32_t ProgressPositionValue = 0;
    bool ProgressVisibleValue = false;
    std::vector<std::string> Memo2;
    bool Memo2VisibleValue = false;
    std::string SignaturesLabel;
    std::string MatchesLabel;
    TCursor CursorValue = TCursor::crDefault;
    std::vector<std::string> Messages;  // every ShowMessage text
    TTabPage Page = TTabPage::CompSigTabSheet;
    int ProcessMessagesCalls = 0;
    bool Stop = false;  // StopRequested

    bool ForceCB() const override { return Force; }
    bool NormalizeCB() const override { return Normalize; }
    bool ColorsCB() const override { return Colors; }
    bool SubDirsCB() const override { return SubDirs; }
    bool IncrMatchCB() const override { return IncrMatch; }
    void SetNormalizeCB(bool value) override { Normalize = value; }
    void SetColorsCB(bool value) override { Colors = value; }
    void SetSubDirsCB(bool value) override { SubDirs = value; }
    void SetIncrMatchCB(bool value) override { IncrMatch = value; }
    bool ApplyOrientationCB() const override { return ApplyOrientation; }
    void SetApplyOrientationCB(bool value) override { ApplyOrientation = value; }
    bool RotationsCB() const override { return Rotations; }
    void SetRotationsCB(bool value) override { Rotations = value; }
    TPictureFormats Formats() const override { return PictureFormats; }
    void SetFormats(const TPictureFormats& value) override { PictureFormats = value; }
    bool UseTrashCB() const override { return UseTrash; }
    void SetUseTrashCB(bool value) override { UseTrash = value; }

    std::string MarginText() const override { return Margin; }
    void SetMarginText(const std::string& text) override { Margin = text; }
    std::string SearchPath() const override { return Search; }
    void SetSearchPath(const std::string& text) override { Search = text; }
    std::vector<std::string> IgnoreLines() const override { return Ignore; }
    void SetIgnoreLines(const std::vector<std::string>& lines) override { Ignore = lines; }

    void SetProgressMin(int32_t value) override { ProgressMinValue = value; }
    void SetProgressMax(int32_t value) override { ProgressMaxValue = value; }
    int32_t ProgressMax() const override { return ProgressMaxValue; }
    void SetProgressPosition(int32_t value) override { ProgressPositionValue = value; }
    int32_t ProgressPosition() const override { return ProgressPositionValue; }
    void SetProgressVisible(bool value) override { ProgressVisibleValue = value; }

    void AddMemo2Line(const std::string& line) override { Memo2.push_back(line); }
    std::vector<std::string> Memo2Lines() const override { return Memo2; }
    bool Memo2Visible() const override { return Memo2VisibleValue; }
    void SetMemo2Visible(bool value) override { Memo2VisibleValue = value; }

    void SetSignaturesLabel(const std::string& caption) override { SignaturesLabel = caption; }
    void SetMatchesLabel(const std::string& caption) override { MatchesLabel = caption; }

    TCursor ScreenCursor() const override { return CursorValue; }
    void SetScreenCursor(TCursor cursor) override { CursorValue = cursor; }
    void ProcessMessages() override { ++ProcessMessagesCalls; }
    void ShowMessage(const std::string& text) override { Messages.push_back(text); }
    void SelectPage(TTabPage page) override { Page = page; }
    bool StopRequested() const override { return Stop; }
};

}  // namespace corvane
