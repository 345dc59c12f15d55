// The uninstaller from start to exit code.
#pragma once

#include "platform/operations.h"
#include "state/module_instance.h"

// Runs the uninstaller on `commandLine` (without the program name); returns the exit code:
// 0 on every path, 1 when memory for the install-folder chain ran out. Unattended (-s) also
// 1618 when an application has a window open and 1603 when something listed stayed.
int runUninstaller(platform::HINSTANCE instance, const char* commandLine);
