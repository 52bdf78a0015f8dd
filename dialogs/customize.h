#pragma once
// The Customize dialog's changes to the model: one slot of one tab gets a catalogue entry, a custom
// entry, or nothing. Each change is made at once and in place; nothing is written to disk here.
#include <string>
#include <string_view>

#include "model/UGeneral.h"

namespace sondrel {

// How the dialogs show a slot without an entry that can be shown.
inline constexpr char kNotAssignedRow[] = "(Not asigned)";
inline constexpr char kSelectEntryMessage[] = "Please select an entry to modify or clear.";
// The caption of the Customize dialog's title label is this followed by the tab's name.
inline constexpr char kTabTitlePrefix[] = "Tab Title:  ";
// The caption of a sub-dialog's entry-name label is this followed by the slot's row text.
inline constexpr char kEntryNamePrefix[] = "Entry name:  ";

// The entry list's row for a slot whose main-window box has this caption and state: the caption with
// blanks and control characters removed at both ends when trimmed is set, as it is, otherwise.
std::string EntryRowText(const std::string& box_caption, bool box_enabled, bool trimmed);

// The Description of the first catalogue row with this code (letter case ignored), or "".
std::string BuiltInDescription(const TSearchManager& model, std::string_view code);

// A catalogue entry for the slot: a new, unticked 'B' entry appended under the slot's key, or the
// entry already there turned into one with this code, keeping its texts, place and ticked state.
void AssignBuiltIn(TSearchManager& model, int tab, int slot, const std::string& code);

// What the custom entry dialog gives back: the description as typed and the two address parts.
struct TCustomEntryTexts {
  std::string description;
  std::string leading;
  std::string post;
};
// A custom entry for the slot: a new, unticked 'C' entry appended under the slot's key, or the entry
// already there turned into one (its code cleared, its texts replaced), keeping its ticked state.
void AssignCustom(TSearchManager& model, int tab, int slot, const TCustomEntryTexts& texts);

// Removes the first entry under the slot's key; the tab's other entries keep their orders. False
// when there was none (a slot of 0, no selection, never has one).
bool ClearEntry(TSearchManager& model, int tab, int slot);

}  // namespace sondrel
