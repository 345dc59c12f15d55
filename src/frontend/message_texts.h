// The user-visible texts and the names read from the message file beside the executable.
#pragma once

#include <cstddef>

#include "platform/operations.h"

struct MessageTexts {
    static constexpr std::size_t textCapacity = 255;
    static constexpr std::size_t nameCapacity = 80;

    char dialogCaption[textCapacity];
    char promptQuestion[textCapacity];
    char completionText[textCapacity];
    char completionCaption[textCapacity];
    char promptHeading[textCapacity];
    char closeProgramText[textCapacity];
    char fileUtilityClass[nameCapacity];
    char deliveryUtilityClass[nameCapacity];
    char appNameForDll[nameCapacity];
};

// Loaded once at start, read-only afterwards.
extern MessageTexts messageTexts;

// Fills messageTexts from the message file; every value missing there takes its English default.
void loadMessageTexts(platform::HINSTANCE moduleInstance, const char* listSection);

// The message file's path: the executable's path with its last three characters replaced
// by "ini", or "Uninst.ini" when that path cannot be had or does not fit.
void messageFilePath(platform::HINSTANCE moduleInstance, char* path, std::size_t capacity);
