// Test helper that plays the user: finds each dialog box (class "#32770") on the desktop,
// records its caption, text, buttons and place in order, and presses the buttons a script
// of answers asks for. It also notes the progress dialog when it appears.
//
// clicker.exe [--hold] [--lock <file>] <log file> <answer>...
//   answers: yes, no, ok. A box that comes after the last answer is recorded as unanswered
//   and closed with No (or OK when it has no No button), so the program under test never
//   hangs. With --hold the clicker waits for the file "<log file>.ack<N>" before it presses
//   on box N (numbered from 1), so that a screenshot can be taken of it. With --lock it holds
//   the file open without delete sharing, before it answers anything, until it ends.
// It ends when the file "<log file>.stop" appears, or after two minutes.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr int maxSeen = 64;
constexpr DWORD pollMilliseconds = 20;
constexpr DWORD lifetimeMilliseconds = 120000;
constexpr int messageTextId = 0xFFFF;  // the static control that holds a message box's text
constexpr int progressId = 1000;

struct Seen {
    HWND windows[maxSeen];
    int count = 0;

    bool contains(HWND window) const {
        for (int i = 0; i < count; ++i) {
            if (windows[i] == window) return true;
        }
        return false;
    }
    void add(HWND window) {
        if (count < maxSeen) windows[count++] = window;
    }
};

struct State {
    const char* logPath = nullptr;
    bool hold = false;
    char** answers = nullptr;
    int answerCount = 0;
    int nextAnswer = 0;
    int boxesSeen = 0;
    Seen seen;
    HWND candidate = nullptr;
};

State state;

bool fileExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

// Texts go on one line each: line breaks, tabs and backslashes are escaped.
void appendEscaped(char* out, std::size_t capacity, const char* text) {
    std::size_t used = std::strlen(out);
    for (const char* p = text; *p != '\0' && used + 3 < capacity; ++p) {
        if (*p == '\n') { out[used++] = '\\'; out[used++] = 'n'; }
        else if (*p == '\r') { out[used++] = '\\'; out[used++] = 'r'; }
        else if (*p == '\t') { out[used++] = '\\'; out[used++] = 't'; }
        else if (*p == '\\') { out[used++] = '\\'; out[used++] = '\\'; }
        else out[used++] = *p;
    }
    out[used] = '\0';
}

void logLine(const char* line) {
    FILE* log = std::fopen(state.logPath, "ab");
    if (log == nullptr) return;
    std::fputs(line, log);
    std::fputs("\n", log);
    std::fclose(log);
}

void appendRect(char* out, std::size_t capacity, HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    char place[96];
    std::snprintf(place, sizeof place, "\t%ld,%ld,%ld,%ld", rect.left, rect.top, rect.right - rect.left,
                  rect.bottom - rect.top);
    std::strncat(out, place, capacity - std::strlen(out) - 1);
}

BOOL CALLBACK considerWindow(HWND window, LPARAM) {
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32770") == 0 && IsWindowVisible(window) && !state.seen.contains(window)) {
        state.candidate = window;
        return FALSE;
    }
    return TRUE;
}

void noteProgressDialog(HWND dialog) {
    char line[512] = "progress\t";
    char caption[256] = "";
    GetWindowTextA(dialog, caption, sizeof caption);  // the dialog is busy: read, never send
    appendEscaped(line, sizeof line, caption);
    appendRect(line, sizeof line, dialog);
    logLine(line);
}

int answerId(const char* answer) {
    if (std::strcmp(answer, "yes") == 0) return IDYES;
    if (std::strcmp(answer, "no") == 0) return IDNO;
    return IDOK;
}

void answerMessageBox(HWND box) {
    ++state.boxesSeen;
    char caption[512] = "";
    char text[2048] = "";
    GetWindowTextA(box, caption, sizeof caption);
    HWND textControl = GetDlgItem(box, messageTextId);
    if (textControl != nullptr) GetWindowTextA(textControl, text, sizeof text);
    bool hasYes = GetDlgItem(box, IDYES) != nullptr;
    bool hasNo = GetDlgItem(box, IDNO) != nullptr;
    bool hasOk = GetDlgItem(box, IDOK) != nullptr;

    char line[4096] = "box\t";
    appendEscaped(line, sizeof line, caption);
    std::strncat(line, "\t", sizeof line - std::strlen(line) - 1);
    appendEscaped(line, sizeof line, text);
    char buttons[32] = "\t";
    if (hasYes) std::strcat(buttons, "yes,");
    if (hasNo) std::strcat(buttons, "no,");
    if (hasOk) std::strcat(buttons, "ok,");
    std::size_t n = std::strlen(buttons);
    if (buttons[n - 1] == ',') buttons[n - 1] = '\0';
    std::strncat(line, buttons, sizeof line - std::strlen(line) - 1);
    appendRect(line, sizeof line, box);
    logLine(line);

    if (state.hold) {
        char ack[MAX_PATH + 32];
        std::snprintf(ack, sizeof ack, "%s.ack%d", state.logPath, state.boxesSeen);
        DWORD waited = 0;
        while (!fileExists(ack) && waited < 30000) {
            Sleep(pollMilliseconds);
            waited += pollMilliseconds;
        }
    }

    const char* answer = nullptr;
    if (state.nextAnswer < state.answerCount) {
        answer = state.answers[state.nextAnswer++];
    } else {
        answer = hasNo ? "no" : "ok";
        logLine("unanswered");
    }
    int id = answerId(answer);
    char pressed[64];
    std::snprintf(pressed, sizeof pressed, "press\t%s", answer);
    logLine(pressed);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
}

}  // namespace

int main(int argc, char** argv) {
    int first = 1;
    if (argc > 1 && std::strcmp(argv[1], "--hold") == 0) {
        state.hold = true;
        first = 2;
    }
    bool locked = false;
    if (argc > first + 1 && std::strcmp(argv[first], "--lock") == 0) {
        locked = CreateFileA(argv[first + 1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr) !=
                 INVALID_HANDLE_VALUE;
        first += 2;
    }
    if (argc <= first) {
        std::fputs("usage: clicker.exe [--hold] [--lock <file>] <log file> <answer>...\n", stderr);
        return 2;
    }
    state.logPath = argv[first];
    if (locked) logLine("locked");  // the run may start: the file is held
    state.answers = argv + first + 1;
    state.answerCount = argc - first - 1;

    char stopPath[MAX_PATH + 8];
    std::snprintf(stopPath, sizeof stopPath, "%s.stop", state.logPath);

    for (DWORD waited = 0; waited < lifetimeMilliseconds && !fileExists(stopPath); waited += pollMilliseconds) {
        state.candidate = nullptr;
        EnumWindows(considerWindow, 0);
        HWND window = state.candidate;
        if (window == nullptr) {
            Sleep(pollMilliseconds);
            continue;
        }
        state.seen.add(window);
        HWND progress = GetDlgItem(window, progressId);
        char controlClass[64] = "";
        if (progress != nullptr) GetClassNameA(progress, controlClass, sizeof controlClass);
        if (lstrcmpiA(controlClass, "msctls_progress32") == 0) {
            noteProgressDialog(window);
        } else if (GetDlgItem(window, messageTextId) != nullptr) {
            answerMessageBox(window);
        }
    }
    return 0;
}
