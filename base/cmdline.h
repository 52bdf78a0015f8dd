#pragma once
// Command lines as the Windows C runtime and CommandLineToArgvW parse them.
#include <string>
#include <string_view>

#include "base/text.h"

namespace sondrel {

// Quotes one argument so that the receiving program's parser gives it back unchanged: left as it is
// when it holds no blank, tab or quote and is not empty; otherwise in double quotes, with each quote
// escaped and the backslashes before a quote (or before the closing quote) doubled.
std::string QuoteArg(std::string_view arg);

// Splits a command line into arguments by the same rules (the reverse of QuoteArg), for the first
// argument too; used where the program reads command lines it did not make.
StringList ParseCommandLine(std::string_view line);

}  // namespace sondrel
