#pragma once
// Which program opens web addresses, read from the registry through a small reader so that the rule
// can be exercised without a registry.
#include <optional>
#include <string>
#include <string_view>

namespace sondrel {

enum class RegistryRoot { ClassesRoot, CurrentUser, LocalMachine };

class RegistryReader {
 public:
  virtual ~RegistryReader() = default;
  // A string value ("" names the key's default value); nullopt when the key cannot be opened for
  // reading, the value is missing or is not a string.
  virtual std::optional<std::string> ReadString(RegistryRoot root, const std::string& key,
                                                const std::string& name) const = 0;
};

inline constexpr char kHttpOpenCommandKey[] = "http\\shell\\open\\command";
inline constexpr char kUserChoiceKey[] =
    "Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoice";
inline constexpr char kInternetExplorerKey[] = "Software\\Microsoft\\Internet Explorer";

// The program path of a registered open command: lower-cased (A to Z only), cut after the first
// ".exe", double quotes removed. Empty when the command is empty or names no ".exe" program.
std::string BrowserPathFromCommand(std::string_view command);

// The default browser's program path, lower case and without quotes, or empty when none is
// registered. The user's recorded choice of handler for http addresses wins over the class's own open
// command, which systems keep for compatibility and often leave stale.
std::string DetectDefaultBrowser(const RegistryReader& registry);

// The "Version" value of the browser whose window the script drives; empty when missing.
std::string ReadIEVersion(const RegistryReader& registry);
// Version 7 exactly by its first character; 8 and anything else give the plain mode.
bool IsIE7Version(std::string_view version);
// The script path is taken when the default browser's path contains "iexplore".
bool IsInternetExplorer(std::string_view browser_path);

}  // namespace sondrel
