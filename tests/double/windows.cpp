// Windows, message boxes and the modal progress dialog, all in memory.
#include "common/text.h"
#include "machine.h"

namespace platform {

using namespace fake::detail;

namespace {

constexpr int progressControlId = 1000;

std::string messageName(UINT message) {
    switch (message) {
        case PBM_SETRANGE: return "PBM_SETRANGE";
        case PBM_SETPOS: return "PBM_SETPOS";
        case PBM_SETSTEP: return "PBM_SETSTEP";
        case PBM_STEPIT: return "PBM_STEPIT";
        case WM_COMMAND: return "WM_COMMAND";
        case WM_INITDIALOG: return "WM_INITDIALOG";
        default: return std::to_string(message);
    }
}

std::string resourceName(const char* name) {
    auto value = reinterpret_cast<std::uintptr_t>(name);
    return value <= 0xFFFF ? std::to_string(value) : quoted(name);
}

HWND makeWindow(const std::string& role, const std::string& className) {
    Machine& m = machine();
    m.windows.push_back(Window{role, className});
    return windowHandle(m.windows.size() - 1);
}

bool isRunningDialog(HWND window) {
    std::size_t index = 0;
    return machine().dialog && findWindow(window, &index) != nullptr && index == machine().dialog->window;
}

bool isRunningProgress(HWND window) {
    std::size_t index = 0;
    return machine().dialog && findWindow(window, &index) != nullptr && index == machine().dialog->progress;
}

int clamped(int value, const Progress& progress) {
    if (value < progress.minimum) return progress.minimum;
    if (value > progress.maximum) return progress.maximum;
    return value;
}

// The progress bar's state under its messages. What the control would return (the previous
// position, range or step) is of no use to the program, so the double answers 0.
void progressMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    Progress& bar = machine().progress;
    switch (message) {
        case PBM_SETRANGE:
            bar.minimum = static_cast<int>(lParam & 0xFFFF);
            bar.maximum = static_cast<int>((lParam >> 16) & 0xFFFF);
            bar.position = clamped(bar.position, bar);
            break;
        case PBM_SETPOS:
            bar.position = clamped(static_cast<int>(wParam), bar);
            break;
        case PBM_SETSTEP:
            bar.step = static_cast<int>(wParam);
            break;
        case PBM_STEPIT: {
            ++machine().progressSteps;
            int span = bar.maximum - bar.minimum;
            bar.position += bar.step;
            if (span <= 0) {
                bar.position = bar.minimum;
            } else if (bar.position > bar.maximum) {
                bar.position = bar.minimum + (bar.position - bar.minimum) % span;
            }
            break;
        }
        default:
            break;
    }
}

}  // namespace

HWND CreateWindowExA(DWORD exStyle, const char* className, const char* title, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE /*instance*/, void* /*param*/) {
    Call call("CreateWindowExA");
    call.arg(exStyle).arg(quoted(className)).arg(quoted(title)).arg(hex(style));
    call.arg(x).arg(y).arg(width).arg(height).arg(windowName(parent)).arg(pointerName(menu));
    Machine& m = machine();
    if (m.windowCreationFails) {
        call.done("null");
        return nullptr;
    }
    HWND window = makeWindow("window" + std::to_string(++m.windowsCreated), className != nullptr ? className : "");
    call.done(windowName(window));
    return window;
}

BOOL DestroyWindow(HWND window) {
    Call call("DestroyWindow");
    call.arg(windowName(window));
    Window* target = findWindow(window);
    if (target == nullptr || !target->alive || window == windowHandle(0)) {
        call.done("0");
        return FALSE;
    }
    target->alive = false;
    call.done("1");
    return TRUE;
}

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT style) {
    Call call("MessageBoxA");
    call.arg(windowName(owner)).arg(quoted(text)).arg(quoted(caption)).arg(hex(style));
    Machine& m = machine();
    int answer = (style & 0x0F) == MB_YESNO ? IDNO : IDOK;
    if (m.nextAnswer < m.answers.size()) answer = m.answers[m.nextAnswer++];
    call.done(std::to_string(answer));
    return answer;
}

void InitCommonControls() { Call("InitCommonControls").done(); }

