// Refusal to uninstall while an affected application has a window open.
#pragma once

#include "platform/operations.h"

// Shows the close-program message (none when unattended) and returns true when an
// application that the list section affects has a top-level window; false, having shown
// nothing, otherwise.
bool checkRunningApplications(platform::HWND owner);

// The topmost top-level window whose class name begins with `className`, or null.
// An empty name matches nothing.
platform::HWND findRunningWindow(const char* className);
