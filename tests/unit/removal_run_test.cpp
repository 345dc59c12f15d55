// The removal run inside the progress dialog: the application, the shared parts when no
// other application needs them, and the installed flag.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "double/fake.h"
#include "frontend/command_line.h"
#include "frontend/message_texts.h"
#include "removal/leftovers.h"
#include "removal/removal_run.h"
#include "removal/section_removal.h"
#include "sample_machine.h"

namespace {

using Strings = std::vector<std::string>;

class RemovalRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake::reset();
        resetCommandLineOptions();
        clearDirectoryChain();
    }
    void runWith(const char* listSection) {
        std::string line = std::string("-c") + listSection + " -f" + sample::listFile;
        parseCommandLine(line.c_str());
        loadMessageTexts(nullptr, commandLineOptions.listSection);
        fake::clearCalls();
        runRemovalDialog(nullptr);
    }
    static bool has(const std::string& path) { return fake::exists(path); }
    static std::string listFileText() { return fake::fileBytes(sample::listFile); }
};

TEST_F(RemovalRunTest, TheDialogStartsTheRunFromItsInitialisationAndEndsItself) {
    sample::installBothUtilities(0, 1);
    runWith("Files_Deliv");
    Strings dialog = fake::calls({"DialogBoxParamA", "GetDlgItem", "ShowWindow", "EndDialog", "SendMessageA"});
    ASSERT_GE(dialog.size(), 7u);
    EXPECT_EQ(Strings(dialog.begin(), dialog.begin() + 6),
              (Strings{"GetDlgItem(dialog, 1000) -> progress", "SendMessageA(progress, PBM_SETPOS, 0, 0) -> 0",
                       "SendMessageA(progress, PBM_SETSTEP, 1, 0) -> 0", "ShowWindow(dialog, 1) -> 1",
                       "SendMessageA(dialog, WM_COMMAND, 1000, 0) -> 1",
                       // Files_Deliv: 3 install folders + 2 files, range 0..5 in the high word.
                       "SendMessageA(progress, PBM_SETRANGE, 0, 327680) -> 0"}));
    EXPECT_EQ(dialog[dialog.size() - 2], "EndDialog(dialog, 1) -> 1");
    EXPECT_EQ(dialog.back(), "DialogBoxParamA(102, null) -> 1");
    // Files_Deliv: 1 + 2 + 2 + 1; Files_Common: 1 + 1 + (6 - 1) + 1; Files_DLL: 1 + 1 + (9 - 1) + 1.
    EXPECT_EQ(fake::progressStepCount(), 6 + 8 + 11);
}

TEST_F(RemovalRunTest, DeliveryUtilityAloneRemovesSharedPartsAndTheComponent) {
    sample::installBothUtilities(0, 1);
    runWith("Files_Deliv");
    EXPECT_FALSE(has("C:\\Apps\\Deliv"));
    EXPECT_FALSE(has("C:\\Apps\\Common"));
    EXPECT_FALSE(has("C:\\Windows\\System\\duzore32.dll"));
    EXPECT_TRUE(has("C:\\Apps\\File\\file.exe"));
    EXPECT_TRUE(has("C:\\Apps\\File\\Empty")) << "the file utility's folders are swept only for other sections";
    EXPECT_FALSE(fake::keyExists("Software\\Vantrell\\DUZORE32"));
    EXPECT_FALSE(fake::keyExists("Software\\Vantrell\\Deliv"));
    EXPECT_FALSE(fake::keyExists(std::string(sample::uninstallKey) + "\\DelivUtil"));
    EXPECT_TRUE(fake::keyExists(std::string(sample::uninstallKey) + "\\FileUtil"));
    EXPECT_EQ(listFileText(), sample::listFileText(0, 0));
    EXPECT_EQ(fake::openKeyCount(), 0);
    EXPECT_EQ(fake::openSearchCount(), 0);
}

