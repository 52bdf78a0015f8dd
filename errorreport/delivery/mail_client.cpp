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

std::string MailtoCommandLine(const std::string& command, const std::string& address) {
  return ReplaceAll(command, "%1", address);
}

}  // namespace sondrel
