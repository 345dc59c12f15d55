// The platform operations over the real Win32 API: each one forwards to kernel32, advapi32,
// user32 or comctl32 (loaded at run time), converting between the portable types and the system's own.
#include "platform/operations.h"

// operations.h first: <windows.h> defines MAX_PATH, TRUE, MB_OK and friends as macros, which
// would otherwise rewrite the portable declarations. From here on those names are the macros.
#include <windows.h>

namespace {

::HWND sys(platform::HWND window) { return reinterpret_cast<::HWND>(window); }
platform::HWND portable(::HWND window) { return reinterpret_cast<platform::HWND>(window); }
::HKEY sys(platform::HKEY key) { return reinterpret_cast<::HKEY>(key); }
platform::HKEY portable(::HKEY key) { return reinterpret_cast<platform::HKEY>(key); }
::HINSTANCE sys(platform::HINSTANCE instance) { return reinterpret_cast<::HINSTANCE>(instance); }

// True when `name`, in the system code page, could name an entry of a Windows folder: no
// control character and none of <>:"/\|?* outside a double-byte character (whose second
// byte may be a backslash's).
bool isWindowsName(const char* name) {
    for (const char* p = name; *p != '\0'; ++p) {
        auto c = static_cast<unsigned char>(*p);
        if (::IsDBCSLeadByte(c) && p[1] != '\0') {
            ++p;
            continue;
        }
        if (c < 32) return false;
        for (const char* bad = "<>:\"/\\|?*"; *bad != '\0'; ++bad) {
            if (c == static_cast<unsigned char>(*bad)) return false;
        }
    }
    return true;
}

// The portable search record holds only the two fields the program reads. The name is given
// in the system code page only when it converts exactly and fits; otherwise this is false and
// the entry is passed over. The system's ANSI search would hand back a look-alike instead (the
// yen sign of "..¥keep.txt" as a backslash), which joined to its folder names another file.
// Passed over, the entry still keeps its folder from being taken for empty.
bool copyFindData(const ::WIN32_FIND_DATAW& from, platform::WIN32_FIND_DATAA* to) {
    ::BOOL usedDefault = FALSE;
    int length = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, from.cFileName, -1, to->cFileName,
                                       static_cast<int>(sizeof to->cFileName), nullptr, &usedDefault);
    if (length <= 0 || usedDefault || !isWindowsName(to->cFileName)) {
        to->cFileName[0] = '\0';
        return false;
    }
    to->dwFileAttributes = from.dwFileAttributes;
    return true;
}

// The dialog manager calls a CALLBACK (stdcall on i686) procedure with the system's types,
// while the logic's procedure is a plain function over the portable ones. The trampoline
// forwards to the procedure of the dialog now running; the program runs one at a time.
platform::DLGPROC activeDialogProcedure = nullptr;

INT_PTR CALLBACK dialogTrampoline(::HWND dialog, ::UINT message, ::WPARAM wParam, ::LPARAM lParam) {
    if (activeDialogProcedure == nullptr) return FALSE;
    return activeDialogProcedure(portable(dialog), message, wParam, lParam);
}

}  // namespace

namespace platform {

// ---- ProfileStore ---------------------------------------------------------------------

DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultText, char* buffer,
                               DWORD capacity, const char* fileName) {
    return ::GetPrivateProfileStringA(section, key, defaultText, buffer, capacity, fileName);
}

UINT GetPrivateProfileIntA(const char* section, const char* key, INT defaultValue, const char* fileName) {
    return ::GetPrivateProfileIntA(section, key, defaultValue, fileName);
}

BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* fileName) {
    return ::WritePrivateProfileStringA(section, key, value, fileName);
}

// ---- RegistryStore --------------------------------------------------------------------

LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access, HKEY* result) {
    ::HKEY opened = nullptr;
    LONG status = ::RegOpenKeyExA(sys(root), subKey, options, access, &opened);
    if (result != nullptr) *result = status == ERROR_SUCCESS ? portable(opened) : nullptr;
    return status;
}

LONG RegOpenKeyA(HKEY root, const char* subKey, HKEY* result) {
    ::HKEY opened = nullptr;
    LONG status = ::RegOpenKeyA(sys(root), subKey, &opened);
    if (result != nullptr) *result = status == ERROR_SUCCESS ? portable(opened) : nullptr;
    return status;
}

LONG RegEnumValueA(HKEY key, DWORD index, char* valueName, DWORD* valueNameLength, DWORD* reserved, DWORD* type,
                   BYTE* data, DWORD* dataLength) {
    // The system's DWORD is an unsigned long: pass locals of that type and copy back.
    ::DWORD nameLength = valueNameLength != nullptr ? *valueNameLength : 0;
    ::DWORD valueType = 0;
    ::DWORD size = dataLength != nullptr ? *dataLength : 0;
    (void)reserved;  // must be null for the system call
    LONG status = ::RegEnumValueA(sys(key), index, valueName, valueNameLength != nullptr ? &nameLength : nullptr,
                                  nullptr, type != nullptr ? &valueType : nullptr, data,
                                  dataLength != nullptr ? &size : nullptr);
    if (valueNameLength != nullptr) *valueNameLength = nameLength;
    if (type != nullptr) *type = valueType;
    if (dataLength != nullptr) *dataLength = size;
    return status;
}

LONG RegDeleteValueA(HKEY key, const char* valueName) { return ::RegDeleteValueA(sys(key), valueName); }

