// The parsed copy the profile operations keep between calls: it answers while the file is
// unchanged, and any change between two calls is seen, whichever state check catches it.
#include "platform/operations.h"
#include "platform/posix/paths.h"
#include "platform/posix/profile_cache.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using posix::FileChange;

class ProfileCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = "/tmp/uninst-profile-cache-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        ASSERT_EQ(::mkdir((root + "/drive_c").c_str(), 0755), 0);
        ASSERT_EQ(::mkdir((root + "/drive_c/windows").c_str(), 0755), 0);
        path = root + "/drive_c/windows/list.ini";
        ::setenv("UNINST_ROOT", root.c_str(), 1);
        posix::resetProfileCache();
    }
    void TearDown() override {
        posix::resetProfileCache();
        ::unsetenv("UNINST_ROOT");
        std::string command = "rm -rf '" + root + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    static void writeFile(const std::string& file, const std::string& bytes) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    }

    static struct stat stateOf(const std::string& file) {
        struct stat info{};
        EXPECT_EQ(::stat(file.c_str(), &info), 0) << file;
        return info;
    }

    // Waits until the file is old enough for its parsed copy to be kept: a file written
    // within the last moments is parsed afresh on every call.
    void settle() {
        struct stat info = stateOf(path);
        bool wholeSeconds = info.st_mtim.tv_nsec == 0 && info.st_ctim.tv_nsec == 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(wholeSeconds ? 2100 : 40));
    }

    static std::string read(const char* key, const char* fileName = "list.ini") {
        char buffer[64];
        platform::GetPrivateProfileStringA("Files", key, "(none)", buffer, sizeof buffer, fileName);
        return buffer;
    }

    std::string root;
    std::string path;
};

TEST_F(ProfileCacheTest, UnchangedFileIsParsedOnce) {
    writeFile(path, "[Files]\r\nFILE00=C:\\A\\one.dll\r\nFILE01=C:\\A\\two.dll\r\n");
    settle();
    EXPECT_EQ(read("FILE00"), "C:\\A\\one.dll");
    EXPECT_EQ(read("FILE01"), "C:\\A\\two.dll");
    EXPECT_EQ(read("FILE02"), "(none)");
    EXPECT_EQ(platform::GetPrivateProfileIntA("Files", "Missing", 7, "list.ini"), 7u);
    posix::ProfileCacheCounters counters = posix::profileCacheCounters();
    EXPECT_EQ(counters.parses, 1u);
    EXPECT_EQ(counters.reuses, 3u);
}

// Each change keeps the value's length, so the file keeps its size unless the case says
// otherwise; the state check that notices it is named, and the new value must be read.
// A file deleted and made again may get the freed inode number back (ext4 often hands it
// out again at once); the times catch it then, which is the second check named.
struct Change {
    const char* name;
    std::function<void(const std::string& path, const struct stat& before)> apply;
    FileChange caughtBy;
    const char* valueAfter;
    FileChange orCaughtBy = caughtBy;
};

void rewriteInPlace(const std::string& path, const std::string& bytes) {
    int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    ASSERT_EQ(::close(fd), 0);
}

