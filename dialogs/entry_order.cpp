#include "dialogs/entry_order.h"

#include <vector>

#include "dialogs/customize.h"

namespace sondrel {
namespace {

// New orders are first written this far above the slot range, so that no rewritten key can equal a
// key that has not been rewritten yet.
constexpr int kOrderOffset = 100;

}  // namespace

std::optional<int> MoveTarget(TEntryMove move, int index, int count) {
  if (index < 0 || index >= count) return std::nullopt;
  switch (move) {
    case TEntryMove::kTop:
      return index > 0 ? std::optional<int>(0) : std::nullopt;
    case TEntryMove::kUp:
      return index > 0 ? std::optional<int>(index - 1) : std::nullopt;
    case TEntryMove::kDown:
      return index < count - 1 ? std::optional<int>(index + 1) : std::nullopt;
    case TEntryMove::kBottom:
      return index < count - 1 ? std::optional<int>(count - 1) : std::nullopt;
  }
  return std::nullopt;
}

int MoveEntry(StringList& rows, StringList& slot_numbers, TEntryMove move, int index) {
  const std::optional<int> target = MoveTarget(move, index, static_cast<int>(rows.size()));
  if (!target) return index;
  const auto take = [index](StringList& list) {
    std::string item = std::move(list[static_cast<size_t>(index)]);
    list.erase(list.begin() + index);
    return item;
  };
  std::string row = take(rows), number = take(slot_numbers);
  rows.insert(rows.begin() + *target, std::move(row));
  slot_numbers.insert(slot_numbers.begin() + *target, std::move(number));
  return *target;
}

std::string OrderRowText(const TSearchManager& model, int tab, int slot) {
  const TSite* site = model.SiteAt(tab, slot);
  if (!site) return kNotAssignedRow;
  if (site->IsCustom()) return site->Description;
  const TBuiltIn* row = model.BuiltIns.Find(site->Code);
  return row ? row->Description : kNotAssignedRow;
}

void FillOrderRows(const TSearchManager& model, int tab, StringList& rows, StringList& slot_numbers) {
  rows.clear();
  slot_numbers.clear();
  for (int n = 1; n <= kSlotCount; ++n) {
    slot_numbers.push_back(std::to_string(n));
    rows.push_back(OrderRowText(model, tab, n));
  }
}

void ApplyEntryOrder(TSearchManager& model, int tab, const StringList& slot_numbers) {
  // Pass 2 takes back exactly the entries pass 1 moved up. Picking them out by an order above 90, as
  // the offset alone would suggest, would also catch an entry of any tab that a hand-edited file gave
  // such an order, and file it under this tab.
  std::vector<bool> renumbered(static_cast<size_t>(model.Sites.Count()), false);
  for (int p = 1; p <= kSlotCount && p <= static_cast<int>(slot_numbers.size()); ++p) {
    const int n = StrToIntDef(slot_numbers[static_cast<size_t>(p - 1)], 0);
    const int k = model.Sites.IndexOf(SiteKey(tab, n));
    if (n < 1 || k < 0) continue;
    model.Sites[k].Order = p + kOrderOffset;
    model.Sites.SetKey(k, SiteKey(tab, p + kOrderOffset));
    renumbered[static_cast<size_t>(k)] = true;
  }
  for (int k = 0; k < model.Sites.Count(); ++k) {
    if (!renumbered[static_cast<size_t>(k)]) continue;
    TSite& site = model.Sites[k];
    site.Order -= kOrderOffset;
    model.Sites.SetKey(k, SiteKey(tab, site.Order));
  }
}

}  // namespace sondrel
