// The conformance fixture of the Win32 provider: a scratch folder on drive C, a scratch key
// below HKEY_LOCAL_MACHINE\Software and windows of our own, all made and inspected with the
// real Win32 API (under Wine here), never through the operations under test.
#include "provider/fixture.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fixture {

namespace {

const char* const folderName = "C:\\UninstConformance";
const wchar_t* const wideFolderName = L"C:\\UninstConformance";
const char* const keyName = "Software\\UninstConformance";

std::vector<HWND> openWindows;
std::vector<std::string> registeredClasses;

bool isLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

// Removes a file or a folder with everything in it, any name; links are removed, never followed.
void removeTree(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        DeleteFileW(path.c_str());
        return;
    }
    if (!isLink(attributes)) {
        WIN32_FIND_DATAW entry;
        HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &entry);
        if (search != INVALID_HANDLE_VALUE) {
            std::vector<std::wstring> names;
            do {
                std::wstring name = entry.cFileName;
                if (name != L"." && name != L"..") names.push_back(name);
            } while (FindNextFileW(search, &entry));
            FindClose(search);
            for (const std::wstring& name : names) removeTree(path + L"\\" + name);
        }
    }
    RemoveDirectoryW(path.c_str());
}

void pumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

}  // namespace

void setUp() {
    removeTree(wideFolderName);
    ASSERT_TRUE(CreateDirectoryA(folderName, nullptr)) << "cannot make " << folderName;
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, keyName);
    makeKey(keyName);
}

void tearDown() {
    closeWindows();
    removeTree(wideFolderName);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, keyName);
}

std::string scratchFolder() { return folderName; }

std::string windowsFolder() {
    char path[MAX_PATH] = "";
    UINT length = GetWindowsDirectoryA(path, MAX_PATH);
    EXPECT_GT(length, 0u);
    EXPECT_LT(length, static_cast<UINT>(MAX_PATH));
    return path;
}

std::string scratchKey() { return keyName; }

void makeFolder(const std::string& path) {
    // Every missing folder on the way, so a test may name a deep one at once.
    for (std::size_t cut = path.find('\\', 3); cut != std::string::npos; cut = path.find('\\', cut + 1)) {
        CreateDirectoryA(path.substr(0, cut).c_str(), nullptr);
    }
    CreateDirectoryA(path.c_str(), nullptr);
    DWORD attributes = GetFileAttributesA(path.c_str());
    ASSERT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        << "cannot make folder " << path;
}

void makeFile(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot make file " << path;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_TRUE(ok && written == bytes.size()) << "cannot write " << path;
}

void makeFileNamedInUtf8(const std::string& folder, const std::string& utf8Name) {
    WCHAR path[MAX_PATH];  // the scratch folder's name is ASCII, the same in UTF-8
    ASSERT_GT(MultiByteToWideChar(CP_UTF8, 0, (folder + "\\" + utf8Name).c_str(), -1, path, MAX_PATH), 0);
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot make file " << utf8Name << " in " << folder;
    CloseHandle(file);
}

void makeReadOnly(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << path;
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), attributes | FILE_ATTRIBUTE_READONLY)) << path;
}

void removeFile(const std::string& path) { ASSERT_TRUE(DeleteFileA(path.c_str())) << path; }

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string readFile(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << "cannot open " << path;
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0) bytes.append(chunk, read);
    CloseHandle(file);
    return bytes;
}

bool makeFolderLink(const std::string& link, const std::string& target) {
    return CreateSymbolicLinkA(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) != 0 &&
           GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool lockFolder(const std::string&, bool) { return false; }

void makeKey(const std::string& path) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << "cannot make key " << path;
    RegCloseKey(key);
}

void setStringValue(const std::string& key, const std::string& name, const std::string& value) {
    HKEY opened = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr),
              ERROR_SUCCESS)
        << "cannot make key " << key;
    LONG result = RegSetValueExA(opened, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>(value.size() + 1));
    RegCloseKey(opened);
    ASSERT_EQ(result, ERROR_SUCCESS) << "cannot set " << key << "\\" << name;
}

bool keyExists(const std::string& path) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    RegCloseKey(opened);
    return true;
}

bool valueExists(const std::string& key, const std::string& name) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    LONG result = RegQueryValueExA(opened, name.c_str(), nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(opened);
    return result == ERROR_SUCCESS;
}

bool openWindow(const std::string& className, bool hidden) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    bool registered = false;
    for (const std::string& name : registeredClasses) registered = registered || name == className;
    if (!registered) {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = className.c_str();
        if (RegisterClassA(&windowClass) == 0) return false;
        registeredClasses.push_back(className);
    }
    HWND window = CreateWindowExA(0, className.c_str(), "conformance", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, nullptr,
                                  nullptr, instance, nullptr);
    if (window == nullptr) return false;
    if (!hidden) ShowWindow(window, SW_SHOWNORMAL);
    pumpMessages();
    openWindows.push_back(window);
    return true;
}

void closeWindows() {
    for (HWND window : openWindows) DestroyWindow(window);
    openWindows.clear();
    pumpMessages();
}

}  // namespace fixture
