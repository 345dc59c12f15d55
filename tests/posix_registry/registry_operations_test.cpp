// The six registry operations over <root>/hklm.reg: results as Win32 gives them, changes
// written back only when something changed, and a malformed file left alone.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <ostream>
#include <string>

#include "platform/operations.h"
#include "platform/posix/atomic_file.h"

namespace {

using namespace platform;

constexpr LONG kInvalidHandle = 6;
constexpr LONG kInvalidParameter = 87;
constexpr LONG kKeyDeleted = 1018;
constexpr LONG kBadDatabase = 1009;  // a registry file there but unreadable: no key is surely missing

const char* const kApplication = "Software\\Vantrell\\DUZORE32\\Application";
const char* const kShared = "Software\\Vantrell\\DUZORE32";

const std::string kMachine =
    "REGEDIT4\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Vantrell\\DUZORE32]\r\n"
    "\"Path\"=\"C:\\\\Program Files\\\\Vantrell\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Vantrell\\DUZORE32\\Application]\r\n"
    "\"FileUtil\"=\"1\"\r\n"
    "\"DelivUtil\"=dword:00000001\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\DelivUtil]\r\n"
    "\"DisplayName\"=\"Delivery utility\"\r\n";

class RegistryOperations : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/uninst-registry-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        ASSERT_EQ(::setenv("UNINST_ROOT", root_.c_str(), 1), 0);
    }
    void TearDown() override {
        ::unsetenv("UNINST_ROOT");
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    std::string file() const { return root_ + "/hklm.reg"; }
    void write(const std::string& bytes) const {
        std::ofstream out(file(), std::ios::binary);
        out << bytes;
    }
    std::string read() const {
        std::ifstream in(file(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    // The file's inode: a rewrite replaces it, so an equal inode means it was left alone.
    ino_t inode() const {
        struct stat info {};
        return ::stat(file().c_str(), &info) == 0 ? info.st_ino : 0;
    }
    bool opens(const char* path) {
        HKEY key = nullptr;
        if (RegOpenKeyA(HKEY_LOCAL_MACHINE, path, &key) != ERROR_SUCCESS) return false;
        EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
        return true;
    }

    std::string root_;
};

struct OpenCase {
    const char* path;
    LONG result;
};

class OpenKey : public RegistryOperations, public testing::WithParamInterface<OpenCase> {};

TEST_P(OpenKey, GivesAHandleForAnExistingKeyOnly) {
    write(kMachine);
    for (bool extended : {false, true}) {
        HKEY key = reinterpret_cast<HKEY>(1);
        LONG result = extended ? RegOpenKeyExA(HKEY_LOCAL_MACHINE, GetParam().path, 0, KEY_ALL_ACCESS, &key)
                               : RegOpenKeyA(HKEY_LOCAL_MACHINE, GetParam().path, &key);
        EXPECT_EQ(result, GetParam().result);
        if (result == ERROR_SUCCESS) {
            EXPECT_NE(key, nullptr);
            EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
        } else {
            EXPECT_EQ(key, nullptr);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, OpenKey,
                         testing::Values(OpenCase{kApplication, ERROR_SUCCESS},
                                         OpenCase{"software\\VANTRELL\\duzore32\\application", ERROR_SUCCESS},
                                         OpenCase{"Software\\Vantrell", ERROR_SUCCESS},
                                         OpenCase{"", ERROR_SUCCESS}, OpenCase{nullptr, ERROR_SUCCESS},
                                         OpenCase{"Software\\Vantrell\\Missing", ERROR_FILE_NOT_FOUND},
                                         OpenCase{"Software\\Vantrell\\", ERROR_FILE_NOT_FOUND},
                                         OpenCase{"\\Software", ERROR_FILE_NOT_FOUND}));

TEST_F(RegistryOperations, OpenRelativeToAnOpenKey) {
    write(kMachine);
    HKEY shared = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, kShared, &shared), ERROR_SUCCESS);
    HKEY application = nullptr;
    EXPECT_EQ(RegOpenKeyA(shared, "APPLICATION", &application), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(application), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyA(shared, "Nothing", &application), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(shared), ERROR_SUCCESS);
}

TEST_F(RegistryOperations, MissingFileIsAnEmptyRegistryAndStaysMissing) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, kApplication, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kApplication), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "", &key), ERROR_SUCCESS);
    char name[MAX_PATH];
    DWORD nameLength = MAX_PATH;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &nameLength, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegDeleteValueA(key, "x"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_FALSE(std::filesystem::exists(file()));
}

