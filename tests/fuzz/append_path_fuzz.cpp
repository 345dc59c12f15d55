// Property: appendPathComponent never makes the path longer than capacity - 1, keeps it
// terminated inside its buffer, and gives exactly what a plain model of its rule gives.
#include "removal/primitives.h"
#include "platform/operations.h"

#include "check.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string upToNul(std::string s) {
    std::size_t nul = s.find('\0');
    if (nul != std::string::npos) s.resize(nul);
    return s;
}

// A trail byte of value 0x5C (code page 932, the provider's) is no backslash.
bool endsInBackslash(const std::string& path) {
    std::size_t last = std::string::npos;
    for (std::size_t i = 0; i < path.size(); ++i) {
        last = i;
        if (platform::IsDBCSLeadByte(static_cast<platform::BYTE>(path[i])) && i + 1 < path.size()) ++i;
    }
    return last != std::string::npos && last == path.size() - 1 && path[last] == '\\';
}

// The rule in plain words: refuse (-1, path as it was) when path and name together leave
// no room for a separator and the terminator; else one backslash between the two, a
// single leading backslash of the name dropped.
int model(std::string& path, std::size_t capacity, const std::string& name) {
    if (capacity < 2 || path.size() + name.size() > capacity - 2) return -1;
    if (!endsInBackslash(path)) path += '\\';
    path += (!name.empty() && name.front() == '\\') ? name.substr(1) : name;
    return static_cast<int>(path.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::size_t capacity = input.ConsumeIntegralInRange<std::size_t>(1, 600);
    std::string path = upToNul(input.ConsumeRandomLengthString(capacity));
    if (path.size() >= capacity) path.resize(capacity - 1);
    const std::string name = upToNul(input.ConsumeRemainingBytesAsString());

    // The buffer is exactly `capacity` bytes, the rest filled with a marker byte.
    std::vector<char> buffer(capacity, '#');
    std::memcpy(buffer.data(), path.c_str(), path.size() + 1);
    const std::vector<char> before = buffer;

    const int result = appendPathComponent(buffer.data(), capacity, name.c_str());

    fuzzcheck::require(std::memchr(buffer.data(), '\0', capacity) != nullptr, "path terminated inside its buffer");
    const std::string actual(buffer.data());
    fuzzcheck::require(actual.size() <= capacity - 1, "path at most capacity - 1 characters");

    std::string expected = path;
    const int expectedResult = model(expected, capacity, name);
    fuzzcheck::require(result == expectedResult, "result as the model gives it");
    fuzzcheck::require(actual == expected, "path as the model gives it");
    if (result < 0) fuzzcheck::require(buffer == before, "a refused join leaves the buffer untouched");
    else fuzzcheck::require(result == static_cast<int>(actual.size()), "result is the new length");
    return 0;
}
