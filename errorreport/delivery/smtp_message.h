#pragma once
// The mail the SMTP delivery sends: one multipart message with the mail body as its plain-text part
// and one base64 part per attached file, and the splitting of the recipient list.
#include <string>
#include <string_view>

#include "base/text.h"

namespace sondrel {

inline constexpr const char* kMimeBoundary = "=_xcjvnxkbhvfkxzhfdbvzldjhfv";

// The recipients of a list separated by "," or ";", each trimmed; empty pieces are kept. An empty
// list gives none.
StringList SplitRecipients(std::string_view recipients);

// Text as it goes between DATA and the final ".": every line ends in CR LF (a bare CR or LF becomes
// CR LF), and a line that begins with "." gets one more, so that no line of the message can end it.
std::string DotStuff(std::string_view text);

// The part of one attached file: its headers, then the file's base64 lines.
std::string AttachmentPart(std::string_view path, std::string_view bytes);

struct SmtpMessage {
  std::string date;  // date text of the moment, as the report writes it
  std::string sender;
  std::string subject;
  std::string to;
  std::string body;
  StringList attachments;  // paths; blank ones and missing or unreadable files are left out
};
// The whole message, dot-stuffed, ending in the line "." without its line break.
std::string BuildSmtpMessage(const SmtpMessage& m);

}  // namespace sondrel
