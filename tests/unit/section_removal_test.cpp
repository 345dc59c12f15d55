// Counting and removing one list section; the chain of install folders.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "double/fake.h"
#include "frontend/command_line.h"
#include "removal/primitives.h"
#include "removal/section_removal.h"
#include "removal/uninstall_list.h"

namespace {

using Strings = std::vector<std::string>;

struct StepCounter {
    int range = -1;
    int steps = 0;
    ProgressSink sink() {
        return ProgressSink{[](void* self, int count) { static_cast<StepCounter*>(self)->range = count; },
                            [](void* self) { ++static_cast<StepCounter*>(self)->steps; }, this};
    }
};

class SectionRemovalTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake::reset();
        resetCommandLineOptions();
        parseCommandLine("-cFiles_Deliv -fC:\\Data\\list.ini");
        clearDirectoryChain();
    }
    void writeList(const std::string& text) { fake::addFile("C:\\Data\\list.ini", text); }
    static Strings chain() {
        Strings paths;
        for (ChainNode* node = directoryChain.head; node != nullptr; node = node->next) paths.push_back(node->path);
        return paths;
    }
};

TEST_F(SectionRemovalTest, InstallPathsBecomeChainPrefixes) {
    struct Case {
        std::string installPath;
        Strings nodes;
    };
    const std::string dir120 = "C:\\" + std::string(120, 'd');  // 123 characters
    for (const Case& c : {
             Case{"C:\\Apps\\Tool\\Bin", {"C:\\Apps", "C:\\Apps\\Tool", "C:\\Apps\\Tool\\Bin"}},
             Case{"C:\\Apps", {"C:\\Apps"}},
             Case{"C:", {}},
             Case{"", {}},
             Case{"C:\\Apps\\\\Tool\\", {"C:\\Apps", "C:\\Apps\\Tool"}},
             Case{"\\\\host\\share\\dir", {"\\\\host\\share", "\\\\host\\share\\dir"}},
             Case{"\\Apps\\Tool", {"\\Apps\\Tool"}},
             Case{"C:/Apps/Tool\\Bin", {"C:/Apps/Tool\\Bin"}},
             // The third prefix would be 128 characters: the chain stops before it.
             Case{dir120 + "\\abc\\defg", {dir120, dir120 + "\\abc"}},
             Case{dir120 + "\\ab\\c", {dir120, dir120 + "\\ab"}},
             Case{dir120 + "\\a\\b", {dir120, dir120 + "\\a", dir120 + "\\a\\b"}},
         }) {
        SCOPED_TRACE(c.installPath);
        fake::reset();
        clearDirectoryChain();
        writeList("[UNINSTALL_Files_Deliv]\nPATH=" + c.installPath + "\n[Files_Deliv]\nFILE00=C:\\a\nFILE01=C:\\b\n");
        EXPECT_EQ(countSectionItems("Files_Deliv"), static_cast<int>(c.nodes.size()) + 2);
        EXPECT_EQ(chain(), c.nodes);
    }
}

