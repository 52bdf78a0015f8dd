// The mail client over Winsock against real servers on loopback: the SMTP server of python3-aiosmtpd
// (with an authenticator, without TLS) and dnsmasq answering MX queries, both started and stopped by
// the fixture; and scripted faulty servers in this process.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

#include "errorreport/delivery/dns_mx.h"
#include "errorreport/delivery/dns_servers_win.h"
#include "errorreport/delivery/report_socket_win.h"
#include "errorreport/delivery/smtp_message.h"
#include "errorreport/delivery/smtp_send_win.h"
#include "tests/errorreport/mail_servers_win.h"

namespace sondrel {
namespace {

using test::DecodeBase64;
using test::MailServers;
using test::Parts;
using test::ScriptedSmtpServer;
using test::SeenSession;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr const char* kDomain = "sondrel.test";

class RealServers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // dnsmasq answers with the records in the reverse order of its options: preference 20 first.
    try {
      servers_ = std::make_unique<MailServers>(std::vector<std::string>{
          std::string(kDomain) + ",127.0.0.2,10", std::string(kDomain) + ",127.0.0.1,20"});
    } catch (const std::exception& e) {
      start_error_ = e.what();
    }
  }
  static void TearDownTestSuite() { servers_.reset(); }

  void SetUp() override {
    ASSERT_TRUE(servers_) << start_error_ << " (python3-aiosmtpd, dnsmasq-base and /usr/bin/python3 are needed)";
    servers_->Clear();
    env_ = DefaultSmtpEnvironment(nullptr, nullptr, [this](TReportErrorCode code, const std::string& section,
                                                            const std::exception_ptr& e) {
      errors_.push_back(std::to_string(code) + " " + section + " " + ExceptionMessage(e));
    });
    env_.dns_servers = [] { return StringList{servers_->RelayAddress()}; };
  }

  bool SendTo(const std::string& recipients, const std::string& user = "", const std::string& password = "",
              const StringList& attachments = {}, const std::string& body = "Report body", bool direct = false) {
    return SendSmtpToAll(direct, "sender@sondrel.test", "127.0.0.1", attachments, body, "Error report", recipients,
                         password, user, servers_->SmtpPort(), env_);
  }

  static std::unique_ptr<MailServers> servers_;
  static inline std::string start_error_;
  SmtpEnvironment env_;
  std::vector<std::string> errors_;
};
std::unique_ptr<MailServers> RealServers::servers_;

TEST_F(RealServers, HeloWithoutUserAndPassword) {
  ASSERT_TRUE(SendTo("one@sondrel.test")) << ::testing::PrintToString(errors_);
  const auto s = servers_->Sessions();
  ASSERT_EQ(s.size(), 1u);
  EXPECT_THAT(s[0].lines, ElementsAre("HELO " + LocalHostName(), "RCPT one@sondrel.test", "MAIL sender@sondrel.test"));
}

TEST_F(RealServers, EhloAndAuthLogin) {
  ASSERT_TRUE(SendTo("one@sondrel.test", "reporter", "s3cret")) << ::testing::PrintToString(errors_);
  const auto s = servers_->Sessions();
  ASSERT_EQ(s.size(), 1u);
  EXPECT_THAT(s[0].lines, ElementsAre("EHLO " + LocalHostName(), "AUTH LOGIN reporter s3cret ok", "RCPT one@sondrel.test",
                                      "MAIL sender@sondrel.test"));
  // A refused password is a recorded error with the server's reply in the transcript.
  EXPECT_FALSE(SendTo("one@sondrel.test", "reporter", "wrong"));
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_THAT(errors_[0], HasSubstr("\r\n535 "));
}

TEST_F(RealServers, TwoRecipientsTwoConnectionsOneRcptEach) {
  ASSERT_TRUE(SendTo("a@sondrel.test; b@sondrel.test"));
  const auto s = servers_->Sessions();
  ASSERT_EQ(s.size(), 2u);
  EXPECT_NE(s[0].peer, s[1].peer);
  EXPECT_THAT(s[0].lines, ::testing::Contains("RCPT a@sondrel.test"));
  EXPECT_THAT(s[1].lines, ::testing::Contains("RCPT b@sondrel.test"));
  for (const SeenSession& one : s) EXPECT_EQ(one.Count("RCPT "), 1);
}