LONG RegDeleteKeyA(HKEY root, const char* subKey) { return ::RegDeleteKeyA(sys(root), subKey); }

LONG RegCloseKey(HKEY key) { return ::RegCloseKey(sys(key)); }

// ---- FileSystemOps --------------------------------------------------------------------

DWORD GetModuleFileNameA(HINSTANCE module, char* buffer, DWORD capacity) {
    DWORD length = ::GetModuleFileNameA(sys(module), buffer, capacity);
    // A cut path comes back with the capacity as its length; older systems leave it
    // unterminated, and callers count on a terminated buffer.
    if (capacity > 0 && length >= capacity) buffer[capacity - 1] = '\0';
    return length;
}

// The search runs over the wide functions so that each name can be checked as it converts;
// the pattern converts exactly or the search fails, as the ANSI function fails for a bad name.
HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* entry) {
    ::WCHAR widePattern[MAX_PATH];
    if (::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, pattern, -1, widePattern, MAX_PATH) == 0) {
        bool tooLong = ::GetLastError() == ERROR_INSUFFICIENT_BUFFER;
        ::SetLastError(tooLong ? ERROR_FILENAME_EXCED_RANGE : ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    ::WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW(widePattern, &found);
    if (search == INVALID_HANDLE_VALUE) return search;
    if (copyFindData(found, entry) || FindNextFileA(search, entry)) return search;
    ::FindClose(search);
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* entry) {
    ::WIN32_FIND_DATAW found;
    while (::FindNextFileW(search, &found)) {
        if (copyFindData(found, entry)) return TRUE;
    }
    return FALSE;
}

BOOL FindClose(HANDLE search) { return ::FindClose(search); }

DWORD GetFileAttributesA(const char* path) { return ::GetFileAttributesA(path); }

BOOL SetFileAttributesA(const char* path, DWORD attributes) { return ::SetFileAttributesA(path, attributes); }

BOOL DeleteFileA(const char* path) { return ::DeleteFileA(path); }

BOOL RemoveDirectoryA(const char* path) { return ::RemoveDirectoryA(path); }

void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

DWORD GetLastError() { return ::GetLastError(); }

DWORD GetFullPathNameA(const char* path, DWORD capacity, char* buffer, char** filePart) {
    return ::GetFullPathNameA(path, capacity, buffer, filePart);
}

DWORD GetEnvironmentVariableA(const char* name, char* buffer, DWORD capacity) {
    return ::GetEnvironmentVariableA(name, buffer, capacity);
}

void* LocalAlloc(UINT flags, std::size_t bytes) { return ::LocalAlloc(flags, bytes); }

BOOL IsDBCSLeadByte(BYTE byte) { return ::IsDBCSLeadByte(byte); }

// ---- WindowOps ------------------------------------------------------------------------

HWND CreateWindowExA(DWORD exStyle, const char* className, const char* title, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, void* param) {
    return portable(::CreateWindowExA(exStyle, className, title, style, x, y, width, height, sys(parent),
                                      reinterpret_cast<::HMENU>(menu), sys(instance), param));
}

BOOL DestroyWindow(HWND window) { return ::DestroyWindow(sys(window)); }

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT style) {
    return ::MessageBoxA(sys(owner), text, caption, style);
}

// comctl32 is not one of the system's known DLLs: a static import would be looked for in the
// program's own folder first, where anyone who can write there could plant one that then runs
// elevated. It is loaded from the system folder by full path instead.
void InitCommonControls() {
    char path[MAX_PATH];
    const char name[] = "\\comctl32.dll";
    ::UINT length = ::GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + sizeof name > MAX_PATH) return;
    for (std::size_t i = 0; i < sizeof name; ++i) path[length + i] = name[i];
    ::HMODULE library = ::LoadLibraryA(path);
    if (library == nullptr) return;
    using InitProc = void(WINAPI*)();
    auto init = reinterpret_cast<InitProc>(reinterpret_cast<void*>(::GetProcAddress(library, "InitCommonControls")));
    if (init != nullptr) init();  // the library stays loaded: the dialog's progress bar needs it
}

INT_PTR DialogBoxParamA(HINSTANCE instance, const char* templateName, HWND owner, DLGPROC procedure,
                        LPARAM initParam) {
    DLGPROC outer = activeDialogProcedure;
    activeDialogProcedure = procedure;
    INT_PTR result = ::DialogBoxParamA(sys(instance), templateName, sys(owner), dialogTrampoline, initParam);
    activeDialogProcedure = outer;
    return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) { return ::EndDialog(sys(dialog), result); }

HWND GetDlgItem(HWND dialog, int controlId) { return portable(::GetDlgItem(sys(dialog), controlId)); }

BOOL ShowWindow(HWND window, int command) { return ::ShowWindow(sys(window), command); }

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::SendMessageA(sys(window), message, wParam, lParam);
}

HWND GetDesktopWindow() { return portable(::GetDesktopWindow()); }

HWND GetTopWindow(HWND parent) { return portable(::GetTopWindow(sys(parent))); }

HWND GetWindow(HWND window, UINT relation) { return portable(::GetWindow(sys(window), relation)); }

int GetClassNameA(HWND window, char* buffer, int capacity) {
    if (buffer == nullptr || capacity <= 0) return 0;
    buffer[0] = '\0';  // a window that vanished leaves no stale name behind
    return ::GetClassNameA(sys(window), buffer, capacity);
}

}  // namespace platform
