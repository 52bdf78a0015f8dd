#pragma once
// Helpers for single-byte ANSI text. Letter case is folded for ASCII letters only, so that results do
// not depend on the user's code page (keys and codes in the data files are ASCII).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sondrel {

using StringList = std::vector<std::string>;

// Removes leading and trailing blanks and control characters (every byte up to 0x20).
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
std::string LowerCase(std::string_view s);
std::string UpperCase(std::string_view s);
bool SameText(std::string_view a, std::string_view b);
bool StartsText(std::string_view prefix, std::string_view s);  // letter case ignored
// Position of the first case-insensitive occurrence of needle, or npos.
size_t FindText(std::string_view haystack, std::string_view needle);

// Parses a whole string as a decimal integer with an optional sign, or "0x"/"$" hexadecimal;
// blanks around it are not allowed. nullopt on anything else or on overflow.
std::optional<int32_t> TryStrToInt(std::string_view s);
int32_t StrToIntDef(std::string_view s, int32_t def);

std::string ReplaceAll(std::string s, std::string_view from, std::string_view to);
// Splits at every occurrence of sep; an empty input gives one empty field.
StringList Split(std::string_view s, char sep);
// Splits text into lines at CR LF, LF or CR; a final line break does not add an empty line.
StringList SplitLines(std::string_view s);
std::string Join(const StringList& parts, std::string_view sep);

}  // namespace sondrel
