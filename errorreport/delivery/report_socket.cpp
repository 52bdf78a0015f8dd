#include "errorreport/delivery/report_socket.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <utility>
#include <vector>

#include "base/text.h"

namespace sondrel {
namespace {

constexpr int32_t kStream = 1;
constexpr int32_t kDatagram = 2;
// Read size for a datagram: a datagram read into a smaller buffer is cut, so take the largest one.
constexpr int kDatagramBuffer = 65536;

uint16_t HostToNet16(uint16_t v) {
  return std::endian::native == std::endian::little ? static_cast<uint16_t>((v >> 8) | (v << 8)) : v;
}

}  // namespace

bool IsFinalReplyLine(std::string_view text) {
  if (text.size() < 5 || text.substr(text.size() - 2) != "\r\n") return false;
  const std::string_view body = text.substr(0, text.size() - 2);
  const size_t start = body.rfind("\r\n");
  const std::string_view line = start == std::string_view::npos ? body : body.substr(start + 2);
  if (line.size() < 3) return false;
  for (size_t i = 0; i < 3; ++i)
    if (line[i] < '0' || line[i] > '9') return false;
  return line.size() == 3 || line[3] == ' ';
}

int ReplyCode(std::string_view reply) {
  int code = -1;
  for (char c : reply) {
    if (c < '0' || c > '9') break;
    code = (code < 0 ? 0 : code) * 10 + (c - '0');
    if (code > 99999) break;  // a long run of digits is no code of ours; stop before it overflows
  }
  return code;
}

TReportClientSocket::TReportClientSocket(std::string host, uint16_t port, bool stream, uint32_t timeout_ms,
                                         std::unique_ptr<SocketApi> api)
    : api_(std::move(api)),
      host_(std::move(host)),
      port_(port),
      socket_type_(stream ? kStream : kDatagram),
      timeout_ms_(timeout_ms) {
  if (int code = api_->Startup()) FailWithCode("Error into WSAStartup: \"%s\"", code);
}

TReportClientSocket::~TReportClientSocket() {
  // A destructor cannot raise: a socket that fails to close or a library that fails to stop is left
  // to the system, which releases both when the process ends.
  if (connected_) api_->Close();
  api_->Cleanup();
}

void TReportClientSocket::Fail(const std::string& text) {
  std::string message = text;
  if (message.find(log_) == std::string::npos) message += "\r\nSocket log:\r\n" + log_;
  Raise(message);
}

void TReportClientSocket::Raise(const std::string& message) {
  if (OnError) OnError(*this, -1, message);
  if (Silent) throw EAbort(message);
  throw EReportSocketError(message);
}

void TReportClientSocket::FailWithCode(std::string_view format, int code) {
  Fail(ReplaceAll(std::string(format), "%s", api_->ErrorText(code)));
}

void TReportClientSocket::FailTransfer(std::string_view format, int code) {
  // The transcript is what shows what the peer did; disconnecting empties it, so the message is made
  // from the transcript as it stood at the failure.
  const std::string text = ReplaceAll(std::string(format), "%s", api_->ErrorText(code));
  const std::string log = std::exchange(log_, std::string());
  api_->Close();
  connected_ = false;
  address_ = {};
  Raise(text + "\r\nSocket log:\r\n" + log);
}

void TReportClientSocket::Connect() {
  if (connected_) return;
  if (!api_->Open(socket_type_ == kStream)) FailWithCode("Invalid socket: \"%s\".", api_->LastError());
  address_ = {};
  address_.sin_addr = api_->Resolve(host_);
  address_.sin_port = HostToNet16(port_);
  // 0.0.0.0 is where an unresolved name leads. Some systems take a connect to it as one to this very
  // machine, which would hand the mail to whatever local server listens there: it fails as Windows
  // fails it, without trying.
  const bool unresolved = address_.sin_addr == IPv4Address{};
  if (unresolved || !api_->Connect(address_.sin_addr, port_)) {
    const int code = unresolved ? kWsaAddressNotAvailable : api_->LastError();
    api_->Close();  // a socket that never connected is not kept
    address_ = {};
    FailWithCode("Connection error: \"%s\"", code);
  }
  connected_ = true;
  char line[64];
  std::snprintf(line, sizeof line, "Connected to %d.%d.%d.%d port %d\r\n", address_.sin_addr[0], address_.sin_addr[1],
                address_.sin_addr[2], address_.sin_addr[3], port_);
  log_ = line;
}

void TReportClientSocket::Disconnect() {
  if (!api_->Close()) FailWithCode("Cannot close the socket: \"%s\"", api_->LastError());
  address_ = {};
  connected_ = false;
  log_.clear();
}

int TReportClientSocket::SendBuffer(const char* data, int length) {
  if (!connected_) return 0;
  const int sent = api_->Send(data, length);
  if (sent < 0) {
    const int code = api_->LastError();
    if (code != kWsaWouldBlock) FailTransfer("Error into \"send\": \"%s\"", code);
  }
  return sent;
}

int TReportClientSocket::SendText(std::string_view text) {
  int sent = 0;
  const int64_t total = static_cast<int64_t>(text.size());
  for (size_t pos = 0; pos < text.size(); pos += kWriteChunk) {
    const std::string_view chunk = text.substr(pos, kWriteChunk);
    sent += SendBuffer(chunk.data(), static_cast<int>(chunk.size()));
    if (OnProgress) OnProgress(*this, sent + 1, total);
  }
  return sent;
}

int TReportClientSocket::Receive(char* buffer, int size) {
  if (!connected_) return 0;
  if (size == -1) return std::max(api_->Pending(), 0);
  const int got = api_->Recv(buffer, size);
  if (got < 0) {
    const int code = api_->LastError();
    if (code != kWsaWouldBlock) FailTransfer("Error into \"recv\": \"%s\"", code);
  }
  return got;
}

void TReportClientSocket::ReadWaiting(int waiting, std::string& result) {
  std::vector<char> buffer(socket_type_ == kDatagram ? std::max(waiting, kDatagramBuffer) : waiting);
  const int got = Receive(buffer.data(), static_cast<int>(buffer.size()));
  if (got <= 0) return;
  result.append(buffer.data(), got);
  log_.append(buffer.data(), got);
}

std::string TReportClientSocket::ReadAvailable() {
  std::string result;
  int waiting = Receive(nullptr, -1);
  while (waiting > 0) {
    ReadWaiting(waiting, result);
    // A datagram is a whole reply; a stream reply is whole once its final line is in. Only a reply
    // that never completes such a line waits for the silence that ends it.
    if (socket_type_ == kDatagram || IsFinalReplyLine(result)) break;
    if (!api_->WaitReadable(kReplySilenceMs)) break;
    waiting = Receive(nullptr, -1);
  }
  return result;
}

std::string TReportClientSocket::ReadReply() {
  const uint64_t deadline = api_->NowMs() + timeout_ms_;
  for (;;) {
    std::string text = ReadAvailable();
    if (!text.empty()) return text;
    const uint64_t now = api_->NowMs();
    if (now >= deadline || !connected_) Fail("Socket timeout.");
    if (!api_->WaitReadable(static_cast<uint32_t>(deadline - now)) || Receive(nullptr, -1) > 0) continue;
    // Readable with nothing waiting: a stream whose peer closed can bring no reply any more, so it fails
    // now instead of after the time-out; a datagram socket has an error pending (an unreachable port),
    // which the receive raises.
    if (socket_type_ == kStream) {
      if (api_->PeerClosed()) FailTransfer("Error into \"recv\": \"%s\"", kWsaConnectionReset);
    } else {
      ReadWaiting(kDatagramBuffer, text);
      if (!text.empty()) return text;
    }
  }
}

// ---- SMTP ----

void TReportClientSMTP::Connect() {
  TReportClientSocket::Connect();
  if (!CheckReply({220})) Fail(log_);
}

bool TReportClientSMTP::CheckReply(std::initializer_list<int> codes) {
  const int code = ReplyCode(ReadReply());
  return code >= 0 && std::find(codes.begin(), codes.end(), code) != codes.end();
}

bool TReportClientSMTP::Command(std::string text, std::initializer_list<int> codes) {
  if (text.empty()) return false;
  if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) text += "\r\n";
  if (SendText(text) == static_cast<int>(text.size())) {
    log_ += text;
    if (CheckReply(codes)) return true;
  }
  Fail(log_);
}

}  // namespace sondrel
