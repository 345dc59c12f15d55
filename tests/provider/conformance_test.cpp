// What every provider of the platform operations must do, checked through the operations
// alone; files, keys and windows are set up and inspected through the provider's fixture.
// The same file runs natively against the POSIX provider and under Wine against the Win32 one,
// so it uses nothing but the operations, the fixture and the standard library.
#include "platform/operations.h"
#include "provider/fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <vector>

using namespace platform;

namespace {

class Conformance : public ::testing::Test {
protected:
    void SetUp() override {
        fixture::setUp();
        folder = fixture::scratchFolder();
        key = fixture::scratchKey();
    }
    void TearDown() override {
        fixture::closeWindows();
        fixture::tearDown();
    }

    std::string in(const std::string& name) const { return folder + "\\" + name; }
    std::string below(const std::string& name) const { return key + "\\" + name; }

    std::string folder;
    std::string key;
};

// ---- Profiles -------------------------------------------------------------------------

std::string readString(const char* section, const char* name, const char* defaultText, const std::string& file,
                       DWORD capacity = 260) {
    std::vector<char> buffer(capacity + 8, '#');
    GetPrivateProfileStringA(section, name, defaultText, buffer.data(), capacity, file.c_str());
    EXPECT_EQ(buffer[capacity], '#') << "wrote past the capacity";
    return std::string(buffer.data());
}

const char* const listFile =
    "[Utility]\r\n"
    "FileUtility=1\r\n"
    "DelivUtility=1\r\n"
    "Empty=\r\n"
    "\r\n"
    "[Files_Deliv]\r\n"
    "FILE01=C:\\Apps\\Deliv\\deliv.exe\r\n"
    "UnInstKey_Deliv=DelivUtility\r\n";

struct ProfileRead {
    const char* what;
    const char* section;
    const char* key;
    const char* expected;
};

TEST_F(Conformance, ProfileStringReadsValueOrDefault) {
    fixture::makeFile(in("list.ini"), listFile);
    const ProfileRead cases[] = {
        {"a value", "Files_Deliv", "FILE01", "C:\\Apps\\Deliv\\deliv.exe"},
        {"an empty value, not the default", "Utility", "Empty", ""},
        {"section in other letter case", "files_deliv", "UnInstKey_Deliv", "DelivUtility"},
        {"key in other letter case", "Files_Deliv", "uninstkey_deliv", "DelivUtility"},
        {"missing key", "Files_Deliv", "FILE02", "fallback"},
        {"missing section", "Files_File", "FILE01", "fallback"},
    };
    for (const ProfileRead& c : cases) {
        EXPECT_EQ(readString(c.section, c.key, "fallback", in("list.ini")), c.expected) << c.what;
    }
}

TEST_F(Conformance, ProfileStringOfMissingFileIsTheDefault) {
    EXPECT_EQ(readString("Utility", "FileUtility", "Uninstall Programs.", in("missing.ini")), "Uninstall Programs.");
    EXPECT_EQ(readString("Utility", "FileUtility", "", in("missing.ini")), "");
}

TEST_F(Conformance, ProfileStringIsCutToCapacity) {
    fixture::makeFile(in("list.ini"), listFile);
    struct Cut {
        DWORD capacity;
        const char* expected;
    };
    const Cut cases[] = {{5, "C:\\A"}, {2, "C"}, {1, ""}, {24, "C:\\Apps\\Deliv\\deliv.exe"}, {23, "C:\\Apps\\Deliv\\deliv.ex"}};
    for (const Cut& c : cases) {
        EXPECT_EQ(readString("Files_Deliv", "FILE01", "", in("list.ini"), c.capacity), c.expected)
            << "capacity " << c.capacity;
    }
    // The default is cut the same way.
    EXPECT_EQ(readString("Files_Deliv", "FILE99", "Complete", in("list.ini"), 4), "Com");
}

TEST_F(Conformance, ProfileIntReadsFlags) {
    fixture::makeFile(in("list.ini"), "[Utility]\r\nFileUtility=1\r\nDelivUtility=0\r\nCount=12\r\n");
    struct Flag {
        const char* key;
        UINT expected;
    };
    const Flag cases[] = {{"FileUtility", 1}, {"DelivUtility", 0}, {"Count", 12}, {"fileutility", 1}, {"Missing", 0}};
    for (const Flag& c : cases) {
        EXPECT_EQ(GetPrivateProfileIntA("Utility", c.key, 0, in("list.ini").c_str()), c.expected) << c.key;
    }
    EXPECT_EQ(GetPrivateProfileIntA("Utility", "Missing", 7, in("list.ini").c_str()), 7u);
    EXPECT_EQ(GetPrivateProfileIntA("Utility", "FileUtility", 0, in("missing.ini").c_str()), 0u);
}

TEST_F(Conformance, ProfileWriteChangesOneValueAndKeepsEveryOtherByte) {
    const std::string before = "; list of the two utilities\r\n"
                               "[Utility]\r\n"
                               "FileUtility=1\r\n"
                               "DelivUtility=1\r\n"
                               "\r\n"
                               "[Files_Deliv]\r\n"
                               "FILE01=C:\\Apps\\Deliv\\deliv.exe\r\n";
    fixture::makeFile(in("list.ini"), before);
    EXPECT_NE(WritePrivateProfileStringA("Utility", "DelivUtility", "0", in("list.ini").c_str()), 0);

    std::string expected = before;
    expected.replace(expected.find("DelivUtility=1"), 14, "DelivUtility=0");
    EXPECT_EQ(fixture::readFile(in("list.ini")), expected);
    EXPECT_EQ(GetPrivateProfileIntA("Utility", "DelivUtility", 1, in("list.ini").c_str()), 0u);
}

TEST_F(Conformance, ProfileWriteFindsKeyInOtherLetterCase) {
    fixture::makeFile(in("list.ini"), "[Utility]\r\nDelivUtility=1\r\n");
    WritePrivateProfileStringA("UTILITY", "delivutility", "0", in("list.ini").c_str());
    EXPECT_EQ(readString("Utility", "DelivUtility", "", in("list.ini")), "0");
    EXPECT_EQ(fixture::readFile(in("list.ini")).find("1"), std::string::npos);
}

TEST_F(Conformance, ProfileWriteAddsMissingKeyAndSection) {
    fixture::makeFile(in("list.ini"), "[Files_Deliv]\r\nFILE01=a\r\n");
    EXPECT_NE(WritePrivateProfileStringA("Utility", "DelivUtility", "0", in("list.ini").c_str()), 0);
    EXPECT_EQ(readString("Utility", "DelivUtility", "missing", in("list.ini")), "0");
    EXPECT_EQ(readString("Files_Deliv", "FILE01", "missing", in("list.ini")), "a");

    EXPECT_NE(WritePrivateProfileStringA("Utility", "FileUtility", "0", in("list.ini").c_str()), 0);
    EXPECT_EQ(readString("Utility", "FileUtility", "missing", in("list.ini")), "0");
    EXPECT_EQ(readString("Utility", "DelivUtility", "missing", in("list.ini")), "0");
}

TEST_F(Conformance, ProfileWriteCreatesMissingFile) {
    EXPECT_NE(WritePrivateProfileStringA("Utility", "DelivUtility", "0", in("new.ini").c_str()), 0);
    EXPECT_TRUE(fixture::exists(in("new.ini")));
    EXPECT_EQ(readString("Utility", "DelivUtility", "missing", in("new.ini")), "0");
}

// Whatever a provider does to replace the file, nothing of it may be left beside the file.
TEST_F(Conformance, ProfileWriteLeavesNoOtherFileBehind) {
    fixture::makeFolder(in("lists"));
    fixture::makeFile(in("lists\\list.ini"), "[Utility]\r\nDelivUtility=1\r\n");
    WritePrivateProfileStringA("Utility", "DelivUtility", "0", in("lists\\list.ini").c_str());

    std::vector<std::string> names;
    WIN32_FIND_DATAA entry{};
    HANDLE search = FindFirstFileA(in("lists\\*.*").c_str(), &entry);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do {
        std::string name = entry.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search, &entry) != 0);
    FindClose(search);
    EXPECT_EQ(names, std::vector<std::string>{"list.ini"});
}

