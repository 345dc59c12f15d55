// The environment as a program on the machine root sees it (the folders a Windows machine
// names in its environment, at their usual places on drive C), and full paths.
#include <cstddef>
#include <string_view>

#include "platform/ini/code_page_932.h"
#include "platform/ini/full_path.h"
#include "platform/operations.h"

namespace platform {

namespace {

struct Variable {
    const char* name;
    const char* value;
};

// The host's own environment is not read: its variables name no folder of the machine root.
constexpr Variable machineVariables[] = {
    {"SystemRoot", "C:\\Windows"},
    {"ProgramFiles", "C:\\Program Files"},
    {"ProgramFiles(x86)", "C:\\Program Files (x86)"},
    {"ProgramW6432", "C:\\Program Files"},
    {"PUBLIC", "C:\\Users\\Public"},
    {"ALLUSERSPROFILE", "C:\\ProgramData"},
};

DWORD deliver(std::string_view value, char* buffer, DWORD capacity) {
    if (buffer == nullptr || value.size() >= capacity) return static_cast<DWORD>(value.size() + 1);
    for (std::size_t i = 0; i < value.size(); ++i) buffer[i] = value[i];
    buffer[value.size()] = '\0';
    return static_cast<DWORD>(value.size());
}

}  // namespace

// Paths are resolved by their text: relative ones stay relative, as this machine has no
// current folder in Windows terms.
DWORD GetFullPathNameA(const char* path, DWORD capacity, char* buffer, char** filePart) {
    if (filePart != nullptr) *filePart = nullptr;
    if (path == nullptr || path[0] == '\0') return 0;
    return deliver(cp932::resolveDotComponents(path), buffer, capacity);
}

DWORD GetEnvironmentVariableA(const char* name, char* buffer, DWORD capacity) {
    if (name == nullptr) return 0;
    for (const Variable& variable : machineVariables) {
        if (cp932::equalIgnoringCase(name, variable.name)) return deliver(variable.value, buffer, capacity);
    }
    return 0;
}

}  // namespace platform
