#include <windows.h>

#include <cstring>
#include <mutex>

#include "base/handle_win.h"
#include "errorreport/delivery/options_mapping.h"

namespace sondrel {
namespace {

// The reporter module's own mapping stays open for the life of the process (or until replaced), so
// that other modules can open it by name.
struct OwnMapping {
  std::mutex lock;
  UniqueHandle mapping;
};
// Built on first use: the reporter makes its mapping while it installs itself, before this file's
// own static objects would be initialised (a plain static handle would then be reset afterwards and
// the mapping kept open for ever), and closes it after they would be gone.
OwnMapping& Own() {
  static OwnMapping own;
  return own;
}

HMODULE OwnModule() {
  HMODULE h = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&OwnModule), &h);
  return h;
}

std::string NameFor(uintptr_t module) { return OptionsMappingName(GetCurrentProcessId(), module); }

// Bytes of the view that are actually mapped: a mapping that already existed may be smaller than
// asked for, and its stored size may lie.
size_t ViewSize(const void* view) {
  MEMORY_BASIC_INFORMATION mbi{};
  if (!VirtualQuery(view, &mbi, sizeof mbi)) return 0;
  return mbi.RegionSize;
}

}  // namespace

uintptr_t SubsystemModuleHandle() { return reinterpret_cast<uintptr_t>(OwnModule()); }

std::string SubsystemModuleFileName() {
  char buf[MAX_PATH + 1];
  DWORD n = GetModuleFileNameA(OwnModule(), buf, MAX_PATH);
  return std::string(buf, n);
}

bool IsSubsystemModuleFile(const std::string& module_file_name) {
  HMODULE h = GetModuleHandleA(module_file_name.c_str());
  return h != nullptr && h == OwnModule();
}

void PublishSubsystemOptions(std::string_view payload) {
  const std::string content = EncodeOptionsMapping(payload);
  std::lock_guard<std::mutex> lock(Own().lock);
  Own().mapping.reset();
  UniqueHandle m(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                    static_cast<DWORD>(content.size()), NameFor(SubsystemModuleHandle()).c_str()));
  if (!m) return;
  // When a reader still holds the old mapping open, the name yields that one with its old size.
  UniqueView view(MapViewOfFile(m.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
  if (!view || ViewSize(view.get()) < content.size()) return;
  std::memcpy(view.get(), content.data(), content.size());
  Own().mapping = std::move(m);
}

void CreateSubsystemOptionsMapping() { PublishSubsystemOptions(std::string(1, '\0')); }

void CloseSubsystemOptionsMapping() {
  std::lock_guard<std::mutex> lock(Own().lock);
  Own().mapping.reset();
}

std::optional<std::string> ReadModuleOptionsMapping(uintptr_t module_handle) {
  // Opened only: a module that never published has no mapping, and reading must not create one.
  UniqueHandle m(OpenFileMappingA(FILE_MAP_READ, FALSE, NameFor(module_handle).c_str()));
  if (!m) return std::nullopt;
  UniqueView view(MapViewOfFile(m.get(), FILE_MAP_READ, 0, 0, 0));
  if (!view) return std::nullopt;
  auto payload = DecodeOptionsMapping(std::string_view(static_cast<const char*>(view.get()), ViewSize(view.get())));
  if (!payload) return std::nullopt;
  return std::string(*payload);
}

}  // namespace sondrel
