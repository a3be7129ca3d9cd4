#include <gtest/gtest.h>

#include "app/convert.h"
#include "support/error.h"

namespace {

TEST(StrToInt, Accepts) {
    const std::pair<const char*, std::int32_t> rows[] = {
        {"234", 234},
        {"0", 0},
        {"-5", -5},
        {"+7", 7},
        {"  12", 12},
        {"$EA", 234},
        {"0xea", 234},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"000123", 123},
    };
    for (const auto& [text, value] : rows) EXPECT_EQ(corvix::StrToInt(text), value) << text;
}

TEST(StrToInt, RefusesWithTheTextInTheMessage) {
    for (const char* text :
         {"", " ", "-", "12 ", "1e3", "abc", "2147483648", "-2147483649", "$", "0x", "1.0", "99999999999999999999"}) {
        try {
            corvix::StrToInt(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const qor::Error& e) {
            EXPECT_EQ(std::string(e.what()), std::string("'") + text + "' is not a valid integer value");
        }
    }
}

}  // namespace
