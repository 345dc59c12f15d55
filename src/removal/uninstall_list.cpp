// The list file reader over the profile operations.
#include "removal/uninstall_list.h"

#include "platform/operations.h"
#include "removal/characters.h"
#include "state/options.h"

namespace UninstallList {

Value readString(const char* section, const char* key, char* buffer, std::size_t capacity) {
    // Read with room for one more byte than the caller's buffer: a value that fills that
    // extra byte is longer than the caller can hold.
    char probe[longCapacity + 1];
    std::size_t probeCapacity = capacity + 1 < sizeof probe ? capacity + 1 : sizeof probe;
    platform::DWORD copied = platform::GetPrivateProfileStringA(
        section, key, "", probe, static_cast<platform::DWORD>(probeCapacity), commandLineOptions.listFilePath);
    std::size_t length = text::length(probe);
    buffer[0] = '\0';
    if (copied == 0 && length == 0) return Value::missing;
    // A NUL byte inside the value would end the path early, naming something else; a value
    // ending in half a character would swallow the backslash joined after it.
    if (copied != length || length + 1 > capacity || endsInHalfCharacter(probe)) return Value::unusable;
    text::copy(buffer, capacity, probe);
    return Value::fits;
}

int readFlag(const char* section, const char* key) {
    return static_cast<int>(platform::GetPrivateProfileIntA(section, key, 0, commandLineOptions.listFilePath));
}

bool clearFlag(const char* key) {
    return platform::WritePrivateProfileStringA("Utility", key, "0", commandLineOptions.listFilePath) != 0;
}

void pathsSectionOf(const char* section, char* name, std::size_t capacity) {
    text::copy(name, capacity, section);
    // A name shorter than four characters becomes "Path" itself; nothing past it is read.
    const char* path = "Path";
    std::size_t length = text::length(name);
    for (std::size_t i = 0; i < 4 && i + 1 < capacity; ++i) name[i] = path[i];
    if (length < 4 && capacity > 4) name[4] = '\0';
}

void installPathSection(char* name, std::size_t capacity) {
    text::copy(name, capacity, "UNINSTALL_");
    text::append(name, capacity, commandLineOptions.listSection);
}

void numberedKey(const char* prefix, unsigned index, char* key, std::size_t capacity) {
    text::copy(key, capacity, prefix);
    text::appendIndex(key, capacity, index);
}

}  // namespace UninstallList
