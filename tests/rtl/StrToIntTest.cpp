#include "StrToInt.h"

#include <gtest/gtest.h>

namespace {

TEST(StrToInt, ReadsSignedDecimalIntegersOfThirtyTwoBits)
{
    const struct {
        std::string text;
        int32_t value;
    } rows[] = {
        {"0", 0}, {"1500", 1500}, {"+7", 7}, {"-42", -42}, {"0012", 12},
        {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1},
    };
    for (const auto& row : rows)
        EXPECT_EQ(StrToInt(row.text), row.value) << row.text;
}

TEST(StrToInt, RaisesConvertErrorNamingTheText)
{
    for (const std::string text : {"", "+", "-", "+-1", "--1", "12a", " 1", "1 ", "0x10", "2147483648", "1.5"}) {
        try {
            StrToInt(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const EConvertError& error) {
            EXPECT_EQ(error.Message(), "'" + text + "' is not a valid integer value");
        }
    }
}

} // namespace
