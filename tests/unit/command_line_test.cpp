// The -c and -f options, and the removal of the program name from a full command line.
#include <gtest/gtest.h>

#include <string>

#include "double/fake.h"
#include "frontend/command_line.h"

namespace {

struct ParseCase {
    const char* commandLine;
    const char* listSection;
    const char* listFilePath;
};

const std::string longText(std::size_t length, char fill = 'x') {
    return std::string(length, fill);
}

class CommandLineTest : public ::testing::TestWithParam<ParseCase> {
protected:
    void SetUp() override {
        fake::reset();
        resetCommandLineOptions();
    }
};

TEST_P(CommandLineTest, SetsSectionAndListFile) {
    const ParseCase& c = GetParam();
    parseCommandLine(c.commandLine);
    EXPECT_STREQ(commandLineOptions.listSection, c.listSection);
    EXPECT_STREQ(commandLineOptions.listFilePath, c.listFilePath);
}

INSTANTIATE_TEST_SUITE_P(
    Options, CommandLineTest,
    ::testing::Values(
        ParseCase{"", "FILES", "ZADAvuz.ini"},
        ParseCase{"     ", "FILES", "ZADAvuz.ini"},
        ParseCase{"-cFiles_File -fC:\\Data\\List.ini", "Files_File", "C:\\Data\\List.ini"},
        ParseCase{"-CFiles_Deliv", "Files_Deliv", "ZADAvuz.ini"},
        ParseCase{"-FC:\\L.ini", "FILES", "C:\\L.ini"},
        ParseCase{"-c Files_File", "", "ZADAvuz.ini"},
        ParseCase{"-fC:\\My Data\\list.ini", "FILES", "C:\\My"},
        ParseCase{"-fC:\\My -cData", "Data", "C:\\My"},
        ParseCase{"-cA -cB", "B", "ZADAvuz.ini"},
        ParseCase{"-cX-fY", "X-fY", "ZADAvuz.ini"},
        ParseCase{"-c=Files_File", "=Files_File", "ZADAvuz.ini"},
        ParseCase{"-c\"Files_File\"", "\"Files_File\"", "ZADAvuz.ini"},
        ParseCase{"-c\tFiles", "\tFiles", "ZADAvuz.ini"},
        ParseCase{"Files_File -x -", "FILES", "ZADAvuz.ini"},
        ParseCase{"  -cA   -fB  ", "A", "B"}));

TEST_F(CommandLineTest, ValuesThatDoNotFitAreIgnoredNotCut) {
    std::string section63 = "-c" + longText(63);
    parseCommandLine(section63.c_str());
    EXPECT_EQ(std::string(commandLineOptions.listSection), longText(63));

    std::string section64 = "-c" + longText(64, 'y');
    parseCommandLine(section64.c_str());
    EXPECT_EQ(std::string(commandLineOptions.listSection), longText(63)) << "a 64-character section is dropped";

    // The 255-character token buffer is the tighter bound for a path: "-f" and 253 characters.
    std::string path253 = "-f" + longText(253);
    parseCommandLine(path253.c_str());
    EXPECT_EQ(std::string(commandLineOptions.listFilePath), longText(253));

    std::string path254 = "-f" + longText(254, 'y');
    parseCommandLine(path254.c_str());
    EXPECT_EQ(std::string(commandLineOptions.listFilePath), longText(253)) << "a 256-character token is dropped";
}

TEST_F(CommandLineTest, TokensLongerThanTheTokenBufferAreDroppedWhole) {
    // 300 characters: the token does not fit 255; the next token still counts.
    std::string line = "-c" + longText(298) + " -cNext";
    parseCommandLine(line.c_str());
    EXPECT_STREQ(commandLineOptions.listSection, "Next");
}

struct SkipCase {
    const char* fullLine;
    const char* rest;
};

class SkipProgramNameTest : public ::testing::TestWithParam<SkipCase> {
protected:
    void SetUp() override { fake::reset(); }
};

TEST_P(SkipProgramNameTest, LeavesTheArguments) {
    EXPECT_STREQ(skipProgramName(GetParam().fullLine), GetParam().rest);
}

INSTANTIATE_TEST_SUITE_P(
    ProgramNames, SkipProgramNameTest,
    ::testing::Values(
        SkipCase{"UNINST.EXE -cFiles_File", "-cFiles_File"},
        SkipCase{"UNINST.EXE", ""},
        SkipCase{"", ""},
        SkipCase{"\"C:\\Program Files\\Uninst\\UNINST.EXE\" -cA", "-cA"},
        SkipCase{"\"C:\\Program Files\\UNINST.EXE\"-cA", "-cA"},
        SkipCase{"\"C:\\Unterminated quote -cA", ""},
        SkipCase{"UNINST.EXE\t\t -cA -fB", "-cA -fB"},
        SkipCase{"UNINST.EXE \x01\x1f-cA", "-cA"},
        // Bytes above 127 are name characters, not blanks (taken as unsigned).
        SkipCase{"UN\xe9NST.EXE -cA", "-cA"},
        // 0x95 0x22: a double-byte character whose trail byte is a quote.
        SkipCase{"\"C:\\\x95\"\\UNINST.EXE\" -cA", "-cA"},
        // A lead byte at the very end does not step over the terminator.
        SkipCase{"\"C:\\\x95", ""}));

}  // namespace
