// The mailto address and the course of a send (notifications, fallback, retries, the report file)
// against scripted ways of sending.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <stdexcept>

#include "errorreport/delivery/mail_client.h"
#include "errorreport/delivery/send_report.h"

namespace sondrel {
namespace {

TEST(Mailto, EncodingKeepsLettersDigitsDashAndHighBytes) {
  EXPECT_EQ(MailtoEncode("Error #1: a/b"), "Error%20%231%3A%20a%2Fb");
  EXPECT_EQ(MailtoEncode("\xE9-Zz09_.~\r\n&?="), "\xE9-Zz09%5F%2E%7E%0D%0A%26%3F%3D");
  EXPECT_EQ(MailtoEncode(std::string("a\0b", 3)), "a%00b");
  EXPECT_EQ(MailtoAddress("a@b.test; c@d.test", "S 1", "Body", "R"),
            "mailto:a@b.test; c@d.test?Subject=S%201&Body=Body%0D%0A%0D%0A%0D%0AR");
  EXPECT_EQ(MailtoCommandLine("m \"%1\" %1 %10", "a@b", "S", "B", "R"),
            "m \"mailto:a@b?Subject=S&Body=B%0D%0A%0D%0A%0D%0AR\" mailto:a@b?Subject=S&Body=B%0D%0A%0D%0A%0D%0AR "
            "mailto:a@b?Subject=S&Body=B%0D%0A%0D%0A%0D%0AR0");
  EXPECT_EQ(MailtoCommandLine("mail.exe /compose", "a@b", "S", "B", "R"), "mail.exe /compose");
}

// A report too long for a command line is cut at its end, never inside an encoded character.
TEST(Mailto, ALongReportIsCutSoThatTheCommandLineFits) {
  const std::string report = std::string(20000, ' ') + "END";
  const std::string line = MailtoCommandLine("mail \"%1\"", "a@b", "S", "B", report);
  EXPECT_LE(line.size(), kMaxCommandLine);
  EXPECT_GT(line.size(), kMaxCommandLine - 3);
  EXPECT_EQ(line.substr(line.size() - 4), "%20\"");
  EXPECT_EQ(line.find("END"), std::string::npos);
  EXPECT_EQ(MailtoCommandLine("mail %1", "a@b", "S", "B", "short", 10), "mail mailto:a@b?Subject=S&Body=B%0D%0A%0D%0A%0D%0A")
      << "nothing of the report fits: the address goes without it";
}

// Plays each way of sending from a script of results and notes what it was given.
class ScriptedMail final : public MailChannels {
 public:
  bool SendSmtp(const TReportModuleOptions&, const StringList& a, const std::string& body) override {
    calls.push_back("smtp " + Join(a, ",") + " | " + body);
    return Next();
  }
  bool SendMapi(const std::string& r, const std::string& s, const std::string& body, const StringList& a) override {
    calls.push_back("mapi " + r + " " + s + " " + Join(a, ",") + " | " + body);
    return Next();
  }
  bool SendMailto(const std::string& r, const std::string& s, const std::string& body,
                  const std::string& report) override {
    calls.push_back("mailto " + r + " " + s + " | " + body + " | " + report);
    return Next();
  }
  std::vector<bool> results;
  StringList calls;

 private:
  bool Next() {
    if (results.empty()) return true;
    const bool r = results.front();
    results.erase(results.begin());
    return r;
  }
};

class Sending : public testing::Test {
 protected:
  void SetUp() override {
    options_.SetMailRecipients("dev@x.test");
    options_.SetMailSubject("Subj");
    options_.SetMailBody("Hello");
    options_.SetSendMode(TReportSendMode::rsSmtpRelay);
    in_.options = &options_;
    in_.text_to_send = "The log\nline 2";
    in_.report = "This report";
    in_.report_file = "T:\\Prog.rpt";
    // Notes the flag each notification hands over when it is cleared.
    hooks_.notify = [this](int action, bool flag) {
      events_.push_back("action " + std::to_string(action) + (files_.count(in_.report_file) ? " file" : "") +
                        (flag ? "" : " unsent"));
      return flag && !(veto_ && action == 4) && !(clear_after_ && action == 5);
    };
    hooks_.notify_error = [this](int action) {
      events_.push_back("error " + std::to_string(action));
      return retries_-- > 0;
    };
    hooks_.clear_last_error = [this] { events_.push_back("clear"); };
    hooks_.write_file = [this](const std::string& path, const std::string& text) {
      if (write_fails_) throw std::runtime_error("disk full");
      files_[path] = text;
    };
    hooks_.delete_file = [this](const std::string& path) {
      events_.push_back("delete");
      files_.erase(path);
    };
  }
  bool Send() { return SendReport(in_, mail_, hooks_); }

