#pragma once
// The Windows API as the Qt-free code includes it: without the min and max macros, which
// break the standard library's, and without the rarely used parts that slow every build.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