TEST_F(RealServers, OnlyAPasswordStopsAtTheEmptyUserNameWithNoError) {
  EXPECT_FALSE(SendTo("one@sondrel.test", "", "s3cret"));
  EXPECT_TRUE(errors_.empty());
  const auto s = servers_->Sessions();
  ASSERT_EQ(s.size(), 1u);
  EXPECT_THAT(s[0].lines, ElementsAre("EHLO " + LocalHostName()));
}

TEST_F(RealServers, MessageArrivesByteForByteWithoutTheMissingAttachment) {
  const auto dir = std::filesystem::temp_directory_path() / "sondrel-smtp-win";
  std::filesystem::create_directories(dir);
  std::string report = ".first line of the report\r\n.\r\n..\r\nlast\r\n";
  for (int i = 0; i < 4000; ++i) report += static_cast<char>(i * 7);
  const std::string file = (dir / "Report.rpt").string();
  std::ofstream(file, std::ios::binary) << report;
  const std::string body = "Dear developer,\r\n.\r\n.a line that begins with a period\r\n..two\r\nend.";
  ASSERT_TRUE(SendTo("one@sondrel.test", "", "", {(dir / "missing.png").string(), file}, body));
  const auto s = servers_->Sessions();
  ASSERT_EQ(s.size(), 1u);
  std::string headers;
  const auto parts = Parts(s[0].data, &headers);
  EXPECT_THAT(headers, StartsWith("Date: "));
  EXPECT_THAT(headers, HasSubstr("\r\nFrom: <sender@sondrel.test>\r\nSubject: Error report\r\nTo: <one@sondrel.test>\r\n"));
  EXPECT_THAT(headers, HasSubstr("X-Library: ErrorReport 4.6"));
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].headers, "Content-Type: text/plain\r\nContent-Transfer-Encoding: 7bit");
  EXPECT_EQ(parts[0].content, body + "\r\n");
  EXPECT_EQ(parts[1].headers,
            "Content-Type: application/octet-stream;\r\n        name=\"Report.rpt\"\r\nContent-Transfer-Encoding: base64\r\n"
            "Content-Disposition: attachment;\r\n        filename=\"Report.rpt\"");
  EXPECT_EQ(DecodeBase64(parts[1].content), report);
}

TEST_F(RealServers, MxQueryFirstAnswerAndDirectDelivery) {
  // The first record dnsmasq gives carries preference 20 and a later one 10: the first decides.
  TReportClientSocket dns(servers_->DnsAddress(), kDnsPort, false, kReplyTimeoutMs, NewWinsockSocket());
  dns.Connect();
  const std::string query = BuildMxQuery(kDomain);
  ASSERT_EQ(dns.SendText(query), static_cast<int>(query.size()));
  const std::string reply = dns.ReadReply();
  ASSERT_GT(reply.size(), 7u);
  EXPECT_EQ(reply[7], 2);
  const auto first = ReadMxReply(reply);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->preference, 20);
  EXPECT_EQ(first->exchange, "127.0.0.1");

  // Direct mode asks through the relay, which keeps the query bytes, and delivers to 127.0.0.1 (nothing
  // listens on 127.0.0.2, the exchanger of preference 10).
  ASSERT_TRUE(SendTo("someone@sondrel.test", "", "", {}, "Report body", true)) << ::testing::PrintToString(errors_);
  EXPECT_THAT(servers_->DnsQueries(), ElementsAre(query));
  EXPECT_EQ(servers_->Sessions().size(), 1u);
}

TEST_F(RealServers, UnknownDomainCannotBeResolved) {
  try {
    ResolveMX("x@unknown.test", {servers_->DnsAddress()}, NewWinsockSocket);
    ADD_FAILURE() << "resolved";
  } catch (const EReportSocketError& e) {
    EXPECT_EQ(e.Message(), "Cannot resolve the \"unknown.test\" MX record.");
  }
  EXPECT_FALSE(SendTo("a@unknown.test; b@sondrel.test", "", "", {}, "body", true));
  EXPECT_THAT(errors_, ElementsAre("5 SMTP Cannot resolve the \"unknown.test\" MX record."));
  EXPECT_TRUE(servers_->Sessions().empty());
}

