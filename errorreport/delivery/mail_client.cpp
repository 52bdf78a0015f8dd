#include "errorreport/delivery/mail_client.h"

#include "base/text.h"

namespace sondrel {

std::string MailtoEncode(const std::string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 3);
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c >= 128) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string MailtoAddress(const std::string& recipients, const std::string& subject, const std::string& body,
                          const std::string& report) {
  return "mailto:" + recipients + "?Subject=" + MailtoEncode(subject) + "&Body=" +
         MailtoEncode(body + "\r\n\r\n\r\n" + report);
}

// A report of some tens of kilobytes, percent-encoded, is far longer than a command line may be: the
// whole line would fail to start and the user would see no mail at all.
std::string MailtoCommandLine(const std::string& command, const std::string& recipients, const std::string& subject,
                              const std::string& body, const std::string& report, size_t max_length) {
  auto line = [&](size_t kept) {
    return ReplaceAll(command, "%1", MailtoAddress(recipients, subject, body, report.substr(0, kept)));
  };
  std::string whole = line(report.size());
  if (whole.size() <= max_length) return whole;
  // The longest beginning of the report that fits.
  size_t fits = 0, too_long = report.size();
  while (too_long - fits > 1) {
    const size_t mid = fits + (too_long - fits) / 2;
    (line(mid).size() <= max_length ? fits : too_long) = mid;
  }
  return line(fits);
}

}  // namespace sondrel
