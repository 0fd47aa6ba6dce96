#include "Sockets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

intptr_t OpenSocket(int family, int type, int protocol) {
    return ::socket(family, type, protocol);
}

int CloseSocket(intptr_t socket) {
    return ::close(static_cast<int>(socket));
}

void ShutdownSocket(intptr_t socket, bool receiving) {
    ::shutdown(static_cast<int>(socket), receiving ? SHUT_RDWR : SHUT_WR);
}

void DrainSocket(intptr_t socket) {
    char sink[4096];
    while (::recv(static_cast<int>(socket), sink, sizeof sink, MSG_DONTWAIT) > 0) {
    }
}
