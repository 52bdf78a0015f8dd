// The user's mail client, for real under Wine: a Simple MAPI library of the tests' own registered as
// the default mail client (it records every call), and a stub "mailto:" handler registered in HKCR
// (it records its command line and shows a window).
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <set>
#include <thread>

#include "base/file.h"
#include "errorreport/delivery/mail_client_win.h"
#include "errorreport/delivery/send_progress_win.h"
#include "errorreport/delivery/send_report_win.h"
#include "tests/support/process_win.h"
#include "tests/errorreport/mail_servers_win.h"
#include "tests/support/registry_win.h"
#include "tests/support/screenshot_win.h"
#include "tests/support/windows_win.h"

namespace sondrel::test {
namespace {

constexpr const char* kMailKey = "SOFTWARE\\Clients\\Mail";
constexpr const char* kClient = "SondrelTestMail";
constexpr const char* kMailtoKey = "mailto\\shell\\open\\command";

std::string MapiLog() { return ProgramFolder() + "mapi_stub.log"; }
std::string StubLog() { return ProgramFolder() + "mail_stub.log"; }

// A registry string value (or its absence), put back when the test ends.
class SavedValue {
 public:
  SavedValue(HKEY root, std::string key) : root_(root), key_(std::move(key)), old_(ReadRegString(root_, key_, "")) {}
  ~SavedValue() {
    if (old_) {
      WriteRegString(root_, key_, "", *old_);
    } else if (HKEY h; RegOpenKeyExA(root_, key_.c_str(), 0, KEY_SET_VALUE, &h) == ERROR_SUCCESS) {
      RegDeleteValueA(h, nullptr);
      RegCloseKey(h);
    }
  }

 private:
  HKEY root_;
  std::string key_;
  std::optional<std::string> old_;
};

std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

// The command lines the stub mail client was started with.
StringList StubStarts() {
  StringList starts;
  for (const std::string& line : SplitLines(ReadFileBytes(StubLog()).value_or(""))) starts.push_back(FromHex(line));
  return starts;
}

StringList MapiCalls() { return SplitLines(ReadFileBytes(MapiLog()).value_or("")); }

// Closes the stub's window and waits for the stub to end.
void CloseStub(HWND w) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  HANDLE p = OpenProcess(SYNCHRONIZE, FALSE, pid);
  PostMessageA(w, WM_CLOSE, 0, 0);
  if (p) {
    EXPECT_EQ(WaitForSingleObject(p, 10000), WAIT_OBJECT_0);
    CloseHandle(p);
  }
}

// Passes every call on to the real channels, noting what the report file held while it was sent.
class Observed final : public MailChannels {
 public:
  explicit Observed(MailChannels& real) : real_(real) {}
  bool SendSmtp(const TReportModuleOptions& o, const StringList& a, const std::string& body) override {
    return real_.SendSmtp(o, a, body);
  }
  bool SendMapi(const std::string& r, const std::string& s, const std::string& body, const StringList& a) override {
    if (!a.empty()) report_file = ReadFileBytes(a[0]);
    return real_.SendMapi(r, s, body, a);
  }
  bool SendMailto(const std::string& r, const std::string& s, const std::string& body,
                  const std::string& report) override {
    return real_.SendMailto(r, s, body, report);
  }
  std::optional<std::string> report_file;

