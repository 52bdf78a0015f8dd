#include "tests/errorreport/mail_servers_win.h"

#include <stdexcept>

#include "errorreport/delivery/smtp_message.h"

namespace sondrel::test {
namespace {

constexpr DWORD kStartTimeoutMs = 60000;

struct Winsock {
  Winsock() {
    WSADATA d;
    WSAStartup(MAKEWORD(1, 1), &d);
  }
  ~Winsock() { WSACleanup(); }
};

SOCKET ListenOnLoopback(uint16_t& port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int len = sizeof a;
  if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s, 1) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    throw std::runtime_error("cannot listen on loopback");
  port = ntohs(a.sin_port);
  return s;
}

bool WaitReadable(SOCKET s, DWORD ms) {
  fd_set r;
  FD_ZERO(&r);
  FD_SET(s, &r);
  timeval tv{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000) * 1000};
  return select(0, &r, nullptr, nullptr, &tv) > 0;
}

SOCKET AcceptWithin(SOCKET listener, DWORD ms) {
  if (!WaitReadable(listener, ms)) return INVALID_SOCKET;
  return accept(listener, nullptr, nullptr);
}

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < line.size()) {
    const size_t j = line.find(' ', i);
    out.push_back(line.substr(i, j == std::string::npos ? std::string::npos : j - i));
    if (j == std::string::npos) break;
    i = j + 1;
  }
  return out;
}

}  // namespace

int SeenSession::Count(const std::string& prefix) const {
  int n = 0;
  for (const std::string& l : lines) n += l.rfind(prefix, 0) == 0;
  return n;
}

MailServers::MailServers(const std::vector<std::string>& mx) {
  static Winsock winsock;
  uint16_t port = 0;
  SOCKET listener = ListenOnLoopback(port);
  // A Linux program started from Wine runs detached, with no process handle: the helper connects
  // back, and its end is seen as the end of that connection.
  std::string cmd = "/usr/bin/python3 " MAIL_SERVERS_SCRIPT " --control " + std::to_string(port);
  for (const std::string& m : mx) cmd += " --mx " + m;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    closesocket(listener);
    throw std::runtime_error("cannot start the mail servers");
  }
  if (pi.hProcess) CloseHandle(pi.hProcess);
  if (pi.hThread) CloseHandle(pi.hThread);
  control_ = AcceptWithin(listener, kStartTimeoutMs);
  closesocket(listener);
  if (control_ == INVALID_SOCKET) throw std::runtime_error("the mail servers did not start");
  const auto w = Words(Line());
  if (w.size() != 4 || w[0] != "READY") throw std::runtime_error("the mail servers did not get ready");
  smtp_port_ = static_cast<uint16_t>(std::stoi(w[1]));
  dns_ = w[2];
  relay_ = w[3];
}

MailServers::~MailServers() {
  if (control_ == INVALID_SOCKET) return;
  shutdown(control_, 1);
  char b[256];
  while (WaitReadable(control_, 30000) && recv(control_, b, sizeof b, 0) > 0) {
  }
  closesocket(control_);
}

void MailServers::Fill() {
  char b[65536];
  if (!WaitReadable(control_, 120000)) throw std::runtime_error("the mail servers stopped answering");
  const int got = recv(control_, b, sizeof b, 0);
  if (got <= 0) throw std::runtime_error("the mail servers went away");
  buffer_.append(b, got);
}

std::string MailServers::Bytes(size_t n) {
  while (buffer_.size() < n) Fill();
  std::string out = buffer_.substr(0, n);
  buffer_.erase(0, n);
  return out;
}

std::string MailServers::Line() {
  size_t nl;
  while ((nl = buffer_.find('\n')) == std::string::npos) Fill();
  std::string line = buffer_.substr(0, nl);
  buffer_.erase(0, nl + 1);
  return line;
}

void MailServers::Write(const std::string& s) {
  for (size_t sent = 0; sent < s.size();) {
    const int n = send(control_, s.data() + sent, static_cast<int>(s.size() - sent), 0);
    if (n <= 0) throw std::runtime_error("the mail servers went away");
    sent += n;
  }
}

