// Outside Windows there are no modules sharing one process: the program is the only module, and its
// "mapping" is a named block in process memory. This keeps the publishing logic runnable in the
// native tests with the same interface.
#include <unistd.h>

#include <map>
#include <mutex>

#include "errorreport/delivery/options_mapping.h"

namespace sondrel {
namespace {

std::mutex g_lock;
std::map<std::string, std::string>& Blocks() {
  static std::map<std::string, std::string> blocks;
  return blocks;
}

std::string ProgramFile() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

std::string OwnName() { return OptionsMappingName(static_cast<uint32_t>(getpid()), SubsystemModuleHandle()); }

}  // namespace

uintptr_t SubsystemModuleHandle() { return 0x00400000; }
std::string SubsystemModuleFileName() { return ProgramFile(); }

bool IsSubsystemModuleFile(const std::string& module_file_name) {
  return !module_file_name.empty() && module_file_name == SubsystemModuleFileName();
}

void PublishSubsystemOptions(std::string_view payload) {
  std::lock_guard<std::mutex> lock(g_lock);
  Blocks()[OwnName()] = EncodeOptionsMapping(payload);
}

void CreateSubsystemOptionsMapping() { PublishSubsystemOptions(std::string(1, '\0')); }

void CloseSubsystemOptionsMapping() {
  std::lock_guard<std::mutex> lock(g_lock);
  Blocks().erase(OwnName());
}

std::optional<std::string> ReadModuleOptionsMapping(uintptr_t module_handle) {
  std::lock_guard<std::mutex> lock(g_lock);
  auto it = Blocks().find(OptionsMappingName(static_cast<uint32_t>(getpid()), module_handle));
  if (it == Blocks().end()) return std::nullopt;
  auto payload = DecodeOptionsMapping(it->second);
  if (!payload) return std::nullopt;
  return std::string(*payload);
}

}  // namespace sondrel
