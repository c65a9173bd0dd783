#include "util/StrToInt.h"

#include <gtest/gtest.h>

#include "util/Exception.h"

namespace corvane {
namespace {

TEST(StrToInt, AcceptsDecimalHexSignsAndLeadingSpaces) {
    const struct {
        const char* text;
        int32_t value;
    } cases[] = {
        {"0", 0},
        {"   7", 7},
        {"  12", 12},
        {"-5", -5},
        {"+5", 5},
        {"  -0", 0},
        {"$1F", 31},
        {"x1f", 31},
        {"X10", 16},
        {"0x10", 16},
        {"0X7fffffff", 2147483647},
        {"-$10", -16},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"$FFFFFFFF", -1},
        {"00012", 12},
    };
    for (const auto& c : cases) EXPECT_EQ(StrToInt(c.text), c.value) << c.text;
}

TEST(StrToInt, RejectsWithTheExactMessage) {
    const char* bad[] = {"",           " ",           " 12 ",
                         "12a",        "1 2",         "\t1",
                         "--1",        "$",           "0x",
                         "2147483648", "-2147483649", "$1FFFFFFFF",
                         "1.0",        "x",           "99999999999999999999"};
    for (const char* text : bad) {
        try {
            StrToInt(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), std::string("'") + text + "' is not a valid integer value");
        }
    }
}

}  // namespace
}  // namespace corvane
