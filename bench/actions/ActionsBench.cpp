// Trash and undo of one picture through TFileActions with the desktop trash,
// in a temporary home: 200 pictures, each with a signature record and two
// match rows among 2,000 rows, deleted one by one, then undone one by one.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/DesktopTrash.h"
#include "review/FileActions.h"
#include "tablestore/SignatureTables.h"

namespace fs = std::filesystem;
using namespace corvane;

namespace {

constexpr int kPictures = 200;
constexpr int kOtherRows = 2000;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main() {
    std::string pattern = (fs::temp_directory_path() / "corvane-bench-XXXXXX").string();
    const std::string root = std::string(::mkdtemp(pattern.data())) + "/";
    ::setenv("HOME", (root + "home").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (root + "home/data").c_str(), 1);
    fs::create_directories(root + "pics");
    TSignaturesTableObjects signatures;
    TMatchTableObjects matches;
    OpenProgramTables(signatures.SignaturesTable, matches.MatchTable, root);
    const std::string picture(300 * 1024, 'x');  // a typical small JPEG
    for (int i = 0; i < kPictures; ++i) {
        const std::string name = "p" + std::to_string(i) + ".jpg";
        std::ofstream(root + "pics/" + name, std::ios::binary) << picture;
        signatures.SignaturesTable.Append();
        signatures.SignaturesTableFileName.SetValue(name);
        signatures.SignaturesTableFilePath.SetValue(root + "pics/");
        signatures.SignaturesTableFileDate.SetValue(45000.5);
        signatures.SignaturesTableSignature.SetValue(std::string(192, '1'));
        signatures.SignaturesTable.Post();
        for (int k = 0; k < 2; ++k) {
            matches.MatchTable.Append();
            matches.MatchTableMaxDiff.SetValue(k);
            matches.MatchTableFile1.SetValue(root + "pics/" + name);
            matches.MatchTableFile2.SetValue(root + "other/" + std::to_string(i + k));
            matches.MatchTable.Post();
        }
    }
    for (int i = 0; i < kOtherRows - 2 * kPictures; ++i) {
        matches.MatchTable.Append();
        matches.MatchTableMaxDiff.SetValue(9);
        matches.MatchTableFile1.SetValue("/x/" + std::to_string(i));
        matches.MatchTableFile2.SetValue("/y/" + std::to_string(i));
        matches.MatchTable.Post();
    }
    TDesktopTrash trash;
    TFileActions actions(signatures.SignaturesTable, matches.MatchTable, &trash,
                         root + kUndoJournalFileName);
    using Clock = std::chrono::steady_clock;
    std::vector<double> trashMs, undoMs;
    for (int i = 0; i < kPictures; ++i) {
        const auto start = Clock::now();
        const TActionResult result = actions.Delete(root + "pics/p" + std::to_string(i) + ".jpg");
        trashMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (result.Status != TActionStatus::Done) {
            std::fprintf(stderr, "%s\n", result.Message.c_str());
            return 1;
        }
    }
    for (int i = 0; i < kPictures; ++i) {
        const auto start = Clock::now();
        const TActionResult result = actions.Undo();
        undoMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (result.Status != TActionStatus::Done) {
            std::fprintf(stderr, "%s\n", result.Message.c_str());
            return 1;
        }
    }
    std::printf(
        "trash one picture with its records (%d rows in the table): median %.2f ms, "
        "max %.2f ms\n",
        kOtherRows, Median(trashMs), *std::max_element(trashMs.begin(), trashMs.end()));
    std::printf("undo one delete: median %.2f ms, max %.2f ms\n", Median(undoMs),
                *std::max_element(undoMs.begin(), undoMs.end()));
    signatures.SignaturesTable.Close();
    matches.MatchTable.Close();
    fs::remove_all(root);
    return 0;
}
