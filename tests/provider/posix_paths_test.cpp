// The mapping of Windows paths onto the machine root, lexically and against real folders.
#include "platform/posix/paths.h"

#include "platform/operations.h"
#include "platform/posix/code_page.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Mapping {
    const char* windowsPath;
    const char* currentFolder;
    const char* expected;  // null: not mapped
};

TEST(NativePath, MapsWindowsPathsOntoTheRoot) {
    const Mapping cases[] = {
        // Drive letters, in either case, are folders of the root.
        {"C:\\Apps\\Tool\\tool.exe", "/home/u", "/m/drive_c/Apps/Tool/tool.exe"},
        {"c:\\Apps", "/home/u", "/m/drive_c/Apps"},
        {"D:\\Data", "/home/u", "/m/drive_d/Data"},
        {"Z:", "/home/u", "/m/drive_z"},
        {"C:\\", "/home/u", "/m/drive_c"},
        {"C:Apps", "/home/u", "/m/drive_c/Apps"},
        // "C:name" continues the current folder when that is on drive C, as Windows reads it.
        {"C:Apps\\a.txt", "/m/drive_c/App/Uninstall", "/m/drive_c/App/Uninstall/Apps/a.txt"},
        {"D:x", "/m/drive_c/App", "/m/drive_d/x"},
        // Either slash separates; doubled separators and "." are dropped.
        {"C:/Apps/Tool", "/home/u", "/m/drive_c/Apps/Tool"},
        {"C:\\Apps\\\\Tool\\.\\", "/home/u", "/m/drive_c/Apps/Tool"},
        // ".." never climbs above the drive folder.
        {"C:\\Apps\\..\\Other", "/home/u", "/m/drive_c/Other"},
        {"C:\\..\\..\\etc\\passwd", "/home/u", "/m/drive_c/etc/passwd"},
        {"C:\\Apps\\..\\..", "/home/u", "/m/drive_c"},
        // A leading backslash is drive C.
        {"\\Windows\\list.ini", "/home/u", "/m/drive_c/Windows/list.ini"},
        {"\\..\\x", "/home/u", "/m/drive_c/x"},
        // A leading slash is a native path, used as it stands.
        {"/tmp/list.ini", "/home/u", "/tmp/list.ini"},
        {"/opt/uninst/uninst.ini", "/m/drive_c", "/opt/uninst/uninst.ini"},
        {"/", "/home/u", "/"},
        // Relative paths continue the current folder...
        {"list.ini", "/home/u", "/home/u/list.ini"},
        {"sub\\list.ini", "/home/u", "/home/u/sub/list.ini"},
        {"..\\list.ini", "/home/u", "/home/list.ini"},
        {"..\\..\\..\\x", "/home/u", "/x"},
        // ...and on a drive of the root they stop at its drive folder.
        {"..\\..\\..\\x", "/m/drive_c/Apps/Tool", "/m/drive_c/x"},
        {"data.txt", "/m/drive_d", "/m/drive_d/data.txt"},
        // Code page 932 (ソフト\表: ソ and 表 end in 0x5C) is written on disk in UTF-8.
        {"C:\\\x83\x5c\x83\x74\x83\x67\\\x95\x5c\\a.txt", "/home/u", "/m/drive_c/ソフト/表/a.txt"},
        {"\x95\x5c\\..\\x", "/m/drive_c", "/m/drive_c/x"},
        // Nothing to map: no text, other machines, device namespaces, a name that is no code
        // page 932 text (half a character, an unassigned one), a name Windows cannot hold.
        {"", "/home/u", nullptr},
        {"C:\\a\x95", "/home/u", nullptr},
        {"C:\\Temp\\*.tmp", "/home/u", nullptr},
        {"C:\\\x85\x40\\x", "/home/u", nullptr},
        {"\\\\server\\share\\x", "/home/u", nullptr},
        {"\\\\?\\C:\\x", "/home/u", nullptr},
    };
    for (const Mapping& c : cases) {
        std::optional<std::string> mapped = posix::nativePath(c.windowsPath, "/m", c.currentFolder);
        if (c.expected == nullptr) {
            EXPECT_FALSE(mapped.has_value()) << c.windowsPath;
        } else {
            EXPECT_EQ(mapped.value_or("(not mapped)"), c.expected) << c.windowsPath << " from " << c.currentFolder;
        }
    }
}

TEST(NativePath, RootIsTidiedAndTakenFromTheCurrentFolderWhenRelative) {
    struct Root {
        const char* root;
        const char* expected;
    };
    const Root cases[] = {
        {"/m/", "/m/drive_c/x"},
        {"/m/./sub/..", "/m/drive_c/x"},
        {"machine", "/srv/here/machine/drive_c/x"},
        {"", "/srv/here/drive_c/x"},
        {"/", "/drive_c/x"},
    };
    for (const Root& c : cases) {
        EXPECT_EQ(posix::nativePath("C:\\x", c.root, "/srv/here").value_or("(not mapped)"), c.expected) << c.root;
    }
}

TEST(NativePath, PlanKeepsNativePathsAsWritten) {
    std::optional<posix::PathPlan> native = posix::planPath("/Tmp/List.ini", "/m", "/");
    ASSERT_TRUE(native.has_value());
    EXPECT_FALSE(native->matchCase);
    std::optional<posix::PathPlan> drive = posix::planPath("C:\\Tmp", "/m", "/");
    ASSERT_TRUE(drive.has_value());
    EXPECT_TRUE(drive->matchCase);
    EXPECT_EQ(drive->base, "/m/drive_c");
    EXPECT_EQ(drive->names, std::vector<std::string>{"Tmp"});
}

class ResolvedPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = "/tmp/uninst-paths-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        ::setenv("UNINST_ROOT", root.c_str(), 1);
        for (const char* folder : {"/drive_c", "/drive_c/Program Files", "/drive_c/Program Files/Tool",
                                   "/drive_c/windows", "/drive_c/Twin", "/drive_c/TWIN", "/drive_c/ソフト"}) {
            ASSERT_EQ(::mkdir((root + folder).c_str(), 0755), 0) << folder;
        }
        std::ofstream(root + "/drive_c/Program Files/Tool/Tool.EXE") << "MZ";
        std::ofstream(root + "/drive_c/windows/ZADAvuz.ini") << "[Utility]\n";
        std::ofstream(root + "/drive_c/ソフト/Data表.TXT") << "x";
    }
    void TearDown() override {
        std::string command = "rm -rf '" + root + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        ::unsetenv("UNINST_ROOT");
    }
    std::string root;
};

TEST_F(ResolvedPathTest, NamesMatchWithoutRegardToCase) {
    struct Resolution {
        const char* windowsPath;
        const char* expected;  // below the root
    };
    const Resolution cases[] = {
        {"C:\\Program Files\\Tool\\Tool.EXE", "/drive_c/Program Files/Tool/Tool.EXE"},
        {"c:\\PROGRAM FILES\\tool\\tool.exe", "/drive_c/Program Files/Tool/Tool.EXE"},
        {"C:\\Windows\\zadavuz.INI", "/drive_c/windows/ZADAvuz.ini"},
        // A missing name is kept as written, and so is everything below it.
        {"C:\\WINDOWS\\New.ini", "/drive_c/windows/New.ini"},
        {"C:\\Missing\\Program Files", "/drive_c/Missing/Program Files"},
        // The exact name wins; among several matches the first in byte order.
        {"C:\\Twin", "/drive_c/Twin"},
        {"C:\\TWIN", "/drive_c/TWIN"},
        {"C:\\twin", "/drive_c/TWIN"},
        // Names on disk are UTF-8: ソフト\data表.txt finds ソフト/Data表.TXT.
        {"C:\\\x83\x5c\x83\x74\x83\x67\\data\x95\x5c.txt", "/drive_c/ソフト/Data表.TXT"},
    };
    for (const Resolution& c : cases) {
        std::optional<posix::ResolvedPath> resolved = posix::resolvePath(c.windowsPath);
        ASSERT_TRUE(resolved.has_value()) << c.windowsPath;
        EXPECT_EQ(resolved->path, root + c.expected) << c.windowsPath;
        EXPECT_FALSE(resolved->throughLink) << c.windowsPath;
    }
}

// A search gives names in code page 932 and passes over a name that has no exact form there:
// Shift-JIS bytes that are no UTF-8, and a yen sign, which code page 932 would turn into a
// backslash. A name that is no code page 932 text is refused with its own error code.
TEST_F(ResolvedPathTest, SearchGivesCodePage932NamesOnly) {
    for (const char* name : {"/表b.txt", "/\x95\x5c.txt", "/a\xc2\xa5" "b.txt"}) {
        std::ofstream(root + "/drive_c/ソフト" + name) << "x";
    }
    platform::WIN32_FIND_DATAA entry;
    platform::HANDLE search = platform::FindFirstFileA("C:\\\x83\x5c\x83\x74\x83\x67\\*.*", &entry);
    ASSERT_NE(search, platform::INVALID_HANDLE_VALUE);
    std::vector<std::string> names;
    do names.emplace_back(entry.cFileName);
    while (platform::FindNextFileA(search, &entry) != 0);
    platform::FindClose(search);
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "Data\x95\x5c.TXT", "\x95\x5c" "b.txt"}));
    EXPECT_EQ(platform::DeleteFileA("C:\\\x83\x5c\x83\x74\x83\x67\\a\x95"), 0);
    EXPECT_EQ(platform::GetLastError(), platform::ERROR_NO_UNICODE_TRANSLATION);
}

TEST_F(ResolvedPathTest, DriveFolderIsTheBase) {
    EXPECT_TRUE(posix::resolvePath("C:\\")->atBase);
    EXPECT_TRUE(posix::resolvePath("C:\\Windows\\..")->atBase);
    EXPECT_FALSE(posix::resolvePath("C:\\Windows")->atBase);
}

TEST_F(ResolvedPathTest, FolderLinkOnTheWayIsNoticed) {
    ASSERT_EQ(::symlink((root + "/drive_c/Program Files").c_str(), (root + "/drive_c/Link").c_str()), 0);
    EXPECT_TRUE(posix::resolvePath("C:\\link\\Tool\\tool.exe")->throughLink);
    // The link as the last name is not "on the way": the operations look at it themselves.
    EXPECT_FALSE(posix::resolvePath("C:\\Link")->throughLink);
}

TEST_F(ResolvedPathTest, RootDefaultsToTheCurrentFolder) {
    ::unsetenv("UNINST_ROOT");
    char previous[4096];
    ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(::chdir(root.c_str()), 0);
    std::optional<posix::ResolvedPath> resolved = posix::resolvePath("C:\\windows\\zadavuz.ini");
    ASSERT_EQ(::chdir(previous), 0);
    ASSERT_TRUE(resolved.has_value());
    EXPECT_EQ(resolved->path, root + "/drive_c/windows/ZADAvuz.ini");
}

}  // namespace
