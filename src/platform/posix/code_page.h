// Code page 932 (Shift-JIS), the system code page of the Japanese Windows the machine root
// stands for: every text the program hands the provider is in it. Names on disk are UTF-8,
// as a Wine prefix keeps them, and the terminal has a character set of its own; this is where
// text crosses between them, with the C library's iconv.
#pragma once

#include "platform/ini/code_page_932.h"
#include "platform/operations.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace posix {

// A name in code page 932 as it is written on disk (UTF-8). False, with `out` unspecified,
// when the name is no valid code-page-932 text.
bool windowsNameToDisk(std::string_view name, std::string& out);

// A name on disk (UTF-8) in code page 932. False when it is no UTF-8 text, or holds a
// character code page 932 does not have, or one that would come back as another (a yen sign
// would become a backslash): the name is then not given out at all, since a look-alike would
// name some other file or no file.
bool diskNameToWindows(std::string_view name, std::string& out);

// Text of the terminal's character set (the locale's) in code page 932, exactly; false as
// diskNameToWindows.
bool terminalTextToWindows(std::string_view text, std::string& out);

// Code-page-932 text for the terminal, in the locale's character set (nl_langinfo(CODESET)).
// A character the terminal cannot show, or a byte that is no character, is shown as "?":
// this is only for reading.
std::string windowsTextForTerminal(std::string_view text);

}  // namespace posix

namespace platform {

// Win32's code for a folder or file another handle holds (the current folder, say).
inline constexpr DWORD ERROR_SHARING_VIOLATION = 32;

// Sets what GetLastError gives: a file operation sets ERROR_NO_UNICODE_TRANSLATION for a name
// it could not convert, ERROR_INVALID_NAME for one Windows could not hold, and ERROR_SUCCESS
// after a path that could be mapped; DeleteFileA sets it on every failure. Other failures
// leave it as it was.
void SetLastError(DWORD error);

}  // namespace platform
