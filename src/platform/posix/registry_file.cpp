// Parsing, look-up, change and writing of a "REGEDIT4" registry file held in memory.
// Every line keeps its raw bytes, so writing gives back the input exactly, minus what was
// deleted and plus what was added.
#include "platform/posix/registry_file.h"

#include "common/text.h"
#include "platform/posix/code_page.h"

#include <cstring>

namespace posix {

namespace {

constexpr std::uint32_t kString = 1;      // REG_SZ
constexpr std::uint32_t kBinary = 3;      // REG_BINARY
constexpr std::uint32_t kDword = 4;       // REG_DWORD
constexpr std::string_view kSignature = "REGEDIT4";
constexpr std::string_view kOurRoot = "HKEY_LOCAL_MACHINE";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
// Hex data is wrapped after this many columns, as registry exports do.
constexpr std::size_t kWrapColumn = 76;

// Names are code-page-932 text: the second byte of a double-byte character is no letter.
std::string lowered(std::string_view s) {
    std::string out(s);
    for (std::size_t i = 0; i < out.size(); i += cp932::characterLength(out, i)) out[i] = text::asciiLower(out[i]);
    return out;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && cp932::equalIgnoringCase(s.substr(0, prefix.size()), prefix);
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimLeft(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && isBlank(s[i])) ++i;
    return s.substr(i);
}

std::string_view trimRight(std::string_view s) {
    std::size_t n = s.size();
    while (n > 0 && isBlank(s[n - 1])) --n;
    return s.substr(0, n);
}

std::string_view trim(std::string_view s) { return trimRight(trimLeft(s)); }

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

char hexChar(unsigned v) { return "0123456789abcdef"[v & 0xF]; }

// One line of the file: the raw bytes with the line end, and the text without it.
struct Physical {
    std::string_view raw;
    std::string_view text;
    std::size_t number = 0;
};

class LineReader {
public:
    explicit LineReader(std::string_view bytes) : bytes_(bytes) {}

    bool next(Physical* line) {
        if (pos_ >= bytes_.size()) return false;
        std::size_t end = bytes_.find('\n', pos_);
        std::size_t stop = end == std::string_view::npos ? bytes_.size() : end + 1;
        line->raw = bytes_.substr(pos_, stop - pos_);
        std::string_view text = bytes_.substr(pos_, (end == std::string_view::npos ? bytes_.size() : end) - pos_);
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        line->text = text;
        line->number = ++number_;
        pos_ = stop;
        return true;
    }

private:
    std::string_view bytes_;
    std::size_t pos_ = 0;
    std::size_t number_ = 0;
};

// A value entry joined from its continued lines, remembering where each line's text starts
// so an error points at the right line.
struct Logical {
    std::string text;
    std::vector<std::pair<std::size_t, std::size_t>> starts;  // offset in text, line number

    void add(std::string_view part, std::size_t lineNumber) {
        starts.emplace_back(text.size(), lineNumber);
        text.append(part);
    }
    std::size_t lineAt(std::size_t offset) const {
        std::size_t line = starts.front().second;
        for (const auto& [start, number] : starts) {
            if (start > offset) break;
            line = number;
        }
        return line;
    }
};

// Reads one value line; on failure `failAt` and `reason` say where and why.
class ValueReader {
public:
    explicit ValueReader(std::string_view text) : text_(text) {}

    bool read(RegistryValue* value) {
        if (!readName(&value->name)) return false;
        skipBlanks();
        if (!at('=')) return fail("expected \"=\" after the value name");
        ++pos_;
        skipBlanks();
        if (!readData(value)) return false;
        skipBlanks();
        if (pos_ != text_.size()) return fail("unexpected text after the value");
        return true;
    }

    std::size_t failAt = 0;
    std::string reason;

private:
    bool at(char c) const { return pos_ < text_.size() && text_[pos_] == c; }
    void skipBlanks() {
        while (pos_ < text_.size() && isBlank(text_[pos_])) ++pos_;
    }
    bool fail(std::string why) {
        failAt = pos_;
        reason = std::move(why);
        return false;
    }

