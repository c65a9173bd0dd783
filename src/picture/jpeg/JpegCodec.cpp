// libjpeg contexts with this program's hooks: errors become EJPEG, warnings
// vanish, input comes from memory in 4096-byte blocks and ends in a fake
// end-of-image marker, output goes to a byte sink in 4096-byte blocks.
#include "picture/jpeg/JpegCodec.h"

#include <cstdio>  // before jpeglib.h, which uses FILE

#include <jpeglib.h>

#include <jerror.h>

#include <algorithm>

#include "picture/PixelMemory.h"
#include "picture/jpeg/JpegMessages.h"

namespace corvane {
namespace {

constexpr size_t kBlockSize = 4096;
constexpr int kMaxRowsPerCall = 16;

// --- error hooks -----------------------------------------------------------

// Unwinding through the library is safe: it keeps no state that must be
// restored, and the context is destroyed by its owner on the way out.
void ThrowLibraryError(j_common_ptr cinfo) {
    throw EJPEG(JpegErrorText(cinfo->err->msg_code));
}
void IgnoreMessage(j_common_ptr, int) {}
void IgnoreOutput(j_common_ptr) {}
void IgnoreFormat(j_common_ptr, char*) {}
void ResetErrorCounts(j_common_ptr cinfo) {
    cinfo->err->num_warnings = 0;
    cinfo->err->msg_code = 0;
}

void InstallErrorHooks(jpeg_error_mgr& err) {
    jpeg_std_error(&err);
    err.error_exit = ThrowLibraryError;
    err.emit_message = IgnoreMessage;
    err.output_message = IgnoreOutput;
    err.format_message = IgnoreFormat;
    err.reset_error_mgr = ResetErrorCounts;
}

// --- progress hook ---------------------------------------------------------

struct TProgressHook {
    jpeg_progress_mgr pub{};
    const TJpegProgress* callback = nullptr;
};

int PercentDone(const jpeg_progress_mgr& p) {
    if (p.total_passes <= 0 || p.pass_limit <= 0) return 0;
    long inPass = std::clamp(p.pass_counter * 100 / p.pass_limit, 0L, 100L);
    return static_cast<int>((p.completed_passes * 100 + inPass) / p.total_passes);
}

void OnLibraryProgress(j_common_ptr cinfo) {
    if (cinfo->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxJpegScans) {
        throw EJPEG(Format("JPEG image has more than %d scans", kMaxJpegScans));
    }
    auto* hook = reinterpret_cast<TProgressHook*>(cinfo->progress);
    if (hook->callback && *hook->callback) (*hook->callback)(PercentDone(hook->pub));
}

// --- source manager over memory ---------------------------------------------

const JOCTET kFakeEndOfImage[2] = {0xFF, JPEG_EOI};

struct TMemorySource {
    jpeg_source_mgr pub{};
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t position = 0;
};

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<TMemorySource*>(cinfo->src);
    if (src->position >= src->size) {
        if (src->position == 0) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        // Truncated data: let the library finish as if the file ended properly.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->pub.next_input_byte = kFakeEndOfImage;
        src->pub.bytes_in_buffer = sizeof kFakeEndOfImage;
        return TRUE;
    }
    size_t count = std::min(kBlockSize, src->size - src->position);
    src->pub.next_input_byte = src->data + src->position;
    src->pub.bytes_in_buffer = count;
    src->position += count;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    auto& pub = *cinfo->src;
    while (static_cast<size_t>(count) > pub.bytes_in_buffer) {
        count -= static_cast<long>(pub.bytes_in_buffer);
        FillInputBuffer(cinfo);
    }
    pub.next_input_byte += count;
    pub.bytes_in_buffer -= static_cast<size_t>(count);
}

// --- destination manager into a byte sink ------------------------------------

struct TSinkDestination {
    jpeg_destination_mgr pub{};
    const TJpegByteSink* output = nullptr;
    JOCTET buffer[kBlockSize];
};

void Append(j_compress_ptr cinfo, const JOCTET* bytes, size_t count) {
    auto* dest = reinterpret_cast<TSinkDestination*>(cinfo->dest);
    if (count > 0 && (*dest->output)(bytes, count) != count) ERREXIT(cinfo, JERR_FILE_WRITE);
}

void InitDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<TSinkDestination*>(cinfo->dest);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = kBlockSize;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<TSinkDestination*>(cinfo->dest);
    Append(cinfo, dest->buffer, kBlockSize);
    InitDestination(cinfo);
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<TSinkDestination*>(cinfo->dest);
    Append(cinfo, dest->buffer, kBlockSize - dest->pub.free_in_buffer);
}

