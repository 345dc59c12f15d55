// The uninstaller from its command line to its exit code.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "double/fake.h"
#include "frontend/driver.h"
#include "sample_machine.h"

namespace {

using Strings = std::vector<std::string>;

// A folder path of 127 bytes: C:\, the digit, 表 (95 5C) sixty-one times and an x.
std::string longFolder(char digit) {
    std::string path = std::string("C:\\") + digit;
    for (int i = 0; i < 61; ++i) path += "\x95\x5c";
    return path + "x";
}

// The same in the completion message: 40 bytes, then indented lines of 36.
std::string brokenFolder(char digit) {
    std::string path = longFolder(digit), lines = path.substr(0, 40);
    for (std::size_t at = 40; at < path.size(); at += 36) lines += "\\n    " + path.substr(at, 36);
    return lines;
}

// Lists folders as files of Files_Deliv (they stay: access denied), after an uninstall entry
// that keeps a subkey when one is named.
void listFoldersAsFiles(char count, const std::string& entry = "") {
    std::string list = "[UnInstKey]\nUnInstKey_Deliv=" + entry + "\n[Files_Deliv]\n";
    for (char d = '0'; d < '0' + count; ++d) {
        list += std::string("FILE0") + d + "=" + longFolder(d) + "\n";
        fake::addFolder(longFolder(d));
    }
    if (!entry.empty()) fake::addKey(std::string(sample::uninstallKey) + "\\" + entry + "\\Sub");
    fake::addFile(sample::listFile, list);
}

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

// Also when listed things stay; the completion message then names them (its log line given).
TEST_F(DriverTest, EveryOtherPathEndsWithExitCodeZero) {
    struct Case {
        const char* commandLine;
        std::vector<int> answers;
        void (*machine)() = [] {};
        std::string lastBox = "";
    };
    auto box = [](const std::string& text) { return "MessageBoxA(null, \"" + text + "\", \"Complete\", 0x30) -> 1"; };
    std::string more = "Some items could not be removed:";
    std::string cut = std::string(230, 'm') + "\\nSOFTWARE\\Microsoft\\Windows\\\\n    CurrentVersion\\Uninstall\\";
    for (int n : {36, 36, 36, 36, 36, 36, 36, 7}) cut += "\\n    " + std::string(n, 'u');  // 259 u
    for (char d : {'0', '1', '2', '3', '4'}) more += "\\n" + brokenFolder(d);
    for (char d : {'0', '1'}) cut += "\\n" + brokenFolder(d);
    cut += "\\nand 3 more";  // the third folder would leave no room for this line
    const Case cases[] = {
        {"", {platform::IDYES, platform::IDOK}},
        {"-cFiles_File", {platform::IDNO}},
        {"-cNothing -fC:\\missing.ini", {platform::IDYES, platform::IDOK}},
        {"-cFiles_Deliv", {platform::IDOK}},
        {"-cFiles_Deliv -fC:\\Data\\list.ini", {platform::IDYES}, [] { listFoldersAsFiles(7); },
         box(more + "\\nand 2 more")},
        {"-cFiles_Deliv -fC:\\Data\\list.ini", {platform::IDYES},
         [] {
             fake::addFile("C:\\Program Files\\Uninst\\UNINST.ini", "[STATIC]\nMSGBOX01=" + std::string(230, 'm'));
             listFoldersAsFiles(5, std::string(259, 'u'));
         },
         box(cut)},
        {"-cFiles_Deliv -fC:\\Data\\list.ini", {platform::IDYES},  // a half 表 ends the heading; one folder twice
         [] {
             fake::addFile("C:\\Program Files\\Uninst\\UNINST.ini", "[STATIC]\nMSGBOX01=" + std::string(253, 'm') + "\x95\x5c");
             listFoldersAsFiles(6);
             fake::addFile(sample::listFile, fake::fileBytes(sample::listFile) + "FILE06=" + longFolder('5') + "\n");
         },
         box(std::string(253, 'm') + more.substr(32) + "\\nand 1 more")},
        {"-cFiles_File", {platform::IDNO},  // the prompt's heading and question end between characters
         [] { fake::addFile("C:\\Program Files\\Uninst\\UNINST.ini", "[STATIC]\nDIALOG00_F=" + std::string(251, 'h') + "\x95\x5c\x95\x5c\nDIALOG01=q\x95\x5c"); },
         "MessageBoxA(window1, \"" + std::string(251, 'h') + "\x95\x5c\\nq\", \"Uninstaller\", 0x24) -> 7"},
    };
    for (const Case& c : cases) {
        fake::reset();
        c.machine();
        fake::scriptAnswers(c.answers);
        EXPECT_EQ(runUninstaller(nullptr, c.commandLine), 0) << c.commandLine;
        EXPECT_EQ(c.lastBox.empty() ? c.lastBox : fake::calls({"MessageBoxA"}).back(), c.lastBox);
    }
}

TEST_F(DriverTest, UnattendedRunsShowNoBoxEndWithTheirCodeAndRemoveWithoutTheDialog) {
    const struct { const char* switches; void (*machine)(); int exitCode; bool removed; std::size_t boxes; } cases[] = {
        {"-s", [] {}, 0, true, 0}, {"/Silent", [] {}, 0, true, 0}, {"-sfoo", [] {}, 0, true, 2},
        {"/qn", [] { fake::addWindow("VantrellScanFileUtil"); }, 1618, false, 0},
        {"/VERYSILENT", [] { fake::denyKey("Software\\Vantrell\\Deliv"); }, 1603, true, 0},
        {"/S", [] { fake::failAllocationFrom(1); }, 1, false, 0},
        {"/QUIET", fake::failWindowCreation, 0, true, 0}, {"", fake::failWindowCreation, 0, true, 2}};
    for (const auto& c : cases) {
        fake::reset();
        sample::installBothUtilities(0, 1);
        c.machine();
        fake::scriptAnswers({platform::IDYES, platform::IDOK});
        std::string line = c.switches + std::string(" -cFiles_Deliv -fC:\\Data\\list.ini");
        EXPECT_EQ(runUninstaller(nullptr, line.c_str()), c.exitCode) << c.switches;
        EXPECT_EQ(fake::calls({"MessageBoxA"}).size(), c.boxes) << c.switches;
        EXPECT_NE(fake::exists("C:\\Apps\\Deliv\\Bin\\deliv.exe"), c.removed) << c.switches;
    }
}

}  // namespace
