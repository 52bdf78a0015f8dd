#pragma once
// The report as a web program's answer: the HTML page and the HTTP header block that goes before it.
#include <cstddef>
#include <string>

namespace sondrel {

// The report as HTML text: markup characters escaped, each CR LF a "<br>", each blank "&nbsp;".
std::string WebHtmlText(const std::string& text);
// The page: the title, then header and text in a small fixed-width font.
std::string WebReportPage(const std::string& title, const std::string& header, const std::string& text);
// "Content-Type", "Content-Length" (the page's bytes) and the end of the block; a CGI or WinCGI
// answer starts with the status line "Status: 200 Error".
std::string WebResponseHeader(size_t page_length, bool status_line);

}  // namespace sondrel
