// The options of the command line: which list section to remove, where the list file is, and
// whether anyone is there to answer. The front end sets them once at start; everything after
// reads them.
#pragma once

#include <cstddef>

struct CommandLineOptions {
    static constexpr std::size_t sectionCapacity = 64;
    static constexpr std::size_t pathCapacity = 260;

    char listSection[sectionCapacity];
    char listFilePath[pathCapacity];
    // Run by a deployment tool with nobody at the screen: no message box at all, the prompt
    // counts as Yes, and the exit code says how the run ended.
    bool unattended;
};

// Set once at start, read by everything after.
extern CommandLineOptions commandLineOptions;

// Exact, case-sensitive test of the list section against one application's section name.
bool listSectionIs(const char* name);

inline constexpr const char* fileUtilitySection = "Files_File";
inline constexpr const char* deliveryUtilitySection = "Files_Deliv";
