// The state of the in-memory machine and the helpers its operations share: path keys,
// handle numbering and the call log's line builder. Private to the double.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ini/code_page_932.h"
#include "platform/operations.h"

namespace fake::detail {

using namespace platform;

// ---- Names compared without regard to case ---------------------------------------------

// Names and paths are code page 932 text, as on a Japanese machine, stepped through with the
// helpers of code_page_932.h: a trail byte is never a letter, and one of 0x5C is no backslash.

std::string lower(std::string_view text);

// Orders lower-cased paths with the backslash before every other character, so a folder is
// directly followed by everything below it and its entries come in name order.
struct PathOrder {
    bool operator()(const std::string& a, const std::string& b) const;
};

// The map key of a path: lower case, trailing backslashes removed. `trailingBackslash` tells
// whether any were, which lets the path name only a folder.
std::string pathKey(std::string_view path, bool* trailingBackslash = nullptr);
bool isDriveRoot(std::string_view key);  // "c:"

// ---- Files and folders ----------------------------------------------------------------

struct Node {
    std::string path;  // as first spelled
    DWORD attributes = 0;
    std::string bytes;
    bool isFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
};

struct FoundEntry {
    std::string name;
    DWORD attributes;
};

struct Search {
    std::string pattern;
    std::string folderKey;  // holds the folder while the search is open
    std::vector<FoundEntry> entries;  // taken when the search started
    std::size_t next = 0;
};

// ---- Registry -------------------------------------------------------------------------

struct Value {
    std::string name;
    DWORD type = REG_SZ;
    std::string bytes;
};

struct Key {
    std::string path;  // as first spelled; "" is HKEY_LOCAL_MACHINE itself
    std::vector<Value> values;
    bool denied = false;  // its security lets this user neither open nor delete it
};

// ---- Windows --------------------------------------------------------------------------

struct Window {
    std::string role;  // the name the log gives it
    std::string className;
    bool alive = true;
    bool hidden = false;
    bool classNameFails = false;
};

struct Progress {
    int position = 0;
    int minimum = 0;
    int maximum = 100;
    int step = 10;
};

struct Dialog {
    std::size_t window;
    std::size_t progress;
    DLGPROC procedure;
    bool ended = false;
    INT_PTR result = -1;
};

// ---- Handles --------------------------------------------------------------------------
// Each kind of handle counts 1, 2, 3... from its own base, so a handle tells its kind and its
// number and is never handed out twice between two resets.
struct HandleSeries {
    std::uintptr_t base;
    int issued = 0;

    void* make(int number) const { return reinterpret_cast<void*>(base + 16u * static_cast<unsigned>(number)); }
    void* next() { return make(++issued); }
    // The number a handle of this series carries, or 0 when it cannot be one of them.
    int numberOf(const void* handle) const;
};

// ---- The machine ----------------------------------------------------------------------

struct Machine {
    std::map<std::string, Node, PathOrder> files;
    std::map<int, Search> searches;  // open ones, by number
    std::vector<std::string> linkSearches;

    std::map<std::string, Key, PathOrder> keys{{std::string(), Key{}}};  // "" is HKLM itself
    std::map<int, std::string> openKeys;  // by number -> key map entry

    std::vector<Window> windows{Window{"desktop", "#32769"}};  // index 0 is the desktop
    std::vector<std::size_t> zOrder;    // indexes of the top-level windows, topmost first
    std::optional<Dialog> dialog;       // while DialogBoxParamA runs
    Progress progress;
    int progressSteps = 0;
    int windowsCreated = 0;
    int topWindowsAdded = 0;
    bool windowCreationFails = false;

    std::vector<int> answers;
    std::size_t nextAnswer = 0;

    std::string modulePath = "C:\\Program Files\\Uninst\\UNINST.EXE";
    bool modulePathFails = false;
    DWORD lastError = 0;  // set by DeleteFileA when it fails
    std::map<std::string, std::string> environment;  // by lower-case name

    std::vector<void*> allocations;
    int allocationCalls = 0;
    int failAllocationFrom = 0;

    std::vector<std::string> log;
    unsigned logGeneration = 0;  // bumped when the log is cleared, so a pending line is dropped

    HandleSeries keySeries{0x10000};
    HandleSeries searchSeries{0x20000};
    HandleSeries windowSeries{0x30000};  // number = index in `windows` + 1

    Machine() = default;
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;
    Machine& operator=(Machine&&) = default;
    ~Machine();  // frees the allocations still held
};

Machine& machine();

// File-map look-ups: the node a path names, or null. A drive root is no node.
Node* findNode(std::string_view path);
bool folderExists(std::string_view key);  // by key; drive roots count
// How a new entry at `path` is spelled: its folder as stored, then its own name as given.
std::string newSpelling(std::string_view path);
std::string parentKey(const std::string& key);  // "" when the key has no backslash

// Key-map look-up by path below HKLM; registryKey gives the map key of a path (lower case,
// trailing backslashes removed).
std::string registryKey(std::string_view path);
Key* findKey(std::string_view path);

HWND windowHandle(std::size_t index);
Window* findWindow(HWND handle, std::size_t* index = nullptr);

// ---- The log --------------------------------------------------------------------------

std::string quoted(const char* text);
std::string quoted(std::string_view text);
std::string hex(std::uint64_t value);
std::string pointerName(const void* pointer);  // null, or hex
std::string windowName(HWND window);
std::string keyName(HKEY key);
std::string searchName(HANDLE search);

// One log line, written out by `done`. It goes to the end of the log then, unless it was made
// with Line::beforeNestedCalls: such a line keeps the place it had when the call began.
class Call {
public:
    enum class Line { whenDone, beforeNestedCalls };
    explicit Call(std::string_view function, Line line = Line::whenDone);
    Call& arg(std::string_view formatted);
    Call& arg(long long value);
    void done();                         // no result
    void done(std::string_view result);  // " -> result"

private:
    void write();

    bool reserved_;
    std::size_t slot_;
    unsigned generation_;
    std::string line_;
    bool hasArgs_ = false;
};

}  // namespace fake::detail
