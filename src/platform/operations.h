// The operating-system operations the uninstaller needs, each under its Win32 name.
// Three providers implement them: win32/ (the real API), posix/ (a machine root on Linux)
// and the in-memory double of the tests; the one linked in decides which runs.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// ---- Portable scalar and handle types -------------------------------------------------

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using INT = int;
using BOOL = int;
using REGSAM = DWORD;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using INT_PTR = std::intptr_t;

// Opaque handles; a provider gives them whatever meaning it likes.
using HINSTANCE = struct InstanceTag*;
using HWND = struct WindowTag*;
using HMENU = struct MenuTag*;
using HKEY = struct KeyTag*;
using HANDLE = void*;

using DLGPROC = INT_PTR (*)(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;
inline constexpr DWORD MAX_PATH = 260;

// The predefined key every registry path of the program is relative to.
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u));

// FindFirstFileA's "no search" result.
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

// GetFileAttributesA's "nothing there" result.
inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;

inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
inline constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x02;
inline constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x04;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400;

inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_PATH_NOT_FOUND = 3;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
// A path with a name no Windows folder can hold (a wild card, a "|"...).
inline constexpr LONG ERROR_INVALID_NAME = 123;
// A name that has no form in the code page it is needed in.
inline constexpr LONG ERROR_NO_UNICODE_TRANSLATION = 1113;
inline constexpr LONG ERROR_MORE_DATA = 234;
inline constexpr LONG ERROR_NO_MORE_ITEMS = 259;

inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;

inline constexpr DWORD WS_OVERLAPPEDWINDOW = 0x00CF0000;

inline constexpr UINT MB_OK = 0x00;
inline constexpr UINT MB_YESNO = 0x04;
inline constexpr UINT MB_ICONQUESTION = 0x20;
inline constexpr UINT MB_ICONWARNING = 0x30;
inline constexpr int IDOK = 1;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

inline constexpr UINT GW_HWNDNEXT = 2;
inline constexpr int SW_SHOWNORMAL = 1;

inline constexpr UINT WM_INITDIALOG = 0x0110;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT PBM_SETRANGE = 0x0401;
inline constexpr UINT PBM_SETPOS = 0x0402;
inline constexpr UINT PBM_SETSTEP = 0x0404;
inline constexpr UINT PBM_STEPIT = 0x0405;

inline constexpr UINT LPTR = 0x0040;  // LocalAlloc: fixed memory, zero-initialised

// A resource named by number, as MAKEINTRESOURCEA builds it.
inline const char* makeIntResource(WORD id) {
    return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(id));
}

// The two fields of a search entry the program reads; providers fill at least these.
struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    char cFileName[MAX_PATH];
};

// ---- ProfileStore: INI files --------------------------------------------------------

DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultText,
                               char* buffer, DWORD capacity, const char* fileName);
UINT GetPrivateProfileIntA(const char* section, const char* key, INT defaultValue, const char* fileName);
BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* fileName);

// ---- RegistryStore: keys below HKEY_LOCAL_MACHINE ------------------------------------

LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access, HKEY* result);
LONG RegOpenKeyA(HKEY root, const char* subKey, HKEY* result);
LONG RegEnumValueA(HKEY key, DWORD index, char* valueName, DWORD* valueNameLength, DWORD* reserved,
                   DWORD* type, BYTE* data, DWORD* dataLength);
LONG RegDeleteValueA(HKEY key, const char* valueName);
LONG RegDeleteKeyA(HKEY root, const char* subKey);
LONG RegCloseKey(HKEY key);

// ---- FileSystemOps ------------------------------------------------------------------

DWORD GetModuleFileNameA(HINSTANCE module, char* buffer, DWORD capacity);
HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* entry);
BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* entry);
BOOL FindClose(HANDLE search);
DWORD GetFileAttributesA(const char* path);
BOOL SetFileAttributesA(const char* path, DWORD attributes);
BOOL DeleteFileA(const char* path);
BOOL RemoveDirectoryA(const char* path);
void Sleep(DWORD milliseconds);

// The full path Windows makes of `path` before acting on it: "." and ".." taken out, "/" a
// backslash, a relative path joined to the current folder (by the providers without Windows
// beneath them, left relative). Like Win32: the length without the terminator, the size
// needed (terminator included) when the buffer is too small, 0 on failure. The program
// passes no `filePart`.
DWORD GetFullPathNameA(const char* path, DWORD capacity, char* buffer, char** filePart);

// A variable of the program's environment. Like Win32: the length without the terminator,
// the size needed (terminator included) when the buffer is too small, 0 when it is not set.
DWORD GetEnvironmentVariableA(const char* name, char* buffer, DWORD capacity);

// Why the last failed file operation failed (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND,
// ERROR_ACCESS_DENIED...). Asked only after a failure: DeleteFileA sets it whenever it fails.
DWORD GetLastError();

// Zero-filled memory, or null when none can be had. The program never frees it.
void* LocalAlloc(UINT flags, std::size_t bytes);

// True when the byte opens a double-byte character in the system code page.
BOOL IsDBCSLeadByte(BYTE byte);

// ---- WindowOps ----------------------------------------------------------------------

HWND CreateWindowExA(DWORD exStyle, const char* className, const char* title, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* param);
BOOL DestroyWindow(HWND window);
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT style);
void InitCommonControls();
INT_PTR DialogBoxParamA(HINSTANCE instance, const char* templateName, HWND owner, DLGPROC procedure,
                        LPARAM initParam);
BOOL EndDialog(HWND dialog, INT_PTR result);
HWND GetDlgItem(HWND dialog, int controlId);
BOOL ShowWindow(HWND window, int command);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
HWND GetDesktopWindow();
HWND GetTopWindow(HWND parent);
HWND GetWindow(HWND window, UINT relation);
int GetClassNameA(HWND window, char* buffer, int capacity);

}  // namespace platform
