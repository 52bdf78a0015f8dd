#include "errorreport/delivery/options_block_win.h"

#include "base/handle_win.h"
#include "errorreport/delivery/options_mapping.h"

namespace sondrel {
namespace {

bool ReadAt(HANDLE file, uint64_t offset, std::string& out, size_t size) {
  LARGE_INTEGER pos;
  pos.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(file, pos, nullptr, FILE_BEGIN)) return false;
  out.assign(size, '\0');
  size_t done = 0;
  while (done < size) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 20));
    if (!ReadFile(file, out.data() + done, want, &got, nullptr) || got == 0) return false;
    done += got;
  }
  return true;
}

}  // namespace

std::optional<ModuleBlock> ReadResourceOptionsBlock(HMODULE module, TReportModuleOptions& options,
                                                    bool defer_debug_data) {
  HRSRC res = FindResourceA(module, kOptionsResourceName, MAKEINTRESOURCEA(10) /* RT_RCDATA */);
  if (!res) return std::nullopt;
  HGLOBAL loaded = LoadResource(module, res);
  const DWORD size = SizeofResource(module, res);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return std::nullopt;
  return ReadResourceBlock(std::string_view(static_cast<const char*>(data), size), options, defer_debug_data);
}

std::optional<ModuleBlock> ReadTrailerOptionsBlock(const std::string& file_name, TReportModuleOptions& options) {
  UniqueFile file(CreateFileA(file_name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 8) return std::nullopt;
  const uint64_t file_size = static_cast<uint64_t>(size.QuadPart);
  std::string tail;
  if (!ReadAt(file.get(), file_size - 8, tail, 8)) return std::nullopt;
  auto length = TrailerBodyLength(tail, file_size);
  if (!length) return std::nullopt;
  std::string body;
  if (!ReadAt(file.get(), file_size - 8 - *length, body, *length)) return std::nullopt;
  return ReadTrailerBody(body, options);
}

ModuleBlock ReadModuleOptionsBlock(HMODULE module, const std::string& file_name, TReportModuleOptions& options,
                                   bool defer_debug_data) {
  auto block = ReadResourceOptionsBlock(module, options, defer_debug_data);
  // An unsound resource counts as none, so a sound trailer still gets its chance.
  if (!block) block = ReadTrailerOptionsBlock(file_name, options);
  if (!block) return ModuleBlock{};
  const uintptr_t handle = reinterpret_cast<uintptr_t>(module);
  if (handle != SubsystemModuleHandle()) {
    if (auto published = ReadModuleOptionsMapping(handle)) ApplyPublishedOptions(*published, block->version, options);
  }
  return *block;
}

}  // namespace sondrel
