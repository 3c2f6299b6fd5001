#pragma once
#include "net/IdRawBase.h"

// Publishes ReceiveTimeout; behaves as its base.
class TIdRawClient : public TIdRawBase {};
