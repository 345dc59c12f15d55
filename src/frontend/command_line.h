// The command line: which list section to remove and where the list file is.
#pragma once

#include "state/options.h"

// Puts back the defaults: list section "FILES", list file "ZADAvuz.ini", someone at the screen.
void resetCommandLineOptions();

// Reads the -c and -f options and the unattended switch (-s, /S, /SILENT, /VERYSILENT, /quiet
// or /qn, in any case) out of `text` (the command line without the program name).
void parseCommandLine(const char* text);

// The rest of a full command line once the program name and the blanks after it are
// skipped; points into `commandLine`.
const char* skipProgramName(const char* commandLine);
