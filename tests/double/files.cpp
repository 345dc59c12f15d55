// Files, folders, searches, pauses, memory and the code page over the in-memory machine.
#include <cstdlib>

#include "common/text.h"
#include "machine.h"
#include "platform/ini/code_page_932.h"
#include "platform/ini/full_path.h"

namespace platform {

using namespace fake::detail;

namespace {

// Win32 pattern matching for one name: '*' any run of characters, '?' any one character,
// letter case ignored; "*.*" matches names with or without a dot.
bool matches(std::string_view pattern, std::string_view name) {
    if (pattern == "*.*" || pattern == "*") return true;
    if (pattern.empty()) return name.empty();
    if (pattern[0] == '*') {
        for (std::size_t skip = 0;; skip += cp932::characterLength(name, skip)) {
            if (matches(pattern.substr(1), name.substr(skip))) return true;
            if (skip == name.size()) return false;
        }
    }
    if (name.empty()) return false;
    std::size_t p = cp932::characterLength(pattern, 0);
    std::size_t n = cp932::characterLength(name, 0);
    bool same = pattern[0] == '?' || lower(pattern.substr(0, p)) == lower(name.substr(0, n));
    return same && matches(pattern.substr(p), name.substr(n));
}

DWORD attributesOfKey(const std::string& key) {
    if (isDriveRoot(key)) return FILE_ATTRIBUTE_DIRECTORY;
    auto found = machine().files.find(key);
    return found != machine().files.end() ? found->second.attributes : INVALID_FILE_ATTRIBUTES;
}

// True when the folder or any folder above it is a link.
bool throughLink(const std::string& folderKey) {
    for (std::string key = folderKey; !key.empty(); key = parentKey(key)) {
        DWORD attributes = attributesOfKey(key);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return true;
    }
    return false;
}

// The entries of a folder as a search delivers them: "." and "..", then the folder's own
// entries in name order.
std::vector<FoundEntry> listFolder(const std::string& folderKey, std::string_view namePattern) {
    std::vector<FoundEntry> entries;
    auto add = [&](std::string_view name, DWORD attributes) {
        if (matches(namePattern, name)) entries.push_back(FoundEntry{std::string(name), attributes});
    };
    DWORD parentAttributes = attributesOfKey(parentKey(folderKey));
    add(".", attributesOfKey(folderKey));
    add("..", parentAttributes != INVALID_FILE_ATTRIBUTES ? parentAttributes : FILE_ATTRIBUTE_DIRECTORY);

    std::string prefix = folderKey + '\\';
    const auto& files = machine().files;
    for (auto it = files.lower_bound(prefix); it != files.end() && it->first.starts_with(prefix); ++it) {
        if (cp932::find(it->first, '\\', prefix.size()) != std::string::npos) continue;  // deeper down
        std::string_view path = it->second.path;
        add(path.substr(cp932::findLastOf(path, "\\") + 1), it->second.attributes);
    }
    return entries;
}

void deliver(const FoundEntry& found, WIN32_FIND_DATAA* entry) {
    entry->dwFileAttributes = found.attributes;
    text::copy(entry->cFileName, MAX_PATH, found.name.c_str());
}

bool searchHolds(const std::string& folderKey) {
    for (const auto& [number, search] : machine().searches) {
        if (search.folderKey == folderKey) return true;
    }
    return false;
}

bool holdsEntries(const std::string& folderKey) {
    std::string prefix = folderKey + '\\';
    auto it = machine().files.lower_bound(prefix);
    return it != machine().files.end() && it->first.starts_with(prefix);
}

}  // namespace

DWORD GetModuleFileNameA(HINSTANCE module, char* buffer, DWORD capacity) {
    Call call("GetModuleFileNameA");
    call.arg(pointerName(module)).arg(capacity);
    const Machine& m = machine();
    if (buffer == nullptr || capacity == 0 || m.modulePathFails) {
        if (buffer != nullptr && capacity > 0) buffer[0] = '\0';
        call.done("0");
        return 0;
    }
    bool whole = text::copy(buffer, capacity, m.modulePath.c_str());
    call.done(quoted(buffer));
    // Like Windows, a path cut to fit returns the full capacity.
    return whole ? static_cast<DWORD>(m.modulePath.size()) : capacity;
}

HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* entry) {
    Call call("FindFirstFileA");
    call.arg(quoted(pattern));
    std::string_view whole = pattern != nullptr ? pattern : "";
    std::size_t cut = cp932::findLastOf(whole, "\\");
    if (entry == nullptr || cut == std::string_view::npos) {
        call.done("-1");
        return INVALID_HANDLE_VALUE;
    }
    std::string folderKey = pathKey(whole.substr(0, cut));
    std::vector<FoundEntry> entries;
    if (folderExists(folderKey)) entries = listFolder(folderKey, whole.substr(cut + 1));
    if (entries.empty()) {
        call.done("-1");
        return INVALID_HANDLE_VALUE;
    }

    Machine& m = machine();
    if (throughLink(folderKey)) m.linkSearches.emplace_back(whole);
    HANDLE search = m.searchSeries.next();
    deliver(entries[0], entry);
    call.done(searchName(search));
    m.searches[m.searchSeries.issued] = Search{std::string(whole), folderKey, std::move(entries), 1};
    return search;
}

BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* entry) {
    Call call("FindNextFileA");
    call.arg(searchName(search));
    auto found = machine().searches.find(machine().searchSeries.numberOf(search));
    if (found == machine().searches.end() || entry == nullptr || found->second.next >= found->second.entries.size()) {
        call.done("0");
        return FALSE;
    }
    const FoundEntry& next = found->second.entries[found->second.next++];
    deliver(next, entry);
    call.done("1");
    return TRUE;
}

BOOL FindClose(HANDLE search) {
    Call call("FindClose");
    call.arg(searchName(search));
    BOOL closed = machine().searches.erase(machine().searchSeries.numberOf(search)) == 1 ? TRUE : FALSE;
    call.done(std::to_string(closed));
    return closed;
}

DWORD GetFileAttributesA(const char* path) {
    Call call("GetFileAttributesA");
    call.arg(quoted(path));
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    if (path != nullptr) {
        bool trailingBackslash = false;
        std::string key = pathKey(path, &trailingBackslash);
        attributes = attributesOfKey(key);
        if (trailingBackslash && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            attributes = INVALID_FILE_ATTRIBUTES;
        }
    }
    call.done(hex(attributes));
    return attributes;
}

// The folder bit and the link bit stay as they are; FILE_ATTRIBUTE_NORMAL stays only when
// nothing else is set, as Windows reports it.
BOOL SetFileAttributesA(const char* path, DWORD attributes) {
    Call call("SetFileAttributesA");
    call.arg(quoted(path)).arg(hex(attributes));
    Node* node = path != nullptr ? findNode(path) : nullptr;
    if (node == nullptr) {
        call.done("0");
        return FALSE;
    }
    constexpr DWORD fixedBits = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    DWORD result = (node->attributes & fixedBits) | (attributes & ~fixedBits);
    if (result != FILE_ATTRIBUTE_NORMAL) result &= ~FILE_ATTRIBUTE_NORMAL;
    node->attributes = result;
    call.done("1");
    return TRUE;
}

// Fails on folders and read-only files (access denied) and on missing paths (not found).
BOOL DeleteFileA(const char* path) {
    Call call("DeleteFileA");
    call.arg(quoted(path));
    const Node* node = path != nullptr ? findNode(path) : nullptr;
    if (node == nullptr || node->isFolder() || (node->attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        machine().lastError = node != nullptr ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
        call.done("0");
        return FALSE;
    }
    machine().files.erase(pathKey(path));
    call.done("1");
    return TRUE;
}

// Fails on files, missing paths, drive roots, folders that hold anything and folders an open
// search still holds.
BOOL RemoveDirectoryA(const char* path) {
    Call call("RemoveDirectoryA");
    call.arg(quoted(path));
    std::string key = path != nullptr ? pathKey(path) : std::string();
    const Node* node = path != nullptr ? findNode(path) : nullptr;
    if (node == nullptr || !node->isFolder() || holdsEntries(key) || searchHolds(key)) {
        call.done("0");
        return FALSE;
    }
    machine().files.erase(key);
    call.done("1");
    return TRUE;
}

DWORD GetLastError() {
    Call call("GetLastError");
    call.done(std::to_string(machine().lastError));
    return machine().lastError;
}

DWORD GetFullPathNameA(const char* path, DWORD capacity, char* buffer, char** filePart) {
    Call call("GetFullPathNameA");
    call.arg(quoted(path)).arg(capacity);
    if (filePart != nullptr) *filePart = nullptr;
    std::string full = path[0] != '\0' ? cp932::resolveDotComponents(path) : std::string();
    bool fits = full.size() < capacity;
    if (fits) text::copy(buffer, capacity, full.c_str());
    auto length = static_cast<DWORD>(full.empty() ? 0 : full.size() + (fits ? 0 : 1));
    call.done(std::to_string(length));
    return length;
}

DWORD GetEnvironmentVariableA(const char* name, char* buffer, DWORD capacity) {
    Call call("GetEnvironmentVariableA");
    call.arg(quoted(name)).arg(capacity);
    const auto& environment = machine().environment;
    auto found = environment.find(lower(name));
    DWORD length = 0;
    if (found != environment.end()) {
        // Like Win32: the length when the text fits with its terminator, else the size it needs.
        bool fits = found->second.size() < capacity;
        if (fits) text::copy(buffer, capacity, found->second.c_str());
        length = static_cast<DWORD>(found->second.size() + (fits ? 0 : 1));
    }
    call.done(std::to_string(length));
    return length;
}

void Sleep(DWORD milliseconds) {
    Call call("Sleep");
    call.arg(milliseconds);
    call.done();
}

void* LocalAlloc(UINT flags, std::size_t bytes) {
    Call call("LocalAlloc");
    call.arg(hex(flags)).arg(static_cast<long long>(bytes));
    Machine& m = machine();
    ++m.allocationCalls;
    bool failing = m.failAllocationFrom > 0 && m.allocationCalls >= m.failAllocationFrom;
    void* block = failing ? nullptr : std::calloc(1, bytes > 0 ? bytes : 1);
    if (block == nullptr) {
        call.done("null");
        return nullptr;
    }
    m.allocations.push_back(block);
    call.done("alloc" + std::to_string(m.allocations.size()));
    return block;
}

// Code page 932, as the INI engine reads names: lead bytes 0x81-0x9F and 0xE0-0xFC.
BOOL IsDBCSLeadByte(BYTE byte) {
    return cp932::isLeadByte(byte) ? TRUE : FALSE;
}

}  // namespace platform