// In code page 932 the second byte of 表 (95 5C) and of ソ (83 5C) is the byte of the backslash.
TEST_F(SectionRemovalTest, DoubleByteCharactersEndingIn5CAreNoBackslashes) {
    const std::string hyo = "\x95\x5C", so = "\x83\x5C";
    const std::string list = "C:\\Apps\\\x88\xEA\x97\x97" + hyo;        // C:\Apps\一覧表
    const std::string soft = "C:\\" + so + "\x83\x74\x83\x67";             // C:\ソフト
    const std::string middle = "C:\\A" + so + "B\\" + hyo + hyo;          // C:\AソB\表表
    struct Case {
        std::string path, name, joined;
        Strings nodes, walk;  // walk: the folders removed in turn, the last one failing
    };
    for (const Case& c : {
             Case{list, "b.txt", list + "\\b.txt", {"C:\\Apps", list}, {list, "C:\\Apps", "C:"}},
             Case{soft + "\\Tool", hyo + "b", soft + "\\Tool\\" + hyo + "b", {soft, soft + "\\Tool"},
                  {soft + "\\Tool", soft, "C:"}},
             Case{middle + "\\", "\\" + so, middle + "\\" + so, {"C:\\A" + so + "B", middle}, {middle + "\\", middle}},
         }) {
        SCOPED_TRACE(c.path);
        fake::reset();
        clearDirectoryChain();
        writeList("[UNINSTALL_Files_Deliv]\nPATH=" + c.path + "\n");
        EXPECT_EQ(countSectionItems("Files_Deliv"), 2);
        EXPECT_EQ(chain(), c.nodes);

        char buffer[260];
        std::snprintf(buffer, sizeof buffer, "%s", c.path.c_str());
        EXPECT_EQ(appendPathComponent(buffer, sizeof buffer, c.name.c_str()), static_cast<int>(c.joined.size()));
        EXPECT_EQ(buffer, c.joined);

        fake::reset();
        fake::addFolder(c.walk.front());
        fake::clearCalls();
        removeDirectoryAndParents(c.path.c_str());
        Strings walk;
        for (const std::string& folder : c.walk) walk.push_back("RemoveDirectoryA(\"" + folder + "\") -> 1");
        walk.back().back() = '0';
        EXPECT_EQ(fake::calls({"RemoveDirectoryA"}), walk);
    }

    // A folder ending in 表 is searched inside, never as a pattern in its parent.
    fake::reset();
    fake::addFile("C:\\Data\\" + hyo + "\\a.txt");
    fake::addFile("C:\\Data\\" + hyo + "b.txt");
    fake::addFile("C:\\Data\\" + hyo + hyo + "b.txt");
    EXPECT_EQ(emptyAndRemoveFolder(("C:\\Data\\" + hyo).c_str()), 1);
    EXPECT_EQ(fake::tree(), (Strings{"C:\\Data", "C:\\Data\\" + hyo + "b.txt", "C:\\Data\\" + hyo + hyo + "b.txt"}));
}

TEST_F(SectionRemovalTest, AnInstallPathLongerThanItsBufferRecordsNothing) {
    writeList("[UNINSTALL_Files_Deliv]\nPATH=C:\\" + std::string(257, 'p') + "\n");
    EXPECT_EQ(countSectionItems("Files_Deliv"), 0);
    EXPECT_TRUE(chain().empty());
}

TEST_F(SectionRemovalTest, EveryCountAppendsAnotherCopyFromTheListSectionsInstallPath) {
    writeList(
        "[UNINSTALL_Files_Deliv]\nPATH=C:\\A\\B\\C\n[UNINSTALL_Files_Common]\nPATH=C:\\Wrong\\Place\n"
        "[Files_Common]\nFILE00=C:\\x\n");
    EXPECT_EQ(countSectionItems("Files_Deliv"), 3);
    EXPECT_EQ(countSectionItems("Files_Common"), 4);
    EXPECT_EQ(countSectionItems("Files_DLL"), 3);
    const Strings copy = {"C:\\A", "C:\\A\\B", "C:\\A\\B\\C"};
    Strings expected;
    for (int i = 0; i < 3; ++i) expected.insert(expected.end(), copy.begin(), copy.end());
    EXPECT_EQ(chain(), expected);
    EXPECT_EQ(directoryChain.tail->previous->path, std::string("C:\\A\\B"));
    EXPECT_EQ(directoryChain.head->previous, nullptr);
}