TEST_F(Conformance, ProfileFileNamedWithoutFolderLivesInWindowsFolder) {
    const std::string name = "UninstConformance.ini";
    const std::string inWindows = fixture::windowsFolder() + "\\" + name;
    fixture::makeFile(inWindows, "[Utility]\r\nDelivUtility=1\r\n");
    EXPECT_EQ(GetPrivateProfileIntA("Utility", "DelivUtility", 0, name.c_str()), 1u);
    WritePrivateProfileStringA("Utility", "DelivUtility", "0", name.c_str());
    EXPECT_EQ(fixture::readFile(inWindows), "[Utility]\r\nDelivUtility=0\r\n");
}

// ---- Registry -------------------------------------------------------------------------

std::vector<std::string> valueNames(const std::string& path) {
    std::vector<std::string> names;
    HKEY opened = nullptr;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &opened) != ERROR_SUCCESS) return names;
    for (DWORD index = 0;; ++index) {
        char name[260];
        DWORD nameLength = sizeof name;
        BYTE data[256];
        DWORD dataLength = sizeof data;
        DWORD type = 0;
        if (RegEnumValueA(opened, index, name, &nameLength, nullptr, &type, data, &dataLength) != ERROR_SUCCESS) break;
        names.emplace_back(name, nameLength);
    }
    RegCloseKey(opened);
    return names;
}

