// The profile operations over real INI files. Every call checks the file: the parsed copy of
// the last file read answers only while the file is provably the same version, which a change
// watch tells without a system call as long as it reports nothing, and a stat tells after a
// report; otherwise the file is opened, read and parsed. A list of n entries is thus parsed
// once, not n times, and a change between two calls is seen, unless it is one the watch
// cannot report (a mount over the file or a folder above it, a write through a shared
// mapping; see change_watch.h).
#include "platform/ini/ini.h"
#include "platform/operations.h"
#include "platform/posix/atomic_file.h"
#include "platform/posix/change_watch.h"
#include "platform/posix/paths.h"
#include "platform/posix/file_snapshot.h"
#include "platform/posix/profile_cache.h"

#include <optional>
#include <string>
#include <sys/stat.h>
#include <utility>

namespace posix {

namespace {

// The parsed copy of the last profile read, and the version of the file it was made from.
// A version too recent to be recognised by its state is not kept.
FileSnapshot snapshot(false);
std::optional<ini::Document> kept;
ProfileCacheCounters counters;

}  // namespace

ProfileCacheCounters profileCacheCounters() { return counters; }

namespace {

void forgetKeptProfile() {
    snapshot.forget();
    kept.reset();
    stopWatching();
}

}  // namespace

void resetProfileCache() {
    forgetKeptProfile();
    counters = ProfileCacheCounters{};
}

namespace {

// The kept copy when `path` names exactly the file it was made from, in the same state; null
// otherwise. No system call while the watch of the file has reported nothing; else (after a
// report, or the first time) the watch is set, and then one stat decides: any change after
// that stat is reported.
const ini::Document* keptCopyIfCurrent(const std::string& path) {
    if (!kept || !snapshot.recordsSettled(path)) return nullptr;
    if (!watchedAndQuiet(path)) {
        watchFile(path);
        if (!snapshot.stillCurrent(path)) return nullptr;
    }
    ++counters.reuses;
    return &*kept;
}

// The parsed file at `path`, or null when it cannot be opened or read. The result points
// either at the kept copy or at `fresh`, and stays valid until the next call.
const ini::Document* loadProfile(const std::string& path, std::optional<ini::Document>& fresh) {
    std::string bytes;
    FileSnapshot::Look look = snapshot.look(path, &bytes);
    if (look == FileSnapshot::Look::same && kept) {
        ++counters.reuses;
        return &*kept;
    }
    kept.reset();  // the old copy goes first: two large copies never live at once
    if (look != FileSnapshot::Look::read) {
        snapshot.forget();
        return nullptr;
    }
    ++counters.parses;
    // A file written while it was read, or too recently to be told apart from a write still
    // to come, is used for this call only.
    if (!snapshot.recorded()) {
        fresh.emplace(std::move(bytes));
        return &*fresh;
    }
    kept.emplace(std::move(bytes));
    return &*kept;
}

}  // namespace

}  // namespace posix

namespace platform {

namespace {

// A file named without any folder lives in the Windows folder, as the Win32 functions have it.
// A backslash in a double-byte character (表.ini) makes no folder.
bool isBareName(std::string_view fileName) {
    return posix::lastSeparator(fileName) == std::string_view::npos && fileName.find(':') == std::string_view::npos;
}

// The Windows path of the profile `fileName` names.
std::optional<std::string> profileWindowsPath(const char* fileName) {
    if (fileName == nullptr || fileName[0] == '\0') return std::nullopt;
    return isBareName(fileName) ? std::string("C:\\windows\\") + fileName : std::string(fileName);
}

std::optional<std::string> profilePath(const char* fileName) {
    std::optional<std::string> windowsPath = profileWindowsPath(fileName);
    if (!windowsPath) return std::nullopt;
    std::optional<posix::ResolvedPath> resolved = posix::resolvePath(*windowsPath);
    if (!resolved) return std::nullopt;
    return resolved->path;
}

// The native path of `windowsPath` with its names as written. It is pure text, worked out
// from the path, the machine root and, for a relative one, the current folder; the last
// answer that needed no current folder is remembered, since the program asks for its one
// list file again and again.
const std::string* nativePathAsWritten(const std::string& windowsPath) {
    static std::string lastWindowsPath, lastRoot, lastNative;
    static bool lastIsTextOnly = false;
    std::string root = posix::machineRoot();
    bool textOnly = !posix::needsCurrentFolder(windowsPath, root);
    if (textOnly && lastIsTextOnly && windowsPath == lastWindowsPath && root == lastRoot) return &lastNative;
    std::optional<std::string> mapped =
        posix::nativePath(windowsPath, root, textOnly ? std::string("/") : posix::currentFolder());
    lastIsTextOnly = mapped && textOnly;
    if (!mapped) return nullptr;
    lastWindowsPath = windowsPath;
    lastRoot = std::move(root);
    lastNative = std::move(*mapped);
    return &lastNative;
}

// The parsed profile `fileName` names, or null when it cannot be read. The kept copy is
// tried first under the path as written, which is the path the name resolves to whenever
// a file is there; only otherwise are the names matched without regard to case.
const ini::Document* loadProfile(const char* fileName, std::optional<ini::Document>& fresh) {
    std::optional<std::string> windowsPath = profileWindowsPath(fileName);
    if (!windowsPath) return nullptr;
    const std::string* asWritten = nativePathAsWritten(*windowsPath);
    if (asWritten == nullptr) return nullptr;
    if (const ini::Document* document = posix::keptCopyIfCurrent(*asWritten)) return document;
    std::optional<posix::ResolvedPath> resolved = posix::resolvePath(*windowsPath);
    return resolved ? posix::loadProfile(resolved->path, fresh) : nullptr;
}

bool exists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultText, char* buffer,
                               DWORD capacity, const char* fileName) {
    if (buffer == nullptr || capacity == 0) return 0;
    // Listing every section or every key (a null section or key) is not provided.
    if (section == nullptr || key == nullptr) {
        buffer[0] = '\0';
        return 0;
    }
    const char* fallback = defaultText != nullptr ? defaultText : "";
    std::optional<ini::Document> fresh;
    const ini::Document* document = loadProfile(fileName, fresh);
    return ini::getString(document, section, key, fallback, buffer, capacity);
}

UINT GetPrivateProfileIntA(const char* section, const char* key, INT defaultValue, const char* fileName) {
    if (section == nullptr || key == nullptr) return static_cast<UINT>(defaultValue);
    std::optional<ini::Document> fresh;
    const ini::Document* document = loadProfile(fileName, fresh);
    return ini::getInt(document, section, key, defaultValue);
}

BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* fileName) {
    // Any write by this program forgets the kept copy, whatever file it goes to and whether
    // or not it succeeds: the next read parses the file as it then is.
    posix::forgetKeptProfile();
    // Deleting a key or a section (a null key or value) is not provided.
    if (section == nullptr || key == nullptr || value == nullptr) return FALSE;
    std::optional<std::string> path = profilePath(fileName);
    if (!path) return FALSE;

    std::string original;
    if (std::optional<std::string> bytes = posix::readWholeFile(*path)) {
        original = std::move(*bytes);
    } else if (exists(*path)) {
        return FALSE;  // there but unreadable: writing would lose what it holds
    }
    std::string updated = ini::update(original, section, key, value);
    if (updated == original && exists(*path)) return TRUE;
    return posix::replaceFile(*path, updated) ? TRUE : FALSE;
}

}  // namespace platform
