// Grouping quality on a generated labelled folder: per original picture a
// JPEG, a copy resized to half, recompressed at qualities 95, 75, 50 and 30,
// brightened, cropped by 2 %, converted to BMP and to GIF (ten files of one
// label), plus unrelated pictures. After compute and identify (margin 50,
// per channel) the groups at margins 10, 25 and 50 in both modes are scored:
// precision = grouped pairs of one label / grouped pairs; recall = grouped
// pairs of one label / pairs of one label.
// Usage: bench_group_quality [--originals N] [--unrelated N] [WORK_FOLDER]
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>

#include "../../tests/scan/TestPictures.h"
#include "review/GroupReview.h"
#include "scan/Engine.h"

using namespace corvane;
using namespace corvane::test;

namespace {

// A scene: a two-colour gradient in a random direction, a few ellipses of
// random colours, a little noise.
TPattern MakeScene(uint32_t seed, int width = 320, int height = 240) {
    std::mt19937 random(seed);
    auto uniform = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(random);
    };
    TPattern scene{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
    int from[3];
    int to[3];
    for (int c = 0; c < 3; ++c) {
        from[c] = uniform(0, 255);
        to[c] = uniform(0, 255);
    }
    const double angle = uniform(0, 359) * 3.14159265 / 180;
    const double dx = std::cos(angle), dy = std::sin(angle);
    struct TBlob {
        int X, Y, Rx, Ry;
        uint8_t Color[3];
    };
    std::vector<TBlob> blobs(static_cast<size_t>(uniform(3, 7)));
    for (TBlob& b : blobs) {
        b = {uniform(0, width),
             uniform(0, height),
             uniform(10, width / 3),
             uniform(10, height / 3),
             {}};
        for (uint8_t& v : b.Color) v = static_cast<uint8_t>(uniform(0, 255));
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double t = std::clamp(
                0.5 + ((x - width / 2) * dx + (y - height / 2) * dy) / (width + height), 0.0, 1.0);
            uint8_t* p = &scene.Bgr[(static_cast<size_t>(y) * width + x) * 3];
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<uint8_t>(from[c] + (to[c] - from[c]) * t);
            for (const TBlob& b : blobs) {
                const double u = double(x - b.X) / b.Rx, v = double(y - b.Y) / b.Ry;
                if (u * u + v * v <= 1)
                    for (int c = 0; c < 3; ++c) p[c] = b.Color[c];
            }
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<uint8_t>(std::clamp(p[c] + uniform(-6, 6), 0, 255));
        }
    }
    return scene;
}

TPattern HalfSize(const TPattern& in) {
    TPattern out{in.Width / 2, in.Height / 2, {}};
    out.Bgr.resize(static_cast<size_t>(out.Width) * out.Height * 3);
    for (int y = 0; y < out.Height; ++y)
        for (int x = 0; x < out.Width; ++x)
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int k = 0; k < 4; ++k)
                    sum +=
                        in.Bgr[(static_cast<size_t>(2 * y + k / 2) * in.Width + 2 * x + k % 2) * 3 +
                               c];
                out.Bgr[(static_cast<size_t>(y) * out.Width + x) * 3 + c] =
                    static_cast<uint8_t>(sum / 4);
            }
    return out;
}

TPattern Brightened(TPattern picture, int amount) {
    for (uint8_t& v : picture.Bgr) v = static_cast<uint8_t>(std::min(255, v + amount));
    return picture;
}

// 1 % off every edge: 2 % of the width and of the height.
TPattern Cropped(const TPattern& in) {
    const int mx = std::max(1, in.Width / 100), my = std::max(1, in.Height / 100);
    TPattern out{in.Width - 2 * mx, in.Height - 2 * my, {}};
    for (int y = 0; y < out.Height; ++y) {
        const uint8_t* row = &in.Bgr[(static_cast<size_t>(y + my) * in.Width + mx) * 3];
        out.Bgr.insert(out.Bgr.end(), row, row + static_cast<size_t>(out.Width) * 3);
    }
    return out;
}

