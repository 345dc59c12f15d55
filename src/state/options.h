// The options of the command line: which list section to remove and where the list file is.
// The front end sets them once at start; everything after reads them.
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

// Exact, case-sensitive test of the list section against one application's section name.
bool listSectionIs(const char* name);

inline constexpr const char* fileUtilitySection = "Files_File";
inline constexpr const char* deliveryUtilitySection = "Files_Deliv";
