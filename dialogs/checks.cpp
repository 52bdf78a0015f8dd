#include "dialogs/checks.h"

#include "base/text.h"

namespace sondrel {

std::optional<std::string> CheckCustomEntry(std::string_view description, std::string_view command) {
  if (Trim(description).empty()) return kDescriptionRequired;
  if (Trim(command).empty()) return kSearchCommandRequired;
  if (!SplitSearchCommand(command)) return kPlaceholderRequired;
  return std::nullopt;
}

std::optional<TSearchCommandParts> SplitSearchCommand(std::string_view command) {
  // LowerCase folds A to Z only, so positions in the folded text are positions in the command.
  const std::string_view placeholder = kPlaceholder;
  const size_t at = LowerCase(command).find(placeholder);
  if (at == std::string::npos) return std::nullopt;
  return TSearchCommandParts{std::string(command.substr(0, at)),
                             std::string(command.substr(at + placeholder.size()))};
}

std::optional<std::string> CheckTabName(std::string_view name) {
  if (Trim(name).empty()) return kTabTitleRequired;
  return std::nullopt;
}

}  // namespace sondrel
