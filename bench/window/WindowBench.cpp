// Grids over 100,000 rows (open, scroll, follow a deleted row), the cost of
// showing a pair beyond its two picture loads at 1920 x 1080, how soon Stop
// ends a compute run, and how long the event loop waits during a compute on
// two workers. Prints its figures.
// Targets: open and scroll without lag; a pair within two loads + 20 ms;
// a stop within 200 ms + one picture's load; event loop latency <= 50 ms.
#include <QApplication>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>

#include "app/CorvaneUnit.h"
#include "app/RenderWindow.h"

namespace fs = std::filesystem;
using namespace corvane;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

template <class F>
double Time(F&& f) {
    const auto start = Clock::now();
    f();
    return Ms(Clock::now() - start);
}

// This thread's processor time: what a run costs on a busy machine, where
// wall time also counts the waits for a processor.
double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

template <class F>
double CpuTime(F&& f) {
    const double start = ThreadCpuMs();
    f();
    return ThreadCpuMs() - start;
}

void FillMatches(TMatchTableObjects& m, int rows) {
    m.MatchTable.SuspendViews();
    char name[64];
    for (int i = 0; i < rows; ++i) {
        m.MatchTable.Append();
        m.MatchTableMaxDiff.SetValue(i % 100);
        std::snprintf(name, sizeof name, "/pictures/folder%03d/IMG_%06d.jpg", i % 500, i);
        m.MatchTableFile1.SetValue(name);
        std::snprintf(name, sizeof name, "/pictures/other%03d/IMG_%06d.jpg", i % 300, i);
        m.MatchTableFile2.SetValue(name);
        m.MatchTable.Post();
    }
    m.MatchTable.ResumeViews();
}

// Pictures of Width x Height, each a little different, as JPEG files.
void WritePictures(const fs::path& folder, int count, int32_t width, int32_t height) {
    fs::create_directories(folder);
    TPlainFormControls controls;
    TCorvaneEngine engine(controls);
    engine.Image.SetSize(width, height);
    for (int i = 0; i < count; ++i) {
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x)
                engine.Image.SetPixel(x, y, 0xFF000000u | (uint32_t(x * (y + i)) & 0xFFFFFF));
        engine.SaveRasterAsJpeg((folder / ("p" + std::to_string(i) + ".jpg")).string());
    }
}

// A window that presses Stop when its compute run reaches StopAt and notes
// the time.
class TStopTimingForm : public TCorvaneForm {
  public:
    using TCorvaneForm::TCorvaneForm;
    int64_t StopAt = 0;
    Clock::time_point Pressed;
    void ShowRunItem(const std::string& name, int64_t index, int64_t total) override {
        TCorvaneForm::ShowRunItem(name, index, total);
        if (index != StopAt) return;
        Pressed = Clock::now();
        StopButton->click();
    }
};

