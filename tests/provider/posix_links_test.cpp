// What the POSIX provider does beyond the common contract: symbolic links are never followed
// by a search, a deletion or an attribute change; drive folders stay; the lead-byte table.
#include "platform/operations.h"
#include "platform/posix/files_seam.h"
#include "provider/fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;

namespace {

class PosixLinks : public ::testing::Test {
protected:
    void SetUp() override {
        fixture::setUp();
        root = std::getenv("UNINST_ROOT");
        fixture::makeFolder("C:\\Target");
        fixture::makeFile("C:\\Target\\keep.txt", "keep");
        fixture::makeFolder("C:\\Apps");
    }
    void TearDown() override { fixture::tearDown(); }

    void link(const std::string& target, const std::string& name) {
        ASSERT_EQ(::symlink((root + target).c_str(), (root + name).c_str()), 0) << name;
    }
    mode_t modeOf(const std::string& name) const {
        struct stat info;
        return ::stat((root + name).c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
    }

    std::string root;
};

TEST_F(PosixLinks, SearchNeverGoesThroughFolderLink) {
    link("/drive_c/Target", "/drive_c/Apps/Linked");
    WIN32_FIND_DATAA entry{};
    EXPECT_EQ(FindFirstFileA("C:\\Apps\\Linked\\*.*", &entry), INVALID_HANDLE_VALUE);
    EXPECT_EQ(FindFirstFileA("C:\\Apps\\Linked\\Deeper\\*.*", &entry), INVALID_HANDLE_VALUE);
}

TEST_F(PosixLinks, NothingIsDeletedOrChangedThroughFolderLink) {
    link("/drive_c/Target", "/drive_c/Apps/Linked");
    ASSERT_EQ(::chmod((root + "/drive_c/Target/keep.txt").c_str(), 0444), 0);
    EXPECT_EQ(SetFileAttributesA("C:\\Apps\\Linked\\keep.txt", FILE_ATTRIBUTE_NORMAL), 0);
    EXPECT_EQ(modeOf("/drive_c/Target/keep.txt"), 0444u);
    ASSERT_EQ(::chmod((root + "/drive_c/Target/keep.txt").c_str(), 0644), 0);
    EXPECT_EQ(DeleteFileA("C:\\Apps\\Linked\\keep.txt"), 0);
    EXPECT_TRUE(fixture::exists("C:\\Target\\keep.txt"));
}

TEST_F(PosixLinks, FileLinkIsDeletedAsLinkAndItsTargetKeepsItsMode) {
    ASSERT_EQ(::chmod((root + "/drive_c/Target/keep.txt").c_str(), 0444), 0);
    link("/drive_c/Target/keep.txt", "/drive_c/Apps/keep.lnk");
    EXPECT_EQ(GetFileAttributesA("C:\\Apps\\keep.lnk"), FILE_ATTRIBUTE_REPARSE_POINT);
    SetFileAttributesA("C:\\Apps\\keep.lnk", FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(modeOf("/drive_c/Target/keep.txt"), 0444u);
    EXPECT_NE(DeleteFileA("C:\\Apps\\keep.lnk"), 0);
    EXPECT_FALSE(fixture::exists("C:\\Apps\\keep.lnk"));
    EXPECT_TRUE(fixture::exists("C:\\Target\\keep.txt"));
}

TEST_F(PosixLinks, AttributesOfLinks) {
    link("/drive_c/Target", "/drive_c/Apps/Folder");
    link("/drive_c/Target/keep.txt", "/drive_c/Apps/File");
    link("/drive_c/Missing", "/drive_c/Apps/Dangling");
    struct Attributes {
        const char* path;
        DWORD expected;
    };
    const Attributes cases[] = {
        {"C:\\Apps\\Folder", FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY},
        {"C:\\Apps\\File", FILE_ATTRIBUTE_REPARSE_POINT},
        {"C:\\Apps\\Dangling", FILE_ATTRIBUTE_REPARSE_POINT},
        {"C:\\Target\\keep.txt", FILE_ATTRIBUTE_NORMAL},
        {"C:\\Target", FILE_ATTRIBUTE_DIRECTORY},
    };
    for (const Attributes& c : cases) EXPECT_EQ(GetFileAttributesA(c.path), c.expected) << c.path;
    // A dangling link goes like a file link; RemoveDirectoryA leaves it.
    EXPECT_EQ(RemoveDirectoryA("C:\\Apps\\Dangling"), 0);
    EXPECT_NE(DeleteFileA("C:\\Apps\\Dangling"), 0);
}

std::string swapRoot;

// Between the check of a path and the removal, C:\\Apps\\Tool becomes a link to C:\\Target.
void swapToolForLink() {
    ::rename((swapRoot + "/drive_c/Apps/Tool").c_str(), (swapRoot + "/drive_c/Apps/Moved").c_str());
    ::symlink((swapRoot + "/drive_c/Target").c_str(), (swapRoot + "/drive_c/Apps/Tool").c_str());
}

// Between the check of a file and the change of its attributes, it becomes a link to
// C:\\Target\\keep.txt.
void swapKeepForLink() {
    ::rename((swapRoot + "/drive_c/Apps/Tool/keep.txt").c_str(), (swapRoot + "/drive_c/Apps/Moved").c_str());
    ::symlink((swapRoot + "/drive_c/Target/keep.txt").c_str(), (swapRoot + "/drive_c/Apps/Tool/keep.txt").c_str());
}

BOOL makeReadOnly(const char* path) { return SetFileAttributesA(path, FILE_ATTRIBUTE_READONLY); }

// A folder resolved the quick way, and a file resolved the long way (a name in another case);
// and a file whose own name becomes a link before its attributes change.
TEST_F(PosixLinks, LinkSwappedInAfterTheCheckIsNotFollowed) {
    fixture::makeFolder("C:\\Target\\Data");
    mode_t targetMode = modeOf("/drive_c/Target/keep.txt");
    swapRoot = root;
    const std::tuple<BOOL (*)(const char*), const char*, void (*)()> cases[] = {
        {RemoveDirectoryA, "Tool\\Data", swapToolForLink},
        {DeleteFileA, "TOOL\\keep.txt", swapToolForLink},
        {makeReadOnly, "Tool\\keep.txt", swapKeepForLink}};
    for (const auto& [act, name, swap] : cases) {
        std::filesystem::remove_all(root + "/drive_c/Apps/Tool");
        std::filesystem::remove_all(root + "/drive_c/Apps/Moved");
        fixture::makeFolder("C:\\Apps\\Tool\\Data");
        fixture::makeFile("C:\\Apps\\Tool\\keep.txt", "listed");
        posix::setBeforeActingHook(swap);
        act(("C:\\Apps\\" + std::string(name)).c_str());
        posix::setBeforeActingHook(nullptr);
    }
    EXPECT_TRUE(fixture::exists("C:\\Target\\Data"));
    EXPECT_TRUE(fixture::exists("C:\\Target\\keep.txt"));
    EXPECT_EQ(modeOf("/drive_c/Target/keep.txt"), targetMode);
}

TEST_F(PosixLinks, DriveFolderIsNeverRemoved) {
    fixture::makeFolder("D:\\");
    EXPECT_EQ(RemoveDirectoryA("D:"), 0);
    EXPECT_EQ(RemoveDirectoryA("D:\\"), 0);
    EXPECT_TRUE(fixture::exists("D:\\"));
}

TEST_F(PosixLinks, SearchOfDriveFolderHasNoDotEntries) {
    fixture::makeFolder("E:\\Only");
    WIN32_FIND_DATAA entry{};
    HANDLE search = FindFirstFileA("E:\\*.*", &entry);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::string(entry.cFileName), "Only");
    EXPECT_EQ(FindNextFileA(search, &entry), 0);
    FindClose(search);
}

TEST_F(PosixLinks, SearchDeliversDotsFirstThenNamesInOrderWithHiddenBit) {
    fixture::makeFolder("C:\\Apps\\b");
    fixture::makeFile("C:\\Apps\\a.txt", "x");
    fixture::makeFile("C:\\Apps\\.profile", "x");
    std::vector<std::pair<std::string, DWORD>> entries;
    WIN32_FIND_DATAA entry{};
    HANDLE search = FindFirstFileA("C:\\Apps\\*.*", &entry);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do entries.emplace_back(entry.cFileName, entry.dwFileAttributes);
    while (FindNextFileA(search, &entry) != 0);
    FindClose(search);
    const std::vector<std::pair<std::string, DWORD>> expected = {
        {".", FILE_ATTRIBUTE_DIRECTORY},
        {"..", FILE_ATTRIBUTE_DIRECTORY},
        {".profile", FILE_ATTRIBUTE_HIDDEN},
        {"a.txt", FILE_ATTRIBUTE_NORMAL},
        {"b", FILE_ATTRIBUTE_DIRECTORY},
    };
    EXPECT_EQ(entries, expected);
}

TEST_F(PosixLinks, SearchWithNamePatternMatchesWithoutRegardToCase) {
    fixture::makeFile("C:\\Apps\\Tool.EXE", "x");
    fixture::makeFile("C:\\Apps\\tool.dll", "x");
    fixture::makeFile("C:\\Apps\\readme", "x");
    struct Pattern {
        const char* pattern;
        std::size_t count;
    };
    const Pattern cases[] = {{"C:\\Apps\\*.exe", 1}, {"C:\\Apps\\TOOL.*", 2}, {"C:\\Apps\\t??l.dll", 1},
                             {"C:\\Apps\\readme", 1}, {"C:\\Apps\\*.zip", 0}};
    for (const Pattern& c : cases) {
        std::size_t count = 0;
        WIN32_FIND_DATAA entry{};
        HANDLE search = FindFirstFileA(c.pattern, &entry);
        if (search != INVALID_HANDLE_VALUE) {
            do ++count;
            while (FindNextFileA(search, &entry) != 0);
            FindClose(search);
        }
        EXPECT_EQ(count, c.count) << c.pattern;
    }
}

TEST(PosixLeadBytes, CodePage932) {
    struct Lead {
        BYTE byte;
        bool lead;
    };
    const Lead cases[] = {{0x00, false}, {0x5C, false}, {0x7F, false}, {0x80, false}, {0x81, true},
                          {0x9F, true},  {0xA0, false}, {0xDF, false}, {0xE0, true},  {0xFC, true},
                          {0xFD, false}, {0xFF, false}};
    for (const Lead& c : cases) EXPECT_EQ(IsDBCSLeadByte(c.byte) != 0, c.lead) << static_cast<int>(c.byte);
}

}  // namespace