 private:
  MailChannels& real_;
};

class MailClient : public testing::Test {
 protected:
  void SetUp() override {
    DeleteFileAt(MapiLog());
    DeleteFileAt(StubLog());
    SetEnvironmentVariableA("MAPI_STUB_LOG", MapiLog().c_str());
    SetEnvironmentVariableA("MAPI_STUB_FAIL", nullptr);
    // The registered path names its folder through a variable, which the reader expands.
    std::string dir = ProgramFolder();
    dir.pop_back();
    SetEnvironmentVariableA("MAPI_STUB_DIR", dir.c_str());
    WriteRegString(HKEY_LOCAL_MACHINE, kMailKey, "", kClient);
    WriteRegString(HKEY_LOCAL_MACHINE, std::string(kMailKey) + "\\" + kClient, "DLLPath", "%MAPI_STUB_DIR%\\mapi_stub.dll");
    SetMailto("\"" + ProgramFolder() + "mail_stub.exe\" \"%1\"");
    options_.SetSendMode(TReportSendMode::rsMailClient);
    options_.SetMailRecipients("dev@sondrel.test");
    options_.SetMailSubject("Error #1: a/b");
    options_.SetMailBody("Caf\xE9 body");
    hooks_.write_file = [](const std::string& path, const std::string& text) { WriteFileAtomic(path, text); };
    hooks_.delete_file = [](const std::string& path) { DeleteFileAt(path); };
    in_.options = &options_;
    in_.text_to_send = "Report line 1\r\nReport line 2";
    in_.report = in_.text_to_send;
    in_.report_file = TemporaryFolder() + "mail_test.rpt";
  }
  void TearDown() override { DeleteRegTree(HKEY_LOCAL_MACHINE, std::string(kMailKey) + "\\" + kClient); }
  void SetMailto(const std::string& command) { WriteRegString(HKEY_CLASSES_ROOT, kMailtoKey, "", command); }
  bool Send() { return SendThrough(channels_); }
  bool SendThrough(MailChannels& channels) {
    Observed observed(channels);
    const bool sent = SendReport(in_, observed, hooks_);
    report_file_ = observed.report_file;
    return sent;
  }
  // The stub's one start: its window is brought forward and maximised, then closed.
  std::string StubCommandLine() {
    HWND w = FindTopWindow("Mail stub", 10000);
    EXPECT_NE(w, nullptr) << "the mail client was not started";
    if (!w) return {};
    EXPECT_TRUE(IsZoomed(w));
    EXPECT_TRUE(GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_TOPMOST);
    CloseStub(w);
    const StringList starts = StubStarts();
    EXPECT_EQ(starts.size(), 1u);
    return starts.empty() ? std::string() : starts[0];
  }
  std::string Stub() const { return "\"" + ProgramFolder() + "mail_stub.exe\" "; }

