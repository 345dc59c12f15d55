// The registry of the POSIX provider: a "REGEDIT4" export file held in memory, with look-ups
// and the few changes the uninstaller makes, and a writer that keeps every untouched line.
// Pure: nothing here reads or writes the disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace posix {

// One value as the registry functions hand it out.
struct RegistryValue {
    std::string name;         // escapes resolved; empty for the default value ("@")
    std::uint32_t type = 0;   // REG_SZ, REG_DWORD, REG_BINARY, or the number of a hex(n) form
    std::string data;         // the bytes; a string's data ends with its terminating NUL
};

// Where and why a file could not be read: a 1-based line number and a short reason.
struct RegistryParseError {
    std::size_t line = 0;
    std::string reason;
};

// The keys of one file. Key paths are relative to HKEY_LOCAL_MACHINE, backslash-separated,
// the empty path being HKEY_LOCAL_MACHINE itself; names of keys and values compare without
// regard to ASCII case and keep the case they were written with.
//
// File rules: the first non-blank line is "REGEDIT4" (a UTF-8 byte order mark may precede
// it; a file with no non-blank line at all is an empty registry). Then key headers
// "[HKEY_LOCAL_MACHINE\Path]", values "name"=..., "@"=..., comments starting with ';' and
// blank lines, with LF or CR LF line ends. A value line ending with a backslash continues on
// the next line. Keys of other roots ("[HKEY_CURRENT_USER\...]") are kept as they are but
// cannot be reached. Deletion entries ("[-HKEY_...]", "name"=-) are refused: this file
// describes a state, not a list of changes, and a change the uninstaller cannot apply must
// not be silently dropped. NUL bytes anywhere are refused too.
//
// Text is code page 932, as in a REGEDIT4 file exported on a Japanese system, and is kept byte
// for byte. Only ASCII letters compare without regard to case; the second byte of a
// double-byte character is part of it: never a letter, and never a backslash, so it neither
// escapes inside quotes (where it is not doubled) nor separates the names of a key path.
//
// A key exists when it has a header of its own or some key below it has one, as an import
// of the file would create the parents of every key it names.
class RegistryFile {
public:
    // The model of `bytes`, or nothing with `error` (when given) filled in.
    static std::optional<RegistryFile> parse(std::string_view bytes, RegistryParseError* error);

    // The file's text: byte for byte the parsed input when nothing changed; otherwise the
    // input without the lines of deleted keys and values, plus the lines of added ones.
    std::string write() const;

    // True once a change has been made since parsing.
    bool changed() const { return changed_; }

    bool keyExists(std::string_view path) const;
    bool hasSubkeys(std::string_view path) const;

    // The values of an existing key in file order (a name given twice counts once, at its
    // first place, with its last data, as an import would leave it). Empty when the key is
    // missing.
    std::vector<RegistryValue> values(std::string_view path) const;

    // The paths of every key with a header of its own, in file order, as first written.
    std::vector<std::string> keys() const;

    // Removes the value (every line that sets it); false when the key or value is missing.
    bool deleteValue(std::string_view path, std::string_view name);

    enum class KeyDeletion { deleted, missing, hasSubkeys, isRoot };
    // Removes the key with its values. A key with subkeys and the root itself are refused.
    KeyDeletion deleteKey(std::string_view path);

    // Makes the key (and so its parents) exist; its header goes at the end of the file.
    // False for a path with an empty name in it.
    bool addKey(std::string_view path);
    // Sets a value of the key, adding the key when missing: a value of that name keeps its
    // place, else the new one follows the key's last value. False for a bad path.
    bool setValue(std::string_view path, const RegistryValue& value);

private:
    struct Entry {
        std::string raw;      // the physical lines, line ends included
        bool isValue = false;
        RegistryValue value;  // when isValue
    };
    struct Block {
        std::string header;   // the header line, line end included
        bool reachable = false;  // a key below HKEY_LOCAL_MACHINE
        bool removed = false;
        bool added = false;   // made by addKey, written apart from the lines before it
        std::size_t node = 0; // when reachable
        std::vector<Entry> entries;
    };
    struct Node {
        std::string name;     // the first spelling met
        std::size_t parent = 0;
        std::unordered_map<std::string, std::size_t> children;  // lower-cased name -> node
        std::vector<std::size_t> blocks;   // live blocks with this key's header
        std::size_t keysBelow = 0;         // nodes below with at least one live block
    };

    RegistryFile();

    std::optional<std::size_t> findNode(std::string_view path) const;
    std::optional<std::size_t> makeNode(std::string_view path);
    bool nodeExists(std::size_t node) const;
    std::string nodePath(std::size_t node) const;
    void attachBlock(std::size_t block, std::size_t node);
    std::size_t appendBlock(std::size_t node);
    std::string headerLine(std::size_t node) const;

    std::string preamble_;    // everything before the first key header
    std::vector<Block> blocks_;
    std::vector<Node> nodes_; // nodes_[0] is HKEY_LOCAL_MACHINE
    std::string_view lineEnd_ = "\r\n";  // always one of two literals
    bool signed_ = false;     // the input had its "REGEDIT4" line
    bool changed_ = false;
};

// The text of a value line for `value`: "name"="text" for a string that can be written so,
// dword:xxxxxxxx for a four-byte REG_DWORD, hex(n):.. with continued lines otherwise.
std::string registryValueLine(const RegistryValue& value, std::string_view lineEnd);

}  // namespace posix
