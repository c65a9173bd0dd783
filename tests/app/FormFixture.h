// A main window on a fresh program folder, with every dialog and desktop
// call replaced by a recorder.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CorvaneUnit.h"

namespace corvane {

class FormFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Creates (or re-creates) the window on the program folder and shows it;
    // Make builds a window of a test's own kind.
    using TMakeForm = std::function<std::unique_ptr<TCorvaneForm>(const std::string&, bool)>;
    void OpenForm(bool batchRequested = false, const TMakeForm& make = nullptr);
    void CloseForm();

    // Appends a match row directly.
    void AddMatch(int maxDiff, const std::string& file1, const std::string& file2);
    // Appends a signature record directly.
    void AddSignature(const std::string& fullName);
    std::vector<std::string> MatchRows();  // "MaxDiff File1 File2" in order
    // Moves the match grid (and so the table) to Row and settles.
    void SelectMatchRow(int row, int column = 1);
    void Settle();
    std::string Path(const std::string& relative) const;
    void WriteFile(const std::string& relative, const std::string& content);

    std::filesystem::path root;
    std::string programFolder;  // ends in "/"
    std::unique_ptr<TCorvaneForm> form;
    std::vector<std::string> messages;
    std::vector<std::string> errors;
    std::vector<std::string> opened;
    int pickAnswer = 0;
    std::vector<std::string> pickPrompts;
    std::optional<std::string> moveDestination;
    bool confirmAnswer = true;
    std::vector<std::string> questions;  // every Yes/No question asked
};

}  // namespace corvane
