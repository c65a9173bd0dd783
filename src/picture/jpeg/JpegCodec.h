// The JPEG library (libjpeg 6.2 API) behind TJPEGImage: reading a file's
// header, decoding its pixels into rows the caller provides, and encoding
// rows into JPEG bytes. Nothing here knows about picture classes.
//
// Every library failure throws EJPEG with "JPEG error #N" (N numbered as
// libjpeg 6a numbers its messages, see JpegMessages.h); warnings are ignored,
// and data that end early decode as if an end-of-image marker followed. The
// library context is released on every path.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "picture/jpeg/JpegError.h"

namespace corvane {

// Largest raster a file may claim (width x height); larger headers fail
// before anything of that size is allocated.
constexpr uint64_t kMaxJpegPixels = uint64_t{1} << 28;

// Most scans a file may hold; more only serve to make decoding slow.
constexpr int kMaxJpegScans = 1000;

// Values of the frame header, as read by jpeg_read_header.
struct TJpegHeader {
    uint32_t width = 0;
    uint32_t height = 0;
    bool grayscale = false;    // the file's colour space is grayscale
    bool progressive = false;  // the file holds more than one scan
};

// Decoder settings, in the library's terms.
struct TJpegDecodeOptions {
    bool grayOutput = false;          // out_color_space = JCS_GRAYSCALE
    bool fastDecode = false;          // JDCT_IFAST, one-pass ordered dither
    bool paletteOutput = false;       // 236-colour quantised 8-bit output
    bool incrementalDisplay = false;  // buffered-image mode for multi-scan files
    bool blockSmoothing = true;       // do_block_smoothing
    uint8_t scaleShift = 0;           // scale 1 / 2^scaleShift, 0..3
    // Unquantised colour as four bytes per pixel (blue, green, red, 0xFF),
    // for writing straight into a 32-bit surface.
    bool fourBytesPerPixel = false;
};

// The decoded picture's form: 24 bits (blue, green, red bytes per pixel), 32
// bits (the same and 0xFF) or 8 bits indexing `palette` (red, green, blue
// entries).
struct TJpegOutputFormat {
    uint32_t width = 0;
    uint32_t height = 0;
    int bitsPerPixel = 24;
    std::vector<std::array<uint8_t, 3>> palette;
};

// Receives the decoded pixels.
class TJpegPixelSink {
  public:
    virtual ~TJpegPixelSink() = default;
    // Once, before any row, with the output size and form.
    virtual void Start(const TJpegOutputFormat& format) = 0;
    // Row y (0 = top): width * bitsPerPixel / 8 writable bytes.
    virtual uint8_t* Row(uint32_t y) = 0;
    // After each finished display pass of buffered-image mode.
    virtual void PassCompleted() {}
};

// Called with the percentage done while the library works; may throw to stop.
using TJpegProgress = std::function<void(int percent)>;

// Header of the JPEG data in [data, data + size). Throws EJPEG when the
// library rejects it, when its output would have four components (CMYK, YCCK
// or any colour space other than grayscale, YCbCr and RGB), or when it claims
// more than kMaxJpegPixels pixels.
TJpegHeader ReadJpegHeader(const uint8_t* data, size_t size);

// Output size at the given scale (jpeg_calc_output_dimensions).
void JpegOutputSize(const uint8_t* data, size_t size, uint8_t scaleShift, uint32_t& width,
                    uint32_t& height);

// Decodes the whole picture into Sink: accurate integer IDCT, fancy
// upsampling and block smoothing unless Options say otherwise; colour files
// as blue-green-red triplets; grayscale output quantised to 236 levels with
// the one-pass Floyd-Steinberg quantiser. Throws EJPEG as ReadJpegHeader
// does, and for failures while decoding (rows decoded so far stay in Sink).
void DecodeJpeg(const uint8_t* data, size_t size, const TJpegDecodeOptions& options,
                TJpegPixelSink& sink, const TJpegProgress& progress = {});

// Layout of the rows handed to the encoder.
enum class TJpegInputLayout { BGR, BGRX };

struct TJpegEncodeOptions {
    int quality = 90;          // jpeg_set_quality(quality, TRUE)
    bool grayOutput = false;   // jpeg_set_colorspace(JCS_GRAYSCALE)
    bool progressive = false;  // jpeg_simple_progression
};

// Row y (0 = top) of the picture to encode.
using TJpegRowSource = std::function<const uint8_t*(uint32_t y)>;
// Appends bytes to the output, answering how many it took; fewer than given
// fails the encoding with the library's write error.
using TJpegByteSink = std::function<size_t(const uint8_t* bytes, size_t count)>;

// Encodes Width x Height pixels with the library's defaults (JFIF, 2x2/1x1/1x1
// sampling, standard Huffman tables) and Options.
void EncodeJpeg(uint32_t width, uint32_t height, TJpegInputLayout layout,
                const TJpegRowSource& rows, const TJpegEncodeOptions& options,
                const TJpegByteSink& output, const TJpegProgress& progress = {});

}  // namespace corvane