    bool readName(std::string* name) {
        if (at('@')) {
            ++pos_;
            name->clear();
            return true;
        }
        if (!at('"')) return fail("expected \"name\"=value");
        return readQuoted(name);
    }

    bool readQuoted(std::string* out) {
        std::size_t open = pos_;
        ++pos_;
        while (pos_ < text_.size()) {
            char c = text_[pos_];
            if (c == '"') {
                ++pos_;
                return true;
            }
            if (cp932::characterLength(text_, pos_) == 2) {
                out->append(text_.substr(pos_, 2));
                pos_ += 2;
                continue;
            }
            if (c == '\\' && pos_ + 1 < text_.size()) {
                char escaped = text_[pos_ + 1];
                if (escaped != '\\' && escaped != '"') {
                    std::string why = "unknown escape in a string";
                    if (escaped > ' ' && escaped < 0x7F) why += std::string(" (\\") + escaped + ")";
                    return fail(why);
                }
                out->push_back(escaped);
                pos_ += 2;
                continue;
            }
            out->push_back(c);
            ++pos_;
        }
        pos_ = open;
        return fail("unterminated string");
    }

    bool readData(RegistryValue* value) {
        std::string_view rest = text_.substr(pos_);
        if (at('"')) {
            value->type = kString;
            if (!readQuoted(&value->data)) return false;
            value->data.push_back('\0');
            return true;
        }
        if (at('-')) return fail("value deletion is not supported");
        if (startsWithNoCase(rest, "dword:")) {
            pos_ += 6;
            return readDword(value);
        }
        if (startsWithNoCase(rest, "hex")) {
            pos_ += 3;
            value->type = kBinary;
            if (at('(') && !readHexType(&value->type)) return false;
            if (!at(':')) return fail("expected \":\" after \"hex\"");
            ++pos_;
            return readBytes(&value->data);
        }
        return fail("expected a string, dword: or hex: value");
    }

    // Up to 8 hex digits from here into `number`; `digits` tells how many there were (none
    // is left to the caller). More than 8 fails with `tooMany`.
    bool readHexNumber(std::uint32_t* number, std::size_t* digits, const char* tooMany) {
        *number = 0;
        *digits = 0;
        while (pos_ < text_.size() && hexDigit(text_[pos_]) >= 0) {
            if (++*digits > 8) return fail(tooMany);
            *number = *number << 4 | static_cast<std::uint32_t>(hexDigit(text_[pos_]));
            ++pos_;
        }
        return true;
    }

    bool readDword(RegistryValue* value) {
        std::uint32_t number = 0;
        std::size_t digits = 0;
        if (!readHexNumber(&number, &digits, "a dword has at most 8 hex digits")) return false;
        if (digits == 0) return fail("expected hex digits after \"dword:\"");
        value->type = kDword;
        value->data.clear();
        for (int i = 0; i < 4; ++i) value->data.push_back(static_cast<char>(number >> (8 * i) & 0xFF));
        return true;
    }

    bool readHexType(std::uint32_t* type) {
        ++pos_;  // '('
        std::uint32_t number = 0;
        std::size_t digits = 0;
        if (!readHexNumber(&number, &digits, "a value type has at most 8 hex digits")) return false;
        if (digits == 0 || !at(')')) return fail("expected a value type in hex digits in \"hex(...)\"");
        ++pos_;
        *type = number;
        return true;
    }

    bool readBytes(std::string* out) {
        out->clear();
        skipBlanks();
        if (pos_ == text_.size()) return true;
        for (;;) {
            if (!readByte(out)) return false;
            skipBlanks();
            if (pos_ == text_.size()) return true;
            if (!at(',')) return fail("expected \",\" between hex bytes");
            ++pos_;
            skipBlanks();
        }
    }

