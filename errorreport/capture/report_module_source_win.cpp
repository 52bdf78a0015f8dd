#include "errorreport/capture/report_module_source_win.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include "base/handle_win.h"
#include "errorreport/delivery/options_block_win.h"

namespace sondrel {
namespace {

const void* Ptr(uint32_t a) { return reinterpret_cast<const void*>(static_cast<uintptr_t>(a)); }

class Win32ModuleSource : public ModuleSource {
 public:
  MemoryReader& Memory() override { return memory_; }
  uint32_t ProgramModule() override { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr))); }

  std::optional<std::vector<uint32_t>> EnumerateModules() override {
    using EnumFn = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, LPDWORD);
    auto enum_modules = GetProc<EnumFn>("psapi.dll", "EnumProcessModules");
    if (enum_modules) {
      UniqueHandle process(
          OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, GetCurrentProcessId()));
      HANDLE h = process ? process.get() : GetCurrentProcess();
      std::vector<HMODULE> mods(256);
      DWORD needed = 0;
      for (int attempt = 0; attempt < 4; ++attempt) {
        if (!enum_modules(h, mods.data(), static_cast<DWORD>(mods.size() * sizeof(HMODULE)), &needed)) break;
        if (needed <= mods.size() * sizeof(HMODULE)) {
          std::vector<uint32_t> out;
          for (size_t i = 0; i < needed / sizeof(HMODULE); ++i)
            out.push_back(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(mods[i])));
          return out;
        }
        mods.resize(needed / sizeof(HMODULE) + 16);
      }
    }
    // Systems without PSAPI.
    UniqueFile snap(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId()));
    if (!snap) return std::nullopt;
    MODULEENTRY32 me{};
    me.dwSize = sizeof me;
    std::vector<uint32_t> out;
    for (BOOL ok = Module32First(snap.get(), &me); ok; ok = Module32Next(snap.get(), &me))
      out.push_back(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(me.hModule)));
    return out;
  }

  std::optional<std::string> ModuleFileName(uint32_t handle) override {
    char buf[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameA(reinterpret_cast<HMODULE>(static_cast<uintptr_t>(handle)), buf, MAX_PATH);
    if (n == 0) return std::nullopt;
    return std::string(buf, n);
  }

  std::optional<FileFacts> FileFactsOf(const std::string& path) override {
    WIN32_FIND_DATAA fd{};
    HANDLE f = FindFirstFileA(path.c_str(), &fd);
    if (f == INVALID_HANDLE_VALUE) return std::nullopt;
    FindClose(f);
    FileFacts facts;
    facts.size = fd.nFileSizeLow;
    FILETIME local{};
    WORD date = 0, time = 0;
    if (FileTimeToLocalFileTime(&fd.ftLastWriteTime, &local) && FileTimeToDosDateTime(&local, &date, &time))
      facts.dos_time = (static_cast<uint32_t>(date) << 16) | time;
    return facts;
  }

  VersionFacts VersionOf(const std::string& path) override {
    VersionFacts v;
    DWORD dummy = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &dummy);
    if (!size) return v;
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data())) return v;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    if (VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &len) && fixed && len >= sizeof *fixed) {
      v.numbers = {HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                   LOWORD(fixed->dwFileVersionLS)};
    }
    struct Translation {
      WORD language, code_page;
    }* tr = nullptr;
    if (VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&tr), &len) && tr &&
        len >= sizeof *tr) {
      char key[64];
      snprintf(key, sizeof key, "\\StringFileInfo\\%04x%04x\\FileDescription", tr->language, tr->code_page);
      char* text = nullptr;
      if (VerQueryValueA(data.data(), key, reinterpret_cast<void**>(&text), &len) && text && len > 0)
        v.description.assign(text, strnlen(text, len));
    }
    return v;
  }

  std::optional<ModuleBlockData> ReadBlock(uint32_t handle, const std::string& path,
                                           TReportModuleOptions& options) override {
    ModuleBlock b = ReadModuleOptionsBlock(reinterpret_cast<HMODULE>(static_cast<uintptr_t>(handle)), path, options);
    if (!b.found) return std::nullopt;
    ModuleBlockData d;
    d.version = b.version;
    for (size_t i = 0; i < d.reserved.size() && i < b.reserved.size(); ++i) d.reserved[i] = b.reserved[i];
    d.debug_data = std::move(b.debug_data);
    return d;
  }

 private:
  Win32MemoryReader memory_;
};

bool ReadableProtection(DWORD protect) {
  if (protect & (PAGE_GUARD | PAGE_NOACCESS)) return false;
  return (protect & (PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE |
                     PAGE_EXECUTE_WRITECOPY)) != 0;
}

}  // namespace

bool Win32MemoryReader::Readable(uint32_t address, uint32_t length) {
  if (address == 0) return false;
  uint64_t at = address;
  const uint64_t end = static_cast<uint64_t>(address) + length;
  while (at < end) {
    MEMORY_BASIC_INFORMATION mbi{};
    if (!VirtualQuery(Ptr(static_cast<uint32_t>(at)), &mbi, sizeof mbi)) return false;
    if (mbi.State != MEM_COMMIT || !ReadableProtection(mbi.Protect)) return false;
    at = reinterpret_cast<uintptr_t>(mbi.BaseAddress) + static_cast<uint64_t>(mbi.RegionSize);
  }
  return true;
}

bool Win32MemoryReader::Read(uint32_t address, void* out, uint32_t length) {
  SIZE_T got = 0;
  return ReadProcessMemory(GetCurrentProcess(), Ptr(address), out, length, &got) && got == length;
}

uint32_t Win32MemoryReader::AllocationBase(uint32_t address) {
  MEMORY_BASIC_INFORMATION mbi{};
  if (!VirtualQuery(Ptr(address), &mbi, sizeof mbi) || mbi.State != MEM_COMMIT) return 0;
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(mbi.AllocationBase));
}

std::unique_ptr<ModuleSource> CreateWin32ModuleSource() { return std::make_unique<Win32ModuleSource>(); }

}  // namespace sondrel