// --- contexts --------------------------------------------------------------

// A decompress context over memory; destroyed whatever happens.
class TDecompressor {
  public:
    TDecompressor(const uint8_t* data, size_t size, const TJpegProgress* progress) {
        InstallErrorHooks(err_);
        cinfo.err = &err_;
        jpeg_create_decompress(&cinfo);
        source_.data = data;
        source_.size = size;
        source_.pub.init_source = InitSource;
        source_.pub.fill_input_buffer = FillInputBuffer;
        source_.pub.skip_input_data = SkipInputData;
        source_.pub.resync_to_restart = jpeg_resync_to_restart;
        source_.pub.term_source = TermSource;
        cinfo.src = &source_.pub;
        progress_.callback = progress;
        progress_.pub.progress_monitor = OnLibraryProgress;
        cinfo.progress = &progress_.pub;
    }
    ~TDecompressor() { jpeg_destroy_decompress(&cinfo); }
    TDecompressor(const TDecompressor&) = delete;
    TDecompressor& operator=(const TDecompressor&) = delete;

    jpeg_decompress_struct cinfo{};

  private:
    jpeg_error_mgr err_{};
    TMemorySource source_;
    TProgressHook progress_;
};

class TCompressor {
  public:
    TCompressor(const TJpegByteSink* output, const TJpegProgress* progress) {
        InstallErrorHooks(err_);
        cinfo.err = &err_;
        jpeg_create_compress(&cinfo);
        dest_.output = output;
        dest_.pub.init_destination = InitDestination;
        dest_.pub.empty_output_buffer = EmptyOutputBuffer;
        dest_.pub.term_destination = TermDestination;
        cinfo.dest = &dest_.pub;
        progress_.callback = progress;
        progress_.pub.progress_monitor = OnLibraryProgress;
        cinfo.progress = &progress_.pub;
    }
    ~TCompressor() { jpeg_destroy_compress(&cinfo); }
    TCompressor(const TCompressor&) = delete;
    TCompressor& operator=(const TCompressor&) = delete;

    jpeg_compress_struct cinfo{};

  private:
    jpeg_error_mgr err_{};
    TSinkDestination dest_;
    TProgressHook progress_;
};

// --- decoding steps ----------------------------------------------------------

void CheckPixelCount(uint64_t width, uint64_t height) {
    if (width * height > kMaxJpegPixels) {
        throw EJPEG(Format("JPEG image too large: %llu x %llu pixels",
                           static_cast<unsigned long long>(width),
                           static_cast<unsigned long long>(height)));
    }
}

// jpeg_read_header(TRUE) plus the checks every later step relies on.
void ReadCheckedHeader(jpeg_decompress_struct& cinfo) {
    jpeg_read_header(&cinfo, TRUE);
    CheckPixelCount(cinfo.image_width, cinfo.image_height);
    switch (cinfo.jpeg_color_space) {
        case JCS_GRAYSCALE:
        case JCS_YCbCr:
        case JCS_RGB:
            break;
        default:  // CMYK, YCCK and unknown: no three-byte form to put them in
            ERREXIT(&cinfo, JERR_CONVERSION_NOTIMPL);
    }
}

