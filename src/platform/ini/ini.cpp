// Profile files are read the way the Win32 profile functions read them: no comment syntax,
// no escapes, names compared without regard to ASCII case (the trail byte of a double-byte
// character is no letter and must match exactly), the first section and the first key of a
// name winning. NUL bytes are ordinary bytes: they end neither a line nor a value,
// so a file holding them is read to its real end.
#include "platform/ini/ini.h"

#include "platform/ini/code_page_932.h"

#include "common/text.h"

#include <unordered_set>
#include <utility>

namespace ini {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool isLineBreak(char c) { return c == '\r' || c == '\n'; }

std::string_view trimBlanks(std::string_view s) {
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && isBlank(s[begin])) ++begin;
    while (end > begin && isBlank(s[end - 1])) --end;
    return s.substr(begin, end - begin);
}

// Names and values are code page 932: the 5D in 転 (93 5D) is no ']'.
bool holdsCharacter(std::string_view s, char c) { return cp932::find(s, c) != std::string_view::npos; }

// The header "[name]" closes at its own ']': neither a ']' in the name nor a lead byte at its
// end, which would take the ']' for its second byte, may cut or swallow it.
bool closesWhereItEnds(std::string_view section) {
    std::string header(section);
    header += ']';
    return cp932::find(header, ']') == section.size();
}

void appendLowered(std::string& out, std::string_view s) {
    for (std::size_t i = 0; i < s.size(); i += cp932::characterLength(s, i)) {
        out.push_back(text::asciiLower(s[i]));
        if (cp932::characterLength(s, i) == 2) out.push_back(s[i + 1]);
    }
}

// Index key of a section and a key name; neither can hold a line break, so "\n" separates
// them unambiguously.
std::string indexKey(std::string_view section, std::string_view key) {
    std::string k;
    k.reserve(section.size() + 1 + key.size());
    appendLowered(k, section);
    k.push_back('\n');
    appendLowered(k, key);
    return k;
}

// One matching pair of quotes around the whole value is dropped; a lone quote stays.
std::string_view unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// One line of the buffer: content is [begin, end), its ending [end, next).
struct Line {
    std::size_t begin;
    std::size_t end;
    std::size_t next;
};

// CR LF, LF, a lone CR and the end of the buffer all end a line.
Line lineAt(std::string_view bytes, std::size_t begin) {
    std::size_t end = begin;
    while (end < bytes.size() && !isLineBreak(bytes[end])) ++end;
    std::size_t next = end;
    if (next < bytes.size()) {
        if (bytes[next] == '\r' && next + 1 < bytes.size() && bytes[next + 1] == '\n') {
            next += 2;
        } else {
            next += 1;
        }
    }
    return {begin, end, next};
}

enum class Kind { Blank, Header, Key, Other };

struct Parsed {
    Kind kind;
    std::string_view name;   // trimmed section name (Header) or key name (Key)
    std::size_t equals;      // offset of the key line's first '=' in the buffer
    std::string_view value;  // trimmed text after that '=', quotes still on
};

Parsed parseLine(std::string_view bytes, const Line& line) {
    std::string_view content = bytes.substr(line.begin, line.end - line.begin);
    std::string_view body = trimBlanks(content);
    if (body.empty()) return {Kind::Blank, {}, 0, {}};
    if (body.front() == '[') {
        std::size_t close = cp932::find(body, ']');
        if (close != std::string_view::npos) {
            return {Kind::Header, trimBlanks(body.substr(1, close - 1)), 0, {}};
        }
    }
    // A lead byte takes a '=' after it for its second byte, as Windows reads the line.
    std::size_t equals = cp932::find(content, '=');
    if (equals == std::string_view::npos) return {Kind::Other, {}, 0, {}};
    return {Kind::Key, trimBlanks(content.substr(0, equals)), line.begin + equals,
            trimBlanks(content.substr(equals + 1))};
}

bool holdsLineBreak(std::string_view s) {
    return s.find('\r') != std::string_view::npos || s.find('\n') != std::string_view::npos;
}

// Text that would read back as something else once written is refused: a line break
// would split the line, a ']' in a section name or a '=' in a key name would be cut there, a
// lead byte ending a section name or a key name would swallow the ']' or the '=', and a key
// line starting with '[' and holding a ']' would be taken for a header.
bool representable(std::string_view section, std::string_view key, std::string_view value) {
    if (holdsLineBreak(section) || holdsLineBreak(key) || holdsLineBreak(value)) return false;
    if (!closesWhereItEnds(section)) return false;
    if (key.find('=') != std::string_view::npos || cp932::endsInLoneLeadByte(key)) return false;
    if (!key.empty() && key.front() == '[' && (holdsCharacter(key, ']') || holdsCharacter(value, ']'))) {
        return false;
    }
    return true;
}

}  // namespace

