#include "tests/net/FakeStack.h"

TFakeStack* TFakeStack::Current = nullptr;
uint32_t TFakeStack::Now = 0;
uint32_t TFakeStackScope::Pid = 0;
