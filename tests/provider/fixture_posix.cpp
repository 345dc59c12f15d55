// The conformance fixture of the POSIX provider: every test gets a fresh machine root in a
// temporary folder (UNINST_ROOT points at it), its registry file and, when a display is
// reachable, X11 windows of its own.
#include "provider/fixture.h"

#include "platform/ini/code_page_932.h"
#include "platform/posix/atomic_file.h"
#include "platform/posix/paths.h"
#include "platform/posix/registry_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <ftw.h>
#include <linux/capability.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

#ifdef UNINST_FIXTURE_HAS_X11
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#endif

namespace fixture {

namespace {

std::string root;

// The native path of a Windows-style path, names exactly as written.
std::string native(const std::string& path) {
    std::optional<std::string> mapped = posix::nativePath(path, root, posix::currentFolder());
    EXPECT_TRUE(mapped.has_value()) << path;
    return mapped.value_or(root + "/unmapped");
}

int removeEntry(const char* path, const struct stat* info, int type, struct FTW*) {
    if (type == FTW_DP) {
        ::chmod(path, 0700);
        return ::rmdir(path) == 0 ? 0 : -1;
    }
    (void)info;
    return ::unlink(path) == 0 ? 0 : -1;
}

// Folders are made writable on the way down so their entries can go, links are never followed.
int makeWritable(const char* path, const struct stat* info, int type, struct FTW*) {
    if (type == FTW_D) ::chmod(path, (info->st_mode & 07777) | S_IRWXU);
    return 0;
}

void removeTree(const std::string& path) {
    ::nftw(path.c_str(), makeWritable, 16, FTW_PHYS);
    ::nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void makeFolders(const std::string& nativePath) {
    std::string built;
    std::stringstream names(nativePath);
    std::string name;
    while (std::getline(names, name, '/')) {
        if (name.empty()) continue;
        built += "/" + name;
        ::mkdir(built.c_str(), 0755);
    }
}

// A superuser is kept out of a locked folder only without the capabilities that override it.
__user_cap_header_struct capabilityHeader{_LINUX_CAPABILITY_VERSION_3, 0};
__user_cap_data_struct savedCapabilities[_LINUX_CAPABILITY_U32S_3];
bool capabilitiesLowered = false;

std::string registryPath() { return root + "/hklm.reg"; }

posix::RegistryFile loadRegistry() {
    std::string bytes = posix::readWholeFile(registryPath()).value_or("");
    posix::RegistryParseError error;
    std::optional<posix::RegistryFile> registry = posix::RegistryFile::parse(bytes, &error);
    EXPECT_TRUE(registry.has_value()) << "registry file line " << error.line << ": " << error.reason;
    if (registry) return std::move(*registry);
    return std::move(*posix::RegistryFile::parse("", nullptr));
}

void saveRegistry(const posix::RegistryFile& registry) {
    EXPECT_TRUE(posix::replaceFile(registryPath(), registry.write()));
}

}  // namespace

void setUp() {
    const char* temporary = std::getenv("TMPDIR");
    std::string pattern = std::string(temporary != nullptr && temporary[0] != '\0' ? temporary : "/tmp") +
                          "/uninst-conformance-XXXXXX";
    char* made = ::mkdtemp(pattern.data());
    ASSERT_NE(made, nullptr);
    root = made;
    ::setenv("UNINST_ROOT", root.c_str(), 1);
    makeFolders(root + "/drive_c/windows");
    makeFolders(root + "/drive_c/conformance");
}

void tearDown() {
    if (capabilitiesLowered) ::syscall(SYS_capset, &capabilityHeader, savedCapabilities);
    capabilitiesLowered = false;
    if (!root.empty()) removeTree(root);
    root.clear();
    ::unsetenv("UNINST_ROOT");
}

std::string scratchFolder() { return "C:\\conformance"; }
std::string windowsFolder() { return "C:\\windows"; }
std::string scratchKey() { return "Software\\ConformanceTest"; }

void makeFolder(const std::string& path) { makeFolders(native(path)); }

void makeFile(const std::string& path, const std::string& bytes) {
    std::ofstream file(native(path), std::ios::binary | std::ios::trunc);
    file << bytes;
    ASSERT_TRUE(file.good()) << path;
}

void makeFileNamedInUtf8(const std::string& folder, const std::string& utf8Name) {
    std::ofstream file(native(folder) + "/" + utf8Name, std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(file.good()) << utf8Name;
}

void makeReadOnly(const std::string& path) {
    struct stat info;
    ASSERT_EQ(::stat(native(path).c_str(), &info), 0) << path;
    ASSERT_EQ(::chmod(native(path).c_str(), info.st_mode & 07555), 0) << path;
}

void removeFile(const std::string& path) { ASSERT_EQ(::unlink(native(path).c_str()), 0) << path; }

bool exists(const std::string& path) {
    struct stat info;
    return ::lstat(native(path).c_str(), &info) == 0;
}

std::string readFile(const std::string& path) {
    std::optional<std::string> bytes = posix::readWholeFile(native(path));
    EXPECT_TRUE(bytes.has_value()) << path;
    return bytes.value_or("");
}

bool makeFolderLink(const std::string& link, const std::string& target) {
    return ::symlink(native(target).c_str(), native(link).c_str()) == 0;
}

bool lockFolder(const std::string& path, bool maySearch) {
    if (!capabilitiesLowered && ::syscall(SYS_capget, &capabilityHeader, savedCapabilities) == 0) {
        __user_cap_data_struct lowered[_LINUX_CAPABILITY_U32S_3] = {savedCapabilities[0], savedCapabilities[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        capabilitiesLowered = ::syscall(SYS_capset, &capabilityHeader, lowered) == 0;
    }
    if (::chmod(native(path).c_str(), maySearch ? 0111 : 0) != 0) return false;
    int fd = ::open(native(path).c_str(), O_RDONLY);
    if (fd >= 0) ::close(fd);
    return fd < 0;
}

void makeKey(const std::string& path) {
    posix::RegistryFile registry = loadRegistry();
    EXPECT_TRUE(registry.addKey(path)) << path;
    saveRegistry(registry);
}

void setStringValue(const std::string& key, const std::string& name, const std::string& value) {
    posix::RegistryFile registry = loadRegistry();
    posix::RegistryValue entry;
    entry.name = name;
    entry.type = 1;  // REG_SZ
    entry.data = value + '\0';
    EXPECT_TRUE(registry.setValue(key, entry)) << key;
    saveRegistry(registry);
}

bool keyExists(const std::string& path) { return loadRegistry().keyExists(path); }

bool valueExists(const std::string& key, const std::string& name) {
    for (const posix::RegistryValue& value : loadRegistry().values(key)) {
        if (cp932::equalIgnoringCase(value.name, name)) return true;
    }
    return false;
}

#ifdef UNINST_FIXTURE_HAS_X11

namespace {

Display* display = nullptr;
std::vector<Window> windows;

}  // namespace

bool openWindow(const std::string& className, bool hidden) {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || name[0] == '\0') return false;
    if (display == nullptr) display = XOpenDisplay(name);
    if (display == nullptr) return false;
    Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 64, 48, 0, 0, 0);
    std::vector<char> instance(className.begin(), className.end());
    instance.push_back('\0');
    XClassHint hint;
    hint.res_name = instance.data();
    hint.res_class = instance.data();
    XSetClassHint(display, window, &hint);
    XStoreName(display, window, "conformance window");
    if (!hidden) XMapRaised(display, window);
    XSync(display, False);
    windows.push_back(window);
    return true;
}

void closeWindows() {
    if (display == nullptr) return;
    for (Window window : windows) XDestroyWindow(display, window);
    windows.clear();
    XCloseDisplay(display);
    display = nullptr;
}

#else

bool openWindow(const std::string&, bool) { return false; }
void closeWindows() {}

#endif

}  // namespace fixture
