#include "base/shell_folder_win.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

#include "base/file.h"
#include "base/handle_win.h"

namespace sondrel {

std::string GetSpecialFolder(int folder) {
  LPITEMIDLIST raw = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, folder, &raw)) || !raw) return {};
  UniqueCoTaskMem list(raw);
  // Larger than the shell ever fills; it writes at most MAX_PATH characters.
  std::vector<char> buf(4095, '\0');
  if (!SHGetPathFromIDListA(static_cast<LPITEMIDLIST>(list.get()), buf.data())) return {};
  return std::string(buf.data());
}

std::string ProgramFileName() {
  // Long paths are cut to the buffer without an error; grow until the whole path fits.
  for (DWORD size = MAX_PATH;; size *= 2) {
    std::vector<char> buf(size);
    DWORD n = GetModuleFileNameA(nullptr, buf.data(), size);
    if (n < size || size >= 65536) return std::string(buf.data(), n);
  }
}

std::string ProgramFolder() {
  return ExtractFilePath(ProgramFileName());
}

}  // namespace sondrel
