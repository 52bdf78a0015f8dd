// The mail client against scripted peers: base64, recipients, the message, the dialogue with its
// transcript and failures, the reply timing, the MX query and reply reader, the recipient loop.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "errorreport/delivery/base64.h"
#include "errorreport/delivery/dns_mx.h"
#include "errorreport/delivery/smtp_message.h"
#include "errorreport/delivery/smtp_send.h"
#include "tests/errorreport/scripted_socket.h"

namespace sondrel {
namespace {

using test::Piece;
using test::Reply;
using test::Script;
using test::ScriptedNet;
using test::Turn;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(Base64, LinesOfSixtyBytesEachEnded) {
  EXPECT_EQ(EncodeBase64Lines(""), "");
  EXPECT_EQ(EncodeBase64Lines("M"), "TQ==\r\n");
  EXPECT_EQ(EncodeBase64Lines("Ma"), "TWE=\r\n");
  EXPECT_EQ(EncodeBase64Lines("Man"), "TWFu\r\n");
  EXPECT_EQ(EncodeBase64Lines(std::string("\xFF\xFE\x00", 3)), "//4A\r\n");
  const std::string sixty_one(61, 'a');
  const std::string text = EncodeBase64Lines(sixty_one);
  const size_t first = text.find("\r\n");
  EXPECT_EQ(first, 80u);
  EXPECT_EQ(text.substr(first + 2), "YQ==\r\n");
  EXPECT_EQ(EncodeBase64Lines(std::string(60, 'a')).size(), 82u);
}

TEST(Recipients, SplitAtCommasAndSemicolons) {
  EXPECT_THAT(SplitRecipients("a@x.test; b@y.test"), ElementsAre("a@x.test", "b@y.test"));
  EXPECT_THAT(SplitRecipients("a@x.test,"), ElementsAre("a@x.test"));
  EXPECT_THAT(SplitRecipients(" a@x.test "), ElementsAre("a@x.test"));
  EXPECT_THAT(SplitRecipients("a,,b;"), ElementsAre("a", "", "b"));
  EXPECT_TRUE(SplitRecipients("").empty());
  EXPECT_TRUE(SplitRecipients("  ").empty());
}

TEST(SmtpMessage, DotStuffingKeepsEveryLine) {
  EXPECT_EQ(DotStuff(".a\r\n..\r\n.\r\nb.\r\n"), "..a\r\n...\r\n..\r\nb.\r\n");
  EXPECT_EQ(DotStuff("x\n.y\rz"), "x\r\n..y\r\nz");
}

TEST(SmtpMessage, LayoutWithAttachmentsSkippingMissingOnes) {
  const auto dir = std::filesystem::temp_directory_path() / "sondrel-smtp-test";
  std::filesystem::create_directories(dir);
  const std::string shot = (dir / "Screenshot.png").string();
  std::ofstream(shot, std::ios::binary) << std::string(61, 'a');
  SmtpMessage m{"Tue, 8 Dec 2026 04:00:00 +0000", "s@x.test", "Subj", "t@y.test", ".dot\r\nbody",
                {(dir / "missing.txt").string(), "  ", shot}};
  const std::string b = kMimeBoundary;
  EXPECT_EQ(BuildSmtpMessage(m),
            "Date: Tue, 8 Dec 2026 04:00:00 +0000\r\nFrom: <s@x.test>\r\nSubject: Subj\r\nTo: <t@y.test>\r\n"
            "Content-Type: multipart/mixed; boundary=\"" + b + "\";\r\nMIME-Version: 1.0\r\nX-Priority: 1\r\n"
            "X-Library: ErrorReport 4.6\r\n\r\nThis is a multi-part message in MIME format\r\n\r\n--" + b +
            "\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: 7bit\r\n\r\n..dot\r\nbody\r\n"
            "\r\n--" + b + "\r\nContent-Type: image/png;\r\n        name=\"Screenshot.png\"\r\n"
            "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment;\r\n"
            "        filename=\"Screenshot.png\"\r\n\r\n" + EncodeBase64Lines(std::string(61, 'a')) +
            "--" + b + "--\r\n.");
  EXPECT_THAT(AttachmentPart("C:\\logs\\Prog.rpt", ""), HasSubstr("application/octet-stream;\r\n        name=\"Prog.rpt\""));
}

TEST(ReplyLines, FinalLineRule) {
  EXPECT_TRUE(IsFinalReplyLine("250 ok\r\n"));
  EXPECT_TRUE(IsFinalReplyLine("250\r\n"));
  EXPECT_TRUE(IsFinalReplyLine("250-a\r\n250 b\r\n"));
  EXPECT_FALSE(IsFinalReplyLine("250-a\r\n"));
  EXPECT_FALSE(IsFinalReplyLine("250 ok"));
  EXPECT_FALSE(IsFinalReplyLine("hello\r\n"));
  EXPECT_FALSE(IsFinalReplyLine("25 x\r\n"));
  EXPECT_EQ(ReplyCode("354 go"), 354);
  EXPECT_EQ(ReplyCode("x250"), -1);
}

// One SMTP server script per connection, a recorder of errors and progress calls.
class SmtpDialogue : public ::testing::Test {
 protected:
  SmtpDialogue() {
    env_.sockets = net_.Factory();
    env_.local_host_name = [] { return "reporter-pc"; };
    env_.date_text = [] { return "Tue, 8 Dec 2026 04:00:00 +0000"; };
    env_.record_error = [this](TReportErrorCode code, const std::string& section, const std::exception_ptr& e) {
      errors_.push_back(std::to_string(code) + " " + section + " " + ExceptionMessage(e));
    };
    env_.progress = &progress_;
    env_.timeout_ms = 5000;
  }

