// Recognising a running application by the class name of a top-level window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "double/fake.h"
#include "frontend/command_line.h"
#include "frontend/message_texts.h"
#include "frontend/running_check.h"

namespace {

class RunningCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake::reset();
        resetCommandLineOptions();
    }
    void useListSection(const char* section) {
        std::string option = std::string("-c") + section;
        parseCommandLine(option.c_str());
        loadMessageTexts(nullptr, commandLineOptions.listSection);
    }
};

TEST_F(RunningCheckTest, FindsTheTopmostWindowWhoseClassBeginsWithTheName) {
    struct Case {
        std::vector<std::string> classes;  // topmost first
        const char* lookedFor;
        int expectedIndex;  // -1: none
    };
    for (const Case& c : {
             Case{{}, "VantrellMailConfig", -1},
             Case{{"VantrellMailConfig"}, "VantrellMailConfig", 0},
             Case{{"Shell_TrayWnd", "Other", "VantrellMailConfig"}, "VantrellMailConfig", 2},
             Case{{"VantrellMailConfigEx"}, "VantrellMailConfig", 0},
             Case{{"vantrellmailconfig"}, "VantrellMailConfig", -1},
             Case{{"VantrellMail"}, "VantrellMailConfig", -1},
             Case{{"A", "VantrellMailConfig2", "VantrellMailConfig"}, "VantrellMailConfig", 1},
             Case{{"Shell_TrayWnd"}, "", -1},
         }) {
        fake::reset();
        std::vector<platform::HWND> windows;
        for (const std::string& name : c.classes) windows.push_back(fake::addWindow(name));
        platform::HWND expected = c.expectedIndex < 0 ? nullptr : windows[static_cast<std::size_t>(c.expectedIndex)];
        EXPECT_EQ(findRunningWindow(c.lookedFor), expected) << "looking for \"" << c.lookedFor << "\"";
    }
}

TEST_F(RunningCheckTest, HiddenWindowsCountAndUnreadableClassesDoNot) {
    platform::HWND unreadable = fake::addWindow("VantrellScanFileUtil");
    fake::failClassNameOf(unreadable);
    platform::HWND hidden = fake::addWindow("VantrellScanFileUtil", /*hidden=*/true);
    EXPECT_EQ(findRunningWindow("VantrellScanFileUtil"), hidden);
}

TEST_F(RunningCheckTest, TheListSectionDecidesWhichApplicationsBlock) {
    struct Case {
        const char* listSection;
        const char* openClass;
        bool blocks;
        const char* message;
    };
    for (const Case& c : {
             Case{"Files_File", "VantrellMailConfig", false, nullptr},
             Case{"Files_File", "VantrellScanFileUtil", true, "Terminate the program before uninstall the software."},
             Case{"Files_Deliv", "VantrellScanFileUtil", true, "Terminate the program before uninstall the software."},
             Case{"Files_Deliv", "VantrellMailConfig", true, "Terminate the program before uninstall the software."},
             Case{"FILES", "VantrellScanFileUtil", true, "Terminate the program before uninstall the software."},
             Case{"Files_Deliv", "Notepad", false, nullptr},
         }) {
        SCOPED_TRACE(std::string(c.listSection) + " with " + c.openClass);
        fake::reset();
        resetCommandLineOptions();
        fake::addFile("C:\\Program Files\\Uninst\\UNINST.ini", "[STATIC]\nCLOSEMON_F=Close the file utility.\n");
        fake::addWindow(c.openClass);
        useListSection(c.listSection);
        EXPECT_EQ(checkRunningApplications(nullptr), c.blocks);
        auto boxes = fake::calls({"MessageBoxA"});
        if (!c.blocks) {
            EXPECT_TRUE(boxes.empty());
            continue;
        }
        std::string closeText = listSectionIs("Files_File") ? "Close the file utility." : c.message;
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0], "MessageBoxA(null, \"" + closeText + "\", \"Uninstaller\", 0x0) -> 1");
    }
}

TEST_F(RunningCheckTest, AnEmptyClassNameInTheMessageFileMatchesNoWindow) {
    fake::addFile("C:\\Program Files\\Uninst\\UNINST.ini", "[STATIC]\nWINNAME_F=\nWINNAME_D=\n");
    fake::addWindow("Shell_TrayWnd");
    fake::addWindow("Progman");
    useListSection("Files_Deliv");
    EXPECT_FALSE(checkRunningApplications(nullptr));
    EXPECT_TRUE(fake::calls({"MessageBoxA"}).empty());
}

}  // namespace
