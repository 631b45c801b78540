// Reading and writing the client transport's connected TCP socket (Linux).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// Waits up to timeoutMs on fd. 1: data appended; 0: nothing; -1: the peer
// closed or the connection failed.
int socketReceive(int fd, int timeoutMs, std::vector<uint8_t>* in);
// False when the connection failed.
bool socketSend(int fd, const uint8_t* bytes, size_t count);
// A loopback address 127.0.0.1:port.
struct sockaddr_in loopback(int port);
