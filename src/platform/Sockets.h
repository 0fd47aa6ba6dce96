#pragma once

#include <cstdint>
#include <string>

// The few socket calls the FTP client makes itself (libcurl makes the rest): a socket is its system handle
// as an integer.

/// Opens a socket (`family`, `type`, `protocol` as the system numbers them); -1 when it cannot.
intptr_t OpenSocket(int family, int type, int protocol);
/// Closes a socket; 0, or -1 on failure.
int CloseSocket(intptr_t socket);
/// Stops sending (and, with `receiving`, receiving) at once, waking any wait on the socket.
void ShutdownSocket(intptr_t socket, bool receiving);
/// Reads and drops what has already arrived, without waiting.
void DrainSocket(intptr_t socket);
/// The port of a socket address (IPv4 or IPv6; the system's sockaddr), or 0.
long PortOfSocketAddress(const void* address);
/// Whether `host` is an IPv4 or IPv6 address rather than a name.
bool IsIpAddress(const std::string& host);
