#pragma once
// A scripted report system for the worker's tests: it records what the worker asks of it and plays
// back fixed answers (the call stack, the dialog's choices, failures on request).
#include <stdexcept>
#include <string>
#include <vector>

#include "errorreport/capture/report_worker.h"

namespace sondrel {

struct TerminateCalled {
  unsigned code;
};

class FakeSystem : public ReportSystem {
 public:
  explicit FakeSystem(TReportModuleOptions& module) : module_(module) {}
  ProgramKind kind = ProgramKind::kWindows;
  std::vector<std::string> events;
  std::vector<StackRowText> stack = {{4, 0x00401000, "prog.exe", "a.cpp", "", "Fail", 10},
                                     {4, 0x00401100, "prog.exe", "a.cpp", "", "Caller", 20}};
  DialogChoices choices{true, true, false, false};
  bool dialog_fails = false;
  bool shot_fails = false;
  bool send_fails = false;
  bool stack_fails = false;
  std::string steps;
  std::vector<bool> confirmations;  // what confirm_terminate answered, per dialog
  std::vector<std::string> sent;
  std::vector<std::string> console;
  std::vector<std::string> debug;
  uint32_t stack_address = 0;

  ProgramKind Kind() const override { return kind; }
  std::string NowDateText() override { return "Mon, 7 Dec 2026 09:06:00 +0100"; }
  void DropChangedModules() override { events.push_back("drop"); }
  const TReportModuleOptions& OptionsForAddress(uint32_t) override { return module_; }
  void RefreshModules() override { events.push_back("refresh"); }
  std::vector<ModuleRowText> ModuleRows() override { return {{0x400000, "prog.exe", "", "1.0.0.0", 1000, "C:\\"}}; }
  std::string ModuleNameOfAddress(uint32_t a) override { return a ? "prog.exe" : ""; }
  std::vector<StackRowText> BuildCallStack(uint32_t address, const TExceptNotifyParams&) override {
    if (stack_fails) throw std::runtime_error("stack walk broke");
    stack_address = address;
    return stack;
  }
  void FillReportRows(ReportRowValues& rows, const ReportInput&) override { rows[rrName] = "prog.exe"; }
  ReportMemory ReadMemory(const TExceptNotifyParams&, uint32_t) override { return {}; }
  void ShowFilterMessage(const std::string& caption, const std::string& text) override {
    events.push_back("filter:" + caption + ":" + text);
  }
  void CaptureScreen() override { events.push_back("capture"); }
  void SaveScreenshot() override {
    events.push_back("shot");
    if (shot_fails) throw std::runtime_error("temporary folder full");
  }
  void ReleaseScreen() override { events.push_back("release"); }
  void DeleteScreenshot() override { events.push_back("delete-shot"); }
  std::string ScreenshotFile() override { return "Screenshot.png"; }
  DialogChoices ShowErrorDialog(const DialogRequest& r) override {
    events.push_back("dialog:" + r.message);
    if (dialog_fails) throw std::runtime_error("Cannot show the DialogBox window.");
    if (choices.terminate && r.confirm_terminate) confirmations.push_back(r.confirm_terminate());
    return choices;
  }
  void WriteConsoleLine(const std::string& text) override { console.push_back(text); }
  void WriteWebOutput(const std::string& text) override { events.push_back("web:" + text); }
  std::string AskReproduceSteps() override {
    events.push_back("ask");
    return steps;
  }
  void CopyToClipboard(const std::string&) override { events.push_back("clipboard"); }
  // Every way of sending is one scripted try: it notes the screenshot and the text, or fails as an
  // SMTP server that cannot be reached.
  bool SendReport(SendReportInput in, SendReportHooks hooks) override {
    struct Channels final : MailChannels {
      FakeSystem& sys;
      const SendReportInput& in;
      const SendReportHooks& hooks;
      Channels(FakeSystem& s, const SendReportInput& i, const SendReportHooks& h) : sys(s), in(i), hooks(h) {}
      bool Try() {
        sys.events.push_back("send:" + in.screenshot_file);
        if (sys.send_fails) {
          hooks.record_error(eeEmailSMTPError, "[SMTP] no server");
          return false;
        }
        sys.sent.push_back(in.text_to_send);
        return true;
      }
      bool SendSmtp(const TReportModuleOptions&, const StringList&, const std::string&) override { return Try(); }
      bool SendMapi(const std::string&, const std::string&, const std::string&, const StringList&) override {
        return Try();
      }
      bool SendMailto(const std::string&, const std::string&, const std::string&, const std::string&) override {
        return false;
      }
    } channels(*this, in, hooks);
    hooks.write_file = [](const std::string&, const std::string&) {};
    hooks.delete_file = [](const std::string&) {};
    return sondrel::SendReport(in, channels, hooks);
  }
  void DebugOutput(const std::string& line) override { debug.push_back(line); }
  void Restart() override { events.push_back("restart"); }
  [[noreturn]] void Terminate(unsigned code) override { throw TerminateCalled{code}; }

 private:
  TReportModuleOptions& module_;
};

}  // namespace sondrel
