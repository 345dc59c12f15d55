// The command line: which list section to remove and where the list file is.
#pragma once

#include <cstddef>

struct CommandLineOptions {
    static constexpr std::size_t sectionCapacity = 64;
    static constexpr std::size_t pathCapacity = 260;

    char listSection[sectionCapacity];
    char listFilePath[pathCapacity];
};

// Set once at start, read by everything after.
extern CommandLineOptions commandLineOptions;

// Puts back the defaults: list section "FILES", list file "ZADAvuz.ini".
void resetCommandLineOptions();

// Reads the -c and -f options out of `text` (the command line without the program name).
void parseCommandLine(const char* text);

// The rest of a full command line once the program name and the blanks after it are
// skipped; points into `commandLine`.
const char* skipProgramName(const char* commandLine);

// Exact, case-sensitive test of the list section against one application's section name.
bool listSectionIs(const char* name);

inline constexpr const char* fileUtilitySection = "Files_File";
inline constexpr const char* deliveryUtilitySection = "Files_Deliv";
