// Message boxes and the modal progress dialog on the terminal.
//
// A message box prints a blank line, its caption in brackets, then its text:
//
//     [Uninstall Programs.]
//     Are you Sure ?
//     [y/N] _
//
// Yes/No boxes read one line from standard input; "y" or "yes", in any case, answers Yes,
// anything else or the end of input answers No. When standard input is not a terminal the
// line read is echoed after the prompt, so a transcript shows the answer. An OK box waits for
// Enter only when standard input is a terminal (prompt "[Press Enter]").
//
// The dialog runs its procedure as the dialog manager does, minus the message loop: the
// procedure gets WM_INITDIALOG, messages sent to the dialog reach it synchronously, and the
// call returns the EndDialog result (-1 when the procedure never ended the dialog). The
// progress control draws "\r[#####.....]  12/40" on standard error when that is a terminal
// (as it is when the dialog starts: a removal steps the bar once per file), from the moment
// its range is set. A run steps the control more often than its range holds, and the control
// starts over past its end as the common control does; the picture a person is left with is
// a full bar and the number of steps the run made, "[##########]  done, 13 steps".
#include "platform/operations.h"
#include "platform/posix/code_page.h"
#include "platform/posix/window_handles.h"

#include <cstdio>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int widestBar = 40;
constexpr int narrowestBar = 10;
constexpr int unknownTerminalWidth = 80;

struct Progress {
    int low = 0;
    int high = 100;
    int position = 0;
    int step = 10;
    long long stepsMade = 0;  // PBM_STEPIT messages since the range was set
    bool rangeSet = false;    // nothing is drawn before the dialog sets the range
    bool onTerminal = false;  // standard error is a terminal: looked up once per dialog
    int columns = unknownTerminalWidth;  // the terminal's width, taken when the dialog starts
    size_t drawnLength = 0;   // characters of the bar on the current line; 0 when none
};

struct Dialog {
    bool running = false;
    bool ended = false;
    INT_PTR result = 0;
    DLGPROC procedure = nullptr;
    Progress progress;
};

Dialog dialog;

