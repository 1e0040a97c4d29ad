// The Windows backend's own controls (Windows builds only).
#pragma once

#include <cstdint>

#include "platform/platform.h"

// The mode dialog: lets the user choose the depth (32, 24, 16,
// 15) and the scale (1, 2), starting from the values given.  False when the
// dialog was closed without starting; true when started, or when there is
// no dialog to show (the values then stand).
bool win32_mode_dialog(int* depth, int* scale);