class FaultyServers : public ::testing::Test {
 protected:
  FaultyServers()
      : env_(DefaultSmtpEnvironment(nullptr, nullptr, [this](TReportErrorCode code, const std::string& section,
                                                              const std::exception_ptr& e) {
          errors_.push_back(std::to_string(code) + " " + section + " " + ExceptionMessage(e));
        })) {}
  bool Send(uint16_t port) {
    const auto start = std::chrono::steady_clock::now();
    const bool ok = SendSmtpMessage("sender@sondrel.test", "127.0.0.1", {}, std::string(200000, 'x'), "Error report",
                                    "one@sondrel.test", "", "", port, env_);
    took_ms_ = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    return ok;
  }
  SmtpEnvironment env_;
  std::vector<std::string> errors_;
  long long took_ms_ = 0;
};

TEST_F(FaultyServers, GreetingWith554FailsWithTheTranscript) {
  ScriptedSmtpServer server({"554 not now\r\n"});
  EXPECT_FALSE(Send(server.Port()));
  EXPECT_THAT(errors_, ElementsAre("5 SMTP Connected to 127.0.0.1 port " + std::to_string(server.Port()) +
                                   "\r\n554 not now\r\n"));
}

TEST_F(FaultyServers, SilentServerTimesOut) {
  env_.timeout_ms = 3000;
  ScriptedSmtpServer server({});
  EXPECT_FALSE(Send(server.Port()));
  EXPECT_THAT(errors_, ElementsAre("5 SMTP Socket timeout.\r\nSocket log:\r\nConnected to 127.0.0.1 port " +
                                   std::to_string(server.Port()) + "\r\n"));
  EXPECT_GE(took_ms_, 2900);
}

TEST_F(FaultyServers, ReplyWithoutFinalLineIsTakenAfterTheSilence) {
  ScriptedSmtpServer server({"220 hi\r\n", "250-no final line\r\n", "550 no reset\r\n"});
  EXPECT_FALSE(Send(server.Port()));
  EXPECT_THAT(errors_, ElementsAre(::testing::EndsWith("\r\n250-no final line\r\nRSET\r\n550 no reset\r\n")));
  EXPECT_GE(took_ms_, 950);
  EXPECT_LT(took_ms_, 10000);
}

TEST_F(FaultyServers, ConnectionDroppedDuringDataFailsCleanly) {
  ScriptedSmtpServer server({"220 hi\r\n", "250 hello\r\n", "250 reset\r\n", "250 from\r\n", "250 to\r\n", "354 go\r\n",
                             "<close>"});
  EXPECT_FALSE(Send(server.Port()));
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_THAT(errors_[0], StartsWith("5 SMTP Error into \""));
  EXPECT_THAT(errors_[0], HasSubstr("Socket log:\r\nConnected to 127.0.0.1"));
  EXPECT_LT(took_ms_, 10000);
}

TEST_F(FaultyServers, RefusedConnectionAndServerList) {
  uint16_t closed_port = 0;
  {
    // A server that closes at once: the greeting can never come, which fails without the time-out.
    ScriptedSmtpServer probe({"<close>"});
    closed_port = probe.Port();
    TReportClientSMTP client("127.0.0.1", closed_port, true, kReplyTimeoutMs, NewWinsockSocket());
    EXPECT_THROW(client.Connect(), EReportSocketError);
  }
  // Nothing listens on that port any more.
  EXPECT_FALSE(Send(closed_port));
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_THAT(errors_[0], StartsWith("5 SMTP Connection error: \""));
  EXPECT_THAT(errors_[0], ::testing::Not(HasSubstr("\"\"")));  // the system's text for the code is there
  // The system's servers come first, the fallback last.
  const StringList servers = DnsServerList();
  ASSERT_FALSE(servers.empty());
  EXPECT_EQ(servers.back(), kFallbackDnsServer);
}

}  // namespace
}  // namespace sondrel
