#include "base/file.h"

namespace sondrel {
namespace {
size_t LastSeparator(std::string_view path) { return path.find_last_of("\\/:"); }
}  // namespace

std::string ExtractFilePath(std::string_view path) {
  size_t p = LastSeparator(path);
  return p == std::string_view::npos ? std::string() : std::string(path.substr(0, p + 1));
}

std::string ExtractFileName(std::string_view path) {
  size_t p = LastSeparator(path);
  return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

std::string ExtractFileExt(std::string_view path) {
  size_t p = path.find_last_of("\\/:.");
  return p != std::string_view::npos && path[p] == '.' ? std::string(path.substr(p)) : std::string();
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  size_t p = path.find_last_of("\\/:.");
  std::string_view stem = p != std::string_view::npos && path[p] == '.' ? path.substr(0, p) : path;
  return std::string(stem) + std::string(ext);
}

std::string IncludeBackslash(std::string_view path) {
  std::string r(path);
  if (!r.empty() && r.back() != '\\') r += '\\';
  return r;
}

}  // namespace sondrel
