#pragma once
// The ways of sending a report under Windows: SMTP over Winsock with the progress dialog, the mail
// client's Simple MAPI library and its "mailto:" handler.
#include <windows.h>

#include "errorreport/delivery/mail_client.h"
#include "errorreport/delivery/send_report.h"

namespace sondrel {

class Win32MailChannels final : public MailChannels {
 public:
  // record: the reporter's last error; gui_program: whether a progress dialog may be shown;
  // templates: the module holding the progress dialog's template (null: the reporter's own).
  Win32MailChannels(LastErrorRecorder record, bool gui_program, HMODULE templates = nullptr)
      : record_(std::move(record)), gui_program_(gui_program), templates_(templates) {}
  bool SendSmtp(const TReportModuleOptions& options, const StringList& attachments, const std::string& body) override;
  bool SendMapi(const std::string& recipients, const std::string& subject, const std::string& body,
                const StringList& attachments) override;
  bool SendMailto(const std::string& recipients, const std::string& subject, const std::string& body,
                  const std::string& report) override;

 private:
  LastErrorRecorder record_;
  bool gui_program_;
  HMODULE templates_;
};

// The folder for temporary files, with a final backslash.
std::string TemporaryFolder();

}  // namespace sondrel
