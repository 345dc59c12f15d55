// The module instance the platform started the program with; the front end keeps it at start.
#pragma once

#include "platform/operations.h"

extern platform::HINSTANCE moduleInstance;
