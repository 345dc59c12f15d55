// Property of the path mapping: a Windows path that is not a native one (a drive path, a
// path from the top of drive C, or a relative path while the current folder lies on a
// drive) maps below that drive's folder of the machine root, never above or beside it,
// and with no ".", ".." or empty name left in it.
#include "platform/posix/paths.h"

#include "check.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace {

// Machine roots as a user may give them, and the folder each one is after tidying, with the
// current folder "/home/user".
struct Root {
    const char* given;
    const char* folder;
};
constexpr Root roots[] = {
    {"/srv/machine", "/srv/machine"},
    {"/srv/machine/", "/srv/machine"},
    {"/srv/./machine//", "/srv/machine"},
    {"/srv/other/../machine", "/srv/machine"},
    {"machine", "/home/user/machine"},
    {"../machine", "/home/machine"},
    {"", "/home/user"},
    {"/", ""},
};
constexpr const char* outsideFolder = "/home/user";

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// True when `path` is `folder` or below it, each name below being a real name.
bool tidyBelow(std::string_view path, const std::string& folder) {
    if (path.substr(0, folder.size()) != folder) return false;
    std::string_view rest = path.substr(folder.size());
    if (rest.empty()) return true;
    if (rest.front() != '/') return false;
    rest.remove_prefix(1);
    for (;;) {
        std::size_t slash = rest.find('/');
        std::string_view name = rest.substr(0, slash);
        if (name.empty() || name == "." || name == ".." || name.find('\\') != std::string_view::npos) return false;
        if (slash == std::string_view::npos) return true;
        rest.remove_prefix(slash + 1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const Root& root = roots[input.ConsumeIntegralInRange<std::size_t>(0, sizeof roots / sizeof roots[0] - 1)];
    // The current folder: outside the root, or on one of its drives some folders deep.
    // (A relative root is taken from the current folder, and the table gives where each one
    // lies seen from outside: those are only tried from there.)
    const bool onDrive = input.ConsumeBool() && root.given[0] == '/';
    const char currentDrive = static_cast<char>('a' + input.ConsumeIntegralInRange<int>(0, 25));
    const std::string below = input.ConsumeRandomLengthString(40);
    const std::string windowsPath = input.ConsumeRemainingBytesAsString();

    std::string current = outsideFolder;
    if (onDrive) {
        current = std::string(root.folder) + "/drive_" + currentDrive + "/";
        for (char c : below) current += (c == '\0' || c == '.' || c == '\\') ? '/' : c;
    }

    std::optional<std::string> mapped = posix::nativePath(windowsPath, root.given, current);
    if (!mapped) return 0;
    fuzzcheck::require(!mapped->empty() && mapped->front() == '/', "a mapped path is absolute");
    if (windowsPath.empty() || windowsPath.front() == '/') return 0;  // a native path: used as given

    char drive = 0;
    if (windowsPath.size() >= 2 && isLetter(windowsPath[0]) && windowsPath[1] == ':') {
        drive = lower(windowsPath[0]);
    } else if (windowsPath.front() == '\\') {
        drive = 'c';
    } else if (onDrive) {
        drive = currentDrive;
    } else {
        return 0;  // relative to a folder outside the machine: not a path of the machine
    }
    const std::string driveFolder = std::string(root.folder) + "/drive_" + drive;
    fuzzcheck::require(tidyBelow(*mapped, driveFolder), "the mapped path stays in its drive folder");
    return 0;
}
