#include "errorreport/delivery/web_output.h"

#include "base/text.h"

namespace sondrel {

// The report holds the exception's message, which a web program may have made from its request:
// written unescaped it could put markup or script into the page its client sees.
std::string WebHtmlText(const std::string& text) {
  std::string s = ReplaceAll(text, "&", "&amp;");
  s = ReplaceAll(s, "<", "&lt;");
  s = ReplaceAll(s, ">", "&gt;");
  s = ReplaceAll(s, "\"", "&quot;");
  s = ReplaceAll(s, "\r\n", "<br>");
  return ReplaceAll(s, " ", "&nbsp;");
}

std::string WebReportPage(const std::string& title, const std::string& header, const std::string& text) {
  return "<html><head><title>" + WebHtmlText(title) + "</title></head><body>" +
         "<p><small><font face=\"Lucida Console,Courier\">" + WebHtmlText(header + text) + "</font></small></p>" +
         "</body></html>";
}

std::string WebResponseHeader(size_t page_length, bool status_line) {
  return std::string(status_line ? "Status: 200 Error\r\n" : "") + "Content-Type: text/html\r\n" +
         "Content-Length: " + std::to_string(page_length) + "\r\n" + "Content:\r\n\r\n";
}

}  // namespace sondrel
