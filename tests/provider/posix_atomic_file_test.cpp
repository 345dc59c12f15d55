// Atomic replacement of files: a failure at any step leaves the original and no stray file.
#include "platform/posix/atomic_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

class AtomicFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = "/tmp/uninst-atomic-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        path = folder + "/list.ini";
    }
    void TearDown() override {
        posix::failNextReplaceAt(posix::ReplaceStep::none);
        std::string command = "rm -rf '" + folder + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    void write(const std::string& bytes, mode_t mode) {
        std::ofstream(path, std::ios::binary) << bytes;
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
    }

    std::vector<std::string> names() const {
        std::vector<std::string> found;
        DIR* listing = ::opendir(folder.c_str());
        while (struct dirent* entry = ::readdir(listing)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") found.push_back(name);
        }
        ::closedir(listing);
        return found;
    }

    mode_t modeOf(const std::string& file) const {
        struct stat info;
        return ::stat(file.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
    }

    // With `folderLocked` false, the folder takes new files but the list file is the
    // superuser's, so the replacement cannot be given its owner.
    bool replaceInLockedFolder(const std::string& bytes, bool folderLocked = true) {
        if (::geteuid() != 0) {
            ::chmod(folder.c_str(), 0555);
            bool replaced = posix::replaceFile(path, bytes);
            ::chmod(folder.c_str(), 0700);
            return replaced;
        }
        ::chmod(folder.c_str(), folderLocked ? 0755 : 0777);
        pid_t child = ::fork();
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
            ::_exit(posix::replaceFile(path, bytes) ? 0 : 1);
        }
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return false;
        EXPECT_NE(WEXITSTATUS(status), 2) << "could not become the user nobody";
        return WEXITSTATUS(status) == 0;
    }

    std::string folder;
    std::string path;
};

TEST_F(AtomicFileTest, ReplacesContentAndKeepsPermissions) {
    write("[Utility]\nDelivUtility=1\n", 0640);
    ASSERT_TRUE(posix::replaceFile(path, "[Utility]\nDelivUtility=0\n"));
    EXPECT_EQ(posix::readWholeFile(path).value_or("(unreadable)"), "[Utility]\nDelivUtility=0\n");
    EXPECT_EQ(modeOf(path), 0640u);
    EXPECT_EQ(names(), std::vector<std::string>{"list.ini"});
}

TEST_F(AtomicFileTest, ReplacementKeepsTheOwner) {
    write("original", 0640);
    if (::chown(path.c_str(), 12345, 23456) != 0) GTEST_SKIP() << "cannot give a file away here";
    ASSERT_TRUE(posix::replaceFile(path, "replacement"));
    struct stat info;
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 12345u);
    EXPECT_EQ(info.st_gid, 23456u);
}

// A folder that may not take the temporary file, or a list file whose owner the temporary
// file cannot be given, beside a list file that may be written: only a change that keeps the
// length within one disk sector is made, in place; anything else leaves the file byte for
// byte. The superuser may write anywhere, so as the superuser the replacement runs in a child
// process as the unprivileged user "nobody" (only then is the list file another's).
TEST_F(AtomicFileTest, ALockedFolderTakesOnlyAnUntearableChangeInPlace) {
    const std::string flag = "[Utility]\nDelivUtility=1\n";
    const std::string wide(1024, 'x');
    const struct {
        std::string original, replacement;
        bool written;
        bool folderLocked = true;
    } cases[] = {
        {flag, "[Utility]\nDelivUtility=0\n", true},
        {flag, flag, true},
        {flag, "[Utility]\nDelivUtility=10\n", false},
        {flag, "[Utility]\nDelivUtility=\n", false},
        {wide, "y" + wide.substr(1, 1022) + "y", false},
        {flag, "[Utility]\nDelivUtility=0\n", true, false},
        {flag, "[Utility]\nDelivUtility=10\n", false, false},
    };
    for (const auto& c : cases) {
        if (!c.folderLocked && ::geteuid() != 0) continue;
        write(c.original, 0666);
        EXPECT_EQ(replaceInLockedFolder(c.replacement, c.folderLocked), c.written) << c.replacement;
        EXPECT_EQ(posix::readWholeFile(path).value_or("(unreadable)"), c.written ? c.replacement : c.original);
        EXPECT_EQ(names(), std::vector<std::string>{"list.ini"});
    }
}

