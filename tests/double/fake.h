// The in-memory machine behind the platform operations in the unit tests, and the handles a
// test uses to set it up, script it and look at what the program did to it.
//
// The call log
// ------------
// Every platform call but IsDBCSLeadByte (a pure table look-up, made once per byte of text)
// adds one line:
//
//     Name(arg, arg, ...) -> result          (void functions: Name(arg, ...), no arrow)
//
// - Text in double quotes, a null pointer as `null`. Inside the quotes a newline is written
//   \n, a carriage return \r, a tab \t, a double quote \", other control bytes \xNN;
//   backslashes and bytes from 0x80 up stay as they are, so paths read naturally:
//   DeleteFileA("C:\Apps\a.txt") -> 1
// - Integers in decimal, except these flag and attribute values, in hex with 0x and lower-case
//   digits (0 is 0x0): the MessageBoxA style, the CreateWindowExA style (not the extended
//   style), the SetFileAttributesA argument, the GetFileAttributesA result, the RegOpenKeyExA
//   access and the LocalAlloc flags.
// - Handles by role: `desktop`, the windows CreateWindowExA made `window1`, `window2`..., the
//   windows added with addWindow `top1`, `top2`..., `dialog` and `progress` of the dialog
//   DialogBoxParamA runs, keys `HKLM` and `hkey1`, `hkey2`..., searches `find1`...,
//   allocations `alloc1`...; INVALID_HANDLE_VALUE as -1; any other pointer in hex.
// - SendMessageA messages by name (PBM_SETRANGE, PBM_SETPOS, PBM_SETSTEP, PBM_STEPIT,
//   WM_COMMAND, WM_INITDIALOG), any other as its number. A resource template given by number
//   (makeIntResource) as that number.
// - The result is the return value, with one exception: a function that fills a text buffer
//   shows the text instead of the count (GetPrivateProfileStringA always; GetModuleFileNameA
//   and GetClassNameA when they succeed, a failure shows as 0). What a call hands back through
//   a pointer (the opened key, the found entry) is not written.
// - Order: a line is written when its call returns, after the lines of the calls made inside
//   it; so DialogBoxParamA comes after everything its procedure did. SendMessageA is the
//   exception: its line keeps the place of the moment the message was sent, so a message to
//   the dialog comes before what the procedure did with it.
//
// The argument lists:
//   GetPrivateProfileStringA(section, key, default, capacity, file) -> "text"
//   GetPrivateProfileIntA(section, key, default, file) -> n
//   WritePrivateProfileStringA(section, key, value, file) -> 1
//   RegOpenKeyExA(HKLM, "path", options, 0xf003f) -> 0     RegOpenKeyA(HKLM, "path") -> 0
//   RegEnumValueA(hkey1, index) -> 259                     RegDeleteValueA(hkey1, "name") -> 0
//   RegDeleteKeyA(HKLM, "path") -> 0                       RegCloseKey(hkey1) -> 0
//   GetModuleFileNameA(module, capacity) -> "C:\Program Files\Uninst\UNINST.EXE"
//   FindFirstFileA("C:\Apps\*.*") -> find1   FindNextFileA(find1) -> 1   FindClose(find1) -> 1
//   GetFileAttributesA("C:\Apps") -> 0x10     SetFileAttributesA("C:\Apps\a.txt", 0x80) -> 1
//   DeleteFileA("C:\Apps\a.txt") -> 1        RemoveDirectoryA("C:\Apps") -> 0
//   Sleep(500)                               LocalAlloc(0x40, 1024) -> alloc1
//   GetLastError() -> 5                      GetEnvironmentVariableA("PUBLIC", 260) -> 15
//   GetFullPathNameA("C:\A\..", 260) -> 3   (by the text alone: a relative path stays relative)
//   CreateWindowExA(0, "", "", 0xcf0000, 0, 0, 0, 0, null, null) -> window1   (parent, menu;
//       instance and parameter are not written)
//   DestroyWindow(window1) -> 1              InitCommonControls()
//   MessageBoxA(window1, "Uninstall Programs.\nAre you Sure ?", "Uninstaller", 0x24) -> 6
//   DialogBoxParamA(102, window1) -> 1       (template, owner)
//   EndDialog(dialog, 1) -> 1                GetDlgItem(dialog, 1000) -> progress
//   ShowWindow(dialog, 1) -> 1               SendMessageA(progress, PBM_SETRANGE, 0, 393216) -> 0
//   GetDesktopWindow() -> desktop            GetTopWindow(desktop) -> top1
//   GetWindow(top1, 2) -> top2               GetClassNameA(top1, 256) -> "Notepad"
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "platform/operations.h"

