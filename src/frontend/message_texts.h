// The user-visible texts and the names read from the message file beside the executable.
#pragma once

#include <cstddef>

#include "platform/operations.h"
#include "state/message_texts.h"

// Fills messageTexts from the message file; every value missing there takes its English default.
void loadMessageTexts(platform::HINSTANCE moduleInstance, const char* listSection);

// The message file's path: the executable's path with its last three characters replaced
// by "ini", or "Uninst.ini" when that path cannot be had or does not fit.
void messageFilePath(platform::HINSTANCE moduleInstance, char* path, std::size_t capacity);

// The heading of the completion message when listed things stayed ("STATIC"/"MSGBOX01",
// default "Some items could not be removed:"), read from the message file only when needed.
void loadLeftoverHeading(platform::HINSTANCE moduleInstance, char* heading, std::size_t capacity);
