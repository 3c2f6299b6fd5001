#include "net/IdSocketList.h"

#include "net/IdException.h"

#include <cstring>

TIdSocketListWindows::TIdSocketListWindows() {
    std::memset(&FFds, 0, sizeof FFds);
}

TIdStackSocketHandle TIdSocketListWindows::Item(int AIndex) const {
    if (AIndex < 0 || AIndex >= Count()) {
        throw EIdStackSetSizeExceeded();
    }
    return FFds.fd_array[AIndex];
}

void TIdSocketListWindows::Add(TIdStackSocketHandle AHandle) {
    if (Count() >= IdWinSock2::FD_SETSIZE_WS) {
        throw EIdStackSetSizeExceeded();
    }
    FFds.fd_array[FFds.fd_count++] = AHandle;
}

void TIdSocketListWindows::Remove(TIdStackSocketHandle AHandle) {
    for (int I = 0; I < Count(); ++I) {
        if (FFds.fd_array[I] == AHandle) {
            const unsigned Last = FFds.fd_count - 1;
            FFds.fd_array[I] = FFds.fd_array[Last];
            FFds.fd_array[Last] = 0;
            --FFds.fd_count;
            return;
        }
    }
}

int TIdSocketListWindows::Count() const {
    return static_cast<int>(FFds.fd_count);
}
