// The modal progress dialog and the removal run that executes inside it.
#pragma once

#include "platform/operations.h"

inline constexpr int removalDialogTemplate = 102;
inline constexpr int progressControlId = 1000;

// Opens the progress dialog over `owner`; returns once the run inside it is over. When the
// dialog cannot be made, the run happens all the same, without a progress bar.
void runRemovalDialog(platform::HWND owner);

// The dialog procedure: initialisation starts the run, which ends the dialog itself.
platform::INT_PTR removalDialogProcedure(platform::HWND dialog, platform::UINT message, platform::WPARAM wParam,
                                         platform::LPARAM lParam);
