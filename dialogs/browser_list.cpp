#include "dialogs/browser_list.h"

#include "base/text.h"
#include "dialogs/checks.h"

namespace sondrel {

bool IsListedBrowserLocation(std::string_view address) {
  // ".html" holds ".htm": one test covers both.
  if (address.find("file:") != std::string_view::npos && address.find(".htm") == std::string_view::npos)
    return false;
  return LowerCase(address).find(kPlaceholder) != std::string::npos;
}

}  // namespace sondrel