void WriteFolder(const std::string& folder, int originals, int unrelated) {
    for (int o = 0; o < originals; ++o) {
        const TPattern scene = MakeScene(1000 + static_cast<uint32_t>(o));
        const std::string stem = folder + Format("o%03d-", o);
        WriteJpeg(stem + "original.jpg", scene, 90);
        WriteJpeg(stem + "half.jpg", HalfSize(scene), 90);
        for (int quality : {95, 75, 50, 30})
            WriteJpeg(stem + Format("q%d.jpg", quality), scene, quality);
        WriteJpeg(stem + "bright.jpg", Brightened(scene, 20), 90);
        WriteJpeg(stem + "crop.jpg", Cropped(scene), 90);
        WriteBmp(stem + "bitmap.bmp", scene);
        WriteGif(stem + "palette.gif", scene);
    }
    for (int u = 0; u < unrelated; ++u)
        WriteJpeg(folder + Format("u%04d.jpg", u), MakeScene(50000 + static_cast<uint32_t>(u)), 85);
}

// The original's number, or -1 - n for the n-th unrelated picture.
int LabelOf(std::string_view fullName) {
    const std::string name = ExtractFileName(std::string(fullName));
    const int number = std::atoi(name.c_str() + 1);
    return name[0] == 'o' ? number : -1 - number;
}

void Score(const TGroupReview& review, int margin, bool perChannel, int originals) {
    const TGroups& groups = review.Groups();
    long grouped = 0, right = 0;
    for (size_t g = 0; g < groups.Count(); ++g) {
        const auto members = groups.Group(g);
        for (size_t i = 0; i < members.size(); ++i)
            for (size_t j = i + 1; j < members.size(); ++j) {
                ++grouped;
                right += LabelOf(review.Name(members[i].Picture)) ==
                         LabelOf(review.Name(members[j].Picture));
            }
    }
    const long truth = static_cast<long>(originals) * 45;  // ten files per original
    std::printf("  margin %2d %-6s: %4zu groups, %5ld grouped pairs, precision %.3f, recall %.3f;",
                margin, perChannel ? "colors" : "sum", groups.Count(), grouped,
                grouped ? double(right) / grouped : 1.0, double(right) / truth);
    // Per kind of copy: how often it shares a group with its original.
    std::map<std::string, size_t> groupOf;
    for (size_t g = 0; g < groups.Count(); ++g)
        for (const TGroupMember& member : groups.Group(g))
            groupOf[ExtractFileName(std::string(review.Name(member.Picture)))] = g;
    std::printf(" with the original:");
    for (const char* kind : {"half.jpg", "q95.jpg", "q75.jpg", "q50.jpg", "q30.jpg", "bright.jpg",
                             "crop.jpg", "bitmap.bmp", "palette.gif"}) {
        int together = 0;
        for (int o = 0; o < originals; ++o) {
            const auto original = groupOf.find(Format("o%03d-original.jpg", o));
            const auto copy = groupOf.find(Format("o%03d-%s", o, kind));
            together += original != groupOf.end() && copy != groupOf.end() &&
                        original->second == copy->second;
        }
        std::printf(" %s %d", std::string(kind).substr(0, std::string(kind).find('.')).c_str(),
                    together);
    }
    std::printf(" of %d\n", originals);
}

}  // namespace

int main(int argc, char** argv) {
    int originals = 40, unrelated = 400;
    std::string work = (std::filesystem::temp_directory_path() / "corvane-group-quality").string();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--originals") == 0 && i + 1 < argc)
            originals = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--unrelated") == 0 && i + 1 < argc)
            unrelated = std::atoi(argv[++i]);
        else
            work = argv[i];
    }
    std::filesystem::remove_all(work);
    const std::string pictures = work + "/pictures/", program = work + "/program/";
    std::filesystem::create_directories(pictures);
    std::filesystem::create_directories(program);
    WriteFolder(pictures, originals, unrelated);
    TPlainFormControls controls;
    TCorvaneEngine engine(controls);
    engine.StartUp(program);
    engine.State.BatchMode = true;
    controls.Search = pictures;
    controls.Margin = "50";
    controls.Colors = true;
    engine.ComputeButtonClick();
    engine.Matcher.IdentifyButtonClick();
    std::printf("%d originals x 10 files, %d unrelated pictures; %d match rows at margin 50\n",
                originals, unrelated, engine.Matches.MatchTable.RecordCount());
    TGroupReview review;
    review.Load(engine.Matches, engine.Signatures, program);
    for (const bool perChannel : {true, false})
        for (const int margin : {10, 25, 50}) {
            review.Regroup(margin, perChannel);
            Score(review, margin, perChannel, originals);
        }
    std::filesystem::remove_all(work);
    return 0;
}