Document::Document(std::string bytes) : bytes_(std::move(bytes)) {
    const std::string_view all(bytes_);
    std::unordered_set<std::string> sectionsSeen;
    std::string section;  // lower-cased name of the section being read
    bool searched = false;  // keys before any header, and in a repeated section, are never found
    for (std::size_t at = 0; at < all.size();) {
        const Line line = lineAt(all, at);
        at = line.next;
        const Parsed parsed = parseLine(all, line);
        if (parsed.kind == Kind::Header) {
            section.clear();
            appendLowered(section, parsed.name);
            searched = sectionsSeen.insert(section).second;
        } else if (parsed.kind == Kind::Key && searched) {
            const std::size_t offset = static_cast<std::size_t>(parsed.value.data() - all.data());
            index_.try_emplace(indexKey(section, parsed.name), offset, parsed.value.size());
        }
    }
}

std::optional<std::string_view> Document::find(std::string_view section,
                                               std::string_view key) const {
    const auto hit = index_.find(indexKey(trimBlanks(section), trimBlanks(key)));
    if (hit == index_.end()) return std::nullopt;
    return unquote(std::string_view(bytes_).substr(hit->second.first, hit->second.second));
}

std::uint32_t getString(const Document* document, const char* section, const char* key,
                        const char* defaultText, char* buffer, std::uint32_t capacity) {
    if (buffer == nullptr || capacity == 0) return 0;
    // A null section or key names nothing here (the key and section listings of the Win32
    // call are not offered), so the default answers.
    std::optional<std::string_view> found;
    if (document != nullptr && section != nullptr && key != nullptr) {
        found = document->find(section, key);
    }
    std::string_view result;
    if (found) {
        result = *found;
    } else {
        result = defaultText != nullptr ? std::string_view(defaultText) : std::string_view();
        while (!result.empty() && result.back() == ' ') result.remove_suffix(1);
    }
    buffer[0] = '\0';
    text::appendBytes(buffer, capacity, result.data(), result.size());
    return static_cast<std::uint32_t>(result.size() < capacity - 1 ? result.size() : capacity - 1);
}

unsigned getInt(const Document* document, const char* section, const char* key,
                int defaultValue) {
    const unsigned fallback = static_cast<unsigned>(defaultValue);
    if (document == nullptr || section == nullptr || key == nullptr) return fallback;
    const std::optional<std::string_view> found = document->find(section, key);
    if (!found || found->empty()) return fallback;

    const std::string_view s = *found;
    std::size_t i = 0;
    while (i < s.size() && isBlank(s[i])) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    unsigned base = 10;
    if (i + 1 < s.size() && s[i] == '0') {
        if (s[i + 1] == 'x') base = 16;
        if (s[i + 1] == 'o') base = 8;
        if (s[i + 1] == 'b') base = 2;
        if (base != 10) i += 2;
    }
    // Unsigned arithmetic wraps modulo 2^32, as the Win32 reader does.
    std::uint32_t result = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        unsigned digit = 99;
        if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
        if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
        if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
        if (digit >= base) break;
        result = result * base + digit;
    }
    return negative ? 0u - result : result;
}

bool storable(std::string_view section, std::string_view key, std::string_view value) {
    return representable(trimBlanks(section), trimBlanks(key), value);
}

std::string update(std::string_view original, std::string_view section, std::string_view key,
                   std::string_view value) {
    const std::string_view wantSection = trimBlanks(section);
    const std::string_view wantKey = trimBlanks(key);
    if (!representable(wantSection, wantKey, value)) return std::string(original);

    bool inSection = false;
    bool sectionFound = false;
    Line anchor{};  // last non-blank line of the section, where a missing key goes after
    std::string_view ending = "\r\n";  // the section's own line ending, once one is seen
    for (std::size_t at = 0; at < original.size();) {
        const Line line = lineAt(original, at);
        at = line.next;
        const Parsed parsed = parseLine(original, line);
        if (parsed.kind == Kind::Header) {
            if (inSection) break;  // only the first copy of the section counts
            if (cp932::equalIgnoringCase(parsed.name, wantSection)) inSection = sectionFound = true;
        }
        if (!inSection) continue;
        if (parsed.kind != Kind::Blank) anchor = line;
        if (line.next > line.end) ending = original.substr(line.end, line.next - line.end);
        if (parsed.kind == Kind::Key && cp932::equalIgnoringCase(parsed.name, wantKey)) {
            // Writing what a reader already sees keeps the file byte for byte.
            if (unquote(parsed.value) == value) return std::string(original);
            std::string out;
            out.reserve(original.size() + value.size());
            out.append(original.substr(0, parsed.equals + 1));
            out.append(value);
            out.append(original.substr(line.end));
            return out;
        }
    }

    std::string out;
    out.reserve(original.size() + wantSection.size() + wantKey.size() + value.size() + 8);
    if (sectionFound) {
        // The new line ends as the line before it does; that line has no ending only when it
        // is the last of the file, and then it gets the section's own (or CR LF).
        if (anchor.next > anchor.end) {
            ending = original.substr(anchor.end, anchor.next - anchor.end);
        }
        out.append(original.substr(0, anchor.next));
        if (anchor.next == anchor.end) out.append(ending);
        out.append(wantKey).append("=").append(value).append(ending);
        out.append(original.substr(anchor.next));
        return out;
    }
    out.append(original);
    if (!original.empty() && !isLineBreak(original.back())) out.append("\r\n");
    out.append("[").append(wantSection).append("]\r\n");
    out.append(wantKey).append("=").append(value).append("\r\n");
    return out;
}

}  // namespace ini
