// The native program: its arguments, joined with single spaces, are the command line the
// uninstaller reads, as Windows hands a program its command line without the program name.
#include "frontend/driver.h"

#include <string>

int main(int argc, char** argv) {
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    return runUninstaller(nullptr, commandLine.c_str());
}
