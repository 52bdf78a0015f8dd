#pragma once
// The blocking client sockets of the mail delivery: TReportClientSocket (stream or datagram) with its
// transcript, TReportClientSMTP with the reply codes of the mail protocol, and EReportSocketError.
// They talk to the system through SocketApi, one object per socket: the Winsock version lives in
// report_socket_win, tests play scripted peers through the same interface.
#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "base/exception.h"

namespace sondrel {

// The error of the socket and mail client: the error text followed by the connection's transcript.
SONDREL_EXCEPTION_CLASS(EReportSocketError, Exception);

inline constexpr uint32_t kReplyTimeoutMs = 30000;
// A reply that never ends in a complete final line is taken as complete after this much silence.
inline constexpr uint32_t kReplySilenceMs = 1000;
inline constexpr size_t kWriteChunk = 1024;
inline constexpr int kWsaWouldBlock = 10035;
inline constexpr int kWsaConnectionReset = 10054;
inline constexpr int kWsaAddressNotAvailable = 10049;

using IPv4Address = std::array<uint8_t, 4>;

// One socket as the system offers it. Calls that fail return false or -1 and leave the error code
// for LastError.
class SocketApi {
 public:
  virtual ~SocketApi() = default;
  // Start and stop of the socket library; 0 or the error code.
  virtual int Startup() = 0;
  virtual int Cleanup() = 0;
  // Creates the socket: TCP when stream, else UDP.
  virtual bool Open(bool stream) = 0;
  // The first address of the name; 0.0.0.0 when it does not resolve.
  virtual IPv4Address Resolve(const std::string& host) = 0;
  // Puts the socket in plain blocking mode (no window notifications) and connects it.
  virtual bool Connect(const IPv4Address& address, uint16_t port) = 0;
  // Closes the socket; true also when there is none.
  virtual bool Close() = 0;
  virtual int Send(const char* data, int length) = 0;
  // Bytes received, 0 when the peer closed, -1 on failure.
  virtual int Recv(char* buffer, int size) = 0;
  // Bytes waiting to be read, -1 on failure.
  virtual int Pending() = 0;
  // Waits at most ms until bytes wait or the peer closed; false when the time passed.
  virtual bool WaitReadable(uint32_t ms) = 0;
  // For a readable stream with nothing waiting: true when the peer closed or reset the connection.
  virtual bool PeerClosed() = 0;
  virtual uint64_t NowMs() = 0;
  virtual int LastError() = 0;
  // The system's message for an error code.
  virtual std::string ErrorText(int code) = 0;
  virtual uintptr_t Handle() const = 0;
};
using SocketApiFactory = std::function<std::unique_ptr<SocketApi>()>;

// An IPv4 socket address as the system stores it: family 2, port in network byte order, address.
struct TSockAddrIn {
  uint16_t sin_family = 2;
  uint16_t sin_port = 0;
  IPv4Address sin_addr{};
  std::array<uint8_t, 8> sin_zero{};
};

class TReportClientSocket {
 public:
  using ErrorEvent = std::function<void(TReportClientSocket& sender, int code, const std::string& message)>;
  using ProgressEvent = std::function<void(TReportClientSocket& sender, int64_t position, int64_t total)>;

  // Starts the socket library (raises EReportSocketError when it cannot); nothing is connected yet.
  TReportClientSocket(std::string host, uint16_t port, bool stream, uint32_t timeout_ms, std::unique_ptr<SocketApi> api);
  // Disconnects and stops the socket library; failures here are not raised.
  virtual ~TReportClientSocket();
  TReportClientSocket(const TReportClientSocket&) = delete;
  TReportClientSocket& operator=(const TReportClientSocket&) = delete;

  // Does nothing when connected. A host that does not resolve fails as a connect to 0.0.0.0 does
  // (address not available), without reaching any peer. Afterwards the transcript holds the "Connected to" line alone.
  virtual void Connect();
  // Closes the socket; the address, the state and the transcript are reset.
  virtual void Disconnect();

  // One send; 0 when not connected. A failure other than would-block disconnects and raises.
  int SendBuffer(const char* data, int length);
  // Sends in chunks of kWriteChunk bytes, calling OnProgress after each; returns the bytes that went out.
  int SendText(std::string_view text);
  // size -1: the bytes waiting. Otherwise one receive. 0 when not connected.
  int Receive(char* buffer, int size);
  // What is waiting, and what follows while the reply is not complete (an empty text when nothing
  // waits). Everything read joins the transcript.
  std::string ReadAvailable();
  // The next reply; raises "Socket timeout." when none comes within TimeoutMs, and a receive error at
  // once when the peer closes the connection.
  std::string ReadReply();

  const std::string& Host() const { return host_; }
  uint16_t Port() const { return port_; }
  int32_t SocketType() const { return socket_type_; }
  uint32_t TimeoutMs() const { return timeout_ms_; }
  bool Connected() const { return connected_; }
  const TSockAddrIn& Address() const { return address_; }
  uintptr_t Handle() const { return api_->Handle(); }
  const std::string& Log() const { return log_; }

  ErrorEvent OnError;
  ProgressEvent OnProgress;
  // Errors end in EAbort instead of EReportSocketError.
  bool Silent = false;

 protected:
  // Raises the error of this client: the text, then the transcript unless the text holds it already.
  [[noreturn]] void Fail(const std::string& text);
  [[noreturn]] void FailWithCode(std::string_view format, int code);
  std::string log_;

 private:
  [[noreturn]] void Raise(const std::string& message);
  // Disconnects after a failed send or receive and raises with the transcript as it was.
  [[noreturn]] void FailTransfer(std::string_view format, int code);
  void ReadWaiting(int waiting, std::string& result);

  std::unique_ptr<SocketApi> api_;
  std::string host_;
  uint16_t port_;
  int32_t socket_type_;
  uint32_t timeout_ms_;
  bool connected_ = false;
  TSockAddrIn address_;
};

class TReportClientSMTP : public TReportClientSocket {
 public:
  using TReportClientSocket::TReportClientSocket;
  // Connects and expects the greeting 220; another reply raises with the transcript as the message.
  void Connect() override;
  // Reads a reply; true when its leading code is one of codes (false when it starts with no digit).
  bool CheckReply(std::initializer_list<int> codes);
  // Sends text as one command line (CR LF added when missing) and checks the reply. An empty text sends
  // nothing and gives false; a short send or another reply raises with the transcript as the message.
  bool Command(std::string text, std::initializer_list<int> codes);
};

// True when the last line of text is a complete final reply line of the mail protocol.
bool IsFinalReplyLine(std::string_view text);
// The decimal code at the start of a reply; -1 when it starts with no digit.
int ReplyCode(std::string_view reply);

}  // namespace sondrel
