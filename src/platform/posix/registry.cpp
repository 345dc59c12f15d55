// The registry operations of the POSIX provider: HKEY_LOCAL_MACHINE is the REGEDIT4 file
// <root>/hklm.reg. Each operation reads the file afresh, so it sees what earlier ones did,
// and a change is written back atomically; a file that cannot be read is never written.
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/operations.h"
#include "platform/posix/atomic_file.h"
#include "platform/posix/paths.h"
#include "platform/posix/registry_file.h"

namespace platform {

namespace {

constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_KEY_DELETED = 1018;  // the key of an open handle is gone

std::string registryFilePath() {
    std::string path = posix::machineRoot();
    if (path.empty() || path.back() != '/') path.push_back('/');
    return path + "hklm.reg";
}

// Says what is wrong with a registry file on standard error, once per file and problem:
// the program calls the registry many times and one line is enough.
void reportOnce(const std::string& path, const std::string& problem) {
    static std::set<std::string> reported;
    std::string message = "uninst: cannot " + problem;
    if (!reported.insert(path + '\n' + message).second) return;
    message += '\n';
    std::fputs(message.c_str(), stderr);
}

// The registry as the file holds it now: empty when the file is missing, nothing when it
// exists but cannot be read or parsed.
std::optional<posix::RegistryFile> load(const std::string& path) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 && errno == ENOENT) return posix::RegistryFile::parse("", nullptr);
    std::optional<std::string> bytes = posix::readWholeFile(path);
    if (!bytes) {
        reportOnce(path, "read registry file " + path);
        return std::nullopt;
    }
    posix::RegistryParseError error;
    std::optional<posix::RegistryFile> file = posix::RegistryFile::parse(*bytes, &error);
    if (!file) {
        reportOnce(path, "read registry file " + path + ", line " + std::to_string(error.line) + ": " + error.reason);
    }
    return file;
}

// Writes the file back when it changed; false when that failed (the file is then as before).
bool store(const std::string& path, const posix::RegistryFile& file) {
    if (!file.changed()) return true;
    if (posix::replaceFile(path, file.write())) return true;
    reportOnce(path, "write registry file " + path);
    return false;
}

// Open keys: handle value -> key path below HKEY_LOCAL_MACHINE.
std::map<std::uintptr_t, std::string>& openKeys() {
    static std::map<std::uintptr_t, std::string> keys;
    return keys;
}

HKEY newHandle(const std::string& path) {
    // Small even numbers well away from the predefined key; never dereferenced.
    static std::uintptr_t next = 0x1000;
    std::uintptr_t handle = next;
    next += 4;
    openKeys().emplace(handle, path);
    return reinterpret_cast<HKEY>(handle);
}

// The path of an open key or of HKEY_LOCAL_MACHINE; false for any other handle.
bool keyPath(HKEY key, std::string* path) {
    if (key == HKEY_LOCAL_MACHINE) {
        path->clear();
        return true;
    }
    auto it = openKeys().find(reinterpret_cast<std::uintptr_t>(key));
    if (it == openKeys().end()) return false;
    *path = it->second;
    return true;
}

// The path of `subKey` below `root`; false for an unknown root.
bool fullPath(HKEY root, const char* subKey, std::string* path) {
    if (!keyPath(root, path)) return false;
    if (subKey == nullptr || subKey[0] == '\0') return true;
    if (!path->empty()) path->push_back('\\');
    path->append(subKey);
    return true;
}

LONG openKey(HKEY root, const char* subKey, HKEY* result) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::string path;
    if (!fullPath(root, subKey, &path)) return ERROR_INVALID_HANDLE;
    std::optional<posix::RegistryFile> file = load(registryFilePath());
    if (!file || !file->keyExists(path)) return ERROR_FILE_NOT_FOUND;
    *result = newHandle(path);
    return ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD /*options*/, REGSAM /*access*/, HKEY* result) {
    return openKey(root, subKey, result);
}

LONG RegOpenKeyA(HKEY root, const char* subKey, HKEY* result) {
    return openKey(root, subKey, result);
}

LONG RegEnumValueA(HKEY key, DWORD index, char* valueName, DWORD* valueNameLength, DWORD* /*reserved*/,
                   DWORD* type, BYTE* data, DWORD* dataLength) {
    std::string path;
    if (!keyPath(key, &path)) return ERROR_INVALID_HANDLE;
    if (valueName == nullptr || valueNameLength == nullptr) return ERROR_INVALID_PARAMETER;
    if (data != nullptr && dataLength == nullptr) return ERROR_INVALID_PARAMETER;
    std::optional<posix::RegistryFile> file = load(registryFilePath());
    if (!file) return ERROR_FILE_NOT_FOUND;
    if (!file->keyExists(path)) return ERROR_KEY_DELETED;
    std::vector<posix::RegistryValue> values = file->values(path);
    if (index >= values.size()) return ERROR_NO_MORE_ITEMS;

    const posix::RegistryValue& value = values[index];
    // The name goes in with its terminator or not at all.
    if (value.name.size() + 1 > *valueNameLength) return ERROR_MORE_DATA;
    std::memcpy(valueName, value.name.c_str(), value.name.size() + 1);
    *valueNameLength = static_cast<DWORD>(value.name.size());
    if (type != nullptr) *type = value.type;
    DWORD needed = static_cast<DWORD>(value.data.size());
    if (data != nullptr && needed > *dataLength) {
        *dataLength = needed;
        return ERROR_MORE_DATA;
    }
    if (data != nullptr && needed > 0) std::memcpy(data, value.data.data(), needed);
    if (dataLength != nullptr) *dataLength = needed;
    return ERROR_SUCCESS;
}

LONG RegDeleteValueA(HKEY key, const char* valueName) {
    std::string path;
    if (!keyPath(key, &path)) return ERROR_INVALID_HANDLE;
    std::string registry = registryFilePath();
    std::optional<posix::RegistryFile> file = load(registry);
    if (!file) return ERROR_FILE_NOT_FOUND;
    if (!file->keyExists(path)) return ERROR_KEY_DELETED;
    if (!file->deleteValue(path, valueName == nullptr ? "" : valueName)) return ERROR_FILE_NOT_FOUND;
    return store(registry, *file) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LONG RegDeleteKeyA(HKEY root, const char* subKey) {
    if (subKey == nullptr) return ERROR_INVALID_PARAMETER;
    std::string path;
    if (!fullPath(root, subKey, &path)) return ERROR_INVALID_HANDLE;
    std::string registry = registryFilePath();
    std::optional<posix::RegistryFile> file = load(registry);
    if (!file) return ERROR_FILE_NOT_FOUND;
    switch (file->deleteKey(path)) {
        case posix::RegistryFile::KeyDeletion::missing:
            return ERROR_FILE_NOT_FOUND;
        case posix::RegistryFile::KeyDeletion::hasSubkeys:
        case posix::RegistryFile::KeyDeletion::isRoot:
            return ERROR_ACCESS_DENIED;
        case posix::RegistryFile::KeyDeletion::deleted:
            break;
    }
    return store(registry, *file) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LONG RegCloseKey(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
    return openKeys().erase(reinterpret_cast<std::uintptr_t>(key)) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // namespace platform