    bool readByte(std::string* out) {
        int high = pos_ < text_.size() ? hexDigit(text_[pos_]) : -1;
        if (high < 0) return fail("expected a hex byte");
        ++pos_;
        int low = pos_ < text_.size() ? hexDigit(text_[pos_]) : -1;
        if (low < 0) {
            out->push_back(static_cast<char>(high));
            return true;
        }
        ++pos_;
        out->push_back(static_cast<char>(high << 4 | low));
        return true;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

// The parts of a key header line "[ROOT\path]".
struct Header {
    bool reachable = false;
    std::string_view path;
};

bool readHeader(std::string_view text, Header* header, std::string* reason) {
    std::string_view t = trim(text);
    if (t.size() > 1 && t[1] == '-') {
        *reason = "key deletion is not supported";
        return false;
    }
    if (t.size() < 2 || t.back() != ']' || cp932::endsInLoneLeadByte(t.substr(0, t.size() - 1))) {
        *reason = "expected \"]\" at the end of the key header";
        return false;
    }
    std::string_view inner = t.substr(1, t.size() - 2);
    std::size_t split = cp932::find(inner, '\\');
    std::string_view root = inner.substr(0, split);
    if (cp932::equalIgnoringCase(root, kOurRoot)) {
        header->reachable = true;
        header->path = split == std::string_view::npos ? std::string_view() : inner.substr(split + 1);
        if (split != std::string_view::npos && header->path.empty()) {
            *reason = "empty key name";
            return false;
        }
        return true;
    }
    if (root.size() > 5 && startsWithNoCase(root, "HKEY_")) {
        header->reachable = false;
        return true;
    }
    *reason = "unknown root key";
    return false;
}

// Splits a key path at backslashes (not at the second byte of a double-byte character);
// false when a name in it is empty or the path ends in half a character.
bool splitPath(std::string_view path, std::vector<std::string_view>* names) {
    names->clear();
    if (path.empty()) return true;
    if (cp932::endsInLoneLeadByte(path)) return false;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = cp932::find(path, '\\', start);
        std::size_t length = end == std::string_view::npos ? std::string_view::npos : end - start;
        std::string_view name = path.substr(start, length);
        if (name.empty()) return false;
        names->push_back(name);
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
}

// Ends the last line of `s` before more lines follow. A lone CR at the end becomes CR LF: the
// CR alone would join whatever line comes next.
void endLastLine(std::string& s, std::string_view lineEnd) {
    if (s.empty() || s.back() == '\n') return;
    if (s.back() == '\r') {
        s += '\n';
    } else {
        s += lineEnd;
    }
}

bool endsWithBlankLine(const std::string& s) {
    std::string_view v(s);
    if (v.size() >= 2 && v.substr(v.size() - 2) == "\n\n") return true;
    return v.size() >= 3 && v.substr(v.size() - 3) == "\n\r\n";
}

// A double-byte character goes in as it is: its second byte is no backslash to escape.
std::string quoted(std::string_view s) {
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size(); i += cp932::characterLength(s, i)) {
        if (s[i] == '\\' || s[i] == '"') out.push_back('\\');
        out.append(s.substr(i, cp932::characterLength(s, i)));
    }
    out.push_back('"');
    return out;
}

// True when the data is a terminated string a quoted REGEDIT4 string can carry.
bool writableAsString(const RegistryValue& value) {
    if (value.type != kString || value.data.empty() || value.data.back() != '\0') return false;
    std::string_view body(value.data.data(), value.data.size() - 1);
    return body.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos &&
           !cp932::endsInLoneLeadByte(body);
}

// A lead byte at the end would take the closing quote for its second byte.
bool nameStorable(std::string_view name) {
    return name.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos &&
           !cp932::endsInLoneLeadByte(name);
}

}  // namespace

std::string registryValueLine(const RegistryValue& value, std::string_view lineEnd) {
    std::string line = value.name.empty() ? std::string("@") : quoted(value.name);
    line.push_back('=');
    if (writableAsString(value)) {
        line += quoted(std::string_view(value.data.data(), value.data.size() - 1));
    } else if (value.type == kDword && value.data.size() == 4) {
        std::uint32_t number = 0;
        for (int i = 3; i >= 0; --i) number = number << 8 | static_cast<unsigned char>(value.data[i]);
        line += "dword:";
        for (int shift = 28; shift >= 0; shift -= 4) line.push_back(hexChar(number >> shift));
    } else {
        if (value.type == kBinary) {
            line += "hex:";
        } else {
            std::string digits;
            std::uint32_t type = value.type;
            do {
                digits.insert(digits.begin(), hexChar(type));
                type >>= 4;
            } while (type != 0);
            line += "hex(" + digits + "):";
        }
        std::size_t column = line.size();
        for (std::size_t i = 0; i < value.data.size(); ++i) {
            unsigned byte = static_cast<unsigned char>(value.data[i]);
            line.push_back(hexChar(byte >> 4));
            line.push_back(hexChar(byte));
            column += 2;
            if (i + 1 == value.data.size()) break;
            line.push_back(',');
            ++column;
            if (column >= kWrapColumn) {
                line += "\\";
                line += lineEnd;
                line += "  ";
                column = 2;
            }
        }
    }
    line += lineEnd;
    return line;
}

RegistryFile::RegistryFile() {
    nodes_.emplace_back();
    nodes_[0].name = std::string(kOurRoot);
}

std::optional<RegistryFile> RegistryFile::parse(std::string_view bytes, RegistryParseError* error) {
    auto failed = [error](std::size_t line, std::string reason) -> std::optional<RegistryFile> {
        if (error != nullptr) {
            error->line = line;
            error->reason = std::move(reason);
        }
        return std::nullopt;
    };
    std::string_view mark = bytes.substr(0, 2);
    if (mark == "\xFF\xFE" || mark == "\xFE\xFF") {
        return failed(1, "UTF-16 text; expected \"REGEDIT4\" in 8-bit text");
    }

    RegistryFile file;
    // New lines follow the file's own line ends; a file without any gets CR LF, as exports have.
    std::size_t firstEnd = bytes.find('\n');
    if (firstEnd != std::string_view::npos && (firstEnd == 0 || bytes[firstEnd - 1] != '\r')) file.lineEnd_ = "\n";

    LineReader reader(bytes);
    Physical line;
    bool inBlock = false;
    while (reader.next(&line)) {
        if (line.raw.find('\0') != std::string_view::npos) return failed(line.number, "NUL byte in the file");
        std::string_view text = line.text;
        if (!file.signed_) {
            if (line.number == 1 && text.substr(0, kUtf8Mark.size()) == kUtf8Mark) text.remove_prefix(kUtf8Mark.size());
            std::string_view t = trim(text);
            if (t.empty()) {
                file.preamble_.append(line.raw);
                continue;
            }
            if (t != kSignature) return failed(line.number, "expected \"REGEDIT4\" on the first line");
            file.signed_ = true;
            file.preamble_.append(line.raw);
            continue;
        }

        std::string_view t = trimLeft(text);
        if (t.empty() || t.front() == ';') {
            if (inBlock) {
                file.blocks_.back().entries.push_back(Entry{std::string(line.raw), false, {}});
            } else {
                file.preamble_.append(line.raw);
            }
            continue;
        }

        if (t.front() == '[') {
            Header header;
            std::string reason;
            if (!readHeader(t, &header, &reason)) return failed(line.number, reason);
            Block block;
            block.header = std::string(line.raw);
            block.reachable = header.reachable;
            std::size_t index = file.blocks_.size();
            if (header.reachable) {
                std::optional<std::size_t> node = file.makeNode(header.path);
                if (!node) return failed(line.number, "empty key name");
                block.node = *node;
            }
            file.blocks_.push_back(std::move(block));
            if (header.reachable) file.attachBlock(index, file.blocks_.back().node);
            inBlock = true;
            continue;
        }

        // A value, perhaps continued over the following lines.
        std::size_t first = line.number;
        Logical logical;
        std::string raw(line.raw);
        logical.add(trimRight(t), line.number);
        while (!logical.text.empty() && logical.text.back() == '\\') {
            Physical more;
            if (!reader.next(&more)) break;
            if (more.raw.find('\0') != std::string_view::npos) return failed(more.number, "NUL byte in the file");
            logical.text.pop_back();
            logical.add(trim(more.text), more.number);
            raw.append(more.raw);
        }
        if (!inBlock) return failed(first, "value outside a key");
        Entry entry;
        entry.raw = std::move(raw);
        entry.isValue = true;
        ValueReader valueReader(logical.text);
        if (!valueReader.read(&entry.value)) return failed(logical.lineAt(valueReader.failAt), valueReader.reason);
        file.blocks_.back().entries.push_back(std::move(entry));
    }
    return file;
}

std::optional<std::size_t> RegistryFile::findNode(std::string_view path) const {
    std::vector<std::string_view> names;
    if (!splitPath(path, &names)) return std::nullopt;
    std::size_t node = 0;
    for (std::string_view name : names) {
        const auto& children = nodes_[node].children;
        auto it = children.find(lowered(name));
        if (it == children.end()) return std::nullopt;
        node = it->second;
    }
    return node;
}

std::optional<std::size_t> RegistryFile::makeNode(std::string_view path) {
    std::vector<std::string_view> names;
    if (!splitPath(path, &names)) return std::nullopt;
    std::size_t node = 0;
    for (std::string_view name : names) {
        std::string key = lowered(name);
        auto it = nodes_[node].children.find(key);
        if (it != nodes_[node].children.end()) {
            node = it->second;
            continue;
        }
        std::size_t child = nodes_.size();
        nodes_.emplace_back();
        nodes_[child].name = std::string(name);
        nodes_[child].parent = node;
        nodes_[node].children.emplace(std::move(key), child);
        node = child;
    }
    return node;
}

bool RegistryFile::nodeExists(std::size_t node) const {
    return node == 0 || !nodes_[node].blocks.empty() || nodes_[node].keysBelow > 0;
}

std::string RegistryFile::nodePath(std::size_t node) const {
    std::vector<std::size_t> chain;
    for (std::size_t n = node; n != 0; n = nodes_[n].parent) chain.push_back(n);
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!path.empty()) path.push_back('\\');
        path += nodes_[*it].name;
    }
    return path;
}