TEST_F(AtomicFileTest, CreatesMissingFile) {
    ASSERT_TRUE(posix::replaceFile(path, std::string("with\0nul", 8)));
    EXPECT_EQ(posix::readWholeFile(path).value_or("(unreadable)"), std::string("with\0nul", 8));
    EXPECT_EQ(names(), std::vector<std::string>{"list.ini"});
}

TEST_F(AtomicFileTest, FailureAtAnyStepLeavesTheOriginal) {
    const posix::ReplaceStep steps[] = {posix::ReplaceStep::create, posix::ReplaceStep::write,
                                        posix::ReplaceStep::flush, posix::ReplaceStep::rename};
    for (posix::ReplaceStep step : steps) {
        write("original", 0644);
        posix::failNextReplaceAt(step);
        EXPECT_FALSE(posix::replaceFile(path, "replacement")) << static_cast<int>(step);
        EXPECT_EQ(posix::readWholeFile(path).value_or("(unreadable)"), "original") << static_cast<int>(step);
        EXPECT_EQ(names(), std::vector<std::string>{"list.ini"}) << static_cast<int>(step);
        // The injected failure is used up: the next replacement goes through.
        EXPECT_TRUE(posix::replaceFile(path, "replacement")) << static_cast<int>(step);
    }
}

TEST_F(AtomicFileTest, MissingFolderFails) {
    EXPECT_FALSE(posix::replaceFile(folder + "/missing/list.ini", "x"));
    EXPECT_EQ(names(), std::vector<std::string>{});
}

TEST_F(AtomicFileTest, FolderInTheWayIsNotReplaced) {
    ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
    EXPECT_FALSE(posix::replaceFile(path, "x"));
    EXPECT_EQ(names(), std::vector<std::string>{"list.ini"});
}

TEST_F(AtomicFileTest, LinkedFileIsReplacedBehindItsLink) {
    write("original", 0600);
    std::string link = folder + "/link.ini";
    ASSERT_EQ(::symlink(path.c_str(), link.c_str()), 0);
    ASSERT_TRUE(posix::replaceFile(link, "replacement"));
    struct stat info;
    ASSERT_EQ(::lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(posix::readWholeFile(path).value_or("(unreadable)"), "replacement");
}

TEST_F(AtomicFileTest, LinkToAFolderIsNotReplaced) {
    std::string target = folder + "/sub";
    ASSERT_EQ(::mkdir(target.c_str(), 0755), 0);
    ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
    EXPECT_FALSE(posix::replaceFile(path, "x"));
    struct stat info;
    ASSERT_EQ(::lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
}

// The folder of a replaced file is flushed once, later, however many replacements went to it;
// a failed replacement renamed nothing and leaves nothing to flush.
TEST_F(AtomicFileTest, FolderIsFlushedOnceForManyReplacements) {
    posix::syncReplacedFolders();
    ASSERT_EQ(posix::unsyncedFolderCount(), 0u);
    posix::failNextReplaceAt(posix::ReplaceStep::rename);
    EXPECT_FALSE(posix::replaceFile(path, "never"));
    EXPECT_EQ(posix::unsyncedFolderCount(), 0u);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(posix::replaceFile(path, "version " + std::to_string(i)));
    ASSERT_TRUE(posix::replaceFile(folder + "/other.ini", "x"));
    EXPECT_EQ(posix::unsyncedFolderCount(), 1u);
    posix::syncReplacedFolders();
    EXPECT_EQ(posix::unsyncedFolderCount(), 0u);
    EXPECT_EQ(posix::readWholeFile(path).value_or("(unreadable)"), "version 4");
}

TEST_F(AtomicFileTest, ReadOfMissingFileGivesNothing) {
    EXPECT_FALSE(posix::readWholeFile(folder + "/missing").has_value());
    EXPECT_FALSE(posix::readWholeFile(folder).has_value());
}

}  // namespace
