#include <gtest/gtest.h>

#include <random>
#include <string>

#include "signature/Signature.h"
#include "util/Exception.h"

namespace corvane {
namespace {

std::string Repeat(const std::string& field, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += field;
    return text;
}

std::string ConversionMessage(const std::string& text) {
    try {
        StringToSignature(text);
    } catch (const EConvertError& e) {
        return e.Message();
    }
    return "(parsed)";
}

TEST(TextForm, RoundTripsEverySignatureOfByteValues) {
    std::mt19937 random(7);
    for (int round = 0; round < 500; ++round) {
        TSignature signature;
        for (auto& v : signature.Values) v = static_cast<int32_t>(random() % 256);
        const std::string text = SignatureToString(signature);
        ASSERT_EQ(text.size(), 192u);
        EXPECT_EQ(StringToSignature(text), signature);
    }
}

TEST(TextForm, FieldsAreRightAlignedInStorageOrder) {
    TSignature zeros;
    EXPECT_EQ(SignatureToString(zeros), Repeat("   0", 48));
    TSignature full;
    full.Values.fill(255);
    EXPECT_EQ(SignatureToString(full), Repeat(" 255", 48));

    TSignature s;
    s.At(1, 1, 1) = 200;
    s.At(1, 1, 2) = 15;
    s.At(1, 1, 3) = 7;
    s.At(2, 1, 1) = 9;
    s.At(4, 4, 3) = 42;
    const std::string text = SignatureToString(s);
    EXPECT_EQ(text.substr(0, 12), " 200  15   7");
    EXPECT_EQ(text.substr(48, 4), "   9");  // block (2, 1) starts at character 49
    EXPECT_EQ(text.substr(188, 4), "  42");
}

TEST(TextForm, ParsesShortAndLongTexts) {
    const std::string full = Repeat(" 255", 48);
    // Cut inside the last field: what is left still parses when it holds a digit.
    TSignature cut = StringToSignature(full.substr(0, 190));
    EXPECT_EQ(cut.At(4, 4, 3), 2);
    EXPECT_EQ(cut.At(4, 4, 2), 255);
    // Text past the 192nd character is ignored.
    EXPECT_EQ(StringToSignature(full + "garbage"), StringToSignature(full));
    // Any integer form of a field is accepted.
    EXPECT_EQ(StringToSignature("  $A" + Repeat("   0", 47)).At(1, 1, 1), 10);
}

TEST(TextForm, BadFieldsNameThePieceInTheError) {
    EXPECT_EQ(ConversionMessage(""), "'' is not a valid integer value");
    EXPECT_EQ(ConversionMessage(Repeat("   1", 47)), "'' is not a valid integer value");
    EXPECT_EQ(ConversionMessage(" 12 " + Repeat("   1", 47)),
              "' 12 ' is not a valid integer value");
    EXPECT_EQ(ConversionMessage(Repeat("   7", 47) + "  "), "'  ' is not a valid integer value");
    EXPECT_EQ(ConversionMessage(Repeat("   7", 10) + "  a1" + Repeat("   7", 37)),
              "'  a1' is not a valid integer value");
    EXPECT_EQ(ConversionMessage(Repeat("   7", 47) + " 1 2"),
              "' 1 2' is not a valid integer value");
    EXPECT_EQ(ConversionMessage(Repeat("   7", 5) +
                                "  \xB9"
                                "1" +
                                Repeat("   7", 42)),
              "'  \xB9"
              "1' is not a valid integer value");
    EXPECT_EQ(StringToSignature(Repeat("   7", 47) + "  -1").At(4, 4, 3), -1);
}

TEST(TextForm, TextOrderIsValueOrder) {
    TSignature nine, ten, tenAndOne;
    nine.At(1, 1, 1) = 9;
    ten.At(1, 1, 1) = 10;
    tenAndOne.At(1, 1, 1) = 10;
    tenAndOne.At(1, 1, 2) = 1;
    EXPECT_LT(SignatureToString(nine), SignatureToString(ten));
    EXPECT_LT(SignatureToString(ten), SignatureToString(tenAndOne));

    std::mt19937 random(3);
    for (int round = 0; round < 2000; ++round) {
        TSignature a, b;
        for (int i = 0; i < 48; ++i) {
            a.Values[i] = static_cast<int32_t>(random() % 256);
            b.Values[i] = random() % 4 ? a.Values[i] : static_cast<int32_t>(random() % 256);
        }
        EXPECT_EQ(SignatureToString(a) < SignatureToString(b), a.Values < b.Values);
    }
}

}  // namespace
}  // namespace corvane