TEST_F(SectionRemovalTest, ProgressStepsAreTwoPlusFilesPlusChainLengthLessOne) {
    struct Case {
        std::string installPath;
        int files;
        int counts;  // how many times the section is counted first
        int steps;
    };
    for (const Case& c : {
             Case{"", 0, 1, 2},
             Case{"", 3, 1, 5},
             Case{"C:\\Apps", 0, 1, 2},
             Case{"C:\\Apps\\Tool\\Bin", 2, 1, 6},
             Case{"C:\\Apps\\Tool\\Bin", 2, 2, 9},
         }) {
        fake::reset();
        clearDirectoryChain();
        std::string list = "[UNINSTALL_Files_Deliv]\nPATH=" + c.installPath + "\n[Files_Deliv]\n";
        for (int i = 0; i < c.files; ++i) list += "FILE0" + std::to_string(i) + "=C:\\f" + std::to_string(i) + "\n";
        writeList(list);
        for (int i = 0; i < c.counts; ++i) countSectionItems("Files_Deliv");
        StepCounter counter;
        removeSection("Files_Deliv", counter.sink());
        EXPECT_EQ(counter.steps, c.steps) << c.installPath << " with " << c.files << " files, counted " << c.counts;
        EXPECT_EQ(counter.range, -1) << "removal only steps";
    }
}

TEST_F(SectionRemovalTest, RemovesEntryFilesFoldersKeysThenChainDeepestFirst) {
    writeList(
        "[UnInstKey]\nUnInstKey_Deliv=DelivUtil\nUnInstKey_File=FileUtil\n"
        "[UNINSTALL_Files_Deliv]\nPATH=C:\\Apps\\Deliv\\Bin\n"
        "[Files_Deliv]\nFILE00=C:\\Apps\\Deliv\\Bin\\a.exe\nFILE01=C:\\Apps\\Deliv\\Bin\\b.dll\n"
        "REGPATH00=Software\\Vantrell\\Deliv\n"
        "[Paths_Deliv]\nPATH00=C:\\Apps\\Deliv\\Bin\\Data\n");
    fake::addFile("C:\\Apps\\Deliv\\Bin\\a.exe");
    fake::addFile("C:\\Apps\\Deliv\\Bin\\b.dll", "", platform::FILE_ATTRIBUTE_READONLY);
    fake::addFolder("C:\\Apps\\Deliv\\Bin\\Data");
    fake::addFile("C:\\Apps\\Keep\\keep.txt");
    fake::addKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\DelivUtil");
    fake::addKey("Software\\Vantrell\\Deliv");
    EXPECT_EQ(countSectionItems("Files_Deliv"), 5);
    fake::clearCalls();
    StepCounter counter;
    removeSection("Files_Deliv", counter.sink());
    EXPECT_EQ(fake::calls({"RegDeleteKeyA", "SetFileAttributesA", "DeleteFileA", "RemoveDirectoryA", "Sleep"}),
              (Strings{
                  "RegDeleteKeyA(hkey1, \"DelivUtil\") -> 0",
                  "SetFileAttributesA(\"C:\\Apps\\Deliv\\Bin\\a.exe\", 0x80) -> 1",
                  "DeleteFileA(\"C:\\Apps\\Deliv\\Bin\\a.exe\") -> 1",
                  "SetFileAttributesA(\"C:\\Apps\\Deliv\\Bin\\b.dll\", 0x80) -> 1",
                  "DeleteFileA(\"C:\\Apps\\Deliv\\Bin\\b.dll\") -> 1",
                  "RemoveDirectoryA(\"C:\\Apps\\Deliv\\Bin\\Data\") -> 1",
                  "Sleep(200)",
                  "RemoveDirectoryA(\"C:\\Apps\\Deliv\\Bin\") -> 1",
                  "RemoveDirectoryA(\"C:\\Apps\\Deliv\") -> 1",
                  "RemoveDirectoryA(\"C:\\Apps\") -> 0",
                  "RegDeleteKeyA(HKLM, \"Software\\Vantrell\\Deliv\") -> 0",
                  "RemoveDirectoryA(\"C:\\Apps\\Deliv\\Bin\") -> 0",
                  "RemoveDirectoryA(\"C:\\Apps\\Deliv\") -> 0",
                  "RemoveDirectoryA(\"C:\\Apps\") -> 0",
              }));
    EXPECT_EQ(counter.steps, 6);
    EXPECT_EQ(fake::tree(), (Strings{"C:\\Apps", "C:\\Apps\\Keep", "C:\\Apps\\Keep\\keep.txt", "C:\\Data",
                                     "C:\\Data\\list.ini"}));
}

