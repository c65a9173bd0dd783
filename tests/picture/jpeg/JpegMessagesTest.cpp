#include <gtest/gtest.h>

#include <set>

#include "picture/jpeg/JpegMessages.h"

namespace corvane {
namespace {

struct NamedNumber {
    const char* name;
    int number6a;
};

// Numbers fixed by the 6a message list, spot-checked across its whole range.
class JpegMessageNumberTest : public ::testing::TestWithParam<NamedNumber> {};

TEST_P(JpegMessageNumberTest, InstalledCodeMapsToItsVersion6aNumber) {
    const int code = JpegLibraryCodeOf(GetParam().name);
    ASSERT_GE(code, 0) << GetParam().name << " missing from the installed library";
    EXPECT_EQ(JpegMessageNumber(code), GetParam().number6a);
}

INSTANTIATE_TEST_SUITE_P(
    Version6a, JpegMessageNumberTest,
    ::testing::Values(NamedNumber{"JMSG_NOMESSAGE", 0}, NamedNumber{"JERR_ARITH_NOTIMPL", 1},
                      NamedNumber{"JERR_BAD_DCTSIZE", 6}, NamedNumber{"JERR_BAD_LIB_VERSION", 10},
                      NamedNumber{"JERR_BAD_STRUCT_SIZE", 19},
                      NamedNumber{"JERR_CONVERSION_NOTIMPL", 25}, NamedNumber{"JERR_DHT_INDEX", 29},
                      NamedNumber{"JERR_BAD_HUFF_TABLE", 28},  // JERR_DHT_COUNTS in 6a
                      NamedNumber{"JERR_FILE_WRITE", 36}, NamedNumber{"JERR_IMAGE_TOO_BIG", 40},
                      NamedNumber{"JERR_INPUT_EMPTY", 41}, NamedNumber{"JERR_NO_SOI", 52},
                      NamedNumber{"JERR_XMS_WRITE", 71}, NamedNumber{"JTRC_JFIF", 86},
                      NamedNumber{"JTRC_JFIF_THUMBNAIL", 89}, NamedNumber{"JWRN_ADOBE_XFORM", 110},
                      NamedNumber{"JWRN_TOO_MUCH_DATA", 119}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(JpegMessages, EveryInstalledCodeHasItsOwnNumber) {
    std::set<int> seen;
    int newCodes = 0;
    for (int code = 0; !JpegMessageName(code).empty(); ++code) {
        const int number = JpegMessageNumber(code);
        EXPECT_TRUE(seen.insert(number).second) << JpegMessageName(code) << " shares " << number;
        if (number >= kJpeg6aMessageCount) ++newCodes;
    }
    // Codes 6a lacked (crop, arithmetic tables, ICC ...) come after its list.
    EXPECT_GT(newCodes, 0);
}

TEST(JpegMessages, CodesOutsideTheListAreBogus) {
    EXPECT_EQ(JpegMessageNumber(-1), 0);
    EXPECT_EQ(JpegMessageNumber(100000), 0);
    EXPECT_EQ(JpegMessageName(100000), "");
    EXPECT_EQ(JpegLibraryCodeOf("JERR_DHT_COUNTS"), -1);  // gone since 6a
}

TEST(JpegMessages, ErrorTextCarriesThe6aNumber) {
    EXPECT_EQ(JpegErrorText(JpegLibraryCodeOf("JERR_NO_SOI")), "JPEG error #52");
    EXPECT_EQ(JpegErrorText(JpegLibraryCodeOf("JERR_FILE_WRITE")), "JPEG error #36");
}

}  // namespace
}  // namespace corvane