  bool Send(const std::string& user = "", const std::string& password = "") {
    return SendSmtpMessage("s@x.test", "mail.x.test", {}, "body", "Subj", "t@y.test", password, user, 25, env_);
  }
  static Script Accepting(std::vector<Turn> turns) { return {false, std::move(turns)}; }
  static Script HeloServer() {
    return Accepting({Reply("220 hi\r\n"), Reply("250 hello\r\n"), Reply("250 reset\r\n"), Reply("250 from\r\n"),
                      Reply("250 to\r\n"), Reply("354 go\r\n"), Reply("250 queued\r\n")});
  }

  struct Progress : SmtpProgress {
    std::vector<std::string> calls;
    void SetRecipientCount(int n) override { calls.push_back("count " + std::to_string(n)); }
    void SetRecipientIndex(int i) override { calls.push_back("index " + std::to_string(i)); }
    void SetPosition(int p) override { positions.push_back(p); }
    void ShowText(const std::string& t) override { calls.push_back(t); }
    bool Shown() const override { return true; }
    void Close() override { calls.push_back("close"); }
    std::vector<int> positions;
  };

  ScriptedNet net_;
  SmtpEnvironment env_;
  Progress progress_;
  std::vector<std::string> errors_;
};

TEST_F(SmtpDialogue, HeloWhenNoUserNorPassword) {
  net_.scripts.push_back(HeloServer());
  ASSERT_TRUE(Send());
  EXPECT_TRUE(errors_.empty());
  const std::string message = BuildSmtpMessage({"Tue, 8 Dec 2026 04:00:00 +0000", "s@x.test", "Subj", "t@y.test", "body", {}});
  EXPECT_EQ(net_.connections.at(0).received,
            "HELO reporter-pc\r\nRSET\r\nMAIL FROM:<s@x.test>\r\nRCPT TO:<t@y.test>\r\nDATA\r\n" + message + "\r\n");
  EXPECT_EQ(net_.connections[0].host, "mail.x.test");
  // Every reply ended in its final line: no silence was waited for.
  EXPECT_EQ(net_.now, 0u);
  EXPECT_EQ(net_.started, 0);
  EXPECT_THAT(progress_.calls, ElementsAre("Connecting with SMTP server...", "Connected with SMTP server.", "Sending message..."));
  EXPECT_EQ(progress_.positions.back(), 100);
}

TEST_F(SmtpDialogue, EhloAndAuthLoginWithMultiLineRepliesAnd251) {
  net_.scripts.push_back(Accepting({Reply("220 hi\r\n"), {{{0, "250-hello\r\n250-AUTH LOGIN\r\n"}, {300, "250 HELP\r\n"}}},
                                    Reply("250 reset\r\n"), Reply("334 VXNlcm5hbWU6\r\n"), Reply("334 UGFzc3dvcmQ6\r\n"),
                                    Reply("235 ok\r\n"), Reply("250 from\r\n"), Reply("251 forwarded\r\n"),
                                    Reply("354 go\r\n"), Reply("250 queued\r\n")}));
  ASSERT_TRUE(Send("user", "secret"));
  EXPECT_THAT(net_.connections.at(0).received,
              HasSubstr("EHLO reporter-pc\r\nRSET\r\nAUTH LOGIN\r\ndXNlcg==\r\nc2VjcmV0\r\nMAIL FROM:<s@x.test>\r\n"));
  // The second piece of the EHLO reply came 300 ms later and completed it at once.
  EXPECT_EQ(net_.now, 300u);
}

TEST_F(SmtpDialogue, ReplyWithoutFinalLineEndsAfterTheSilence) {
  net_.scripts.push_back(Accepting({Reply("220 hi\r\n"), Reply("250-no final line\r\n"), Reply("250 reset\r\n"),
                                    Reply("250 from\r\n"), Reply("250 to\r\n"), Reply("354 go\r\n"), Reply("250 q\r\n")}));
  ASSERT_TRUE(Send());
  EXPECT_EQ(net_.now, kReplySilenceMs);
}

TEST_F(SmtpDialogue, OnlyAPasswordStopsAtTheEmptyUserName) {
  net_.scripts.push_back(Accepting({Reply("220 hi\r\n"), Reply("250 hello\r\n"), Reply("250 reset\r\n"),
                                    Reply("334 VXNlcm5hbWU6\r\n")}));
  EXPECT_FALSE(Send("", "secret"));
  EXPECT_TRUE(errors_.empty());
  EXPECT_EQ(net_.connections.at(0).received, "EHLO reporter-pc\r\nRSET\r\nAUTH LOGIN\r\n");
}

TEST_F(SmtpDialogue, FailuresAreRecordedWithTheTranscript) {
  const std::string connected = "Connected to 127.0.0.1 port 25\r\n";
  struct Case {
    Script script;
    std::string message;
    uint64_t took_ms;
  } cases[] = {
      // The greeting of 554 and the silent server are shown against real sockets (test_smtp_win).
      {Accepting({}), "Socket timeout.\r\nSocket log:\r\n" + connected, 5000},
      {Accepting({Reply("220 hi\r\n"), Reply("250 hello\r\n"), Reply("250 reset\r\n"), Reply("250 from\r\n"),
                  Reply("550 no such user\r\n")}),
       connected + "220 hi\r\nHELO reporter-pc\r\n250 hello\r\nRSET\r\n250 reset\r\nMAIL FROM:<s@x.test>\r\n"
                   "250 from\r\nRCPT TO:<t@y.test>\r\n550 no such user\r\n",
       0},
      {{true, {}}, "Connection error: \"error 10061\"", 0},
  };
  for (Case& c : cases) {
    net_ = {};
    env_.sockets = net_.Factory();
    errors_.clear();
    net_.scripts.push_back(c.script);
    EXPECT_FALSE(Send());
    EXPECT_THAT(errors_, ElementsAre("5 SMTP " + c.message));
    EXPECT_EQ(net_.now, c.took_ms);
    EXPECT_EQ(net_.started, 0);
  }
  // A name that does not resolve reaches no peer at all.
  errors_.clear();
  EXPECT_FALSE(SendSmtpMessage("s@x.test", "unresolvable", {}, "body", "Subj", "t@y.test", "", "", 25, env_));
  EXPECT_THAT(errors_, ElementsAre("5 SMTP Connection error: \"error 10049\""));
  EXPECT_TRUE(net_.connections.empty());
}

// A reply to the MX query for domain with the given (preference, exchange) records, exchanges written
// as labels, owners as pointers to the question.
std::string MxReply(const std::string& domain, const std::vector<std::pair<int, std::string>>& records) {
  std::string r = BuildMxQuery(domain);
  r[2] = '\x81';
  r[3] = '\x80';
  r[7] = static_cast<char>(records.size());
  for (const auto& [pref, exchange] : records) {
    std::string data{static_cast<char>(pref >> 8), static_cast<char>(pref & 0xFF)};
    for (const std::string& l : Split(exchange, '.')) data += static_cast<char>(l.size()) + l;
    data += '\0';
    r += std::string("\xC0\x0C\x00\x0F\x00\x01\x00\x00\x00\x3C", 10);
    r += static_cast<char>(data.size() >> 8);
    r += static_cast<char>(data.size() & 0xFF);
    r += data;
  }
  return r;
}

TEST(MxLookup, QueryBytes) {
  EXPECT_EQ(MxDomain("someone@mail.sondrel.test"), "mail.sondrel.test");
  EXPECT_EQ(MxDomain("nodomain"), "nodomain");
  EXPECT_EQ(BuildMxQuery("mail.sondrel.test"),
            std::string("AA\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00"
                        "\x04mail\x07sondrel\x04test\x00\x00\x0F\x00\x01", 35));
  EXPECT_EQ(BuildMxQuery("a.test."), BuildMxQuery("a.test"));
  EXPECT_EQ(BuildMxQuery(std::string(64, 'a') + ".test"), "");
}

TEST(MxLookup, FirstAnswerDecidesAndHostileRepliesGiveNothing) {
  const std::string good = MxReply("x.test", {{20, "first.x.test"}, {10, "second.x.test"}});
  auto a = ReadMxReply(good);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->preference, 20);
  EXPECT_EQ(a->exchange, "first.x.test");
  // Every cut before the end of the first record.
  const size_t second = good.find("\x06second");
  ASSERT_NE(second, std::string::npos);
  const size_t first_end = second - 14;
  for (size_t n = 0; n < first_end; ++n) EXPECT_FALSE(ReadMxReply(good.substr(0, n))) << n;
  // No answers: what follows the question is not an exchanger.
  std::string none = good;
  none[7] = 0;
  EXPECT_FALSE(ReadMxReply(none));
  // An exchange name that points at itself, and two pointers at each other.
  std::string loop = MxReply("x.test", {{5, "a"}});
  loop.replace(loop.size() - 3, 3, "\xC0" + std::string(1, static_cast<char>(loop.size() - 3)) + std::string("\0", 1));
  EXPECT_FALSE(ReadMxReply(loop));
  std::string pair("\xC0\x02\xC0\x00", 4);
  size_t pos = 0;
  EXPECT_FALSE(ReadDnsName(pair, pos));
  // A label that runs past the end.
  std::string cut("\x05" "ab", 3);
  pos = 0;
  EXPECT_FALSE(ReadDnsName(cut, pos));
}

TEST(MxLookup, ServerList) {
  EXPECT_THAT(BuildDnsServerList({"10.0.0.1", " 0.0.0.0 ", "10.0.0.2 "}), ElementsAre("10.0.0.1", "10.0.0.2", kFallbackDnsServer));
  EXPECT_THAT(BuildDnsServerList({}), ElementsAre(kFallbackDnsServer));
}

TEST_F(SmtpDialogue, DirectModeAsksEachRecipientsExchangerAndStopsAtAFailedLookup) {
  env_.dns_servers = [] { return StringList{"10.0.0.1", "10.0.0.2"}; };
  net_.scripts.push_back({false, {Reply(MxReply("x.test", {{10, "mx.x.test"}}))}});
  net_.scripts.push_back(HeloServer());
  net_.scripts.push_back({false, {Reply(std::string("AA\x81\x83\x00\x01\x00\x00\x00\x00\x00\x00", 12))}});
  net_.scripts.push_back({false, {Reply(std::string("AA\x81\x83\x00\x01\x00\x00\x00\x00\x00\x00", 12))}});
  EXPECT_FALSE(SendSmtpToAll(true, "s@x.test", "unused", {}, "body", "Subj", "a@x.test; b@y.test; c@z.test", "", "", 25, env_));
  ASSERT_EQ(net_.connections.size(), 4u);
  EXPECT_EQ(net_.connections[0].received, BuildMxQuery("x.test"));
  EXPECT_EQ(net_.connections[0].port, kDnsPort);
  EXPECT_FALSE(net_.connections[0].stream);
  EXPECT_EQ(net_.connections[1].host, "mx.x.test");
  EXPECT_EQ(net_.connections[2].host, "10.0.0.1");
  EXPECT_EQ(net_.connections[3].host, "10.0.0.2");
  EXPECT_THAT(errors_, ElementsAre("5 SMTP Cannot resolve the \"y.test\" MX record."));
  EXPECT_THAT(progress_.calls, ElementsAre("count 3", "index 1", "Resolving MX record...", "Connecting with SMTP server...",
                                           "Connected with SMTP server.", "Sending message...", "index 2",
                                           "Resolving MX record...", "close"));
}

// A datagram is a whole reply when it arrives: the next one, 300 ms later, is neither waited for nor
// joined to it.
TEST_F(SmtpDialogue, ADatagramIsTakenOnArrival) {
  net_.scripts.push_back(Accepting({Turn{{{0, "first"}, {300, "second"}}}}));
  TReportClientSocket socket("10.0.0.1", kDnsPort, false, 5000, net_.Factory()());
  socket.Connect();
  EXPECT_EQ(socket.SendBuffer("q", 1), 1);
  EXPECT_EQ(socket.ReadReply(), "first");
  EXPECT_EQ(net_.now, 0u);
}

TEST_F(SmtpDialogue, RelayModeOneConnectionPerRecipient) {
  net_.scripts.push_back(HeloServer());
  net_.scripts.push_back(Accepting({Reply("554 busy\r\n")}));
  EXPECT_TRUE(SendSmtpToAll(false, "s@x.test", "relay.test", {}, "body", "Subj", "a@x.test;b@y.test", "", "", 2525, env_));
  ASSERT_EQ(net_.connections.size(), 2u);
  for (const auto& c : net_.connections) EXPECT_EQ(c.host, "relay.test");
  EXPECT_THAT(net_.connections[0].received, HasSubstr("RCPT TO:<a@x.test>"));
  EXPECT_EQ(errors_.size(), 1u);  // the second recipient failed, the first was served
  progress_.calls.clear();
  EXPECT_FALSE(SendSmtpToAll(false, "s@x.test", "relay.test", {}, "body", "Subj", " ", "", "", 25, env_));
  EXPECT_THAT(progress_.calls, ElementsAre("count 0", "close"));
}

}  // namespace
}  // namespace sondrel
