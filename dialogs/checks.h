#pragma once
// What the customisation dialogs check when "Ok" is pressed, and the split of a search command at
// its placeholder. Texts are checked with leading and trailing blanks and control characters removed,
// but kept as typed.
#include <optional>
#include <string>
#include <string_view>

namespace sondrel {

// The word a search command holds where the keyword goes; found in any letter case.
inline constexpr char kPlaceholder[] = "stubtext";

inline constexpr char kDescriptionRequired[] = "A valid description is required!";
inline constexpr char kSearchCommandRequired[] = "A valid search command is required!";
inline constexpr char kPlaceholderRequired[] = "Enter a search command contain the text \"stubtext\"!";
inline constexpr char kTabTitleRequired[] = "A valid tab title is required!";

// The longest description of a custom entry and the longest tab name the edits take.
inline constexpr int kDescriptionMaxLength = 12;
inline constexpr int kTabNameMaxLength = 12;

// The search address text before and after the keyword.
struct TSearchCommandParts {
  std::string leading;
  std::string post;
};

// The first failing check's message for a custom entry, or nullopt when both texts pass.
std::optional<std::string> CheckCustomEntry(std::string_view description, std::string_view command);
// Splits the command as typed around the first placeholder (letters A to Z compared without regard to
// case); the placeholder belongs to neither part and a second one stays in the post part. nullopt when
// the command holds no placeholder.
std::optional<TSearchCommandParts> SplitSearchCommand(std::string_view command);
// The message for a tab name that is blank, or nullopt.
std::optional<std::string> CheckTabName(std::string_view name);

}  // namespace sondrel
