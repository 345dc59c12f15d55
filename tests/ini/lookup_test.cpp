// String look-up: how lines, names and values are read.
#include "platform/ini/ini.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct Answer {
    std::string text;
    std::uint32_t count;
};

// Looks up with a roomy buffer; "<default>" marks that the default answered.
Answer lookup(const std::string& file, const char* section, const char* key,
              const char* defaultText = "<default>") {
    const ini::Document document(file);
    std::vector<char> buffer(file.size() + 64, '\x7f');
    const std::uint32_t count = ini::getString(&document, section, key, defaultText,
                                               buffer.data(),
                                               static_cast<std::uint32_t>(buffer.size()));
    return {std::string(buffer.data(), count), count};
}

struct Case {
    const char* name;
    std::string file;
    const char* section;
    const char* key;
    std::string expected;
};

void runTable(const std::vector<Case>& table) {
    for (const Case& c : table) {
        SCOPED_TRACE(c.name);
        const Answer answer = lookup(c.file, c.section, c.key);
        EXPECT_EQ(answer.text, c.expected);
        EXPECT_EQ(answer.count, c.expected.size());
    }
}

TEST(IniNames, MatchWholeWithoutRegardToCaseAndIgnoreSurroundingBlanks) {
    runTable({
        {"exact names match", "[Sec]\r\nKey=v\r\n", "Sec", "Key", "v"},
        {"section case differs", "[SECTION]\r\nKey=v\r\n", "section", "Key", "v"},
        {"key case differs", "[Sec]\r\nkEy=v\r\n", "Sec", "KEY", "v"},
        {"blanks around requested names", "[Sec]\r\nKey=v\r\n", " \tSec ", "\tKey  ", "v"},
        {"blanks around file names", "[ \tSec\t ]\r\n  Key\t =v\r\n", "Sec", "Key", "v"},
        {"blanks inside names are kept", "[My Sec]\r\nMy  Key=v\r\n", "My Sec", "My  Key", "v"},
        {"inner blanks must agree", "[My Sec]\r\nMy Key=v\r\n", "MySec", "My Key", "<default>"},
        {"key prefix does not match", "[Sec]\r\nKeyLonger=v\r\n", "Sec", "Key", "<default>"},
        {"longer key does not match", "[Sec]\r\nKey=v\r\n", "Sec", "Key2", "<default>"},
        {"section prefix does not match", "[Section]\r\nKey=v\r\n", "Sec", "Key", "<default>"},
        {"case folding is ASCII only", "[Sec]\r\n\xC4key=v\r\n", "Sec", "\xE4key", "<default>"},
        {"high bytes in names match byte for byte", "[\x83Z]\r\n\x82\xA0=v\r\n", "\x83Z",
         "\x82\xA0", "v"},
        {"a trail byte is no letter in a key", "[S]\r\n\x83\x41=a\r\n\x83\x61=b\r\n", "S", "\x83\x61", "b"},
        {"a trail byte is no letter in a section", "[\x83\x61]\r\nK=a\r\n", "\x83\x41", "K", "<default>"},
        {"a trail byte 5D closes no header", "[\x93\x5D\x91\x97]\r\nK=v\r\n", "\x93\x5D\x91\x97", "K", "v"},
    });
}

TEST(IniHeaders, OpenBracketWithCloseBracketStartsASection) {
    runTable({
        {"plain header", "[Sec]\nKey=v\n", "Sec", "Key", "v"},
        {"blanks before the bracket", "  \t[Sec]\nKey=v\n", "Sec", "Key", "v"},
        {"name ends at the first close bracket", "[Sec]x]\nKey=v\n", "Sec", "Key", "v"},
        {"text after the bracket is ignored", "[Sec] junk=1\nKey=v\n", "Sec", "Key", "v"},
        {"header without close bracket is no header", "[Sec\nKey=v\n", "Sec", "Key",
         "<default>"},
        {"bracketless line keeps the previous section", "[Sec]\n[Other\nKey=v\n", "Sec", "Key",
         "v"},
        {"next header ends the section", "[Sec]\n[Next]\nKey=v\n", "Sec", "Key", "<default>"},
        {"key found in the later section", "[Sec]\n[Next]\nKey=v\n", "Next", "Key", "v"},
        {"empty section name", "[]\nKey=v\n", "", "Key", "v"},
        {"bracket not first is no header", "x[Sec]\nKey=v\n", "Sec", "Key", "<default>"},
    });
}

