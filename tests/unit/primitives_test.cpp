// Folder and registry removal primitives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "double/fake.h"
#include "removal/primitives.h"

namespace {

using Calls = std::vector<std::string>;

class PrimitivesTest : public ::testing::Test {
protected:
    void SetUp() override { fake::reset(); }
};

struct AppendCase {
    std::string path;
    std::string name;
    std::string expectedPath;
    int expectedResult;
};

TEST_F(PrimitivesTest, AppendPathComponentJoinsWithOneBackslashAndRefusesWhatMightNotFit) {
    const std::string p100(100, 'p');
    const std::string p100slash = std::string(100, 'p') + "\\";
    for (const AppendCase& c : {
             AppendCase{"C:\\A", "B", "C:\\A\\B", 6},
             AppendCase{"C:\\A\\", "B", "C:\\A\\B", 6},
             AppendCase{"C:\\A", "\\B", "C:\\A\\B", 6},
             AppendCase{"C:\\A\\", "\\B", "C:\\A\\B", 6},
             AppendCase{"C:\\A", "\\\\B", "C:\\A\\\\B", 7},
             AppendCase{"C:\\A", "", "C:\\A\\", 5},
             AppendCase{"C:\\A\\", "", "C:\\A\\", 5},
             AppendCase{p100, std::string(158, 'n'), p100 + "\\" + std::string(158, 'n'), 259},
             AppendCase{p100, std::string(159, 'n'), p100, -1},
             AppendCase{p100slash, std::string(158, 'n'), p100slash, -1},
             AppendCase{p100slash, std::string(157, 'n'), p100slash + std::string(157, 'n'), 258},
         }) {
        char buffer[260];
        std::snprintf(buffer, sizeof buffer, "%s", c.path.c_str());
        int result = appendPathComponent(buffer, sizeof buffer, c.name.c_str());
        EXPECT_EQ(result, c.expectedResult) << c.path << " + " << c.name;
        EXPECT_EQ(std::string(buffer), c.expectedPath);
    }
}

TEST_F(PrimitivesTest, RemoveDirectoryAndParentsWalksUpUntilAParentStays) {
    struct Case {
        const char* name;
        void (*setUp)();
        const char* path;
        Calls removals;
        std::vector<std::string> leftOver;
    };
    const Case cases[] = {
        {"data missing, Tool otherwise empty",
         [] { fake::addFolder("C:\\Apps\\Tool"); fake::addFile("C:\\Apps\\other.txt"); },
         "C:\\Apps\\Tool\\Data",
         {"RemoveDirectoryA(\"C:\\Apps\\Tool\\Data\") -> 0", "Sleep(200)", "RemoveDirectoryA(\"C:\\Apps\\Tool\") -> 1",
          "RemoveDirectoryA(\"C:\\Apps\") -> 0"},
         {"C:\\Apps", "C:\\Apps\\other.txt"}},
        {"data holds a file",
         [] { fake::addFile("C:\\Apps\\Tool\\Data\\keep.txt"); },
         "C:\\Apps\\Tool\\Data",
         {"RemoveDirectoryA(\"C:\\Apps\\Tool\\Data\") -> 0", "Sleep(200)", "RemoveDirectoryA(\"C:\\Apps\\Tool\") -> 0"},
         {"C:\\Apps", "C:\\Apps\\Tool", "C:\\Apps\\Tool\\Data", "C:\\Apps\\Tool\\Data\\keep.txt"}},
        {"trailing backslash",
         [] { fake::addFolder("C:\\Apps\\Tool"); },
         "C:\\Apps\\Tool\\",
         {"RemoveDirectoryA(\"C:\\Apps\\Tool\\\") -> 1", "Sleep(200)", "RemoveDirectoryA(\"C:\\Apps\\Tool\") -> 0"},
         {"C:\\Apps"}},
        {"everything empty up to the drive",
         [] { fake::addFolder("C:\\Apps\\Tool\\Data"); },
         "C:\\Apps\\Tool\\Data",
         {"RemoveDirectoryA(\"C:\\Apps\\Tool\\Data\") -> 1", "Sleep(200)", "RemoveDirectoryA(\"C:\\Apps\\Tool\") -> 1",
          "RemoveDirectoryA(\"C:\\Apps\") -> 1", "RemoveDirectoryA(\"C:\") -> 0"},
         {}},
        {"dot-dot names the parent: the walk starts there",
         [] { fake::addFolder("C:\\Apps\\Tool\\Data"); },
         "C:\\Apps\\Tool\\Data\\..",
         {"RemoveDirectoryA(\"C:\\Apps\\Tool\") -> 0", "Sleep(200)", "RemoveDirectoryA(\"C:\\Apps\") -> 0"},
         {"C:\\Apps", "C:\\Apps\\Tool", "C:\\Apps\\Tool\\Data"}},
        {"no backslash",
         [] { fake::addFolder("C:\\Apps"); },
         "Apps",
         {"RemoveDirectoryA(\"Apps\") -> 0", "Sleep(200)"},
         {"C:\\Apps"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::reset();
        c.setUp();
        fake::clearCalls();
        removeDirectoryAndParents(c.path);
        EXPECT_EQ(fake::calls({"RemoveDirectoryA", "Sleep"}), c.removals);
        std::vector<std::string> left;
        for (const std::string& entry : fake::tree()) {
            if (entry.rfind("C:\\Apps", 0) == 0) left.push_back(entry);
        }
        EXPECT_EQ(left, c.leftOver);
    }
}

TEST_F(PrimitivesTest, EmptyAndRemoveFolderDeletesFilesEvenReadOnlyAndRemovesTheFolderOnce) {
    fake::addFile("C:\\Extra\\a.txt");
    fake::addFile("C:\\Extra\\b.txt", "", platform::FILE_ATTRIBUTE_READONLY);
    fake::clearCalls();
    EXPECT_EQ(emptyAndRemoveFolder("C:\\Extra"), 2);
    EXPECT_FALSE(fake::exists("C:\\Extra"));
    EXPECT_EQ(fake::calls({"RemoveDirectoryA", "Sleep", "FindClose"}),
              (Calls{"FindClose(find1) -> 1", "RemoveDirectoryA(\"C:\\Extra\") -> 1", "Sleep(500)"}));
    EXPECT_EQ(fake::openSearchCount(), 0);
}

TEST_F(PrimitivesTest, EmptyAndRemoveFolderLeavesSubfoldersAndGivesUpAfterTenAttempts) {
    fake::addFile("C:\\Extra\\a.txt");
    fake::addFile("C:\\Extra\\Sub\\keep.txt");
    fake::clearCalls();
    EXPECT_EQ(emptyAndRemoveFolder("C:\\Extra"), 1);
    EXPECT_TRUE(fake::exists("C:\\Extra\\Sub\\keep.txt"));
    auto attempts = fake::calls({"RemoveDirectoryA"});
    auto pauses = fake::calls({"Sleep"});
    EXPECT_EQ(attempts, Calls(10, "RemoveDirectoryA(\"C:\\Extra\") -> 0"));
    EXPECT_EQ(pauses, Calls(11, "Sleep(500)"));
    // No folder entry (".", "..", Sub) has its attributes changed or is deleted as a file.
    EXPECT_EQ(fake::calls({"SetFileAttributesA", "DeleteFileA"}),
              (Calls{"SetFileAttributesA(\"C:\\Extra\\a.txt\", 0x80) -> 1", "DeleteFileA(\"C:\\Extra\\a.txt\") -> 1"}));
}

TEST_F(PrimitivesTest, EmptyAndRemoveFolderOnAMissingEmptyOrBareDrivePath) {
    EXPECT_EQ(emptyAndRemoveFolder("C:\\Missing"), 0);
    EXPECT_EQ(fake::calls({"RemoveDirectoryA"}).size(), 10u);
    EXPECT_EQ(fake::calls({"Sleep"}).size(), 11u);
    fake::clearCalls();
    EXPECT_EQ(emptyAndRemoveFolder(""), 0);
    EXPECT_TRUE(fake::calls().empty());
    // "C:" is the current folder of drive C; the search would take the drive's top folder.
    fake::addFile("C:\\top.txt");
    EXPECT_EQ(emptyAndRemoveFolder("C:"), 0);
    EXPECT_TRUE(fake::calls({"FindFirstFileA"}).empty());
    EXPECT_TRUE(fake::exists("C:\\top.txt"));
}

TEST_F(PrimitivesTest, EmptyAndRemoveFolderNeverEmptiesALinkedFolder) {
    fake::addFile("C:\\Users\\Victim\\Documents\\thesis.doc");
    fake::addFolder("C:\\Extra", platform::FILE_ATTRIBUTE_REPARSE_POINT);
    // The double cannot point a link anywhere; what matters is that it is not searched.
    fake::addFile("C:\\Extra\\thesis.doc");
    fake::clearCalls();
    EXPECT_EQ(emptyAndRemoveFolder("C:\\Extra"), 0);
    EXPECT_TRUE(fake::calls({"FindFirstFileA", "DeleteFileA"}).empty());
    EXPECT_TRUE(fake::exists("C:\\Extra\\thesis.doc"));
    EXPECT_EQ(fake::calls({"RemoveDirectoryA"}).size(), 10u);
    EXPECT_EQ(fake::calls({"Sleep"}).size(), 11u);
}

TEST_F(PrimitivesTest, RemoveEmptySubfoldersTakesOnlyEmptyDirectSubfolders) {
    fake::addFolder("C:\\Apps\\A");
    fake::addFolder("C:\\Apps\\B\\Inner");
    fake::addFile("C:\\Apps\\file.txt");
    fake::addFolder("C:\\Apps\\Link", platform::FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_EQ(removeEmptySubfolders("C:\\Apps"), 1);
    EXPECT_EQ(fake::tree(), (std::vector<std::string>{"C:\\Apps", "C:\\Apps\\B", "C:\\Apps\\B\\Inner",
                                                      "C:\\Apps\\file.txt", "C:\\Apps\\Link"}));
    // Never "." or "..": the folder itself and its parent are not the sweep's to remove.
    EXPECT_EQ(fake::calls({"RemoveDirectoryA"}),
              (Calls{"RemoveDirectoryA(\"C:\\Apps\\A\") -> 1", "RemoveDirectoryA(\"C:\\Apps\\B\") -> 0"}));
    EXPECT_EQ(fake::openSearchCount(), 0);
}

TEST_F(PrimitivesTest, RemoveEmptySubfoldersOnAnEmptyOrBareDrivePathSearchesNothing) {
    fake::addFolder("C:\\Apps\\A");
    EXPECT_EQ(removeEmptySubfolders(""), 0);
    EXPECT_EQ(removeEmptySubfolders("c:"), 0);
    EXPECT_TRUE(fake::calls().empty());
    EXPECT_TRUE(fake::exists("C:\\Apps\\A"));
}

TEST_F(PrimitivesTest, DeleteUninstallEntry) {
    const std::string uninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    fake::addKey(uninstall + "\\Deliv");
    fake::addKey(uninstall + "\\Vendor\\Deep");
    EXPECT_EQ(deleteUninstallEntry(nullptr), 0);
    EXPECT_EQ(deleteUninstallEntry(""), 0);
    EXPECT_TRUE(fake::calls().empty());
    EXPECT_EQ(deleteUninstallEntry("Deliv"), 1);
    EXPECT_FALSE(fake::keyExists(uninstall + "\\Deliv"));
    EXPECT_EQ(deleteUninstallEntry("Deliv"), 0);
    EXPECT_EQ(deleteUninstallEntry("Vendor\\Deep"), 1);
    EXPECT_TRUE(fake::keyExists(uninstall + "\\Vendor"));
    // 51 + 1 + 459 characters fit the 512-character key path; 460 would be cut, so nothing is deleted.
    fake::clearCalls();
    EXPECT_EQ(deleteUninstallEntry(std::string(460, 'k').c_str()), 0);
    EXPECT_TRUE(fake::calls({"RegDeleteKeyA"}).empty());
    EXPECT_EQ(deleteUninstallEntry(std::string(459, 'k').c_str()), 0);
    EXPECT_EQ(fake::calls({"RegDeleteKeyA"}).size(), 1u);
}

TEST_F(PrimitivesTest, SharedComponentInUse) {
    const std::string key = "Software\\Vantrell\\DUZORE32\\Application";
    struct Case {
        const char* name;
        void (*setUp)(const std::string&);
        bool inUse;
    };
    const Case cases[] = {
        {"key missing", [](const std::string&) {}, false},
        {"key without values", [](const std::string& k) { fake::addKey(k); }, false},
        {"one registration", [](const std::string& k) { fake::setValue(k, "Other", "1"); }, true},
        {"registration with a name too long to deliver",
         [](const std::string& k) { fake::setValue(k, std::string(260, 'n'), "1"); }, true},
        {"registration with data too large to deliver",
         [](const std::string& k) { fake::setValue(k, "Other", std::string(300, 'd')); }, true},
        {"key there but not to be opened", [](const std::string& k) { fake::denyKey(k); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::reset();
        c.setUp(key);
        EXPECT_EQ(sharedComponentInUse(), c.inUse);
        EXPECT_EQ(fake::openKeyCount(), 0);
    }
}

}  // namespace
