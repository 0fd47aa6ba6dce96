#include "Sockets.h"

#include <winsock2.h>
#include <ws2tcpip.h>

// Winsock is started by libcurl's global initialisation, before the FTP client opens a socket.

intptr_t OpenSocket(int family, int type, int protocol) {
    SOCKET s = ::socket(family, type, protocol);
    // Non-blocking from the start: libcurl makes the sockets it connects so, but not the one it listens on
    // in active mode, and it may send on that one before any connection came (seen under wine): a blocking
    // send there would hold the transfer thread, and a stop with it, for good.
    u_long nonBlocking = 1;
    if (s != INVALID_SOCKET)
        ::ioctlsocket(s, FIONBIO, &nonBlocking);
    return s == INVALID_SOCKET ? -1 : static_cast<intptr_t>(s);
}

int CloseSocket(intptr_t socket) {
    return ::closesocket(static_cast<SOCKET>(socket)) == 0 ? 0 : -1;
}

void ShutdownSocket(intptr_t socket, bool receiving) {
    ::shutdown(static_cast<SOCKET>(socket), receiving ? SD_BOTH : SD_SEND);
}

void DrainSocket(intptr_t socket) {
    char sink[4096];
    u_long waiting = 0;
    while (::ioctlsocket(static_cast<SOCKET>(socket), FIONREAD, &waiting) == 0 && waiting > 0) {
        int want = waiting < sizeof sink ? static_cast<int>(waiting) : static_cast<int>(sizeof sink);
        if (::recv(static_cast<SOCKET>(socket), sink, want, 0) <= 0)
            break;
    }
}
