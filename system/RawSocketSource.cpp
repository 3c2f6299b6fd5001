#include "system/RawSocketSource.h"

#include <atomic>

namespace System {
namespace {
std::atomic<TRawSocketSource> Source{nullptr};
}

void SetRawSocketSource(TRawSocketSource ASource) {
    Source.store(ASource);
}

TRawSocketSource RawSocketSource() {
    return Source.load();
}

} // namespace System
