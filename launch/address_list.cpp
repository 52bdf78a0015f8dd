#include "launch/address_list.h"

#include "launch/url_encode.h"

namespace sondrel {

bool IsSearchableKeyword(std::string_view keyword) {
  return !Trim(keyword).empty();
}

std::string SearchAddress(const AddressParts& parts, std::string_view keyword) {
  return parts.leading + UrlEncode(keyword) + parts.post;
}

StringList BuildAddressList(std::string_view keyword, int tab, const SlotStates& ticked,
                            const EntryResolver& resolve) {
  StringList addresses;
  for (int slot = 1; slot <= kSlotsPerTab; ++slot) {
    if (!ticked[slot - 1]) continue;
    if (std::optional<AddressParts> parts = resolve(tab, slot))
      addresses.push_back(SearchAddress(*parts, keyword));
  }
  return addresses;
}

}  // namespace sondrel