TEST_F(SectionRemovalTest, TheUninstallEntryKeyFollowsTheListSection) {
    writeList("[UnInstKey]\nUnInstKey_Deliv=DelivUtil\nUnInstKey_File=FileUtil\n");
    fake::addKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
    struct Case {
        const char* option;
        const char* entry;
    };
    for (const Case& c : {Case{"-cFiles_File", "FileUtil"}, Case{"-cFiles_Deliv", "DelivUtil"},
                          Case{"-cFILES", "DelivUtil"}, Case{"-cfiles_file", "DelivUtil"}}) {
        parseCommandLine(c.option);
        fake::clearCalls();
        StepCounter counter;
        removeSection("Files_Common", counter.sink());
        auto deletions = fake::calls({"RegDeleteKeyA"});
        ASSERT_EQ(deletions.size(), 1u) << c.option;
        EXPECT_NE(deletions[0].find(std::string("\"") + c.entry + "\""), std::string::npos) << deletions[0];
    }
}

TEST_F(SectionRemovalTest, ValuesTooLongForTheirBufferCountButAreNeverActedOn) {
    const std::string file127 = "C:\\" + std::string(124, 'g');
    const std::string file128 = "C:\\" + std::string(125, 'f');
    const std::string key128 = "Software\\" + std::string(119, 'k');
    const std::string path128 = "C:\\" + std::string(125, 'p');
    fake::addFile(file127);
    fake::addFile(file128);
    fake::addFile(file128.substr(0, 127));  // what a cut value would name
    fake::addFolder(path128.substr(0, 127));
    fake::addKey(key128.substr(0, 127));
    writeList("[UnInstKey]\nUnInstKey_Deliv=" + std::string(260, 'u') + "\n[Files_Deliv]\nFILE00=" + file128 +
              "\nFILE01=" + file127 + "\nREGPATH00=" + key128 + "\n[Paths_Deliv]\nPATH00=" + path128 + "\n");
    EXPECT_EQ(countSectionItems("Files_Deliv"), 2);
    fake::clearCalls();
    StepCounter counter;
    removeSection("Files_Deliv", counter.sink());
    EXPECT_EQ(counter.steps, 4);
    EXPECT_FALSE(fake::exists(file127));
    EXPECT_TRUE(fake::exists(file128));
    EXPECT_TRUE(fake::exists(file128.substr(0, 127)));
    EXPECT_TRUE(fake::exists(path128.substr(0, 127)));
    EXPECT_TRUE(fake::keyExists(key128.substr(0, 127)));
    EXPECT_TRUE(fake::calls({"RegDeleteKeyA", "RemoveDirectoryA", "Sleep"}).empty());
}