TEST_F(RegistryOperations, CloseTwiceFails) {
    write(kMachine);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, kShared, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), kInvalidHandle);
    char name[MAX_PATH];
    DWORD nameLength = MAX_PATH;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &nameLength, nullptr, nullptr, nullptr, nullptr), kInvalidHandle);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

// ---- RegEnumValueA ------------------------------------------------------------------

struct EnumCase {
    const char* name;
    std::string valueName;
    std::string valueText;  // the right-hand side of the value line
    DWORD nameRoom;
    DWORD dataRoom;
    LONG result;
    DWORD nameLengthAfter;
    DWORD type;
    DWORD dataLengthAfter;
};

void PrintTo(const EnumCase& c, std::ostream* os) { *os << c.name; }

class EnumValue : public RegistryOperations, public testing::WithParamInterface<EnumCase> {};

TEST_P(EnumValue, DeliversWhatFitsAndSaysWhatDoesNot) {
    const EnumCase& c = GetParam();
    write("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"" + c.valueName + "\"=" + c.valueText + "\n\"second\"=\"2\"\n");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "K", &key), ERROR_SUCCESS);
    std::string name(MAX_PATH + 10, '#');
    std::string data(300, '#');
    DWORD nameLength = c.nameRoom;
    DWORD dataLength = c.dataRoom;
    DWORD type = 0xEEEE;
    LONG result = RegEnumValueA(key, 0, name.data(), &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                                &dataLength);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(nameLength, c.nameLengthAfter);
    EXPECT_EQ(dataLength, c.dataLengthAfter);
    EXPECT_EQ(name[c.nameRoom], '#') << "written past the name buffer";
    EXPECT_EQ(data[c.dataRoom], '#') << "written past the data buffer";
    if (result == ERROR_SUCCESS) {
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(std::string(name.c_str()), c.valueName);
    }
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

const std::string k259(259, 'n');
const std::string k260(260, 'n');
// 255 bytes and a terminator fill the 256 bytes; one more does not fit.
const std::string k255Text = "\"" + std::string(255, 'd') + "\"";
const std::string k256Text = "\"" + std::string(256, 'd') + "\"";

std::string hexBytes(std::size_t count) {
    std::string out = "hex:";
    for (std::size_t i = 0; i < count; ++i) out += i == 0 ? "ab" : ",ab";
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, EnumValue,
    testing::Values(EnumCase{"String", "Name", "\"text\"", 260, 256, ERROR_SUCCESS, 4, REG_SZ, 5},
                    EnumCase{"Dword", "n", "dword:00000010", 260, 256, ERROR_SUCCESS, 1, REG_DWORD, 4},
                    EnumCase{"NameOf259Fits", k259, "\"x\"", 260, 256, ERROR_SUCCESS, 259, REG_SZ, 2},
                    EnumCase{"NameOf260DoesNot", k260, "\"x\"", 260, 256, ERROR_MORE_DATA, 260, REG_SZ, 256},
                    EnumCase{"StringOf256BytesFits", "s", k255Text, 260, 256, ERROR_SUCCESS, 1, REG_SZ, 256},
                    EnumCase{"StringOf257BytesDoesNot", "s", k256Text, 260, 256, ERROR_MORE_DATA, 1, REG_SZ, 257},
                    EnumCase{"BinaryOf256Fits", "b", hexBytes(256), 260, 256, ERROR_SUCCESS, 1, REG_BINARY, 256},
                    EnumCase{"BinaryOf257DoesNot", "b", hexBytes(257), 260, 256, ERROR_MORE_DATA, 1, REG_BINARY, 257},
                    EnumCase{"EmptyBinary", "b", "hex:", 260, 256, ERROR_SUCCESS, 1, REG_BINARY, 0},
                    EnumCase{"TypedHex", "x", "hex(2):25,00", 260, 256, ERROR_SUCCESS, 1, REG_EXPAND_SZ, 2},
                    EnumCase{"SmallNameRoom", "abcd", "\"x\"", 4, 256, ERROR_MORE_DATA, 4, REG_SZ, 256},
                    EnumCase{"ExactNameRoom", "abcd", "\"x\"", 5, 256, ERROR_SUCCESS, 4, REG_SZ, 2}),
    [](const testing::TestParamInfo<EnumCase>& testCase) { return std::string(testCase.param.name); });

