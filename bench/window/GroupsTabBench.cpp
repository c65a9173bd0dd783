// The "Review Groups" tab over 50,000 groups: the time from opening the tab
// to its list ready and painted, and the time from moving to the next group
// to its first thumbnail painted when the thumbnails are cached (in memory,
// and only in the freedesktop cache on disk), besides a cold move that
// decodes. Prints its figures.
// Targets: opens at once; the first thumbnail of the next group within 100 ms
// when cached.
#include <QApplication>
#include <QTreeView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/CorvaneUnit.h"
#include "app/GroupsTab.h"

namespace fs = std::filesystem;
using namespace corvane;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kGroups = 50000;
constexpr int kPictureGroups = 12;  // groups of real files, listed first

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Pictures of 1600 x 1200, each a little different, as JPEG files.
std::vector<std::string> WritePictures(const fs::path& folder, int count) {
    fs::create_directories(folder);
    TPlainFormControls controls;
    TCorvaneEngine engine(controls);
    engine.Image.SetSize(1600, 1200);
    std::vector<std::string> files;
    for (int i = 0; i < count; ++i) {
        for (int32_t y = 0; y < 1200; ++y)
            for (int32_t x = 0; x < 1600; ++x)
                engine.Image.SetPixel(x, y, 0xFF000000u | (uint32_t(x * (y + i)) & 0xFFFFFF));
        files.push_back((folder / ("p" + std::to_string(i) + ".jpg")).string());
        engine.SaveRasterAsJpeg(files.back());
    }
    return files;
}

void AddRow(TMatchTableObjects& m, int maxDiff, const std::string& a, const std::string& b) {
    m.MatchTable.Append();
    m.MatchTableMaxDiff.SetValue(maxDiff);
    m.MatchTableFile1.SetValue(a);
    m.MatchTableFile2.SetValue(b);
    m.MatchTable.Post();
}

// kPictureGroups groups of four real files, then groups of two and three
// names that are not on disk: kGroups in all.
void FillMatches(TMatchTableObjects& m, const std::vector<std::string>& files) {
    m.MatchTable.SuspendViews();
    for (int g = 0; g < kPictureGroups; ++g)
        for (int k = 1; k < 4; ++k) AddRow(m, k, files[g * 4], files[g * 4 + k]);
    char a[96], b[96];
    for (int g = kPictureGroups; g < kGroups; ++g) {
        std::snprintf(a, sizeof a, "/pictures/folder%03d/IMG_%06d.jpg", g % 500, g);
        for (int k = 1; k <= 1 + g % 2; ++k) {
            std::snprintf(b, sizeof b, "/pictures/copies%03d/IMG_%06d_%d.jpg", g % 300, g, k);
            AddRow(m, g % 20, a, b);
        }
    }
    m.MatchTable.ResumeViews();
}

template <class F>
void Until(F&& done) {
    const auto start = Clock::now();
    while (!done() && Clock::now() - start < std::chrono::seconds(30))
        QApplication::processEvents(QEventLoop::AllEvents, 5);
}

// From the move to the next group to its first thumbnail painted.
double MoveToNext(TGroupsTab& tab) {
    const int row = tab.GroupList->currentIndex().row() + 1;
    const auto start = Clock::now();
    tab.ShowListedGroup(row);
    Until([&] { return tab.MemberModel->ThumbnailsShown() > 0; });
    return Ms(Clock::now() - start);
}

