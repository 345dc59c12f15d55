// The native program: its arguments, joined with single spaces, are the command line the
// uninstaller reads, as Windows hands a program its command line without the program name.
// Like every text of the program the command line is code page 932: each argument is
// converted from the terminal's character set, the locale's.
#include "frontend/driver.h"
#include "platform/operations.h"
#include "platform/posix/code_page.h"
#include "platform/posix/paths.h"

#include <clocale>
#include <cstdio>
#include <langinfo.h>
#include <string>

namespace {

constexpr platform::DWORD modulePathCapacity = 260;

// Says on standard error what the program cannot express, and why, and ends the program
// before it has looked at anything else.
int refuse(const std::string& what, const std::string& why) {
    std::fprintf(stderr, "uninst: %s %s; nothing was removed\n", what.c_str(), why.c_str());
    return 2;
}

// Why the program's own path cannot serve as the uninstaller's, or empty when it can. The
// message file is found from it, and with that file the name this application is registered
// under with the shared component: without it the built-in texts and name would be used, and
// another application's registration could go in place of this one's.
std::string whyModulePathUnusable() {
    char module[modulePathCapacity];
    platform::SetLastError(platform::ERROR_SUCCESS);
    platform::DWORD length = platform::GetModuleFileNameA(nullptr, module, modulePathCapacity);
    if (length >= modulePathCapacity) return "is longer than 259 characters";
    if (length != 0) return "";
    switch (platform::GetLastError()) {
        case platform::ERROR_NO_UNICODE_TRANSLATION: return "has no exact form in code page 932";
        case platform::ERROR_INVALID_NAME:
            return "holds a name no Windows folder can (a backslash, a control character or one of < > : \" | ? *)";
        default: return "cannot be read";
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_CTYPE, "");
    // Whatever the program cannot hold exactly as Windows would hand it over names something
    // else, or nothing: it stops there, before it reads or removes anything.
    std::string why = whyModulePathUnusable();
    if (!why.empty()) return refuse("the program's path " + posix::programPath().value_or("(unknown)"), why);
    std::string commandLine;
    std::string converted;
    for (int i = 1; i < argc; ++i) {
        if (!posix::terminalTextToWindows(argv[i], converted)) {
            return refuse("argument " + std::to_string(i) + " (" + argv[i] + ")",
                          std::string("has no exact form in code page 932 from the terminal's character set (") +
                              nl_langinfo(CODESET) + ")");
        }
        if (i > 1) commandLine += ' ';
        commandLine += converted;
    }
    return runUninstaller(nullptr, commandLine.c_str());
}