void RegistryFile::attachBlock(std::size_t block, std::size_t node) {
    nodes_[node].blocks.push_back(block);
    if (nodes_[node].blocks.size() != 1 || node == 0) return;
    // The key has just come into being: every key above it now has one more below it.
    std::size_t n = node;
    do {
        n = nodes_[n].parent;
        ++nodes_[n].keysBelow;
    } while (n != 0);
}

std::string RegistryFile::headerLine(std::size_t node) const {
    std::string line;
    line.push_back('[');
    line.append(kOurRoot);
    if (node != 0) {
        line.push_back('\\');
        line.append(nodePath(node));
    }
    line.push_back(']');
    line.append(lineEnd_);
    return line;
}

std::size_t RegistryFile::appendBlock(std::size_t node) {
    Block block;
    block.header = headerLine(node);
    block.reachable = true;
    block.added = true;
    block.node = node;
    std::size_t index = blocks_.size();
    blocks_.push_back(std::move(block));
    attachBlock(index, node);
    return index;
}

std::string RegistryFile::write() const {
    bool anyKey = false;
    for (const Block& block : blocks_) anyKey = anyKey || !block.removed;
    std::string out;
    if (!signed_ && anyKey) {
        out.append(kSignature);
        out.append(lineEnd_);
    } else {
        out = preamble_;
    }
    for (const Block& block : blocks_) {
        if (block.removed) continue;
        endLastLine(out, lineEnd_);
        if (block.added && !out.empty() && !endsWithBlankLine(out)) out += lineEnd_;
        out += block.header;
        for (const Entry& entry : block.entries) out += entry.raw;
    }
    return out;
}

