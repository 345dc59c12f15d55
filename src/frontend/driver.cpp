// Start-up, the running-program check, the confirmation prompt, the removal dialog and
// the completion message, in that order; unattended, the exit code stands in for the messages.
#include "frontend/driver.h"

#include "common/text.h"
#include "frontend/command_line.h"
#include "frontend/message_texts.h"
#include "frontend/running_check.h"
#include "removal/characters.h"
#include "removal/leftovers.h"
#include "removal/removal_run.h"
#include "removal/section_removal.h"

namespace {

constexpr std::size_t promptCapacity = 256;
constexpr std::size_t leftoverMessageCapacity = 1024;

// A line of the completion message holds at most this many bytes. In code page 932 a byte
// is a column (a full-width character takes two). The message box wraps a line wider than
// its text field at a blank or between full-width characters (under Wine the field is 176
// dialog units, about 44 columns), which would undo the indent of a continuation line;
// 40 columns stay inside it.
constexpr std::size_t readableLineBytes = 40;
// A break after a backslash or a blank that would leave a line shorter than this is not
// taken: the line is filled up instead, which also bounds the number of lines of an item.
constexpr std::size_t shortestBrokenLine = readableLineBytes / 2;
constexpr const char* continuationIndent = "    ";
constexpr std::size_t continuationIndentBytes = 4;
// An item broken into lines: each line after the first adds a line break and the indent.
constexpr std::size_t brokenItemCapacity =
    Leftovers::nameCapacity + (Leftovers::nameCapacity / shortestBrokenLine + 1) * (1 + continuationIndentBytes);
// "\nand ", up to ten digits and " more".
constexpr std::size_t moreLineBytes = 20;

// The heading over the question, each ending between characters, cut to fit the prompt buffer.
void composePrompt(char* prompt) {
    text::copy(prompt, promptCapacity, messageTexts.promptHeading);
    dropHalfCharacter(prompt);
    text::append(prompt, promptCapacity, "\n");
    appendWholeCharacters(prompt, promptCapacity, messageTexts.promptQuestion);
    dropHalfCharacter(prompt);
}

// Where the line of `width` bytes that starts at `start` ends: at the end of the text when
// it fits; else after the line's last backslash or blank, unless that leaves the line short;
// else after the last whole character that fits.
const char* lineEnd(const char* start, std::size_t width) {
    const char* end = start;
    const char* afterBreak = nullptr;
    while (*end != '\0' && static_cast<std::size_t>(nextCharacter(end) - start) <= width) {
        if (*end == '\\' || *end == ' ') afterBreak = nextCharacter(end);
        end = nextCharacter(end);
    }
    if (*end == '\0' || afterBreak == nullptr) return end;
    return static_cast<std::size_t>(afterBreak - start) < shortestBrokenLine ? end : afterBreak;
}

// `item` in lines of at most readableLineBytes, each line after the first indented. A path
// has no blanks where the message box could wrap it itself: a long one would make the box
// wider than the screen. Only lines break (a blank there gives way to the break): the item
// stays whole.
void breakIntoLines(char* lines, const char* item) {
    lines[0] = '\0';
    std::size_t width = readableLineBytes;
    for (const char* p = item; *p != '\0';) {
        if (p != item) {
            text::append(lines, brokenItemCapacity, "\n");
            text::append(lines, brokenItemCapacity, continuationIndent);
            width = readableLineBytes - continuationIndentBytes;
        }
        const char* end = lineEnd(p, width);
        std::size_t taken = static_cast<std::size_t>(end - p);
        if (*end != '\0' && end[-1] == ' ') --taken;  // the line break stands in for the blank
        text::appendBytes(lines, brokenItemCapacity, p, taken);
        p = end;
    }
}

// A line break and `item` in readable lines, only when the whole item fits, leaving room for
// the "and N more" line when more items follow it; false when it does not fit.
bool appendItem(char* message, const char* item, bool moreFollow) {
    char lines[brokenItemCapacity];
    breakIntoLines(lines, item);
    std::size_t room = leftoverMessageCapacity - 1 - text::length(message);
    std::size_t needed = 1 + text::length(lines) + (moreFollow ? moreLineBytes : 0);
    if (needed > room) return false;
    text::append(message, leftoverMessageCapacity, "\n");
    return text::append(message, leftoverMessageCapacity, lines);
}

void appendMoreLine(char* message, int notShown) {
    text::append(message, leftoverMessageCapacity, "\nand ");
    text::appendNumber(message, leftoverMessageCapacity, static_cast<unsigned>(notShown));
    text::append(message, leftoverMessageCapacity, " more");
}

// The MSGBOX01 heading, then as many of the first five things left behind as fit whole, each
// on lines of its own, and how many of all that stayed are not shown. Never cut inside a
// character.
void composeLeftoverMessage(platform::HINSTANCE instance, const Leftovers& leftovers, char* message) {
    loadLeftoverHeading(instance, message, MessageTexts::textCapacity);
    dropHalfCharacter(message);
    int named = leftovers.count < Leftovers::namedCapacity ? leftovers.count : Leftovers::namedCapacity;
    int shown = 0;
    while (shown < named && appendItem(message, leftovers.named[shown], shown + 1 < leftovers.count)) ++shown;
    if (shown < leftovers.count) appendMoreLine(message, leftovers.count - shown);
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
