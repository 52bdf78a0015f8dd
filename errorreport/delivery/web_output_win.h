#pragma once
// Web programs: how the reporter recognises that it runs inside one (an ISAPI library, a CGI or
// WinCGI program) and answers the web client with the report as an HTML page instead of a dialog.
#include <string>

#include "errorreport/delivery/mail_client.h"

namespace sondrel {

// The module holding the reporter is a library that exports "HttpExtensionProc".
bool IsIsapiApplication();
// A console program with the variable REQUEST_METHOD in its environment.
bool IsCgiApplication();
// A program without console whose first argument names a WinCGI profile (at most 100 KiB) with a
// request method and an existing output file.
bool IsWinCgiApplication();
// The framework this needs has no C++ counterpart: always false.
bool IsIntraWebApplication();
bool IsWebApplication();
// Neither a web program nor a console program.
bool IsGuiApplication();

// Answers the web client with the page made of header and text (title: the dialog caption text).
// False, with eeShowError recorded, when it could not be written; false when this is no web program.
bool ShowWebReport(const std::string& header, const std::string& text, const std::string& title,
                   const LastErrorRecorder& record);
// Writes the page with its header block as the HTTP answer of the running kind of web program.
bool WriteWebResponse(const std::string& page, const LastErrorRecorder& record);

// Patches the module's "HttpExtensionProc", when it exports one, so that the request block of the
// request under way is known to WriteWebResponse. Undone with the other code patches.
void InstallHttpExtensionHook() noexcept;

}  // namespace sondrel
