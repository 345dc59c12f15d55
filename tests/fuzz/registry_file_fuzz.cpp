// Properties of the registry file reader and writer on any file it accepts:
// - written back unchanged, it is the same bytes;
// - after a few changes picked from the input (a value deleted, a key deleted, values of
//   every kind set, a key added), the written text parses again into the same keys with the
//   same values as the changed model.
#include "platform/posix/registry_file.h"

#include "check.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

// A cheap, stable hash of the input: picks which keys and values the changes touch.
std::uint64_t hashOf(std::string_view bytes) {
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
    return h;
}

bool sameValues(const std::vector<posix::RegistryValue>& a, const std::vector<posix::RegistryValue>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].name != b[i].name || a[i].type != b[i].type || a[i].data != b[i].data) return false;
    }
    return true;
}

// Key paths as the registry compares them. A parent's spelling is the one its file spells
// first, and a change can move a key's block to the end of the file, so after a rewrite a
// parent may come back spelt in other letter case: the same key.
std::vector<std::string> foldedKeys(const posix::RegistryFile& file) {
    std::vector<std::string> keys = file.keys();
    for (std::string& key : keys) {
        for (char& c : key) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return keys;
}

void requireSameModel(const posix::RegistryFile& expected, const posix::RegistryFile& actual) {
    const std::vector<std::string> keys = expected.keys();
    fuzzcheck::require(foldedKeys(expected) == foldedKeys(actual), "written file has the same keys");
    for (const std::string& key : keys) {
        fuzzcheck::require(actual.keyExists(key), "every key exists after writing");
        fuzzcheck::require(sameValues(expected.values(key), actual.values(key)), "every key keeps its values");
    }
}

// A few bytes of the input as a value name or data: quotes, backslashes and line breaks
// included, so the writer's escaping is exercised.
std::string slice(std::string_view bytes, std::uint64_t at, std::size_t length) {
    if (bytes.empty()) return "n";
    std::size_t start = static_cast<std::size_t>(at % bytes.size());
    return std::string(bytes.substr(start, length));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    posix::RegistryParseError error;
    std::optional<posix::RegistryFile> parsed = posix::RegistryFile::parse(bytes, &error);
    if (!parsed) {
        fuzzcheck::require(error.line >= 1, "a refused file names a line");
        fuzzcheck::require(!error.reason.empty(), "a refused file says why");
        return 0;
    }
    posix::RegistryFile file = std::move(*parsed);
    fuzzcheck::require(!file.changed(), "a parsed file is unchanged");
    fuzzcheck::require(file.write() == bytes, "an unchanged file is written back byte for byte");

    std::optional<posix::RegistryFile> again = posix::RegistryFile::parse(file.write(), nullptr);
    fuzzcheck::require(again.has_value(), "the written file parses");
    requireSameModel(file, *again);

    // Changes picked by the input's hash.
    const std::uint64_t h = hashOf(bytes);
    const std::vector<std::string> keys = file.keys();
    if (!keys.empty()) {
        const std::string& key = keys[h % keys.size()];
        const std::vector<posix::RegistryValue> values = file.values(key);
        if (!values.empty()) file.deleteValue(key, values[(h >> 8) % values.size()].name);
        file.deleteKey(keys[(h >> 16) % keys.size()]);
        const std::string& target = keys[(h >> 24) % keys.size()];
        posix::RegistryValue text{slice(bytes, h >> 32, 6), 1, slice(bytes, h >> 40, 12) + '\0'};
        file.setValue(target, text);
        posix::RegistryValue number{"n" + slice(bytes, h >> 20, 3), 4, slice(bytes, h >> 12, 4)};
        file.setValue(target, number);
        posix::RegistryValue binary{"b" + slice(bytes, h >> 28, 3), static_cast<std::uint32_t>(7 + (h >> 36) % 9), slice(bytes, h >> 44, 60)};
        file.setValue(target, binary);
        file.setValue(target + "\\Added", posix::RegistryValue{"", 1, std::string("default\0", 8)});
    }
    file.addKey("Software\\Fuzz\\Added");
    file.setValue("", posix::RegistryValue{"at the root", 1, std::string("x\0", 2)});

    const std::string written = file.write();
    std::optional<posix::RegistryFile> reread = posix::RegistryFile::parse(written, &error);
    fuzzcheck::require(reread.has_value(), "the changed file parses again");
    requireSameModel(file, *reread);
    return 0;
}