TEST_F(Conformance, RegistryOpensExistingKeysOnly) {
    fixture::makeKey(below("Application"));
    struct Open {
        std::string path;
        bool opens;
    };
    const Open cases[] = {
        {below("Application"), true},
        {below("APPLICATION"), true},
        {key, true},
        {below("Missing"), false},
        {below("Application\\Missing"), false},
    };
    for (const Open& c : cases) {
        HKEY opened = nullptr;
        LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, c.path.c_str(), 0, KEY_ALL_ACCESS, &opened);
        EXPECT_EQ(result == ERROR_SUCCESS, c.opens) << "RegOpenKeyExA " << c.path;
        if (result == ERROR_SUCCESS) {
            EXPECT_EQ(RegCloseKey(opened), ERROR_SUCCESS);
        }

        result = RegOpenKeyA(HKEY_LOCAL_MACHINE, c.path.c_str(), &opened);
        EXPECT_EQ(result == ERROR_SUCCESS, c.opens) << "RegOpenKeyA " << c.path;
        if (result == ERROR_SUCCESS) {
            EXPECT_EQ(RegCloseKey(opened), ERROR_SUCCESS);
        }
    }
}

TEST_F(Conformance, RegistryEnumeratesStringValue) {
    fixture::setStringValue(below("Application"), "DelivUtility", "C:\\Apps\\Deliv");
    HKEY opened = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, below("Application").c_str(), &opened), ERROR_SUCCESS);
    char name[260];
    DWORD nameLength = sizeof name;
    BYTE data[256];
    DWORD dataLength = sizeof data;
    DWORD type = 0;
    ASSERT_EQ(RegEnumValueA(opened, 0, name, &nameLength, nullptr, &type, data, &dataLength), ERROR_SUCCESS);
    EXPECT_EQ(std::string(name), "DelivUtility");
    EXPECT_EQ(nameLength, 12u);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(dataLength, 14u);  // the terminator included
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data)), "C:\\Apps\\Deliv");

    nameLength = sizeof name;
    dataLength = sizeof data;
    EXPECT_EQ(RegEnumValueA(opened, 1, name, &nameLength, nullptr, &type, data, &dataLength), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegCloseKey(opened), ERROR_SUCCESS);
}

TEST_F(Conformance, RegistryEnumerationOfKeyWithoutValuesEnds) {
    fixture::makeKey(below("Application"));
    EXPECT_TRUE(valueNames(below("Application")).empty());
    HKEY opened = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, below("Application").c_str(), &opened), ERROR_SUCCESS);
    char name[260];
    DWORD nameLength = sizeof name;
    BYTE data[256];
    DWORD dataLength = sizeof data;
    DWORD type = 0;
    EXPECT_EQ(RegEnumValueA(opened, 0, name, &nameLength, nullptr, &type, data, &dataLength), ERROR_NO_MORE_ITEMS);
    RegCloseKey(opened);
}

TEST_F(Conformance, RegistryEnumerationReportsMoreDataWhenValueDoesNotFit) {
    struct TooLarge {
        const char* what;
        std::string name;
        std::string data;
    };
    const TooLarge cases[] = {
        {"name of 260 characters", std::string(260, 'n'), "short"},
        {"data of 257 bytes", "Name", std::string(256, 'd')},  // 256 characters and the terminator
    };
    int number = 0;
    for (const TooLarge& c : cases) {
        std::string path = below("Application" + std::to_string(++number));
        fixture::setStringValue(path, c.name, c.data);
        HKEY opened = nullptr;
        ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &opened), ERROR_SUCCESS) << c.what;
        char name[260];
        DWORD nameLength = sizeof name;
        BYTE data[256];
        DWORD dataLength = sizeof data;
        DWORD type = 0;
        EXPECT_EQ(RegEnumValueA(opened, 0, name, &nameLength, nullptr, &type, data, &dataLength), ERROR_MORE_DATA)
            << c.what;
        RegCloseKey(opened);
    }
}

TEST_F(Conformance, RegistryValueAtTheLimitsIsDelivered) {
    fixture::setStringValue(below("Application"), std::string(259, 'n'), std::string(255, 'd'));
    HKEY opened = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, below("Application").c_str(), &opened), ERROR_SUCCESS);
    char name[260];
    DWORD nameLength = sizeof name;
    BYTE data[256];
    DWORD dataLength = sizeof data;
    DWORD type = 0;
    EXPECT_EQ(RegEnumValueA(opened, 0, name, &nameLength, nullptr, &type, data, &dataLength), ERROR_SUCCESS);
    EXPECT_EQ(nameLength, 259u);
    EXPECT_EQ(dataLength, 256u);
    RegCloseKey(opened);
}

