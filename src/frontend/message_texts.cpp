// Loading of the prompt and message texts, window class names and registration name.
#include "frontend/message_texts.h"

#include "common/text.h"
#include "frontend/command_line.h"

namespace {

constexpr std::size_t pathCapacity = 260;
constexpr const char* fallbackMessageFile = "Uninst.ini";

struct Lookup {
    const char* section;
    const char* key;
    const char* defaultText;
    char* field;
    std::size_t capacity;
};

void read(const Lookup& lookup, const char* file) {
    platform::GetPrivateProfileStringA(lookup.section, lookup.key, lookup.defaultText, lookup.field,
                                       static_cast<platform::DWORD>(lookup.capacity), file);
}

constexpr const char* defaultHeading = "Uninstall Programs.";
constexpr const char* defaultCloseProgram = "Terminate the program before uninstall the software.";

}  // namespace

void messageFilePath(platform::HINSTANCE moduleInstance, char* path, std::size_t capacity) {
    char module[pathCapacity] = "";
    platform::DWORD length = platform::GetModuleFileNameA(moduleInstance, module, pathCapacity);
    // A result of the full capacity means the path was cut (and may be unterminated).
    bool usable = length >= 3 && length < pathCapacity && text::length(module) == length;
    if (!usable) {
        text::copy(path, capacity, fallbackMessageFile);
        return;
    }
    module[length - 3] = '\0';
    text::append(module, pathCapacity, "ini");
    text::copy(path, capacity, module);
}

void loadMessageTexts(platform::HINSTANCE moduleInstance, const char* listSection) {
    messageTexts = MessageTexts{};
    char file[pathCapacity];
    messageFilePath(moduleInstance, file, pathCapacity);

    MessageTexts& m = messageTexts;
    constexpr auto textCap = MessageTexts::textCapacity;
    constexpr auto nameCap = MessageTexts::nameCapacity;
    const Lookup common[] = {
        {"TITLE", "DIALOG", "Uninstaller", m.dialogCaption, textCap},
        {"STATIC", "DIALOG01", "Are you Sure ?", m.promptQuestion, textCap},
        {"STATIC", "MSGBOX00", "Uninstall is Complete", m.completionText, textCap},
        {"TITLE", "MSGBOX", "Complete", m.completionCaption, textCap},
    };
    const Lookup fileUtility[] = {
        {"STATIC", "DIALOG00_F", defaultHeading, m.promptHeading, textCap},
        {"STATIC", "CLOSEMON_F", defaultCloseProgram, m.closeProgramText, textCap},
        {"STATIC", "WINNAME_F", "VantrellScanFileUtil", m.fileUtilityClass, nameCap},
    };
    const Lookup otherSection[] = {
        {"STATIC", "DIALOG00_D", defaultHeading, m.promptHeading, textCap},
        {"STATIC", "CLOSEMON_D", defaultCloseProgram, m.closeProgramText, textCap},
        {"STATIC", "WINNAME_F", "VantrellScanFileUtil", m.fileUtilityClass, nameCap},
        {"STATIC", "WINNAME_D", "VantrellMailConfig", m.deliveryUtilityClass, nameCap},
    };
    const Lookup registration = {"STATIC", "APPNAMEFORDLL", "ScannerUtility", m.appNameForDll, nameCap};

    for (const Lookup& lookup : common) read(lookup, file);
    if (text::equal(listSection, fileUtilitySection)) {
        for (const Lookup& lookup : fileUtility) read(lookup, file);
    } else {
        for (const Lookup& lookup : otherSection) read(lookup, file);
    }
    read(registration, file);
}

void loadLeftoverHeading(platform::HINSTANCE moduleInstance, char* heading, std::size_t capacity) {
    char file[pathCapacity];
    messageFilePath(moduleInstance, file, pathCapacity);
    read({"STATIC", "MSGBOX01", "Some items could not be removed:", heading, capacity}, file);
}