int terminalColumns(int descriptor) {
    winsize size{};
    if (::ioctl(descriptor, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return unknownTerminalWidth;
    return size.ws_col;
}

// Puts "[####....]  status" over the bar's line. The line stays short of the last column, so
// the terminal never wraps it; spaces cover what a longer earlier line left behind.
void drawBar(Progress& progress, long long done, long long span, const std::string& status) {
    int room = progress.columns > 1 ? progress.columns - 1 : 1;
    int width = room - 4 - static_cast<int>(status.size());
    if (width > widestBar) width = widestBar;
    if (width < narrowestBar) width = narrowestBar;
    long long filled = span > 0 ? done * width / span : 0;
    std::string line = "[";
    for (int i = 0; i < width; ++i) line += i < filled ? '#' : '.';
    line += "]  " + status;
    if (line.size() > static_cast<size_t>(room)) line.resize(room);
    size_t length = line.size();
    if (length < progress.drawnLength) line.append(progress.drawnLength - length, ' ');
    line.insert(0, "\r");
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    progress.drawnLength = length;
}

void drawProgress(Progress& progress) {
    if (!progress.onTerminal || !progress.rangeSet) return;
    long long span = progress.high - progress.low;
    long long done = progress.position - progress.low;
    drawBar(progress, done, span, std::to_string(done) + "/" + std::to_string(span));
}

// Ends the bar's line so that what follows starts on a line of its own.
void endProgressLine(Progress& progress) {
    if (progress.drawnLength == 0) return;
    std::fputs("\n", stderr);
    std::fflush(stderr);
    progress.drawnLength = 0;
}

// The last picture of a run that ended with its bar on screen: full, with the steps it made.
void finishProgress(Progress& progress) {
    if (progress.drawnLength == 0) return;
    long long steps = progress.stepsMade;
    drawBar(progress, 1, 1, "done, " + std::to_string(steps) + (steps == 1 ? " step" : " steps"));
    endProgressLine(progress);
}

int clampToRange(const Progress& progress, long long position) {
    if (position < progress.low) return progress.low;
    if (position > progress.high) return progress.high;
    return static_cast<int>(position);
}

// The progress bar's messages with the results the common control gives.
LRESULT progressMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    Progress& progress = dialog.progress;
    switch (message) {
    case PBM_SETRANGE: {
        LRESULT previous = static_cast<LRESULT>((static_cast<DWORD>(progress.high & 0xFFFF) << 16) |
                                                static_cast<DWORD>(progress.low & 0xFFFF));
        progress.low = static_cast<int>(static_cast<DWORD>(lParam) & 0xFFFF);
        progress.high = static_cast<int>((static_cast<DWORD>(lParam) >> 16) & 0xFFFF);
        progress.position = clampToRange(progress, progress.position);
        progress.rangeSet = true;
        drawProgress(progress);
        return previous;
    }
    case PBM_SETPOS: {
        int previous = progress.position;
        progress.position = clampToRange(progress, static_cast<int>(wParam));
        drawProgress(progress);
        return previous;
    }
    case PBM_SETSTEP: {
        int previous = progress.step;
        progress.step = static_cast<int>(wParam);
        return previous;
    }
    case PBM_STEPIT: {
        int previous = progress.position;
        long long next = static_cast<long long>(progress.position) + progress.step;
        // Past the end the bar starts over from the beginning, as the common control does.
        if (next > progress.high) {
            long long span = progress.high - progress.low;
            next = span > 0 ? progress.low + (next - progress.low) % span : progress.low;
        }
        progress.position = clampToRange(progress, next);
        ++progress.stepsMade;
        drawProgress(progress);
        return previous;
    }
    default:
        return 0;
    }
}

void printBox(const char* text, const char* caption) {
    std::string shown = "\n[";
    // The texts are code page 932; the terminal is shown them in its own character set.
    shown += posix::windowsTextForTerminal(caption != nullptr ? caption : "Error");  // the default caption
    shown += "]\n";
    for (char c : posix::windowsTextForTerminal(text != nullptr ? text : "")) {
        if (c != '\r') shown += c;
    }
    if (shown.back() != '\n') shown += '\n';
    std::fputs(shown.c_str(), stdout);
}

// One line of standard input without its line end; empty at the end of input.
std::string readAnswerLine(bool* endOfInput) {
    std::string line;
    int c;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n') line += static_cast<char>(c);
    *endOfInput = c == EOF && line.empty();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

bool isYes(const std::string& answer) {
    std::string word;
    for (char c : answer) {
        if (c == ' ' || c == '\t') continue;
        word += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return word == "y" || word == "yes";
}

int askYesNo() {
    std::fputs("[y/N] ", stdout);
    std::fflush(stdout);
    bool endOfInput = false;
    std::string answer = readAnswerLine(&endOfInput);
    if (::isatty(STDIN_FILENO) == 0) {
        std::fputs(answer.c_str(), stdout);
        std::fputs("\n", stdout);
    } else if (endOfInput) {
        std::fputs("\n", stdout);
    }
    std::fflush(stdout);
    return isYes(answer) ? IDYES : IDNO;
}

int waitForEnter() {
    if (::isatty(STDIN_FILENO) != 0) {
        std::fputs("[Press Enter] ", stdout);
        std::fflush(stdout);
        bool endOfInput = false;
        readAnswerLine(&endOfInput);
        if (endOfInput) std::fputs("\n", stdout);
    }
    std::fflush(stdout);
    return IDOK;
}

}  // namespace

HWND CreateWindowExA(DWORD, const char*, const char*, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE, void*) {
    return posix::ownerWindow();
}

BOOL DestroyWindow(HWND window) { return window == posix::ownerWindow() ? TRUE : FALSE; }

int MessageBoxA(HWND, const char* text, const char* caption, UINT style) {
    // The progress bar's line is finished first, so the box starts on a line of its own.
    endProgressLine(dialog.progress);
    printBox(text, caption);
    if ((style & 0x0F) == MB_YESNO) return askYesNo();
    return waitForEnter();
}

void InitCommonControls() {}

INT_PTR DialogBoxParamA(HINSTANCE, const char*, HWND, DLGPROC procedure, LPARAM initParam) {
    if (procedure == nullptr || dialog.running) return -1;
    dialog = Dialog{};
    dialog.running = true;
    dialog.procedure = procedure;
    dialog.progress.onTerminal = ::isatty(STDERR_FILENO) != 0;
    if (dialog.progress.onTerminal) dialog.progress.columns = terminalColumns(STDERR_FILENO);
    procedure(posix::dialogWindow(), WM_INITDIALOG, 0, initParam);
    finishProgress(dialog.progress);
    INT_PTR result = dialog.ended ? dialog.result : -1;
    dialog.running = false;
    dialog.procedure = nullptr;
    return result;
}

BOOL EndDialog(HWND window, INT_PTR result) {
    if (window != posix::dialogWindow() || !dialog.running || dialog.ended) return FALSE;
    dialog.ended = true;
    dialog.result = result;
    return TRUE;
}

HWND GetDlgItem(HWND window, int controlId) {
    if (window != posix::dialogWindow() || !dialog.running || controlId != 1000) return nullptr;
    return posix::progressWindow();
}

BOOL ShowWindow(HWND, int) { return TRUE; }

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!dialog.running) return 0;
    if (window == posix::progressWindow()) return progressMessage(message, wParam, lParam);
    if (window == posix::dialogWindow() && dialog.procedure != nullptr) {
        dialog.procedure(window, message, wParam, lParam);
    }
    return 0;
}

}  // namespace platform
