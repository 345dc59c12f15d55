// Test helper standing in for a running application: opens one top-level window of a given
// class and keeps it until told to stop.
//
// window.exe <class name> <ready file> <stop file> [hidden]
//   Writes <ready file> once the window exists; ends when <stop file> appears, or after two
//   minutes.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fputs("usage: window.exe <class name> <ready file> <stop file> [hidden]\n", stderr);
        return 2;
    }
    const char* className = argv[1];
    bool hidden = argc > 4 && std::strcmp(argv[4], "hidden") == 0;
    HINSTANCE instance = GetModuleHandleA(nullptr);

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = className;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    if (RegisterClassA(&windowClass) == 0) return 3;
    HWND window = CreateWindowExA(0, className, "Application stand-in", WS_OVERLAPPEDWINDOW, 20, 20, 300, 120,
                                  nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 4;
    if (!hidden) ShowWindow(window, SW_SHOWNORMAL);

    FILE* ready = std::fopen(argv[2], "wb");
    if (ready == nullptr) return 5;
    std::fclose(ready);

    for (DWORD waited = 0; waited < 120000 && GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES; waited += 20) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(20);
    }
    DestroyWindow(window);
    return 0;
}
