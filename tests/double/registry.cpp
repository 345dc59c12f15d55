// The registry functions over the machine's keys below HKEY_LOCAL_MACHINE.
#include <cstring>

#include "machine.h"

namespace platform {

using namespace fake::detail;

namespace {

constexpr LONG errorInvalidHandle = 6;
constexpr LONG errorInvalidParameter = 87;
constexpr LONG errorKeyDeleted = 1018;

// The key path a handle stands for: "" for HKEY_LOCAL_MACHINE, the opened key's path for a
// key handle; false for a handle that is neither.
bool basePath(HKEY root, std::string* path) {
    if (root == HKEY_LOCAL_MACHINE) {
        path->clear();
        return true;
    }
    auto found = machine().openKeys.find(machine().keySeries.numberOf(root));
    if (found == machine().openKeys.end()) return false;
    *path = found->second;
    return true;
}

std::string joined(const std::string& base, const char* subKey) {
    std::string sub = subKey != nullptr ? subKey : "";
    if (base.empty() || sub.empty()) return base + sub;
    return base + '\\' + sub;
}

// The key an open handle names, or null once that key has been deleted.
Key* keyOf(HKEY key, LONG* error) {
    std::string path;
    if (!basePath(key, &path)) {
        *error = errorInvalidHandle;
        return nullptr;
    }
    Key* found = findKey(path);
    *error = found != nullptr ? ERROR_SUCCESS : errorKeyDeleted;
    return found;
}

bool hasSubkeys(const std::string& keyPath) {
    std::string prefix = keyPath.empty() ? std::string() : keyPath + '\\';
    for (const auto& [path, key] : machine().keys) {
        if (!path.empty() && path != keyPath && path.starts_with(prefix)) return true;
    }
    return false;
}

LONG openKey(HKEY root, const char* subKey, HKEY* result) {
    if (result == nullptr) return errorInvalidParameter;
    *result = nullptr;
    std::string base;
    if (!basePath(root, &base)) return errorInvalidHandle;
    std::string path = registryKey(joined(base, subKey));
    const Key* key = findKey(path);
    if (key == nullptr) return ERROR_FILE_NOT_FOUND;
    if (key->denied) return ERROR_ACCESS_DENIED;
    Machine& m = machine();
    *result = static_cast<HKEY>(m.keySeries.next());
    m.openKeys[m.keySeries.issued] = path;
    return ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access, HKEY* result) {
    Call call("RegOpenKeyExA");
    call.arg(keyName(root)).arg(quoted(subKey)).arg(options).arg(hex(access));
    LONG status = openKey(root, subKey, result);
    call.done(std::to_string(status));
    return status;
}

LONG RegOpenKeyA(HKEY root, const char* subKey, HKEY* result) {
    Call call("RegOpenKeyA");
    call.arg(keyName(root)).arg(quoted(subKey));
    LONG status = openKey(root, subKey, result);
    call.done(std::to_string(status));
    return status;
}

// Like Win32: a name that does not fit with its terminator, or data that does not fit, gives
// ERROR_MORE_DATA and delivers nothing but the data's size; a null data buffer asks for the size.
LONG RegEnumValueA(HKEY key, DWORD index, char* valueName, DWORD* valueNameLength, DWORD* /*reserved*/,
                   DWORD* type, BYTE* data, DWORD* dataLength) {
    Call call("RegEnumValueA");
    call.arg(keyName(key)).arg(index);
    LONG status = ERROR_SUCCESS;
    const Key* target = keyOf(key, &status);
    const Value* value = nullptr;
    if (target != nullptr) {
        if (valueName == nullptr || valueNameLength == nullptr || (data != nullptr && dataLength == nullptr)) {
            status = errorInvalidParameter;
        } else if (index >= target->values.size()) {
            status = ERROR_NO_MORE_ITEMS;
        } else {
            value = &target->values[index];
            bool nameFits = value->name.size() + 1 <= *valueNameLength;
            bool dataFits = data == nullptr || value->bytes.size() <= *dataLength;
            if (!nameFits || !dataFits) status = ERROR_MORE_DATA;
            if (!dataFits) *dataLength = static_cast<DWORD>(value->bytes.size());
        }
    }
    if (status != ERROR_SUCCESS) {
        call.done(std::to_string(status));
        return status;
    }
    std::memcpy(valueName, value->name.c_str(), value->name.size() + 1);
    *valueNameLength = static_cast<DWORD>(value->name.size());
    if (type != nullptr) *type = value->type;
    if (data != nullptr) std::memcpy(data, value->bytes.data(), value->bytes.size());
    if (dataLength != nullptr) *dataLength = static_cast<DWORD>(value->bytes.size());
    call.done("0");
    return ERROR_SUCCESS;
}

LONG RegDeleteValueA(HKEY key, const char* valueName) {
    Call call("RegDeleteValueA");
    call.arg(keyName(key)).arg(quoted(valueName));
    LONG status = ERROR_SUCCESS;
    Key* target = keyOf(key, &status);
    if (target != nullptr) {
        std::string wanted = lower(valueName != nullptr ? valueName : "");
        status = ERROR_FILE_NOT_FOUND;
        for (auto it = target->values.begin(); it != target->values.end(); ++it) {
            if (lower(it->name) == wanted) {
                target->values.erase(it);
                status = ERROR_SUCCESS;
                break;
            }
        }
    }
    call.done(std::to_string(status));
    return status;
}

// A key that still has subkeys is refused, as the program never relies on a recursive delete.
LONG RegDeleteKeyA(HKEY root, const char* subKey) {
    Call call("RegDeleteKeyA");
    call.arg(keyName(root)).arg(quoted(subKey));
    std::string base;
    LONG status = ERROR_SUCCESS;
    if (subKey == nullptr) {
        status = errorInvalidParameter;
    } else if (!basePath(root, &base)) {
        status = errorInvalidHandle;
    } else {
        std::string path = registryKey(joined(base, subKey));
        const Key* key = findKey(path);
        if (key == nullptr) {
            status = ERROR_FILE_NOT_FOUND;
        } else if (path.empty() || key->denied || hasSubkeys(path)) {
            status = ERROR_ACCESS_DENIED;
        } else {
            machine().keys.erase(path);
        }
    }
    call.done(std::to_string(status));
    return status;
}

LONG RegCloseKey(HKEY key) {
    Call call("RegCloseKey");
    call.arg(keyName(key));
    LONG status = ERROR_SUCCESS;
    if (key != HKEY_LOCAL_MACHINE && machine().openKeys.erase(machine().keySeries.numberOf(key)) == 0) {
        status = errorInvalidHandle;
    }
    call.done(std::to_string(status));
    return status;
}

}  // namespace platform
