// The registry operations of the POSIX provider: HKEY_LOCAL_MACHINE is the REGEDIT4 file
// <root>/hklm.reg. Each operation looks at the file itself, so it sees what earlier ones and
// anyone else did: the parsed copy kept from the last call answers only while the file is
// provably the version it was made from (see FileSnapshot), and is parsed afresh otherwise.
// A change is written back atomically, and the copy then describes the version written; a
// file that cannot be read is never written.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/operations.h"
#include "platform/posix/atomic_file.h"
#include "platform/posix/file_snapshot.h"
#include "platform/posix/paths.h"
#include "platform/posix/registry_cache.h"
#include "platform/posix/registry_file.h"

namespace posix {

namespace {

// The parsed copy and the version of the file it describes. A version too recent to be
// recognised by its state is kept with its bytes: the operations of one run come in quick
// succession, and each change makes the file that recent again.
struct KeptRegistry {
    FileSnapshot snapshot{true};
    std::optional<RegistryFile> file;
    RegistryCacheCounters counters;
    std::size_t readsBefore = 0;  // the snapshot's reads when the counters were last reset
};

KeptRegistry& keptRegistry() {
    static KeptRegistry kept;
    return kept;
}

}  // namespace

RegistryCacheCounters registryCacheCounters() {
    KeptRegistry& kept = keptRegistry();
    RegistryCacheCounters counters = kept.counters;
    counters.reads = kept.snapshot.reads() - kept.readsBefore;
    return counters;
}

void resetRegistryCache() {
    KeptRegistry& kept = keptRegistry();
    kept.snapshot.forget();
    kept.file.reset();
    kept.counters = RegistryCacheCounters{};
    kept.readsBefore = kept.snapshot.reads();
}

}  // namespace posix

namespace platform {

namespace {

constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
// The registry file is there but cannot be read or parsed: every key in it may or may not
// exist, so no call may answer "not found" (ERROR_FILE_NOT_FOUND), which a caller takes for
// a key that is surely gone; Windows answers so for a registry it cannot read.
constexpr LONG ERROR_BADDB = 1009;
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

// The registry as the file holds it now: empty when the file is missing, null when it exists
// but cannot be read or parsed (the calls then answer ERROR_BADDB). The result is the kept
// copy or `fresh`; a change made to it must be stored before the next call.
posix::RegistryFile* load(const std::string& path, std::optional<posix::RegistryFile>& fresh) {
    posix::KeptRegistry& kept = posix::keptRegistry();
    std::string bytes;
    posix::FileSnapshot::Look look = kept.snapshot.look(path, &bytes);
    if (look == posix::FileSnapshot::Look::same && kept.file) {
        ++kept.counters.reuses;
        return &*kept.file;
    }
    kept.file.reset();
    switch (look) {
        case posix::FileSnapshot::Look::missing:
            fresh = posix::RegistryFile::parse("", nullptr);
            return &*fresh;
        case posix::FileSnapshot::Look::failed:
            reportOnce(path, "read registry file " + path);
            return nullptr;
        case posix::FileSnapshot::Look::same:
            // A version recorded without its copy (never left so): look again, once, as a
            // forgotten snapshot never answers `same`.
            kept.snapshot.forget();
            return load(path, fresh);
        case posix::FileSnapshot::Look::read:
            break;
    }
    ++kept.counters.parses;
    posix::RegistryParseError error;
    std::optional<posix::RegistryFile> file = posix::RegistryFile::parse(bytes, &error);
    if (!file) {
        kept.snapshot.forget();
        reportOnce(path, "read registry file " + path + ", line " + std::to_string(error.line) + ": " + error.reason);
        return nullptr;
    }
    std::optional<posix::RegistryFile>& target = kept.snapshot.recorded() ? kept.file : fresh;
    target = std::move(file);
    return &*target;
}

// Writes back the changed `file` (as load gave it); false when that failed, the file on disk
// being then as before. Either way the kept copy then describes the file on disk: the one
// written, or none at all (the changed copy no longer matches the file).
bool store(const std::string& path, posix::RegistryFile* file) {
    posix::KeptRegistry& kept = posix::keptRegistry();
    if (!file->changed()) return true;
    std::string bytes = file->write();
    if (!posix::replaceFile(path, bytes)) {
        kept.snapshot.forget();
        kept.file.reset();
        reportOnce(path, "write registry file " + path);
        return false;
    }
    if (!kept.file || &*kept.file != file) kept.file = std::move(*file);
    kept.snapshot.wrote(path, std::move(bytes));
    return true;
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
    std::optional<posix::RegistryFile> fresh;
    const posix::RegistryFile* file = load(registryFilePath(), fresh);
    if (file == nullptr) return ERROR_BADDB;
    if (!file->keyExists(path)) return ERROR_FILE_NOT_FOUND;
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
    std::optional<posix::RegistryFile> fresh;
    const posix::RegistryFile* file = load(registryFilePath(), fresh);
    if (file == nullptr) return ERROR_BADDB;
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
    std::optional<posix::RegistryFile> fresh;
    posix::RegistryFile* file = load(registry, fresh);
    if (file == nullptr) return ERROR_BADDB;
    if (!file->keyExists(path)) return ERROR_KEY_DELETED;
    if (!file->deleteValue(path, valueName == nullptr ? "" : valueName)) return ERROR_FILE_NOT_FOUND;
    return store(registry, file) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LONG RegDeleteKeyA(HKEY root, const char* subKey) {
    if (subKey == nullptr) return ERROR_INVALID_PARAMETER;
    std::string path;
    if (!fullPath(root, subKey, &path)) return ERROR_INVALID_HANDLE;
    std::string registry = registryFilePath();
    std::optional<posix::RegistryFile> fresh;
    posix::RegistryFile* file = load(registry, fresh);
    if (file == nullptr) return ERROR_BADDB;
    switch (file->deleteKey(path)) {
        case posix::RegistryFile::KeyDeletion::missing:
            return ERROR_FILE_NOT_FOUND;
        case posix::RegistryFile::KeyDeletion::hasSubkeys:
        case posix::RegistryFile::KeyDeletion::isRoot:
            return ERROR_ACCESS_DENIED;
        case posix::RegistryFile::KeyDeletion::deleted:
            break;
    }
    return store(registry, file) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LONG RegCloseKey(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
    return openKeys().erase(reinterpret_cast<std::uintptr_t>(key)) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // namespace platform
