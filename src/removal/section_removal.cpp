// Section removal: uninstall entry, files, folders, registry keys, then the install folders.
#include "removal/section_removal.h"

#include "common/text.h"
#include "platform/operations.h"
#include "removal/characters.h"
#include "removal/leftovers.h"
#include "removal/primitives.h"
#include "removal/uninstall_list.h"
#include "state/options.h"

DirectoryChain directoryChain;

namespace {

bool nodeAllocationFailed = false;

// Appends a copy of `path` at the tail; false (after telling the user) when out of memory.
bool appendChainNode(const char* path) {
    auto* node = static_cast<ChainNode*>(platform::LocalAlloc(platform::LPTR, sizeof(ChainNode)));
    if (node == nullptr) {
        nodeAllocationFailed = true;
        // Unattended, exit code 1 is all the deployment tool needs.
        if (!commandLineOptions.unattended) {
            platform::MessageBoxA(nullptr, "Memory allocation error", nullptr, platform::MB_OK);
        }
        return false;
    }
    text::copy(node->path, ChainNode::pathCapacity, path);
    node->previous = directoryChain.tail;
    node->next = nullptr;
    if (directoryChain.tail != nullptr) {
        directoryChain.tail->next = node;
    } else {
        directoryChain.head = node;
    }
    directoryChain.tail = node;
    return true;
}

// Records every folder of the install path below its first component: C:\Apps\Tool\Bin
// gives C:\Apps, C:\Apps\Tool and C:\Apps\Tool\Bin. Empty components (doubled or trailing
// backslashes) are dropped; leading backslashes stay part of the first component, so a
// network or root-relative path keeps naming the same folders. Returns the nodes appended.
int recordInstallFolders(const char* installPath) {
    char prefix[ChainNode::pathCapacity] = "";
    const char* p = installPath;
    while (*p == '\\') ++p;
    text::appendBytes(prefix, sizeof prefix, installPath, static_cast<std::size_t>(p - installPath));
    bool first = true;
    int appended = 0;
    while (*p != '\0') {
        const char* end = p;
        while (*end != '\0' && *end != '\\') end = nextCharacter(end);
        if (end != p) {
            if (!first) text::append(prefix, sizeof prefix, "\\");
            // A prefix too long for a node ends the chain here rather than being cut.
            bool fits = text::appendBytes(prefix, sizeof prefix, p, static_cast<std::size_t>(end - p));
            if (!fits) return appended;
            if (!first) {
                if (!appendChainNode(prefix)) return appended;
                ++appended;
            }
            first = false;
        }
        p = (*end == '\\') ? end + 1 : end;
    }
    return appended;
}

void removeChainFolders(const ProgressSink& progress) {
    if (directoryChain.tail == nullptr) return;
    ChainNode* node = directoryChain.tail;
    for (; node->previous != nullptr; node = node->previous) {
        platform::RemoveDirectoryA(node->path);
        progress.step();
    }
    platform::RemoveDirectoryA(node->path);
}

}  // namespace

void clearDirectoryChain() {
    directoryChain = DirectoryChain{nullptr, nullptr};
    nodeAllocationFailed = false;
}

bool allocationFailed() {
    return nodeAllocationFailed;
}

int countSectionItems(const char* section) {
    char installSection[UninstallList::installSectionCapacity];
    UninstallList::installPathSection(installSection, sizeof installSection);
    char installPath[UninstallList::longCapacity];
    int count = 0;
    if (UninstallList::readString(installSection, "PATH", installPath, sizeof installPath) ==
        UninstallList::Value::fits) {
        count += recordInstallFolders(installPath);
        if (nodeAllocationFailed) return count;
    }
    count += UninstallList::enumerate(section, "FILE", UninstallList::entryCapacity, [](const char*, bool) {});
    return count;
}

void removeSection(const char* section, const ProgressSink& progress) {
    char pathsSection[UninstallList::sectionNameCapacity];
    UninstallList::pathsSectionOf(section, pathsSection, sizeof pathsSection);

    const char* entryKey = listSectionIs(fileUtilitySection) ? "UnInstKey_File" : "UnInstKey_Deliv";
    char entryName[UninstallList::longCapacity];
    if (UninstallList::readString("UnInstKey", entryKey, entryName, sizeof entryName) ==
        UninstallList::Value::fits) {
        deleteUninstallEntry(entryName);
    }
    progress.step();

    UninstallList::enumerate(section, "FILE", UninstallList::entryCapacity, [&](const char* file, bool usable) {
        if (usable) {
            platform::SetFileAttributesA(file, platform::FILE_ATTRIBUTE_NORMAL);
            noteFileDeletion(platform::DeleteFileA(file), file);
        }
        progress.step();
    });
    UninstallList::enumerate(pathsSection, "PATH", UninstallList::entryCapacity, [](const char* folder, bool usable) {
        if (usable) removeDirectoryAndParents(folder);
    });
    UninstallList::enumerate(section, "REGPATH", UninstallList::entryCapacity, [](const char* key, bool usable) {
        if (usable) noteKeyDeletion(platform::RegDeleteKeyA(platform::HKEY_LOCAL_MACHINE, key), key);
    });
    removeChainFolders(progress);
    progress.step();
}
