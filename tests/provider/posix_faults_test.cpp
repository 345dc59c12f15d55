// Failures while the POSIX provider rewrites a file: the registry file when a key or a value
// is deleted, the list file when its flag is written. Each step of the atomic replacement is
// made to fail in turn, and the disk is made to fill up during the write: the original file
// must stay byte for byte, no temporary file may be left beside it, and the operation must
// report the failure.
#include "platform/operations.h"
#include "platform/posix/atomic_file.h"
#include "provider/fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <vector>

using namespace platform;

namespace {

constexpr const char* registryText =
    "REGEDIT4\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ScanDeliv]\r\n"
    "\"DisplayName\"=\"Scan Delivery Utility\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Vantrell\\DUZORE32\\Application]\r\n"
    "\"ScannerUtility\"=\"1\"\r\n"
    "\"PhotoDesk\"=\"1\"\r\n";

constexpr const char* listText =
    "; written by the installer\r\n"
    "[Utility]\r\n"
    "FileUtility=0\r\n"
    "DelivUtility=1\r\n"
    "\r\n"
    "[Files_Deliv]\r\n"
    "FILE00=C:\\Apps\\Tool\\a.exe\r\n";

constexpr const char* listFile = "C:\\windows\\list.ini";

struct Step {
    const char* name;
    posix::ReplaceStep step;
};

const Step everyStep[] = {
    {"create", posix::ReplaceStep::create},
    {"write", posix::ReplaceStep::write},
    {"flush", posix::ReplaceStep::flush},
    {"rename", posix::ReplaceStep::rename},
};

// The changes that make the provider rewrite a file; each returns true when it reports success.
struct Change {
    const char* name;
    bool (*apply)();
};

bool deleteUninstallKey() {
    return RegDeleteKeyA(HKEY_LOCAL_MACHINE,
                         "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ScanDeliv") == ERROR_SUCCESS;
}

bool deleteApplicationValue() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Vantrell\\DUZORE32\\Application", 0, KEY_ALL_ACCESS, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    LONG result = RegDeleteValueA(key, "ScannerUtility");
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

bool clearExistingFlag() {
    return WritePrivateProfileStringA("Utility", "DelivUtility", "0", listFile) != 0;
}

bool addMissingFlag() {
    return WritePrivateProfileStringA("Utility", "Added", "0", listFile) != 0;
}

bool addMissingSection() {
    return WritePrivateProfileStringA("Flags", "DelivUtility", "0", listFile) != 0;
}

const Change registryChanges[] = {
    {"delete key", deleteUninstallKey},
    {"delete value", deleteApplicationValue},
};

const Change listChanges[] = {
    {"change flag", clearExistingFlag},
    {"add flag", addMissingFlag},
    {"add section", addMissingSection},
};

class RewriteFaults : public ::testing::Test {
protected:
    void SetUp() override {
        fixture::setUp();
        root = std::getenv("UNINST_ROOT");
    }
    void TearDown() override {
        posix::failNextReplaceAt(posix::ReplaceStep::none);
        fixture::tearDown();
    }

    void writeRegistry(const std::string& bytes) {
        std::ofstream(root + "/hklm.reg", std::ios::binary | std::ios::trunc) << bytes;
    }
    std::string registry() const {
        return posix::readWholeFile(root + "/hklm.reg").value_or("(unreadable)");
    }
    void writeList(const std::string& bytes) { fixture::makeFile(listFile, bytes); }
    std::string list() const { return fixture::readFile(listFile); }

    // The entries of a native folder, sorted: a temporary file left behind shows here.
    static std::vector<std::string> entriesOf(const std::string& folder) {
        std::vector<std::string> found;
        DIR* listing = ::opendir(folder.c_str());
        if (listing == nullptr) return found;
        while (struct dirent* entry = ::readdir(listing)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") found.push_back(name);
        }
        ::closedir(listing);
        std::sort(found.begin(), found.end());
        return found;
    }
    std::vector<std::string> rootEntries() const { return entriesOf(root); }
    std::vector<std::string> windowsEntries() const { return entriesOf(root + "/drive_c/windows"); }