  SavedValue saved_client_{HKEY_LOCAL_MACHINE, kMailKey};
  SavedValue saved_mailto_{HKEY_CLASSES_ROOT, kMailtoKey};
  std::vector<std::pair<TReportErrorCode, std::string>> errors_;
  Win32MailChannels channels_{[this](TReportErrorCode c, const std::string& t) { errors_.emplace_back(c, t); }, true};
  TReportModuleOptions options_{"", false};
  SendReportHooks hooks_;
  SendReportInput in_;
  std::optional<std::string> report_file_;
};

using Errors = std::vector<std::pair<TReportErrorCode, std::string>>;

TEST_F(MailClient, ARefusedLogonIsRecordedAndTheMailtoHandlerGetsTheEncodedAddress) {
  SetEnvironmentVariableA("MAPI_STUB_FAIL", "logon");
  EXPECT_TRUE(Send());
  EXPECT_EQ(errors_, (Errors{{eeEmailMAPIError, "Cannot LogOn into the MAPI service."}}));
  EXPECT_EQ(MapiCalls(), StringList{"MAPILogon ui=0 profile=(null) password=(null) flags=1"});
  EXPECT_EQ(StubCommandLine(), Stub() + "\"mailto:dev@sondrel.test?Subject=Error%20%231%3A%20a%2Fb&Body=Caf\xE9%20body"
                                        "%0D%0A%0D%0A%0D%0AReport%20line%201%0D%0AReport%20line%202\"");
  EXPECT_FALSE(FileExists(in_.report_file)) << "the report file outlived the send";
}

TEST_F(MailClient, AnUnresolvedRecipientSendsNothingRecordsNothingAndFallsBackToMailto) {
  options_.SetMailRecipients("dev@sondrel.test; unknown@sondrel.test");
  EXPECT_TRUE(Send());
  EXPECT_EQ(errors_, Errors{});
  const StringList calls = MapiCalls();
  ASSERT_EQ(calls.size(), 6u) << Join(calls, "\n");
  EXPECT_EQ(calls[1], "MAPIResolveName session=24149 ui=0 name=dev@sondrel.test flags=0");
  EXPECT_EQ(calls[3], "MAPIResolveName session=24149 ui=0 name=unknown@sondrel.test flags=0");
  EXPECT_EQ(calls[4], "MAPIFreeBuffer " + calls[2].substr(9)) << "the resolved description was not released";
  EXPECT_EQ(calls[5], "MAPILogoff session=24149 ui=0 flags=0");
  EXPECT_NE(StubCommandLine().find("mailto:dev@sondrel.test; unknown@sondrel.test?Subject="), std::string::npos);
}

TEST_F(MailClient, AGoodSendPassesEverythingWithLogonHandleZeroAndNoMailto) {
  options_.SetMailRecipients("dev@sondrel.test,qa@sondrel.test");
  options_.SetAttachScreenshot(true);
  in_.screenshot_file = TemporaryFolder() + "mail_test_shot.png";
  WriteFileAtomic(in_.screenshot_file, "PNG");
  EXPECT_TRUE(Send());
  DeleteFileAt(in_.screenshot_file);
  EXPECT_EQ(errors_, Errors{});
  EXPECT_EQ(report_file_, "Report line 1\r\nReport line 2\r\n");
  const StringList calls = MapiCalls();
  ASSERT_EQ(calls.size(), 9u) << Join(calls, "\n");
  EXPECT_EQ(calls[0], "MAPILogon ui=0 profile=(null) password=(null) flags=1");
  EXPECT_EQ(calls[5], "MAPISendMail session=0 ui=0 flags=1 subject=Error #1: a/b note=Caf\xE9 body recips=2 "
                      "[1|Resolved dev@sondrel.test|SMTP:dev@sondrel.test|3:16] "
                      "[1|Resolved qa@sondrel.test|SMTP:qa@sondrel.test|3:15] files=2 "
                      "[-1|" + in_.report_file + "|mail_test.rpt|notype] [-1|" + in_.screenshot_file +
                      "|mail_test_shot.png|notype]");
  EXPECT_EQ(calls[6].rfind("MAPIFreeBuffer ", 0), 0u);
  EXPECT_EQ(calls[7].rfind("MAPIFreeBuffer ", 0), 0u);
  EXPECT_EQ(calls[8], "MAPILogoff session=24149 ui=0 flags=0");
  EXPECT_TRUE(StubStarts().empty());
  EXPECT_FALSE(FileExists(in_.report_file));
}

// With the whole log to send and the report in the body: MAPI carries the log, mailto this report.
TEST_F(MailClient, ARefusedMessageFallsBackToMailtoWhichCarriesOnlyThisReport) {
  SetEnvironmentVariableA("MAPI_STUB_FAIL", "send");
  options_.SetReportInBody(true);
  in_.text_to_send = "Older report\r\n\r\n\r\n\r\nThis report";
  in_.report = "This report";
  EXPECT_TRUE(Send());
  EXPECT_EQ(errors_, (Errors{{eeEmailMAPIError, "Cannot send the MAPI message."}}));
  const StringList calls = MapiCalls();
  ASSERT_EQ(calls.size(), 6u) << Join(calls, "\n");
  EXPECT_NE(calls[3].find(" note=Caf\xE9 body\\r\\n\\r\\n\\r\\nOlder report\\r\\n\\r\\n\\r\\n\\r\\nThis report recips=1 "),
            std::string::npos) << calls[3];
  EXPECT_NE(calls[3].find(" files=0(none)"), std::string::npos) << calls[3];
  const std::string line = StubCommandLine();
  EXPECT_NE(line.find("&Body=Caf\xE9%20body%0D%0A%0D%0A%0D%0AThis%20report\""), std::string::npos) << line;
  EXPECT_FALSE(FileExists(in_.report_file));
}

TEST_F(MailClient, ACommandWithoutPlaceholderStartsAsItIsAndAMissingHandlerIsRecorded) {
  SetMailto("\"" + ProgramFolder() + "mail_stub.exe\" --compose");
  EXPECT_TRUE(MailtoSend("a@b.test", "S", "B", "R", nullptr));
  EXPECT_EQ(StubCommandLine(), Stub() + "--compose");

  SetMailto("");
  std::vector<std::pair<TReportErrorCode, std::string>> errors;
  EXPECT_FALSE(MailtoSend("a@b.test", "S", "B", "R", [&](TReportErrorCode c, const std::string& t) {
    errors.emplace_back(c, t);
  }));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].first, eeEmailShellError);
  EXPECT_FALSE(errors[0].second.empty());
}

