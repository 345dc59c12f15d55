// The removal run: the chosen application, then the shared files and the shared component
// when no other application needs them, then the application's installed flag.
#include "removal/removal_run.h"

#include "removal/leftovers.h"
#include "removal/primitives.h"
#include "removal/protected_folders.h"
#include "removal/section_removal.h"
#include "removal/uninstall_list.h"
#include "state/message_texts.h"
#include "state/module_instance.h"
#include "state/options.h"

namespace {

// The progress control stays set after the dialog has ended; nothing uses it then.
platform::HWND progressControl = nullptr;

void setProgressRange(void*, int count) {
    auto maximum = static_cast<platform::LPARAM>(static_cast<unsigned>(count) & 0xFFFFu);
    platform::SendMessageA(progressControl, platform::PBM_SETRANGE, 0, maximum << 16);
}

void stepProgress(void*) {
    platform::SendMessageA(progressControl, platform::PBM_STEPIT, 0, 0);
}

constexpr ProgressSink progressBar{setProgressRange, stepProgress, nullptr};
constexpr ProgressSink noProgressBar{[](void*, int) {}, [](void*) {}, nullptr};

// Set when a run begins: a dialog that could not be made never started one.
bool runStarted = false;

struct FlagKeys {
    const char* own;
    const char* other;
};

FlagKeys flagKeysOfListSection() {
    if (listSectionIs(fileUtilitySection)) return {"FileUtility", "DelivUtility"};
    if (listSectionIs(deliveryUtilitySection)) return {"DelivUtility", "FileUtility"};
    return {nullptr, nullptr};
}

// An installer that let the user choose the delivery folder may have written the Desktop or
// Documents here: such a folder is never emptied, whatever else is in it, and it says so.
void sweepExtraFolder(const char* folder, bool usable) {
    if (!usable) return;
    if (isProtectedFolder(folder)) {
        noteLeftover(folder, " (not emptied)");
        return;
    }
    emptyAndRemoveFolder(folder);
}

void sweepBeforeRemoval() {
    if (listSectionIs(deliveryUtilitySection)) {
        UninstallList::enumerate("Extra_Deliv", "Folder", UninstallList::longCapacity,
                                 [](const char* folder, bool usable) { sweepExtraFolder(folder, usable); });
        return;
    }
    char installFolder[UninstallList::longCapacity];
    if (UninstallList::readString("UNINSTALL_Files_File", "PATH", installFolder, sizeof installFolder) ==
        UninstallList::Value::fits) {
        removeEmptySubfolders(installFolder);
    }
}

void unregisterFromSharedComponent() {
    platform::HKEY key = nullptr;
    if (platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, sharedApplicationKey, 0, platform::KEY_ALL_ACCESS,
                                &key) != platform::ERROR_SUCCESS) {
        return;
    }
    platform::RegDeleteValueA(key, messageTexts.appNameForDll);
    platform::RegCloseKey(key);
}

// Returns false when the run must stop at once (a chain node could not be allocated).
bool removeSharedParts(const ProgressSink& progress) {
    countSectionItems("Files_Common");
    if (allocationFailed()) return false;
    removeSection("Files_Common", progress);
    unregisterFromSharedComponent();
    if (sharedComponentInUse()) return true;
    countSectionItems("Files_DLL");
    if (allocationFailed()) return false;
    removeSection("Files_DLL", progress);
    platform::RegDeleteKeyA(platform::HKEY_LOCAL_MACHINE, sharedApplicationKey);
    platform::RegDeleteKeyA(platform::HKEY_LOCAL_MACHINE, sharedComponentKey);
    return true;
}

void performRemovalRun(const ProgressSink& progress) {
    runStarted = true;
    const char* listSection = commandLineOptions.listSection;
    sweepBeforeRemoval();
    int count = countSectionItems(listSection);
    if (allocationFailed()) return;
    progress.setRange(count);
    removeSection(listSection, progress);

    FlagKeys flags = flagKeysOfListSection();
    if (flags.own == nullptr) return;
    int ownFlag = UninstallList::readFlag("Utility", flags.own);
    bool onlyThisApplicationInstalled = ownFlag == 1 && UninstallList::readFlag("Utility", flags.other) == 0;
    if (onlyThisApplicationInstalled && !removeSharedParts(progress)) return;
    // A flag that was 0 or missing marks nothing when the write fails; one that was set stays
    // set, and the application stays marked installed for whatever runs next.
    if (!UninstallList::clearFlag(flags.own) && ownFlag != 0) {
        noteLeftover(commandLineOptions.listFilePath, " (installed flag not cleared)");
    }
}

}  // namespace

platform::INT_PTR removalDialogProcedure(platform::HWND dialog, platform::UINT message, platform::WPARAM wParam,
                                         platform::LPARAM) {
    if (message == platform::WM_INITDIALOG) {
        progressControl = platform::GetDlgItem(dialog, progressControlId);
        platform::SendMessageA(progressControl, platform::PBM_SETPOS, 0, 0);
        platform::SendMessageA(progressControl, platform::PBM_SETSTEP, 1, 0);
        platform::ShowWindow(dialog, platform::SW_SHOWNORMAL);
        // Sent, not posted: the whole run happens inside this call, before initialisation returns.
        platform::SendMessageA(dialog, platform::WM_COMMAND, progressControlId, 0);
        return 0;
    }
    if (message == platform::WM_COMMAND && (wParam & 0xFFFFu) == progressControlId) {
        performRemovalRun(progressBar);
        platform::EndDialog(dialog, 1);
        return 1;
    }
    return 0;
}

void runRemovalDialog(platform::HWND owner) {
    runStarted = false;
    platform::DialogBoxParamA(moduleInstance, platform::makeIntResource(removalDialogTemplate), owner,
                              removalDialogProcedure, 0);
    // Without a desktop, or without the progress bar's class, the dialog is never made; the
    // removal must still happen, or the caller would be told of a removal that never was.
    if (!runStarted) performRemovalRun(noProgressBar);
}
