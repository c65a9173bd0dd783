// Writes the seed pictures of the JPEG fuzzer with the JPEG library itself:
// small files covering the decoder's paths (sampling, progressive,
// arithmetic coding, restart markers, grayscale, RGB, CMYK, truncation).
// Usage: make_seeds OUTDIR
#include <cstdio>  // before jpeglib.h, which uses FILE

#include <jpeglib.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

struct Recipe {
    const char* name;
    int width, height, components;
    J_COLOR_SPACE in, jpegSpace;
    int quality;
    bool progressive, arithmetic, restarts, subsample;
};

Bytes Pixels(int w, int h, int components) {
    Bytes p(static_cast<size_t>(w) * h * components);
    for (size_t i = 0; i < p.size(); ++i) p[i] = static_cast<unsigned char>((i * 37) ^ (i / 7));
    return p;
}

Bytes Compress(const Recipe& r) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = r.width;
    c.image_height = r.height;
    c.input_components = r.components;
    c.in_color_space = r.in;
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, r.jpegSpace);
    jpeg_set_quality(&c, r.quality, TRUE);
    if (r.progressive) jpeg_simple_progression(&c);
    c.arith_code = r.arithmetic ? TRUE : FALSE;
    if (r.restarts) c.restart_in_rows = 1;
    if (!r.subsample)
        for (int i = 0; i < c.num_components; ++i)
            c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    jpeg_start_compress(&c, TRUE);
    const Bytes pixels = Pixels(r.width, r.height, r.components);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row =
            const_cast<JSAMPROW>(&pixels[size_t{c.next_scanline} * r.width * r.components]);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    Bytes result(out, out + size);
    jpeg_destroy_compress(&c);
    free(out);
    return result;
}

void Write(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds OUTDIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const Recipe recipes[] = {
        {"baseline420", 24, 17, 3, JCS_RGB, JCS_YCbCr, 90, false, false, false, true},
        {"baseline444", 9, 9, 3, JCS_RGB, JCS_YCbCr, 95, false, false, false, false},
        {"progressive", 20, 12, 3, JCS_RGB, JCS_YCbCr, 75, true, false, false, true},
        {"arithmetic", 16, 16, 3, JCS_RGB, JCS_YCbCr, 80, false, true, false, true},
        {"restarts", 32, 24, 3, JCS_RGB, JCS_YCbCr, 85, false, false, true, true},
        {"gray", 18, 10, 1, JCS_GRAYSCALE, JCS_GRAYSCALE, 90, false, false, false, false},
        {"grayprogressive", 12, 12, 1, JCS_GRAYSCALE, JCS_GRAYSCALE, 60, true, false, false, false},
        {"rgb", 8, 8, 3, JCS_RGB, JCS_RGB, 90, false, false, false, false},
        {"cmyk", 8, 8, 4, JCS_CMYK, JCS_CMYK, 90, false, false, false, false},
        {"tiny", 1, 1, 3, JCS_RGB, JCS_YCbCr, 50, false, false, false, true},
    };
    for (const Recipe& r : recipes) {
        const Bytes jpeg = Compress(r);
        Write(dir + "/" + r.name + ".jpg", jpeg);
        if (r.progressive || r.restarts)
            Write(dir + "/" + r.name + "-truncated.jpg",
                  Bytes(jpeg.begin(), jpeg.begin() + jpeg.size() * 2 / 3));
    }
    return 0;
}