TEST_F(Conformance, RegistryDeletesOneValue) {
    fixture::setStringValue(below("Application"), "FileUtility", "1");
    fixture::setStringValue(below("Application"), "DelivUtility", "1");
    HKEY opened = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, below("Application").c_str(), 0, KEY_ALL_ACCESS, &opened),
              ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(opened, "delivutility"), ERROR_SUCCESS);
    EXPECT_NE(RegDeleteValueA(opened, "DelivUtility"), ERROR_SUCCESS);
    EXPECT_NE(RegDeleteValueA(opened, "Missing"), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(opened), ERROR_SUCCESS);

    EXPECT_FALSE(fixture::valueExists(below("Application"), "DelivUtility"));
    EXPECT_TRUE(fixture::valueExists(below("Application"), "FileUtility"));
    EXPECT_EQ(valueNames(below("Application")), std::vector<std::string>{"FileUtility"});
}

TEST_F(Conformance, RegistryDeletesKeyWithoutSubkeys) {
    fixture::setStringValue(below("Uninstall\\DelivUtility"), "DisplayName", "Delivery utility");
    fixture::makeKey(below("Uninstall\\FileUtility"));
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, below("uninstall\\DELIVUTILITY").c_str()), ERROR_SUCCESS);
    EXPECT_FALSE(fixture::keyExists(below("Uninstall\\DelivUtility")));
    EXPECT_TRUE(fixture::keyExists(below("Uninstall\\FileUtility")));
    EXPECT_TRUE(fixture::keyExists(below("Uninstall")));
}

TEST_F(Conformance, RegistryRefusesMissingKeyAndKeyWithSubkeys) {
    fixture::makeKey(below("Shared\\Application"));
    EXPECT_NE(RegDeleteKeyA(HKEY_LOCAL_MACHINE, below("Missing").c_str()), ERROR_SUCCESS);
    EXPECT_NE(RegDeleteKeyA(HKEY_LOCAL_MACHINE, below("Shared").c_str()), ERROR_SUCCESS);
    EXPECT_TRUE(fixture::keyExists(below("Shared\\Application")));

    // Subkey first, then its parent: the order the uninstaller deletes in.
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, below("Shared\\Application").c_str()), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, below("Shared").c_str()), ERROR_SUCCESS);
    EXPECT_FALSE(fixture::keyExists(below("Shared")));
}

// ---- Folder searches ------------------------------------------------------------------

