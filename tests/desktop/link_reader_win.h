#pragma once
// Test helper: reads a shell link file back through the shell's own link object.
#include <string>

namespace sondrel::test {

struct LinkContents {
  std::string target;
  std::string working_folder;
  std::string arguments;
};

// Loads the link file; throws std::runtime_error when it cannot be loaded.
LinkContents ReadShellLink(const std::string& link_path);

}  // namespace sondrel::test
