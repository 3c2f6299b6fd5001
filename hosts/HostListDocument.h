#pragma once
// The host list and its editing rules: they live as long as the window, whether or not the
// grid that shows them has been made yet.
#include "hosts/HostList.h"
#include "hosts/HostListEditor.h"

struct THostListDocument {
    THostList List;
    THostListEditor Editor{List};
};