// Three components whose chroma is halved vertically only (4:4:0, as lossless
// turns of 4:2:2 files leave it).
bool HasVerticalOnlySubsampling(const jpeg_decompress_struct& cinfo) {
    if (cinfo.num_components != 3) return false;
    const jpeg_component_info* c = cinfo.comp_info;
    return c[0].h_samp_factor == 1 && c[0].v_samp_factor == 2 && c[1].h_samp_factor == 1 &&
           c[1].v_samp_factor == 1 && c[2].h_samp_factor == 1 && c[2].v_samp_factor == 1;
}

// Applies the settings; answers whether the output is quantised (8 bits).
bool ConfigureDecoder(jpeg_decompress_struct& cinfo, const TJpegDecodeOptions& options) {
    cinfo.scale_num = 1;
    cinfo.scale_denom = 1u << std::min<uint8_t>(options.scaleShift, 3);
    cinfo.do_block_smoothing = options.blockSmoothing ? TRUE : FALSE;
    // Version 6 of the library repeated the chroma rows of 4:4:0 files (it
    // interpolated only horizontally halved chroma); so do the signatures.
    if (HasVerticalOnlySubsampling(cinfo)) cinfo.do_fancy_upsampling = FALSE;
    if (options.grayOutput) cinfo.out_color_space = JCS_GRAYSCALE;
    if (options.paletteOutput) {
        cinfo.quantize_colors = TRUE;
        cinfo.desired_number_of_colors = 236;
    }
    if (options.fastDecode) {
        cinfo.dct_method = JDCT_IFAST;
        cinfo.two_pass_quantize = FALSE;
        cinfo.dither_mode = JDITHER_ORDERED;
    }
    if (cinfo.out_color_space == JCS_GRAYSCALE) {
        cinfo.quantize_colors = TRUE;
        cinfo.desired_number_of_colors = 236;
    }
    // Unquantised colour comes out blue, green, red (four bytes: the fourth
    // an opaque alpha of 0xFF); a colormap stays RGB.
    if (!cinfo.quantize_colors)
        cinfo.out_color_space = options.fourBytesPerPixel ? JCS_EXT_BGRA : JCS_EXT_BGR;
    return cinfo.quantize_colors;
}

TJpegOutputFormat OutputFormat(const jpeg_decompress_struct& cinfo, bool quantized) {
    TJpegOutputFormat format;
    format.width = cinfo.output_width;
    format.height = cinfo.output_height;
    format.bitsPerPixel = quantized ? 8 : cinfo.out_color_space == JCS_EXT_BGRA ? 32 : 24;
    if (quantized) {
        bool gray = cinfo.out_color_components == 1;
        for (int i = 0; i < cinfo.actual_number_of_colors; ++i) {
            uint8_t r = cinfo.colormap[0][i];
            format.palette.push_back(
                gray ? std::array<uint8_t, 3>{r, r, r}
                     : std::array<uint8_t, 3>{r, cinfo.colormap[1][i], cinfo.colormap[2][i]});
        }
    }
    return format;
}

// Reads every output row of the current pass, top first. The library takes
// row pointers, so rows need not lie next to each other in memory.
void ReadRows(jpeg_decompress_struct& cinfo, TJpegPixelSink& sink) {
    JSAMPROW rows[kMaxRowsPerCall];
    int perCall = std::clamp(cinfo.rec_outbuf_height, 1, kMaxRowsPerCall);
    while (cinfo.output_scanline < cinfo.output_height) {
        JDIMENSION first = cinfo.output_scanline;
        int count = static_cast<int>(std::min<JDIMENSION>(perCall, cinfo.output_height - first));
        for (int k = 0; k < count; ++k) rows[k] = sink.Row(first + k);
        if (jpeg_read_scanlines(&cinfo, rows, count) == 0) break;
    }
}

