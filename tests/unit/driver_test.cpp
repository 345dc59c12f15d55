// The uninstaller from its command line to its exit code.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "double/fake.h"
#include "frontend/driver.h"
#include "sample_machine.h"

namespace {

using Strings = std::vector<std::string>;

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override { fake::reset(); }
};

TEST_F(DriverTest, WithoutArgumentsItAsksAboutTheDefaultsAndNoChangesNothing) {
    sample::installBothUtilities(0, 1);
    fake::addFile("C:\\Windows\\ZADAvuz.ini", sample::listFileText(0, 1));
    Strings before = fake::tree();
    fake::scriptAnswers({platform::IDNO});
    EXPECT_EQ(runUninstaller(nullptr, ""), 0);
    EXPECT_EQ(fake::calls({"MessageBoxA", "InitCommonControls", "DialogBoxParamA"}),
              Strings{"MessageBoxA(window1, \"Uninstall Programs.\\nAre you Sure ?\", \"Uninstaller\", 0x24) -> 7"});
    EXPECT_EQ(fake::tree(), before);
    EXPECT_EQ(fake::fileBytes("C:\\Windows\\ZADAvuz.ini"), sample::listFileText(0, 1));
    EXPECT_TRUE(fake::keyExists("Software\\Vantrell\\DUZORE32\\Application"));
    EXPECT_TRUE(fake::calls({"WritePrivateProfileStringA", "DeleteFileA", "RemoveDirectoryA", "RegDeleteKeyA"}).empty());
    // Both applications' windows were looked for, with the default list file and section.
    EXPECT_EQ(fake::calls({"DestroyWindow"}), Strings{"DestroyWindow(window1) -> 1"});
}

TEST_F(DriverTest, NothingIsRemovedWithoutAnExplicitYes) {
    for (int answer : {0, platform::IDOK, 2 /* IDCANCEL */}) {
        fake::reset();
        sample::installBothUtilities(0, 1);
        fake::scriptAnswers({answer});
        EXPECT_EQ(runUninstaller(nullptr, "-cFiles_Deliv -fC:\\Data\\list.ini"), 0);
        EXPECT_TRUE(fake::calls({"InitCommonControls", "DialogBoxParamA"}).empty()) << "answer " << answer;
    }
}

TEST_F(DriverTest, TheRoadOfOneUninstallOfTheDeliveryUtility) {
    sample::installBothUtilities(0, 1);
    fake::addWindow("Shell_TrayWnd");
    fake::scriptAnswers({platform::IDYES, platform::IDOK});
    EXPECT_EQ(runUninstaller(nullptr, "-cFiles_Deliv -fC:\\Data\\list.ini"), 0);

    Strings seen = fake::calls({"CreateWindowExA", "GetTopWindow", "MessageBoxA", "InitCommonControls",
                                "DialogBoxParamA", "DestroyWindow"});
    EXPECT_EQ(seen, (Strings{
                        "CreateWindowExA(0, \"\", \"\", 0xcf0000, 0, 0, 0, 0, null, null) -> window1",
                        "GetTopWindow(desktop) -> top1",
                        "GetTopWindow(desktop) -> top1",
                        "MessageBoxA(window1, \"Uninstall Programs.\\nAre you Sure ?\", \"Uninstaller\", 0x24) -> 6",
                        "InitCommonControls()",
                        "DialogBoxParamA(102, window1) -> 1",
                        "MessageBoxA(null, \"Uninstall is Complete\", \"Complete\", 0x0) -> 1",
                        "DestroyWindow(window1) -> 1",
                    }));
    EXPECT_EQ(fake::tree(), (Strings{"C:\\Apps", "C:\\Apps\\File", "C:\\Apps\\File\\Empty", "C:\\Apps\\File\\file.exe",
                                     "C:\\Apps\\File\\Temp", "C:\\Data", "C:\\Data\\list.ini", "C:\\Windows",
                                     "C:\\Windows\\System"}));
    EXPECT_EQ(fake::fileBytes(sample::listFile), sample::listFileText(0, 0));
    EXPECT_FALSE(fake::keyExists("Software\\Vantrell\\DUZORE32"));
}

TEST_F(DriverTest, ARunningApplicationStopsEverythingBeforeThePrompt) {
    sample::installBothUtilities(0, 1);
    fake::addWindow("VantrellScanFileUtil");
    Strings before = fake::tree();
    EXPECT_EQ(runUninstaller(nullptr, "-cFiles_Deliv -fC:\\Data\\list.ini"), 0);
    EXPECT_EQ(fake::calls({"MessageBoxA", "DialogBoxParamA"}),
              Strings{"MessageBoxA(window1, \"Terminate the program before uninstall the software.\", "
                      "\"Uninstaller\", 0x0) -> 1"});
    EXPECT_EQ(fake::tree(), before);
}

TEST_F(DriverTest, CustomTextsFromTheMessageFileAndAPromptCutToItsBuffer) {
    fake::addFile("C:\\Program Files\\Uninst\\UNINST.ini",
                  "[TITLE]\nDIALOG=Remover\nMSGBOX=Finished\n[STATIC]\nDIALOG00_F=" + std::string(200, 'h') +
                      "\nDIALOG01=" + std::string(200, 'q') + "\nMSGBOX00=All gone.\n");
    fake::scriptAnswers({platform::IDYES, platform::IDOK});
    EXPECT_EQ(runUninstaller(nullptr, "-cFiles_File -fC:\\Data\\none.ini"), 0);
    Strings boxes = fake::calls({"MessageBoxA"});
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], "MessageBoxA(window1, \"" + std::string(200, 'h') + "\\n" + std::string(54, 'q') +
                            "\", \"Remover\", 0x24) -> 6");
    EXPECT_EQ(boxes[1], "MessageBoxA(null, \"All gone.\", \"Finished\", 0x0) -> 1");
}

TEST_F(DriverTest, AnAllocationFailureEndsWithExitCodeOneAndNoCompletionMessage) {
    sample::installBothUtilities(0, 1);
    fake::failAllocationFrom(1);
    fake::scriptAnswers({platform::IDYES, platform::IDOK});
    EXPECT_EQ(runUninstaller(nullptr, "-cFiles_Deliv -fC:\\Data\\list.ini"), 1);
    Strings boxes = fake::calls({"MessageBoxA"});
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1], "MessageBoxA(null, \"Memory allocation error\", null, 0x0) -> 1");
    EXPECT_TRUE(fake::exists("C:\\Apps\\Deliv\\Bin\\deliv.exe"));
}

TEST_F(DriverTest, EveryOtherPathEndsWithExitCodeZero) {
    struct Case {
        const char* commandLine;
        std::vector<int> answers;
    };
    for (const Case& c : {Case{"", {platform::IDYES, platform::IDOK}}, Case{"-cFiles_File", {platform::IDNO}},
                          Case{"-cNothing -fC:\\missing.ini", {platform::IDYES, platform::IDOK}},
                          Case{"-cFiles_Deliv", {platform::IDOK}}}) {
        fake::reset();
        fake::scriptAnswers(c.answers);
        EXPECT_EQ(runUninstaller(nullptr, c.commandLine), 0) << c.commandLine;
    }
}

}  // namespace