// Runs the dialog the way the program uses it: WM_INITDIALOG goes to the procedure, which is
// expected to finish its work and call EndDialog before it returns. Then the dialog is gone;
// -1 when it never ended (Windows would have kept it open). The line goes in when the dialog
// is over, after everything that ran inside it.
INT_PTR DialogBoxParamA(HINSTANCE /*instance*/, const char* templateName, HWND owner, DLGPROC procedure,
                        LPARAM initParam) {
    Call call("DialogBoxParamA");
    call.arg(resourceName(templateName)).arg(windowName(owner));
    Machine& m = machine();
    if (procedure == nullptr || m.dialog || m.windowCreationFails) {
        call.done("-1");
        return -1;
    }
    HWND dialog = makeWindow("dialog", "#32770");
    HWND progress = makeWindow("progress", "msctls_progress32");
    m.dialog = Dialog{m.windows.size() - 2, m.windows.size() - 1, procedure};
    m.progress = Progress{};

    procedure(dialog, WM_INITDIALOG, 0, initParam);

    // The procedure may have reset the machine; only a dialog still running is ours to end.
    INT_PTR result = -1;
    if (machine().dialog) {
        result = machine().dialog->ended ? machine().dialog->result : -1;
        machine().dialog.reset();
        if (Window* window = findWindow(dialog)) window->alive = false;
        if (Window* window = findWindow(progress)) window->alive = false;
    }
    call.done(std::to_string(result));
    return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    Call call("EndDialog");
    call.arg(windowName(dialog)).arg(static_cast<long long>(result));
    if (!isRunningDialog(dialog)) {
        call.done("0");
        return FALSE;
    }
    machine().dialog->ended = true;
    machine().dialog->result = result;
    call.done("1");
    return TRUE;
}

HWND GetDlgItem(HWND dialog, int controlId) {
    Call call("GetDlgItem");
    call.arg(windowName(dialog)).arg(controlId);
    HWND item = nullptr;
    if (isRunningDialog(dialog) && controlId == progressControlId) item = windowHandle(machine().dialog->progress);
    call.done(windowName(item));
    return item;
}

BOOL ShowWindow(HWND window, int command) {
    Call call("ShowWindow");
    call.arg(windowName(window)).arg(command);
    bool shown = findWindow(window) != nullptr && findWindow(window)->alive;
    call.done(shown ? "1" : "0");
    return shown ? TRUE : FALSE;
}

// Synchronous like Win32: the dialog's procedure has handled the message when this returns.
// The line goes in before the procedure runs, so what the procedure calls follows it.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Call call("SendMessageA", Call::Line::beforeNestedCalls);
    call.arg(windowName(window)).arg(messageName(message));
    call.arg(static_cast<long long>(wParam)).arg(static_cast<long long>(lParam));
    LRESULT result = 0;
    if (isRunningDialog(window)) {
        result = machine().dialog->procedure(window, message, wParam, lParam);
    } else if (isRunningProgress(window)) {
        progressMessage(message, wParam, lParam);
    }
    call.done(std::to_string(result));
    return result;
}

HWND GetDesktopWindow() {
    Call call("GetDesktopWindow");
    call.done("desktop");
    return windowHandle(0);
}

HWND GetTopWindow(HWND parent) {
    Call call("GetTopWindow");
    call.arg(windowName(parent));
    const Machine& m = machine();
    HWND top = nullptr;
    if ((parent == nullptr || parent == windowHandle(0)) && !m.zOrder.empty()) top = windowHandle(m.zOrder.front());
    call.done(windowName(top));
    return top;
}

HWND GetWindow(HWND window, UINT relation) {
    Call call("GetWindow");
    call.arg(windowName(window)).arg(relation);
    const Machine& m = machine();
    HWND next = nullptr;
    std::size_t index = 0;
    if (relation == GW_HWNDNEXT && findWindow(window, &index) != nullptr) {
        for (std::size_t i = 0; i + 1 < m.zOrder.size(); ++i) {
            if (m.zOrder[i] == index) next = windowHandle(m.zOrder[i + 1]);
        }
    }
    call.done(windowName(next));
    return next;
}

int GetClassNameA(HWND window, char* buffer, int capacity) {
    Call call("GetClassNameA");
    call.arg(windowName(window)).arg(capacity);
    if (buffer == nullptr || capacity <= 0) {
        call.done("0");
        return 0;
    }
    const Window* target = findWindow(window);
    if (target == nullptr || !target->alive || target->classNameFails) {
        buffer[0] = '\0';
        call.done("0");
        return 0;
    }
    text::copy(buffer, static_cast<std::size_t>(capacity), target->className.c_str());
    int length = static_cast<int>(text::length(buffer));
    call.done(length > 0 ? quoted(buffer) : "0");
    return length;
}

}  // namespace platform
