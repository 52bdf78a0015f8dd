#pragma once
// The user's mail client as the reporter reaches it: the pieces of the "mailto:" address and of the
// command that opens it, which need no system.
#include <functional>
#include <string>

#include "errorreport/capture/report_worker.h"

namespace sondrel {

// Records a failure as the reporter's last error, with its text as it stands.
using LastErrorRecorder = std::function<void(TReportErrorCode code, const std::string& text)>;

// Percent-encoding of the address: ASCII letters, digits, "-" and bytes from 128 up stay; every other
// byte becomes "%" and two upper-case hexadecimal digits.
std::string MailtoEncode(const std::string& text);

// "mailto:" + recipients as given + "?Subject=" + encoded subject + "&Body=" + encoded body, where the
// body is the given body, three line breaks and the report.
std::string MailtoAddress(const std::string& recipients, const std::string& subject, const std::string& body,
                          const std::string& report);

// The longest command line the system starts.
inline constexpr size_t kMaxCommandLine = 32766;

// The mail client's command with every "%1" (exact case) replaced by the address of MailtoAddress; a
// command without one is returned as it is. When the line would pass max_length, the report is cut
// at its end, as much as needed, so that the mail client still starts with the rest.
std::string MailtoCommandLine(const std::string& command, const std::string& recipients, const std::string& subject,
                              const std::string& body, const std::string& report,
                              size_t max_length = kMaxCommandLine);

}  // namespace sondrel
