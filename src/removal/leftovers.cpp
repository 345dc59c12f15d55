// The record of what a removal run left behind.
#include "removal/leftovers.h"

#include "common/text.h"
#include "removal/primitives.h"

Leftovers* leftoverRecord = nullptr;

void noteLeftover(const char* name, const char* remark) {
    Leftovers* record = leftoverRecord;
    if (record == nullptr) return;
    char entry[Leftovers::nameCapacity] = "";
    appendWholeCharacters(entry, sizeof entry, name);
    appendWholeCharacters(entry, sizeof entry, remark);
    int kept = record->count < Leftovers::namedCapacity ? record->count : Leftovers::namedCapacity;
    for (int i = 0; i < kept; ++i) {
        if (text::equal(record->named[i], entry)) return;
    }
    if (kept < Leftovers::namedCapacity) text::copy(record->named[kept], Leftovers::nameCapacity, entry);
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