TEST_F(RegistryOperations, EnumGoesInFileOrderThenRunsOut) {
    write("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"z\"=\"1\"\n@=\"d\"\n\"a\"=dword:2\n");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "k", &key), ERROR_SUCCESS);
    std::string names;
    for (DWORD index = 0;; ++index) {
        char name[MAX_PATH];
        DWORD nameLength = MAX_PATH;
        LONG result = RegEnumValueA(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(result, ERROR_SUCCESS);
        names += std::string("[") + name + "]";
        ASSERT_LT(index, 10u);
    }
    EXPECT_EQ(names, "[z][][a]");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryOperations, EnumWithoutDataBufferGivesTheLength) {
    write("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"s\"=\"abc\"\n");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "K", &key), ERROR_SUCCESS);
    char name[MAX_PATH];
    DWORD nameLength = MAX_PATH;
    DWORD dataLength = 0;
    DWORD type = 0;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &nameLength, nullptr, &type, nullptr, &dataLength), ERROR_SUCCESS);
    EXPECT_EQ(dataLength, 4u);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(RegEnumValueA(key, 0, nullptr, &nameLength, nullptr, &type, nullptr, &dataLength), kInvalidParameter);
    BYTE data[4];
    EXPECT_EQ(RegEnumValueA(key, 0, name, &nameLength, nullptr, &type, data, nullptr), kInvalidParameter);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryOperations, KeyDeletedAfterOpeningIsReported) {
    write(kMachine);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, kApplication, &key), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kApplication), ERROR_SUCCESS);
    char name[MAX_PATH];
    DWORD nameLength = MAX_PATH;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &nameLength, nullptr, nullptr, nullptr, nullptr), kKeyDeleted);
    EXPECT_EQ(RegDeleteValueA(key, "FileUtil"), kKeyDeleted);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

// ---- Changes ------------------------------------------------------------------------

TEST_F(RegistryOperations, DeleteValueRewritesTheFileWithoutIt) {
    write(kMachine);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kApplication, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "delivutil"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "DelivUtil"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    std::string expected = kMachine;
    std::string line = "\"DelivUtil\"=dword:00000001\r\n";
    expected.erase(expected.find(line), line.size());
    EXPECT_EQ(read(), expected);
}

TEST_F(RegistryOperations, DeleteKeyRefusesKeysWithSubkeys) {
    write(kMachine);
    ino_t before = inode();
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kShared), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "software"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, nullptr), kInvalidParameter);
    EXPECT_EQ(inode(), before);
    EXPECT_EQ(read(), kMachine);
    EXPECT_TRUE(opens(kShared));
}

TEST_F(RegistryOperations, SharedComponentRemovalSequence) {
    write(kMachine);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kApplication, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "DelivUtil"), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, kApplication, &key), ERROR_SUCCESS);
    char name[MAX_PATH];
    DWORD nameLength = MAX_PATH;
    BYTE data[256];
    DWORD dataLength = sizeof data;
    DWORD type = 0;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &nameLength, nullptr, &type, data, &dataLength), ERROR_SUCCESS);
    EXPECT_STREQ(name, "FileUtil");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kApplication), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kShared), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kShared), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE,
                            "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\DELIVUTIL"),
              ERROR_SUCCESS);
    EXPECT_FALSE(opens(kShared));
    EXPECT_TRUE(opens("Software\\Vantrell"));
    EXPECT_TRUE(opens("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));
    EXPECT_EQ(read(),
              "REGEDIT4\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Vantrell]\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall]\r\n"
              "\r\n");
}

TEST_F(RegistryOperations, NothingChangedMeansNotRewritten) {
    write(kMachine);
    ino_t before = inode();
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kApplication, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "NotThere"), ERROR_FILE_NOT_FOUND);
    char name[MAX_PATH];
    DWORD nameLength = MAX_PATH;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &nameLength, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Nothing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(inode(), before);
    EXPECT_EQ(read(), kMachine);
}

