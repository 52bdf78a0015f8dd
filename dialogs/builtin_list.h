#pragma once
// The built-in picker's lists: the fixed categories and the catalogue rows one of them shows.
#include <array>
#include <string>

#include "base/text.h"
#include "model/UGeneral.h"

namespace sondrel {

// Row 0 means no filter; the others are compared with a row's Category exactly.
inline constexpr std::array<const char*, 8> kBuiltInCategories = {
    "All categories", "Web", "Images", "Videos", "News", "Blogs", "Shopping", "Music"};

inline constexpr char kNoBuiltInToChoose[] = "There is no built-in search to choose in this category.";

// The rows shown for a category and, at the same index, the code of each row's catalogue entry.
struct TBuiltInRows {
  StringList texts;  // Description + " (" + Category + ")"
  StringList codes;
};

// Every catalogue row, in catalogue order, whose Category equals the category's text exactly (letter
// case and all), or every row when category_index is 0; neither sorted nor de-duplicated.
TBuiltInRows FillBuiltInRows(const TKeyedList<TBuiltIn>& catalogue, const std::string& category,
                             int category_index);

}  // namespace sondrel
