#pragma once
// The small text file from which the build sets the reporting options it writes into a program:
// one "Name = value" per line, '#' starts a comment line. Names are the option names
// (SendMode, MailRecipients, ...); "Text.<index>" sets a text; "Filter = Class|Message" adds a filter
// entry. In values, \r, \n, \t and \\ are escapes. Booleans are true/false or 1/0; SendMode takes
// rsNone..rsSmtpDirect or a number; numbers may be decimal or 0x hexadecimal.
#include <string>
#include <string_view>

#include "errorreport/delivery/report_options.h"

namespace sondrel::tools {

// Applies every line to options; raises std::runtime_error naming the first bad line.
void ApplyOptionsText(std::string_view text, TReportModuleOptions& options);

}  // namespace sondrel::tools
