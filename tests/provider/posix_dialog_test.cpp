// The terminal dialog runs its procedure as the dialog manager does, and its progress control
// keeps range, position and step as the common control does.
#include "platform/operations.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

using namespace platform;

namespace {

struct Recorded {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

std::vector<Recorded> received;
std::vector<LRESULT> progressResults;
bool endInCommand = true;
void (*beforeSteps)() = nullptr;  // called when the start command arrives, before any step

LPARAM makeRange(int low, int high) { return static_cast<LPARAM>((static_cast<DWORD>(high) << 16) | static_cast<DWORD>(low)); }

// Initialises the bar and sends itself the start command, which steps the bar and ends the
// dialog: the shape of the uninstaller's removal run.
INT_PTR runRemovalShape(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    received.push_back({message, wParam, lParam});
    HWND progress = GetDlgItem(dialog, 1000);
    if (message == WM_INITDIALOG) {
        ShowWindow(dialog, SW_SHOWNORMAL);
        progressResults.push_back(SendMessageA(progress, PBM_SETPOS, 0, 0));
        progressResults.push_back(SendMessageA(progress, PBM_SETSTEP, 1, 0));
        progressResults.push_back(SendMessageA(progress, PBM_SETRANGE, 0, makeRange(0, 3)));
        SendMessageA(dialog, WM_COMMAND, 1000, 0);
        return 1;
    }
    if (message == WM_COMMAND) {
        if (beforeSteps != nullptr) beforeSteps();
        for (int i = 0; i < 4; ++i) progressResults.push_back(SendMessageA(progress, PBM_STEPIT, 0, 0));
        progressResults.push_back(SendMessageA(progress, PBM_SETPOS, 99, 0));
        progressResults.push_back(SendMessageA(progress, PBM_SETPOS, 0, 0));
        if (endInCommand) EndDialog(dialog, 1);
        return 1;
    }
    return 0;
}

class PosixDialog : public ::testing::Test {
protected:
    void SetUp() override {
        received.clear();
        progressResults.clear();
        endInCommand = true;
        beforeSteps = nullptr;
    }
    void TearDown() override { beforeSteps = nullptr; }
};

TEST_F(PosixDialog, ProcedureRunsInitialisationThenTheSentCommand) {
    EXPECT_EQ(DialogBoxParamA(nullptr, makeIntResource(102), nullptr, runRemovalShape, 42), 1);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].message, WM_INITDIALOG);
    EXPECT_EQ(received[0].lParam, 42);
    EXPECT_EQ(received[1].message, WM_COMMAND);
    EXPECT_EQ(received[1].wParam, 1000u);
}

TEST_F(PosixDialog, ProgressControlKeepsRangePositionAndStep) {
    DialogBoxParamA(nullptr, makeIntResource(102), nullptr, runRemovalShape, 0);
    // Each result is the value before the message: the initial position 0, step 10 and range
    // 0-100; then positions 0, 1, 2, 3 before each step, the fourth step starting over past
    // the end; a position beyond the range is held at its maximum.
    const std::vector<LRESULT> expected = {0, 10, makeRange(0, 100), 0, 1, 2, 3, 1, 3};
    EXPECT_EQ(progressResults, expected);
}

TEST_F(PosixDialog, DialogNeverEndedReturnsMinusOne) {
    endInCommand = false;
    EXPECT_EQ(DialogBoxParamA(nullptr, makeIntResource(102), nullptr, runRemovalShape, 0), -1);
    EXPECT_EQ(received.size(), 2u);
}

TEST_F(PosixDialog, NothingReachesTheDialogOnceItHasEnded) {
    DialogBoxParamA(nullptr, makeIntResource(102), nullptr, runRemovalShape, 0);
    std::size_t before = received.size();
    EXPECT_EQ(GetDlgItem(nullptr, 1000), nullptr);
    EXPECT_EQ(EndDialog(nullptr, 1), 0);
    EXPECT_EQ(DialogBoxParamA(nullptr, makeIntResource(102), nullptr, nullptr, 0), -1);
    EXPECT_EQ(received.size(), before);
}

