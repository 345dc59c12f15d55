// Reading REGEDIT4 files: every accepted form of key and value, and every refusal with the
// line it names.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "platform/posix/registry_file.h"

namespace {

using posix::RegistryFile;
using posix::RegistryParseError;
using posix::RegistryValue;

std::string bytes(std::initializer_list<int> list) {
    std::string out;
    for (int b : list) out.push_back(static_cast<char>(b));
    return out;
}

// A literal with the NUL bytes in it kept.
template <std::size_t N>
std::string withNul(const char (&text)[N]) {
    return std::string(text, N - 1);
}

std::string sz(const std::string& text) { return text + std::string(1, '\0'); }

struct ValidCase {
    const char* name;
    std::string file;
    std::string key;
    std::vector<RegistryValue> expected;
};

void PrintTo(const ValidCase& c, std::ostream* os) { *os << c.name; }

class ValidFile : public testing::TestWithParam<ValidCase> {};

TEST_P(ValidFile, GivesTheKeyWithItsValues) {
    const ValidCase& c = GetParam();
    RegistryParseError error;
    std::optional<RegistryFile> file = RegistryFile::parse(c.file, &error);
    ASSERT_TRUE(file.has_value()) << "line " << error.line << ": " << error.reason;
    EXPECT_TRUE(file->keyExists(c.key));
    std::vector<RegistryValue> values = file->values(c.key);
    ASSERT_EQ(values.size(), c.expected.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(values[i].name, c.expected[i].name) << "value " << i;
        EXPECT_EQ(values[i].type, c.expected[i].type) << "value " << i;
        EXPECT_EQ(values[i].data, c.expected[i].data) << "value " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ValidFile,
    testing::Values(
        ValidCase{"String", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\A]\n\"Name\"=\"text\"\n", "Software\\A",
                  {{"Name", 1, sz("text")}}},
        ValidCase{"EscapesInNameAndData",
                  "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"Pa\\\\th \\\"q\\\"\"=\"C:\\\\Program Files\\\\\\\"x\\\"\"\n", "A",
                  {{"Pa\\th \"q\"", 1, sz("C:\\Program Files\\\"x\"")}}},
        ValidCase{"EmptyString", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"e\"=\"\"\n", "A", {{"e", 1, sz("")}}},
        ValidCase{"DefaultValue", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n@=\"default\"\n", "A",
                  {{"", 1, sz("default")}}},
        ValidCase{"Dword", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"n\"=dword:0000001f\n", "A",
                  {{"n", 4, bytes({0x1f, 0, 0, 0})}}},
        ValidCase{"DwordFewDigitsAnyCase", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"n\"=DWORD:AbC\n", "A",
                  {{"n", 4, bytes({0xbc, 0x0a, 0, 0})}}},
        ValidCase{"DwordAllBits", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"n\"=dword:ffffffff\n", "A",
                  {{"n", 4, bytes({0xff, 0xff, 0xff, 0xff})}}},
        ValidCase{"Binary", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"b\"=hex:01,02,ff\n", "A",
                  {{"b", 3, bytes({1, 2, 0xff})}}},
        ValidCase{"EmptyBinary", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"b\"=hex:\n", "A", {{"b", 3, ""}}},
        ValidCase{"TypedHex", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=hex(2):41,25,00\n", "A",
                  {{"x", 2, bytes({0x41, 0x25, 0})}}},
        ValidCase{"TypedHexInHexDigits", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"q\"=HEX(b):1,2\n", "A",
                  {{"q", 11, bytes({1, 2})}}},
        ValidCase{"ContinuedLines",
                  "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"m\"=hex(7):61,00,\\\n  62,00,\\\n\t00\n\"after\"=\"x\"\n", "A",
                  {{"m", 7, bytes({0x61, 0, 0x62, 0, 0})}, {"after", 1, sz("x")}}},
        ValidCase{"BlanksAroundEquals", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n  \"s\" =\t\"v\"  \n", "A",
                  {{"s", 1, sz("v")}}},
        ValidCase{"CrLf", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"s\"=\"v\"\r\n\"d\"=dword:00000002\r\n", "A",
                  {{"s", 1, sz("v")}, {"d", 4, bytes({2, 0, 0, 0})}}},
        ValidCase{"ByteOrderMark", "\xEF\xBB\xBFREGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"s\"=\"v\"\n", "A",
                  {{"s", 1, sz("v")}}},
        ValidCase{"CommentsAndBlankLines",
                  "\n  REGEDIT4  \n; a comment\n\n[HKEY_LOCAL_MACHINE\\A]\n; inside\n\n\"s\"=\"v\"\n  ;\"t\"=\"w\"\n", "A",
                  {{"s", 1, sz("v")}}},
        // Code page 932: ソフト\表 and ソ, 表示 (ソ and 表 end in 0x5C), written as exports write them.
        ValidCase{"DoubleByteCharactersWhole",
                  "REGEDIT4\n[HKEY_LOCAL_MACHINE\\\x83\x5c\x83\x74\x83\x67\\\x95\x5c]\n\"\x83\x5c\"=\"\x95\x5c\x8e\xa6\"\n",
                  "\x83\x5c\x83\x74\x83\x67\\\x95\x5c", {{"\x83\x5c", 1, sz("\x95\x5c\x8e\xa6")}}},
        // ア (83 41) and ヂ (83 61) differ in a second byte that looks like a letter.
        ValidCase{"SecondByteIsNoLetter",
                  "REGEDIT4\n[HKEY_LOCAL_MACHINE\\\x83\x41]\n\"a\"=\"1\"\n[HKEY_LOCAL_MACHINE\\\x83\x61]\n\"b\"=\"2\"\n",
                  "\x83\x61", {{"b", 1, sz("2")}}},
        ValidCase{"LaterDataWinsAtFirstPlace", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=\"1\"\n\"b\"=\"2\"\n\"A\"=dword:3\n",
                  "A", {{"a", 4, bytes({3, 0, 0, 0})}, {"b", 1, sz("2")}}},
        ValidCase{"RepeatedKeyMerged",
                  "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=\"1\"\n[HKEY_LOCAL_MACHINE\\B]\n[HKEY_LOCAL_MACHINE\\a]\n\"b\"=\"2\"\n",
                  "A", {{"a", 1, sz("1")}, {"b", 1, sz("2")}}},
        ValidCase{"RootCaseIgnored", "REGEDIT4\n[hkey_local_machine\\A]\n\"s\"=\"v\"\n", "a", {{"s", 1, sz("v")}}},
        ValidCase{"RootItself", "REGEDIT4\n[HKEY_LOCAL_MACHINE]\n\"s\"=\"v\"\n", "", {{"s", 1, sz("v")}}},
        ValidCase{"NoFinalLineEnd", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"s\"=\"v\"", "A", {{"s", 1, sz("v")}}},
        ValidCase{"KeyWithoutValues", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n", "A", {}},
        ValidCase{"StringWithBracketsAndSemicolon", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"s\"=\"[x];y=\\\"z\\\"\"\n", "A",
                  {{"s", 1, sz("[x];y=\"z\"")}}}),
    [](const testing::TestParamInfo<ValidCase>& testCase) { return std::string(testCase.param.name); });

struct BadCase {
    const char* name;
    std::string file;
    std::size_t line;
    const char* reason;  // a part of the reason
};

void PrintTo(const BadCase& c, std::ostream* os) { *os << c.name; }

class BadFile : public testing::TestWithParam<BadCase> {};

TEST_P(BadFile, IsRefusedNamingTheLine) {
    const BadCase& c = GetParam();
    RegistryParseError error;
    std::optional<RegistryFile> file = RegistryFile::parse(c.file, &error);
    ASSERT_FALSE(file.has_value());
    EXPECT_EQ(error.line, c.line);
    EXPECT_NE(error.reason.find(c.reason), std::string::npos) << error.reason;
}

INSTANTIATE_TEST_SUITE_P(
    Errors, BadFile,
    testing::Values(
        BadCase{"WrongSignature", "REGEDIT5\n[HKEY_LOCAL_MACHINE\\A]\n", 1, "REGEDIT4"},
        BadCase{"LaterVersionFormat", "Windows Registry Editor Version 5.00\n", 1, "REGEDIT4"},
        BadCase{"SignatureAfterBlankLines", "\n\r\n[HKEY_LOCAL_MACHINE\\A]\n", 3, "REGEDIT4"},
        BadCase{"CommentBeforeSignature", "; hello\nREGEDIT4\n", 1, "REGEDIT4"},
        BadCase{"SignatureWithLowerCase", "regedit4\n", 1, "REGEDIT4"},
        BadCase{"Utf16", withNul("\xFF\xFER\0E\0"), 1, "UTF-16"},
        BadCase{"ValueOutsideKey", "REGEDIT4\n\"a\"=\"b\"\n", 2, "outside a key"},
        BadCase{"GarbageLine", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=\"b\"\nfoo\n", 4, "expected \"name\"=value"},
        BadCase{"UnterminatedString", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\n\"a\"=\"b\n", 4, "unterminated"},
        BadCase{"UnterminatedName", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a=\"b\"\n", 3, "expected \"=\""},
        BadCase{"UnknownEscape", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=\"x\\ny\"\n", 3, "unknown escape"},
        BadCase{"MissingEquals", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\" \"b\"\n", 3, "expected \"=\""},
        BadCase{"DwordTooLong", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=dword:000000001\n", 3, "at most 8"},
        BadCase{"DwordWithoutDigits", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=dword:\n", 3, "hex digits"},
        BadCase{"DwordNotHex", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=dword:12x4\n", 3, "unexpected text"},
        BadCase{"BadHexByte", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=hex:01,zz\n", 3, "hex byte"},
        BadCase{"HexByteTooWide", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=hex:012\n", 3, "\",\""},
        BadCase{"BadHexOnThirdContinuedLine",
                "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=hex:01,\\\n  02,\\\n  0g\n", 5, "\",\""},
        BadCase{"TrailingComma", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=hex:01,\n", 3, "hex byte"},
        BadCase{"ContinuationAtEndOfFile", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=hex:01,\\\n", 3, "hex byte"},
        BadCase{"BadHexType", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=hex(zz):01\n", 3, "value type"},
        BadCase{"HexTypeUnclosed", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=hex(2:01\n", 3, "value type"},
        BadCase{"HexWithoutColon", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=hex 01\n", 3, "\":\""},
        BadCase{"UnknownType", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=qword:1\n", 3, "expected a string"},
        BadCase{"TextAfterValue", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=\"b\" c\n", 3, "unexpected text"},
        BadCase{"ValueDeletion", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=-\n", 3, "value deletion"},
        BadCase{"KeyDeletion", "REGEDIT4\n\n[-HKEY_LOCAL_MACHINE\\A]\n", 3, "key deletion"},
        BadCase{"HeaderWithoutBracket", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\n", 2, "\"]\""},
        BadCase{"TextAfterHeader", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A] x\n", 2, "\"]\""},
        BadCase{"UnknownRoot", "REGEDIT4\n[SOFTWARE\\A]\n", 2, "unknown root"},
        BadCase{"EmptyKeyName", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\\\\B]\n", 2, "empty key name"},
        BadCase{"TrailingBackslashInKey", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\\]\n", 2, "empty key name"},
        BadCase{"RootWithBackslashOnly", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\]\n", 2, "empty key name"},
        BadCase{"NulByte", withNul("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\n;x\0y\n"), 4, "NUL"},
        BadCase{"NulInContinuedLine", withNul("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=hex:01,\\\n\0\n"), 4,
                "NUL"},
        BadCase{"NulBeforeSignature", withNul("\0REGEDIT4\n"), 1, "NUL"}),
    [](const testing::TestParamInfo<BadCase>& testCase) { return std::string(testCase.param.name); });

TEST(RegistryParse, EmptyOrBlankFileIsAnEmptyRegistry) {
    for (const char* text : {"", "\n\n", " \r\n\t\n"}) {
        std::optional<RegistryFile> file = RegistryFile::parse(text, nullptr);
        ASSERT_TRUE(file.has_value()) << '"' << text << '"';
        EXPECT_TRUE(file->keys().empty());
        EXPECT_FALSE(file->keyExists("A"));
        EXPECT_TRUE(file->keyExists(""));
    }
}

TEST(RegistryParse, KeysOfOtherRootsAreKeptButCannotBeReached) {
    std::string text =
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\A]\n\"s\"=\"v\"\n\n[HKEY_LOCAL_MACHINE\\Software\\B]\n";
    std::optional<RegistryFile> file = RegistryFile::parse(text, nullptr);
    ASSERT_TRUE(file.has_value());
    EXPECT_FALSE(file->keyExists("Software\\A"));
    EXPECT_TRUE(file->keyExists("Software\\B"));
    EXPECT_EQ(file->keys(), std::vector<std::string>{"Software\\B"});
    EXPECT_EQ(file->write(), text);
}

TEST(RegistryParse, ValuesOfOtherRootsAreCheckedToo) {
    RegistryParseError error;
    EXPECT_FALSE(RegistryFile::parse("REGEDIT4\n[HKEY_USERS\\A]\n\"s\"=bad\n", &error).has_value());
    EXPECT_EQ(error.line, 3u);
}

TEST(RegistryParse, ParentsOfANamedKeyExist) {
    std::optional<RegistryFile> file =
        RegistryFile::parse("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Vendor\\Product]\n", nullptr);
    ASSERT_TRUE(file.has_value());
    EXPECT_TRUE(file->keyExists("Software"));
    EXPECT_TRUE(file->keyExists("Software\\Vendor"));
    EXPECT_TRUE(file->keyExists("Software\\Vendor\\Product"));
    EXPECT_FALSE(file->keyExists("Software\\Vendor\\Product\\More"));
    EXPECT_FALSE(file->keyExists("Software\\Vend"));
    EXPECT_TRUE(file->hasSubkeys("Software\\Vendor"));
    EXPECT_FALSE(file->hasSubkeys("Software\\Vendor\\Product"));
    EXPECT_TRUE(file->values("Software\\Vendor").empty());
}

struct PathCase {
    const char* path;
    bool exists;
};

class KeyLookup : public testing::TestWithParam<PathCase> {};

TEST_P(KeyLookup, IgnoresCaseAndRefusesEmptyNames) {
    std::optional<RegistryFile> file =
        RegistryFile::parse("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Vantrell\\DUZORE32\\Application]\n", nullptr);
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->keyExists(GetParam().path), GetParam().exists);
}

INSTANTIATE_TEST_SUITE_P(Paths, KeyLookup,
                         testing::Values(PathCase{"Software\\Vantrell\\DUZORE32\\Application", true},
                                         PathCase{"SOFTWARE\\vantrell\\duzore32\\APPLICATION", true},
                                         PathCase{"software\\VANTRELL", true}, PathCase{"", true},
                                         PathCase{"\\Software", false}, PathCase{"Software\\", false},
                                         PathCase{"Software\\\\Vantrell", false}, PathCase{"Software/Vantrell", false},
                                         PathCase{"Softwar", false}));

TEST(RegistryParse, KeysKeepTheirFirstSpelling) {
    std::optional<RegistryFile> file = RegistryFile::parse(
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\MixedCase]\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\mixedcase]\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n",
        nullptr);
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->keys(), (std::vector<std::string>{"Software\\MixedCase", "Software\\Other"}));
}

TEST(RegistryParse, ValueNamesKeepTheirCase) {
    std::optional<RegistryFile> file =
        RegistryFile::parse("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"DisplayName\"=\"x\"\n", nullptr);
    ASSERT_TRUE(file.has_value());
    ASSERT_EQ(file->values("a").size(), 1u);
    EXPECT_EQ(file->values("a")[0].name, "DisplayName");
}

}  // namespace
