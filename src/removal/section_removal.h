// Counting and removing one section of the list file, and the chain of install folders
// recorded while counting.
#pragma once

#include <cstddef>

// The progress bar as the removal code sees it.
struct ProgressSink {
    void (*setRangeTo)(void* context, int count);
    void (*advance)(void* context);
    void* context;

    void setRange(int count) const { setRangeTo(context, count); }
    void step() const { advance(context); }
};

// One install-folder prefix. Nodes are never freed: they live until the process ends.
struct ChainNode {
    static constexpr std::size_t pathCapacity = 128;

    char path[pathCapacity];
    ChainNode* previous;
    ChainNode* next;
};

struct DirectoryChain {
    ChainNode* head;
    ChainNode* tail;
};

extern DirectoryChain directoryChain;

// Empties the chain (without freeing: the nodes stay where they are) and clears a
// recorded allocation failure.
void clearDirectoryChain();

// True once a chain node could not be allocated; the run must then end at once with
// exit code 1, after the "Memory allocation error" message has been shown.
bool allocationFailed();

// Appends the install folders of the list section to the chain and returns how many
// nodes it appended plus the number of file entries of `section`.
int countSectionItems(const char* section);

// Removes what `section` names, then the recorded install folders, deepest first.
void removeSection(const char* section, const ProgressSink& progress);
