// The profile functions over the machine's files, served by the INI engine.
#include <optional>

#include "machine.h"
#include "platform/ini/ini.h"

namespace platform {

using namespace fake::detail;

namespace {

constexpr const char* windowsFolder = "C:\\Windows\\";

// A file named without any folder or drive lives in the Windows folder.
std::string profilePath(const char* fileName) {
    std::string name = fileName;
    bool bare = cp932::find(name, '\\') == std::string::npos && name.find(':') == std::string::npos;
    if (bare) return windowsFolder + name;
    return name;
}

// The document of a profile file, or nothing when the file is missing.
std::optional<ini::Document> openProfile(const char* fileName) {
    if (fileName == nullptr) return std::nullopt;
    const Node* node = findNode(profilePath(fileName));
    if (node == nullptr || node->isFolder()) return std::nullopt;
    return ini::Document(node->bytes);
}

}  // namespace

DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultText, char* buffer,
                               DWORD capacity, const char* fileName) {
    Call call("GetPrivateProfileStringA");
    call.arg(quoted(section)).arg(quoted(key)).arg(quoted(defaultText)).arg(capacity).arg(quoted(fileName));
    std::optional<ini::Document> document = openProfile(fileName);
    DWORD copied = ini::getString(document ? &*document : nullptr, section, key, defaultText, buffer, capacity);
    call.done(quoted(buffer != nullptr && capacity > 0 ? buffer : ""));
    return copied;
}

UINT GetPrivateProfileIntA(const char* section, const char* key, INT defaultValue, const char* fileName) {
    Call call("GetPrivateProfileIntA");
    call.arg(quoted(section)).arg(quoted(key)).arg(defaultValue).arg(quoted(fileName));
    std::optional<ini::Document> document = openProfile(fileName);
    UINT value = ini::getInt(document ? &*document : nullptr, section, key, defaultValue);
    call.done(std::to_string(value));
    return value;
}

// Sets one value, creating the file when its folder exists. Deleting keys or sections (a null
// key or value) is not needed by the program and fails here.
BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* fileName) {
    Call call("WritePrivateProfileStringA");
    call.arg(quoted(section)).arg(quoted(key)).arg(quoted(value)).arg(quoted(fileName));
    BOOL written = FALSE;
    if (section != nullptr && key != nullptr && value != nullptr && fileName != nullptr) {
        std::string path = profilePath(fileName);
        Node* node = findNode(path);
        if (node != nullptr && !node->isFolder() && (node->attributes & FILE_ATTRIBUTE_READONLY) == 0) {
            node->bytes = ini::update(node->bytes, section, key, value);
            written = TRUE;
        } else if (node == nullptr && folderExists(parentKey(pathKey(path))) &&
                   cp932::findLastOf(path, "\\") + 1 != path.size()) {
            machine().files.emplace(pathKey(path), Node{newSpelling(path), 0, ini::update("", section, key, value)});
            written = TRUE;
        }
    }
    call.done(std::to_string(written));
    return written;
}

}  // namespace platform
