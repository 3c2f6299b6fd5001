#pragma once
#include "net/IdRawBase.h"

// Adds nothing to its base, whose settings (ReceiveTimeout among them) are public already;
// the echo client derives from it.
class TIdRawClient : public TIdRawBase {};
