#include "errorreport/delivery/smtp_message.h"

#include "base/file.h"
#include "errorreport/delivery/base64.h"

namespace sondrel {

StringList SplitRecipients(std::string_view recipients) {
  std::string list = Trim(recipients);
  if (!list.empty() && list.back() != ',' && list.back() != ';') list += ',';
  StringList out;
  size_t start = 0;
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i] != ',' && list[i] != ';') continue;
    out.push_back(Trim(std::string_view(list).substr(start, i - start)));
    start = i + 1;
  }
  return out;
}

std::string DotStuff(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 64 + 4);
  bool line_start = true;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += "\r\n";
      line_start = true;
      continue;
    }
    if (line_start && c == '.') out += '.';
    line_start = false;
    out += c;
  }
  return out;
}

std::string AttachmentPart(std::string_view path, std::string_view bytes) {
  const std::string name = ExtractFileName(path);
  const std::string type = UpperCase(ExtractFileExt(path)) == ".PNG" ? "image/png" : "application/octet-stream";
  return std::string("\r\n--") + kMimeBoundary + "\r\nContent-Type: " + type + ";\r\n        name=\"" + name +
         "\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment;\r\n        filename=\"" + name +
         "\"\r\n\r\n" + EncodeBase64Lines(bytes);
}

std::string BuildSmtpMessage(const SmtpMessage& m) {
  std::string text = "Date: " + m.date + "\r\nFrom: <" + m.sender + ">\r\nSubject: " + m.subject + "\r\nTo: <" + m.to +
                     ">\r\nContent-Type: multipart/mixed; boundary=\"" + kMimeBoundary +
                     "\";\r\nMIME-Version: 1.0\r\nX-Priority: 1\r\nX-Library: ErrorReport 4.6\r\n\r\n" +
                     "This is a multi-part message in MIME format\r\n\r\n--" + kMimeBoundary +
                     "\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: 7bit\r\n\r\n" + m.body + "\r\n";
  for (const std::string& path : m.attachments) {
    if (Trim(path).empty() || !FileExists(path)) continue;
    // A file that exists but cannot be read is left out like a missing one: the mail still carries
    // the rest of the report.
    if (auto bytes = ReadFileBytes(path)) text += AttachmentPart(path, *bytes);
  }
  text += std::string("--") + kMimeBoundary + "--\r\n";
  return DotStuff(text) + ".";
}

}  // namespace sondrel
