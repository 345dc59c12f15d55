// Writing REGEDIT4 files back: unchanged input comes back byte for byte, changes touch only
// their own lines, and what is written reads back as the same keys and values.
#include <gtest/gtest.h>

#include <ctime>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "platform/posix/registry_file.h"

namespace {

using posix::RegistryFile;
using posix::RegistryParseError;
using posix::RegistryValue;
using Deletion = RegistryFile::KeyDeletion;

RegistryFile parsed(const std::string& text) {
    RegistryParseError error;
    std::optional<RegistryFile> file = RegistryFile::parse(text, &error);
    EXPECT_TRUE(file.has_value()) << "line " << error.line << ": " << error.reason;
    return file ? std::move(*file) : *RegistryFile::parse("", nullptr);
}

// Every key with its values, as one comparable text.
std::string contents(const RegistryFile& file) {
    std::string out;
    for (const std::string& key : file.keys()) {
        out.append("[").append(key).append("]\n");
        for (const RegistryValue& value : file.values(key)) {
            out.append(value.name).append(" type ").append(std::to_string(value.type)).append(" =");
            for (char c : value.data) out.append(" ").append(std::to_string(static_cast<unsigned char>(c)));
            out.append("\n");
        }
    }
    return out;
}

const std::string kSample =
    "REGEDIT4\r\n"
    "\r\n"
    "; exported\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Vantrell\\DUZORE32]\r\n"
    "\"Path\"=\"C:\\\\Program Files\\\\Vantrell\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Vantrell\\DUZORE32\\Application]\r\n"
    "\"FileUtil\"=\"1\"\r\n"
    "\"DelivUtil\"=\"1\"\r\n"
    "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
    "  16,17\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Elsewhere]\r\n"
    "@=\"kept\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\DelivUtil]\r\n"
    "\"DisplayName\"=\"Delivery utility\"\r\n"
    "\"Version\"=dword:00000102\r\n";

class Unchanged : public testing::TestWithParam<std::string> {};

TEST_P(Unchanged, FileComesBackByteForByte) {
    RegistryFile file = parsed(GetParam());
    EXPECT_FALSE(file.changed());
    EXPECT_EQ(file.write(), GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Files, Unchanged,
    testing::Values(std::string(), std::string("\n\n"), std::string("REGEDIT4"), kSample,
                    std::string("\xEF\xBB\xBFREGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"s\"=\"v\""),
                    std::string("  REGEDIT4 \n\n[hkey_local_machine\\A]   \n  \"s\" = \"v\"\t\n;\n\n\n"),
                    std::string("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A]\n\"m\"=hex(7):61,\\\r\n\t00\r\n"
                                "[HKEY_LOCAL_MACHINE\\a]\n\"M\"=dword:1\r")));

TEST(RegistryWrite, DeletingAValueRemovesOnlyItsLines) {
    RegistryFile file = parsed(kSample);
    ASSERT_TRUE(file.deleteValue("software\\vantrell\\duzore32\\application", "BLOB"));
    std::string expected = kSample;
    std::string blob =
        "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n  16,17\r\n";
    expected.erase(expected.find(blob), blob.size());
    EXPECT_TRUE(file.changed());
    EXPECT_EQ(file.write(), expected);
}

TEST(RegistryWrite, DeletingAMissingValueChangesNothing) {
    RegistryFile file = parsed(kSample);
    EXPECT_FALSE(file.deleteValue("Software\\Vantrell\\DUZORE32\\Application", "Nope"));
    EXPECT_FALSE(file.deleteValue("Software\\Missing", "FileUtil"));
    EXPECT_FALSE(file.changed());
    EXPECT_EQ(file.write(), kSample);
}

TEST(RegistryWrite, DeletingAValueSetTwiceRemovesBoth) {
    RegistryFile file = parsed("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"1\"\n\"y\"=\"2\"\n[HKEY_LOCAL_MACHINE\\A]\n\"X\"=\"3\"\n");
    ASSERT_TRUE(file.deleteValue("A", "x"));
    EXPECT_EQ(file.write(), "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"y\"=\"2\"\n[HKEY_LOCAL_MACHINE\\A]\n");
}

TEST(RegistryWrite, DefaultValueIsDeletedByTheEmptyName) {
    RegistryFile file = parsed("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n@=\"d\"\n\"s\"=\"v\"\n");
    ASSERT_TRUE(file.deleteValue("A", ""));
    EXPECT_EQ(file.write(), "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"s\"=\"v\"\n");
}

struct KeyDeletionCase {
    const char* name;
    std::string path;
    Deletion result;
    std::vector<std::string> keysAfter;
};

void PrintTo(const KeyDeletionCase& c, std::ostream* os) { *os << c.name; }

class DeleteKey : public testing::TestWithParam<KeyDeletionCase> {};

TEST_P(DeleteKey, RemovesOnlyKeysWithoutSubkeys) {
    const KeyDeletionCase& c = GetParam();
    RegistryFile file = parsed(kSample);
    EXPECT_EQ(file.deleteKey(c.path), c.result);
    EXPECT_EQ(file.keys(), c.keysAfter);
    EXPECT_EQ(file.changed(), c.result == Deletion::deleted);
    if (c.result != Deletion::deleted) {
        EXPECT_EQ(file.write(), kSample);
    }
    EXPECT_EQ(contents(parsed(file.write())), contents(file));
}

const std::string kShared = "Software\\Vantrell\\DUZORE32";
const std::string kApplication = "Software\\Vantrell\\DUZORE32\\Application";
const std::string kEntry = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\DelivUtil";

INSTANTIATE_TEST_SUITE_P(
    Keys, DeleteKey,
    testing::Values(
        KeyDeletionCase{"Leaf", "SOFTWARE\\vantrell\\duzore32\\application", Deletion::deleted, {kShared, kEntry}},
        KeyDeletionCase{"WithSubkey", kShared, Deletion::hasSubkeys, {kShared, kApplication, kEntry}},
        KeyDeletionCase{"ImpliedParentWithSubkey", "Software", Deletion::hasSubkeys, {kShared, kApplication, kEntry}},
        KeyDeletionCase{"Missing", "Software\\Vantrell\\Nothing", Deletion::missing, {kShared, kApplication, kEntry}},
        KeyDeletionCase{"OtherRootUnreachable", "Software\\Elsewhere", Deletion::missing,
                        {kShared, kApplication, kEntry}},
        KeyDeletionCase{"EmptyName", "Software\\\\Vantrell", Deletion::missing, {kShared, kApplication, kEntry}},
        KeyDeletionCase{"Root", "", Deletion::isRoot, {kShared, kApplication, kEntry}},
        // The uninstall key only existed through this entry; it stays, as it would in the registry.
        KeyDeletionCase{"LastChildLeavesItsParent", kEntry, Deletion::deleted,
                        {kShared, kApplication, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"}}),
    [](const testing::TestParamInfo<KeyDeletionCase>& testCase) { return std::string(testCase.param.name); });

TEST(RegistryWrite, SharedComponentGoesChildFirst) {
    RegistryFile file = parsed(kSample);
    ASSERT_EQ(file.deleteKey(kApplication), Deletion::deleted);
    ASSERT_EQ(file.deleteKey(kShared), Deletion::deleted);
    // "Software\Vantrell" only existed through the deleted keys, so it keeps a header.
    EXPECT_EQ(file.write(),
              "REGEDIT4\r\n"
              "\r\n"
              "; exported\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Vantrell]\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software\\Elsewhere]\r\n"
              "@=\"kept\"\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\DelivUtil]\r\n"
              "\"DisplayName\"=\"Delivery utility\"\r\n"
              "\"Version\"=dword:00000102\r\n");
    EXPECT_TRUE(file.keyExists("Software\\Vantrell"));
    EXPECT_FALSE(file.keyExists(kShared));
}

TEST(RegistryWrite, ParentHeaderTakesTheDeletedKeysPlace) {
    RegistryFile file = parsed("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A\\B]\n\"x\"=\"1\"\n\n[HKEY_LOCAL_MACHINE\\C]\n");
    ASSERT_EQ(file.deleteKey("a\\b"), Deletion::deleted);
    EXPECT_EQ(file.write(), "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\n[HKEY_LOCAL_MACHINE\\C]\n");
    EXPECT_TRUE(file.keyExists("A"));
    EXPECT_FALSE(file.hasSubkeys("A"));
    ASSERT_EQ(file.deleteKey("A"), Deletion::deleted);
    EXPECT_EQ(file.write(), "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\C]\n");
    EXPECT_EQ(file.deleteKey("A"), Deletion::missing);
}

TEST(RegistryWrite, KeyNamedTwiceGoesWhole) {
    RegistryFile file = parsed("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"1\"\n[HKEY_LOCAL_MACHINE\\B]\n[HKEY_LOCAL_MACHINE\\a]\n");
    ASSERT_EQ(file.deleteKey("A"), Deletion::deleted);
    EXPECT_EQ(file.write(), "REGEDIT4\n[HKEY_LOCAL_MACHINE\\B]\n");
    EXPECT_FALSE(file.keyExists("A"));
}

std::string raw(std::initializer_list<int> list) {
    std::string out;
    for (int b : list) out.push_back(static_cast<char>(b));
    return out;
}

struct LineCase {
    const char* name;
    RegistryValue value;
    std::string line;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class ValueLine : public testing::TestWithParam<LineCase> {};

TEST_P(ValueLine, IsWrittenInTheUsualFormAndReadsBack) {
    const LineCase& c = GetParam();
    EXPECT_EQ(posix::registryValueLine(c.value, "\n"), c.line);
    RegistryFile file = parsed("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n" + c.line);
    ASSERT_EQ(file.values("K").size(), 1u);
    EXPECT_EQ(file.values("K")[0].name, c.value.name);
    EXPECT_EQ(file.values("K")[0].type, c.value.type);
    EXPECT_EQ(file.values("K")[0].data, c.value.data);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ValueLine,
    testing::Values(
        LineCase{"String", {"Name", 1, raw({'v', 0})}, "\"Name\"=\"v\"\n"},
        LineCase{"Escapes", {"a\\\"b", 1, raw({'C', ':', '\\', '"', 0})}, "\"a\\\\\\\"b\"=\"C:\\\\\\\"\"\n"},
        LineCase{"Default", {"", 1, raw({'d', 0})}, "@=\"d\"\n"},
        LineCase{"Dword", {"n", 4, raw({0x1f, 0, 0, 0x80})}, "\"n\"=dword:8000001f\n"},
        LineCase{"Binary", {"b", 3, raw({0, 0xab})}, "\"b\"=hex:00,ab\n"},
        LineCase{"EmptyBinary", {"b", 3, ""}, "\"b\"=hex:\n"},
        LineCase{"StringWithLineBreak", {"s", 1, raw({'a', '\n', 0})}, "\"s\"=hex(1):61,0a,00\n"},
        LineCase{"StringWithoutTerminator", {"s", 1, "ab"}, "\"s\"=hex(1):61,62\n"},
        LineCase{"ShortDword", {"d", 4, raw({1, 2})}, "\"d\"=hex(4):01,02\n"},
        LineCase{"LargeType", {"q", 0xABCDEF01u, raw({1})}, "\"q\"=hex(abcdef01):01\n"},
        LineCase{"Wrapped", {"w", 3, std::string(30, '\x11')},
                 "\"w\"=hex:11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,\\\n"
                 "  11,11,11,11,11,11,11\n"}),
    [](const testing::TestParamInfo<LineCase>& testCase) { return std::string(testCase.param.name); });

TEST(RegistryWrite, AddedKeysAndValuesFollowTheFilesLineEnds) {
    RegistryFile file = parsed("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"x\"=\"1\"\r\n\r\n; end");
    ASSERT_TRUE(file.setValue("a", {"y", 1, raw({'2', 0})}));
    ASSERT_TRUE(file.setValue("Software\\New", {"z", 4, raw({3, 0, 0, 0})}));
    EXPECT_EQ(file.write(),
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"x\"=\"1\"\r\n\"y\"=\"2\"\r\n\r\n; end\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\New]\r\n\"z\"=dword:00000003\r\n");
    EXPECT_EQ(contents(parsed(file.write())), contents(file));
}

TEST(RegistryWrite, SettingAValueKeepsItsPlace) {
    RegistryFile file = parsed("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"1\"\n\"y\"=\"2\"\n\"X\"=\"3\"\n");
    ASSERT_TRUE(file.setValue("A", {"x", 1, raw({'9', 0})}));
    EXPECT_EQ(file.write(), "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"9\"\n\"y\"=\"2\"\n");
}

TEST(RegistryWrite, ValueAfterHeaderWithoutLineEnd) {
    RegistryFile file = parsed("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]");
    ASSERT_TRUE(file.setValue("A", {"x", 1, raw({'1', 0})}));
    EXPECT_EQ(file.write(), "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"1\"\n");
}

TEST(RegistryWrite, ImpliedKeyGetsAHeaderForItsValue) {
    RegistryFile file = parsed("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A\\B]\n");
    ASSERT_TRUE(file.setValue("A", {"x", 1, raw({'1', 0})}));
    EXPECT_EQ(file.write(), "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A\\B]\n\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"1\"\n");
}

TEST(RegistryWrite, FirstKeyOfAnEmptyFileBringsTheSignature) {
    RegistryFile file = parsed("");
    ASSERT_TRUE(file.addKey("Software\\A"));
    EXPECT_EQ(file.write(), "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\A]\r\n");
    EXPECT_TRUE(file.keyExists("software\\a"));
}

TEST(RegistryWrite, AddingAnExistingKeyChangesNothing) {
    RegistryFile file = parsed(kSample);
    ASSERT_TRUE(file.addKey("SOFTWARE\\VANTRELL"));
    ASSERT_TRUE(file.addKey(""));
    EXPECT_FALSE(file.changed());
    EXPECT_EQ(file.write(), kSample);
}

TEST(RegistryWrite, BadNamesAreRefused) {
    RegistryFile file = parsed(kSample);
    EXPECT_FALSE(file.addKey("A\\\\B"));
    EXPECT_FALSE(file.addKey("A\\"));
    EXPECT_FALSE(file.setValue("A", {"line\nbreak", 1, raw({0})}));
    EXPECT_FALSE(file.setValue("A", {std::string("nul\0", 4), 1, raw({0})}));
    EXPECT_FALSE(file.changed());
    EXPECT_EQ(file.write(), kSample);
}

TEST(RegistryWrite, RoundTripOfChangedFileKeepsEveryKeyAndValue) {
    RegistryFile file = parsed(kSample);
    ASSERT_TRUE(file.setValue("Software\\Vantrell", {"bin", 3, std::string(200, '\xfe')}));
    ASSERT_TRUE(file.setValue(kShared, {"Type", 0x20000, raw({0, 1})}));
    ASSERT_TRUE(file.deleteValue(kApplication, "FileUtil"));
    ASSERT_EQ(file.deleteKey(kEntry), Deletion::deleted);
    RegistryFile again = parsed(file.write());
    EXPECT_EQ(contents(again), contents(file));
    EXPECT_EQ(again.write(), file.write());
}

// ---- Hostile input: never a crash, and whatever parses comes back unchanged -------------

TEST(RegistryHostile, RandomBytesParseOrFailCleanly) {
    std::uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return static_cast<char>(state >> 16);
    };
    const std::string alphabet = "REGDIT4[]\\\"@=:,-;hexdwor(0123456789abcdef) \t\r\n\x80\xff";
    int parsedCount = 0;
    for (int round = 0; round < 2000; ++round) {
        std::string text = round % 2 == 0 ? "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n" : "";
        std::size_t length = static_cast<unsigned char>(next()) % 200;
        for (std::size_t i = 0; i < length; ++i) {
            char c = next();
            text.push_back(round % 3 == 0 ? c : alphabet[static_cast<unsigned char>(c) % alphabet.size()]);
        }
        RegistryParseError error;
        std::optional<RegistryFile> file = RegistryFile::parse(text, &error);
        if (!file) {
            EXPECT_GE(error.line, 1u);
            EXPECT_FALSE(error.reason.empty());
            continue;
        }
        ++parsedCount;
        EXPECT_EQ(file->write(), text);
        for (const std::string& key : file->keys()) {
            EXPECT_TRUE(file->keyExists(key));
            file->values(key);
        }
    }
    EXPECT_GT(parsedCount, 0);
}

TEST(RegistryHostile, ManyKeysStayFast) {
    std::string text = "REGEDIT4\n\n";
    for (int i = 0; i < 100000; ++i) {
        text += "[HKEY_LOCAL_MACHINE\\Software\\Vendor" + std::to_string(i % 100) + "\\Key" + std::to_string(i) +
                "]\n\"v\"=dword:" + std::to_string(i % 10) + "\n\n";
    }
    // Processor time, not wall time: other processes on a loaded machine do not count.
    std::clock_t start = std::clock();
    RegistryFile file = parsed(text);
    EXPECT_EQ(file.keys().size(), 100000u);
    for (int i = 0; i < 100000; i += 7) {
        std::string key = "software\\VENDOR" + std::to_string(i % 100) + "\\key" + std::to_string(i);
        ASSERT_TRUE(file.keyExists(key)) << key;
        ASSERT_EQ(file.values(key).size(), 1u);
    }
    for (int i = 0; i < 100000; i += 3) {
        std::string key = "Software\\Vendor" + std::to_string(i % 100) + "\\Key" + std::to_string(i);
        ASSERT_EQ(file.deleteKey(key), Deletion::deleted);
    }
    std::string written = file.write();
    double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    EXPECT_LT(seconds, 20.0);  // generous for sanitizer builds; a quadratic scan takes minutes
    EXPECT_EQ(parsed(written).keys().size(), 100000u - 33334u);
}

TEST(RegistryHostile, MegabyteLinesAndDeepKeys) {
    std::string longString(1 << 20, 'x');
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += (i == 0 ? "k" : "\\k");
    std::string text = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\" + deep + "]\n\"s\"=\"" + longString + "\"\n\"h\"=hex:" +
                       std::string(1 << 20, '0') + "\n";
    RegistryParseError error;
    EXPECT_FALSE(RegistryFile::parse(text, &error).has_value());
    EXPECT_EQ(error.line, 4u);  // a "hex byte" of a million digits

    text = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\" + deep + "]\n\"s\"=\"" + longString + "\"\n";
    RegistryFile file = parsed(text);
    EXPECT_TRUE(file.keyExists(deep));
    EXPECT_TRUE(file.hasSubkeys("k\\k\\k"));
    EXPECT_EQ(file.values(deep).at(0).data.size(), longString.size() + 1);
    EXPECT_EQ(file.deleteKey(deep), Deletion::deleted);
    EXPECT_TRUE(file.keyExists(deep.substr(0, deep.size() - 2)));
}

TEST(RegistryHostile, LongUnterminatedStringFailsOnItsLine) {
    RegistryParseError error;
    std::string text = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"s\"=\"" + std::string(1 << 20, '\\') + "\n";
    EXPECT_FALSE(RegistryFile::parse(text, &error).has_value());
    EXPECT_EQ(error.line, 3u);
}

}  // namespace
