#include "errorreport/delivery/send_report_win.h"

#include <windows.h>

#include "base/file.h"
#include "errorreport/capture/report_screenshot_win.h"
#include "errorreport/delivery/mail_client_win.h"
#include "errorreport/delivery/send_progress_win.h"
#include "errorreport/delivery/smtp_send_win.h"

namespace sondrel {

bool Win32MailChannels::SendSmtp(const TReportModuleOptions& o, const StringList& attachments,
                                 const std::string& body) {
  StartSendProgress(o, gui_program_, templates_);
  TSendProgress progress;
  // While the dialog is open its user also sees each failure, since the dialog itself only says what
  // is being tried.
  auto record = [this](TReportErrorCode code, const std::string& section, const std::exception_ptr& e) {
    const std::string text = LastErrorText(section, e);
    if (record_) record_(code, text);
    if (code == eeEmailSMTPError && SendProgressWindow())
      MessageBoxA(nullptr, text.c_str(), "Error.", MB_OK | MB_ICONSTOP | MB_TASKMODAL | MB_TOPMOST);
  };
  return SendSmtpToAll(o.SendMode() == TReportSendMode::rsSmtpDirect, o.SenderAddress(), o.RelayHost(), attachments,
                       body, o.MailSubject(), o.MailRecipients(), o.RelayPassword(), o.RelayUser(), o.RelayPort(),
                       DefaultSmtpEnvironment(&o, &progress, record));
}

bool Win32MailChannels::SendMapi(const std::string& recipients, const std::string& subject, const std::string& body,
                                 const StringList& attachments) {
  return MapiSend(recipients, subject, body, attachments, record_);
}

bool Win32MailChannels::SendMailto(const std::string& recipients, const std::string& subject,
                                   const std::string& body, const std::string& report) {
  return MailtoSend(recipients, subject, body, report, record_);
}

std::string TemporaryFolder() { return ExtractFilePath(ScreenshotPath()); }

}  // namespace sondrel