bool RegistryFile::keyExists(std::string_view path) const {
    std::optional<std::size_t> node = findNode(path);
    return node && nodeExists(*node);
}

bool RegistryFile::hasSubkeys(std::string_view path) const {
    std::optional<std::size_t> node = findNode(path);
    return node && nodes_[*node].keysBelow > 0;
}

std::vector<RegistryValue> RegistryFile::values(std::string_view path) const {
    std::vector<RegistryValue> out;
    std::optional<std::size_t> node = findNode(path);
    if (!node) return out;
    std::unordered_map<std::string, std::size_t> seen;
    for (std::size_t b : nodes_[*node].blocks) {
        for (const Entry& entry : blocks_[b].entries) {
            if (!entry.isValue) continue;
            auto [it, isNew] = seen.emplace(lowered(entry.value.name), out.size());
            if (isNew) {
                out.push_back(entry.value);
            } else {
                out[it->second].type = entry.value.type;
                out[it->second].data = entry.value.data;
            }
        }
    }
    return out;
}

std::vector<std::string> RegistryFile::keys() const {
    std::vector<std::string> out;
    std::vector<bool> listed(nodes_.size(), false);
    for (const Block& block : blocks_) {
        if (block.removed || !block.reachable || listed[block.node]) continue;
        listed[block.node] = true;
        out.push_back(nodePath(block.node));
    }
    return out;
}

