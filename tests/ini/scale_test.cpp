// Large files: building the index is linear and a look-up does not depend on the file size.
#include "platform/ini/ini.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace {

std::string manyKeys(std::size_t count) {
    std::string file = "[Head]\r\nFirst=1\r\n[Files]\r\n";
    for (std::size_t i = 0; i < count; ++i) {
        file += "File" + std::to_string(i) + "=C:\\Program Files\\App\\file" +
                std::to_string(i) + ".dat\r\n";
    }
    return file;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(IniScale, HundredThousandKeysAreIndexedAndLookedUpQuickly) {
    const std::size_t count = 100000;
    const std::string file = manyKeys(count);
    const auto start = std::chrono::steady_clock::now();
    const ini::Document document(file);
    char buffer[128];
    for (std::size_t i = 0; i < count; ++i) {
        const std::string key = "FILE" + std::to_string(count - 1 - i);
        ASSERT_GT(ini::getString(&document, "files", key.c_str(), "", buffer, sizeof buffer),
                  0u);
    }
    // A quadratic index or a scanning look-up takes minutes here; the linear one well
    // under a second, even under the sanitizers.
    EXPECT_LT(secondsSince(start), 10.0);
    const std::string expected = "C:\\Program Files\\App\\file" + std::to_string(count - 1) + ".dat";
    ini::getString(&document, "Files", ("File" + std::to_string(count - 1)).c_str(), "", buffer,
                   sizeof buffer);
    EXPECT_EQ(std::string(buffer), expected);
}

TEST(IniScale, UpdatingTheLastKeyOfAHugeFileIsLinear) {
    const std::size_t count = 100000;
    std::string file = manyKeys(count);
    const auto start = std::chrono::steady_clock::now();
    for (int round = 0; round < 5; ++round) {
        file = ini::update(file, "Files", "File" + std::to_string(count - 1),
                           "v" + std::to_string(round));
    }
    EXPECT_LT(secondsSince(start), 10.0);
    const ini::Document document(file);
    EXPECT_EQ(document.find("Files", "File" + std::to_string(count - 1)), "v4");
    EXPECT_EQ(document.find("Files", "File0"), "C:\\Program Files\\App\\file0.dat");
}

}  // namespace
