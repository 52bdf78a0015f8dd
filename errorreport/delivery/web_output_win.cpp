#include "errorreport/delivery/web_output_win.h"

#include <windows.h>
#include <httpext.h>

#include <atomic>

#include "base/cmdline.h"
#include "base/exception.h"
#include "base/file.h"
#include "base/handle_win.h"
#include "errorreport/capture/CodeHook_win.h"
#include "errorreport/delivery/reporter_module_win.h"
#include "errorreport/delivery/web_output.h"

namespace sondrel {
namespace {

constexpr DWORD kMaxWinCgiProfile = 102400;

const IMAGE_NT_HEADERS32* Headers(HMODULE m) {
  auto* base = reinterpret_cast<const uint8_t*>(m);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  return reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
}

bool IsConsoleProgram() {
  return Headers(GetModuleHandleA(nullptr))->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_CUI;
}

std::string ProfileText(const std::string& file, const char* section, const char* key) {
  char buf[2048] = {};
  const DWORD n = GetPrivateProfileStringA(section, key, "", buf, sizeof buf, file.c_str());
  return std::string(buf, n < sizeof buf ? n : 0);
}

uint64_t FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA d{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &d)) return UINT64_MAX;
  return (static_cast<uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
}

// The WinCGI output file named by the command line or the profile; empty when this is no WinCGI run.
std::string WinCgiOutputFile() {
  if (IsConsoleProgram()) return {};
  const StringList args = ParseCommandLine(GetCommandLineA());
  if (args.size() < 2 || !FileExists(args[1]) || FileSize(args[1]) > kMaxWinCgiProfile) return {};
  if (ProfileText(args[1], "CGI", "Request Method").empty()) return {};
  std::string output = args.size() > 3 ? args[3] : std::string();
  if (output.empty()) output = ProfileText(args[1], "System", "Output File");
  return !output.empty() && FileExists(output) ? output : std::string();
}

// The request block of the request under way, recorded by the patched HttpExtensionProc.
std::atomic<EXTENSION_CONTROL_BLOCK*> g_request{nullptr};
std::atomic<PFN_HTTPEXTENSIONPROC> g_extension_proc{nullptr};

DWORD WINAPI RecordingHttpExtensionProc(EXTENSION_CONTROL_BLOCK* ecb) {
  // The block lives only while the server's call lasts: a report after it has no request to answer.
  EXTENSION_CONTROL_BLOCK* outer = g_request.exchange(ecb);
  const DWORD result = g_extension_proc.load()(ecb);
  g_request = outer;
  return result;
}

bool WriteAll(HANDLE h, const std::string& bytes) {
  DWORD written = 0;
  return h && h != INVALID_HANDLE_VALUE &&
         WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
}

void Record(const LastErrorRecorder& record, const std::string& text) {
  if (record) record(eeShowError, text);
}

bool WriteIsapiResponse(const std::string& header, const std::string& page, const LastErrorRecorder& record) {
  EXTENSION_CONTROL_BLOCK* ecb = g_request;
  if (!ecb) {
    Record(record, "ISAPI: ServerECB = nil");
    return false;
  }
  ecb->dwHttpStatusCode = 200;
  char status[] = "200 Error";
  DWORD size = static_cast<DWORD>(header.size());
  const BOOL sent = ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_SEND_RESPONSE_HEADER, status, &size,
                                               reinterpret_cast<LPDWORD>(const_cast<char*>(header.c_str())));
  DWORD length = static_cast<DWORD>(page.size());
  if (!sent || !ecb->WriteClient(ecb->ConnID, const_cast<char*>(page.data()), &length, 0)) {
    Record(record, "ISAPI: Cannot write the response.");
    return false;
  }
  return true;
}

bool WriteWinCgiResponse(const std::string& file, const std::string& response, const LastErrorRecorder& record) {
  try {
    UniqueFile f(CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr));
    // Cut at the end of the answer: what a longer earlier content left behind would follow the page.
    if (!WriteAll(f.get(), response) || !SetEndOfFile(f.get())) RaiseLastOSError();
    return true;
  } catch (...) {
    Record(record, LastErrorText("WinCGI", std::current_exception()));
    return false;
  }
}

}  // namespace

bool IsIsapiApplication() {
  HMODULE m = ModuleHoldingReporter();
  return m && (Headers(m)->FileHeader.Characteristics & IMAGE_FILE_DLL) && GetProcAddress(m, "HttpExtensionProc");
}

bool IsCgiApplication() {
  if (!IsConsoleProgram()) return false;
  char buf[1];
  SetLastError(0);
  return GetEnvironmentVariableA("REQUEST_METHOD", buf, sizeof buf) != 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
}

bool IsWinCgiApplication() { return !WinCgiOutputFile().empty(); }
bool IsIntraWebApplication() { return false; }

bool IsWebApplication() {
  return IsIsapiApplication() || IsCgiApplication() || IsWinCgiApplication() || IsIntraWebApplication();
}

bool IsGuiApplication() { return !IsWebApplication() && !IsConsoleProgram(); }

bool ShowWebReport(const std::string& header, const std::string& text, const std::string& title,
                   const LastErrorRecorder& record) {
  if (!IsWebApplication()) return false;
  return WriteWebResponse(WebReportPage(title, header, text), record);
}

bool WriteWebResponse(const std::string& page, const LastErrorRecorder& record) {
  if (IsIsapiApplication()) return WriteIsapiResponse(WebResponseHeader(page.size(), false), page, record);
  const std::string header = WebResponseHeader(page.size(), true);
  if (IsCgiApplication()) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!WriteAll(out, header)) {
      Record(record, "CGI: Cannot write in the ouput file.");
      return false;
    }
    WriteAll(out, page);
    return true;
  }
  const std::string file = WinCgiOutputFile();
  return !file.empty() && WriteWinCgiResponse(file, header + page, record);
}

void InstallHttpExtensionHook() noexcept {
  try {
    HMODULE m = ModuleHoldingReporter();
    if (!m || !(Headers(m)->FileHeader.Characteristics & IMAGE_FILE_DLL)) return;
    void* proc = reinterpret_cast<void*>(GetProcAddress(m, "HttpExtensionProc"));
    if (!proc || g_extension_proc) return;
    g_extension_proc = reinterpret_cast<PFN_HTTPEXTENSIONPROC>(
        CodePatch(proc, reinterpret_cast<void*>(&RecordingHttpExtensionProc), "HttpExtensionProc"));
  } catch (...) {
    // Without the patch an ISAPI answer reports that it has no request block.
  }
}

}  // namespace sondrel