TEST(IniKeyLines, NameEndsAtTheFirstEqualsSign) {
    runTable({
        {"further equals signs belong to the value", "[S]\nKey=a=b=c\n", "S", "Key", "a=b=c"},
        {"blanks around the value are dropped", "[S]\nKey =  a b \t\n", "S", "Key", "a b"},
        {"line without equals is no key", "[S]\nKey\nKey=v\n", "S", "Key", "v"},
        {"line without equals alone gives the default", "[S]\nKey\n", "S", "Key",
         "<default>"},
        {"empty key name", "[S]\n=v\n", "S", "", "v"},
        {"key containing a bracket", "[S]\nA[1]=v\n", "S", "A[1]", "v"},
        {"key line starting with a bracket but no close", "[S]\n[A=v\n", "S", "[A", "v"},
        {"a lead byte takes the equals sign after it", "[S]\nK\x81=v\n", "S", "K\x81", "<default>"},
    });
}

TEST(IniLineEndings, EveryLineBreakStyleEndsALine) {
    const std::string longValue(300000, 'x');
    runTable({
        {"CR LF", "[S]\r\nA=1\r\nB=2\r\n", "S", "B", "2"},
        {"LF", "[S]\nA=1\nB=2\n", "S", "B", "2"},
        {"lone CR", "[S]\rA=1\rB=2\r", "S", "B", "2"},
        {"end of file", "[S]\nB=2", "S", "B", "2"},
        {"mixed endings", "[S]\rA=1\nB=2\r\nC=3", "S", "C", "3"},
        {"value does not run into the next line under CR", "[S]\rA=1\rB=2", "S", "A", "1"},
        {"LF CR is two line breaks", "[S]\n\rA=1\n\r", "S", "A", "1"},
        {"long line", "[S]\nA=" + longValue + "\nB=2\n", "S", "A", longValue},
        {"after a long line", "[S]\nA=" + longValue + "\nB=2\n", "S", "B", "2"},
    });
}

TEST(IniNulBytes, AreOrdinaryBytesOfTheLine) {
    runTable({
        {"NUL inside a value is kept", std::string("[S]\nA=x\0y\nB=2\n", 14), "S", "A",
         std::string("x\0y", 3)},
        {"NUL does not end the file", std::string("[S]\n\0\nB=2\n", 10), "S", "B", "2"},
        {"NUL inside a key name never matches a plain name", std::string("[S]\nA\0=1\n", 9),
         "S", "A", "<default>"},
        {"NUL in a header", std::string("[S\0]\nA=1\n[T]\nA=2\n", 17), "T", "A", "2"},
    });
}

TEST(IniNoCommentSyntax, SemicolonsHashesAndBackslashesAreText) {
    runTable({
        {"semicolon line is a key named with it", "[S]\n;Key=1\n", "S", "Key", "<default>"},
        {"semicolon key found under its full name", "[S]\n;Key=1\n", "S", ";Key", "1"},
        {"hash line is a key named with it", "[S]\n#Key=1\nKey=2\n", "S", "Key", "2"},
        {"hash key found under its full name", "[S]\n#Key=1\n", "S", "#Key", "1"},
        {"semicolon after a value is part of it", "[S]\nKey=a ; note\n", "S", "Key",
         "a ; note"},
        {"backslash n stays two characters", "[S]\nKey=a\\nb\n", "S", "Key", "a\\nb"},
        {"bytes above 0x7f kept", "[S]\nKey=\x93\xFA\x96\x7B\x8C\xEA\n", "S", "Key",
         "\x93\xFA\x96\x7B\x8C\xEA"},
        {"second byte that looks like a backslash kept", "[S]\nKey=\x95\x5C\n", "S", "Key",
         "\x95\x5C"},
    });
}

