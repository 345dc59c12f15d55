// Start-up, the running-program check, the confirmation prompt, the removal dialog and
// the completion message, in that order; unattended, the exit code stands in for the messages.
#include "frontend/driver.h"

#include "common/text.h"
#include "frontend/command_line.h"
#include "frontend/message_texts.h"
#include "frontend/running_check.h"
#include "removal/leftovers.h"
#include "removal/primitives.h"
#include "removal/removal_run.h"
#include "removal/section_removal.h"

namespace {

constexpr std::size_t promptCapacity = 256;
constexpr std::size_t leftoverMessageCapacity = 1024;

// The heading over the question, cut to fit the prompt buffer.
void composePrompt(char* prompt) {
    text::copy(prompt, promptCapacity, messageTexts.promptHeading);
    text::append(prompt, promptCapacity, "\n");
    text::append(prompt, promptCapacity, messageTexts.promptQuestion);
}

// A line break and `line`; false once the message is full.
bool appendLine(char* message, const char* line) {
    return appendWholeCharacters(message, leftoverMessageCapacity, "\n") &&
           appendWholeCharacters(message, leftoverMessageCapacity, line);
}

// The MSGBOX01 heading, up to five of the things left behind one a line, and how many more
// there are; cut where the buffer ends, never inside a character.
void composeLeftoverMessage(platform::HINSTANCE instance, const Leftovers& leftovers, char* message) {
    loadLeftoverHeading(instance, message, MessageTexts::textCapacity);
    for (int i = 0; i < leftovers.count && i < Leftovers::namedCapacity; ++i) {
        if (!appendLine(message, leftovers.named[i])) return;
    }
    if (leftovers.count > Leftovers::namedCapacity) {
        char more[32] = "and ";
        text::appendNumber(more, sizeof more, static_cast<unsigned>(leftovers.count - Leftovers::namedCapacity));
        text::append(more, sizeof more, " more");
        appendLine(message, more);
    }
}

// The usual message when everything listed went; otherwise a warning that names what stayed.
void showCompletion(platform::HINSTANCE instance, const Leftovers& leftovers) {
    if (leftovers.count == 0) {
        platform::MessageBoxA(nullptr, messageTexts.completionText, messageTexts.completionCaption, platform::MB_OK);
        return;
    }
    char message[leftoverMessageCapacity];
    composeLeftoverMessage(instance, leftovers, message);
    platform::MessageBoxA(nullptr, message, messageTexts.completionCaption,
                          platform::MB_OK | platform::MB_ICONWARNING);
}

// Exit codes of an unattended run, the ones deployment tools already read from other
// uninstallers: 1618 asks them to try again later, 1603 reports a failure.
constexpr int exitRemoved = 0;
constexpr int exitAllocationFailure = 1;
constexpr int exitItemsStayed = 1603;
constexpr int exitApplicationRunning = 1618;

// Yes to the prompt; with nobody at the screen the command line already said yes.
bool confirmed(platform::HWND owner) {
    if (commandLineOptions.unattended) return true;
    char prompt[promptCapacity];
    composePrompt(prompt);
    return platform::MessageBoxA(owner, prompt, messageTexts.dialogCaption,
                                 platform::MB_YESNO | platform::MB_ICONQUESTION) == platform::IDYES;
}

// The progress dialog's run, then the completion message or, unattended, the exit code that
// says whether anything listed stayed.
int removeAndReport(platform::HINSTANCE instance, platform::HWND owner) {
    platform::InitCommonControls();
    Leftovers leftovers;  // only the count needs a start: names are read up to it
    leftovers.count = 0;
    leftoverRecord = &leftovers;
    runRemovalDialog(owner);
    leftoverRecord = nullptr;
    if (allocationFailed()) return exitAllocationFailure;
    if (commandLineOptions.unattended) return leftovers.count == 0 ? exitRemoved : exitItemsStayed;
    showCompletion(instance, leftovers);
    return exitRemoved;
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

    // Someone at the screen has been told to close the application; a deployment tool is told
    // by the code alone, and callers such as Add or Remove Programs expect 0.
    if (checkRunningApplications(owner)) return commandLineOptions.unattended ? exitApplicationRunning : 0;

    int exitCode = confirmed(owner) ? removeAndReport(instance, owner) : exitRemoved;
    platform::DestroyWindow(owner);
    return exitCode;
}
