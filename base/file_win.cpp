#include <windows.h>

#include "base/exception.h"
#include "base/file.h"
#include "base/handle_win.h"

namespace sondrel {

std::optional<std::string> ReadFileBytes(const std::string& path) { return ReadFileBytes(path, nullptr); }

std::optional<std::string> ReadFileBytes(const std::string& path, unsigned long* error) {
  auto fail = [error](DWORD code) -> std::optional<std::string> {
    if (error) *error = code;
    return std::nullopt;
  };
  UniqueFile f(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) return fail(GetLastError());
  LARGE_INTEGER size;
  if (!GetFileSizeEx(f.get(), &size)) return fail(GetLastError());
  if (size.QuadPart > 0x7FFFFFFF) return fail(ERROR_FILE_TOO_LARGE);
  std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
  DWORD done = 0;
  if (!bytes.empty() && !ReadFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr))
    return fail(GetLastError());
  if (done != bytes.size()) return fail(ERROR_READ_FAULT);
  return bytes;
}

bool PathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool FileExists(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool ForceDirectories(const std::string& path) {
  std::string p = path;
  while (!p.empty() && (p.back() == '\\' || p.back() == '/')) p.pop_back();
  if (p.empty()) return false;
  if (DirectoryExists(p)) return true;
  std::string parent = ExtractFilePath(p);
  // Stop at a drive ("C:\") or a bare name; those either exist or cannot be made.
  if (!parent.empty() && parent.size() > 3 && !ForceDirectories(parent)) return false;
  return CreateDirectoryA(p.c_str(), nullptr) || DirectoryExists(p);
}

bool DeleteFileAt(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

bool CopyFileTo(const std::string& from, const std::string& to) { return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0; }

void WriteFileAtomic(const std::string& path, std::string_view bytes) {
  // The temporary file sits in the same folder so that the final move is a rename on one volume.
  const std::string temp = path + ".tmp";
  {
    UniqueFile f(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f) RaiseLastOSError();
    DWORD done = 0;
    bool ok = bytes.empty() ||
              (WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) && done == bytes.size());
    ok = ok && FlushFileBuffers(f.get());
    if (!ok) {
      DWORD err = GetLastError();
      f.reset();
      DeleteFileA(temp.c_str());
      RaiseOSError(err ? err : ERROR_WRITE_FAULT);
    }
  }
  if (!MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DWORD err = GetLastError();
    DeleteFileA(temp.c_str());
    RaiseOSError(err);
  }
}

}  // namespace sondrel