TEST(IniFirstOccurrence, FirstKeyAndFirstSectionWin) {
    runTable({
        {"first of two keys", "[S]\nK=1\nK=2\n", "S", "K", "1"},
        {"first of two keys in other case", "[S]\nk=1\nK=2\n", "S", "K", "1"},
        {"empty first key still wins", "[S]\nK=\nK=2\n", "S", "K", ""},
        {"repeated section not searched", "[S]\nA=1\n[T]\n[S]\nB=2\n", "S", "B", "<default>"},
        {"repeated section does not override", "[S]\nA=1\n[s]\nA=2\n", "S", "A", "1"},
        {"repeated section in other spacing", "[S]\n[ s ]\nA=2\n", "S", "A", "<default>"},
        {"keys before any header are never found", "A=1\n[S]\nB=2\n", "S", "A", "<default>"},
        {"keys before any header not found by empty section", "A=1\n", "", "A",
         "<default>"},
    });
}

TEST(IniQuotes, OneEnclosingPairIsRemoved) {
    runTable({
        {"double quotes", "[S]\nK=\"abc\"\n", "S", "K", "abc"},
        {"single quotes", "[S]\nK='abc'\n", "S", "K", "abc"},
        {"blanks outside the quotes", "[S]\nK=  \"abc\" \t\n", "S", "K", "abc"},
        {"blanks inside the quotes kept", "[S]\nK=\" a b \"\n", "S", "K", " a b "},
        {"only the outer pair", "[S]\nK=\"\"abc\"\"\n", "S", "K", "\"abc\""},
        {"quote inside kept", "[S]\nK=\"a\"b\"\n", "S", "K", "a\"b"},
        {"mismatched quotes kept", "[S]\nK=\"abc'\n", "S", "K", "\"abc'"},
        {"opening quote only", "[S]\nK=\"abc\n", "S", "K", "\"abc"},
        {"closing quote only", "[S]\nK=abc\"\n", "S", "K", "abc\""},
        {"lone double quote stays", "[S]\nK=\"\n", "S", "K", "\""},
        {"lone single quote stays", "[S]\nK='\n", "S", "K", "'"},
        {"quotes not enclosing the whole value", "[S]\nK=\"a\" b\n", "S", "K", "\"a\" b"},
    });
}

struct DefaultCase {
    const char* name;
    bool haveFile;
    std::string file;
    const char* section;
    const char* key;
    const char* defaultText;
    std::string expected;
};

TEST(IniDefault, UsedOnlyWhenFileSectionOrKeyIsMissing) {
    const std::vector<DefaultCase> table = {
        {"empty value gives empty text", true, "[S]\nK=\n", "S", "K", "dflt", ""},
        {"blank value gives empty text", true, "[S]\nK=  \t \n", "S", "K", "dflt", ""},
        {"empty quotes give empty text", true, "[S]\nK=\"\"\n", "S", "K", "dflt", ""},
        {"empty single quotes give empty text", true, "[S]\nK=''\n", "S", "K", "dflt", ""},
        {"missing key", true, "[S]\nK=1\n", "S", "Other", "dflt", "dflt"},
        {"missing section", true, "[S]\nK=1\n", "T", "K", "dflt", "dflt"},
        {"missing file", false, "", "S", "K", "dflt", "dflt"},
        {"empty file", true, "", "S", "K", "dflt", "dflt"},
        {"trailing spaces of default removed", false, "", "S", "K", "dflt   ", "dflt"},
        {"leading spaces of default kept", false, "", "S", "K", "  dflt", "  dflt"},
        {"default of spaces only", false, "", "S", "K", "   ", ""},
        {"null default counts as empty", false, "", "S", "K", nullptr, ""},
        {"null default with missing key", true, "[S]\nK=1\n", "S", "X", nullptr, ""},
        {"null section gives the default", true, "[S]\nK=1\n", nullptr, "K", "dflt", "dflt"},
        {"null key gives the default", true, "[S]\nK=1\n", "S", nullptr, "dflt", "dflt"},
        {"value trailing spaces are not the default's", true, "[S]\nK=\"a  \"\n", "S", "K",
         "dflt", "a  "},
    };
    for (const DefaultCase& c : table) {
        SCOPED_TRACE(c.name);
        const ini::Document document(c.file);
        char buffer[64];
        std::fill(std::begin(buffer), std::end(buffer), '\x7f');
        const std::uint32_t count = ini::getString(c.haveFile ? &document : nullptr, c.section,
                                                   c.key, c.defaultText, buffer, sizeof buffer);
        EXPECT_EQ(std::string(buffer), c.expected);
        EXPECT_EQ(count, c.expected.size());
    }
}

