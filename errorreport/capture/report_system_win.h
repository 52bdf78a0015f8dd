#pragma once
// The reporter's system side under Windows: system facts, memory, screen, dialogs, console,
// clipboard, delivery and the process itself, for the report worker.
#include <windows.h>

#include <functional>
#include <memory>

#include "errorreport/capture/ExceptionReport.h"
#include "errorreport/capture/report_screenshot_win.h"
#include "errorreport/capture/report_worker.h"

namespace sondrel {

// Where the module list and the call stack come from (the module registry of the reporter).
class ReportModuleSource {
 public:
  virtual ~ReportModuleSource() = default;
  virtual void DropChangedModules() = 0;
  virtual const TReportModuleOptions& OptionsForAddress(uint32_t address) = 0;
  virtual void Refresh() = 0;
  virtual std::vector<ModuleRowText> Rows() = 0;
  // The rows from the address and the stack (see ReportSystem::BuildCallStack).
  virtual std::vector<StackRowText> BuildStack(uint32_t address, const TExceptNotifyParams& params) = 0;
  // FileDescription and version of the program file; empty when it has no version resource.
  virtual std::string ProgramDescription() = 0;
  virtual std::string ProgramVersion() = 0;
};

class Win32ReportSystem : public ReportSystem {
 public:
  Win32ReportSystem(ReportModuleSource& modules, const ReportServices& services,
                    std::function<void(const std::function<void()>&)> run_in_faulting_thread,
                    std::string start_directory);

  ProgramKind Kind() const override;
  std::string NowDateText() override;
  void DropChangedModules() override { modules_.DropChangedModules(); }
  const TReportModuleOptions& OptionsForAddress(uint32_t a) override { return modules_.OptionsForAddress(a); }
  void RefreshModules() override { modules_.Refresh(); }
  std::vector<ModuleRowText> ModuleRows() override { return modules_.Rows(); }
  std::string ModuleNameOfAddress(uint32_t address) override;
  std::vector<StackRowText> BuildCallStack(uint32_t address, const TExceptNotifyParams& params) override;
  void FillReportRows(ReportRowValues& rows, const ReportInput& in) override;
  ReportMemory ReadMemory(const TExceptNotifyParams& params, uint32_t address) override;
  void ShowFilterMessage(const std::string& caption, const std::string& text) override;
  void CaptureScreen() override;
  void SaveScreenshot() override;
  void ReleaseScreen() override;
  void DeleteScreenshot() override;
  std::string ScreenshotFile() override;
  DialogChoices ShowErrorDialog(const DialogRequest& request) override;
  void WriteConsoleLine(const std::string& text) override;
  void WriteWebOutput(const std::string& text) override;
  std::string AskReproduceSteps() override;
  void CopyToClipboard(const std::string& text) override;
  bool SendReport(SendReportInput in, SendReportHooks hooks) override;
  void DebugOutput(const std::string& line) override;
  void Restart() override;
  [[noreturn]] void Terminate(unsigned exit_code) override;
  void RunInFaultingThread(const std::function<void()>& call) override;
  // Where the delivery and web output record their failures.
  void SetErrorRecorder(std::function<void(TReportErrorCode, const std::string&)> record) {
    record_error_ = std::move(record);
  }

 private:
  std::function<void(TReportErrorCode, const std::string&)> record_error_;
  ReportModuleSource& modules_;
  const ReportServices& services_;
  std::function<void(const std::function<void()>&)> run_in_faulting_thread_;
  std::string start_directory_;
  TScreenCapture screen_;
  bool screenshot_saved_ = false;
};

// The module list of the reporter, created at installation for the module that holds the reporter.
// Null when that module cannot be registered, or when it is the program and has no options block.
std::unique_ptr<ReportModuleSource> CreateReportModuleSource(HMODULE reporter_module);
// Forgets the list before it is freed.
void ReleaseReportModuleSource() noexcept;
// True when the program module carries an options block (and with it the debug data).
bool ProgramHasOptionsBlock();

// Reads memory of this process without faulting: false when any byte is unreadable (also when
// another thread frees the page meanwhile).
bool ReadOwnMemory(uint32_t address, void* buffer, size_t size) noexcept;
// The file name of a module handle ("C:\dir\Prog.exe"); empty when unknown.
std::string ModuleFileName(HMODULE module);
// The module whose image holds the address, or null.
HMODULE ModuleOfAddress(uint32_t address) noexcept;
// The registers of a system context record.
ReportRegisters RegistersOf(const CONTEXT& c);

}  // namespace sondrel
