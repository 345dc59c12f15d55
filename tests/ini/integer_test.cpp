// Integer look-up: the value as the string look-up reads it, then a C-like number.
#include "platform/ini/ini.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Case {
    const char* name;
    const char* value;  // written after "K=", or the key is absent when null
    int defaultValue;
    unsigned expected;
};

TEST(IniInteger, ReadsSignPrefixAndDigitsWrappingModulo2To32) {
    const std::vector<Case> table = {
        {"decimal", "42", 7, 42u},
        {"zero", "0", 7, 0u},
        {"missing key gives the default", nullptr, 7, 7u},
        {"empty value gives the default", "", 7, 7u},
        {"blank value gives the default", "   ", 7, 7u},
        {"empty quotes give the default", "\"\"", 7, 7u},
        {"negative default wraps", nullptr, -2, 0xFFFFFFFEu},
        {"quoted number", "\"12\"", 7, 12u},
        {"blanks inside quotes skipped", "\"  12\"", 7, 12u},
        {"plus sign", "+5", 7, 5u},
        {"minus one wraps", "-1", 7, 0xFFFFFFFFu},
        {"minus sign", "-10", 7, 0u - 10u},
        {"two signs read nothing", "--1", 7, 0u},
        {"sign alone", "-", 7, 0u},
        {"digits up to a letter", "1x", 7, 1u},
        {"digits up to a blank", "12 34", 7, 12u},
        {"letters give zero not the default", "abc", 7, 0u},
        {"hexadecimal", "0x1F", 7, 31u},
        {"hexadecimal lower case digits", "0xff", 7, 255u},
        {"negative hexadecimal", "-0x10", 7, 0u - 16u},
        {"upper case X is no prefix", "0X10", 7, 0u},
        {"octal", "0o17", 7, 15u},
        {"octal stops at 8", "0o18", 7, 1u},
        {"upper case O is no prefix", "0O17", 7, 0u},
        {"binary", "0b101", 7, 5u},
        {"binary stops at 2", "0b1021", 7, 2u},
        {"prefix without digits", "0x", 7, 0u},
        {"leading zero is still decimal", "017", 7, 17u},
        {"largest unsigned", "4294967295", 7, 0xFFFFFFFFu},
        {"one past wraps to zero", "4294967296", 7, 0u},
        {"far past wraps", "10000000000", 7, 1410065408u},
        {"hex past 32 bits wraps", "0x123456789", 7, 0x23456789u},
        {"sign after blanks", "\" -3\"", 7, 0u - 3u},
        {"blank after sign stops", "- 3", 7, 0u},
        {"semicolon is text", "5;comment", 7, 5u},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.name);
        std::string file = "[S]\r\n";
        if (c.value != nullptr) file += std::string("K=") + c.value + "\r\n";
        const ini::Document document(file);
        EXPECT_EQ(ini::getInt(&document, "S", "K", c.defaultValue), c.expected);
    }
}

TEST(IniInteger, MissingFileSectionOrNameGivesTheDefault) {
    const ini::Document document("[S]\nK=3\n");
    EXPECT_EQ(ini::getInt(&document, "s", " k ", 9), 3u);
    EXPECT_EQ(ini::getInt(nullptr, "S", "K", 9), 9u);
    EXPECT_EQ(ini::getInt(&document, "T", "K", 9), 9u);
    EXPECT_EQ(ini::getInt(&document, nullptr, "K", 9), 9u);
    EXPECT_EQ(ini::getInt(&document, "S", nullptr, 9), 9u);
}

}  // namespace