TEST_F(RegistryOperations, FailedRewriteLeavesTheFileAndReportsFailure) {
    write(kMachine);
    posix::failNextReplaceAt(posix::ReplaceStep::rename);
    testing::internal::CaptureStderr();
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kApplication), ERROR_ACCESS_DENIED);
    std::string message = testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("cannot write registry file " + file()), std::string::npos) << message;
    EXPECT_EQ(read(), kMachine);
    EXPECT_TRUE(opens(kApplication));
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kApplication), ERROR_SUCCESS);
    EXPECT_FALSE(opens(kApplication));
}

// ---- A file that cannot be read -----------------------------------------------------

struct MalformedCase {
    const char* name;
    std::string bytes;
    const char* message;  // what follows "uninst: cannot read registry file <path>"
};

void PrintTo(const MalformedCase& c, std::ostream* os) { *os << c.name; }

class Malformed : public RegistryOperations, public testing::WithParamInterface<MalformedCase> {};

TEST_P(Malformed, FailsEveryOperationLeavesTheFileAndSaysSoOnce) {
    const MalformedCase& c = GetParam();
    write(c.bytes);
    ino_t before = inode();
    testing::internal::CaptureStderr();
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kApplication, 0, KEY_ALL_ACCESS, &key), kBadDatabase);
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, kShared, &key), kBadDatabase);
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "", &key), kBadDatabase);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kApplication), kBadDatabase);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kShared), kBadDatabase);
    EXPECT_EQ(RegDeleteValueA(HKEY_LOCAL_MACHINE, "FileUtil"), kBadDatabase);
    char name[MAX_PATH];
    DWORD nameLength = MAX_PATH;
    EXPECT_EQ(RegEnumValueA(HKEY_LOCAL_MACHINE, 0, name, &nameLength, nullptr, nullptr, nullptr, nullptr),
              kBadDatabase);
    std::string printed = testing::internal::GetCapturedStderr();
    std::string expected = "uninst: cannot read registry file " + file() + c.message + "\n";
    EXPECT_EQ(printed, expected);
    EXPECT_EQ(inode(), before);
    EXPECT_EQ(read(), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Files, Malformed,
    testing::Values(
        MalformedCase{"BadValueLine",
                      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Vantrell\\DUZORE32\\Application]\r\n"
                      "\"FileUtil\"=\"1\"\r\n\r\n\r\nFileUtil=1\r\n",
                      ", line 7: expected \"name\"=value"},
        MalformedCase{"NotARegistryFile", "[Files_Deliv]\nFILE00=C:\\x\n", ", line 1: expected \"REGEDIT4\" on the first line"},
        MalformedCase{"BinaryGarbage", std::string("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\x01\x02\0\xff", 36),
                      ", line 3: NUL byte in the file"}),
    [](const testing::TestParamInfo<MalformedCase>& testCase) { return std::string(testCase.param.name); });

TEST_F(RegistryOperations, UnreadableFileIsNeverRewritten) {
    if (::geteuid() == 0) GTEST_SKIP() << "the superuser reads every file";
    write(kMachine);
    ASSERT_EQ(::chmod(file().c_str(), 0), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kApplication), kBadDatabase);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kApplication), kBadDatabase);
    std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed, "uninst: cannot read registry file " + file() + "\n");
    ASSERT_EQ(::chmod(file().c_str(), 0644), 0);
    EXPECT_EQ(read(), kMachine);
}

}  // namespace
