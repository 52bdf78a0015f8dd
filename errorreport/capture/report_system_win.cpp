#include "errorreport/capture/report_system_win.h"

#include <cstring>
#include <stdexcept>

#include "base/cmdline.h"
#include "base/exception.h"
#include "base/file.h"
#include "errorreport/capture/error_dialog_win.h"
#include "errorreport/capture/system_info_win.h"
#include "errorreport/delivery/send_report_win.h"
#include "errorreport/delivery/web_output_win.h"

namespace sondrel {
bool ReadOwnMemory(uint32_t address, void* buffer, size_t size) noexcept {
  SIZE_T got = 0;
  return address != 0 &&
         ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), buffer,
                           size, &got) &&
         got == size;
}

std::string ModuleFileName(HMODULE module) {
  char buf[MAX_PATH + 1] = {};
  DWORD n = GetModuleFileNameA(module, buf, MAX_PATH);
  return std::string(buf, n);
}

HMODULE ModuleOfAddress(uint32_t address) noexcept {
  MEMORY_BASIC_INFORMATION mbi{};
  if (!address || !VirtualQuery(reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), &mbi, sizeof mbi))
    return nullptr;
  if (mbi.State != MEM_COMMIT || !mbi.AllocationBase) return nullptr;
  char buf[8];
  HMODULE m = static_cast<HMODULE>(mbi.AllocationBase);
  return GetModuleFileNameA(m, buf, sizeof buf) ? m : nullptr;
}

ReportRegisters RegistersOf(const CONTEXT& c) {
  ReportRegisters r;
  r.eax = c.Eax;
  r.ebx = c.Ebx;
  r.ecx = c.Ecx;
  r.edx = c.Edx;
  r.esi = c.Esi;
  r.edi = c.Edi;
  r.esp = c.Esp;
  r.eip = c.Eip;
  return r;
}

Win32ReportSystem::Win32ReportSystem(ReportModuleSource& modules, const ReportServices& services,
                                     std::function<void(const std::function<void()>&)> run_in_faulting_thread,
                                     std::string start_directory)
    : modules_(modules),
      services_(services),
      run_in_faulting_thread_(std::move(run_in_faulting_thread)),
      start_directory_(std::move(start_directory)) {}

ProgramKind Win32ReportSystem::Kind() const {
  if (services_.is_web_program ? services_.is_web_program() : IsWebApplication()) return ProgramKind::kWeb;
  // The program file's subsystem says whether it is a console program.
  auto* base = reinterpret_cast<const uint8_t*>(GetModuleHandleA(nullptr));
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  return nt->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_CUI ? ProgramKind::kConsole : ProgramKind::kWindows;
}

std::string Win32ReportSystem::NowDateText() { return sondrel::NowDateText(); }

std::string Win32ReportSystem::ModuleNameOfAddress(uint32_t address) {
  HMODULE m = ModuleOfAddress(address);
  return m ? ExtractFileName(ModuleFileName(m)) : std::string();
}

std::vector<StackRowText> Win32ReportSystem::BuildCallStack(uint32_t address, const TExceptNotifyParams& p) {
  return modules_.BuildStack(address, p);
}

void Win32ReportSystem::FillReportRows(ReportRowValues& rows, const ReportInput&) {
  const std::string program = ModuleFileName(nullptr);
  rows[rrName] = modules_.ProgramDescription();
  if (rows[rrName].empty()) rows[rrName] = ExtractFileName(program);
  rows[rrVersion] = modules_.ProgramVersion();
  StringList args = ParseCommandLine(GetCommandLineA());
  if (!args.empty()) args.erase(args.begin());
  rows[rrParameters] = ParametersText(args);
  FillForegroundRows(rows);
  FillSystemRows(rows, program);
}

ReportMemory Win32ReportSystem::ReadMemory(const TExceptNotifyParams& params, uint32_t address) {
  ReportMemory m;
  const uint32_t stack_pointer = params.StackPointer;
  m.stack_address = stack_pointer;
  m.code_address = address;
  m.stack.resize(64);
  m.code.resize(256);
  // The stack as it was at the raise, where the copy holds it: the live one has moved on since.
  const StackCopy* copy = params.Stack.get();
  const bool in_copy = copy && stack_pointer >= copy->base &&
                       uint64_t{stack_pointer} + m.stack.size() <= uint64_t{copy->base} + copy->bytes.size();
  if (in_copy) std::memcpy(m.stack.data(), copy->bytes.data() + (stack_pointer - copy->base), m.stack.size());
  if ((!in_copy && !ReadOwnMemory(stack_pointer, m.stack.data(), m.stack.size())) ||
      !ReadOwnMemory(address, m.code.data(), m.code.size())) {
    m.stack.clear();
    m.code.clear();
  }
  return m;
}

void Win32ReportSystem::ShowFilterMessage(const std::string& caption, const std::string& text) {
  MessageBoxA(nullptr, text.c_str(), caption.c_str(),
              MB_OK | MB_ICONINFORMATION | MB_TASKMODAL | MB_TOPMOST | MB_SETFOREGROUND);
}