bool RegistryFile::deleteValue(std::string_view path, std::string_view name) {
    std::optional<std::size_t> node = findNode(path);
    if (!node) return false;
    bool found = false;
    for (std::size_t b : nodes_[*node].blocks) {
        std::vector<Entry>& entries = blocks_[b].entries;
        std::size_t kept = 0;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].isValue && cp932::equalIgnoringCase(entries[i].value.name, name)) {
                found = true;
                continue;
            }
            if (kept != i) entries[kept] = std::move(entries[i]);
            ++kept;
        }
        entries.resize(kept);
    }
    changed_ = changed_ || found;
    return found;
}

RegistryFile::KeyDeletion RegistryFile::deleteKey(std::string_view path) {
    std::optional<std::size_t> found = findNode(path);
    if (!found || !nodeExists(*found)) return KeyDeletion::missing;
    std::size_t node = *found;
    if (node == 0) return KeyDeletion::isRoot;
    if (nodes_[node].keysBelow > 0) return KeyDeletion::hasSubkeys;

    // No keys below, so the key exists through its own headers.
    std::vector<std::size_t> gone;
    gone.swap(nodes_[node].blocks);
    for (std::size_t b : gone) blocks_[b].removed = true;
    for (std::size_t n = node; n != 0;) {
        n = nodes_[n].parent;
        --nodes_[n].keysBelow;
    }
    changed_ = true;

    // A parent that only existed through this key stays, as it would in the registry: it
    // gets a header of its own where the deleted key's lines were.
    std::size_t parent = nodes_[node].parent;
    if (parent != 0 && !nodeExists(parent)) {
        Block& block = blocks_[gone.front()];
        block.removed = false;
        block.node = parent;
        block.header = headerLine(parent);
        block.entries.clear();
        block.entries.push_back(Entry{std::string(lineEnd_), false, {}});
        attachBlock(gone.front(), parent);
    }
    return KeyDeletion::deleted;
}

bool RegistryFile::addKey(std::string_view path) {
    std::optional<std::size_t> node = makeNode(path);
    if (!node) return false;
    if (nodeExists(*node)) return true;
    appendBlock(*node);
    changed_ = true;
    return true;
}

bool RegistryFile::setValue(std::string_view path, const RegistryValue& value) {
    if (!nameStorable(value.name)) return false;
    std::optional<std::size_t> found = makeNode(path);
    if (!found) return false;
    std::size_t node = *found;
    std::string line = registryValueLine(value, lineEnd_);
    changed_ = true;

    bool placed = false;
    for (std::size_t b : nodes_[node].blocks) {
        std::vector<Entry>& entries = blocks_[b].entries;
        std::size_t kept = 0;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            bool same = entries[i].isValue && cp932::equalIgnoringCase(entries[i].value.name, value.name);
            if (same && placed) continue;
            if (same) {
                entries[i].raw = line;
                entries[i].value = value;
                placed = true;
            }
            if (kept != i) entries[kept] = std::move(entries[i]);
            ++kept;
        }
        entries.resize(kept);
    }
    if (placed) return true;

    // A key that exists only through its subkeys (or the root) has no header to hang the
    // value on: it gets one.
    if (nodes_[node].blocks.empty()) appendBlock(node);
    Block& block = blocks_[nodes_[node].blocks.back()];
    std::size_t at = 0;
    for (std::size_t i = 0; i < block.entries.size(); ++i) {
        if (block.entries[i].isValue) at = i + 1;
    }
    std::string& before = at == 0 ? block.header : block.entries[at - 1].raw;
    if (before.empty()) {
        before += lineEnd_;
    } else {
        endLastLine(before, lineEnd_);
    }
    block.entries.insert(block.entries.begin() + static_cast<std::ptrdiff_t>(at), Entry{line, true, value});
    return true;
}

}  // namespace posix
