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

long PortOfSocketAddress(const void* address) {
    const auto* a = static_cast<const sockaddr*>(address);
    if (a->sa_family == AF_INET)
        return ntohs(static_cast<const sockaddr_in*>(address)->sin_port);
    if (a->sa_family == AF_INET6)
        return ntohs(static_cast<const sockaddr_in6*>(address)->sin6_port);
    return 0;
}

bool IsIpAddress(const std::string& host) {
    unsigned char buffer[16];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}