// Standard error during a dialog: a terminal (the secondary side of a pseudo-terminal) or a
// plain file, and the file each step's output is checked against.
struct StandardError {
    int saved = -1;
    int terminal = -1;
    int primary = -1;
    int file = -1;
    std::string filePath;
};
StandardError standardError;

void switchStandardErrorToFile() { ::dup2(standardError.file, STDERR_FILENO); }

std::string fileText(const std::string& path) {
    std::string text;
    FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) return "(unreadable)";
    int c;
    while ((c = std::fgetc(in)) != EOF) text += static_cast<char>(c);
    std::fclose(in);
    return text;
}

// Whether standard error is a terminal is looked up once, when the dialog starts, not on every
// step of the bar: a removal steps it once per file. A dialog started on a terminal draws each
// step even after standard error has been moved to a file; one started on a file draws nothing.
TEST_F(PosixDialog, TerminalIsLookedUpOncePerDialog) {
    standardError.primary = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (standardError.primary < 0 || ::grantpt(standardError.primary) != 0 || ::unlockpt(standardError.primary) != 0) {
        if (standardError.primary >= 0) ::close(standardError.primary);
        GTEST_SKIP() << "no pseudo-terminal here";
    }
    standardError.terminal = ::open(::ptsname(standardError.primary), O_RDWR | O_NOCTTY);
    ASSERT_GE(standardError.terminal, 0);
    char pattern[] = "/tmp/uninst-dialog-XXXXXX";
    standardError.file = ::mkstemp(pattern);
    ASSERT_GE(standardError.file, 0);
    standardError.filePath = pattern;
    std::fflush(stderr);
    standardError.saved = ::dup(STDERR_FILENO);
    ASSERT_GE(standardError.saved, 0);

    ::dup2(standardError.terminal, STDERR_FILENO);
    beforeSteps = switchStandardErrorToFile;
    EXPECT_EQ(DialogBoxParamA(nullptr, makeIntResource(102), nullptr, runRemovalShape, 0), 1);
    std::string drawn = fileText(standardError.filePath);

    ::ftruncate(standardError.file, 0);
    ::lseek(standardError.file, 0, SEEK_SET);
    ::dup2(standardError.file, STDERR_FILENO);
    beforeSteps = nullptr;
    EXPECT_EQ(DialogBoxParamA(nullptr, makeIntResource(102), nullptr, runRemovalShape, 0), 1);
    std::string notDrawn = fileText(standardError.filePath);

    ::dup2(standardError.saved, STDERR_FILENO);
    ::close(standardError.saved);
    ::close(standardError.file);
    ::close(standardError.terminal);
    ::close(standardError.primary);
    ::unlink(standardError.filePath.c_str());

    // Four steps and two positions after the move, then the finished bar and its line's end.
    EXPECT_EQ(drawn,
              "\r[#############...........................]  1/3"
              "\r[##########################..............]  2/3"
              "\r[########################################]  3/3"
              "\r[#############...........................]  1/3"
              "\r[########################################]  3/3"
              "\r[........................................]  0/3"
              "\r[########################################]  done, 4 steps\n");
    EXPECT_EQ(notDrawn, "");
}

TEST(PosixWindows, OwnerWindowAndDesktop) {
    InitCommonControls();
    HWND owner = CreateWindowExA(0, "", "", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(owner, nullptr);
    EXPECT_NE(DestroyWindow(owner), 0);
    EXPECT_NE(GetDesktopWindow(), nullptr);
    EXPECT_NE(GetDesktopWindow(), owner);
    char name[16] = "untouched";
    EXPECT_EQ(GetClassNameA(owner, name, sizeof name), 0);
    EXPECT_EQ(std::string(name), "");
}

}  // namespace
