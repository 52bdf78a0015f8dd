#include "desktop/help.h"

namespace sondrel {

std::string HtmlHelpLibraryPath(const RegistryReader& registry,
                                const std::function<bool(const std::string&)>& file_exists) {
  std::string path = registry.ReadString(RegistryRoot::ClassesRoot, kHtmlHelpServerKey, "").value_or("");
  if (!path.empty() && !file_exists(path)) path.clear();
  return path;
}

std::string HelpFilePath(std::string_view program_folder) { return std::string(program_folder) + kHelpFileName; }

}  // namespace sondrel