    std::string root;
};

// Runs `change` with the file size limit set to `bytes`: a write past it fails with EFBIG,
// as on a full disk. The limit is lifted again before anything else is written.
bool withFileSizeLimit(rlim_t bytes, bool (*change)()) {
    struct rlimit saved;
    if (::getrlimit(RLIMIT_FSIZE, &saved) != 0) return false;
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limited);
    bool result = change();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    return result;
}

TEST_F(RewriteFaults, RegistryRewriteFailingAtAnyStepKeepsTheFile) {
    for (const Change& change : registryChanges) {
        for (const Step& step : everyStep) {
            SCOPED_TRACE(std::string(change.name) + ", failing at " + step.name);
            writeRegistry(registryText);
            const std::vector<std::string> before = rootEntries();
            posix::failNextReplaceAt(step.step);
            EXPECT_FALSE(change.apply());
            EXPECT_EQ(registry(), registryText);
            EXPECT_EQ(rootEntries(), before);
        }
    }
}

TEST_F(RewriteFaults, RegistryRewriteGoesThroughOnceTheFaultIsUsedUp) {
    for (const Change& change : registryChanges) {
        SCOPED_TRACE(change.name);
        writeRegistry(registryText);
        posix::failNextReplaceAt(posix::ReplaceStep::rename);
        EXPECT_FALSE(change.apply());
        EXPECT_TRUE(change.apply());
        EXPECT_NE(registry(), registryText);
    }
}

TEST_F(RewriteFaults, RegistryRewriteOnFullDiskKeepsTheFile) {
    for (const Change& change : registryChanges) {
        SCOPED_TRACE(change.name);
        writeRegistry(registryText);
        const std::vector<std::string> before = rootEntries();
        EXPECT_FALSE(withFileSizeLimit(16, change.apply));
        EXPECT_EQ(registry(), registryText);
        EXPECT_EQ(rootEntries(), before);
    }
}

TEST_F(RewriteFaults, FlagWriteFailingAtAnyStepKeepsTheListFile) {
    for (const Change& change : listChanges) {
        for (const Step& step : everyStep) {
            SCOPED_TRACE(std::string(change.name) + ", failing at " + step.name);
            writeList(listText);
            const std::vector<std::string> before = windowsEntries();
            posix::failNextReplaceAt(step.step);
            EXPECT_FALSE(change.apply());
            EXPECT_EQ(list(), listText);
            EXPECT_EQ(windowsEntries(), before);
        }
    }
}

TEST_F(RewriteFaults, FlagWriteOnFullDiskKeepsTheListFile) {
    for (const Change& change : listChanges) {
        SCOPED_TRACE(change.name);
        writeList(listText);
        const std::vector<std::string> before = windowsEntries();
        // Room for part of the file only: the write stops in the middle.
        EXPECT_FALSE(withFileSizeLimit(40, change.apply));
        EXPECT_EQ(list(), listText);
        EXPECT_EQ(windowsEntries(), before);
    }
}

TEST_F(RewriteFaults, FlagWriteWithRoomEnoughGoesThrough) {
    writeList(listText);
    EXPECT_TRUE(withFileSizeLimit(4096, clearExistingFlag));
    std::string expected = listText;
    expected.replace(expected.find("DelivUtility=1"), 14, "DelivUtility=0");
    EXPECT_EQ(list(), expected);
}

TEST_F(RewriteFaults, NewListFileFailingAtAnyStepLeavesNoFile) {
    for (const Step& step : everyStep) {
        SCOPED_TRACE(step.name);
        posix::failNextReplaceAt(step.step);
        EXPECT_FALSE(clearExistingFlag());
        EXPECT_EQ(windowsEntries(), std::vector<std::string>{});
    }
}

}  // namespace
