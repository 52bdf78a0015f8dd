#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "base/exception.h"
#include "base/file.h"

namespace sondrel {

std::optional<std::string> ReadFileBytes(const std::string& path) { return ReadFileBytes(path, nullptr); }

std::optional<std::string> ReadFileBytes(const std::string& path, unsigned long* error) {
  auto fail = [error](int code) -> std::optional<std::string> {
    if (error) *error = static_cast<unsigned long>(code ? code : EIO);
    return std::nullopt;
  };
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail(errno);
  // A folder opens like a file here, and only reading it fails.
  struct stat st{};
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return fail(EISDIR);
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad()) return fail(errno);
  return s.str();
}

bool PathExists(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0;
}

bool FileExists(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  if (p.empty()) return false;
  if (DirectoryExists(p)) return true;
  std::string parent = ExtractFilePath(p);
  if (parent.size() > 1 && !ForceDirectories(parent)) return false;
  return mkdir(p.c_str(), 0777) == 0 || DirectoryExists(p);
}

bool DeleteFileAt(const std::string& path) { return unlink(path.c_str()) == 0; }

bool CopyFileTo(const std::string& from, const std::string& to) {
  auto bytes = ReadFileBytes(from);
  if (!bytes) return false;
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  out.write(bytes->data(), static_cast<std::streamsize>(bytes->size()));
  return static_cast<bool>(out);
}

void WriteFileAtomic(const std::string& path, std::string_view bytes) {
  const std::string temp = path + ".tmp";
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) RaiseLastOSError();
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) {
      int err = errno;
      close(fd);
      unlink(temp.c_str());
      RaiseOSError(static_cast<unsigned long>(err));
    }
    done += static_cast<size_t>(n);
  }
  if (fsync(fd) != 0 || close(fd) != 0) {
    int err = errno;
    unlink(temp.c_str());
    RaiseOSError(static_cast<unsigned long>(err));
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    int err = errno;
    unlink(temp.c_str());
    RaiseOSError(static_cast<unsigned long>(err));
  }
}

}  // namespace sondrel
