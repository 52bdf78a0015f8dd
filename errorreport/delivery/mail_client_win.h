#pragma once
// The user's mail client: its Simple MAPI library and its "mailto:" handler, both found through the
// registry.
#include <string>

#include "base/text.h"
#include "errorreport/delivery/mail_client.h"

namespace sondrel {

// Mails the message through the default mail client's Simple MAPI library (registered under
// HKLM\SOFTWARE\Clients\Mail, else "mapi32.dll"), without showing its compose window. Attachments
// that are empty or missing are left out. False when it did not go out: a missing library or
// function, a refused logon or send are recorded as eeEmailMAPIError; a recipient the client cannot
// resolve gives false with nothing recorded. system_library: the library tried when the client's own
// is not registered or does not load.
bool MapiSend(const std::string& recipients, const std::string& subject, const std::string& body,
              const StringList& attachments, const LastErrorRecorder& record,
              const char* system_library = "mapi32.dll");

// Starts the shell's "mailto:" handler with the address of MailtoAddress (the report goes after the
// body) and brings its main window forward. False, recorded as eeEmailShellError with the system's
// text, when the handler could not be started (also when none is registered).
bool MailtoSend(const std::string& recipients, const std::string& subject, const std::string& body,
                const std::string& report, const LastErrorRecorder& record);

}  // namespace sondrel
