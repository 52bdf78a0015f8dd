#pragma once
// The entry order dialog's list and moves, and the renumbering of a tab's entries to a new order.
#include <optional>
#include <string>

#include "base/text.h"
#include "model/UGeneral.h"

namespace sondrel {

inline constexpr char kOrderListTitle[] = "Select an entry and move up or down in list:";

enum class TEntryMove { kTop, kUp, kDown, kBottom };

// The row a move takes row `index` of `count` rows to, or nullopt when it changes nothing: the first
// row up or to the top, the last one down or to the bottom, and any move while no row (-1) is selected.
std::optional<int> MoveTarget(TEntryMove move, int index, int count);
// Moves the row and its slot number together to the move's target; returns the row to select
// afterwards (the moved row, or index unchanged when nothing moved). Both lists have the same length.
int MoveEntry(StringList& rows, StringList& slot_numbers, TEntryMove move, int index);

// The order list's row for a slot of a tab: a custom entry's description, a catalogue entry's
// catalogue description, or "(Not asigned)" for no entry or a code the catalogue lacks.
std::string OrderRowText(const TSearchManager& model, int tab, int slot);
// The ten rows of a tab and their slot numbers "1" to "10", in slot order.
void FillOrderRows(const TSearchManager& model, int tab, StringList& rows, StringList& slot_numbers);

// Gives the entry of slot slot_numbers[p-1] of the tab the order p (1 to 10), rewriting its key in the
// same step; a slot number without an entry leaves position p empty. Nothing else of the entries
// changes, and the entry list keeps its sequence.
void ApplyEntryOrder(TSearchManager& model, int tab, const StringList& slot_numbers);

}  // namespace sondrel