TEST_F(RemovalRunTest, TheFlagsDecideWhetherSharedPartsGo) {
    struct Case {
        const char* listSection;
        const char* listFile;
        bool sharedPartsGo;
        const char* listFileAfter;  // null: unchanged
    };
    const Case cases[] = {
        {"Files_File", "[Utility]\nFileUtility=1\nDelivUtility=0\n", true, "[Utility]\nFileUtility=0\nDelivUtility=0\n"},
        {"Files_File", "[Utility]\nFileUtility=1\nDelivUtility=1\n", false, "[Utility]\nFileUtility=0\nDelivUtility=1\n"},
        {"Files_Deliv", "[Utility]\nFileUtility=1\nDelivUtility=1\n", false, "[Utility]\nFileUtility=1\nDelivUtility=0\n"},
        {"Files_Deliv", "[Utility]\nFileUtility=0\n", false, "[Utility]\nFileUtility=0\nDelivUtility=0\n"},
        {"Files_Deliv", "[Utility]\nDelivUtility=2\n", false, "[Utility]\nDelivUtility=0\n"},
        {"Files_Deliv", "[Utility]\nDelivUtility=1\n", true, "[Utility]\nDelivUtility=0\n"},
        {"FILES", "[Utility]\nFileUtility=1\nDelivUtility=0\n", false, nullptr},
        {"files_file", "[Utility]\nFileUtility=1\nDelivUtility=0\n", false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.listSection) + ": " + c.listFile);
        SetUp();
        fake::addFile(sample::listFile, std::string(c.listFile) + "[Files_Common]\nFILE00=C:\\Common\\c.dll\n");
        fake::addFile("C:\\Common\\c.dll");
        runWith(c.listSection);
        EXPECT_EQ(!has("C:\\Common\\c.dll"), c.sharedPartsGo);
        std::string expected = c.listFileAfter == nullptr ? std::string(c.listFile) : std::string(c.listFileAfter);
        EXPECT_EQ(listFileText(), expected + "[Files_Common]\nFILE00=C:\\Common\\c.dll\n");
        if (c.listFileAfter == nullptr) {
            EXPECT_TRUE(fake::calls({"GetPrivateProfileIntA", "WritePrivateProfileStringA"}).empty());
        }
    }
}

