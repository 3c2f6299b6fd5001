#include "system/EchoHelperChannel.h"

#include <atomic>

namespace System {
namespace {
std::atomic<int> Channel{-1};
}

void SetEchoHelperChannel(int AChannel) {
    Channel.store(AChannel);
}

int EchoHelperChannel() {
    return Channel.load();
}

} // namespace System
