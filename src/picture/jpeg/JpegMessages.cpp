// Translation of the installed library's message codes to 6a numbers.
#include "picture/jpeg/JpegMessages.h"

#include <cstdio>  // before jpeglib.h, which uses FILE

#include <jpeglib.h>

#include <array>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "util/Exception.h"

namespace corvane {
namespace {

// libjpeg 6a's message list (jerror.h), in its order: the index is the code.
constexpr std::array<std::string_view, kJpeg6aMessageCount> kMessages6a = {
    "JMSG_NOMESSAGE",
    "JERR_ARITH_NOTIMPL",
    "JERR_BAD_ALIGN_TYPE",
    "JERR_BAD_ALLOC_CHUNK",
    "JERR_BAD_BUFFER_MODE",
    "JERR_BAD_COMPONENT_ID",
    "JERR_BAD_DCTSIZE",
    "JERR_BAD_IN_COLORSPACE",
    "JERR_BAD_J_COLORSPACE",
    "JERR_BAD_LENGTH",
    "JERR_BAD_LIB_VERSION",
    "JERR_BAD_MCU_SIZE",
    "JERR_BAD_POOL_ID",
    "JERR_BAD_PRECISION",
    "JERR_BAD_PROGRESSION",
    "JERR_BAD_PROG_SCRIPT",
    "JERR_BAD_SAMPLING",
    "JERR_BAD_SCAN_SCRIPT",
    "JERR_BAD_STATE",
    "JERR_BAD_STRUCT_SIZE",
    "JERR_BAD_VIRTUAL_ACCESS",
    "JERR_BUFFER_SIZE",
    "JERR_CANT_SUSPEND",
    "JERR_CCIR601_NOTIMPL",
    "JERR_COMPONENT_COUNT",
    "JERR_CONVERSION_NOTIMPL",
    "JERR_DAC_INDEX",
    "JERR_DAC_VALUE",
    "JERR_DHT_COUNTS",
    "JERR_DHT_INDEX",
    "JERR_DQT_INDEX",
    "JERR_EMPTY_IMAGE",
    "JERR_EMS_READ",
    "JERR_EMS_WRITE",
    "JERR_EOI_EXPECTED",
    "JERR_FILE_READ",
    "JERR_FILE_WRITE",
    "JERR_FRACT_SAMPLE_NOTIMPL",
    "JERR_HUFF_CLEN_OVERFLOW",
    "JERR_HUFF_MISSING_CODE",
    "JERR_IMAGE_TOO_BIG",
    "JERR_INPUT_EMPTY",
    "JERR_INPUT_EOF",
    "JERR_MISMATCHED_QUANT_TABLE",
    "JERR_MISSING_DATA",
    "JERR_MODE_CHANGE",
    "JERR_NOTIMPL",
    "JERR_NOT_COMPILED",
    "JERR_NO_BACKING_STORE",
    "JERR_NO_HUFF_TABLE",
    "JERR_NO_IMAGE",
    "JERR_NO_QUANT_TABLE",
    "JERR_NO_SOI",
    "JERR_OUT_OF_MEMORY",
    "JERR_QUANT_COMPONENTS",
    "JERR_QUANT_FEW_COLORS",
    "JERR_QUANT_MANY_COLORS",
    "JERR_SOF_DUPLICATE",
    "JERR_SOF_NO_SOS",
    "JERR_SOF_UNSUPPORTED",
    "JERR_SOI_DUPLICATE",
    "JERR_SOS_NO_SOF",
    "JERR_TFILE_CREATE",
    "JERR_TFILE_READ",
    "JERR_TFILE_SEEK",
    "JERR_TFILE_WRITE",
    "JERR_TOO_LITTLE_DATA",
    "JERR_UNKNOWN_MARKER",
    "JERR_VIRTUAL_BUG",
    "JERR_WIDTH_OVERFLOW",
    "JERR_XMS_READ",
    "JERR_XMS_WRITE",
    "JMSG_COPYRIGHT",
    "JMSG_VERSION",
    "JTRC_16BIT_TABLES",
    "JTRC_ADOBE",
    "JTRC_APP0",
    "JTRC_APP14",
    "JTRC_DAC",
    "JTRC_DHT",
    "JTRC_DQT",
    "JTRC_DRI",
    "JTRC_EMS_CLOSE",
    "JTRC_EMS_OPEN",
    "JTRC_EOI",
    "JTRC_HUFFBITS",
    "JTRC_JFIF",
    "JTRC_JFIF_BADTHUMBNAILSIZE",
    "JTRC_JFIF_MINOR",
    "JTRC_JFIF_THUMBNAIL",
    "JTRC_MISC_MARKER",
    "JTRC_PARMLESS_MARKER",
    "JTRC_QUANTVALS",
    "JTRC_QUANT_3_NCOLORS",
    "JTRC_QUANT_NCOLORS",
    "JTRC_QUANT_SELECTED",
    "JTRC_RECOVERY_ACTION",
    "JTRC_RST",
    "JTRC_SMOOTH_NOTIMPL",
    "JTRC_SOF",
    "JTRC_SOF_COMPONENT",
    "JTRC_SOI",
    "JTRC_SOS",
    "JTRC_SOS_COMPONENT",
    "JTRC_SOS_PARAMS",
    "JTRC_TFILE_CLOSE",
    "JTRC_TFILE_OPEN",
    "JTRC_UNKNOWN_IDS",
    "JTRC_XMS_CLOSE",
    "JTRC_XMS_OPEN",
    "JWRN_ADOBE_XFORM",
    "JWRN_BOGUS_PROGRESSION",
    "JWRN_EXTRANEOUS_DATA",
    "JWRN_HIT_MARKER",
    "JWRN_HUFF_BAD_CODE",
    "JWRN_JFIF_MAJOR",
    "JWRN_JPEG_EOF",
    "JWRN_MUST_RESYNC",
    "JWRN_NOT_SEQUENTIAL",
    "JWRN_TOO_MUCH_DATA",
};

// Messages renamed since 6a: the installed name, then its 6a name.
constexpr std::pair<std::string_view, std::string_view> kRenamedSince6a[] = {
    {"JERR_BAD_HUFF_TABLE", "JERR_DHT_COUNTS"},  // same check of a DHT segment
};

// The installed library's names, indexed by its codes (its own jerror.h).
const std::vector<std::string_view>& LibraryNames() {
    static const std::vector<std::string_view> names = {
#define JMESSAGE(code, string) #code,
#include <jerror.h>
    };
    return names;
}

struct MessageTables {
    std::vector<int> numberOfCode;  // installed code -> 6a number
    std::unordered_map<std::string_view, int> codeOfName;
};

MessageTables BuildTables() {
    MessageTables tables;
    std::unordered_map<std::string_view, int> numberOfName;
    for (size_t i = 0; i < kMessages6a.size(); ++i) numberOfName.emplace(kMessages6a[i], i);
    for (const auto& [installed, old] : kRenamedSince6a)
        numberOfName.emplace(installed, numberOfName.at(old));
    const auto& names = LibraryNames();
    int nextNew = kJpeg6aMessageCount;
    for (size_t code = 0; code < names.size(); ++code) {
        auto it = numberOfName.find(names[code]);
        tables.numberOfCode.push_back(it != numberOfName.end() ? it->second : nextNew++);
        tables.codeOfName.emplace(names[code], static_cast<int>(code));
    }
    return tables;
}

const MessageTables& Tables() {
    static const MessageTables tables = BuildTables();
    return tables;
}

}  // namespace

int JpegMessageNumber(int libraryCode) {
    const auto& numbers = Tables().numberOfCode;
    if (libraryCode < 0 || static_cast<size_t>(libraryCode) >= numbers.size()) return 0;
    return numbers[libraryCode];
}

std::string JpegMessageName(int libraryCode) {
    const auto& names = LibraryNames();
    if (libraryCode < 0 || static_cast<size_t>(libraryCode) >= names.size()) return "";
    return std::string(names[libraryCode]);
}

int JpegLibraryCodeOf(const std::string& name) {
    const auto& codes = Tables().codeOfName;
    auto it = codes.find(name);
    return it == codes.end() ? -1 : it->second;
}

std::string JpegErrorText(int libraryCode) {
    return Format("JPEG error #%d", JpegMessageNumber(libraryCode));
}

}  // namespace corvane