std::vector<SeenSession> MailServers::Sessions() {
  Write("MESSAGES\n");
  const std::string all = Bytes(std::stoul(Line()));
  std::vector<SeenSession> out;
  size_t pos = 0;
  while (pos < all.size()) {
    const size_t nl = all.find('\n', pos);
    const std::string line = all.substr(pos, nl - pos);
    pos = nl + 1;
    if (line.rfind("SESSION ", 0) == 0) {
      out.push_back({line.substr(8), {}, {}});
    } else if (line.rfind("DATA ", 0) == 0) {
      const size_t n = std::stoul(line.substr(5));
      out.back().data = all.substr(pos, n);
      pos += n + 1;
    } else if (line != "END") {
      out.back().lines.push_back(line);
    }
  }
  return out;
}

void MailServers::Clear() {
  Write("CLEAR\n");
  Line();
}

std::vector<std::string> MailServers::DnsQueries() {
  Write("DNSLOG\n");
  std::vector<std::string> out;
  for (const std::string& hex : Words(Line())) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    if (!hex.empty()) out.push_back(bytes);
  }
  return out;
}

std::vector<MailServers::CurlRun> MailServers::CurlTimes(const std::string& message, int count) {
  Write("CURL " + std::to_string(count) + " " + std::to_string(message.size()) + "\n" + message);
  std::vector<CurlRun> out;
  const std::string line = Line();
  if (line.rfind("ERROR", 0) == 0) return out;
  for (const std::string& w : Words(line)) {
    const size_t slash = w.find('/');
    out.push_back({std::stod(w.substr(0, slash)), std::stod(w.substr(slash + 1))});
  }
  return out;
}

ScriptedSmtpServer::ScriptedSmtpServer(std::vector<std::string> turns) : turns_(std::move(turns)) {
  static Winsock winsock;
  listener_ = ListenOnLoopback(port_);
  thread_ = std::thread([this] { Serve(); });
}

ScriptedSmtpServer::~ScriptedSmtpServer() {
  thread_.join();
  closesocket(listener_);
}

void ScriptedSmtpServer::Serve() {
  SOCKET c = AcceptWithin(listener_, 60000);
  if (c == INVALID_SOCKET) return;
  size_t turn = 0;
  std::string pending;
  auto play = [&]() {
    if (turn >= turns_.size()) return true;
    const std::string& t = turns_[turn++];
    if (t == "<close>") return false;
    send(c, t.data(), static_cast<int>(t.size()), 0);
    return true;
  };
  bool open = play();
  while (open && WaitReadable(c, 60000)) {
    char b[4096];
    const int got = recv(c, b, sizeof b, 0);
    if (got <= 0) break;
    pending.append(b, got);
    for (size_t nl; open && (nl = pending.find("\r\n")) != std::string::npos;) {
      pending.erase(0, nl + 2);
      open = play();
    }
  }
  closesocket(c);
}

std::string DecodeBase64(std::string_view text) {
  std::string out;
  uint32_t acc = 0;
  int bits = 0;
  for (char c : text) {
    int v = c >= 'A' && c <= 'Z' ? c - 'A' : c >= 'a' && c <= 'z' ? c - 'a' + 26 : c >= '0' && c <= '9' ? c - '0' + 52
            : c == '+' ? 62 : c == '/' ? 63 : -1;
    if (v < 0) continue;
    acc = (acc << 6) | v;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((acc >> bits) & 0xFF);
    }
  }
  return out;
}

std::vector<MimePart> Parts(const std::string& message, std::string* headers) {
  const std::string delimiter = std::string("\r\n--") + kMimeBoundary;
  std::vector<MimePart> parts;
  size_t pos = message.find(delimiter);
  *headers = message.substr(0, message.find("\r\n\r\n"));
  while (pos != std::string::npos && message.compare(pos + delimiter.size(), 2, "--") != 0) {
    const size_t start = message.find("\r\n", pos + delimiter.size()) + 2;
    const size_t end = message.find(delimiter, start);
    const std::string part = message.substr(start, end - start);
    const size_t blank = part.find("\r\n\r\n");
    parts.push_back({part.substr(0, blank), part.substr(blank + 4)});
    pos = end;
  }
  return parts;
}

}  // namespace sondrel::test
