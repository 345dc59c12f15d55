// Start-up, the running-program check, the confirmation prompt, the removal dialog and
// the completion message, in that order.
#include "frontend/driver.h"

#include "common/text.h"
#include "frontend/command_line.h"
#include "frontend/message_texts.h"
#include "frontend/running_check.h"
#include "removal/removal_run.h"
#include "removal/section_removal.h"

namespace {

constexpr std::size_t promptCapacity = 256;

// The heading over the question, cut to fit the prompt buffer.
void composePrompt(char* prompt) {
    text::copy(prompt, promptCapacity, messageTexts.promptHeading);
    text::append(prompt, promptCapacity, "\n");
    text::append(prompt, promptCapacity, messageTexts.promptQuestion);
}

}  // namespace

int runUninstaller(platform::HINSTANCE instance, const char* commandLine) {
    moduleInstance = instance;
    resetCommandLineOptions();
    parseCommandLine(commandLine);
    // Never shown; only the owner of the dialogs. Without a registered class it may be
    // null, which every use accepts.
    platform::HWND owner = platform::CreateWindowExA(0, "", "", platform::WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr,
                                                     nullptr, instance, nullptr);
    loadMessageTexts(instance, commandLineOptions.listSection);
    clearDirectoryChain();

    if (checkRunningApplications(owner)) return 0;

    char prompt[promptCapacity];
    composePrompt(prompt);
    int answer = platform::MessageBoxA(owner, prompt, messageTexts.dialogCaption,
                                       platform::MB_YESNO | platform::MB_ICONQUESTION);
    if (answer == platform::IDYES) {
        platform::InitCommonControls();
        runRemovalDialog(owner);
        if (allocationFailed()) {
            platform::DestroyWindow(owner);
            return 1;
        }
        platform::MessageBoxA(nullptr, messageTexts.completionText, messageTexts.completionCaption,
                              platform::MB_OK);
    }
    platform::DestroyWindow(owner);
    return 0;
}