void Win32ReportSystem::CaptureScreen() { screen_.Capture(); }

void Win32ReportSystem::SaveScreenshot() {
  screen_.Save(ScreenshotPath());
  screenshot_saved_ = true;
}

void Win32ReportSystem::ReleaseScreen() { screen_.Release(); }

void Win32ReportSystem::DeleteScreenshot() {
  if (screenshot_saved_) DeleteFileAt(ScreenshotPath());
  screenshot_saved_ = false;
}

std::string Win32ReportSystem::ScreenshotFile() { return screenshot_saved_ ? ScreenshotPath() : std::string(); }

DialogChoices Win32ReportSystem::ShowErrorDialog(const DialogRequest& request) {
  if (services_.show_error_dialog) return services_.show_error_dialog(request);
  return ShowErrorDialogWindow(request);
}

void Win32ReportSystem::WriteConsoleLine(const std::string& text) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  const std::string line = text + "\r\n";
  DWORD written = 0;
  if (!out || out == INVALID_HANDLE_VALUE || !WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr))
    RaiseLastOSError();
}

void Win32ReportSystem::WriteWebOutput(const std::string& text) {
  if (services_.web_output) {
    services_.web_output(text);
    return;
  }
  const TReportModuleOptions* o = HandlingOptions();
  ShowWebReport("", text, o ? o->CustomText(mtDialog_Caption) : std::string("Error."), record_error_);
}

std::string Win32ReportSystem::AskReproduceSteps() {
  if (services_.ask_reproduce_steps) return services_.ask_reproduce_steps();
  const TReportModuleOptions* o = HandlingOptions();
  return o ? AskReproduceStepsWindow(*o) : std::string();
}

void Win32ReportSystem::CopyToClipboard(const std::string& text) {
  if (!OpenClipboard(nullptr)) return;
  EmptyClipboard();
  if (HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1)) {
    if (void* p = GlobalLock(mem)) {
      memcpy(p, text.c_str(), text.size() + 1);
      GlobalUnlock(mem);
      if (!SetClipboardData(CF_TEXT, mem)) GlobalFree(mem);
    } else {
      GlobalFree(mem);
    }
  }
  CloseClipboard();
}

namespace {

// A replacement of the ways of sending (ReportServices::send): every way is that one call, which
// raises when it fails.
class ServiceChannels final : public MailChannels {
 public:
  ServiceChannels(const ReportServices& services, const SendReportInput& in, const SendReportHooks& hooks)
      : services_(services), in_(in), hooks_(hooks) {}
  bool SendSmtp(const TReportModuleOptions&, const StringList&, const std::string&) override { return Send(); }
  bool SendMapi(const std::string&, const std::string&, const std::string&, const StringList&) override {
    return Send();
  }
  bool SendMailto(const std::string&, const std::string&, const std::string&, const std::string&) override {
    return false;
  }

 private:
  bool Send() {
    TReportErrorCode code = eeEmailMAPIError;
    try {
      services_.send(in_.text_to_send, in_.screenshot_file, code);
      return true;
    } catch (...) {
      if (hooks_.record_error) hooks_.record_error(code, LastErrorText("Send", std::current_exception()));
      return false;
    }
  }
  const ReportServices& services_;
  const SendReportInput& in_;
  const SendReportHooks& hooks_;
};

}  // namespace

bool Win32ReportSystem::SendReport(SendReportInput in, SendReportHooks hooks) {
  in.report_file = TemporaryFolder() + in.report_file;
  hooks.write_file = [](const std::string& path, const std::string& text) { WriteFileAtomic(path, text); };
  hooks.delete_file = [](const std::string& path) { DeleteFileAt(path); };
  if (services_.send) {
    ServiceChannels channels(services_, in, hooks);
    return sondrel::SendReport(in, channels, hooks);
  }
  Win32MailChannels channels(hooks.record_error, IsGuiApplication());
  return sondrel::SendReport(in, channels, hooks);
}

void Win32ReportSystem::DebugOutput(const std::string& line) { OutputDebugStringA(line.c_str()); }

void Win32ReportSystem::Restart() {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string cmd = GetCommandLineA();
  const std::string program = ModuleFileName(nullptr);
  if (CreateProcessA(program.c_str(), cmd.data(), nullptr, nullptr, FALSE,
                     CREATE_NEW_PROCESS_GROUP | NORMAL_PRIORITY_CLASS, nullptr,
                     start_directory_.empty() ? nullptr : start_directory_.c_str(), &si, &pi)) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
}

void Win32ReportSystem::Terminate(unsigned exit_code) {
  // The faulting thread still waits inside the report and may hold locks: end at once, without the
  // library's exit procedures.
  TerminateProcess(GetCurrentProcess(), exit_code);
  ExitProcess(exit_code);
}

void Win32ReportSystem::RunInFaultingThread(const std::function<void()>& call) {
  if (run_in_faulting_thread_)
    run_in_faulting_thread_(call);
  else
    call();
}

}  // namespace sondrel
