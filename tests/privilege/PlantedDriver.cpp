// A library as a user could plant it for the system's GL and EGL loaders to open, named
// swrast_dri.so in a folder that LIBGL_DRIVERS_PATH names, or in an EGL vendor file. Those
// loaders judge their variables by user ids, not by the raised start. Loaded, it says so on
// stderr with what it got from the helper; it is no driver, so the loader then goes on.
#include "tests/privilege/HelperProbe.h"

#include <cstdio>

namespace {
const bool Reported = [] {
    std::fprintf(stderr, "planted driver: loaded, %s\n", HelperProbe::Probe().c_str());
    return true;
}();
} // namespace
