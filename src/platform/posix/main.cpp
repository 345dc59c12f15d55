// The native program: its arguments, joined with single spaces, are the command line the
// uninstaller reads, as Windows hands a program its command line without the program name.
// Like every text of the program the command line is code page 932: each argument is
// converted from the terminal's character set, the locale's.
#include "frontend/driver.h"
#include "platform/posix/code_page.h"

#include <clocale>
#include <string>

int main(int argc, char** argv) {
    std::setlocale(LC_CTYPE, "");
    std::string commandLine;
    std::string converted;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        // An argument with no exact form in code page 932 goes in as it was given.
        commandLine += posix::terminalTextToWindows(argv[i], converted) ? converted : std::string(argv[i]);
    }
    return runUninstaller(nullptr, commandLine.c_str());
}
