#pragma once
// The millisecond tick counter and the process id, behind one replaceable source so that
// tests can step the clock across the counter's wrap.
#include <cstdint>

struct TIdClockSource {
    uint32_t (*Ticks)();
    uint32_t (*ProcessId)();
};

uint32_t IdTicks();
uint32_t IdProcessId();
// Null restores the system's sources.
void SetIdClockSource(const TIdClockSource* ASource);

// Milliseconds from an earlier to a later reading of the 32-bit counter, across its wrap.
constexpr uint32_t GetTickDiff(uint32_t AEarlier, uint32_t ALater) {
    return ALater - AEarlier;
}
