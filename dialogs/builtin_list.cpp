#include "dialogs/builtin_list.h"

namespace sondrel {

TBuiltInRows FillBuiltInRows(const TKeyedList<TBuiltIn>& catalogue, const std::string& category,
                             int category_index) {
  TBuiltInRows rows;
  for (const auto& pair : catalogue) {
    const TBuiltIn& row = *pair.object;
    if (category_index != 0 && row.Category != category) continue;
    rows.texts.push_back(row.Description + " (" + row.Category + ")");
    rows.codes.push_back(row.Code);
  }
  return rows;
}

}  // namespace sondrel