TEST_F(MailClient, WithoutARegisteredLibraryTheSystemsOwnIsTried) {
  WriteRegString(HKEY_LOCAL_MACHINE, std::string(kMailKey) + "\\" + kClient, "DLLPath", "Z:\\no\\such.dll");
  options_.SetMailRecipients("dev@sondrel.test");
  // Whatever the system's library answers, the test library is not asked.
  MapiSend("dev@sondrel.test", "S", "B", {}, nullptr);
  EXPECT_TRUE(MapiCalls().empty());
}

// A library that cannot be loaded, and one that loads but lacks the Simple MAPI functions, are
// recorded and leave the report to the mailto handler.
TEST_F(MailClient, AMissingLibraryOrOneWithoutTheFunctionsIsRecordedAndMailtoTakesOver) {
  const std::string key = std::string(kMailKey) + "\\" + kClient;
  WriteRegString(HKEY_LOCAL_MACHINE, key, "DLLPath", "%MAPI_STUB_DIR%\\no_such_mapi.dll");
  EXPECT_FALSE(MapiSend("dev@sondrel.test", "S", "B", {}, [this](TReportErrorCode c, const std::string& t) { errors_.emplace_back(c, t); }, "no_such_mapi32.dll"));
  EXPECT_EQ(errors_, (Errors{{eeEmailMAPIError, "Cannot open the MAPI dll."}}));

  errors_.clear();
  WriteRegString(HKEY_LOCAL_MACHINE, key, "DLLPath", "%MAPI_STUB_DIR%\\apiset_import.dll");
  EXPECT_TRUE(Send());
  EXPECT_EQ(errors_, (Errors{{eeEmailMAPIError, "Cannot found the MAPI functions."}}));
  EXPECT_TRUE(MapiCalls().empty());
  EXPECT_NE(StubCommandLine().find("mailto:dev@sondrel.test?Subject="), std::string::npos);
}

// Watches this process's windows while a send runs: every progress dialog with the texts its status
// line showed, and every "Error." box, whose text it notes before pressing OK.
class DialogWatch {
 public:
  DialogWatch() : thread_([this] { Run(); }) {}
  ~DialogWatch() { Stop(); }
  // Ends the watching; the findings may be read afterwards.
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  std::set<HWND> dialogs;
  StringList statuses, boxes;
  int progress = 0;  // the highest position the bar showed
  bool screenshot_taken = false;
  uint32_t caption_colour = 0;  // at the last step

