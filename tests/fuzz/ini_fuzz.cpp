// Properties of the INI engine on any file:
// - a look-up returns at most capacity - 1 bytes, terminated, equal to the start of the
//   value the document holds (or of the default), and stays inside the buffer it is given;
// - after an update that the engine calls storable, the updated key reads back as the new
//   value (as a reader sees it: blanks around it and one pair of enclosing quotes dropped),
//   and every other key looked at reads exactly as before.
#include "platform/ini/code_page_932.h"
#include "platform/ini/ini.h"

#include "check.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// How names are matched: blanks around them dropped, ASCII letters in either case, the
// trail byte of a double-byte character exactly.
std::string nameKey(std::string_view s) {
    std::string out(trimBlanks(s));
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = lower(out[i]);
        if (cp932::isLeadByte(static_cast<unsigned char>(out[i]))) ++i;
    }
    return out;
}

// What a reader sees of a written value.
std::string_view asRead(std::string_view value) {
    value = trimBlanks(value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return value;
}

std::string upToNul(std::string s) {
    std::size_t nul = s.find('\0');
    if (nul != std::string::npos) s.resize(nul);
    return s;
}

// Section and key names that occur in the file, taken loosely from its lines: a name
// between '[' and ']', and the text before a '=' under it. Loose is fine: any pair works as a
// probe, the ones that exist just make the probe worth more.
std::vector<std::pair<std::string, std::string>> probes(std::string_view bytes) {
    std::vector<std::pair<std::string, std::string>> out;
    std::string section;
    std::size_t at = 0;
    while (at < bytes.size() && out.size() < 24) {
        std::size_t end = bytes.find_first_of("\r\n", at);
        if (end == std::string_view::npos) end = bytes.size();
        std::string_view line = trimBlanks(bytes.substr(at, end - at));
        at = end + 1;
        if (!line.empty() && line.front() == '[') {
            std::size_t close = line.find(']');
            if (close != std::string_view::npos) section = upToNul(std::string(line.substr(1, close - 1)));
            continue;
        }
        std::size_t equals = line.find('=');
        if (equals != std::string_view::npos) out.emplace_back(section, upToNul(std::string(line.substr(0, equals))));
    }
    return out;
}

// One look-up into an exact-size buffer, checked against the document's own value.
void checkLookUp(const ini::Document* document, const std::string& section, const std::string& key,
                 const std::string& defaultText, std::uint32_t capacity) {
    std::vector<char> buffer(capacity, '#');
    const std::uint32_t copied =
        ini::getString(document, section.c_str(), key.c_str(), defaultText.c_str(), buffer.data(), capacity);
    fuzzcheck::require(copied <= capacity - 1, "look-up copies at most capacity - 1 bytes");
    fuzzcheck::require(buffer[copied] == '\0', "look-up result terminated after the bytes copied");

    std::string_view expected;
    std::optional<std::string_view> found = document != nullptr ? document->find(section, key) : std::nullopt;
    if (found) {
        expected = *found;
    } else {
        expected = defaultText;
        while (!expected.empty() && expected.back() == ' ') expected.remove_suffix(1);
    }
    const std::size_t take = expected.size() < capacity - 1 ? expected.size() : capacity - 1;
    fuzzcheck::require(copied == take, "look-up copies the value cut to capacity - 1");
    fuzzcheck::require(std::memcmp(buffer.data(), expected.data(), take) == 0, "look-up copies the value's bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string section = upToNul(input.ConsumeRandomLengthString(64));
    const std::string key = upToNul(input.ConsumeRandomLengthString(64));
    const std::string value = upToNul(input.ConsumeRandomLengthString(300));
    const std::uint32_t capacity = input.ConsumeIntegralInRange<std::uint32_t>(1, 300);
    const std::string bytes = input.ConsumeRemainingBytesAsString();

    const ini::Document before(bytes);
    std::vector<std::pair<std::string, std::string>> looked = probes(bytes);
    looked.emplace_back(section, key);

    for (const auto& [s, k] : looked) checkLookUp(&before, s, k, value, capacity);
    checkLookUp(nullptr, section, key, value, capacity);

    std::vector<std::optional<std::string>> was;
    for (const auto& [s, k] : looked) {
        std::optional<std::string_view> v = before.find(s, k);
        was.push_back(v ? std::optional<std::string>(std::string(*v)) : std::nullopt);
    }

    const std::string updated = ini::update(bytes, section, key, value);
    if (!ini::storable(section, key, value)) {
        fuzzcheck::require(updated == bytes, "a request that cannot be stored changes nothing");
        return 0;
    }
    const ini::Document after(updated);
    std::optional<std::string_view> now = after.find(section, key);
    fuzzcheck::require(now.has_value(), "the updated key exists");
    fuzzcheck::require(*now == asRead(value), "the updated key reads back as the new value");

    const std::string targetSection = nameKey(section);
    const std::string targetKey = nameKey(key);
    for (std::size_t i = 0; i < looked.size(); ++i) {
        const auto& [s, k] = looked[i];
        if (nameKey(s) == targetSection && nameKey(k) == targetKey) continue;
        std::optional<std::string_view> v = after.find(s, k);
        std::optional<std::string> other = v ? std::optional<std::string>(std::string(*v)) : std::nullopt;
        fuzzcheck::require(other == was[i], "every other key reads as before the update");
    }
    return 0;
}
