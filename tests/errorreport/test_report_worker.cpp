// The report sequence against a scripted system: which steps run, in which order, what is logged and
// sent, how failures and handlers change the course.
#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

#include "base/exception.h"
#include "base/file.h"
#include "errorreport/capture/external_exception.h"
#include "errorreport/capture/log_file.h"
#include "errorreport/capture/report_worker.h"
#include "tests/errorreport/fake_report_system.h"

namespace sondrel {
namespace {

class ReportWorkerTest : public testing::Test {
 protected:
  void SetUp() override {
    static int n = 0;
    log_path_ = testing::TempDir() + "sondrel_worker_" + std::to_string(++n) + ".rpt";
    DeleteFileAt(log_path_);
    module_.SetLogPath(log_path_);
    state_.handling_options = &handling_;
    state_.handlers = &handlers_;
    state_.start_date = "Mon, 7 Dec 2026 09:00:00 +0100";
  }
  bool Report(std::exception_ptr e, uint32_t address = 0x00401005, bool language = true) {
    ReportWorker w(sys_, state_);
    ReportInput in;
    in.object = std::move(e);
    in.address = address;
    in.language_exception = language;
    bool r = w.Run(in);
    last_report_ = w.Report();
    last_step_ = w.Step();
    return r;
  }
  size_t LoggedCount() { return TLogFile(log_path_).Count(); }
  std::vector<int> actions_;
  void RecordActions() {
    TReportHandler h;
    h.OnAction = [this](TReportExceptionRecord&, int a, bool&) { actions_.push_back(a); };
    handlers_.Add(h);
  }

