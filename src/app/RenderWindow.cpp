#include "app/RenderWindow.h"

#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <cstdlib>
#include <filesystem>

#include "app/CorvaneUnit.h"
#include "app/GroupsTab.h"
#include "app/PickStrToIntUnit.h"
#include "review/GridCommands.h"
#include "scan/TextFiles.h"

namespace fs = std::filesystem;

namespace corvane {

namespace {

using TPainter = TColor32 (*)(int32_t x, int32_t y, int32_t w, int32_t h);

TColor32 Rgb(int r, int g, int b) {
    return 0xFF000000u | (uint32_t(r & 255) << 16) | (uint32_t(g & 255) << 8) | uint32_t(b & 255);
}

TColor32 Sunset(int32_t x, int32_t y, int32_t w, int32_t h) {
    const int sky = 255 * y / h;
    const bool sun = (x - w / 2) * (x - w / 2) + (y - h / 2) * (y - h / 2) < (h / 5) * (h / 5);
    return sun ? Rgb(255, 220, 60) : Rgb(255 - sky / 3, 120 + sky / 3, 40 + sky / 2 + x * 60 / w);
}

TColor32 SunsetEdited(int32_t x, int32_t y, int32_t w, int32_t h) {
    const TColor32 c = Sunset(x, y, w, h);
    return (x > w * 3 / 4 && y < h / 4) ? Rgb(30, 30, 160) : c;  // a patch painted over
}

TColor32 Flower(int32_t x, int32_t y, int32_t w, int32_t h) {
    const int dx = x - w / 2, dy = y - h / 3;
    const int r2 = dx * dx + dy * dy;
    if (r2 < (w / 10) * (w / 10)) return Rgb(250, 200, 0);
    if (r2 < (w / 3) * (w / 3) && ((dx * dy > 0) != (std::abs(dx) < std::abs(dy))))
        return Rgb(220, 40, 120);
    return y > h * 2 / 3 ? Rgb(40, 140, 40) : Rgb(150, 200, 240);
}

TColor32 Checker(int32_t x, int32_t y, int32_t, int32_t) {
    return ((x / 32 + y / 32) % 2) ? Rgb(20, 20, 20) : Rgb(235, 235, 235);
}

struct TSample {
    const char* Name;
    int32_t Width, Height;
    TPainter Painter;
};

}  // namespace

std::vector<std::string> WriteSamplePictures(const std::string& folder) {
    const TSample samples[] = {
        {"Holiday/sunset.jpg", 320, 240, Sunset},
        {"Holiday/sunset1.jpg", 320, 240, SunsetEdited},
        {"Backup/Holiday/sunset.jpg", 320, 240, Sunset},
        {"Garden/flower.jpg", 200, 300, Flower},
        {"Garden/small/flower.jpg", 100, 150, Flower},
        {"Misc/checker.jpg", 256, 256, Checker},
    };
    TPlainFormControls controls;
    TCorvaneEngine engine(controls);
    std::vector<std::string> written;
    for (const TSample& sample : samples) {
        const fs::path target = fs::path(folder) / sample.Name;
        fs::create_directories(target.parent_path());
        fs::remove(target);
        engine.Image.SetSize(sample.Width, sample.Height);
        for (int32_t y = 0; y < sample.Height; ++y)
            for (int32_t x = 0; x < sample.Width; ++x)
                engine.Image.SetPixel(x, y, sample.Painter(x, y, sample.Width, sample.Height));
        engine.SaveRasterAsJpeg(target.string());
        written.push_back(target.string());
    }
    return written;
}

namespace {

std::string Grab(QWidget* widget, const fs::path& file) {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
    widget->grab().save(QString::fromStdString(file.string()), "PNG");
    return file.string();
}

// The window, grabbed once in the middle of its compute run.
class TRenderForm : public TCorvaneForm {
  public:
    using TCorvaneForm::TCorvaneForm;
    fs::path ComputingFile;
    std::vector<std::string>* Files = nullptr;

    void ShowRunItem(const std::string& name, int64_t index, int64_t total) override {
        TCorvaneForm::ShowRunItem(name, index, total);
        if (index != 3 || ComputingFile.empty() || Guard.Running() != "Compute Signatures") return;
        // Long enough at 3 items for an estimate to show.
        Files->push_back(Grab(this, ComputingFile));
        ComputingFile.clear();
    }
};

}  // namespace

std::vector<std::string> RenderWindowToPng(const std::string& outDir, int width, int height) {
    const fs::path out = fs::absolute(outDir);
    const fs::path data = out / "sample-data";
    const fs::path pictures = out / "sample-pictures";
    fs::remove_all(data);
    fs::create_directories(data);
    // Thumbnails of the sample go to a cache of their own.
    ::setenv("XDG_CACHE_HOME", (out / "sample-cache").c_str(), 1);
    WriteSamplePictures(pictures.string());
    {
        TIniFile ini((data / "Corvane.INI").string());
        ini.WriteString("Params", "SearchPath", pictures.string() + "/");
        ini.WriteString("Params", "Margin", "25");
    }
    WriteTextLines((data / "tivrel.txt").string(), {});

    std::vector<std::string> files;
    TRenderForm form(data.string() + "/");
    std::vector<std::string> messages;
    form.OnShowMessage = [&messages](const std::string& text) { messages.push_back(text); };
    form.OnShowError = [&messages](const std::string& text) { messages.push_back(text); };
    form.resize(width, height);
    form.show();
    form.resize(width, height);
    files.push_back(Grab(&form, out / "first-start.png"));
    form.ComputingFile = out / "computing.png";
    form.Files = &files;
    form.ComputeButtonClick();
    form.IdentifyButtonClick();
    form.RefreshGrids();
    // A picture in the signature grid and the closest pair in the match grid.
    form.DBGrid1->setCurrentIndex(form.DBGrid1->model()->index(1, 0));
    form.DBGrid2->setCurrentIndex(form.DBGrid2->model()->index(0, 1));
    form.SelectPage(TTabPage::CompSigTabSheet);
    files.push_back(Grab(&form, out / "signatures.png"));
    form.SelectPage(TTabPage::CompMatchesTabSheet);
    files.push_back(Grab(&form, out / "pair.png"));
    form.PageControl1->setCurrentWidget(form.GroupsTab);
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
    form.GroupsTab->SelectByRules();
    form.GroupsTab->Thumbnails->WaitForDone();
    form.GroupsTab->WaitForPreview();
    files.push_back(Grab(&form, out / "groups.png"));
    form.PageControl1->setCurrentWidget(form.HelpTabSheet);
    files.push_back(Grab(&form, out / "help.png"));

    TPickStrToIntForm chooser;
    chooser.ButtonCount = 2;
    chooser.Prompt = kDeleteQuestion;
    chooser.Captions[1] = kDeleteLeftCaption;
    chooser.Captions[2] = kDeleteRightCaption;
    chooser.show();
    files.push_back(Grab(&chooser, out / "chooser.png"));
    chooser.hide();
    form.close();
    return files;
}

}  // namespace corvane
