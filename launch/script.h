#pragma once
// The script that drives one browser window through its automation object: one navigation line per
// address, then the declarations before them and the line that shows the window after them.
#include <string>
#include <string_view>

#include "base/text.h"

namespace sondrel {

inline constexpr char kScriptFileName[] = "sites.js";
inline constexpr char kBackgroundFlag[] = ", navOpenInBackgroundTab";

// A double-quoted script string literal that evaluates to exactly these bytes: the quote and the
// backslash are escaped, control bytes (and DEL) become \xHH; bytes from 128 up stay as they are, since
// the script file is read in the same ANSI code page the address was built in.
std::string JScriptStringLiteral(std::string_view text);

// oIE.Navigate2(<address literal>, navOpenInBackgroundTab);  or  oIE.Navigate2(<address literal>);
std::string NavigateLine(std::string_view address, bool background_tabs);

// Completes the navigation lines (already in their final order) into the whole script: in background-tab
// mode the first line loses its flag, so the first address opens in the window itself, and the flag's
// declaration goes first; the object's creation goes before everything; the line that shows the window
// goes last.
StringList CompleteScript(StringList navigate_lines, bool background_tabs);

// The lines joined, each ending in CR LF, as the file holds them.
std::string ScriptFileText(const StringList& lines);

}  // namespace sondrel
