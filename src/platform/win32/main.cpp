// The program's entry: hands the command line, without the program name, to the driver and
// ends with the driver's exit code.
#include "frontend/command_line.h"
#include "frontend/driver.h"
#include "platform/operations.h"

// After the portable declarations: <windows.h> defines macros that would rewrite them.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int /*showCommand*/) {
    // The system's own command line, not the runtime's copy: the program name is removed by
    // the same rule on every build.
    const char* arguments = skipProgramName(::GetCommandLineA());
    return runUninstaller(reinterpret_cast<platform::HINSTANCE>(instance), arguments);
}
