// The few socket calls the TCP transport makes, behind one small interface:
// socket_posix.cpp implements it with BSD sockets, and a Winsock layer can sit
// beside it without touching tcp_transport.cpp. Sockets are plain ints, -1 for
// none. Every socket made here is non-blocking with keep-alive on and the Nagle
// delay off.
#pragma once
#include <cstdint>

#include "port/open_failure.h"

constexpr int32_t kNoSocket = -1;

// What the last failed call meant to the transport. The OS error number stays
// in errno for anyone who wants the detail.
enum class SocketError { WouldBlock, IsConnected, Other };
SocketError SocketLastError();

// Brackets every open TCP port: a Winsock layer starts and ends its library
// here. 0 when ready.
int SocketLibraryStart();
void SocketLibraryEnd();

// A dotted IPv4 address in network byte order, as inet_addr reads it
// (0xFFFFFFFF when it cannot be read). No host names.
uint32_t SocketParseIPv4(const char* text);

// A new TCP/IPv4 socket with the settings above, or -1 with nothing left open.
int32_t SocketCreate();
// Binds the socket to every local interface at port and listens with backlog.
// A port just closed can be listened on again at once. 0, or -1.
int SocketListenAny(int32_t sock, uint16_t port, int backlog);
// Binds the socket to one local address (network order; 0 = every interface)
// at port and listens with backlog. 0, or -1 (see SocketListenFailure).
int SocketListenAt(int32_t sock, uint32_t address, uint16_t port, int backlog);
// Why the last SocketListenAt failed: Busy when another socket holds the
// port, NotFound when the address is not one of this machine's.
PortOpenFailure SocketListenFailure();
// The next waiting peer as a socket with the settings above, or -1 when none
// waits (or accepting failed).
int32_t SocketAccept(int32_t listener);
// As SocketAccept, also giving the peer's IPv4 address (network order).
int32_t SocketAcceptPeer(int32_t listener, uint32_t* address);

// Starts connecting to address (network order) : port. 0 when connected at
// once, else -1 with SocketLastError() WouldBlock (still under way),
// IsConnected, or Other.
int SocketConnect(int32_t sock, uint32_t address, uint16_t port);
// Looks, without waiting, at a connect under way: 1 established, 0 still
// under way, -1 failed.
int SocketConnectFinished(int32_t sock);

// recv/send on a non-blocking socket: bytes moved, 0 from recv when the peer
// has closed, -1 on failure (see SocketLastError). A send to a peer that has
// gone away fails; it never stops the process.
int SocketReceive(int32_t sock, uint8_t* dest, int size);
int SocketSend(int32_t sock, const uint8_t* bytes, int count);
// Bytes that a receive would return now: 0 with *count set, or -1.
int SocketBytesWaiting(int32_t sock, int* count);

// Waits up to timeoutMs until one of count sockets has something for a
// receive or an accept (bytes, a closed peer, a peer waiting on a listener).
// 1 when one has, 0 when the time passed, -1 on failure.
int SocketWaitReadable(const int32_t* socks, int count, int timeoutMs);
// The local port a socket is bound to (host order), or -1.
int SocketLocalPort(int32_t sock);
// What a wait on sockets is for: something to take (bytes, a connection to
// accept, the peer's end, an error), or a connect under way to end.
enum class SocketEvent { Readable, ConnectEnded };
// Sleeps until one of the count sockets (-1 entries are left out) has the
// event or ms have passed: 1 when one has, 0 when the time passed (or a
// signal cut the wait), -1 when the wait failed.
int SocketWait(const int32_t* sockets, int count, SocketEvent event, int ms);

// Shuts the socket down in both directions and closes it.
void SocketClose(int32_t sock);
