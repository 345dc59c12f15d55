// The in-memory machine itself: the rules of its trickier operations and the shape of its log,
// which every other unit test relies on.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "double/fake.h"

namespace {

using namespace platform;
using Strings = std::vector<std::string>;

class DoubleTest : public ::testing::Test {
protected:
    void SetUp() override { fake::reset(); }
};

// ---- Files and folders ----------------------------------------------------------------

TEST_F(DoubleTest, RemoveDirectoryFollowsTheWin32Rules) {
    struct Case {
        const char* path;
        BOOL result;
        bool existsAfterwards;
    };
    for (const Case& c : {
             Case{"C:\\Apps\\Empty", TRUE, false},
             Case{"c:\\apps\\EMPTY\\", TRUE, false},     // any case, trailing backslash
             Case{"C:\\Apps\\Full", FALSE, true},         // holds a file
             Case{"C:\\Apps\\Nested", FALSE, true},       // holds an empty folder
             Case{"C:\\Apps\\file.txt", FALSE, true},     // not a folder
             Case{"C:\\Apps\\Missing", FALSE, false},
             Case{"C:\\Apps\\Empty\\.", TRUE, false},    // "." is the folder itself
             Case{"C:\\Apps\\Empty\\..", FALSE, true},   // ".." is C:\Apps, which holds more
             Case{"C:", FALSE, true},                     // drive roots stay
             Case{"", FALSE, false},
         }) {
        SCOPED_TRACE(c.path);
        fake::reset();
        fake::addFolder("C:\\Apps\\Empty");
        fake::addFile("C:\\Apps\\Full\\a.txt");
        fake::addFolder("C:\\Apps\\Nested\\Inner");
        fake::addFile("C:\\Apps\\file.txt");
        Strings before = fake::tree();
        EXPECT_EQ(RemoveDirectoryA(c.path), c.result);
        EXPECT_EQ(fake::tree().size(), before.size() - (c.result ? 1 : 0));
        EXPECT_EQ(fake::exists(c.path), c.existsAfterwards);
    }
}

TEST_F(DoubleTest, AnOpenSearchHoldsItsFolder) {
    fake::addFolder("C:\\Apps\\Empty");
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA("C:\\Apps\\Empty\\*.*", &entry);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(fake::openSearchCount(), 1);
    EXPECT_FALSE(RemoveDirectoryA("C:\\Apps\\Empty"));
    EXPECT_TRUE(FindClose(search));
    EXPECT_EQ(fake::openSearchCount(), 0);
    EXPECT_TRUE(RemoveDirectoryA("C:\\Apps\\Empty"));
    EXPECT_FALSE(FindClose(search));
}

TEST_F(DoubleTest, DeleteFileRefusesFoldersMissingPathsAndReadOnlyFiles) {
    fake::addFile("C:\\A\\plain.txt");
    fake::addFile("C:\\A\\locked.txt", "x", FILE_ATTRIBUTE_READONLY);
    fake::addFolder("C:\\A\\Sub");
    EXPECT_TRUE(DeleteFileA("c:\\a\\PLAIN.TXT"));
    EXPECT_FALSE(DeleteFileA("C:\\A\\locked.txt"));
    EXPECT_FALSE(DeleteFileA("C:\\A\\Sub"));
    EXPECT_FALSE(DeleteFileA("C:\\A\\missing.txt"));
    EXPECT_FALSE(DeleteFileA(nullptr));
    EXPECT_EQ(fake::tree(), (Strings{"C:\\A", "C:\\A\\locked.txt", "C:\\A\\Sub"}));

    EXPECT_TRUE(SetFileAttributesA("C:\\A\\locked.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(fake::attributesOf("C:\\A\\locked.txt"), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(DeleteFileA("C:\\A\\locked.txt"));
}

TEST_F(DoubleTest, SetFileAttributesKeepsTheFolderAndLinkBits) {
    fake::addFolder("C:\\Link", FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(SetFileAttributesA("C:\\Link", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesA("C:\\Link\\"), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
    fake::addFile("C:\\f.txt");
    EXPECT_TRUE(SetFileAttributesA("C:\\f.txt", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(GetFileAttributesA("C:\\f.txt"), FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(GetFileAttributesA("C:\\f.txt\\"), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(SetFileAttributesA("C:\\missing", FILE_ATTRIBUTE_NORMAL));
}

TEST_F(DoubleTest, TreeListsEachFolderBeforeItsContentInStoredSpelling) {
    fake::addFile("C:\\Apps.txt");
    fake::addFile("C:\\Apps\\Zeta.dll");
    fake::addFile("C:\\apps\\alpha.exe");
    fake::addFolder("D:\\Other\\");
    EXPECT_EQ(fake::tree(), (Strings{"C:\\Apps", "C:\\Apps\\alpha.exe", "C:\\Apps\\Zeta.dll", "C:\\Apps.txt",
                                     "D:\\Other"}));
    fake::addFolder("C:\\Apps.txt\\Below");  // a file in the way: nothing changes
    EXPECT_FALSE(fake::exists("C:\\Apps.txt\\Below"));
}

// Collects the names a search delivers, deleting a file after each delivery when asked.
Strings searchAll(const char* pattern, bool deleteDelivered) {
    Strings names;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) return {"-1"};
    do {
        names.push_back(entry.cFileName);
        if (deleteDelivered && (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            DeleteFileA(("C:\\Apps\\" + names.back()).c_str());
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return names;
}

TEST_F(DoubleTest, SearchesDeliverDotsThenNamesFromASnapshot) {
    struct Case {
        const char* pattern;
        bool deleteDelivered;
        Strings names;
    };
    for (const Case& c : {
             Case{"C:\\Apps\\*.*", false, {".", "..", "b.txt", "C.dll", "noext", "Sub"}},
             Case{"c:\\APPS\\*", true, {".", "..", "b.txt", "C.dll", "noext", "Sub"}},
             Case{"C:\\Apps\\*.txt", false, {"b.txt"}},
             Case{"C:\\Apps\\Sub\\*.*", false, {".", "..", "deep.txt"}},
             Case{"C:\\Apps\\b.txt\\*.*", false, {"-1"}},
             Case{"C:\\Missing\\*.*", false, {"-1"}},
             Case{"*.*", false, {"-1"}},
         }) {
        SCOPED_TRACE(c.pattern);
        fake::reset();
        fake::addFile("C:\\Apps\\noext");
        fake::addFile("C:\\Apps\\C.dll", "", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        fake::addFile("C:\\Apps\\b.txt", "", FILE_ATTRIBUTE_READONLY);
        fake::addFolder("C:\\Apps\\Sub");
        fake::addFile("C:\\Apps\\Sub\\deep.txt");
        fake::addFile("C:\\Apps2\\other.txt");
        EXPECT_EQ(searchAll(c.pattern, c.deleteDelivered), c.names);
        EXPECT_EQ(fake::openSearchCount(), 0);
    }
}

TEST_F(DoubleTest, SearchesDeliverAttributesAndRecordLinks) {
    fake::addFolder("C:\\Apps\\Link", FILE_ATTRIBUTE_REPARSE_POINT);
    fake::addFolder("C:\\Apps\\Link\\Inside");
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA("C:\\Apps\\*.*", &entry);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(FindNextFileA(search, &entry));
    ASSERT_TRUE(FindNextFileA(search, &entry));
    EXPECT_STREQ(entry.cFileName, "Link");
    EXPECT_EQ(entry.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_FALSE(FindNextFileA(search, &entry));
    FindClose(search);
    EXPECT_TRUE(fake::linkSearches().empty());

    EXPECT_EQ(searchAll("C:\\Apps\\Link\\*.*", false), (Strings{".", "..", "Inside"}));
    EXPECT_EQ(searchAll("C:\\Apps\\Link\\Inside\\*.*", false), (Strings{".", ".."}));
    EXPECT_EQ(fake::linkSearches(), (Strings{"C:\\Apps\\Link\\*.*", "C:\\Apps\\Link\\Inside\\*.*"}));
}

// ---- Profile files --------------------------------------------------------------------

TEST_F(DoubleTest, ProfileFilesWithoutAFolderLiveInTheWindowsFolder) {
    fake::addFile("C:\\Windows\\ZADAvuz.ini", "[Utility]\nFileUtility=1\n");
    char value[16];
    EXPECT_EQ(GetPrivateProfileStringA("utility", "fileutility", "", value, sizeof value, "zadavuz.ini"), 1u);
    EXPECT_STREQ(value, "1");
    EXPECT_EQ(GetPrivateProfileIntA("Utility", "FileUtility", 0, "C:\\Windows\\ZADAvuz.ini"), 1u);
    EXPECT_EQ(GetPrivateProfileIntA("Utility", "FileUtility", 5, "C:\\Missing.ini"), 5u);

    EXPECT_TRUE(WritePrivateProfileStringA("Utility", "FileUtility", "0", "ZADAvuz.ini"));
    EXPECT_EQ(fake::fileBytes("C:\\Windows\\ZADAvuz.ini"), "[Utility]\nFileUtility=0\n");
}

TEST_F(DoubleTest, WritingAProfileCreatesTheFileButNotItsFolder) {
    EXPECT_FALSE(WritePrivateProfileStringA("S", "K", "0", "C:\\Data\\list.ini"));
    EXPECT_FALSE(fake::exists("C:\\Data\\list.ini"));
    fake::addFolder("C:\\Data");
    EXPECT_TRUE(WritePrivateProfileStringA("S", "K", "0", "C:\\Data\\list.ini"));
    EXPECT_NE(fake::fileBytes("C:\\Data\\list.ini").find("K=0"), std::string::npos);
    fake::addFile("C:\\Data\\locked.ini", "", FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(WritePrivateProfileStringA("S", "K", "0", "C:\\Data\\locked.ini"));
    EXPECT_FALSE(WritePrivateProfileStringA("S", "K", "0", "C:\\Data"));
    EXPECT_EQ(fake::fileBytes("C:\\Data\\locked.ini"), "");
}

// ---- Registry -------------------------------------------------------------------------

TEST_F(DoubleTest, RegEnumValueReportsWhatDoesNotFit) {
    struct Case {
        DWORD nameCapacity;
        DWORD dataCapacity;
        LONG result;
        DWORD nameLength;  // afterwards
        DWORD dataLength;  // afterwards
    };
    // The value: name "AppName" (7 characters), REG_SZ "abc" (4 bytes with the terminator).
    for (const Case& c : {
             Case{260, 256, ERROR_SUCCESS, 7, 4},
             Case{8, 4, ERROR_SUCCESS, 7, 4},
             Case{7, 256, ERROR_MORE_DATA, 7, 256},  // no room for the terminator
             Case{260, 3, ERROR_MORE_DATA, 260, 4},  // the size needed comes back
             Case{1, 1, ERROR_MORE_DATA, 1, 4},
         }) {
        SCOPED_TRACE(testing::Message() << c.nameCapacity << ", " << c.dataCapacity);
        fake::reset();
        fake::setValue("Software\\Shared\\Application", "AppName", "abc");
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\shared\\application", &key), ERROR_SUCCESS);
        char name[260] = "untouched";
        BYTE data[256] = {};
        DWORD nameLength = c.nameCapacity;
        DWORD dataLength = c.dataCapacity;
        DWORD type = REG_NONE;
        EXPECT_EQ(RegEnumValueA(key, 0, name, &nameLength, nullptr, &type, data, &dataLength), c.result);
        EXPECT_EQ(nameLength, c.nameLength);
        EXPECT_EQ(dataLength, c.dataLength);
        if (c.result == ERROR_SUCCESS) {
            EXPECT_STREQ(name, "AppName");
            EXPECT_EQ(type, REG_SZ);
            EXPECT_EQ(std::memcmp(data, "abc", 4), 0);
        } else {
            EXPECT_STREQ(name, "untouched");
        }
        nameLength = 260;
        EXPECT_EQ(RegEnumValueA(key, 1, name, &nameLength, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
        EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    }
}

TEST_F(DoubleTest, RegistryKeysOpenDeleteAndClose) {
    fake::setValue("Software\\Vendor\\Product", "Path", "C:\\Apps");
    fake::addKey("Software\\Vendor\\Product\\Sub");
    HKEY first = nullptr;
    HKEY second = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Vendor", 0, KEY_ALL_ACCESS, &first), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Vendor", &second), ERROR_SUCCESS);
    EXPECT_NE(first, second);
    EXPECT_EQ(fake::openKeyCount(), 2);
    HKEY missing = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Nobody", &missing), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing, nullptr);

    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Product"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(first, "product\\SUB"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Product\\Sub"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Product"), ERROR_SUCCESS);
    EXPECT_TRUE(fake::valueNames("Software\\Vendor\\Product").empty());
    EXPECT_FALSE(fake::keyExists("Software\\Vendor\\Product"));
    EXPECT_TRUE(fake::keyExists("SOFTWARE\\VENDOR"));

    EXPECT_EQ(RegCloseKey(first), ERROR_SUCCESS);
    EXPECT_NE(RegCloseKey(first), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(second), ERROR_SUCCESS);
    EXPECT_EQ(fake::openKeyCount(), 0);
}

TEST_F(DoubleTest, ValuesKeepTheirOrderAndSpelling) {
    fake::setValue("Software\\App", "Second", "2");
    fake::setValue("Software\\App", "First", "1");
    fake::setValue("software\\app", "SECOND", "22");
    EXPECT_EQ(fake::valueNames("SOFTWARE\\APP"), (Strings{"Second", "First"}));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\App", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "second"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "second"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
    EXPECT_EQ(fake::valueNames("Software\\App"), Strings{"First"});
}

// ---- Windows, message boxes, the dialog -----------------------------------------------

TEST_F(DoubleTest, TopLevelWindowsComeTopmostFirstWithTheirClassNames) {
    HWND first = fake::addWindow("Shell_TrayWnd");
    HWND second = fake::addWindow(std::string(300, 'c'), /*hidden=*/true);
    HWND third = fake::addWindow("Broken");
    fake::failClassNameOf(third);

    HWND desktop = GetDesktopWindow();
    EXPECT_EQ(GetTopWindow(desktop), first);
    EXPECT_EQ(GetWindow(first, GW_HWNDNEXT), second);
    EXPECT_EQ(GetWindow(second, GW_HWNDNEXT), third);
    EXPECT_EQ(GetWindow(third, GW_HWNDNEXT), nullptr);

    char name[256] = "";
    EXPECT_EQ(GetClassNameA(first, name, 6), 5);
    EXPECT_STREQ(name, "Shell");
    EXPECT_EQ(GetClassNameA(second, name, 256), 255);
    EXPECT_EQ(std::string(name), std::string(255, 'c'));
    EXPECT_EQ(GetClassNameA(third, name, 256), 0);
    EXPECT_STREQ(name, "");

    fake::reset();
    EXPECT_EQ(GetTopWindow(GetDesktopWindow()), nullptr);
}

TEST_F(DoubleTest, MessageBoxesTakeTheScriptThenTheDefaults) {
    fake::scriptAnswers({IDYES, IDOK});
    EXPECT_EQ(MessageBoxA(nullptr, "q", "c", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(MessageBoxA(nullptr, "q", "c", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "q", "c", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "q", nullptr, MB_OK), IDOK);
    EXPECT_EQ(fake::calls({"MessageBoxA"}).size(), 4u);
}

// A dialog procedure that does what the program's does: set the bar up, then run the work
// by sending itself WM_COMMAND 1000, which steps the bar and ends the dialog.
int stepsToMake = 0;
HWND lastDialog = nullptr;

INT_PTR workingProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        lastDialog = dialog;
        HWND bar = GetDlgItem(dialog, 1000);
        SendMessageA(bar, PBM_SETRANGE, 0, static_cast<LPARAM>(lParam) << 16);
        SendMessageA(bar, PBM_SETSTEP, 1, 0);
        SendMessageA(dialog, WM_COMMAND, 1000, 0);
        return 1;
    }
    if (message == WM_COMMAND && wParam == 1000) {
        for (int i = 0; i < stepsToMake; ++i) SendMessageA(GetDlgItem(dialog, 1000), PBM_STEPIT, 0, 0);
        EndDialog(dialog, 1);
        return 1;
    }
    return 0;
}

INT_PTR idleProcedure(HWND, UINT, WPARAM, LPARAM) { return 0; }

TEST_F(DoubleTest, TheDialogRunsItsProcedureAndReturnsTheEndDialogResult) {
    struct Case {
        int range;
        int steps;
        int position;
    };
    for (const Case& c : {Case{3, 2, 2}, Case{3, 3, 3}, Case{3, 4, 1}, Case{0, 2, 0}}) {
        SCOPED_TRACE(testing::Message() << c.range << " " << c.steps);
        fake::reset();
        stepsToMake = c.steps;
        EXPECT_EQ(DialogBoxParamA(nullptr, makeIntResource(102), nullptr, workingProcedure, c.range), 1);
        EXPECT_EQ(fake::progressStepCount(), c.steps);
        EXPECT_EQ(fake::progressPosition(), c.position);
    }
    // Once the dialog is over, its handles lead nowhere.
    EXPECT_EQ(GetDlgItem(lastDialog, 1000), nullptr);
    EXPECT_EQ(SendMessageA(lastDialog, WM_COMMAND, 1000, 0), 0);
    EXPECT_FALSE(EndDialog(lastDialog, 1));
    EXPECT_EQ(fake::progressStepCount(), 2);
    EXPECT_EQ(DialogBoxParamA(nullptr, makeIntResource(102), nullptr, idleProcedure, 0), -1);
}

TEST_F(DoubleTest, TheLogWritesEachCallInTheAgreedForm) {
    fake::addFolder("C:\\Apps\\Sub");
    fake::addFile("C:\\Data\\list.ini", "[Utility]\nFileUtility=1\n");
    fake::setValue("Software\\App", "Name", "x");
    fake::addWindow("Notepad");
    fake::scriptAnswers({IDYES});
    stepsToMake = 1;

    HWND owner = CreateWindowExA(0, "", "", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    MessageBoxA(owner, "Uninstall Programs.\nAre you \"Sure\" ?", "Uninstaller", MB_YESNO | MB_ICONQUESTION);
    char text[260];
    GetPrivateProfileStringA("Utility", "FileUtility", "", text, sizeof text, "C:\\Data\\list.ini");
    GetPrivateProfileIntA("Utility", "Missing", 0, "ZADAvuz.ini");
    GetModuleFileNameA(nullptr, text, sizeof text);
    HKEY key = nullptr;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\App", 0, KEY_ALL_ACCESS, &key);
    RegCloseKey(key);
    RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\None", &key);
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA("C:\\Apps\\*.*", &entry);
    FindNextFileA(search, &entry);
    FindClose(search);
    SetFileAttributesA("C:\\Apps\\x", FILE_ATTRIBUTE_NORMAL);
    GetFileAttributesA("C:\\Apps");
    RemoveDirectoryA("C:\\Apps\\Sub");
    Sleep(500);
    LocalAlloc(LPTR, 16);
    DialogBoxParamA(nullptr, makeIntResource(102), owner, workingProcedure, 6);
    GetClassNameA(GetTopWindow(GetDesktopWindow()), text, 256);
    DestroyWindow(owner);

    EXPECT_EQ(fake::calls(), (Strings{
        "CreateWindowExA(0, \"\", \"\", 0xcf0000, 0, 0, 0, 0, null, null) -> window1",
        "MessageBoxA(window1, \"Uninstall Programs.\\nAre you \\\"Sure\\\" ?\", \"Uninstaller\", 0x24) -> 6",
        "GetPrivateProfileStringA(\"Utility\", \"FileUtility\", \"\", 260, \"C:\\Data\\list.ini\") -> \"1\"",
        "GetPrivateProfileIntA(\"Utility\", \"Missing\", 0, \"ZADAvuz.ini\") -> 0",
        "GetModuleFileNameA(null, 260) -> \"C:\\Program Files\\Uninst\\UNINST.EXE\"",
        "RegOpenKeyExA(HKLM, \"Software\\App\", 0, 0xf003f) -> 0",
        "RegCloseKey(hkey1) -> 0",
        "RegOpenKeyA(HKLM, \"Software\\None\") -> 2",
        "FindFirstFileA(\"C:\\Apps\\*.*\") -> find1",
        "FindNextFileA(find1) -> 1",
        "FindClose(find1) -> 1",
        "SetFileAttributesA(\"C:\\Apps\\x\", 0x80) -> 0",
        "GetFileAttributesA(\"C:\\Apps\") -> 0x10",
        "RemoveDirectoryA(\"C:\\Apps\\Sub\") -> 1",
        "Sleep(500)",
        "LocalAlloc(0x40, 16) -> alloc1",
        "GetDlgItem(dialog, 1000) -> progress",
        "SendMessageA(progress, PBM_SETRANGE, 0, 393216) -> 0",
        "SendMessageA(progress, PBM_SETSTEP, 1, 0) -> 0",
        "SendMessageA(dialog, WM_COMMAND, 1000, 0) -> 1",
        "GetDlgItem(dialog, 1000) -> progress",
        "SendMessageA(progress, PBM_STEPIT, 0, 0) -> 0",
        "EndDialog(dialog, 1) -> 1",
        "DialogBoxParamA(102, window1) -> 1",
        "GetDesktopWindow() -> desktop",
        "GetTopWindow(desktop) -> top1",
        "GetClassNameA(top1, 256) -> \"Notepad\"",
        "DestroyWindow(window1) -> 1",
    }));
    EXPECT_EQ(fake::calls({"Sleep", "DestroyWindow"}), (Strings{"Sleep(500)", "DestroyWindow(window1) -> 1"}));
    fake::clearCalls();
    EXPECT_TRUE(fake::calls().empty());
}

// ---- The executable and memory --------------------------------------------------------

TEST_F(DoubleTest, ModulePathIsCutToTheBufferOrFails) {
    fake::setModulePath("C:\\Tools\\u.exe");
    char path[8] = "";
    EXPECT_EQ(GetModuleFileNameA(nullptr, path, sizeof path), 8u);
    EXPECT_STREQ(path, "C:\\Tool");
    fake::setModulePathFails();
    EXPECT_EQ(GetModuleFileNameA(nullptr, path, sizeof path), 0u);
    EXPECT_STREQ(path, "");
}

TEST_F(DoubleTest, AllocationFailsFromTheChosenCallOn) {
    fake::failAllocationFrom(3);
    auto* first = static_cast<unsigned char*>(LocalAlloc(LPTR, 32));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first[31], 0);
    EXPECT_NE(LocalAlloc(LPTR, 32), nullptr);
    EXPECT_EQ(LocalAlloc(LPTR, 32), nullptr);
    EXPECT_EQ(LocalAlloc(LPTR, 1), nullptr);
    EXPECT_EQ(fake::calls({"LocalAlloc"}).back(), "LocalAlloc(0x40, 1) -> null");
}

TEST_F(DoubleTest, LeadBytesFollowCodePage932) {
    struct Case {
        BYTE byte;
        BOOL lead;
    };
    for (const Case& c : {Case{0x41, FALSE}, Case{0x80, FALSE}, Case{0x81, TRUE}, Case{0x9F, TRUE},
                          Case{0xA0, FALSE}, Case{0xDF, FALSE}, Case{0xE0, TRUE}, Case{0xFC, TRUE},
                          Case{0xFD, FALSE}, Case{0x5C, FALSE}}) {
        EXPECT_EQ(IsDBCSLeadByte(c.byte), c.lead) << static_cast<int>(c.byte);
    }
    EXPECT_TRUE(fake::calls().empty());
}

}  // namespace