void setModificationTime(const std::string& path, const struct stat& from) {
    struct timespec times[2] = {from.st_atim, from.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

const char* const original = "[Files]\r\nFILE00=C:\\A\\one.dll\r\n";
const char* const sameSize = "[Files]\r\nFILE00=C:\\B\\new.dll\r\n";

TEST_F(ProfileCacheTest, ChangeBetweenTwoCallsIsAlwaysSeen) {
    const Change cases[] = {
        {"rewritten in place, same size", [](const std::string& p, const struct stat&) { rewriteInPlace(p, sameSize); },
         FileChange::modified, "C:\\B\\new.dll"},
        {"rewritten in place, same size, modification time set back",
         [](const std::string& p, const struct stat& before) {
             rewriteInPlace(p, sameSize);
             setModificationTime(p, before);
         },
         FileChange::changed, "C:\\B\\new.dll"},
        {"only the modification time set back, same bytes",
         [](const std::string& p, const struct stat& before) { setModificationTime(p, before); },
         FileChange::changed, "C:\\A\\one.dll"},
        {"replaced by rename with a file of the same size and times",
         [](const std::string& p, const struct stat& before) {
             std::string next = p + ".new";
             writeFile(next, sameSize);
             setModificationTime(next, before);
             ASSERT_EQ(::rename(next.c_str(), p.c_str()), 0);
         },
         FileChange::identity, "C:\\B\\new.dll"},
        {"its folder replaced by rename with one holding a file of the same size and times",
         [](const std::string& p, const struct stat& before) {
             std::string folder = p.substr(0, p.rfind('/'));
             ASSERT_EQ(::rename(folder.c_str(), (folder + ".old").c_str()), 0);
             ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
             writeFile(p, sameSize);
             setModificationTime(p, before);
         },
         FileChange::identity, "C:\\B\\new.dll"},
        {"grown by a line", [](const std::string& p, const struct stat&) {
             std::ofstream(p, std::ios::binary | std::ios::app) << "FILE01=C:\\A\\two.dll\r\n";
         },
         FileChange::size, "C:\\A\\one.dll"},
        {"deleted and written again",
         [](const std::string& p, const struct stat&) {
             ASSERT_EQ(::unlink(p.c_str()), 0);
             writeFile(p, sameSize);
         },
         FileChange::identity, "C:\\B\\new.dll", FileChange::modified},
        {"deleted and written again with the old times",
         [](const std::string& p, const struct stat& before) {
             ASSERT_EQ(::unlink(p.c_str()), 0);
             writeFile(p, sameSize);
             setModificationTime(p, before);
         },
         FileChange::identity, "C:\\B\\new.dll", FileChange::changed},
    };
    for (const Change& c : cases) {
        SCOPED_TRACE(c.name);
        posix::resetProfileCache();
        ::unlink(path.c_str());
        writeFile(path, original);
        settle();
        ASSERT_EQ(read("FILE00"), "C:\\A\\one.dll");
        ASSERT_EQ(read("FILE00"), "C:\\A\\one.dll");
        ASSERT_EQ(posix::profileCacheCounters().reuses, 1u) << "the second call must use the kept copy";

        struct stat before = stateOf(path);
        c.apply(path, before);
        struct stat after = stateOf(path);
        FileChange found = posix::compareFileStates(before, after);
        EXPECT_TRUE(found == c.caughtBy || found == c.orCaughtBy) << "caught by " << static_cast<int>(found);

        EXPECT_EQ(read("FILE00"), c.valueAfter);
        EXPECT_EQ(posix::profileCacheCounters().parses, 2u);
    }
}

TEST_F(ProfileCacheTest, DeletedFileReadsAsMissing) {
    writeFile(path, original);
    settle();
    ASSERT_EQ(read("FILE00"), "C:\\A\\one.dll");
    ASSERT_EQ(::unlink(path.c_str()), 0);
    EXPECT_EQ(read("FILE00"), "(none)");
    EXPECT_EQ(platform::GetPrivateProfileIntA("Files", "FILE00", 5, "list.ini"), 5u);
}

// A change made at once after a read may carry the same time stamps as the version read
// (both within one tick of the file system's clock): such a fresh file is never kept.
TEST_F(ProfileCacheTest, ChangeRightAfterWritingIsSeen) {
    for (int round = 0; round < 20; ++round) {
        writeFile(path, original);
        ASSERT_EQ(read("FILE00"), "C:\\A\\one.dll");
        rewriteInPlace(path, sameSize);
        ASSERT_EQ(read("FILE00"), "C:\\B\\new.dll") << "round " << round;
    }
    EXPECT_EQ(posix::profileCacheCounters().reuses, 0u);
}

// The guard behind the test above, shown directly: a file written a moment ago is parsed on
// every call. The two reads must follow the write within a few milliseconds, which a busy
// machine may not manage; a few attempts are made before giving up.
TEST_F(ProfileCacheTest, FreshFileIsNotKept) {
    using Clock = std::chrono::steady_clock;
    for (int attempt = 0; attempt < 10; ++attempt) {
        posix::resetProfileCache();
        Clock::time_point written = Clock::now();
        writeFile(path, original);
        ASSERT_EQ(read("FILE00"), "C:\\A\\one.dll");
        ASSERT_EQ(read("FILE00"), "C:\\A\\one.dll");
        if (Clock::now() - written > std::chrono::milliseconds(10)) continue;
        EXPECT_EQ(posix::profileCacheCounters().parses, 2u);
        EXPECT_EQ(posix::profileCacheCounters().reuses, 0u);
        return;
    }
    GTEST_SKIP() << "the reads never followed the write within 10 ms";
}

TEST_F(ProfileCacheTest, WriteByThisProgramDropsTheCopy) {
    writeFile(path, original);
    settle();
    ASSERT_EQ(read("FILE00"), "C:\\A\\one.dll");
    ASSERT_EQ(read("FILE00"), "C:\\A\\one.dll");
    ASSERT_EQ(posix::profileCacheCounters().parses, 1u);

    // Another file is written: the list file itself is untouched, yet parsed again.
    EXPECT_NE(platform::WritePrivateProfileStringA("Utility", "DelivUtility", "0", "other.ini"), 0);
    EXPECT_EQ(read("FILE00"), "C:\\A\\one.dll");
    EXPECT_EQ(posix::profileCacheCounters().parses, 2u);

    EXPECT_NE(platform::WritePrivateProfileStringA("Files", "FILE00", "C:\\C\\z.dll", "list.ini"), 0);
    EXPECT_EQ(read("FILE00"), "C:\\C\\z.dll");
    EXPECT_EQ(posix::profileCacheCounters().parses, 3u);
}

TEST_F(ProfileCacheTest, NameInOtherCaseFindsTheKeptCopy) {
    writeFile(path, original);
    settle();
    ASSERT_EQ(read("FILE00"), "C:\\A\\one.dll");
    EXPECT_EQ(read("FILE00", "C:\\WINDOWS\\LIST.INI"), "C:\\A\\one.dll");
    EXPECT_EQ(read("FILE00", "list.ini"), "C:\\A\\one.dll");
    posix::ProfileCacheCounters counters = posix::profileCacheCounters();
    EXPECT_EQ(counters.parses, 1u);
    EXPECT_EQ(counters.reuses, 2u);
}

TEST_F(ProfileCacheTest, TwoFilesInTurnAreEachReadCorrectly) {
    writeFile(path, original);
    writeFile(root + "/drive_c/windows/texts.ini", "[Files]\r\nFILE00=texts\r\n");
    settle();
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(read("FILE00"), "C:\\A\\one.dll");
        EXPECT_EQ(read("FILE00", "texts.ini"), "texts");
    }
}

// The same name read under another machine root, or relative to another current folder,
// is another file.
TEST_F(ProfileCacheTest, AnotherRootOrCurrentFolderIsAnotherFile) {
    writeFile(path, original);
    std::string other = root + "/other";
    for (const std::string& folder : {other, other + "/drive_c", other + "/drive_c/windows", root + "/a",
                                      root + "/a/dir", root + "/b", root + "/b/dir"}) {
        ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0) << folder;
    }
    writeFile(other + "/drive_c/windows/list.ini", "[Files]\r\nFILE00=other root\r\n");
    writeFile(root + "/a/dir/list.ini", "[Files]\r\nFILE00=a\r\n");
    writeFile(root + "/b/dir/list.ini", "[Files]\r\nFILE00=b\r\n");
    settle();

    EXPECT_EQ(read("FILE00"), "C:\\A\\one.dll");
    ::setenv("UNINST_ROOT", other.c_str(), 1);
    EXPECT_EQ(read("FILE00"), "other root");
    EXPECT_EQ(read("FILE00", "C:\\windows\\list.ini"), "other root");
    ::setenv("UNINST_ROOT", root.c_str(), 1);
    EXPECT_EQ(read("FILE00", "C:\\windows\\list.ini"), "C:\\A\\one.dll");

    char saved[4096];
    ASSERT_NE(::getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(::chdir((root + "/a").c_str()), 0);
    std::string inA = read("FILE00", "dir\\list.ini");
    ASSERT_EQ(::chdir((root + "/b").c_str()), 0);
    std::string inB = read("FILE00", "dir\\list.ini");
    ASSERT_EQ(::chdir(saved), 0);
    EXPECT_EQ(inA, "a");
    EXPECT_EQ(inB, "b");
}

// The checks in their order: the first difference found is the one reported.
TEST(FileStateComparison, ReportsTheFirstDifference) {
    struct stat base{};
    base.st_dev = 1;
    base.st_ino = 100;
    base.st_size = 40;
    base.st_mtim = {1000, 500};
    base.st_ctim = {1000, 600};

    struct Case {
        const char* name;
        std::function<void(struct stat&)> alter;
        FileChange expected;
    };
    const Case cases[] = {
        {"nothing", [](struct stat&) {}, FileChange::none},
        {"access time only", [](struct stat& s) { s.st_atim = {5, 5}; }, FileChange::none},
        {"device", [](struct stat& s) { s.st_dev = 2; }, FileChange::identity},
        {"inode", [](struct stat& s) { s.st_ino = 101; }, FileChange::identity},
        {"size", [](struct stat& s) { s.st_size = 41; }, FileChange::size},
        {"modification nanoseconds", [](struct stat& s) { s.st_mtim.tv_nsec = 501; }, FileChange::modified},
        {"modification seconds", [](struct stat& s) { s.st_mtim.tv_sec = 999; }, FileChange::modified},
        {"change nanoseconds", [](struct stat& s) { s.st_ctim.tv_nsec = 601; }, FileChange::changed},
        {"change seconds", [](struct stat& s) { s.st_ctim.tv_sec = 1001; }, FileChange::changed},
        {"inode and size", [](struct stat& s) { s.st_ino = 7; s.st_size = 1; }, FileChange::identity},
        {"size and both times", [](struct stat& s) {
             s.st_size = 1;
             s.st_mtim.tv_sec = 1;
             s.st_ctim.tv_sec = 1;
         }, FileChange::size},
        {"both times", [](struct stat& s) { s.st_mtim.tv_sec = 1; s.st_ctim.tv_sec = 1; }, FileChange::modified},
    };
    for (const Case& c : cases) {
        struct stat other = base;
        c.alter(other);
        EXPECT_EQ(posix::compareFileStates(base, other), c.expected) << c.name;
    }
}

// Path resolution takes a quick way when every name is on disk as written and no link is on
// the way; a link anywhere, the root's own path included, sends it the long way. Either way
// the answer is the same.
TEST_F(ProfileCacheTest, ResolutionThroughALinkedRootMatchesTheLongWay) {
    ASSERT_EQ(::mkdir((root + "/real").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((root + "/real/drive_c").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((root + "/real/drive_c/Apps").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((root + "/real/drive_c/Target").c_str(), 0755), 0);
    writeFile(root + "/real/drive_c/Apps/tool.exe", "MZ");
    writeFile(root + "/real/drive_c/Target/data.bin", "x");
    ASSERT_EQ(::symlink((root + "/real/drive_c/Target").c_str(), (root + "/real/drive_c/Link").c_str()), 0);
    ASSERT_EQ(::symlink((root + "/real").c_str(), (root + "/linked").c_str()), 0);

    struct Case {
        const char* machineRoot;
        const char* windowsPath;
        const char* expected;  // below the test folder
        bool throughLink;
    };
    const Case cases[] = {
        {"/real", "C:\\Apps\\tool.exe", "/real/drive_c/Apps/tool.exe", false},
        {"/real", "C:\\apps\\TOOL.EXE", "/real/drive_c/Apps/tool.exe", false},
        {"/real", "C:\\Link\\data.bin", "/real/drive_c/Link/data.bin", true},
        {"/linked", "C:\\Apps\\tool.exe", "/linked/drive_c/Apps/tool.exe", false},
        {"/linked", "C:\\APPS\\tool.exe", "/linked/drive_c/Apps/tool.exe", false},
        {"/linked", "C:\\Link\\data.bin", "/linked/drive_c/Link/data.bin", true},
        {"/linked", "C:\\Apps\\missing.exe", "/linked/drive_c/Apps/missing.exe", false},
    };
    for (const Case& c : cases) {
        ::setenv("UNINST_ROOT", (root + c.machineRoot).c_str(), 1);
        std::optional<posix::ResolvedPath> resolved = posix::resolvePath(c.windowsPath);
        ASSERT_TRUE(resolved.has_value()) << c.windowsPath;
        EXPECT_EQ(resolved->path, root + c.expected) << c.machineRoot << " " << c.windowsPath;
        EXPECT_EQ(resolved->throughLink, c.throughLink) << c.machineRoot << " " << c.windowsPath;
    }
}

}  // namespace
