#pragma once
// Sending a finished report as the options say: by SMTP, or through the user's mail client (Simple
// MAPI, then its "mailto:" handler), with the notifications around it and the retries a handler asks
// for.
#include <functional>
#include <string>

#include "base/text.h"
#include "errorreport/delivery/report_options.h"

namespace sondrel {
enum TReportErrorCode : uint8_t;
}

namespace sondrel {

// The ways of sending; each call is one try.
class MailChannels {
 public:
  virtual ~MailChannels() = default;
  // Shows the progress dialog when wanted and sends to every recipient; the dialog is gone afterwards.
  virtual bool SendSmtp(const TReportModuleOptions& options, const StringList& attachments,
                        const std::string& body) = 0;
  virtual bool SendMapi(const std::string& recipients, const std::string& subject, const std::string& body,
                        const StringList& attachments) = 0;
  // report: this exception's report, which the handler's body carries after the given body.
  virtual bool SendMailto(const std::string& recipients, const std::string& subject, const std::string& body,
                          const std::string& report) = 0;
};

// The reporter's side of a send: its notifications (empty when nobody listens) and its last error.
struct SendReportHooks {
  // Action notification with the flag it hands the handlers (the send flag for actions 4 and 5); the
  // flag as the handlers left it comes back.
  std::function<bool(int action, bool flag)> notify;
  std::function<bool(int action)> notify_error;  // action-error notification; the retry flag comes back
  std::function<void()> clear_last_error;
  // Records a failure of a way of sending as the last error (for the ways of sending, not used here).
  std::function<void(TReportErrorCode code, const std::string& text)> record_error;
  // Writes the report file; raises when it cannot.
  std::function<void(const std::string& path, const std::string& text)> write_file;
  std::function<void(const std::string& path)> delete_file;
};

struct SendReportInput {
  const TReportModuleOptions* options = nullptr;
  std::string text_to_send;     // the report, or the whole log
  std::string report;           // this exception's report
  std::string screenshot_file;  // empty: no screenshot
  std::string report_file;      // where the text goes as an attachment
};

// The report file's content: the text as lines, each ended by CR LF.
std::string ReportFileText(const std::string& text);

// Returns the send flag: true when the report went out (or no handler vetoed and it went out on a
// retry); false when a handler vetoed it or every try failed. The handlers of the after-send
// notification see that flag and may clear it. The report file exists only during the call.
bool SendReport(const SendReportInput& in, MailChannels& mail, const SendReportHooks& hooks);

}  // namespace sondrel
