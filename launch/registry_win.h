#pragma once
// The system registry behind RegistryReader: keys opened for querying only, nothing written.
#include "launch/default_browser.h"

namespace sondrel {

class Win32RegistryReader final : public RegistryReader {
 public:
  // An expandable-string value comes back with its environment references expanded, since the
  // program path it names is handed to the shell as it is.
  std::optional<std::string> ReadString(RegistryRoot root, const std::string& key,
                                        const std::string& name) const override;
};

}  // namespace sondrel
