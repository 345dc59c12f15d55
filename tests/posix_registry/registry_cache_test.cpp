// The parsed registry file the registry operations keep between calls: it answers while
// <root>/hklm.reg is provably the version it describes, whether read or written by the
// operations themselves, and any change made by someone else between two calls is seen.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "platform/operations.h"
#include "platform/posix/file_snapshot.h"
#include "platform/posix/registry_cache.h"

namespace {

using namespace platform;
using posix::FileChange;

// Two versions of one size: the second names key Bbbb where the first names Aaaa.
const std::string kOriginal =
    "REGEDIT4\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Vendor\\Aaaa]\r\n"
    "\"Value\"=\"1\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Vendor\\Gone]\r\n"
    "\"Value\"=\"2\"\r\n";
const std::string kSameSize =
    "REGEDIT4\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Vendor\\Bbbb]\r\n"
    "\"Value\"=\"1\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Vendor\\Gone]\r\n"
    "\"Value\"=\"2\"\r\n";

class RegistryCache : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/uninst-registry-cache-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        ASSERT_EQ(::setenv("UNINST_ROOT", root_.c_str(), 1), 0);
        posix::resetRegistryCache();
    }
    void TearDown() override {
        posix::resetRegistryCache();
        ::unsetenv("UNINST_ROOT");
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    std::string file() const { return root_ + "/hklm.reg"; }
    static void writeFile(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }
    std::string read() const {
        std::ifstream in(file(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    static struct stat stateOf(const std::string& path) {
        struct stat info{};
        EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
        return info;
    }
    // Waits until the file is old enough to be recognised by its state.
    void settle() const {
        struct stat info = stateOf(file());
        bool wholeSeconds = info.st_mtim.tv_nsec == 0 && info.st_ctim.tv_nsec == 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(wholeSeconds ? 2100 : 40));
    }
    static bool opens(const char* path) {
        HKEY key = nullptr;
        if (RegOpenKeyA(HKEY_LOCAL_MACHINE, path, &key) != ERROR_SUCCESS) return false;
        EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
        return true;
    }

    std::string root_;
};

void rewriteInPlace(const std::string& path, const std::string& bytes) {
    int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    ASSERT_EQ(::close(fd), 0);
}

void setTimes(const std::string& path, const struct stat& from) {
    struct timespec times[2] = {from.st_atim, from.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST_F(RegistryCache, UnchangedFileIsParsedOnce) {
    writeFile(file(), kOriginal);
    settle();
    EXPECT_TRUE(opens("Software\\Vendor\\Aaaa"));
    EXPECT_TRUE(opens("Software\\Vendor"));
    EXPECT_FALSE(opens("Software\\Vendor\\Bbbb"));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Gone", &key), ERROR_SUCCESS);
    char name[64];
    DWORD nameLength = sizeof name;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &nameLength, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    posix::RegistryCacheCounters counters = posix::registryCacheCounters();
    EXPECT_EQ(counters.parses, 1u);
    EXPECT_EQ(counters.reuses, 4u);
    EXPECT_EQ(counters.reads, 1u) << "a settled file is recognised by its state, without reading it";
}

// Each change below happens between two calls, after the file was read, parsed and found
// settled; the state check expected to notice it is named, and the new text must be seen.
struct Change {
    const char* name;
    std::function<void(const std::string& path, const struct stat& before)> apply;
    FileChange caughtBy;
    bool bbbbAfter;  // the change leaves the version naming Bbbb
    FileChange orCaughtBy = caughtBy;
};

TEST_F(RegistryCache, ChangeBetweenTwoCallsIsAlwaysSeen) {
    const Change cases[] = {
        {"rewritten in place, same size",
         [](const std::string& p, const struct stat&) { rewriteInPlace(p, kSameSize); }, FileChange::modified, true},
        {"rewritten in place, same size, times set back",
         [](const std::string& p, const struct stat& before) {
             rewriteInPlace(p, kSameSize);
             setTimes(p, before);
         },
         FileChange::changed, true},
        {"replaced by rename with a file of the same size and times",
         [](const std::string& p, const struct stat& before) {
             std::string next = p + ".new";
             writeFile(next, kSameSize);
             setTimes(next, before);
             ASSERT_EQ(::rename(next.c_str(), p.c_str()), 0);
         },
         FileChange::identity, true},
        {"deleted and written again with the old times",
         [](const std::string& p, const struct stat& before) {
             ASSERT_EQ(::unlink(p.c_str()), 0);
             writeFile(p, kSameSize);
             setTimes(p, before);
         },
         FileChange::identity, true, FileChange::changed},
        {"grown by a key",
         [](const std::string& p, const struct stat&) {
             std::ofstream(p, std::ios::binary | std::ios::app) << "\r\n[HKEY_LOCAL_MACHINE\\Software\\Vendor\\Bbbb]\r\n";
         },
         FileChange::size, true},
        {"only the times set back, same bytes",
         [](const std::string& p, const struct stat& before) { setTimes(p, before); }, FileChange::changed, false},
    };
    for (const Change& c : cases) {
        SCOPED_TRACE(c.name);
        posix::resetRegistryCache();
        ::unlink(file().c_str());
        writeFile(file(), kOriginal);
        settle();
        ASSERT_FALSE(opens("Software\\Vendor\\Bbbb"));
        ASSERT_TRUE(opens("Software\\Vendor\\Aaaa"));
        ASSERT_EQ(posix::registryCacheCounters().reuses, 1u) << "the second call must use the kept copy";

        struct stat before = stateOf(file());
        c.apply(file(), before);
        FileChange found = posix::compareFileStates(before, stateOf(file()));
        EXPECT_TRUE(found == c.caughtBy || found == c.orCaughtBy) << "caught by " << static_cast<int>(found);

        EXPECT_EQ(opens("Software\\Vendor\\Bbbb"), c.bbbbAfter);
        EXPECT_EQ(posix::registryCacheCounters().parses, 2u);
    }
}

// After a change of its own the copy describes the file written: the following calls parse
// nothing. The file is that recent, so each call reads it to compare its bytes, until the
// file has settled; from then on its state is enough.
TEST_F(RegistryCache, OwnChangesNeedNoParseAndSettle) {
    writeFile(file(), kOriginal);
    ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Gone"), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Aaaa"), ERROR_SUCCESS);
    EXPECT_TRUE(opens("Software\\Vendor"));
    EXPECT_FALSE(opens("Software\\Vendor\\Aaaa"));
    EXPECT_EQ(posix::registryCacheCounters().parses, 1u);
    EXPECT_EQ(read(),
              "REGEDIT4\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Vendor]\r\n"
              "\r\n");

    settle();
    std::size_t reads = posix::registryCacheCounters().reads;
    EXPECT_TRUE(opens("Software\\Vendor"));  // read once more, found settled
    EXPECT_TRUE(opens("Software\\Vendor"));
    EXPECT_TRUE(opens("Software"));
    posix::RegistryCacheCounters counters = posix::registryCacheCounters();
    EXPECT_EQ(counters.parses, 1u);
    EXPECT_EQ(counters.reads, reads + 1);
}

// A change by someone else right after a change of this program's own, within the same tick
// of the file system's clock, may leave the very state the program's write left (on a file
// system with coarse time stamps): so the call after an own change always reads the file and
// compares its bytes, and the foreign change is seen whatever the time stamps say.
TEST_F(RegistryCache, ForeignChangeRightAfterOwnWriteIsSeen) {
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        writeFile(file(), kOriginal + "\r\n[HKEY_LOCAL_MACHINE\\Software\\Vendor\\Extra]\r\n");
        ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Extra"), ERROR_SUCCESS);
        std::string written = read();
        ASSERT_EQ(written.size(), kOriginal.size() + 2);
        struct stat before = stateOf(file());
        rewriteInPlace(file(), kSameSize + "\r\n");
        setTimes(file(), before);
        std::size_t reads = posix::registryCacheCounters().reads;
        ASSERT_TRUE(opens("Software\\Vendor\\Bbbb"));
        ASSERT_EQ(posix::registryCacheCounters().reads, reads + 1) << "the file must be read";
        ASSERT_FALSE(opens("Software\\Vendor\\Aaaa"));
    }
}

// The same without a foreign change: the file is read to compare it, but not parsed.
TEST_F(RegistryCache, OwnWriteIsVerifiedByItsBytesUntilItSettles) {
    writeFile(file(), kOriginal);
    ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Gone"), ERROR_SUCCESS);
    posix::RegistryCacheCounters before = posix::registryCacheCounters();
    EXPECT_TRUE(opens("Software\\Vendor\\Aaaa"));
    posix::RegistryCacheCounters after = posix::registryCacheCounters();
    EXPECT_EQ(after.reads, before.reads + 1);
    EXPECT_EQ(after.parses, before.parses);
    EXPECT_EQ(after.reuses, before.reuses + 1);
}

TEST_F(RegistryCache, ForeignChangeAfterOwnWriteHasSettledIsSeen) {
    writeFile(file(), kOriginal);
    ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Gone"), ERROR_SUCCESS);
    settle();
    ASSERT_TRUE(opens("Software\\Vendor\\Aaaa"));
    ASSERT_TRUE(opens("Software\\Vendor\\Aaaa"));
    std::string renamed = read();
    renamed.replace(renamed.find("Aaaa"), 4, "Bbbb");
    struct stat before = stateOf(file());
    rewriteInPlace(file(), renamed);
    setTimes(file(), before);
    EXPECT_TRUE(opens("Software\\Vendor\\Bbbb"));
    EXPECT_FALSE(opens("Software\\Vendor\\Aaaa"));
}

TEST_F(RegistryCache, FileDeletedOrBrokenBetweenCallsIsSeen) {
    writeFile(file(), kOriginal);
    settle();
    ASSERT_TRUE(opens("Software\\Vendor\\Aaaa"));
    ASSERT_EQ(::unlink(file().c_str()), 0);
    EXPECT_FALSE(opens("Software\\Vendor\\Aaaa"));

    writeFile(file(), kOriginal);
    settle();
    ASSERT_TRUE(opens("Software\\Vendor\\Aaaa"));
    struct stat before = stateOf(file());
    std::string broken = kOriginal;
    broken.replace(broken.find("\"Value\""), 7, "Value=1");
    rewriteInPlace(file(), broken);
    setTimes(file(), before);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(opens("Software\\Vendor\\Aaaa"));
    std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_NE(printed.find("cannot read registry file"), std::string::npos) << printed;
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Gone"), 1009);  // ERROR_BADDB
    EXPECT_EQ(read(), broken);
}

}  // namespace
