#include "errorreport/delivery/report_socket_win.h"

#include <winsock.h>

#include <cstring>

#include "base/exception.h"
#include "base/handle_win.h"

namespace sondrel {
namespace {

// The sockets library is loaded when a report first opens a socket, not by the loader at every start:
// only mailing a report needs it, and under Wine the library and the four it imports in turn cost each
// start some 80 requests to the window server. A system without it fails the send with the loader's
// reason, through the start-up error every failed send already reports.
struct Winsock {
  DWORD error = 0;  // why the library or one of its functions could not be had
  decltype(&::WSAStartup) startup = nullptr;
  decltype(&::WSACleanup) cleanup = nullptr;
  decltype(&::WSAGetLastError) last_error = nullptr;
  decltype(&::WSAAsyncSelect) async_select = nullptr;
  decltype(&::socket) socket = nullptr;
  decltype(&::setsockopt) setsockopt = nullptr;
  decltype(&::gethostbyname) gethostbyname = nullptr;
  decltype(&::gethostname) gethostname = nullptr;
  decltype(&::ioctlsocket) ioctlsocket = nullptr;
  decltype(&::htons) htons = nullptr;
  decltype(&::connect) connect = nullptr;
  decltype(&::closesocket) closesocket = nullptr;
  decltype(&::send) send = nullptr;
  decltype(&::recv) recv = nullptr;
  decltype(&::select) select = nullptr;
};

Winsock LoadWinsock() {
  Winsock w;
  // Never freed: a send on another thread may still be inside it when the process ends.
  const HMODULE library = LoadLibraryA("WSOCK32.DLL");
  if (!library) {
    w.error = GetLastError();
    return w;
  }
  bool all = true;
  const auto get = [&]<class Fn>(Fn& fn, const char* name) { all = (fn = ProcAddress<Fn>(library, name)) && all; };
  get(w.startup, "WSAStartup");
  get(w.cleanup, "WSACleanup");
  get(w.last_error, "WSAGetLastError");
  get(w.async_select, "WSAAsyncSelect");
  get(w.socket, "socket");
  get(w.setsockopt, "setsockopt");
  get(w.gethostbyname, "gethostbyname");
  get(w.gethostname, "gethostname");
  get(w.ioctlsocket, "ioctlsocket");
  get(w.htons, "htons");
  get(w.connect, "connect");
  get(w.closesocket, "closesocket");
  get(w.send, "send");
  get(w.recv, "recv");
  get(w.select, "select");
  if (!all) w.error = ERROR_PROC_NOT_FOUND;
  return w;
}

// Loaded once for the whole run, by whichever thread asks first.
const Winsock& Sockets() {
  static const Winsock w = LoadWinsock();
  return w;
}

class WinsockSocket final : public SocketApi {
 public:
  // Every other call comes only after a start-up that succeeded.
  int Startup() override { return ws_.error ? static_cast<int>(ws_.error) : ws_.startup(MAKEWORD(1, 1), &wsa_); }
  int Cleanup() override { return ws_.cleanup() == 0 ? 0 : ws_.last_error(); }
  bool Open(bool stream) override {
    Close();
    socket_ = ws_.socket(AF_INET, stream ? SOCK_STREAM : SOCK_DGRAM, 0);
    if (socket_ == INVALID_SOCKET) return false;
    if (stream) {
      // The message goes out in 1 KB writes (so that the progress bar moves). With the send delay of
      // small writes on, the last partial one waits for the peer's delayed acknowledgement, some 40 ms
      // per message; every write here is one the peer is waiting for, so none is held back.
      BOOL no_delay = TRUE;
      ws_.setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&no_delay), sizeof no_delay);
    }
    return true;
  }
  IPv4Address Resolve(const std::string& host) override {
    IPv4Address a{};
    const hostent* h = ws_.gethostbyname(host.c_str());
    if (h && h->h_addrtype == AF_INET && h->h_length == 4 && h->h_addr_list && h->h_addr_list[0])
      std::memcpy(a.data(), h->h_addr_list[0], 4);
    return a;
  }
  bool Connect(const IPv4Address& address, uint16_t port) override {
    // A socket that once had window notifications is non-blocking; cancel them and go back to
    // blocking mode, which every call here relies on.
    ws_.async_select(socket_, nullptr, 0, 0);
    u_long blocking = 0;
    ws_.ioctlsocket(socket_, FIONBIO, &blocking);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = ws_.htons(port);
    std::memcpy(&to.sin_addr, address.data(), 4);
    return ws_.connect(socket_, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
  }
  bool Close() override {
    if (socket_ == INVALID_SOCKET) return true;
    if (ws_.closesocket(socket_) != 0) return false;
    socket_ = INVALID_SOCKET;
    return true;
  }
  int Send(const char* data, int length) override { return ws_.send(socket_, data, length, 0); }
  int Recv(char* buffer, int size) override { return ws_.recv(socket_, buffer, size, 0); }
  int Pending() override {
    u_long n = 0;
    return ws_.ioctlsocket(socket_, FIONREAD, &n) == 0 ? static_cast<int>(n) : -1;
  }
  bool WaitReadable(uint32_t ms) override {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket_, &readable);
    timeval tv{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000) * 1000};
    return ws_.select(0, &readable, nullptr, nullptr, &tv) > 0;
  }
  bool PeerClosed() override {
    char byte;
    const int got = ws_.recv(socket_, &byte, 1, MSG_PEEK);
    return got == 0 || (got < 0 && ws_.last_error() != WSAEWOULDBLOCK);
  }
  uint64_t NowMs() override { return GetTickCount64(); }
  int LastError() override { return ws_.last_error(); }
  std::string ErrorText(int code) override { return SysErrorMessage(static_cast<unsigned long>(code)); }
  uintptr_t Handle() const override { return static_cast<uintptr_t>(socket_); }

 private:
  const Winsock& ws_ = Sockets();
  WSADATA wsa_{};
  SOCKET socket_ = INVALID_SOCKET;
};

}  // namespace

std::unique_ptr<SocketApi> NewWinsockSocket() { return std::make_unique<WinsockSocket>(); }

std::string LocalHostName() {
  char name[250] = {};
  const Winsock& ws = Sockets();
  if (ws.error || ws.gethostname(name, sizeof name) != 0) return {};
  return std::string(name, strnlen(name, sizeof name));
}

}  // namespace sondrel
