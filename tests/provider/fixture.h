// The per-provider seam of the conformance suite: how a provider's machine is set up and
// inspected from outside the operations under test. Each provider supplies one fixture file.
#pragma once

#include <string>

namespace fixture {

// Makes a fresh, empty scratch area; called before every test.
void setUp();
// Removes the scratch area and everything the test left there.
void tearDown();

// A Windows-style folder path (no trailing backslash) inside the scratch area, where the
// test may create files and folders, e.g. "C:\\conformance".
std::string scratchFolder();
// The Windows-style path of the folder where profile files named without a folder live,
// e.g. "C:\\windows"; the test may create files there and the fixture removes them.
std::string windowsFolder();
// A registry key path below HKEY_LOCAL_MACHINE, private to the test, e.g. "Software\\ConformanceTest".
std::string scratchKey();

// Files and folders, by Windows-style path.
void makeFolder(const std::string& path);
void makeFile(const std::string& path, const std::string& bytes);
// A file in `folder` named in UTF-8, with characters the code page may have no form for.
void makeFileNamedInUtf8(const std::string& folder, const std::string& utf8Name);
void makeReadOnly(const std::string& path);
void removeFile(const std::string& path);
bool exists(const std::string& path);
std::string readFile(const std::string& path);
// A symbolic link (or junction) at `link` to the folder `target`; false when the provider
// cannot make one, in which case link tests are skipped.
bool makeFolderLink(const std::string& link, const std::string& target);

// Takes from the test, until its end, the right to list the folder at `path` and, unless
// `maySearch`, to search it; false when the provider cannot (such tests are skipped).
bool lockFolder(const std::string& path, bool maySearch);

// Registry, by path below HKEY_LOCAL_MACHINE.
void makeKey(const std::string& path);
void setStringValue(const std::string& key, const std::string& name, const std::string& value);
bool keyExists(const std::string& path);
bool valueExists(const std::string& key, const std::string& name);

// Top-level windows: opens one of the given class; false when the provider has no windows
// to open here (no display), in which case window tests are skipped.
bool openWindow(const std::string& className, bool hidden);
void closeWindows();

}  // namespace fixture