 private:
  static std::string Text(HWND w) {
    char buf[512] = {};
    GetWindowTextA(w, buf, sizeof buf);
    return buf;
  }
  static BOOL CALLBACK SeenTop(HWND w, LPARAM p) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == GetCurrentProcessId() && IsWindowVisible(w)) reinterpret_cast<DialogWatch*>(p)->Seen(w);
    return TRUE;
  }
  static BOOL CALLBACK AddText(HWND c, LPARAM p) {
    *reinterpret_cast<std::string*>(p) += Text(c) + "|";
    return TRUE;
  }
  void Run() {
    while (!stop_) {
      EnumWindows(SeenTop, reinterpret_cast<LPARAM>(this));
      Sleep(2);
    }
  }
  void Seen(HWND w) {
    const std::string caption = Text(w);
    if (caption == "SMTP.") {
      dialogs.insert(w);
      const HWND line = GetDlgItem(w, 100);
      const std::string status = Text(line);
      // The dialog may end between being seen and being read: a vanished line showed nothing.
      if (!line || !IsWindow(line)) return;
      if (statuses.empty() || statuses.back() != status) statuses.push_back(status);
      progress = std::max(progress, static_cast<int>(SendDlgItemMessageA(w, 101, PBM_GETPOS, 0, 0)));
      // The last step of the send: nothing is left to watch but the end of the dialog.
      if (!screenshot_taken && status == "Message 2/2: Sending message...") {
        SaveScreenshot(w, "smtp_progress");
        caption_colour = CaptionTopColour(w);
        screenshot_taken = true;
      }
    } else if (caption == "Error.") {
      if (boxes.empty()) SaveScreenshot(w, "smtp_progress_error");
      std::string text;
      EnumChildWindows(w, AddText, reinterpret_cast<LPARAM>(&text));
      boxes.push_back(text);
      PostMessageA(w, WM_COMMAND, IDOK, 0);
      Sleep(200);
    }
  }
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// By SMTP to the real server on loopback, with the mail client registered as well (it must not be
// asked).
class MailSmtp : public MailClient {
 protected:
  static void SetUpTestSuite() { servers_ = std::make_unique<MailServers>(); }
  static void TearDownTestSuite() { servers_.reset(); }
  void SetUp() override {
    MailClient::SetUp();
    servers_->Clear();
    options_.SetSendMode(TReportSendMode::rsSmtpRelay);
    options_.SetRelayHost("127.0.0.1");
    options_.SetRelayPort(servers_->SmtpPort());
    options_.SetMailRecipients("one@sondrel.test; two@sondrel.test");
  }
  struct Watched {
    bool sent = false;
    std::set<HWND> dialogs;
    StringList statuses, boxes;
    int progress;
    uint32_t caption_colour;
  };
  // Sends while the dialogs are watched, until a little after the send.
  Watched SendWatched(MailChannels* channels = nullptr) {
    DialogWatch watch;
    Watched w;
    w.sent = SendThrough(channels ? *channels : channels_);
    Sleep(300);
    watch.Stop();
    w.dialogs = watch.dialogs;
    w.statuses = watch.statuses;
    w.boxes = watch.boxes;
    w.progress = watch.progress;
    w.caption_colour = watch.caption_colour;
    return w;
  }
  static std::unique_ptr<MailServers> servers_;
};
std::unique_ptr<MailServers> MailSmtp::servers_;

