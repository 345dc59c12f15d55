// Update of one key: only that value changes, every other byte stays.
#include "platform/ini/ini.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

struct Case {
    const char* name;
    std::string original;
    const char* section;
    const char* key;
    std::string value;
    std::string expected;
};

void runTable(const std::vector<Case>& table) {
    for (const Case& c : table) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ini::update(c.original, c.section, c.key, c.value), c.expected);
    }
}

TEST(IniUpdateReplace, OnlyTheValueOfTheFirstMatchingKeyChanges) {
    runTable({
        {"plain replace", "[S]\r\nK=old\r\nL=2\r\n", "S", "K", "new",
         "[S]\r\nK=new\r\nL=2\r\n"},
        {"key keeps its spelling", "[S]\r\nkEy=old\r\n", "s", "KEY", "new", "[S]\r\nkEy=new\r\n"},
        {"bytes up to the equals sign kept", "[S]\n  Key \t= old  \n", "S", "Key", "new",
         "[S]\n  Key \t=new\n"},
        {"first of two keys", "[S]\nK=1\nK=2\n", "S", "K", "3", "[S]\nK=3\nK=2\n"},
        {"first section of two", "[S]\nK=1\n[S]\nK=2\n", "S", "K", "3",
         "[S]\nK=3\n[S]\nK=2\n"},
        {"same key in another section untouched", "[A]\nK=1\n[B]\nK=2\n", "B", "K", "3",
         "[A]\nK=1\n[B]\nK=3\n"},
        {"further equals signs replaced with the value", "[S]\nK=a=b\n", "S", "K", "c",
         "[S]\nK=c\n"},
        {"empty new value", "[S]\nK=old\n", "S", "K", "", "[S]\nK=\n"},
        {"value given to an empty key", "[S]\nK=\nL=1\n", "S", "K", "v", "[S]\nK=v\nL=1\n"},
        {"last line without ending", "[S]\nK=old", "S", "K", "new", "[S]\nK=new"},
        {"lone CR ending kept", "[S]\rK=old\rL=1", "S", "K", "new", "[S]\rK=new\rL=1"},
        {"semicolon line is another key", "[S]\n;K=1\nK=2\n", "S", "K", "3",
         "[S]\n;K=1\nK=3\n"},
        {"requested names trimmed", "[S]\nK=1\n", " S\t", "\tK ", "2", "[S]\nK=2\n"},
        {"high bytes around kept", "[S]\n\x82\xA0=\x93\xFA\n\x8C\xEA=x\n", "S", "\x82\xA0",
         "\x96\x7B", "[S]\n\x82\xA0=\x96\x7B\n\x8C\xEA=x\n"},
        {"a trail byte is no letter in a key", "[S]\n\x83\x41=a\n", "S", "\x83\x61", "b",
         "[S]\n\x83\x41=a\n\x83\x61=b\n"},
        {"a trail byte is no letter in a section", "[\x83\x41]\nK=a\n", "\x83\x61", "K", "b",
         "[\x83\x41]\nK=a\n[\x83\x61]\r\nK=b\r\n"},
        {"a trail byte 5D closes no header", "[S]\nK=1\n", "\x93\x5D\x91\x97", "K", "2",
         "[S]\nK=1\n[\x93\x5D\x91\x97]\r\nK=2\r\n"},
    });
}

TEST(IniUpdateUnchanged, WritingTheValueAlreadyHeldKeepsEveryByte) {
    runTable({
        {"same value", "[S]\r\nK=v\r\n", "S", "K", "v", "[S]\r\nK=v\r\n"},
        {"same value with blanks around in the file", "[S]\nK =  v \t\n", "S", "K", "v",
         "[S]\nK =  v \t\n"},
        {"same value inside quotes", "[S]\nK=\"v\"\n", "S", "K", "v", "[S]\nK=\"v\"\n"},
        {"same empty value", "[S]\nK=\nL=1", "S", "K", "", "[S]\nK=\nL=1"},
        {"same value under CR endings", "[S]\rK=v\r", "S", "K", "v", "[S]\rK=v\r"},
    });
}

TEST(IniUpdateInsertKey, MissingKeyGoesAfterTheLastNonBlankLineOfItsSection) {
    runTable({
        {"after the last key", "[S]\r\nA=1\r\n\r\n[T]\r\nB=2\r\n", "S", "K", "v",
         "[S]\r\nA=1\r\nK=v\r\n\r\n[T]\r\nB=2\r\n"},
        {"after the header of an empty section", "[S]\r\n[T]\r\n", "S", "K", "v",
         "[S]\r\nK=v\r\n[T]\r\n"},
        {"after a line that is no key", "[S]\nA=1\njunk\n\n", "S", "K", "v",
         "[S]\nA=1\njunk\nK=v\n\n"},
        {"blank lines with tabs stay after", "[S]\nA=1\n \t\n[T]\n", "S", "K", "v",
         "[S]\nA=1\nK=v\n \t\n[T]\n"},
        {"LF file gets an LF line", "[S]\nA=1\n", "S", "K", "v", "[S]\nA=1\nK=v\n"},
        {"CR file gets a CR line", "[S]\rA=1\r[T]\r", "S", "K", "v", "[S]\rA=1\rK=v\r[T]\r"},
        {"last line without ending gets the section's ending", "[S]\nA=1", "S", "K", "v",
         "[S]\nA=1\nK=v\n"},
        {"header alone without ending gets CR LF", "[S]", "S", "K", "v", "[S]\r\nK=v\r\n"},
        {"into the first of two sections", "[S]\nA=1\n[S]\nK=2\n", "S", "K", "v",
         "[S]\nA=1\nK=v\n[S]\nK=2\n"},
        {"key before any header is not the key", "K=1\n[S]\n", "S", "K", "v",
         "K=1\n[S]\nK=v\n"},
        {"requested spelling used", "[s]\n", "S", " NewKey ", "v", "[s]\nNewKey=v\n"},
        {"key of another section not taken", "[A]\nK=1\n[B]\nL=2\n", "B", "K", "v",
         "[A]\nK=1\n[B]\nL=2\nK=v\n"},
    });
}

