// Finding the applications' windows by class name, topmost first.
#include "frontend/running_check.h"

#include "common/text.h"
#include "frontend/command_line.h"
#include "frontend/message_texts.h"

namespace {

constexpr int classNameCapacity = 256;

bool beginsWith(const char* candidate, const char* prefix) {
    for (std::size_t i = 0; prefix[i] != '\0'; ++i) {
        if (candidate[i] != prefix[i]) return false;  // also stops at the candidate's end
    }
    return true;
}

}  // namespace

platform::HWND findRunningWindow(const char* className) {
    // An empty name would match whatever window happens to be on top and block every
    // uninstall; it names no application, so it finds nothing.
    if (className[0] == '\0') return nullptr;
    platform::HWND window = platform::GetTopWindow(platform::GetDesktopWindow());
    for (; window != nullptr; window = platform::GetWindow(window, platform::GW_HWNDNEXT)) {
        char found[classNameCapacity] = "";
        // A window whose class cannot be read (gone meanwhile) is skipped, never compared
        // with a name left over from another window.
        if (platform::GetClassNameA(window, found, classNameCapacity) <= 0) continue;
        if (beginsWith(found, className)) return window;
    }
    return nullptr;
}

bool checkRunningApplications(platform::HWND owner) {
    platform::HWND found = findRunningWindow(messageTexts.fileUtilityClass);
    if (found == nullptr && !listSectionIs(fileUtilitySection)) {
        found = findRunningWindow(messageTexts.deliveryUtilityClass);
    }
    if (found == nullptr) return false;
    // Unattended, the exit code tells the deployment tool instead.
    if (commandLineOptions.unattended) return true;
    platform::MessageBoxA(owner, messageTexts.closeProgramText, messageTexts.dialogCaption, platform::MB_OK);
    return true;
}