namespace fake {

// An empty machine: no files, folders, keys, windows, variables or scripted answers, an empty log, the
// module path "C:\Program Files\Uninst\UNINST.EXE", allocation and window creation that never
// fail. Frees what LocalAlloc handed out since the last reset.
void reset();

// The program's environment, empty after reset(); names compared without regard to case.
void setEnvironmentVariable(const std::string& name, const std::string& value);

// ---- Files and folders ----------------------------------------------------------------
// Windows paths: drive letter, backslashes, compared without regard to ASCII letter case. A
// new entry is spelled like its folder as stored, then its own name as given, and keeps that.
// Trailing backslashes are accepted on folder paths (such a path names no file). "." and ".."
// name a folder itself and its parent, as on Windows, ".." never above the drive; nothing else
// is normalised. Every drive root ("C:", "D:\") exists, is empty
// until something is added below it, is never listed by tree() and can never be removed.
// As on Windows, a folder that an open search is listing cannot be removed until FindClose.

// Creates the folder and its missing parents; the folder bit is added to `attributes`.
// Adding a folder where a file is, or below a file, changes nothing and prints a warning: the
// test itself is wrong.
void addFolder(const std::string& path, platform::DWORD attributes = 0);
// Creates (or overwrites) a file, and its missing parent folders; the same conflicts are
// refused the same way.
void addFile(const std::string& path, const std::string& bytes = "", platform::DWORD attributes = 0);
bool exists(const std::string& path);
platform::DWORD attributesOf(const std::string& path);  // INVALID_FILE_ATTRIBUTES when missing
std::string fileBytes(const std::string& path);         // "" when missing or a folder
// Every file and folder, in stored spelling, sorted without regard to case and with each
// folder directly followed by what it holds ("C:\A", "C:\A\x", "C:\A.txt").
std::vector<std::string> tree();
// The patterns of the searches that went into a folder with the reparse-point bit (a link) or
// below one. The double lists such folders like any other; the program must not.
std::vector<std::string> linkSearches();
int openSearchCount();

// ---- Registry below HKEY_LOCAL_MACHINE ------------------------------------------------
// Key and value names compared without regard to ASCII letter case, kept in their spelling.

void addKey(const std::string& path);  // creates the missing parents too
// Creates the key when missing; replaces data and type of an existing value in place. String
// types (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) are stored with one terminating zero added.
void setValue(const std::string& key, const std::string& name, const std::string& data,
              platform::DWORD type = platform::REG_SZ);
bool keyExists(const std::string& path);
// Creates the key; from now on opening or deleting it answers ERROR_ACCESS_DENIED, as for a
// key whose security shuts this user out.
void denyKey(const std::string& path);
std::vector<std::string> valueNames(const std::string& key);  // in insertion order
int openKeyCount();  // keys opened and not yet closed

// ---- Windows --------------------------------------------------------------------------
// The desktop's top-level windows, topmost first. Only windows added here take part in the
// Z order; those CreateWindowExA and DialogBoxParamA make do not. A hidden window is
// enumerated like any other, as on Windows.
platform::HWND addWindow(const std::string& className, bool hidden = false);  // goes to the bottom
void failClassNameOf(platform::HWND window);  // GetClassNameA on it returns 0 and writes ""
void failWindowCreation();  // CreateWindowExA null, DialogBoxParamA -1, from now on

// The progress control of the dialog last run: its position, and the number of PBM_STEPIT
// messages it received since reset(). Position, range and step start at 0, 0-100 and 10 each
// time a dialog is created; PBM_SETPOS clamps to the range and a step beyond the maximum
// wraps round to the minimum, as the common control does.
int progressPosition();
int progressStepCount();

// ---- Message boxes --------------------------------------------------------------------
// Answers taken in order; once they are used up, a box with MB_YESNO answers IDNO and any
// other answers IDOK.
void scriptAnswers(std::vector<int> answers);

// ---- The executable -------------------------------------------------------------------
void setModulePath(const std::string& path);
void setModulePathFails();  // GetModuleFileNameA returns 0

// ---- Memory ---------------------------------------------------------------------------
// LocalAlloc returns null from the n-th call since reset() on (1-based); 0 = never.
void failAllocationFrom(int n);

// ---- The call log ---------------------------------------------------------------------
const std::vector<std::string>& calls();
// Only the lines of the named functions, in order.
std::vector<std::string> calls(std::initializer_list<std::string_view> names);
void clearCalls();

}  // namespace fake
