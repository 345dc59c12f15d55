// The machine's state, its shared helpers and the control API the tests use.
#include "machine.h"

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <utility>

#include "double/fake.h"
#include "platform/ini/code_page_932.h"

namespace fake::detail {

// ---- Names ----------------------------------------------------------------------------

std::string lower(std::string_view text) {
    std::string result(text);
    for (std::size_t i = 0; i < result.size(); i += cp932::characterLength(result, i)) {
        char& c = result[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return result;
}

namespace {

// `path` without its trailing backslashes.
std::string_view withoutTrailingBackslashes(std::string_view path) {
    std::size_t end = 0;
    for (std::size_t i = 0; i < path.size(); i += cp932::characterLength(path, i)) {
        if (path[i] != '\\') end = i + cp932::characterLength(path, i);
    }
    return path.substr(0, end);
}

}  // namespace

bool PathOrder::operator()(const std::string& a, const std::string& b) const {
    auto rank = [](char c) { return c == '\\' ? 0 : static_cast<unsigned char>(c) + 1; };
    std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) return rank(a[i]) < rank(b[i]);
    }
    return a.size() < b.size();
}

namespace {

// "." names the folder itself and ".." its parent, as Win32 resolves a path; ".." never
// climbs above the drive.
std::string withoutDotNames(const std::string& key) {
    std::size_t first = cp932::find(key, '\\');
    if (first == std::string::npos || key.find("\\.") == std::string::npos) return key;
    std::string resolved = key.substr(0, first);
    for (std::size_t start = first + 1; start <= key.size();) {
        std::size_t end = std::min(cp932::find(key, '\\', start), key.size());
        std::string name = key.substr(start, end - start);
        start = end + 1;
        std::size_t parent = cp932::findLastOf(resolved, "\\");
        if (name == ".." && parent != std::string::npos) resolved.erase(parent);
        if (name != "." && name != "..") resolved += '\\' + name;
    }
    return resolved;
}

}  // namespace

std::string pathKey(std::string_view path, bool* trailingBackslash) {
    std::string_view trimmed = withoutTrailingBackslashes(path);
    if (trailingBackslash != nullptr) *trailingBackslash = trimmed.size() != path.size();
    return withoutDotNames(lower(trimmed));
}

bool isDriveRoot(std::string_view key) {
    return key.size() == 2 && key[1] == ':' && key[0] >= 'a' && key[0] <= 'z';
}

// ---- Handles --------------------------------------------------------------------------

int HandleSeries::numberOf(const void* handle) const {
    auto value = reinterpret_cast<std::uintptr_t>(handle);
    if (value <= base || (value - base) % 16 != 0) return 0;
    std::uintptr_t number = (value - base) / 16;
    return number <= 0xFFFFFF ? static_cast<int>(number) : 0;
}

// ---- The machine ----------------------------------------------------------------------

Machine::~Machine() {
    for (void* block : allocations) std::free(block);
}

Machine& machine() {
    static Machine instance;
    return instance;
}

Node* findNode(std::string_view path) {
    bool trailingBackslash = false;
    std::string key = pathKey(path, &trailingBackslash);
    auto found = machine().files.find(key);
    if (found == machine().files.end()) return nullptr;
    if (trailingBackslash && !found->second.isFolder()) return nullptr;
    return &found->second;
}

bool folderExists(std::string_view key) {
    if (isDriveRoot(key)) return true;
    auto found = machine().files.find(std::string(key));
    return found != machine().files.end() && found->second.isFolder();
}

std::string newSpelling(std::string_view path) {
    std::string_view trimmed = withoutTrailingBackslashes(path);
    std::size_t cut = cp932::findLastOf(trimmed, "\\");
    if (cut == std::string_view::npos) return std::string(trimmed);
    auto parent = machine().files.find(pathKey(trimmed.substr(0, cut)));
    if (parent == machine().files.end()) return std::string(trimmed);
    return parent->second.path + std::string(trimmed.substr(cut));
}

std::string parentKey(const std::string& key) {
    std::size_t cut = cp932::findLastOf(key, "\\");
    return cut == std::string::npos ? std::string() : key.substr(0, cut);
}

// Registry paths know no "." or "..": those are names like any other.
std::string registryKey(std::string_view path) { return lower(withoutTrailingBackslashes(path)); }

Key* findKey(std::string_view path) {
    auto found = machine().keys.find(registryKey(path));
    return found == machine().keys.end() ? nullptr : &found->second;
}

HWND windowHandle(std::size_t index) {
    return static_cast<HWND>(machine().windowSeries.make(static_cast<int>(index) + 1));
}

Window* findWindow(HWND handle, std::size_t* index) {
    int number = machine().windowSeries.numberOf(handle);
    if (number == 0 || static_cast<std::size_t>(number) > machine().windows.size()) return nullptr;
    if (index != nullptr) *index = static_cast<std::size_t>(number) - 1;
    return &machine().windows[static_cast<std::size_t>(number) - 1];
}

// ---- The log --------------------------------------------------------------------------

std::string quoted(std::string_view text) {
    std::string result = "\"";
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            result += "\\n";
        } else if (c == '\r') {
            result += "\\r";
        } else if (c == '\t') {
            result += "\\t";
        } else if (c == '"') {
            result += "\\\"";
        } else if (byte < 0x20 || byte == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            result += escape;
        } else {
            result += c;
        }
    }
    return result + "\"";
}

std::string quoted(const char* text) { return text == nullptr ? "null" : quoted(std::string_view(text)); }

std::string hex(std::uint64_t value) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "0x%llx", static_cast<unsigned long long>(value));
    return digits;
}

std::string pointerName(const void* pointer) {
    return pointer == nullptr ? "null" : hex(reinterpret_cast<std::uintptr_t>(pointer));
}

std::string windowName(HWND window) {
    const Window* known = findWindow(window);
    return known != nullptr ? known->role : pointerName(window);
}

std::string keyName(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE) return "HKLM";
    int number = machine().keySeries.numberOf(key);
    return number != 0 && number <= machine().keySeries.issued ? "hkey" + std::to_string(number) : pointerName(key);
}

std::string searchName(HANDLE search) {
    if (search == INVALID_HANDLE_VALUE) return "-1";
    int number = machine().searchSeries.numberOf(search);
    return number != 0 && number <= machine().searchSeries.issued ? "find" + std::to_string(number) : pointerName(search);
}

Call::Call(std::string_view function, Line line)
    : reserved_(line == Line::beforeNestedCalls),
      slot_(machine().log.size()),
      generation_(machine().logGeneration),
      line_(function) {
    line_ += '(';
    if (reserved_) machine().log.emplace_back();
}

Call& Call::arg(std::string_view formatted) {
    if (hasArgs_) line_ += ", ";
    line_ += formatted;
    hasArgs_ = true;
    return *this;
}

Call& Call::arg(long long value) { return arg(std::to_string(value)); }

void Call::done() {
    line_ += ')';
    write();
}

void Call::done(std::string_view result) {
    line_ += ") -> ";
    line_ += result;
    write();
}

void Call::write() {
    Machine& m = machine();
    if (!reserved_) {
        m.log.push_back(std::move(line_));
    } else if (generation_ == m.logGeneration && slot_ < m.log.size()) {
        m.log[slot_] = std::move(line_);
    }
}

}  // namespace fake::detail
