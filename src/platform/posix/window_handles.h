// The window handles the POSIX provider hands out. The fixed ones are small multiples of
// four; an X11 window's handle is its id shifted left by two with 2 added, so the two kinds
// never meet.
#pragma once

#include "platform/operations.h"

#include <cstdint>

namespace posix {

inline platform::HWND fixedWindow(std::uintptr_t value) { return reinterpret_cast<platform::HWND>(value); }

inline platform::HWND desktopWindow() { return fixedWindow(0x10); }
inline platform::HWND ownerWindow() { return fixedWindow(0x20); }
inline platform::HWND dialogWindow() { return fixedWindow(0x30); }
inline platform::HWND progressWindow() { return fixedWindow(0x40); }

inline platform::HWND x11Window(unsigned long id) {
    return reinterpret_cast<platform::HWND>((static_cast<std::uintptr_t>(id) << 2) | 2u);
}

inline bool isX11Window(platform::HWND window) {
    return (reinterpret_cast<std::uintptr_t>(window) & 3u) == 2u;
}

}  // namespace posix
