#include "errorreport/capture/module_source_win.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>

#include "base/handle_win.h"
#include "errorreport/delivery/options_block_win.h"

namespace sondrel {
namespace {

uint32_t Handle32(HMODULE m) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(m)); }
HMODULE ModuleOf(uint32_t h) { return reinterpret_cast<HMODULE>(static_cast<uintptr_t>(h)); }

}  // namespace

uint32_t ProcessModuleSource::ProgramModule() {
  HMODULE self = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&EnumerateModulesWithPsapi), &self);
  return Handle32(self ? self : GetModuleHandleA(nullptr));
}

std::optional<std::vector<uint32_t>> EnumerateModulesWithPsapi() {
  auto enum_modules = GetProc<decltype(&EnumProcessModules)>("psapi.dll", "EnumProcessModules");
  if (!enum_modules) return std::nullopt;
  UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, GetCurrentProcessId()));
  if (!process) return std::nullopt;
  std::vector<HMODULE> modules(256);
  for (;;) {
    DWORD needed = 0;
    const auto bytes = static_cast<DWORD>(modules.size() * sizeof(HMODULE));
    if (!enum_modules(process.get(), modules.data(), bytes, &needed)) return std::nullopt;
    if (needed <= bytes) {
      modules.resize(needed / sizeof(HMODULE));
      break;
    }
    modules.resize(needed / sizeof(HMODULE) + 16);  // more modules than room: ask again
  }
  std::vector<uint32_t> out;
  for (HMODULE m : modules) out.push_back(Handle32(m));
  return out;
}

std::optional<std::vector<uint32_t>> EnumerateModulesWithToolHelp() {
  auto snapshot = GetProc<decltype(&CreateToolhelp32Snapshot)>("kernel32.dll", "CreateToolhelp32Snapshot");
  auto first = GetProc<decltype(&Module32First)>("kernel32.dll", "Module32First");
  auto next = GetProc<decltype(&Module32Next)>("kernel32.dll", "Module32Next");
  if (!snapshot || !first || !next) return std::nullopt;
  UniqueFile snap(snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId()));
  if (!snap) return std::nullopt;
  MODULEENTRY32 entry{};
  entry.dwSize = sizeof entry;
  std::vector<uint32_t> out;
  for (BOOL ok = first(snap.get(), &entry); ok; ok = next(snap.get(), &entry))
    out.push_back(Handle32(entry.hModule));
  return out;
}

std::optional<std::vector<uint32_t>> ProcessModuleSource::EnumerateModules() {
  if (auto psapi = EnumerateModulesWithPsapi()) return psapi;
  return EnumerateModulesWithToolHelp();
}

std::optional<std::string> ProcessModuleSource::ModuleFileName(uint32_t handle) {
  char path[MAX_PATH + 1];
  const DWORD n = GetModuleFileNameA(ModuleOf(handle), path, sizeof path);
  if (n == 0 || n >= sizeof path) return std::nullopt;
  return std::string(path, n);
}

std::optional<ModuleSource::FileFacts> ProcessModuleSource::FileFactsOf(const std::string& path) {
  // The file's own attributes, not a directory search for its name: the same facts for one query,
  // where a search opens and reads the module's folder (system32 under Wine: a millisecond a module,
  // at every report for every listed module).
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  FileFacts facts;
  facts.size = data.nFileSizeLow;
  FILETIME local{};
  WORD date = 0, time = 0;
  if (FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) && FileTimeToDosDateTime(&local, &date, &time))
    facts.dos_time = uint32_t{date} << 16 | time;
  return facts;
}

ModuleSource::VersionFacts ProcessModuleSource::VersionOf(const std::string& path) {
  VersionFacts facts;
  // version.dll is looked up when first needed, so that a program that never reports does not load it.
  auto size_of = GetProc<decltype(&GetFileVersionInfoSizeA)>("version.dll", "GetFileVersionInfoSizeA");
  auto info_of = GetProc<decltype(&GetFileVersionInfoA)>("version.dll", "GetFileVersionInfoA");
  auto query = GetProc<decltype(&VerQueryValueA)>("version.dll", "VerQueryValueA");
  if (!size_of || !info_of || !query) return facts;
  DWORD ignored = 0;
  const DWORD size = size_of(path.c_str(), &ignored);
  if (size == 0) return facts;
  std::string block(size, '\0');
  if (!info_of(path.c_str(), 0, size, block.data())) return facts;
  void* value = nullptr;
  UINT length = 0;
  if (query(block.data(), "\\VarFileInfo\\Translation", &value, &length) && length >= 4) {
    const auto* words = static_cast<const WORD*>(value);
    char key[64];
    std::snprintf(key, sizeof key, "\\StringFileInfo\\%04X%04X\\FileDescription", words[0], words[1]);
    if (query(block.data(), key, &value, &length) && length > 0)
      facts.description = std::string(static_cast<const char*>(value), strnlen(static_cast<const char*>(value), length));
  }
  if (query(block.data(), "\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    facts.numbers = {HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                     LOWORD(fixed->dwFileVersionLS)};
  }
  return facts;
}

ModuleBlock ProcessModuleSource::ReadBlock(uint32_t handle, const std::string& path, TReportModuleOptions& options) {
  // The program's own record is made before its first window; its line data waits for a report.
  return ReadModuleOptionsBlock(ModuleOf(handle), path, options, /*defer_debug_data=*/true);
}

}  // namespace sondrel
