#pragma once
// The system side of a search: the registry, the program's folder, the script file and the shell.
#include "launch/run_search.h"

namespace sondrel {

class Win32LaunchPlatform : public LaunchPlatform {
 public:
  std::string IEVersion() override;
  std::string ProgramFolder() override;
  void WriteTextFile(const std::string& path, std::string_view text) override;
  void ShellOpen(const std::string& file, const std::string& parameters) override;
  void Wait(unsigned milliseconds) override;
  IndexDraw NewDraw() override;
};

// The main window's search with the system's own side.
void RunSearch(SearchForm& form, TSearchManager& manager, const std::string& default_browser);

}  // namespace sondrel