void PrintMoves(const char* what, const std::vector<double>& times) {
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    std::printf("  %-44s median %6.1f ms, worst %6.1f ms (%zu moves)\n", what,
                sorted[sorted.size() / 2], sorted.back(), sorted.size());
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const fs::path root = fs::temp_directory_path() / "corvane-bench-groups-tab";
    fs::remove_all(root);
    fs::create_directories(root / "data");
    ::setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);  // not the user's thumbnails
    QApplication application(argc, argv);
    const std::vector<std::string> files = WritePictures(root / "pictures", kPictureGroups * 4);
    {
        TCorvaneForm form((root / "data").string() + "/");
        form.OnShowMessage = [](const std::string&) {};
        form.OnShowError = [](const std::string& e) { std::fprintf(stderr, "%s\n", e.c_str()); };
        form.resize(1280, 800);
        form.show();
        QApplication::processEvents();
        form.SetMarginText("25");
        FillMatches(form.Engine().Matches, files);
        form.RefreshGrids();
        TGroupsTab& tab = *form.GroupsTab;

        // The core's part of an open, alone (no thumbnails being made meanwhile).
        {
            TGroupReview review;
            const auto t0 = Clock::now();
            form.MatchTable().SuspendViews();
            form.SignaturesTable().SuspendViews();
            review.Load(form.Engine().Matches, form.Engine().Signatures,
                        (root / "data").string() + "/");
            form.MatchTable().ResumeViews();
            form.SignaturesTable().ResumeViews();
            const auto t1 = Clock::now();
            review.Regroup(25, true);
            const auto t2 = Clock::now();
            review.ListedGroups(TGroupReview::TOrder::Largest);
            const auto t3 = Clock::now();
            std::printf(
                "Core alone, %zu groups: tables read %.0f ms, grouped %.0f ms, listed %.0f ms\n",
                review.Groups().Count(), Ms(t1 - t0), Ms(t2 - t1), Ms(t3 - t2));
        }

        // Open: the tab shown, the table read, the groups formed, listed and painted.
        const auto start = Clock::now();
        form.PageControl1->setCurrentWidget(&tab);
        Until([&] { return tab.GroupModel->rowCount() > 0; });
        const double ready = Ms(Clock::now() - start);
        tab.repaint();
        const double painted = Ms(Clock::now() - start);
        std::printf("Review Groups tab, %zu groups from %d match rows:\n",
                    tab.Review.Groups().Count(), form.MatchTable().RecordCount());
        std::printf("  open: list ready %.0f ms, painted %.0f ms\n", ready, painted);

        // Cold: every move decodes its pictures (1600 x 1200 JPEG) and fills the cache.
        std::vector<double> cold, memory, disk;
        tab.ShowListedGroup(0);
        tab.Thumbnails->WaitForDone();
        for (int i = 1; i < kPictureGroups / 2; ++i) {
            // The next groups are fetched ahead while the user looks: not here.
            tab.Thumbnails->WaitForDone();
            QApplication::processEvents();
            for (const std::string& file : files) tab.Thumbnails->Forget(file);
            fs::remove_all(root / "cache");
            cold.push_back(MoveToNext(tab));
        }
        tab.Thumbnails->WaitForDone();
        // Warm: all in memory (the next groups were fetched ahead), then only on disk.
        for (int pass = 0; pass < 2; ++pass) {
            tab.ShowListedGroup(0);
            for (int i = 1; i < kPictureGroups; ++i) {
                tab.Thumbnails->WaitForDone();
                QApplication::processEvents();
                if (pass == 1)
                    for (const std::string& file : files) tab.Thumbnails->Forget(file);
                (pass == 0 ? memory : disk).push_back(MoveToNext(tab));
            }
        }
        std::printf("Next group to its first thumbnail painted:\n");
        PrintMoves("cold (decoded, 1600 x 1200 JPEG):", cold);
        PrintMoves("cached, in memory (fetched ahead):", memory);
        PrintMoves("cached on disk only (freedesktop cache):", disk);
        tab.Thumbnails->WaitForDone();

        // Trash Selected: each file through the window's file actions (journal,
        // records, match rows), here names not on disk, so only records go.
        const int trashed = 100;
        tab.ClearSelection();
        for (int row = kPictureGroups; row < kPictureGroups + trashed; ++row)
            tab.Review.Selection().SetSelected(tab.GroupModel->GroupAt(row), 1, true);
        form.OnConfirm = [](const std::string&) { return true; };
        const auto trashStart = Clock::now();
        tab.TrashSelected();
        Until([&] { return tab.Review.SelectedFiles().empty(); });
        std::printf("Trash Selected, %d files in a table of %d rows: %.1f ms per file\n", trashed,
                    form.MatchTable().RecordCount(), Ms(Clock::now() - trashStart) / trashed);
        form.close();
    }
    fs::remove_all(root);
    return 0;
}
