// A deletion straight after an attribute change of the same path may reuse the folder the
// change opened; these are the limits of that reuse: the same machine root, a path that does
// not depend on the current folder, and a few milliseconds at most.
#include "platform/operations.h"
#include "platform/posix/files_seam.h"
#include "provider/fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;

namespace {

class PosixDeletion : public ::testing::Test {
protected:
    void SetUp() override {
        fixture::setUp();
        root = std::getenv("UNINST_ROOT");
        fixture::makeFolder("C:\\Apps");
        fixture::makeFile("C:\\Apps\\x.txt", "first");
    }
    void TearDown() override {
        if (!savedFolder.empty()) {
            EXPECT_EQ(::chdir(savedFolder.c_str()), 0);
        }
        ::setenv("UNINST_ROOT", root.c_str(), 1);
        fixture::tearDown();
    }

    void enterFolder(const std::string& native) {
        if (savedFolder.empty()) {
            char buffer[4096];
            ASSERT_NE(::getcwd(buffer, sizeof buffer), nullptr);
            savedFolder = buffer;
        }
        ASSERT_EQ(::chdir(native.c_str()), 0) << native;
    }

    std::string root;
    std::string savedFolder;
};

TEST_F(PosixDeletion, AnotherMachineRootIsResolvedAfresh) {
    // A second root below the first, with the same file.
    fixture::makeFolder("C:\\Second\\drive_c\\Apps");
    fixture::makeFile("C:\\Second\\drive_c\\Apps\\x.txt", "second");

    EXPECT_NE(SetFileAttributesA("C:\\Apps\\x.txt", FILE_ATTRIBUTE_NORMAL), 0);
    ::setenv("UNINST_ROOT", (root + "/drive_c/Second").c_str(), 1);
    EXPECT_NE(DeleteFileA("C:\\Apps\\x.txt"), 0);
    ::setenv("UNINST_ROOT", root.c_str(), 1);

    EXPECT_TRUE(fixture::exists("C:\\Apps\\x.txt"));
    EXPECT_FALSE(fixture::exists("C:\\Second\\drive_c\\Apps\\x.txt"));
}

// A plain relative path, and one relative to the current folder of drive C.
TEST_F(PosixDeletion, ARelativePathFollowsTheCurrentFolder) {
    fixture::makeFolder("C:\\Other");
    for (const char* path : {"x.txt", "C:x.txt"}) {
        fixture::makeFile("C:\\Other\\x.txt", "other");

        enterFolder(root + "/drive_c/Apps");
        EXPECT_NE(SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL), 0);
        enterFolder(root + "/drive_c/Other");
        EXPECT_NE(DeleteFileA(path), 0);

        EXPECT_TRUE(fixture::exists("C:\\Apps\\x.txt")) << path;
        EXPECT_FALSE(fixture::exists("C:\\Other\\x.txt")) << path;
    }
    // The current folder itself, "C:" from there, is held open as on Windows: never removed.
    fixture::makeFolder("C:\\Empty");
    enterFolder(root + "/drive_c/Empty");
    EXPECT_EQ(RemoveDirectoryA("C:"), 0);
    EXPECT_EQ(RemoveDirectoryA("C:\\Empty"), 0);
    EXPECT_TRUE(fixture::exists("C:\\Empty"));
}

TEST_F(PosixDeletion, AFolderReplacedLongerAgoThanTheReuseAllowsIsSeen) {
    EXPECT_NE(SetFileAttributesA("C:\\Apps\\x.txt", FILE_ATTRIBUTE_NORMAL), 0);
    // The folder moves away and a new one with the same file takes its name.
    ASSERT_EQ(::rename((root + "/drive_c/Apps").c_str(), (root + "/drive_c/Old").c_str()), 0);
    fixture::makeFolder("C:\\Apps");
    fixture::makeFile("C:\\Apps\\x.txt", "new");
    Sleep(30);
    EXPECT_NE(DeleteFileA("C:\\Apps\\x.txt"), 0);

    EXPECT_FALSE(fixture::exists("C:\\Apps\\x.txt"));
    EXPECT_TRUE(fixture::exists("C:\\Old\\x.txt"));
}

// Moves C:\Apps aside to C:\Apps.old once, and makes a new C:\Apps with a b.txt.
void moveAppsAside() {
    posix::setBeforeActingHook(nullptr);
    std::string apps = std::string(std::getenv("UNINST_ROOT")) + "/drive_c/Apps";
    ASSERT_EQ(::rename(apps.c_str(), (apps + ".old").c_str()), 0);
    fixture::makeFolder("C:\\Apps");
    fixture::makeFile("C:\\Apps\\b.txt", "new");
}

// The folder moves while the attribute change of b.txt holds it: b.txt goes from the new one.
TEST_F(PosixDeletion, AFolderMovedAsideBetweenTwoDeletionsIsNotActedInAgain) {
    fixture::makeFile("C:\\Apps\\b.txt", "old");
    fixture::makeReadOnly("C:\\Apps\\b.txt");
    SetFileAttributesA("C:\\Apps\\x.txt", FILE_ATTRIBUTE_NORMAL);
    EXPECT_NE(DeleteFileA("C:\\Apps\\x.txt"), 0);
    posix::setBeforeActingHook(moveAppsAside);
    SetFileAttributesA("C:\\Apps\\b.txt", FILE_ATTRIBUTE_NORMAL);
    EXPECT_NE(DeleteFileA("C:\\Apps\\b.txt"), 0);
    EXPECT_TRUE(fixture::exists("C:\\Apps.old\\b.txt"));
    EXPECT_FALSE(fixture::exists("C:\\Apps\\b.txt"));
}

}  // namespace
