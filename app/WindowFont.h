#pragma once
#include <QFont>

// The window's font: the bitmap "MS Sans Serif" at 11 pixels, added from the system's Wine
// fonts the first time, or the closest sans-serif where that file is missing.
QFont WindowFont();