// Buffered-image mode: one display pass per completed input scan, the last
// after the whole input has arrived.
void ReadPasses(jpeg_decompress_struct& cinfo, TJpegPixelSink& sink) {
    for (;;) {
        bool last = jpeg_input_complete(&cinfo);
        jpeg_start_output(&cinfo, cinfo.input_scan_number);
        ReadRows(cinfo, sink);
        jpeg_finish_output(&cinfo);
        sink.PassCompleted();
        if (last) break;
    }
}

}  // namespace

TJpegHeader ReadJpegHeader(const uint8_t* data, size_t size) {
    TDecompressor context(data, size, nullptr);
    ReadCheckedHeader(context.cinfo);
    TJpegHeader header;
    header.width = context.cinfo.image_width;
    header.height = context.cinfo.image_height;
    header.grayscale = context.cinfo.jpeg_color_space == JCS_GRAYSCALE;
    header.progressive = jpeg_has_multiple_scans(&context.cinfo);
    return header;
}

void JpegOutputSize(const uint8_t* data, size_t size, uint8_t scaleShift, uint32_t& width,
                    uint32_t& height) {
    TDecompressor context(data, size, nullptr);
    ReadCheckedHeader(context.cinfo);
    context.cinfo.scale_num = 1;
    context.cinfo.scale_denom = 1u << std::min<uint8_t>(scaleShift, 3);
    jpeg_calc_output_dimensions(&context.cinfo);
    width = context.cinfo.output_width;
    height = context.cinfo.output_height;
}

void DecodeJpeg(const uint8_t* data, size_t size, const TJpegDecodeOptions& options,
                TJpegPixelSink& sink, const TJpegProgress& progress) {
    TDecompressor context(data, size, &progress);
    auto& cinfo = context.cinfo;
    ReadCheckedHeader(cinfo);
    bool quantized = ConfigureDecoder(cinfo, options);
    bool buffered = options.incrementalDisplay && jpeg_has_multiple_scans(&cinfo);
    cinfo.buffered_image = buffered ? TRUE : FALSE;
    if (jpeg_has_multiple_scans(&cinfo)) {
        // The decoder then holds every coefficient of the picture, two bytes each.
        const uint64_t pixels = uint64_t{cinfo.image_width} * cinfo.image_height;
        AnnouncePixelBuffer(pixels, pixels * static_cast<uint64_t>(cinfo.num_components) * 2);
    }
    jpeg_start_decompress(&cinfo);
    sink.Start(OutputFormat(cinfo, quantized));
    if (buffered) {
        ReadPasses(cinfo, sink);
    } else {
        ReadRows(cinfo, sink);
    }
    jpeg_finish_decompress(&cinfo);
}

void EncodeJpeg(uint32_t width, uint32_t height, TJpegInputLayout layout,
                const TJpegRowSource& rows, const TJpegEncodeOptions& options,
                const TJpegByteSink& output, const TJpegProgress& progress) {
    TCompressor context(&output, &progress);
    auto& cinfo = context.cinfo;
    cinfo.image_width = width;
    cinfo.image_height = height;
    bool padded = layout == TJpegInputLayout::BGRX;
    cinfo.input_components = padded ? 4 : 3;
    cinfo.in_color_space = padded ? JCS_EXT_BGRX : JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, options.quality, TRUE);
    if (options.grayOutput) jpeg_set_colorspace(&cinfo, JCS_GRAYSCALE);
    if (options.progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    JSAMPROW batch[kMaxRowsPerCall];
    while (cinfo.next_scanline < cinfo.image_height) {
        JDIMENSION first = cinfo.next_scanline;
        auto count = std::min<JDIMENSION>(kMaxRowsPerCall, height - first);
        for (JDIMENSION k = 0; k < count; ++k) batch[k] = const_cast<JSAMPROW>(rows(first + k));
        if (jpeg_write_scanlines(&cinfo, batch, count) == 0) break;
    }
    jpeg_finish_compress(&cinfo);
}

}  // namespace corvane
