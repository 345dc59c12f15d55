// The desktop's top-level windows: the X11 top-level windows, topmost first, when a display
// is reachable; none otherwise. libX11 is opened at run time, so the program neither links
// against it nor needs it installed.
//
// A window's class name is the class part (res_class, the second string) of its WM_CLASS
// property. Under a window manager the top-level window is the manager's frame, which
// usually has no WM_CLASS; the class of the first client window inside it is used then.
//
// GetTopWindow takes a snapshot of the windows and their classes; GetWindow and
// GetClassNameA answer from it, so a window closed during the walk is never asked about.
#include "platform/operations.h"
#include "platform/posix/window_handles.h"

#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <vector>

namespace platform {

namespace {

// The few libX11 entry points used, declared here so no X11 headers are needed to build.
using XWindow = unsigned long;
struct XDisplay;
struct XClassHintRecord {
    char* res_name;
    char* res_class;
};
using XErrorHandlerFn = int (*)(XDisplay*, void*);

struct X11 {
    void* library = nullptr;
    XDisplay* (*openDisplay)(const char*) = nullptr;
    int (*closeDisplay)(XDisplay*) = nullptr;
    XWindow (*defaultRootWindow)(XDisplay*) = nullptr;
    int (*queryTree)(XDisplay*, XWindow, XWindow*, XWindow*, XWindow**, unsigned*) = nullptr;
    int (*getClassHint)(XDisplay*, XWindow, XClassHintRecord*) = nullptr;
    int (*free)(void*) = nullptr;
    XErrorHandlerFn (*setErrorHandler)(XErrorHandlerFn) = nullptr;
};

template <typename Function>
bool bind(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(::dlsym(library, name));
    return function != nullptr;
}

// libX11 with every entry point found, or null when it cannot be had.
const X11* loadX11() {
    static X11 x11;
    static bool tried = false;
    if (tried) return x11.library != nullptr ? &x11 : nullptr;
    tried = true;
    void* library = ::dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return nullptr;
    bool complete = bind(library, "XOpenDisplay", x11.openDisplay) && bind(library, "XCloseDisplay", x11.closeDisplay) &&
                    bind(library, "XDefaultRootWindow", x11.defaultRootWindow) &&
                    bind(library, "XQueryTree", x11.queryTree) && bind(library, "XGetClassHint", x11.getClassHint) &&
                    bind(library, "XFree", x11.free) && bind(library, "XSetErrorHandler", x11.setErrorHandler);
    if (!complete) {
        ::dlclose(library);
        return nullptr;
    }
    x11.library = library;
    return &x11;
}

// A window that vanishes while it is being looked at raises an X error; the default handler
// would end the process, this one lets the request simply fail.
int ignoreXError(XDisplay*, void*) { return 0; }

struct TopWindow {
    XWindow id;
    std::string className;
};

std::vector<TopWindow> snapshot;

std::vector<XWindow> childrenOf(const X11& x11, XDisplay* display, XWindow window) {
    XWindow root = 0, parent = 0;
    XWindow* children = nullptr;
    unsigned count = 0;
    std::vector<XWindow> result;
    if (x11.queryTree(display, window, &root, &parent, &children, &count) == 0) return result;
    if (children != nullptr) {
        result.assign(children, children + count);  // bottom to top, as the server stacks them
        x11.free(children);
    }
    return result;
}

bool classOf(const X11& x11, XDisplay* display, XWindow window, std::string* className) {
    XClassHintRecord hint{nullptr, nullptr};
    if (x11.getClassHint(display, window, &hint) == 0) return false;
    bool found = hint.res_class != nullptr;
    if (found) *className = hint.res_class;
    if (hint.res_name != nullptr) x11.free(hint.res_name);
    if (hint.res_class != nullptr) x11.free(hint.res_class);
    return found;
}

// The window's own class, else that of a client inside a window manager's frame (two levels
// down at most: frames nest the client in a decoration window at times). Empty when none.
std::string topLevelClass(const X11& x11, XDisplay* display, XWindow window, int depth) {
    std::string className;
    if (classOf(x11, display, window, &className)) return className;
    if (depth == 0) return {};
    std::vector<XWindow> children = childrenOf(x11, display, window);
    for (auto child = children.rbegin(); child != children.rend(); ++child) {
        std::string inner = topLevelClass(x11, display, *child, depth - 1);
        if (!inner.empty()) return inner;
    }
    return {};
}

void takeSnapshot() {
    snapshot.clear();
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || name[0] == '\0') return;
    const X11* x11 = loadX11();
    if (x11 == nullptr) return;
    XDisplay* display = x11->openDisplay(name);
    if (display == nullptr) return;
    XErrorHandlerFn previous = x11->setErrorHandler(ignoreXError);
    std::vector<XWindow> windows = childrenOf(*x11, display, x11->defaultRootWindow(display));
    for (auto window = windows.rbegin(); window != windows.rend(); ++window) {
        snapshot.push_back(TopWindow{*window, topLevelClass(*x11, display, *window, 2)});
    }
    x11->closeDisplay(display);
    x11->setErrorHandler(previous);
}

const TopWindow* findInSnapshot(HWND window, std::size_t* index) {
    if (!posix::isX11Window(window)) return nullptr;
    for (std::size_t i = 0; i < snapshot.size(); ++i) {
        if (posix::x11Window(snapshot[i].id) == window) {
            *index = i;
            return &snapshot[i];
        }
    }
    return nullptr;
}

}  // namespace

HWND GetDesktopWindow() { return posix::desktopWindow(); }

HWND GetTopWindow(HWND parent) {
    if (parent != nullptr && parent != posix::desktopWindow()) return nullptr;
    takeSnapshot();
    return snapshot.empty() ? nullptr : posix::x11Window(snapshot.front().id);
}

HWND GetWindow(HWND window, UINT relation) {
    std::size_t index = 0;
    if (relation != GW_HWNDNEXT || findInSnapshot(window, &index) == nullptr) return nullptr;
    return index + 1 < snapshot.size() ? posix::x11Window(snapshot[index + 1].id) : nullptr;
}

int GetClassNameA(HWND window, char* buffer, int capacity) {
    if (buffer == nullptr || capacity <= 0) return 0;
    buffer[0] = '\0';
    std::size_t index = 0;
    const TopWindow* top = findInSnapshot(window, &index);
    if (top == nullptr) return 0;
    std::size_t length = top->className.size();
    if (length > static_cast<std::size_t>(capacity - 1)) length = static_cast<std::size_t>(capacity - 1);
    top->className.copy(buffer, length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}

}  // namespace platform
