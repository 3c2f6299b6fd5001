#include "net/IdGlobal.h"

#include "net/IdPlatform.h"

namespace {
const TIdClockSource SystemClock{&IdPlatform::TickCount, &IdPlatform::CurrentProcessId};
const TIdClockSource* Clock = &SystemClock;
} // namespace

uint32_t IdTicks() {
    return Clock->Ticks();
}
uint32_t IdProcessId() {
    return Clock->ProcessId();
}
void SetIdClockSource(const TIdClockSource* ASource) {
    Clock = ASource ? ASource : &SystemClock;
}