TEST_F(RemovalRunTest, TheSharedComponentGoesOnlyWhenNoApplicationIsLeftRegistered) {
    struct Case {
        const char* name;
        void (*registry)();
        bool componentFilesGo;
        Strings registryCalls;
    };
    const std::string appKey = sample::applicationKey;
    const Case cases[] = {
        {"application key missing", [] {}, true,
         {"RegOpenKeyExA(HKLM, \"Software\\Vantrell\\DUZORE32\\Application\", 0, 0xf003f) -> 2",
          "RegOpenKeyA(HKLM, \"Software\\Vantrell\\DUZORE32\\Application\") -> 2",
          "RegDeleteKeyA(HKLM, \"Software\\Vantrell\\DUZORE32\\Application\") -> 2",
          "RegDeleteKeyA(HKLM, \"Software\\Vantrell\\DUZORE32\") -> 2"}},
        {"own registration only", [] { fake::setValue(sample::applicationKey, "ScannerUtility", "1"); }, true,
         {"RegOpenKeyExA(HKLM, \"Software\\Vantrell\\DUZORE32\\Application\", 0, 0xf003f) -> 0",
          "RegDeleteValueA(hkey1, \"ScannerUtility\") -> 0", "RegCloseKey(hkey1) -> 0",
          "RegOpenKeyA(HKLM, \"Software\\Vantrell\\DUZORE32\\Application\") -> 0",
          "RegEnumValueA(hkey2, 0) -> 259", "RegCloseKey(hkey2) -> 0",
          "RegDeleteKeyA(HKLM, \"Software\\Vantrell\\DUZORE32\\Application\") -> 0",
          "RegDeleteKeyA(HKLM, \"Software\\Vantrell\\DUZORE32\") -> 0"}},
        {"another application still registered",
         [] {
             fake::setValue(sample::applicationKey, "ScannerUtility", "1");
             fake::setValue(sample::applicationKey, "OtherApp", "1");
         },
         false,
         {"RegOpenKeyExA(HKLM, \"Software\\Vantrell\\DUZORE32\\Application\", 0, 0xf003f) -> 0",
          "RegDeleteValueA(hkey1, \"ScannerUtility\") -> 0", "RegCloseKey(hkey1) -> 0",
          "RegOpenKeyA(HKLM, \"Software\\Vantrell\\DUZORE32\\Application\") -> 0",
          "RegEnumValueA(hkey2, 0) -> 0", "RegCloseKey(hkey2) -> 0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        fake::addFile(sample::listFile,
                      "[Utility]\nDelivUtility=1\n[Files_Common]\nFILE00=C:\\Common\\c.dll\n"
                      "[Files_DLL]\nFILE00=C:\\Shared\\component.dll\n");
        fake::addFile("C:\\Common\\c.dll");
        fake::addFile("C:\\Shared\\component.dll");
        c.registry();
        runWith("Files_Deliv");
        EXPECT_FALSE(has("C:\\Common\\c.dll"));
        EXPECT_EQ(!has("C:\\Shared\\component.dll"), c.componentFilesGo);
        Strings registry = fake::calls({"RegOpenKeyExA", "RegOpenKeyA", "RegEnumValueA", "RegDeleteValueA", "RegCloseKey"});
        for (const std::string& call : fake::calls({"RegDeleteKeyA"})) {
            if (call.find("DUZORE32") != std::string::npos) registry.push_back(call);
        }
        EXPECT_EQ(registry, c.registryCalls);
        EXPECT_EQ(fake::openKeyCount(), 0);
        EXPECT_EQ(fake::keyExists(appKey), !c.componentFilesGo);
    }
}

TEST_F(RemovalRunTest, TheDeliveryUtilityEmptiesItsExtraFoldersTheOthersSweepTheFileUtilityFolder) {
    sample::installBothUtilities(1, 1);
    runWith("Files_Deliv");
    EXPECT_FALSE(has("C:\\Apps\\Deliv\\Cache"));
    EXPECT_TRUE(has("C:\\Apps\\File\\Empty"));

    SetUp();
    sample::installBothUtilities(1, 1);
    runWith("FILES");
    EXPECT_TRUE(has("C:\\Apps\\Deliv\\Cache\\mail1.tmp"));
    EXPECT_FALSE(has("C:\\Apps\\File\\Empty"));
    EXPECT_FALSE(has("C:\\Apps\\File\\Temp"));
    EXPECT_TRUE(has("C:\\Apps\\File\\file.exe"));
    EXPECT_TRUE(fake::calls({"Sleep"}).empty()) << "no extra folders and no PATH entries for FILES";
}

TEST_F(RemovalRunTest, AnExtraFolderPeopleKeepTheirFilesInIsNeitherEmptiedNorRemovedButNamed) {
    struct Case {
        const char* folder;  // the Folder00 value; the machine has a file in the folder it names
        bool swept;
    };
    const Case cases[] = {
        {"C:\\Users\\me\\Desktop", false},
        {"C:\\Users\\me\\Music. .", false},  // Windows drops the dots and spaces a name ends in
        {"c:\\users\\ME\\Documents\\Scans\\Outbox", true},
        {"C:\\Users\\me\\Scans\\..\\AppData\\.\\Roaming\\", false},
        {"C:\\Users\\\x95\x5c\\Desktop", false},  // a profile whose name ends in 0x5C
        {"D:\\Documents and Settings\\you", false},   // the users' folder before Vista
        {"D:\\", false},
        {"C:\\Windows\\SysWOW64", false},
        {"C:\\Program Files (x86)", false},
        {"C:\\Program Files (x86)\\Vantrell\\Outbox", true},
        {"Outbox", false},  // below whatever the current folder is
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        SetUp();
        fake::setEnvironmentVariable("SystemRoot", "C:\\Windows");
        fake::setEnvironmentVariable("ProgramFiles", "C:\\Program Files (x86)");
        fake::setEnvironmentVariable("PUBLIC", "C:\\Users\\Public");
        fake::setEnvironmentVariable("ALLUSERSPROFILE", "D:\\Documents and Settings\\All Users");
        fake::addFile(sample::listFile, std::string("[Extra_Deliv]\nFolder00=") + c.folder + "\n");
        std::string file = std::string(c.folder) + (std::string(c.folder).ends_with('\\') ? "" : "\\") + "a.txt";
        fake::addFile(file);
        Leftovers record{};
        leftoverRecord = &record;
        runWith("Files_Deliv");
        leftoverRecord = nullptr;
        EXPECT_EQ(!has(file), c.swept);
        EXPECT_EQ(record.count, c.swept ? 0 : 1);
        EXPECT_EQ(std::string(record.named[0]), c.swept ? "" : std::string(c.folder) + " (not emptied)");
    }
}

TEST_F(RemovalRunTest, AnAllocationFailureEndsTheRunWithNothingMoreRemoved) {
    sample::installBothUtilities(0, 1);
    fake::failAllocationFrom(4);  // the first copy of the chain has 3 nodes; Files_Common's first fails
    runWith("Files_Deliv");
    EXPECT_TRUE(allocationFailed());
    EXPECT_FALSE(has("C:\\Apps\\Deliv\\Bin\\deliv.exe"));
    EXPECT_TRUE(has("C:\\Apps\\Common\\common.dll"));
    EXPECT_EQ(listFileText(), sample::listFileText(0, 1)) << "the flag is not written";
    EXPECT_EQ(fake::calls({"EndDialog"}), Strings{"EndDialog(dialog, 1) -> 1"});
}

}  // namespace
