#pragma once
// Servers for the mail client's Windows tests and benchmark, all on loopback: the real SMTP and DNS
// servers of mail_servers.py (started here, ended when this object goes), and scripted faulty SMTP
// servers inside the test process.
#include <winsock.h>

#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace sondrel::test {

// An independent Base64 decoder for what the server stored.
std::string DecodeBase64(std::string_view text);

struct MimePart {
  std::string headers;
  std::string content;
};
// The parts of a multipart message of the report's layout, between its boundary lines; headers gets
// the message's own header block.
std::vector<MimePart> Parts(const std::string& message, std::string* headers);

// One session as the real SMTP server saw it: its lines (HELO, EHLO, AUTH, RCPT, MAIL) and the
// message it stored (empty when none).
struct SeenSession {
  std::string peer;
  std::vector<std::string> lines;
  std::string data;
  int Count(const std::string& prefix) const;
};

class MailServers {
 public:
  // mx: dnsmasq records "domain,target,preference"; none starts no DNS server.
  explicit MailServers(const std::vector<std::string>& mx = {});
  // Closes the control connection and waits until the helper has stopped its servers and ended.
  ~MailServers();
  MailServers(const MailServers&) = delete;
  MailServers& operator=(const MailServers&) = delete;

  uint16_t SmtpPort() const { return smtp_port_; }
  const std::string& DnsAddress() const { return dns_; }    // dnsmasq itself
  const std::string& RelayAddress() const { return relay_; }  // the recording relay in front of it
  std::vector<SeenSession> Sessions();
  void Clear();
  // The queries the relay passed on, as bytes.
  std::vector<std::string> DnsQueries();
  // curl's SMTP client sending message count times, one process each; empty when curl failed.
  struct CurlRun {
    double wall_ms;      // the whole process, its start included
    double transfer_ms;  // curl's own time of the transfer, from the connect to the end
  };
  std::vector<CurlRun> CurlTimes(const std::string& message, int count);

 private:
  void Fill();
  std::string Line();
  std::string Bytes(size_t n);
  void Write(const std::string& s);

  SOCKET control_ = INVALID_SOCKET;
  uint16_t smtp_port_ = 0;
  std::string dns_, relay_;
  std::string buffer_;
};

// A faulty SMTP server on a free loopback port for one connection: it sends turns[0] on connect and
// turns[i] after the client's i-th line; the turn "<close>" closes the connection. When the turns run
// out it stays silent until the client goes.
class ScriptedSmtpServer {
 public:
  explicit ScriptedSmtpServer(std::vector<std::string> turns);
  ~ScriptedSmtpServer();  // waits for the connection to end
  uint16_t Port() const { return port_; }

 private:
  void Serve();
  SOCKET listener_ = INVALID_SOCKET;
  uint16_t port_ = 0;
  std::vector<std::string> turns_;
  std::thread thread_;
};

}  // namespace sondrel::test
