#include "errorreport/capture/system_info_win.h"

#include <lmcons.h>

#include <algorithm>

#include "base/handle_win.h"
#include "base/text.h"

namespace sondrel {
namespace {

std::string WindowClass(HWND h) {
  char buf[256] = {};
  int n = h ? GetClassNameA(h, buf, sizeof buf) : 0;
  return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

std::string WindowText(HWND h) {
  char buf[257] = {};
  if (!h) return std::string();
  DWORD pid = 0;
  const DWORD tid = GetWindowThreadProcessId(h, &pid);
  if (tid == GetCurrentThreadId() || pid != GetCurrentProcessId()) {
    int n = GetWindowTextA(h, buf, sizeof buf);
    return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
  }
  // A window of another thread of this process is asked by message, and that thread may itself be
  // waiting for the report lock: never wait for it long.
  DWORD_PTR n = 0;
  if (!SendMessageTimeoutA(h, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG | SMTO_BLOCK,
                           200, &n))
    return std::string();
  return std::string(buf, std::min<size_t>(n, sizeof buf - 1));
}

// EnumSystemLocalesA passes no user argument: the search state lives in the calling thread.
struct LanguageSearch {
  LCID wanted = 0;
  std::string name;
};
thread_local LanguageSearch* t_language_search = nullptr;

BOOL CALLBACK LocaleFound(LPSTR text) noexcept {
  LanguageSearch* s = t_language_search;
  if (!s || !text) return FALSE;
  char* end = nullptr;
  const LCID id = static_cast<LCID>(strtoul(text, &end, 16));
  if (id != s->wanted) return TRUE;
  char abbrev[16] = {};
  if (GetLocaleInfoA(id, LOCALE_SABBREVLANGNAME, abbrev, sizeof abbrev) <= 1) return TRUE;
  char full[128] = {};
  if (GetLocaleInfoA(id, LOCALE_SLANGUAGE, full, sizeof full) > 1) s->name = full;
  return FALSE;
}

std::string SystemLanguageName() {
  LanguageSearch search;
  search.wanted = GetSystemDefaultLangID();
  t_language_search = &search;
  EnumSystemLocalesA(LocaleFound, LCID_INSTALLED);
  t_language_search = nullptr;
  return search.name;
}

std::string DriveRoot(const std::string& path) {
  if (path.size() >= 3 && path[1] == ':') return path.substr(0, 3);
  if (path.rfind("\\\\", 0) == 0) {  // a share: up to the backslash after its name
    size_t a = path.find('\\', 2);
    size_t b = a == std::string::npos ? a : path.find('\\', a + 1);
    return b == std::string::npos ? path + "\\" : path.substr(0, b + 1);
  }
  return std::string();
}

}  // namespace

OsVersionFacts ReadOsVersion() {
  OsVersionFacts os;
  OSVERSIONINFOEXW v{};
  v.dwOSVersionInfoSize = sizeof v;
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
  auto rtl = GetProc<RtlGetVersionFn>("ntdll.dll", "RtlGetVersion");
  if (rtl && rtl(&v) == 0) {
    os.nt = v.dwPlatformId == VER_PLATFORM_WIN32_NT;
    os.major = v.dwMajorVersion;
    os.minor = v.dwMinorVersion;
    os.build = v.dwBuildNumber;
    os.workstation = v.wProductType == VER_NT_WORKSTATION || v.wProductType == 0;
    char sp[128] = {};
    WideCharToMultiByte(CP_ACP, 0, v.szCSDVersion, -1, sp, sizeof sp - 1, nullptr, nullptr);
    os.service_pack = Trim(sp);
    return os;
  }
  // Without ntdll's entry (the 9x line) the classic call tells the truth.
  OSVERSIONINFOA a{};
  a.dwOSVersionInfoSize = sizeof a;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExA(&a)) return os;
#pragma GCC diagnostic pop
  os.nt = a.dwPlatformId == VER_PLATFORM_WIN32_NT;
  os.major = a.dwMajorVersion;
  os.minor = a.dwMinorVersion;
  os.build = a.dwBuildNumber;
  os.service_pack = Trim(a.szCSDVersion);
  return os;
}

void FillSystemRows(ReportRowValues& rows, const std::string& module_path) {
  char computer[16] = {};  // the classic 15-character NetBIOS name
  DWORD n = sizeof computer;
  rows[rrComputerName] = GetComputerNameA(computer, &n) ? std::string(computer, n) : std::string();
  char user[UNLEN + 1] = {};
  n = sizeof user;
  rows[rrUser] = GetUserNameA(user, &n) ? std::string(user) : std::string();

  MEMORYSTATUSEX mem{};
  mem.dwLength = sizeof mem;
  if (GlobalMemoryStatusEx(&mem)) {
    rows[rrTotalMemory] = MemoryMbText(mem.ullTotalPhys);
    rows[rrFreeMemory] = MemoryMbText(mem.ullAvailPhys);
  }
  auto disk = GetProc<decltype(&GetDiskFreeSpaceExA)>("kernel32.dll", "GetDiskFreeSpaceExA");
  ULARGE_INTEGER avail{}, total{}, free_all{};
  const std::string root = DriveRoot(module_path);
  if (disk && disk(root.empty() ? nullptr : root.c_str(), &avail, &total, &free_all)) {
    rows[rrTotalDisk] = DiskGbText(total.QuadPart);
    rows[rrFreeDisk] = DiskGbText(avail.QuadPart);
  }

  const OsVersionFacts os = ReadOsVersion();
  rows[rrOsType] = OperatingSystemName(os);
  rows[rrOsBuild] = std::to_string(os.nt ? os.build : (os.build & 0xFFFF));
  rows[rrOsUpdate] = os.service_pack;
  rows[rrOsLanguage] = SystemLanguageName();
}

std::string NowDateText() {
  FILETIME utc{}, local{};
  GetSystemTimeAsFileTime(&utc);
  FileTimeToLocalFileTime(&utc, &local);
  SYSTEMTIME st{};
  FileTimeToSystemTime(&local, &st);
  auto ticks = [](const FILETIME& f) {
    return static_cast<int64_t>((static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime);
  };
  const int zone_minutes = static_cast<int>((ticks(local) - ticks(utc)) / 600000000LL);
  ReportTime t{st.wYear, st.wMonth, st.wDay, st.wDayOfWeek, st.wHour, st.wMinute, st.wSecond};
  return FormatDateText(t, zone_minutes);
}

void FillForegroundRows(ReportRowValues& rows) {
  HWND fg = GetForegroundWindow();
  rows[rrFormClass] = WindowClass(fg);
  rows[rrFormText] = BlankControlChars(WindowText(fg));
}

FocusedControl ReadFocusedControl() {
  HWND focus = GetFocus();
  if (!focus) {
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    HWND fg = GetForegroundWindow();
    DWORD pid = 0;
    DWORD tid = fg ? GetWindowThreadProcessId(fg, &pid) : 0;
    if (tid && pid == GetCurrentProcessId() && GetGUIThreadInfo(tid, &gui)) focus = gui.hwndFocus;
  }
  FocusedControl c;
  if (!focus) return c;
  c.class_name = WindowClass(focus);
  c.text = MaskedControlText(c.class_name, static_cast<uint32_t>(GetWindowLongA(focus, GWL_STYLE)),
                             WindowText(focus).substr(0, 255));
  return c;
}

}  // namespace sondrel