std::map<std::string, DWORD> searchAll(const std::string& pattern) {
    std::map<std::string, DWORD> entries;
    WIN32_FIND_DATAA entry{};
    HANDLE search = FindFirstFileA(pattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return entries;
    do {
        entries[entry.cFileName] = entry.dwFileAttributes;
    } while (FindNextFileA(search, &entry) != 0);
    EXPECT_NE(FindClose(search), 0);
    return entries;
}

std::map<std::string, DWORD> withoutDots(std::map<std::string, DWORD> entries) {
    entries.erase(".");
    entries.erase("..");
    return entries;
}

void makeMixedFolder(const std::string& folder) {
    fixture::makeFolder(folder);
    fixture::makeFile(folder + "\\deliv.exe", "MZ");
    fixture::makeFile(folder + "\\README", "no extension");
    fixture::makeFile(folder + "\\.hidden", "dot name");
    fixture::makeFile(folder + "\\locked.dat", "read-only");
    fixture::makeReadOnly(folder + "\\locked.dat");
    fixture::makeFolder(folder + "\\Data");
    fixture::makeFolder(folder + "\\Data\\Deeper");
}

TEST_F(Conformance, SearchListsEveryEntryOfTheFolder) {
    makeMixedFolder(in("Apps"));
    for (const char* wildcard : {"*.*", "*"}) {
        std::map<std::string, DWORD> entries = withoutDots(searchAll(in("Apps") + "\\" + wildcard));
        std::vector<std::string> names;
        for (const auto& entry : entries) names.push_back(entry.first);
        EXPECT_EQ(names, (std::vector<std::string>{".hidden", "Data", "README", "deliv.exe", "locked.dat"}))
            << wildcard;
    }
}

TEST_F(Conformance, SearchReportsFolderAndReadOnlyBits) {
    makeMixedFolder(in("Apps"));
    std::map<std::string, DWORD> entries = searchAll(in("Apps\\*.*"));
    struct Bits {
        const char* name;
        bool folder;
        bool readOnly;
    };
    const Bits cases[] = {
        {"Data", true, false},
        {"deliv.exe", false, false},
        {"README", false, false},
        {".hidden", false, false},
        {"locked.dat", false, true},
    };
    for (const Bits& c : cases) {
        ASSERT_EQ(entries.count(c.name), 1u) << c.name;
        EXPECT_EQ((entries[c.name] & FILE_ATTRIBUTE_DIRECTORY) != 0, c.folder) << c.name;
        EXPECT_EQ((entries[c.name] & FILE_ATTRIBUTE_READONLY) != 0, c.readOnly) << c.name;
    }
    for (const char* dots : {".", ".."}) {
        if (entries.count(dots) != 0) {
            EXPECT_NE(entries[dots] & FILE_ATTRIBUTE_DIRECTORY, 0u) << dots;
        }
    }
}

TEST_F(Conformance, SearchFindsFolderInOtherLetterCase) {
    makeMixedFolder(in("Apps"));
    EXPECT_EQ(withoutDots(searchAll(in("APPS\\*.*"))).size(), 5u);
    EXPECT_EQ(withoutDots(searchAll(in("apps\\data\\*.*"))).size(), 1u);
}

// A name the code page has no exact form for is passed over, never given as a look-alike (the
// yen sign of "..¥keep.txt" as a backslash). A 0x5C second byte of 表 is no backslash.
TEST_F(Conformance, SearchPassesOverNamesTheCodePageHasNoExactFormFor) {
    fixture::makeFolder(in("Odd"));
    for (const char* name : {"\xe8\xa1\xa8.txt", "..\xc2\xa5keep.txt", "caf\xc3\xa9.txt", "snow\xe2\x98\x83"}) {
        fixture::makeFileNamedInUtf8(in("Odd"), name);
    }
    std::vector<std::string> names;
    for (const auto& entry : withoutDots(searchAll(in("Odd\\*.*")))) names.push_back(entry.first);
    EXPECT_EQ(names, (std::vector<std::string>{"\x95\x5c.txt"}));
}

TEST_F(Conformance, SearchOfMissingFolderCannotStart) {
    WIN32_FIND_DATAA entry{};
    EXPECT_EQ(FindFirstFileA(in("Missing\\*.*").c_str(), &entry), INVALID_HANDLE_VALUE);
    fixture::makeFile(in("file.txt"), "x");
    EXPECT_EQ(FindFirstFileA(in("file.txt\\*.*").c_str(), &entry), INVALID_HANDLE_VALUE);
}

TEST_F(Conformance, SearchOfEmptyFolderHasNoOtherEntries) {
    fixture::makeFolder(in("Empty"));
    EXPECT_TRUE(withoutDots(searchAll(in("Empty\\*.*"))).empty());
}

TEST_F(Conformance, DeletingDeliveredEntriesDoesNotDisturbTheSearch) {
    fixture::makeFolder(in("Many"));
    std::vector<std::string> expected;
    for (int i = 0; i < 12; ++i) {
        std::string name = "file" + std::to_string(i) + ".txt";
        fixture::makeFile(in("Many\\" + name), "x");
        expected.push_back(name);
    }
    std::vector<std::string> deleted;
    WIN32_FIND_DATAA entry{};
    HANDLE search = FindFirstFileA(in("Many\\*.*").c_str(), &entry);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        if (DeleteFileA(in("Many\\" + std::string(entry.cFileName)).c_str()) != 0) deleted.push_back(entry.cFileName);
    } while (FindNextFileA(search, &entry) != 0);
    FindClose(search);

    std::sort(deleted.begin(), deleted.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(deleted, expected);
    EXPECT_NE(RemoveDirectoryA(in("Many").c_str()), 0);
}

TEST_F(Conformance, ClosedSearchNoLongerHoldsTheFolder) {
    fixture::makeFolder(in("Held"));
    WIN32_FIND_DATAA entry{};
    HANDLE search = FindFirstFileA(in("Held\\*.*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        EXPECT_NE(FindClose(search), 0);
    }
    EXPECT_NE(RemoveDirectoryA(in("Held").c_str()), 0);
    EXPECT_FALSE(fixture::exists(in("Held")));
}

// ---- Attributes and deletion ----------------------------------------------------------

TEST_F(Conformance, AttributesTellFilesFoldersAndMissingOnes) {
    fixture::makeFolder(in("Data"));
    fixture::makeFile(in("plain.txt"), "x");
    fixture::makeFile(in("locked.txt"), "x");
    fixture::makeReadOnly(in("locked.txt"));
    struct Attributes {
        std::string path;
        bool present;
        bool folder;
        bool readOnly;
    };
    const Attributes cases[] = {
        {in("Data"), true, true, false},       {in("DATA"), true, true, false},
        {in("plain.txt"), true, false, false}, {in("Plain.TXT"), true, false, false},
        {in("locked.txt"), true, false, true}, {in("missing.txt"), false, false, false},
        {in("Missing\\x.txt"), false, false, false},
    };
    for (const Attributes& c : cases) {
        DWORD attributes = GetFileAttributesA(c.path.c_str());
        EXPECT_EQ(attributes != INVALID_FILE_ATTRIBUTES, c.present) << c.path;
        if (attributes == INVALID_FILE_ATTRIBUTES) continue;
        EXPECT_EQ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0, c.folder) << c.path;
        EXPECT_EQ((attributes & FILE_ATTRIBUTE_READONLY) != 0, c.readOnly) << c.path;
    }
}

TEST_F(Conformance, ReadOnlyFileIsDeletedAfterItsAttributesAreCleared) {
    fixture::makeFile(in("locked.txt"), "x");
    fixture::makeReadOnly(in("locked.txt"));
    EXPECT_EQ(DeleteFileA(in("locked.txt").c_str()), 0);
    EXPECT_TRUE(fixture::exists(in("locked.txt")));

    SetFileAttributesA(in("locked.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(GetFileAttributesA(in("locked.txt").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_NE(DeleteFileA(in("locked.txt").c_str()), 0);
    EXPECT_FALSE(fixture::exists(in("locked.txt")));
}

// The removal clears a file's attributes and deletes it straight after: the deletion acts on
// what its own path names at that moment, whatever the attribute change before it touched.
TEST_F(Conformance, ADeletionAfterAnAttributeChangeActsOnWhatItsPathNames) {
    fixture::makeFile(in("a.txt"), "a");
    fixture::makeFile(in("b.txt"), "b");
    fixture::makeFile(in("gone.txt"), "g");
    fixture::makeFile(in("Now"), "n");

    // Another file than the one just changed.
    EXPECT_NE(SetFileAttributesA(in("a.txt").c_str(), FILE_ATTRIBUTE_NORMAL), 0);
    EXPECT_NE(DeleteFileA(in("b.txt").c_str()), 0);
    EXPECT_TRUE(fixture::exists(in("a.txt")));
    EXPECT_FALSE(fixture::exists(in("b.txt")));

    // The change made the file read-only.
    EXPECT_NE(SetFileAttributesA(in("a.txt").c_str(), FILE_ATTRIBUTE_READONLY), 0);
    EXPECT_EQ(DeleteFileA(in("a.txt").c_str()), 0);
    EXPECT_TRUE(fixture::exists(in("a.txt")));

    // The file went in between.
    EXPECT_NE(SetFileAttributesA(in("gone.txt").c_str(), FILE_ATTRIBUTE_NORMAL), 0);
    fixture::removeFile(in("gone.txt"));
    EXPECT_EQ(DeleteFileA(in("gone.txt").c_str()), 0);

    // A folder took the file's place in between.
    EXPECT_NE(SetFileAttributesA(in("Now").c_str(), FILE_ATTRIBUTE_NORMAL), 0);
    fixture::removeFile(in("Now"));
    fixture::makeFolder(in("Now"));
    EXPECT_EQ(DeleteFileA(in("Now").c_str()), 0);
    EXPECT_TRUE(fixture::exists(in("Now")));

    // The same file named in another case, after the read-only state is cleared again.
    EXPECT_NE(SetFileAttributesA(in("a.txt").c_str(), FILE_ATTRIBUTE_NORMAL), 0);
    EXPECT_NE(DeleteFileA(in("A.TXT").c_str()), 0);
    EXPECT_FALSE(fixture::exists(in("a.txt")));
}

TEST_F(Conformance, DeleteFileRemovesFilesOnly) {
    fixture::makeFile(in("Deliv.exe"), "MZ");
    fixture::makeFolder(in("Data"));
    struct Deletion {
        std::string path;
        bool deleted;
        LONG error;  // GetLastError after a failure: only a missing file or folder is absence
    };
    const Deletion cases[] = {
        {in("deliv.EXE"), true, 0},
        {in("deliv.exe"), false, ERROR_FILE_NOT_FOUND},  // already gone
        {in("Data"), false, ERROR_ACCESS_DENIED},
        {in("missing.txt"), false, ERROR_FILE_NOT_FOUND},
        {in("Missing\\x.txt"), false, ERROR_PATH_NOT_FOUND},
    };
    for (const Deletion& c : cases) {
        EXPECT_EQ(DeleteFileA(c.path.c_str()) != 0, c.deleted) << c.path;
        EXPECT_EQ(c.deleted ? 0 : GetLastError(), static_cast<DWORD>(c.error)) << c.path;
    }
    EXPECT_FALSE(fixture::exists(in("Deliv.exe")));
    EXPECT_TRUE(fixture::exists(in("Data")));
}

// A folder that may not be searched (or listed, for a name in another case) is not empty.
TEST_F(Conformance, AFileInAFolderThatMayNotBeSearchedIsNotMissing) {
    for (const char* name : {"Locked", "Unlisted"}) fixture::makeFolder(in(name));
    fixture::makeFile(in("Locked\\a.txt"), "x");
    fixture::makeFile(in("Unlisted\\a.txt"), "x");
    if (!fixture::lockFolder(in("Locked"), false) || !fixture::lockFolder(in("Unlisted"), true)) GTEST_SKIP();
    for (const char* path : {"Locked\\a.txt", "Unlisted\\A.TXT"}) {
        EXPECT_EQ(DeleteFileA(in(path).c_str()), 0) << path;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << path;
    }
}

TEST_F(Conformance, RemoveDirectoryRemovesEmptyFoldersOnly) {
    fixture::makeFolder(in("Empty"));
    fixture::makeFolder(in("WithFile"));
    fixture::makeFile(in("WithFile\\a.txt"), "x");
    fixture::makeFolder(in("WithHidden"));
    fixture::makeFile(in("WithHidden\\.hidden"), "x");
    fixture::makeFolder(in("WithFolder"));
    fixture::makeFolder(in("WithFolder\\Inner"));
    fixture::makeFile(in("file.txt"), "x");
    struct Removal {
        std::string path;
        bool removed;
    };
    const Removal cases[] = {
        {in("EMPTY"), true},        {in("Empty"), false},    {in("WithFile"), false},
        {in("WithHidden"), false},  {in("WithFolder"), false}, {in("file.txt"), false},
        {in("Missing"), false},
    };
    for (const Removal& c : cases) EXPECT_EQ(RemoveDirectoryA(c.path.c_str()) != 0, c.removed) << c.path;
    EXPECT_TRUE(fixture::exists(in("WithFile\\a.txt")));
    EXPECT_TRUE(fixture::exists(in("WithHidden\\.hidden")));
    EXPECT_TRUE(fixture::exists(in("WithFolder\\Inner")));
    EXPECT_TRUE(fixture::exists(in("file.txt")));
}

// ---- Links ----------------------------------------------------------------------------

TEST_F(Conformance, FolderLinkIsReportedAsReparsePoint) {
    fixture::makeFolder(in("Target"));
    fixture::makeFile(in("Target\\keep.txt"), "keep");
    fixture::makeFolder(in("Apps"));
    if (!fixture::makeFolderLink(in("Apps\\Link"), in("Target"))) GTEST_SKIP() << "no folder links here";

    EXPECT_NE(GetFileAttributesA(in("Apps\\Link").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    std::map<std::string, DWORD> entries = searchAll(in("Apps\\*.*"));
    ASSERT_EQ(entries.count("Link"), 1u);
    EXPECT_NE(entries["Link"] & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
}

TEST_F(Conformance, RemovingFolderLinkLeavesTargetAlone) {
    fixture::makeFolder(in("Target"));
    fixture::makeFile(in("Target\\keep.txt"), "keep");
    if (!fixture::makeFolderLink(in("Link"), in("Target"))) GTEST_SKIP() << "no folder links here";

    EXPECT_EQ(DeleteFileA(in("Link").c_str()), 0);
    EXPECT_NE(RemoveDirectoryA(in("Link").c_str()), 0);
    EXPECT_FALSE(fixture::exists(in("Link")));
    EXPECT_TRUE(fixture::exists(in("Target\\keep.txt")));
    EXPECT_EQ(fixture::readFile(in("Target\\keep.txt")), "keep");
}

// The environment names the Windows folder and, beside the public profile, every profile: the
// folders a sweep is kept out of.
TEST_F(Conformance, TheEnvironmentNamesTheWindowsFolderAndThePublicProfile) {
    const std::pair<const char*, const char*> folders[] = {{"SystemRoot", "c:\\windows"},
                                                           {"PUBLIC", "c:\\users\\public"}};
    for (const auto& [name, expected] : folders) {
        char value[MAX_PATH] = "";
        EXPECT_GT(GetEnvironmentVariableA(name, value, MAX_PATH), 0u) << name;
        for (char* c = value; *c != '\0'; ++c) *c = *c >= 'A' && *c <= 'Z' ? static_cast<char>(*c + 32) : *c;
        EXPECT_STREQ(value, expected);
    }
}

// ---- The executable, pauses, memory -----------------------------------------------------

TEST_F(Conformance, ModuleFileNameIsAnExistingFile) {
    char path[MAX_PATH + 8];
    path[MAX_PATH] = '#';
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, MAX_PATH);
    EXPECT_EQ(std::string(path).size(), length);
    EXPECT_EQ(path[MAX_PATH], '#');
    DWORD attributes = GetFileAttributesA(path);
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << path;
    EXPECT_EQ(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST_F(Conformance, ModuleFileNameIsCutToCapacity) {
    char full[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, full, MAX_PATH);
    ASSERT_GT(length, 5u);
    char cut[8] = {'#', '#', '#', '#', '#', '#', '#', '#'};
    EXPECT_EQ(GetModuleFileNameA(nullptr, cut, 5), 5u);
    EXPECT_EQ(std::string(cut), std::string(full, 4));
    EXPECT_EQ(cut[5], '#');
}

TEST_F(Conformance, SleepPausesAtLeastThatLong) {
    for (DWORD milliseconds : {20u, 60u}) {
        auto start = std::chrono::steady_clock::now();
        Sleep(milliseconds);
        auto slept = std::chrono::steady_clock::now() - start;
        EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(slept).count(), milliseconds - 2);
    }
}

// The program never frees what it allocates; neither does the test, which keeps the blocks
// reachable so a leak checker does not count them.
void* allocated[8];
std::size_t allocatedCount = 0;

TEST_F(Conformance, LocalAllocGivesZeroFilledMemory) {
    for (std::size_t bytes : {std::size_t{1}, std::size_t{24}, std::size_t{4096}}) {
        auto* memory = static_cast<unsigned char*>(LocalAlloc(LPTR, bytes));
        ASSERT_NE(memory, nullptr);
        allocated[allocatedCount++ % 8] = memory;
        EXPECT_TRUE(std::all_of(memory, memory + bytes, [](unsigned char b) { return b == 0; })) << bytes;
        memory[bytes - 1] = 1;  // writable to the last byte
    }
}

// ---- Top-level windows ----------------------------------------------------------------

std::vector<std::string> topLevelClasses() {
    std::vector<std::string> classes;
    for (HWND window = GetTopWindow(GetDesktopWindow()); window != nullptr; window = GetWindow(window, GW_HWNDNEXT)) {
        char name[256];
        name[0] = '\0';
        GetClassNameA(window, name, sizeof name);
        classes.push_back(name);
    }
    return classes;
}

std::ptrdiff_t positionOf(const std::vector<std::string>& classes, const std::string& name) {
    auto found = std::find(classes.begin(), classes.end(), name);
    return found == classes.end() ? -1 : found - classes.begin();
}

TEST_F(Conformance, TopLevelWindowsAreListedTopmostFirst) {
    if (!fixture::openWindow("UninstConformanceLower", false)) GTEST_SKIP() << "no windows here";
    ASSERT_TRUE(fixture::openWindow("UninstConformanceUpper", false));
    std::vector<std::string> classes = topLevelClasses();
    std::ptrdiff_t lower = positionOf(classes, "UninstConformanceLower");
    std::ptrdiff_t upper = positionOf(classes, "UninstConformanceUpper");
    ASSERT_GE(lower, 0);
    ASSERT_GE(upper, 0);
    EXPECT_LT(upper, lower);
}

TEST_F(Conformance, HiddenTopLevelWindowIsListed) {
    if (!fixture::openWindow("UninstConformanceHidden", true)) GTEST_SKIP() << "no windows here";
    EXPECT_GE(positionOf(topLevelClasses(), "UninstConformanceHidden"), 0);
}

TEST_F(Conformance, ClassNameIsCutToCapacity) {
    if (!fixture::openWindow("UninstConformanceLongName", false)) GTEST_SKIP() << "no windows here";
    bool found = false;
    for (HWND window = GetTopWindow(GetDesktopWindow()); window != nullptr; window = GetWindow(window, GW_HWNDNEXT)) {
        char full[256];
        if (GetClassNameA(window, full, sizeof full) <= 0 || std::string(full) != "UninstConformanceLongName") continue;
        char cut[10];
        std::fill(cut, cut + sizeof cut, '#');
        GetClassNameA(window, cut, 7);
        EXPECT_EQ(std::string(cut), "Uninst");
        EXPECT_EQ(cut[7], '#');
        found = true;
    }
    EXPECT_TRUE(found);
}

TEST_F(Conformance, ClosedWindowIsNoLongerListed) {
    if (!fixture::openWindow("UninstConformanceClosed", false)) GTEST_SKIP() << "no windows here";
    fixture::closeWindows();
    EXPECT_EQ(positionOf(topLevelClasses(), "UninstConformanceClosed"), -1);
}

}  // namespace
