#include "errorreport/delivery/report_socket_win.h"

#include <winsock.h>

#include <cstring>

#include "base/exception.h"

namespace sondrel {
namespace {

class WinsockSocket final : public SocketApi {
 public:
  int Startup() override { return WSAStartup(MAKEWORD(1, 1), &wsa_); }
  int Cleanup() override { return WSACleanup() == 0 ? 0 : WSAGetLastError(); }
  bool Open(bool stream) override {
    Close();
    socket_ = socket(AF_INET, stream ? SOCK_STREAM : SOCK_DGRAM, 0);
    if (socket_ == INVALID_SOCKET) return false;
    if (stream) {
      // The message goes out in 1 KB writes (so that the progress bar moves). With the send delay of
      // small writes on, the last partial one waits for the peer's delayed acknowledgement, some 40 ms
      // per message; every write here is one the peer is waiting for, so none is held back.
      BOOL no_delay = TRUE;
      setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&no_delay), sizeof no_delay);
    }
    return true;
  }
  IPv4Address Resolve(const std::string& host) override {
    IPv4Address a{};
    const hostent* h = gethostbyname(host.c_str());
    if (h && h->h_addrtype == AF_INET && h->h_length == 4 && h->h_addr_list && h->h_addr_list[0])
      std::memcpy(a.data(), h->h_addr_list[0], 4);
    return a;
  }
  bool Connect(const IPv4Address& address, uint16_t port) override {
    // A socket that once had window notifications is non-blocking; cancel them and go back to
    // blocking mode, which every call here relies on.
    WSAAsyncSelect(socket_, nullptr, 0, 0);
    u_long blocking = 0;
    ioctlsocket(socket_, FIONBIO, &blocking);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    std::memcpy(&to.sin_addr, address.data(), 4);
    return connect(socket_, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
  }
  bool Close() override {
    if (socket_ == INVALID_SOCKET) return true;
    if (closesocket(socket_) != 0) return false;
    socket_ = INVALID_SOCKET;
    return true;
  }
  int Send(const char* data, int length) override { return send(socket_, data, length, 0); }
  int Recv(char* buffer, int size) override { return recv(socket_, buffer, size, 0); }
  int Pending() override {
    u_long n = 0;
    return ioctlsocket(socket_, FIONREAD, &n) == 0 ? static_cast<int>(n) : -1;
  }
  bool WaitReadable(uint32_t ms) override {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket_, &readable);
    timeval tv{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000) * 1000};
    return select(0, &readable, nullptr, nullptr, &tv) > 0;
  }
  bool PeerClosed() override {
    char byte;
    const int got = recv(socket_, &byte, 1, MSG_PEEK);
    return got == 0 || (got < 0 && WSAGetLastError() != WSAEWOULDBLOCK);
  }
  uint64_t NowMs() override { return GetTickCount64(); }
  int LastError() override { return WSAGetLastError(); }
  std::string ErrorText(int code) override { return SysErrorMessage(static_cast<unsigned long>(code)); }
  uintptr_t Handle() const override { return static_cast<uintptr_t>(socket_); }

 private:
  WSADATA wsa_{};
  SOCKET socket_ = INVALID_SOCKET;
};

}  // namespace

std::unique_ptr<SocketApi> NewWinsockSocket() { return std::make_unique<WinsockSocket>(); }

std::string LocalHostName() {
  char name[250] = {};
  if (gethostname(name, sizeof name) != 0) return {};
  return std::string(name, strnlen(name, sizeof name));
}

}  // namespace sondrel
