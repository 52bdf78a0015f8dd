// The real program sends its report: a copy of Sondrel.exe whose options say "mail client, no
// dialog" reports a failed settings write and mails it through the tests' MAPI library, or, when
// that refuses the logon, through the stub "mailto:" handler.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "base/cmdline.h"
#include "base/file.h"
#include "base/handle_win.h"
#include "errorreport/capture/log_file.h"
#include "errorreport/delivery/send_report.h"
#include "tests/errorreport/mail_servers_win.h"
#include "tests/errorreport/program_copy_win.h"
#include "tests/support/process_win.h"
#include "tests/support/registry_win.h"
#include "tests/support/windows_win.h"

namespace sondrel::test {
namespace {

std::string Folder() { return ProgramFolder() + "report_send\\"; }
std::string MapiLog() { return Folder() + "mapi.log"; }
std::string StubLog() { return ProgramFolder() + "mail_stub.log"; }

std::string Contents(const std::string& path) { return ReadFileBytes(path).value_or(""); }

bool WaitFor(const std::function<bool()>& done, DWORD timeout_ms) {
  for (const DWORD start = GetTickCount(); GetTickCount() - start < timeout_ms; Sleep(100))
    if (done()) return true;
  return done();
}

class ReportSend : public testing::Test {
 protected:
  void SetUp() override {
    static std::string why;
    static const bool ready = PrepareProgramCopy(Folder(), [](TReportModuleOptions& o) {
      o.SetShowDialog(false);
      o.SetSendMode(TReportSendMode::rsMailClient);
      o.SetMailRecipients("dev@sondrel.test");
      o.SetMailSubject("Sondrel failed");
      o.SetLogPath(Folder() + "send.rpt");
    }, why);
    ASSERT_TRUE(ready) << why;
    DeleteFileAt(MapiLog());
    DeleteFileAt(StubLog());
    DeleteFileAt(Folder() + "send.rpt");
    old_client_ = ReadRegString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Clients\\Mail", "");
    old_mailto_ = ReadRegString(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command", "");
    WriteRegString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Clients\\Mail", "", "SondrelSendTest");
    WriteRegString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Clients\\Mail\\SondrelSendTest", "DLLPath",
                   ProgramFolder() + "mapi_stub.dll");
    WriteRegString(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command", "",
                   "\"" + ProgramFolder() + "mail_stub.exe\" \"%1\"");
    SetEnvironmentVariableA("MAPI_STUB_LOG", MapiLog().c_str());
  }
  void TearDown() override {
    SetEnvironmentVariableA("MAPI_STUB_FAIL", nullptr);
    DeleteRegTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Clients\\Mail\\SondrelSendTest");
    WriteRegString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Clients\\Mail", "", old_client_.value_or(""));
    WriteRegString(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command", "", old_mailto_.value_or(""));
  }
  // Starts the program, makes its next settings write fail and changes the tab: the failure is
  // reported and sent; stub says whether the mailto handler is to come up (it is closed again).
  void RunAndFail(bool stub) {
    const std::string blocked = data_.Path() + "Settings.dat.new";
    RemoveDirectoryA(blocked.c_str());  // left by a run that was stopped: the start would fail to save
    Child app(QuoteArg(folder_ + "Sondrel.exe"), folder_);
    HWND main = FindTopWindow("Sondrel", 20000, app.Pid());
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(CreateDirectoryA(blocked.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    HWND tabs = FindChildByClass(main, "SysTabControl32");
    ASSERT_NE(tabs, nullptr);
    // The report runs inside the tab change and is over when the message returns (a close posted
    // while it runs would be dropped). Sent from a thread of its own, so that a box the report waits
    // on can be answered from here meanwhile.
    std::thread change([tabs] { SendMessageTimeoutA(tabs, TCM_SETCURFOCUS, 1, 0, SMTO_NORMAL, 60000, nullptr); });
    if (stub) {
      HWND w = FindTopWindow("Mail stub", 30000);
      EXPECT_NE(w, nullptr) << "the mailto handler did not come up";
      if (w) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        UniqueHandle p(OpenProcess(SYNCHRONIZE, FALSE, pid));
        PostMessageA(w, WM_CLOSE, 0, 0);
        if (p) {
          EXPECT_EQ(WaitForSingleObject(p.get(), 10000), WAIT_OBJECT_0);
        }
      }
    } else {
      EXPECT_TRUE(WaitFor(mailed_, 30000)) << "the report was not mailed";
    }
    change.join();
    RemoveDirectoryA(blocked.c_str());
    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(app.Wait(20000)) << "the program did not end";
    report_ = Contents(folder_ + "send.rpt");
  }
  KeepDataFolder data_;
  std::string folder_ = Folder();
  std::function<bool()> mailed_ = [] { return Contents(MapiLog()).find("MAPILogoff") != std::string::npos; };
  std::optional<std::string> old_client_, old_mailto_;
  std::string report_;
};

TEST_F(ReportSend, TheReportGoesThroughTheMailClientAsAFileOfTheTemporaryFolder) {
  RunAndFail(false);
  const std::string calls = Contents(MapiLog());
  EXPECT_NE(calls.find("MAPISendMail session=0 ui=0 flags=1 subject=Sondrel failed note= recips=1 "
                       "[1|Resolved dev@sondrel.test|SMTP:dev@sondrel.test|3:16] files=1 [-1|"),
            std::string::npos) << calls;
  EXPECT_NE(calls.find("|send.rpt|notype]"), std::string::npos) << calls;
  char temp[MAX_PATH + 1] = {};
  GetTempPathA(MAX_PATH, temp);
  EXPECT_NE(calls.find(std::string("[-1|") + temp), std::string::npos) << "not from the temporary folder: " << calls;
  EXPECT_FALSE(FileExists(std::string(temp) + "send.rpt")) << "the report file outlived the send";
  EXPECT_FALSE(FileExists(StubLog())) << "the mailto handler was started although MAPI sent the report";
  EXPECT_NE(report_.find("2.5 Message"), std::string::npos);
}

TEST_F(ReportSend, ARefusedLogonHandsTheReportToTheMailtoHandler) {
  SetEnvironmentVariableA("MAPI_STUB_FAIL", "logon");
  RunAndFail(true);
  EXPECT_EQ(Contents(MapiLog()), "MAPILogon ui=0 profile=(null) password=(null) flags=1\r\n");
  const std::string line = Contents(StubLog());
  EXPECT_NE(line.find(
                [] {
                  std::string hex;
                  for (unsigned char c : std::string("mailto:dev@sondrel.test?Subject=Sondrel%20failed&Body=%0D%0A"))
                    hex += "0123456789abcdef"[c >> 4], hex += "0123456789abcdef"[c & 15];
                  return hex;
                }()),
            std::string::npos);
}

// By SMTP to the real server, with a report already in the log: the mailed report file is the whole
// log when SendEntireLog is on, and this report alone when it is off.
class ReportSendSmtp : public ReportSend {
 protected:
  static void SetUpTestSuite() { servers_ = std::make_unique<MailServers>(); }
  static void TearDownTestSuite() { servers_.reset(); }
  // The report file the program mailed, decoded.
  std::string SendBySmtp(bool entire_log) {
    folder_ = Folder() + "smtp\\";
    std::string why;
    const uint16_t port = servers_->SmtpPort();
    EXPECT_TRUE(PrepareProgramCopy(folder_, [&](TReportModuleOptions& o) {
      o.SetShowDialog(false);
      o.SetSendMode(TReportSendMode::rsSmtpRelay);
      o.SetRelayHost("127.0.0.1");
      o.SetRelayPort(port);
      o.SetMailRecipients("dev@sondrel.test");
      o.SetSendEntireLog(entire_log);
      o.SetLogPath(folder_ + "send.rpt");
    }, why)) << why;
    // A fresh log each time: the report of an earlier run would make this one a duplicate.
    DeleteFileAt(folder_ + "send.rpt");
    TLogFile older(folder_ + "send.rpt");
    older.Add("Older report", 10);
    older.Save();
    servers_->Clear();
    mailed_ = on_mailed_ ? on_mailed_ : [] { return !servers_->Sessions().empty(); };
    RunAndFail(false);
    if (on_mailed_) return {};
    const auto sessions = servers_->Sessions();
    if (sessions.size() != 1) {
      ADD_FAILURE() << sessions.size() << " messages";
      return {};
    }
    std::string headers;
    const auto parts = Parts(sessions[0].data, &headers);
    if (parts.size() != 2) {
      ADD_FAILURE() << sessions[0].data.substr(0, 2000);
      return {};
    }
    EXPECT_NE(parts[1].headers.find("filename=\"send.rpt\""), std::string::npos) << parts[1].headers;
    return DecodeBase64(parts[1].content);
  }
  static std::unique_ptr<MailServers> servers_;
  std::function<bool()> on_mailed_;  // set when the send is to end otherwise than at the server
};
std::unique_ptr<MailServers> ReportSendSmtp::servers_;

// Each case is one run: the program's settings of a first run (the tab it ended on) would keep a
// second from writing them.
TEST_F(ReportSendSmtp, TheWholeLogGoesWhenAskedFor) {
  const std::string whole = SendBySmtp(true);
  EXPECT_EQ(whole, ReportFileText(TLogFile(folder_ + "send.rpt").Text()));
  EXPECT_EQ(whole.rfind("Older report\r\n", 0), 0u) << whole.substr(0, 200);
  EXPECT_NE(whole.find("2.5 Message"), std::string::npos);
  EXPECT_TRUE(Contents(MapiLog()).empty()) << "the mail client was asked";
}

TEST_F(ReportSendSmtp, ThisReportAloneGoesOtherwise) {
  const std::string alone = SendBySmtp(false);
  EXPECT_EQ(alone.find("Older report"), std::string::npos) << alone.substr(0, 200);
  EXPECT_NE(alone.find("2.5 Message"), std::string::npos);
  EXPECT_NE(report_.find(alone.substr(0, alone.size() - 2)), std::string::npos) << "not this report";
  EXPECT_FALSE(FileExists(StubLog())) << "the mail client was asked";
  EXPECT_TRUE(Contents(MapiLog()).empty()) << "the mail client was asked";
}

// The sockets library is loaded only when a report is mailed. On a system where it cannot be loaded
// (here: turned off for the program in the prefix) the program still starts, and the send fails with
// the loader's reason shown, instead of the program refusing to start or the send raising.
TEST_F(ReportSendSmtp, WithoutTheSocketsLibraryTheProgramRunsAndTheSendSaysWhyItFailed) {
  struct TurnedOff {
    const std::string key = "Software\\Wine\\AppDefaults\\Sondrel.exe";
    TurnedOff() { WriteRegString(HKEY_CURRENT_USER, key + "\\DllOverrides", "wsock32", ""); }  // empty: never loaded
    ~TurnedOff() { DeleteRegTree(HKEY_CURRENT_USER, key); }
  } turned_off;
  std::string shown;
  on_mailed_ = [&shown] {
    HWND box = FindTopWindow("Error.", 100);
    if (!box) return false;
    shown = WindowText(FindChildById(box, 0xFFFF));
    Click(FindChildById(box, IDOK));
    return true;
  };
  SendBySmtp(true);
  EXPECT_TRUE(servers_->Sessions().empty());
  EXPECT_NE(shown.find("Error into WSAStartup"), std::string::npos) << shown;
  EXPECT_EQ(shown.find("\"\""), std::string::npos) << "no reason given: " << shown;
  EXPECT_NE(report_.find("2.5 Message"), std::string::npos) << "the report was not logged";
}

}  // namespace
}  // namespace sondrel::test