struct CapacityCase {
    const char* name;
    const char* defaultText;  // the value comes from the file when null
    std::uint32_t capacity;
    std::string expected;
};

TEST(IniCapacity, TextIsCutToCapacityLessOneAndTerminated) {
    const std::vector<CapacityCase> table = {
        {"value fits", nullptr, 8, "abcdef"},
        {"value fits exactly", nullptr, 7, "abcdef"},
        {"value cut by one", nullptr, 6, "abcde"},
        {"value cut to one byte", nullptr, 2, "a"},
        {"room for the terminator only", nullptr, 1, ""},
        {"default cut", "uvwxyz", 4, "uvw"},
        {"default cut after its spaces go", "uv   ", 4, "uv"},
    };
    const std::string file = "[S]\nK=abcdef\n";
    const ini::Document document(file);
    for (const CapacityCase& c : table) {
        SCOPED_TRACE(c.name);
        char buffer[16];
        std::fill(std::begin(buffer), std::end(buffer), '\x7f');
        const char* key = c.defaultText != nullptr ? "Missing" : "K";
        const std::uint32_t count =
            ini::getString(&document, "S", key, c.defaultText, buffer, c.capacity);
        EXPECT_EQ(count, c.expected.size());
        EXPECT_EQ(std::string(buffer, count), c.expected);
        EXPECT_EQ(buffer[count], '\0');
        for (std::size_t i = c.capacity; i < sizeof buffer; ++i) {
            EXPECT_EQ(buffer[i], '\x7f') << "byte " << i << " written past the capacity";
        }
    }
}

TEST(IniCapacity, ZeroCapacityWritesNothing) {
    const ini::Document document("[S]\nK=abc\n");
    char buffer[4] = {'\x7f', '\x7f', '\x7f', '\x7f'};
    EXPECT_EQ(ini::getString(&document, "S", "K", "d", buffer, 0), 0u);
    EXPECT_EQ(ini::getString(&document, "S", "X", "d", buffer, 0), 0u);
    EXPECT_EQ(ini::getString(nullptr, "S", "X", "d", buffer, 0), 0u);
    for (char c : buffer) EXPECT_EQ(c, '\x7f');
}

TEST(IniCapacity, NullBufferIsRefused) {
    const ini::Document document("[S]\nK=abc\n");
    EXPECT_EQ(ini::getString(&document, "S", "K", "d", nullptr, 10), 0u);
}

TEST(IniDocument, FindReportsMissingAndPresentValues) {
    const ini::Document document("[S]\nK=\" v \"\nE=\n");
    ASSERT_TRUE(document.find("S", "K").has_value());
    EXPECT_EQ(*document.find("s", " k "), " v ");
    ASSERT_TRUE(document.find("S", "E").has_value());
    EXPECT_EQ(*document.find("S", "E"), "");
    EXPECT_FALSE(document.find("S", "X").has_value());
    EXPECT_FALSE(document.find("T", "K").has_value());
    EXPECT_EQ(document.bytes(), "[S]\nK=\" v \"\nE=\n");
}

}  // namespace
