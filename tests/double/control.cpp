// The control API: how a test sets the machine up, scripts it and looks at it afterwards.
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "double/fake.h"
#include "machine.h"

namespace fake {

using namespace detail;

void reset() {
    Machine& m = machine();
    unsigned generation = m.logGeneration + 1;
    for (void* block : m.allocations) std::free(block);
    m.allocations.clear();
    m = Machine();
    m.logGeneration = generation;
}

void setEnvironmentVariable(const std::string& name, const std::string& value) {
    machine().environment[lower(name)] = value;
}

// ---- Files and folders ----------------------------------------------------------------

namespace {

// Makes every missing folder above `key`, spelled as in `path`; false when a file is in the way.
bool makeParents(const std::string& path, const std::string& key) {
    Machine& m = machine();
    for (std::size_t cut = cp932::find(key, '\\'); cut != std::string::npos; cut = cp932::find(key, '\\', cut + 1)) {
        std::string parent = key.substr(0, cut);
        if (parent.empty() || isDriveRoot(parent)) continue;
        auto found = m.files.find(parent);
        if (found == m.files.end()) {
            m.files.emplace(parent, Node{newSpelling(path.substr(0, cut)), FILE_ATTRIBUTE_DIRECTORY, ""});
        } else if (!found->second.isFolder()) {
            return false;
        }
    }
    return true;
}

void warn(const char* what, const std::string& path) {
    std::fprintf(stderr, "fake: %s: %s (ignored)\n", what, path.c_str());
}

}  // namespace

void addFolder(const std::string& path, DWORD attributes) {
    std::string key = pathKey(path);
    if (key.empty() || isDriveRoot(key)) return;
    Machine& m = machine();
    auto found = m.files.find(key);
    if (found != m.files.end() && !found->second.isFolder()) return warn("a file is there already", path);
    if (!makeParents(path, key)) return warn("a file is in the way", path);
    Node& node = m.files.try_emplace(key, Node{newSpelling(path), 0, ""}).first->second;
    node.attributes = attributes | FILE_ATTRIBUTE_DIRECTORY;
}

void addFile(const std::string& path, const std::string& bytes, DWORD attributes) {
    std::string key = pathKey(path);
    if (key.empty() || isDriveRoot(key)) return;
    Machine& m = machine();
    auto found = m.files.find(key);
    if (found != m.files.end() && found->second.isFolder()) return warn("a folder is there already", path);
    if (!makeParents(path, key)) return warn("a file is in the way", path);
    Node& node = m.files.try_emplace(key, Node{newSpelling(path), 0, ""}).first->second;
    node.attributes = attributes & ~FILE_ATTRIBUTE_DIRECTORY;
    node.bytes = bytes;
}

bool exists(const std::string& path) { return attributesOf(path) != INVALID_FILE_ATTRIBUTES; }

DWORD attributesOf(const std::string& path) {
    if (isDriveRoot(pathKey(path))) return FILE_ATTRIBUTE_DIRECTORY;
    const Node* node = findNode(path);
    return node != nullptr ? node->attributes : INVALID_FILE_ATTRIBUTES;
}

std::string fileBytes(const std::string& path) {
    const Node* node = findNode(path);
    return node != nullptr && !node->isFolder() ? node->bytes : std::string();
}

std::vector<std::string> tree() {
    std::vector<std::string> paths;
    for (const auto& [key, node] : machine().files) paths.push_back(node.path);
    return paths;
}

std::vector<std::string> linkSearches() { return machine().linkSearches; }

int openSearchCount() { return static_cast<int>(machine().searches.size()); }

// ---- Registry -------------------------------------------------------------------------

void addKey(const std::string& path) {
    Machine& m = machine();
    std::string key = registryKey(path);
    for (std::size_t cut = cp932::find(key, '\\'); cut != std::string::npos; cut = cp932::find(key, '\\', cut + 1)) {
        m.keys.try_emplace(key.substr(0, cut), Key{path.substr(0, cut), {}});
    }
    m.keys.try_emplace(key, Key{path.substr(0, key.size()), {}});
}

void denyKey(const std::string& path) {
    addKey(path);
    findKey(registryKey(path))->denied = true;
}

void setValue(const std::string& key, const std::string& name, const std::string& data, DWORD type) {
    addKey(key);
    Key* target = findKey(key);
    std::string bytes = data;
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) bytes += '\0';
    for (Value& value : target->values) {
        if (lower(value.name) == lower(name)) {
            value.type = type;
            value.bytes = std::move(bytes);
            return;
        }
    }
    target->values.push_back(Value{name, type, std::move(bytes)});
}

bool keyExists(const std::string& path) { return findKey(path) != nullptr; }

std::vector<std::string> valueNames(const std::string& key) {
    std::vector<std::string> names;
    if (const Key* found = findKey(key)) {
        for (const Value& value : found->values) names.push_back(value.name);
    }
    return names;
}

int openKeyCount() { return static_cast<int>(machine().openKeys.size()); }

// ---- Windows --------------------------------------------------------------------------

HWND addWindow(const std::string& className, bool hidden) {
    Machine& m = machine();
    std::string role = "top" + std::to_string(++m.topWindowsAdded);
    m.windows.push_back(Window{role, className, true, hidden, false});
    m.zOrder.push_back(m.windows.size() - 1);
    return windowHandle(m.windows.size() - 1);
}

void failClassNameOf(HWND window) {
    if (Window* target = findWindow(window)) target->classNameFails = true;
}

void failWindowCreation() { machine().windowCreationFails = true; }

int progressPosition() { return machine().progress.position; }

int progressStepCount() { return machine().progressSteps; }

// ---- Message boxes, module path, memory -----------------------------------------------

void scriptAnswers(std::vector<int> answers) {
    machine().answers = std::move(answers);
    machine().nextAnswer = 0;
}

void setModulePath(const std::string& path) {
    machine().modulePath = path;
    machine().modulePathFails = false;
}

void setModulePathFails() { machine().modulePathFails = true; }

void failAllocationFrom(int n) { machine().failAllocationFrom = n; }

// ---- The call log ---------------------------------------------------------------------

const std::vector<std::string>& calls() { return machine().log; }

std::vector<std::string> calls(std::initializer_list<std::string_view> names) {
    std::vector<std::string> selected;
    for (const std::string& line : machine().log) {
        std::string_view function = std::string_view(line).substr(0, line.find('('));
        for (std::string_view name : names) {
            if (function == name) {
                selected.push_back(line);
                break;
            }
        }
    }
    return selected;
}

void clearCalls() {
    machine().log.clear();
    ++machine().logGeneration;
}

}  // namespace fake
