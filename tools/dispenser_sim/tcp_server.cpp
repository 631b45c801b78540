// Accepts the tool on 127.0.0.1:PORT. One tool at a time: a new connection
// replaces the old one, so a tool restarted after a crash is not locked out.
// It goes through the port layer's socket calls, which have a BSD and a
// Winsock side, so the same server runs on Linux and on Windows.
#include <chrono>
#include <string>
#include <thread>

#include "port/socket_api.h"
#include "tools/dispenser_sim/transport.h"

namespace {

class TcpServerTransport : public Transport {
 public:
  explicit TcpServerTransport(int port) : port_(port) {}
  ~TcpServerTransport() override {
    SocketClose(peer_);
    SocketClose(listener_);
    if (started_) SocketLibraryEnd();
  }

  bool open(std::string* announce, std::string* error) override {
    const std::string where = "127.0.0.1:" + std::to_string(port_);
    started_ = SocketLibraryStart() == 0;
    if (started_) listener_ = SocketCreate();
    if (listener_ == kNoSocket ||
        SocketListenAt(listener_, SocketParseIPv4("127.0.0.1"), static_cast<uint16_t>(port_),
                       4) != 0) {
      *error = "cannot listen on " + where +
               (SocketListenFailure() == PortOpenFailure::Busy ? ": the port is in use" : "");
      return false;
    }
    *announce = "127.0.0.1:" + std::to_string(SocketLocalPort(listener_));
    return true;
  }

  TransportEvent wait(int timeoutMs, std::vector<uint8_t>* in) override {
    const int32_t socks[2] = {listener_, peer_};
    if (SocketWaitReadable(socks, peer_ == kNoSocket ? 1 : 2, timeoutMs) <= 0) {
      return TransportEvent::Quiet;
    }
    const int32_t fresh = SocketAccept(listener_);
    if (fresh != kNoSocket) {
      SocketClose(peer_);
      peer_ = fresh;
      return TransportEvent::Connected;
    }
    if (peer_ == kNoSocket) return TransportEvent::Quiet;
    uint8_t buffer[512];
    const int n = SocketReceive(peer_, buffer, sizeof buffer);
    if (n > 0) {
      in->insert(in->end(), buffer, buffer + n);
      return TransportEvent::Data;
    }
    if (n < 0 && SocketLastError() == SocketError::WouldBlock) return TransportEvent::Quiet;
    SocketClose(peer_);
    peer_ = kNoSocket;
    return TransportEvent::Lost;
  }

  // The socket is non-blocking: a reply that does not fit at once waits for
  // room, as a blocking send would.
  void send(const uint8_t* bytes, size_t count) override {
    while (peer_ != kNoSocket && count > 0) {
      const int n = SocketSend(peer_, bytes, static_cast<int>(count));
      if (n > 0) {
        bytes += n;
        count -= static_cast<size_t>(n);
      } else if (n < 0 && SocketLastError() == SocketError::WouldBlock) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      } else {
        SocketClose(peer_);
        peer_ = kNoSocket;
      }
    }
  }

 private:
  int port_;
  bool started_ = false;
  int32_t listener_ = kNoSocket;
  int32_t peer_ = kNoSocket;
};

}  // namespace

std::unique_ptr<Transport> makeTcpServerTransport(int port) {
  return std::make_unique<TcpServerTransport>(port);
}
