// Lexical resolution of "." and ".." in Windows paths of code page 932.
#include "platform/ini/full_path.h"

#include <vector>

#include "platform/ini/code_page_932.h"

namespace cp932 {

namespace {

// Where the components begin: after "C:\", "\\server\share\" or "\", or after "C:" of a
// path relative to drive C's current folder; 0 for a relative path.
std::size_t rootLength(const std::string& path) {
    if (path.starts_with("\\\\")) {
        std::size_t end = 2;
        for (int part = 0; part < 2 && end < path.size(); ++part) {  // the server, then the share
            end = find(path, '\\', end);
            end = end == std::string::npos ? path.size() : end + 1;
        }
        return end;
    }
    if (path.starts_with("\\")) return 1;
    bool drive = path.size() >= 2 && path[1] == ':' && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z');
    if (!drive) return 0;
    return path.size() > 2 && path[2] == '\\' ? 3 : 2;
}

}  // namespace

std::string resolveDotComponents(std::string_view text) {
    std::string path(text);
    for (char& c : path) {
        if (c == '/') c = '\\';  // 0x2F is never a trail byte
    }
    std::size_t root = rootLength(path);
    // Only a root that ends at a separator or a share is a top a ".." cannot leave; in a
    // relative path a leading ".." names a real parent of the current folder and stays.
    bool rooted = root > 0 && path[root - 1] != ':';
    std::vector<std::string> kept;
    std::size_t leadingDotDots = 0;
    bool trailingSeparator = false;
    for (std::size_t at = root; at < path.size();) {
        std::size_t end = std::min(find(path, '\\', at), path.size());
        std::string name = path.substr(at, end - at);
        if (name == ".." && !kept.empty()) {
            kept.pop_back();
        } else if (name == ".." && !rooted) {
            ++leadingDotDots;
        } else if (!name.empty() && name != "." && name != "..") {
            kept.push_back(name);
        }
        trailingSeparator = end < path.size();
        at = end + 1;
    }
    std::string result = path.substr(0, root);
    for (std::size_t i = 0; i < leadingDotDots + kept.size(); ++i) {
        if (i > 0) result += '\\';
        result += i < leadingDotDots ? std::string("..") : kept[i - leadingDotDots];
    }
    if (trailingSeparator && result.size() > root) result += '\\';
    return result;
}

}  // namespace cp932
