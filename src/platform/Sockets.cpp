#include "Sockets.h"

// Address arithmetic is the same on both systems; only the headers that declare it differ.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

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
