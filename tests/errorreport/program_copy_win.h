#pragma once
// A copy of Sondrel.exe in a folder of its own, with its options block rewritten through the
// system's resource updater, and the per-user data files kept as they were.
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "errorreport/delivery/report_options.h"

namespace sondrel::test {

// Copies Sondrel.exe and its default data files into folder and rewrites the copy's block with the
// options as edit leaves them. False, with the reason in why, when any step fails.
bool PrepareProgramCopy(const std::string& folder, const std::function<void(TReportModuleOptions&)>& edit,
                        std::string& why);

// The per-user data folder's files as they were before the test, put back afterwards.
class KeepDataFolder {
 public:
  KeepDataFolder();
  ~KeepDataFolder();
  KeepDataFolder(const KeepDataFolder&) = delete;
  KeepDataFolder& operator=(const KeepDataFolder&) = delete;
  const std::string& Path() const { return folder_; }

 private:
  std::string folder_;
  std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace sondrel::test