// The whole log as the text to send (the worker picks it when SendEntireLog is on), in the painted
// style that is the default.
TEST_F(MailSmtp, TheProgressDialogTellsEachStepPerRecipientAndCloses) {
  // A large report file keeps each message in the sending step long enough to be seen.
  in_.text_to_send = "Older report\r\n";
  for (int i = 0; i < 20000; ++i) in_.text_to_send += "A line of an older report, kept in the log.\r\n";
  in_.text_to_send += "This report";
  in_.report = "This report";
  const auto [sent, dialogs, statuses, boxes, progress, caption_colour] = SendWatched();
  EXPECT_TRUE(sent) << ::testing::PrintToString(errors_);
  EXPECT_TRUE(boxes.empty());
  EXPECT_GT(progress, 0) << "the bar never moved";
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_FALSE(IsWindow(*dialogs.begin())) << "the dialog is still open";
  // The painted caption's gradient, active or not, not the system's caption.
  EXPECT_TRUE(caption_colour == 0x829BC2 || caption_colour == 0x979797) << std::hex << caption_colour;
  for (const std::string& status : statuses)
    EXPECT_TRUE(status == "Static" || status.rfind("Message 1/2: ", 0) == 0 || status.rfind("Message 2/2: ", 0) == 0)
        << status;
  for (const char* text : {"Message 1/2: Sending message...", "Message 2/2: Sending message..."})
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), text), statuses.end()) << text << " in "
                                                                                   << Join(statuses, " / ");
  // The whole log went to each recipient, as the report file.
  const auto sessions = servers_->Sessions();
  ASSERT_EQ(sessions.size(), 2u);
  for (const SeenSession& session : sessions) {
    std::string headers;
    const auto parts = Parts(session.data, &headers);
    ASSERT_EQ(parts.size(), 2u) << session.data.substr(0, 2000);
    EXPECT_NE(parts[1].headers.find("filename=\"mail_test.rpt\""), std::string::npos) << parts[1].headers;
    EXPECT_EQ(DecodeBase64(parts[1].content), ReportFileText(in_.text_to_send));
  }
  EXPECT_TRUE(StubStarts().empty());
}

TEST_F(MailSmtp, AFailingRelayIsRecordedShownAndNeverReachesTheMailClient) {
  options_.SetRelayPort(1);  // nothing listens there
  options_.SetMailRecipients("one@sondrel.test");
  int offers = 0;
  hooks_.notify_error = [&](int action) {
    EXPECT_EQ(action, 5);
    return ++offers == 1;  // one retry
  };
  const auto [sent, dialogs, statuses, boxes, progress, caption_colour] = SendWatched();
  EXPECT_FALSE(sent);
  EXPECT_EQ(offers, 2);
  EXPECT_EQ(dialogs.size(), 2u) << "the retry did not show the dialog again";
  ASSERT_EQ(errors_.size(), 2u);
  EXPECT_EQ(errors_[0].first, eeEmailSMTPError);
  EXPECT_EQ(errors_[0].second.rfind("[SMTP] ", 0), 0u) << errors_[0].second;
  ASSERT_EQ(boxes.size(), 2u) << "the failure was not shown while the dialog was open";
  EXPECT_NE(boxes[0].find(errors_[0].second.substr(0, 20)), std::string::npos) << boxes[0];
  EXPECT_TRUE(MapiCalls().empty());
  EXPECT_TRUE(StubStarts().empty());
  EXPECT_FALSE(FileExists(in_.report_file));
}

// A dialog that cannot be shown (its module has no "SMTP" template) holds nothing up: the report
// goes to both recipients without it.
TEST_F(MailSmtp, ADialogThatCannotBeShownIsLeftOutAndTheReportStillGoes) {
  Win32MailChannels channels([this](TReportErrorCode c, const std::string& t) { errors_.emplace_back(c, t); }, true,
                             GetModuleHandleA("kernel32.dll"));
  const auto [sent, dialogs, statuses, boxes, progress, caption_colour] = SendWatched(&channels);
  EXPECT_TRUE(sent);
  EXPECT_EQ(errors_, Errors{});
  EXPECT_TRUE(dialogs.empty());
  EXPECT_EQ(servers_->Sessions().size(), 2u);
}

// A dialog that comes up only after the sending stopped waiting for it and closed it ends at once.
TEST_F(MailSmtp, ADialogThatComesUpAfterItsCloseEndsAtOnce) {
  StartSendProgress(options_, true, nullptr, 0);
  CloseSendProgress();
  EXPECT_EQ(SendProgressWindow(), nullptr);
  EXPECT_EQ(FindTopWindow("SMTP.", 3000, GetCurrentProcessId()), nullptr) << "a dialog was left open";
}

}  // namespace
}  // namespace sondrel::test
