#pragma once
// The first half of a search: the keyword check and the list of search addresses, one per ticked slot
// whose entry resolves, in slot order.
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/text.h"

namespace sondrel {

inline constexpr int kSlotsPerTab = 10;
using SlotStates = std::array<bool, kSlotsPerTab>;  // [0] is slot 1

inline constexpr char kNoKeywordMessage[] = "A valid input search is required!";
inline constexpr char kNoSearchEngineMessage[] = "You need to select at least one search engine!";

// The two halves of a search address around the keyword, as stored (never encoded).
struct AddressParts {
  std::string leading;
  std::string post;
};

// Gives the address halves of the entry in a slot of a tab, or nullopt when the slot has no entry or
// the entry does not resolve (a catalogue entry whose code is not in the catalogue).
using EntryResolver = std::function<std::optional<AddressParts>(int tab, int slot)>;

// True when the keyword holds something besides bytes up to 32 at its ends; the search then goes on
// with the keyword untrimmed.
bool IsSearchableKeyword(std::string_view keyword);

// leading + UrlEncode(keyword) + post.
std::string SearchAddress(const AddressParts& parts, std::string_view keyword);

// One address per ticked slot 1..10 whose entry resolves, in slot order; unresolved slots are skipped
// without a message. Empty when nothing is ticked or nothing ticked resolves.
StringList BuildAddressList(std::string_view keyword, int tab, const SlotStates& ticked,
                            const EntryResolver& resolve);

}  // namespace sondrel