void BenchStopAndLatency(const fs::path& root) {
    const fs::path pics = root / "run-pictures";
    const int count = 40;
    WritePictures(pics, count, 1600, 1200);
    TPlainFormControls controls;
    TBitmap32 raster;
    bool loaded = false;
    const double load =
        Time([&] { LoadPictureFile(controls, (pics / "p1.jpg").string(), false, loaded, raster); });

    TStopTimingForm form((root / "data").string() + "/");
    form.OnShowMessage = [](const std::string&) {};
    form.OnShowError = [](const std::string& e) { std::fprintf(stderr, "%s\n", e.c_str()); };
    form.OnConfirm = [](const std::string&) { return true; };
    form.resize(1920, 1080);
    form.show();
    QApplication::processEvents();
    form.Engine().Workers = 2;
    form.SetSearchPath(pics.string() + "/");

    // Stop: from the press to the end of the run (its summary and counts).
    form.ClearButtonClick();
    form.StopAt = 8;
    form.ComputeButtonClick();
    const double stop = Ms(Clock::now() - form.Pressed);
    std::printf("stop during a compute of %d pictures of 1600 x 1200 on 2 workers:\n", count);
    std::printf(
        "  one picture's load %.1f ms; stop took effect in %.1f ms"
        " (target <= 200 + %.1f), %d records kept\n",
        load, stop, load, form.SignaturesTable().RecordCount());

    // Event loop latency: a 10 ms timer during a whole compute run; the
    // latency is how much later than due each tick comes.
    form.ClearButtonClick();
    form.StopAt = 0;
    std::vector<double> late;
    Clock::time_point last = Clock::now();
    QTimer tick;
    tick.setInterval(10);
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const Clock::time_point now = Clock::now();
        late.push_back(std::max(0.0, Ms(now - last) - 10.0));
        last = now;
    });
    tick.start();
    last = Clock::now();
    const double run = Time([&] { form.ComputeButtonClick(); });
    tick.stop();
    std::sort(late.begin(), late.end());
    const double p99 = late.empty() ? 0 : late[late.size() * 99 / 100];
    std::printf(
        "  event loop during a full compute (%.0f ms, %zu ticks): latency max %.1f ms,"
        " 99th percentile %.1f ms (target <= 50)\n",
        run, late.size(), late.empty() ? 0.0 : late.back(), p99);
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    const fs::path root = fs::temp_directory_path() / "corvane-bench-window";
    fs::remove_all(root);
    fs::create_directories(root / "data");
    const int rows = 100000;
    {
        TCorvaneForm form((root / "data").string() + "/");
        form.OnShowMessage = [](const std::string&) {};
        form.OnShowError = [](const std::string& e) { std::fprintf(stderr, "%s\n", e.c_str()); };
        form.show();
        QApplication::processEvents();
        const double fill = Time([&] { FillMatches(form.Engine().Matches, rows); });
        form.SelectPage(TTabPage::CompMatchesTabSheet);
        const double open = Time([&] {
            form.RefreshGrids();
            QApplication::processEvents();
        });
        std::printf("match grid, %d rows: table filled in %.0f ms (not the grid)\n", rows, fill);
        std::printf("  open (walk + first paint):      %8.1f ms\n", open);
        QScrollBar* bar = form.DBGrid2->verticalScrollBar();
        const int steps = 200;
        const double scroll = Time([&] {
            for (int i = 0; i < steps; ++i) {
                bar->setValue(bar->maximum() * i / steps);
                form.DBGrid2->repaint();
            }
        });
        std::printf("  scroll + repaint, per step:     %8.2f ms\n", scroll / steps);
        std::mt19937 random(1);
        const int moves = 200;
        const double move = Time([&] {
            for (int i = 0; i < moves; ++i)
                form.DBGrid2->setCurrentIndex(form.DBGrid2->model()->index(random() % rows, 1));
        });
        std::printf("  jump to a random row (table follows, pair shown), per move: %6.2f ms\n",
                    move / moves);
        const double keyK = Time([&] {
            form.DelMatchRecButtonClick();
            QApplication::processEvents();
        });
        std::printf("  delete the current row (K), grid follows: %8.1f ms\n", keyK);
    }
    {
        // A pair: two 1600 x 1200 JPEG pictures of equal size.
        const fs::path pics = root / "pics";
        fs::create_directories(pics);
        TPlainFormControls controls;
        TCorvaneEngine engine(controls);
        engine.Image.SetSize(1600, 1200);
        for (int32_t y = 0; y < 1200; ++y)
            for (int32_t x = 0; x < 1600; ++x)
                engine.Image.SetPixel(x, y, 0xFF000000u | (uint32_t(x * y) & 0xFFFFFF));
        engine.SaveRasterAsJpeg((pics / "a.jpg").string());
        engine.Image.SetPixel(5, 5, 0xFFFFFFFFu);
        engine.SaveRasterAsJpeg((pics / "b.jpg").string());
        TCorvaneForm form((root / "data").string() + "/");
        form.OnShowMessage = [](const std::string&) {};
        form.OnConfirm = [](const std::string&) { return true; };
        form.resize(1920, 1080);
        form.show();
        QApplication::processEvents();
        form.ClearButtonClick();
        TMatchTableObjects& m = form.Engine().Matches;
        m.MatchTable.SuspendViews();
        m.MatchTable.Append();
        m.MatchTableMaxDiff.SetValue(1);
        m.MatchTableFile1.SetValue((pics / "a.jpg").string());
        m.MatchTableFile2.SetValue((pics / "b.jpg").string());
        m.MatchTable.Post();
        m.MatchTable.ResumeViews();
        form.SelectPage(TTabPage::CompMatchesTabSheet);
        const int runs = 10;
        TBitmap32 raster;
        bool loaded = false;
        const auto twoLoads = [&] {
            for (int i = 0; i < runs; ++i) {
                LoadPictureFile(controls, (pics / "a.jpg").string(), false, loaded, raster);
                LoadPictureFile(controls, (pics / "b.jpg").string(), false, loaded, raster);
            }
        };
        const auto showPairs = [&] {
            for (int i = 0; i < runs; ++i) {
                form.ShowMatchTableImages();
                form.MatchImage1->repaint();
                form.MatchImage2->repaint();
                form.DiffImage->repaint();
            }
        };
        const double loads = Time(twoLoads) / runs;
        const double pair = Time(showPairs) / runs;
        const double loadsCpu = CpuTime(twoLoads) / runs;
        const double pairCpu = CpuTime(showPairs) / runs;
        std::printf(
            "pair of 1600 x 1200 JPEG pictures at %d x %d: two loads %.1f ms, shown and painted"
            " %.1f ms, overhead %.1f ms; processor time: %.1f, %.1f, overhead %.1f ms"
            " (target <= 20)\n",
            form.width(), form.height(), loads, pair, pair - loads, loadsCpu, pairCpu,
            pairCpu - loadsCpu);
    }
    BenchStopAndLatency(root);
    fs::remove_all(root);
    return 0;
}