TEST_F(SectionRemovalTest, AValueThatNamesSomethingElseCountsButIsNeverActedOn) {
    using namespace std::string_literals;
    struct Case {
        const char* name;
        std::string value;  // FILE00; FILE01 is C:\Apps\b.exe
        std::string kept;   // what the value would reach if it were used
    };
    const Case cases[] = {
        {"a NUL byte cuts it short", "C:\\Apps\\keep\0.exe"s, "C:\\Apps\\keep"},
        {"it ends in a lone lead byte", "C:\\Apps\\keep\x81", "C:\\Apps\\keep\x81"},
        {"its last lead byte has no second byte", "C:\\Apps\\\x81\x81\x81", "C:\\Apps\\\x81\x81\x81"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::reset();
        clearDirectoryChain();
        fake::addFile(c.kept);
        fake::addFile("C:\\Apps\\b.exe");
        writeList("[Files_Deliv]\nFILE00=" + c.value + "\nFILE01=C:\\Apps\\b.exe\n");
        EXPECT_EQ(countSectionItems("Files_Deliv"), 2);
        StepCounter counter;
        removeSection("Files_Deliv", counter.sink());
        EXPECT_TRUE(fake::exists(c.kept));
        EXPECT_FALSE(fake::exists("C:\\Apps\\b.exe"));
        EXPECT_EQ(counter.steps, 4);
    }
}

TEST_F(SectionRemovalTest, EnumerationStopsAtTheFirstGapOrEmptyValue) {
    struct Case {
        const char* section;
        int files;
    };
    writeList(
        "[Gap]\nFILE01=C:\\b\n[Empty]\nFILE00=C:\\a\nFILE01=\nFILE02=C:\\c\n"
        "[Many]\nFILE00=a\nFILE01=a\nFILE02=a\nFILE03=a\nFILE04=a\nFILE05=a\nFILE06=a\nFILE07=a\nFILE08=a\nFILE09=a\n"
        "FILE10=a\nFILE11=a\nFILE7=no\n");
    for (const Case& c : {Case{"Gap", 0}, Case{"Empty", 1}, Case{"Many", 12}, Case{"Missing", 0}}) {
        EXPECT_EQ(UninstallList::enumerate(c.section, "FILE", 128, [](const char*, bool) {}), c.files) << c.section;
    }
}

TEST_F(SectionRemovalTest, NumberedKeysAndDerivedSectionNames) {
    struct KeyCase {
        unsigned index;
        const char* key;
    };
    for (const KeyCase& c : {KeyCase{0, "FILE00"}, KeyCase{7, "FILE07"}, KeyCase{99, "FILE99"},
                             KeyCase{100, "FILE100"}, KeyCase{12345, "FILE12345"}}) {
        char key[64];
        UninstallList::numberedKey("FILE", c.index, key, sizeof key);
        EXPECT_STREQ(key, c.key);
    }
    struct NameCase {
        const char* section;
        const char* paths;
    };
    for (const NameCase& c : {NameCase{"Files_File", "Paths_File"}, NameCase{"Files_Deliv", "Paths_Deliv"},
                              NameCase{"Files_Common", "Paths_Common"}, NameCase{"Files_DLL", "Paths_DLL"},
                              NameCase{"FILES", "PathS"}, NameCase{"Abcd", "Path"}, NameCase{"ab", "Path"},
                              NameCase{"", "Path"}}) {
        char name[256];
        UninstallList::pathsSectionOf(c.section, name, sizeof name);
        EXPECT_STREQ(name, c.paths) << c.section;
    }
    parseCommandLine("-cFILES");
    char install[128];
    UninstallList::installPathSection(install, sizeof install);
    EXPECT_STREQ(install, "UNINSTALL_FILES");
}

TEST_F(SectionRemovalTest, FlagsReadAsIntegersAndClearWritesZero) {
    writeList("[Utility]\nFileUtility=1\nDelivUtility=  2x\n");
    EXPECT_EQ(UninstallList::readFlag("Utility", "FileUtility"), 1);
    EXPECT_EQ(UninstallList::readFlag("utility", "DELIVUTILITY"), 2);
    EXPECT_EQ(UninstallList::readFlag("Utility", "Missing"), 0);
    UninstallList::clearFlag("FileUtility");
    UninstallList::clearFlag("NewFlag");
    EXPECT_EQ(fake::fileBytes("C:\\Data\\list.ini"), "[Utility]\nFileUtility=0\nDelivUtility=  2x\nNewFlag=0\n");
}

TEST_F(SectionRemovalTest, AFailedNodeAllocationStopsCountingAndTellsTheUser) {
    writeList("[UNINSTALL_Files_Deliv]\nPATH=C:\\A\\B\\C\\D\n[Files_Deliv]\nFILE00=C:\\a\n");
    fake::failAllocationFrom(2);
    countSectionItems("Files_Deliv");
    EXPECT_TRUE(allocationFailed());
    EXPECT_EQ(chain(), Strings{"C:\\A"});
    EXPECT_EQ(fake::calls({"MessageBoxA"}), Strings{"MessageBoxA(null, \"Memory allocation error\", null, 0x0) -> 1"});
    clearDirectoryChain();
    EXPECT_FALSE(allocationFailed());
}

}  // namespace
