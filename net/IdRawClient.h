#pragma once
#include "IdRawBase.h"

// Publishes ReceiveTimeout; behaves as its base.
class TIdRawClient : public TIdRawBase {};