  std::string log_path_;
  TReportModuleOptions module_{"prog.exe", false};
  TReportModuleOptions handling_{"", false};
  TReportHandlerList handlers_;
  ReportManagerState state_;
  FakeSystem sys_{module_};
  std::string last_report_;
  int last_step_ = 0;
};

std::exception_ptr Boom(const std::string& msg = "Boom") { return std::make_exception_ptr(std::runtime_error(msg)); }

TEST_F(ReportWorkerTest, AReportIsShownLoggedAndTheProgramGoesOn) {
  RecordActions();
  EXPECT_FALSE(Report(Boom()));
  EXPECT_EQ(state_.exceptions_reported, 1u);
  EXPECT_EQ(actions_, (std::vector<int>{raBeforeShow, raAfterShow, raBeforeLog, raAfterLog}));
  ASSERT_EQ(LoggedCount(), 1u);
  EXPECT_NE(last_report_.find("  2.2 Address: 00401000\r\n"), std::string::npos) << last_report_;  // call site
  EXPECT_NE(last_report_.find("  2.4 Type   : std::runtime_error\r\n"), std::string::npos);
  EXPECT_NE(last_report_.find("  2.5 Message: Boom.\r\n"), std::string::npos);
  EXPECT_NE(last_report_.find("  1.1 Start Date      : Mon, 7 Dec 2026 09:00:00 +0100"), std::string::npos);
  EXPECT_EQ(sys_.stack_address, 0x00401000u);
  EXPECT_TRUE(sys_.sent.empty());  // rsNone by default
  // Nothing could attach a picture of the screen, so none is taken.
  EXPECT_EQ(std::count(sys_.events.begin(), sys_.events.end(), "capture"), 0);
}

TEST_F(ReportWorkerTest, HandledFalseStopsTheReportAndAsksForDefaultHandling) {
  TReportHandler h;
  h.OnReport = [](TReportExceptionRecord& rec, bool& handled) {
    EXPECT_NE(rec.ReportText.find("Boom."), std::string::npos);
    handled = false;
  };
  handlers_.Add(h);
  EXPECT_TRUE(Report(Boom()));
  EXPECT_EQ(LoggedCount(), 0u);
  EXPECT_EQ(state_.exceptions_reported, 0u);
  for (const auto& e : sys_.events) EXPECT_NE(e.rfind("dialog", 0), 0u) << e;
}

TEST_F(ReportWorkerTest, HandlersRunLastRegisteredFirstThenGlobalAndTheirExceptionsAreSwallowed) {
  std::vector<int> order;
  for (int i = 1; i <= 2; ++i) {
    TReportHandler h;
    h.OnReport = [&order, i](TReportExceptionRecord&, bool&) {
      order.push_back(i);
      throw std::runtime_error("handler fault");
    };
    handlers_.Add(h);
  }
  TReportHandler g;
  g.OnReport = [&order](TReportExceptionRecord&, bool&) { order.push_back(0); };
  handlers_.SetGlobal(g);
  EXPECT_FALSE(Report(Boom()));
  EXPECT_EQ(order, (std::vector<int>{2, 1, 0}));
  EXPECT_EQ(LoggedCount(), 1u);
}

TEST_F(ReportWorkerTest, ADuplicateIsShownButNeitherLoggedNorSent) {
  module_.SetHandlingFlags(kSkipDuplicates);
  module_.SetSendMode(TReportSendMode::rsMailClient);
  EXPECT_FALSE(Report(Boom()));
  EXPECT_FALSE(Report(Boom()));
  EXPECT_EQ(LoggedCount(), 1u);
  EXPECT_EQ(sys_.sent.size(), 1u);
  EXPECT_EQ(std::count(sys_.events.begin(), sys_.events.end(), "dialog:Boom."), 2);
  // Another message is another error.
  EXPECT_FALSE(Report(Boom("Other")));
  EXPECT_EQ(LoggedCount(), 2u);
  EXPECT_EQ(sys_.sent.size(), 2u);
}

TEST_F(ReportWorkerTest, DuplicatesAreLoggedWhenNotSkipped) {
  EXPECT_FALSE(Report(Boom()));
  EXPECT_FALSE(Report(Boom()));
  EXPECT_EQ(LoggedCount(), 2u);
}

TEST_F(ReportWorkerTest, SendEntireLogSendsEveryKeptReport) {
  module_.SetSendMode(TReportSendMode::rsSmtpRelay);
  module_.SetSendEntireLog(true);
  Report(Boom("One"));
  Report(Boom("Two"));
  ASSERT_EQ(sys_.sent.size(), 2u);
  EXPECT_EQ(sys_.sent[1], TLogFile(log_path_).Text());
  EXPECT_NE(sys_.sent[1].find("One."), std::string::npos);
  EXPECT_NE(sys_.sent[1].find("Two."), std::string::npos);
  EXPECT_EQ(sys_.sent[0].find("Two."), std::string::npos);
}

TEST_F(ReportWorkerTest, UntickedSendBoxSendsNothing) {
  module_.SetSendMode(TReportSendMode::rsMailClient);
  module_.SetAttachScreenshot(true);
  sys_.choices.send = false;
  Report(Boom());
  EXPECT_TRUE(sys_.sent.empty());
  EXPECT_EQ(std::count(sys_.events.begin(), sys_.events.end(), "shot"), 0);
  sys_.choices.send = true;
  Report(Boom());
  EXPECT_EQ(sys_.sent.size(), 1u);
  EXPECT_EQ(std::count(sys_.events.begin(), sys_.events.end(), "shot"), 1);
  EXPECT_EQ(std::count(sys_.events.begin(), sys_.events.end(), "send:Screenshot.png"), 1);
}

TEST_F(ReportWorkerTest, ConsoleProgramsSendAsTheOptionsSay) {
  sys_.kind = ProgramKind::kConsole;
  module_.SetSendMode(TReportSendMode::rsMailClient);
  sys_.choices.send = false;  // no dialog is shown, so this choice is never made
  Report(Boom());
  EXPECT_EQ(sys_.sent.size(), 1u);
}

TEST_F(ReportWorkerTest, AFailedLogWriteRecordsLogErrorAndOffersARetry) {
  const std::string folder = testing::TempDir() + "sondrel_worker_missing_" + std::to_string(std::random_device{}());
  module_.SetLogPath(folder + "/prog.rpt");
  std::vector<std::string> seen;
  TReportHandler h;
  int offers = 0;
  h.OnActionError = [&](TReportExceptionRecord&, int action, bool& retry) {
    EXPECT_EQ(action, raAfterLog);
    ++offers;
    std::string text;
    seen.push_back(state_.last_error_text);
    EXPECT_EQ(state_.last_error, eeLogError);
    if (offers == 1) {
      ForceDirectories(folder);  // the user fixed it
      retry = true;
    }
  };
  handlers_.Add(h);
  EXPECT_FALSE(Report(Boom()));
  EXPECT_EQ(offers, 1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].rfind("[Log] ", 0), 0u) << seen[0];
  ASSERT_FALSE(sys_.debug.empty());
  EXPECT_EQ(sys_.debug[0].rfind("[WARNING] - Code: eeLogError - Address: 00401005 - Message: \"[Log] ", 0), 0u)
      << sys_.debug[0];
  EXPECT_EQ(TLogFile(folder + "/prog.rpt").Count(), 1u);
  EXPECT_EQ(state_.last_error, eeNone);
}

TEST_F(ReportWorkerTest, AFailedLogWriteWithoutRetryGoesOn) {
  module_.SetLogPath(testing::TempDir() + "sondrel_no_such_folder/x/prog.rpt");
  module_.SetSendMode(TReportSendMode::rsMailClient);
  EXPECT_FALSE(Report(Boom()));
  ASSERT_FALSE(sys_.debug.empty());
  EXPECT_NE(sys_.debug[0].find("Code: eeLogError"), std::string::npos);
  EXPECT_EQ(sys_.sent.size(), 1u);  // the report is still sent
  EXPECT_EQ(state_.last_error, eeNone) << "a send starts with no last error";
}

TEST_F(ReportWorkerTest, AFailedSendRecordsItsCodeAndOffersARetry) {
  module_.SetSendMode(TReportSendMode::rsSmtpRelay);
  sys_.send_fails = true;
  int offers = 0;
  TReportHandler h;
  h.OnActionError = [&](TReportExceptionRecord&, int action, bool& retry) {
    EXPECT_EQ(action, raAfterSend);
    retry = ++offers < 3;
  };
  // The after-send handler is told that nothing went out.
  std::vector<bool> after_send;
  h.OnAction = [&](TReportExceptionRecord&, int action, bool& go_on) {
    if (action == raAfterSend) after_send.push_back(go_on);
  };
  handlers_.Add(h);
  Report(Boom());
  EXPECT_EQ(after_send, std::vector<bool>{false});
  EXPECT_EQ(offers, 3);
  EXPECT_EQ(state_.last_error, eeEmailSMTPError);
  EXPECT_EQ(std::count_if(sys_.events.begin(), sys_.events.end(), [](auto& e) { return e.rfind("send:", 0) == 0; }), 3);
}

TEST_F(ReportWorkerTest, AVetoedActionSkipsItsStepButNotTheNextAction) {
  RecordActions();
  TReportHandler h;
  h.OnAction = [](TReportExceptionRecord&, int a, bool& go_on) {
    if (a == raBeforeShow || a == raBeforeLog) go_on = false;
  };
  handlers_.Add(h);
  module_.SetSendMode(TReportSendMode::rsMailClient);
  Report(Boom());
  for (const auto& e : sys_.events) {
    EXPECT_NE(e.rfind("dialog", 0), 0u);
    EXPECT_NE(e.rfind("send", 0), 0u) << "no dialog, so nobody ticked its send box";
  }
  EXPECT_EQ(actions_, (std::vector<int>{raBeforeShow, raAfterShow, raBeforeLog, raAfterLog}));
  EXPECT_EQ(LoggedCount(), 0u);
  EXPECT_EQ(state_.last_error, eeNone);
}

TEST_F(ReportWorkerTest, FilteredClassesShowOnlyTheirMessageOrNothing) {
  module_.AddFilter("EDIVBYZERO", "");
  module_.AddFilter(" eaccessviolation ", "Please try again.");
  module_.AddFilter("EIntError", "Never shown: EDivByZero matched first.");
  SystemExceptionFacts f{0xC0000094u, 0x401000, {0, 0}, 0};
  EXPECT_FALSE(Report(MakeExternalException(f), 0x401000, false));
  EXPECT_TRUE(sys_.events.size() < 4);
  for (const auto& e : sys_.events) EXPECT_NE(e.rfind("filter", 0), 0u) << e;
  f.code = 0xC0000005u;
  EXPECT_FALSE(Report(MakeExternalException(f), 0x401000, false));
  EXPECT_EQ(sys_.events.back(), "filter:Information.:Please try again.");
  EXPECT_EQ(LoggedCount(), 0u);
  // An ancestor matches too.
  module_.SetFilterClasses({"EIntError"});
  module_.SetFilterMessages({"Integer trouble."});
  f.code = 0xC0000095u;
  Report(MakeExternalException(f), 0x401000, false);
  EXPECT_EQ(sys_.events.back(), "filter:Information.:Integer trouble.");
  module_.SetFilterActive(false);
  Report(MakeExternalException(f), 0x401000, false);
  EXPECT_EQ(LoggedCount(), 1u);
}

TEST_F(ReportWorkerTest, ReproduceStepsAreAskedAndAppended) {
  module_.SetHandlingFlags(kAskReproduceSteps);
  module_.SetSendMode(TReportSendMode::rsMailClient);
  sys_.steps = "Opened the menu.\r\n\r\n\r\n\r\n\r\nClicked twice.";
  Report(Boom());
  TLogFile log(log_path_);
  ASSERT_EQ(log.Count(), 1u);
  const std::string tail = "\r\nRequest:\r\n" + std::string(40, '-') + "\r\nOpened the menu.\r\n\r\nClicked twice.";
  EXPECT_NE(log.Entries()[0].find(tail + "\r\n\r\n\r\n\r\n"), std::string::npos) << log.Entries()[0];
  ASSERT_EQ(sys_.sent.size(), 1u);
  EXPECT_NE(sys_.sent[0].find(tail), std::string::npos);
  // Not asked for a console program, nor when nothing is logged or sent.
  sys_.kind = ProgramKind::kConsole;
  Report(Boom("x"));
  sys_.kind = ProgramKind::kWindows;
  module_.SetSaveLog(false);
  module_.SetSendMode(TReportSendMode::rsNone);
  Report(Boom("y"));
  EXPECT_EQ(std::count(sys_.events.begin(), sys_.events.end(), "ask"), 1);
}

TEST_F(ReportWorkerTest, ConsoleProgramsPrintTheHeaderAndTheReport) {
  sys_.kind = ProgramKind::kConsole;
  Report(Boom());
  ASSERT_EQ(sys_.console.size(), 1u);
  EXPECT_EQ(sys_.console[0].rfind("An error has occurred during program execution.\r\nPlease read the following "
                                  "information for further details.\r\n\r\nErrorReport 4.6\r\n", 0),
            0u);
  // No user interface: no Active Controls section.
  EXPECT_EQ(last_report_.find("Active Controls"), std::string::npos);
  EXPECT_NE(last_report_.find("\r\n  4.1 "), std::string::npos);
}

TEST_F(ReportWorkerTest, ADialogThatCannotBeShownRecordsShowErrorAndSendsNothing) {
  sys_.dialog_fails = true;
  module_.SetSendMode(TReportSendMode::rsMailClient);
  EXPECT_FALSE(Report(Boom()));
  EXPECT_EQ(state_.last_error_text, "[GUI] Cannot show the DialogBox window.");
  EXPECT_EQ(LoggedCount(), 1u);
  EXPECT_TRUE(sys_.sent.empty());
  // Without a dialog to show the options alone decide.
  module_.SetShowDialog(false);
  Report(Boom("Again"));
  EXPECT_EQ(sys_.sent.size(), 1u);
}

TEST_F(ReportWorkerTest, AScreenshotIsTakenBeforeTheDialogOnlyWhenItCanBeSentAndLeftOutWhenItCannotBeSaved) {
  module_.SetSendMode(TReportSendMode::rsMailClient);
  // Turned on by a handler after the capture point: taken when it is saved.
  TReportHandler h;
  h.OnReport = [this](TReportExceptionRecord&, bool&) { handling_.SetAttachScreenshot(true); };
  handlers_.Add(h);
  Report(Boom("Late"));
  auto pos = [&](const std::string& e) { return std::find(sys_.events.begin(), sys_.events.end(), e) - sys_.events.begin(); };
  EXPECT_LT(pos("dialog:Late."), pos("capture"));
  EXPECT_LT(pos("capture"), pos("shot"));
  EXPECT_EQ(sys_.sent.size(), 1u);
  handlers_.Clear();
  sys_.events.clear();

  // The screen as the fault left it: taken before the handlers and the dialog, released after.
  module_.SetAttachScreenshot(true);
  Report(Boom());
  EXPECT_LT(pos("capture"), pos("dialog:Boom."));
  EXPECT_LT(pos("dialog:Boom."), pos("release"));
  EXPECT_NE(std::find(sys_.events.begin(), sys_.events.end(), "send:Screenshot.png"), sys_.events.end());
  sys_.events.clear();
  sys_.shot_fails = true;
  EXPECT_FALSE(Report(Boom("Second")));
  EXPECT_EQ(LoggedCount(), 3u);
  EXPECT_NE(std::find(sys_.events.begin(), sys_.events.end(), "send:"), sys_.events.end());
  EXPECT_EQ(sys_.sent.size(), 3u);
}

TEST_F(ReportWorkerTest, TerminateRestartsFirstWhenAsked) {
  sys_.choices.terminate = true;
  try {
    Report(Boom());
    FAIL() << "did not terminate";
  } catch (const TerminateCalled& t) {
    EXPECT_EQ(t.code, 1u);
  }
  EXPECT_EQ(sys_.events.back(), "restart");
  EXPECT_EQ(LoggedCount(), 1u);  // logged before the end
  module_.SetRestartAfterTerminate(false);
  sys_.events.clear();
  EXPECT_THROW(Report(Boom()), TerminateCalled);
  EXPECT_EQ(std::count(sys_.events.begin(), sys_.events.end(), "restart"), 0);
  // Action 6 may keep the program running.
  RecordActions();
  TReportHandler keep;
  keep.OnAction = [](TReportExceptionRecord&, int a, bool& go_on) {
    if (a == raTerminate) go_on = false;
  };
  handlers_.Add(keep);
  EXPECT_FALSE(Report(Boom()));
  EXPECT_EQ(std::count(actions_.begin(), actions_.end(), raTerminate), 1);
}

TEST_F(ReportWorkerTest, TheTerminateRequestIsPutToTheActionHandlers) {
  sys_.choices.terminate = true;
  RecordActions();
  EXPECT_THROW(Report(Boom()), TerminateCalled);
  EXPECT_EQ(sys_.confirmations, std::vector<bool>{true});
  EXPECT_EQ(std::count(actions_.begin(), actions_.end(), raTerminate), 1);
  TReportHandler keep_running;
  keep_running.OnAction = [](TReportExceptionRecord&, int action, bool& go_on) {
    if (action == raTerminate) go_on = false;
  };
  handlers_.Add(keep_running);
  sys_.confirmations.clear();
  actions_.clear();
  // The fake dialog does not come back; the answer it was given stands, and is not asked again.
  EXPECT_FALSE(Report(Boom()));
  EXPECT_EQ(sys_.confirmations, std::vector<bool>{false});
  EXPECT_EQ(std::count(actions_.begin(), actions_.end(), raTerminate), 1);
}

TEST_F(ReportWorkerTest, StackRowsRepeatingTheFaultAreDropped) {
  sys_.stack = {{4, 0x401000, "p", "", "", "A", 1}, {4, 0x401000, "p", "", "", "A", 1}, {4, 0x402000, "p", "", "", "B", 2}};
  Report(Boom(), 0x401005, true);
  EXPECT_EQ(last_report_.find("|00401000|p|"), last_report_.rfind("|00401000|p|"));
  // For a language exception a first row that comes again later is dropped.
  sys_.stack = {{4, 0x401000, "p", "", "", "A", 1}, {4, 0x402000, "p", "", "", "B", 2}, {4, 0x401000, "p", "", "", "A", 1}};
  Report(Boom(), 0x401005, true);
  EXPECT_EQ(last_report_.find("|00401000|"), last_report_.rfind("|00401000|"));
  EXPECT_LT(last_report_.find("|00402000|"), last_report_.find("|00401000|"));
  // Not for a system exception, whose address is taken as it is.
  Report(MakeExternalException({0xC0000005u, 0x401000, {0, 0}, 2}), 0x401000, false);
  EXPECT_NE(last_report_.find("|00401000|"), last_report_.rfind("|00401000|"));
  EXPECT_EQ(sys_.stack_address, 0x401000u);
}

TEST_F(ReportWorkerTest, AFailingStepEscapesWithItsNumber) {
  sys_.stack_fails = true;
  EXPECT_THROW(Report(Boom()), std::runtime_error);
  EXPECT_EQ(last_step_, 0);  // Report() did not get to read it: check through a worker kept here
  ReportWorker w(sys_, state_);
  ReportInput in;
  in.object = Boom();
  EXPECT_THROW(w.Run(in), std::runtime_error);
  EXPECT_EQ(w.Step(), 3);
  EXPECT_EQ(state_.published, nullptr);
}

TEST(ReportWorkerTexts, InternalErrorFileAndLines) {
  EXPECT_EQ(InternalErrorDump({0x4D, 0x5A, 0x00}), "$4D $5A $00 ");
  const std::string t = InternalErrorText("Microsoft Windows 10", "$4D ", 602, 0x401000, "Boom.");
  EXPECT_EQ(t.rfind("OS     : Microsoft Windows 10\r\nRAD    : GCC ", 0), 0u);
  EXPECT_NE(t.find("\r\nDump   : $4D \r\nSection: 602\r\nAddress: 00401000\r\nMessage: Boom."), std::string::npos);
  EXPECT_EQ(InternalErrorDebugLine(5011, 0x12AB, "General internal error."),
            "[ERROR] - Section: 5011 - Address: 000012AB - Message: \"General internal error.\"");
  EXPECT_EQ(DialogMessageText(Boom("a\tb\r\nc")), "a b\r\nc.");
  EXPECT_EQ(DialogMessageText(nullptr), "Unknown error message.");
  EXPECT_TRUE(IsAbort(std::make_exception_ptr(EAbort("x"))));
  EXPECT_FALSE(IsAbort(Boom()));
  EXPECT_EQ(ExceptionClassChain(std::make_exception_ptr(EDivByZero("d", 1, 2))),
            (std::vector<std::string>{"EDivByZero", "EIntError", "EExternalException", "Exception"}));
  EXPECT_EQ(ReportErrorCodeName(eeEmailShellError), std::string("eeEmailShellError"));
}

}  // namespace
}  // namespace sondrel
