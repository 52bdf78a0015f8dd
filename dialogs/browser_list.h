#pragma once
// Which addresses of open browser pages the browser-location import offers.
#include <string_view>

namespace sondrel {

// The message when no open page qualifies; its line breaks are line feed then carriage return.
inline constexpr char kNoBrowserPagesMessage[] =
    "No Internet Explorer pages were found with \"stubtext\" in their URL.\n\r"
    " Please do a search for \"stubtext\" and re-run this feature.\n\r"
    "This feature only imports from Internet Explorer.  If you are using a different browser, \n\r"
    "you will need to copy and paste the URL into the search command box.";
inline constexpr char kSelectUrlMessage[] = "Please select a URL.";

// True for a page address that holds the placeholder in any letter case, unless it is a local file
// ("file:", case-sensitive) that is not a web page (".htm" or ".html", case-sensitive): folder windows
// of the shell and other local files are left out.
bool IsListedBrowserLocation(std::string_view address);

}  // namespace sondrel
