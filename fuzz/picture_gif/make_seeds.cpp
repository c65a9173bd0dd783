// Writes the seed pictures of the GIF fuzzer: make_seeds DIR
#include <cstdio>
#include <string>

#include "GIFTestEncoder.h"

using namespace corvane::giftest;

namespace {

void Write(const std::string& dir, const std::string& name, const Bytes& bytes) {
    std::string path = dir + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

Frame MakeFrame(int w, int h, int colours, int m, int left = 0, int top = 0) {
    Frame f;
    f.left = left;
    f.top = top;
    f.width = w;
    f.height = h;
    f.pixels = PatternPixels(w, h, colours, static_cast<uint32_t>(w + h));
    f.minCodeSize = m;
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    Write(dir, "plain.gif", SingleFrameGIF(16, 12, Palette(4), MakeFrame(16, 12, 4, 2)));
    Frame interlaced = MakeFrame(23, 19, 16, 4);
    interlaced.interlaced = true;
    Write(dir, "interlaced.gif", SingleFrameGIF(23, 19, Palette(16), interlaced));
    Frame transparent = MakeFrame(8, 8, 8, 3, 2, 3);
    transparent.transparentIndex = 2;
    transparent.localMap = Palette(8);
    Write(dir, "transparent-local.gif", SingleFrameGIF(14, 14, {}, transparent));
    Write(dir, "animated.gif",
          Builder()
              .Header(10, 10, Palette(4))
              .NetscapeLoop(0)
              .Comment("seed")
              .GraphicControl(std::nullopt, 5)
              .Image(MakeFrame(10, 10, 4, 2))
              .GraphicControl(1, 5)
              .Image(MakeFrame(4, 4, 4, 2, 3, 3))
              .Trailer()
              .Data());
    Frame full = MakeFrame(160, 120, 256, 8);
    full.lzw.clearWhenFull = false;
    Write(dir, "fulltable.gif", SingleFrameGIF(160, 120, Palette(256), full));
    Frame tiny = MakeFrame(12, 9, 32, 5);
    tiny.blockSize = 3;
    Write(dir, "smallblocks.gif", SingleFrameGIF(12, 9, Palette(32), tiny));
    Bytes truncated = SingleFrameGIF(20, 20, Palette(4), MakeFrame(20, 20, 4, 2));
    truncated.resize(truncated.size() * 2 / 3);
    Write(dir, "truncated.gif", truncated);
    Write(dir, "noimage.gif", Builder().Header(5, 5, Palette(2)).Comment("x").Trailer().Data());
    return 0;
}
