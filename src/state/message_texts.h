// The user-visible texts and the names read from the message file beside the executable.
// The front end loads them once at start; everything after reads them.
#pragma once

#include <cstddef>

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