TEST(IniUpdateAppendSection, MissingSectionIsAppendedAtTheEnd) {
    runTable({
        {"empty file", "", "S", "K", "v", "[S]\r\nK=v\r\n"},
        {"after a final line ending", "[A]\nB=1\n", "S", "K", "v", "[A]\nB=1\n[S]\r\nK=v\r\n"},
        {"CR LF added when the last line has none", "[A]\nB=1", "S", "K", "v",
         "[A]\nB=1\r\n[S]\r\nK=v\r\n"},
        {"after a lone CR", "[A]\rB=1\r", "S", "K", "v", "[A]\rB=1\r[S]\r\nK=v\r\n"},
        {"after trailing blank lines", "[A]\n\n\n", "S", "K", "v", "[A]\n\n\n[S]\r\nK=v\r\n"},
        {"requested names trimmed", "", " S ", " K ", "v", "[S]\r\nK=v\r\n"},
        {"only keys without section", "K=1\n", "S", "K", "v", "K=1\n[S]\r\nK=v\r\n"},
        {"empty value", "", "S", "K", "", "[S]\r\nK=\r\n"},
    });
}

TEST(IniUpdateRefused, RequestsThatWouldNotReadBackLeaveTheBytes) {
    const std::string file = "[S]\r\nK=1\r\n[T]\r\nL=2\r\n";
    const std::vector<Case> table = {
        {"line feed in value", file, "S", "K", "a\nb", file},
        {"carriage return in value", file, "S", "K", "a\rb", file},
        {"line break in a new key's value", file, "S", "New", "a\r\n[T]", file},
        {"line break in key", file, "S", "K\n[T]", "v", file},
        {"line break in section", file, "S\r\n", "K", "v", file},
        {"close bracket in section", file, "S]", "K", "v", file},
        {"equals sign in key", file, "S", "K=", "v", file},
        {"key that would read as a header", file, "S", "[X]", "v", file},
        {"key with bracket and bracketed value", file, "S", "[X", "]", file},
    };
    runTable(table);
    for (const Case& c : table) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(ini::storable(c.section, c.key, c.value));
    }
    EXPECT_TRUE(ini::storable("S", "K", "a]b"));
    EXPECT_TRUE(ini::storable("S", "[X", "v"));
    EXPECT_TRUE(ini::storable(" [S ", " K ", " ; # \\n "));
}

TEST(IniUpdatePreservation, CrOnlyNoFinalNewlineAndMixedEndingsSurvive) {
    runTable({
        {"CR only file", "[A]\rX=1\r\r[S]\rK=old\r\r[B]\rY=2", "S", "K", "new",
         "[A]\rX=1\r\r[S]\rK=new\r\r[B]\rY=2"},
        {"mixed endings", "[S]\r\nA=1\nK=old\rB=2\r\n", "S", "K", "new",
         "[S]\r\nA=1\nK=new\rB=2\r\n"},
        {"mixed endings, insert uses the line before", "[S]\r\nA=1\n\r\n[T]\r", "S", "K", "v",
         "[S]\r\nA=1\nK=v\n\r\n[T]\r"},
        {"NUL bytes elsewhere kept", std::string("[S]\n\0=\0\nK=1\n", 12), "S", "K", "2",
         std::string("[S]\n\0=\0\nK=2\n", 12)},
    });
}

// After an update the key reads back as the new value and every other key reads as before.
TEST(IniUpdateRoundTrip, NewValueReadsBackAndOtherKeysAreUnchanged) {
    const std::vector<std::string> files = {
        "",
        "[S]\r\nK=1\r\nL=2\r\n[T]\r\nK=3\r\n",
        "top=0\n[S]\nL = \"two\" \n;K=x\n\n[T]\rK=3\r[S]\nK=dup\n",
        "[T]\rA=1\rB=2",
        "[S]\n[U]\nK=9",
        "[s]\r\nk=1\r\n",
    };
    const std::vector<std::pair<const char*, const char*>> keys = {
        {"S", "K"}, {"S", "L"}, {"T", "K"}, {"T", "A"}, {"T", "B"}, {"U", "K"}, {"S", ";K"},
        {"S", "top"}, {"New", "K"}, {"T", "New"},
    };
    const std::vector<std::string> values = {"", "v", "a b", "x=y;z", "\x82\xA0", "1"};
    for (const std::string& file : files) {
        for (const auto& [section, key] : keys) {
            for (const std::string& value : values) {
                SCOPED_TRACE(::testing::Message() << "file " << ::testing::PrintToString(file)
                                                  << " [" << section << "] " << key << "="
                                                  << value);
                const ini::Document before(file);
                const ini::Document after(ini::update(file, section, key, value));
                const auto found = after.find(section, key);
                ASSERT_TRUE(found.has_value());
                EXPECT_EQ(*found, value);
                for (const auto& [otherSection, otherKey] : keys) {
                    const bool same = std::string(otherSection) == section &&
                                      std::string(otherKey) == key;
                    if (same) continue;
                    EXPECT_EQ(after.find(otherSection, otherKey),
                              before.find(otherSection, otherKey))
                        << "[" << otherSection << "] " << otherKey << " changed";
                }
                // A second write of the same value changes nothing.
                EXPECT_EQ(ini::update(after.bytes(), section, key, value), after.bytes());
            }
        }
    }
}

}  // namespace