  TReportModuleOptions options_{"", false};
  SendReportInput in_;
  SendReportHooks hooks_;
  ScriptedMail mail_;
  StringList events_;
  std::map<std::string, std::string> files_;
  bool veto_ = false;
  bool write_fails_ = false;
  bool clear_after_ = false;
  int retries_ = 0;
};

TEST_F(Sending, SmtpSendsTheFileAndTheScreenshotBetweenTheTwoNotifications) {
  options_.SetAttachScreenshot(true);
  in_.screenshot_file = "T:\\Screenshot.png";
  EXPECT_TRUE(Send());
  EXPECT_EQ(mail_.calls, StringList{"smtp T:\\Prog.rpt,T:\\Screenshot.png | Hello"});
  EXPECT_EQ(events_, (StringList{"clear", "action 4 file", "action 5 file", "delete"}));
  EXPECT_TRUE(files_.empty());
}

TEST_F(Sending, AFailedSmtpSendHasNoFallbackAndOneRetryRepeatsTheWholeAttempt) {
  mail_.results = {false, false};
  retries_ = 1;
  EXPECT_FALSE(Send());
  EXPECT_EQ(mail_.calls.size(), 2u);
  EXPECT_EQ(events_, (StringList{"clear", "action 4 file", "error 5", "error 5", "action 5 file unsent", "delete"}));
  // A retry that works ends the loop with the flag set, which the after-send handlers see.
  mail_.calls.clear();
  events_.clear();
  mail_.results = {false, true};
  retries_ = 5;
  EXPECT_TRUE(Send());
  EXPECT_EQ(mail_.calls.size(), 2u);
  EXPECT_EQ(events_, (StringList{"clear", "action 4 file", "error 5", "action 5 file", "delete"}));
}

// The after-send handlers hold the send flag: what they leave is the result.
TEST_F(Sending, AnAfterSendHandlerThatClearsTheFlagMakesTheSendCountAsNotDone) {
  clear_after_ = true;
  EXPECT_FALSE(Send());
  EXPECT_EQ(mail_.calls.size(), 1u);
  EXPECT_EQ(events_, (StringList{"clear", "action 4 file", "action 5 file", "delete"}));
}

TEST_F(Sending, AVetoSendsNothingAndSkipsTheAfterNotification) {
  veto_ = true;
  EXPECT_FALSE(Send());
  EXPECT_TRUE(mail_.calls.empty());
  EXPECT_EQ(events_, (StringList{"clear", "action 4 file", "delete"}));
}

// The text to send (the whole log here) goes by SMTP and MAPI; the mailto body carries this report.
TEST_F(Sending, InTheBodySmtpAndMapiCarryTheTextToSendWhileMailtoCarriesThisReport) {
  options_.SetReportInBody(true);
  EXPECT_TRUE(Send());
  options_.SetSendMode(TReportSendMode::rsMailClient);
  mail_.results = {false, true};
  EXPECT_TRUE(Send());
  EXPECT_EQ(mail_.calls, (StringList{"smtp  | Hello\r\n\r\n\r\nThe log\nline 2",
                                     "mapi dev@x.test Subj  | Hello\r\n\r\n\r\nThe log\nline 2",
                                     "mailto dev@x.test Subj | Hello | This report"}));
  EXPECT_EQ(std::count(events_.begin(), events_.end(), "delete"), 0) << "no report file in the body mode";
}

TEST_F(Sending, TheMailClientFallsBackToMailtoWhoseResultCounts) {
  options_.SetSendMode(TReportSendMode::rsMailClient);
  mail_.results = {false, false};
  EXPECT_FALSE(Send());
  EXPECT_EQ(mail_.calls.size(), 2u);
  EXPECT_EQ(mail_.calls[1].rfind("mailto ", 0), 0u);
  EXPECT_EQ(events_[2], "error 5");
}

TEST_F(Sending, AReportFileThatCannotBeWrittenTravelsInTheBody) {
  write_fails_ = true;
  EXPECT_TRUE(Send());
  EXPECT_EQ(mail_.calls, StringList{"smtp  | Hello\r\n\r\n\r\nThe log\nline 2"});
  EXPECT_EQ(ReportFileText("a\nb\r\nc"), "a\r\nb\r\nc\r\n");
}

}  // namespace
}  // namespace sondrel
