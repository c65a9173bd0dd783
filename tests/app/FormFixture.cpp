#include "FormFixture.h"

#include <QCoreApplication>
#include <fstream>
#include <random>

namespace fs = std::filesystem;

namespace corvane {

void FormFixture::SetUp() {
    std::random_device seed;
    root = fs::temp_directory_path() / ("corvane-app-" + std::to_string(seed()));
    fs::create_directories(root / "data");
    programFolder = (root / "data").string() + "/";
}

void FormFixture::TearDown() {
    CloseForm();
    std::error_code ec;
    fs::remove_all(root, ec);
}

void FormFixture::OpenForm(bool batchRequested, const TMakeForm& make) {
    CloseForm();
    form = make ? make(programFolder, batchRequested)
                : std::make_unique<TCorvaneForm>(programFolder, batchRequested);
    form->OnShowMessage = [this](const std::string& text) { messages.push_back(text); };
    form->OnShowError = [this](const std::string& text) { errors.push_back(text); };
    form->OnOpenUrl = [this](const std::string& name) { opened.push_back(name); };
    form->OnPick = [this](const std::string& prompt, const std::vector<std::string>&, int) {
        pickPrompts.push_back(prompt);
        return pickAnswer;
    };
    form->OnChooseMoveDestination = [this](const std::string&, const std::string&) {
        return moveDestination;
    };
    form->OnConfirm = [this](const std::string& question) {
        questions.push_back(question);
        return confirmAnswer;
    };
    form->show();
    Settle();
}

void FormFixture::CloseForm() {
    if (!form) return;
    form->close();
    form.reset();
}

void FormFixture::Settle() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    form->RefreshGrids();
}

void FormFixture::AddMatch(int maxDiff, const std::string& file1, const std::string& file2) {
    TMatchTableObjects& m = form->Engine().Matches;
    m.MatchTable.Append();
    m.MatchTableMaxDiff.SetValue(maxDiff);
    m.MatchTableFile1.SetValue(file1);
    m.MatchTableFile2.SetValue(file2);
    m.MatchTable.Post();
}

void FormFixture::AddSignature(const std::string& fullName) {
    TSignaturesTableObjects& s = form->Engine().Signatures;
    const size_t slash = fullName.rfind('/');
    s.SignaturesTable.Append();
    s.SignaturesTableFileName.SetValue(fullName.substr(slash + 1));
    s.SignaturesTableFilePath.SetValue(fullName.substr(0, slash + 1));
    s.SignaturesTableSignature.SetValue(std::string(192, ' '));
    s.SignaturesTable.Post();
}

std::vector<std::string> FormFixture::MatchRows() {
    TMatchTableObjects& m = form->Engine().Matches;
    std::vector<std::string> rows;
    TBookmark here = m.MatchTable.TakeBookmark();
    m.MatchTable.SuspendViews();
    for (m.MatchTable.First(); !m.MatchTable.AtEnd(); m.MatchTable.Next())
        rows.push_back(m.MatchTableMaxDiff.AsString() + " " + m.MatchTableFile1.AsString() + " " +
                       m.MatchTableFile2.AsString());
    m.MatchTable.MoveToBookmark(here);
    m.MatchTable.ResumeViews();
    Settle();
    return rows;
}

void FormFixture::SelectMatchRow(int row, int column) {
    Settle();
    form->DBGrid2->setCurrentIndex(form->DBGrid2->model()->index(row, column));
    Settle();
}

std::string FormFixture::Path(const std::string& relative) const {
    return (root / relative).string();
}

void FormFixture::WriteFile(const std::string& relative, const std::string& content) {
    const fs::path file = root / relative;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
}

}  // namespace corvane
