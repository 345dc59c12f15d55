// The record of what a removal run left behind.
#include "removal/leftovers.h"

#include "common/text.h"
#include "removal/characters.h"

Leftovers* leftoverRecord = nullptr;

namespace {

// FNV-1a over the bytes of `text`.
std::uint64_t digestOf(const char* text) {
    std::uint64_t digest = 14695981039346656037ull;
    for (const char* p = text; *p != '\0'; ++p) {
        digest ^= static_cast<unsigned char>(*p);
        digest *= 1099511628211ull;
    }
    return digest;
}

}  // namespace

void noteLeftover(const char* name, const char* remark) {
    Leftovers* record = leftoverRecord;
    if (record == nullptr) return;
    char entry[Leftovers::nameCapacity] = "";
    appendWholeCharacters(entry, sizeof entry, name);
    appendWholeCharacters(entry, sizeof entry, remark);
    std::uint64_t digest = digestOf(entry);
    int digests = record->count < Leftovers::digestCapacity ? record->count : Leftovers::digestCapacity;
    for (int i = 0; i < digests; ++i) {
        if (record->digests[i] == digest) return;
    }
    if (digests < Leftovers::digestCapacity) record->digests[digests] = digest;
    if (record->count < Leftovers::namedCapacity) {
        text::copy(record->named[record->count], Leftovers::nameCapacity, entry);
    }
    ++record->count;
}

void noteFileDeletion(platform::BOOL deleted, const char* file) {
    if (deleted) return;
    auto error = static_cast<platform::LONG>(platform::GetLastError());
    if (error == platform::ERROR_FILE_NOT_FOUND || error == platform::ERROR_PATH_NOT_FOUND) return;
    // A name that cannot exist (a wild card, a character no Windows name holds, bytes that are
    // no character) named nothing that was there.
    if (error == platform::ERROR_INVALID_NAME || error == platform::ERROR_NO_UNICODE_TRANSLATION) return;
    noteLeftover(file);
}

void noteKeyDeletion(platform::LONG status, const char* key) {
    if (status == platform::ERROR_SUCCESS || status == platform::ERROR_FILE_NOT_FOUND) return;
    noteLeftover(key);
}
