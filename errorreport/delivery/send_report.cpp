#include "errorreport/delivery/send_report.h"

namespace sondrel {
namespace {

constexpr int kBeforeSend = 4;
constexpr int kAfterSend = 5;
constexpr int kSendFailed = 5;  // the action-error code of a failed attempt

}  // namespace

std::string ReportFileText(const std::string& text) {
  std::string out;
  for (const std::string& line : SplitLines(text)) out += line + "\r\n";
  return out;
}

bool SendReport(const SendReportInput& in, MailChannels& mail, const SendReportHooks& hooks) {
  const TReportModuleOptions& o = *in.options;
  bool send = true;
  if (hooks.clear_last_error) hooks.clear_last_error();
  // When the report file cannot be written the report travels in the body instead: a mail without
  // the report would tell its readers nothing.
  bool in_body = o.ReportInBody();
  bool file_written = false;
  if (!in_body) {
    try {
      hooks.write_file(in.report_file, ReportFileText(in.text_to_send));
      file_written = true;
    } catch (...) {
      in_body = true;
    }
  }
  struct RemoveFile {
    const SendReportHooks& hooks;
    const std::string& path;
    bool armed;
    ~RemoveFile() {
      if (armed && hooks.delete_file) hooks.delete_file(path);
    }
  } remove_file{hooks, in.report_file, file_written};

  if (hooks.notify) send = hooks.notify(kBeforeSend, send);
  const bool vetoed = !send;
  if (send) {
    bool retry;
    do {
      StringList attachments;
      if (!in_body) attachments.push_back(in.report_file);
      if (!in.screenshot_file.empty() && o.AttachScreenshot()) attachments.push_back(in.screenshot_file);
      std::string body = o.MailBody();
      if (in_body) body += "\r\n\r\n\r\n" + in.text_to_send;
      const bool smtp = o.SendMode() == TReportSendMode::rsSmtpRelay || o.SendMode() == TReportSendMode::rsSmtpDirect;
      bool sent = smtp ? mail.SendSmtp(o, attachments, body)
                       : mail.SendMapi(o.MailRecipients(), o.MailSubject(), body, attachments);
      if (!sent && !smtp) sent = mail.SendMailto(o.MailRecipients(), o.MailSubject(), o.MailBody(), in.report);
      send = sent;
      retry = false;
      if (!sent && hooks.notify_error) retry = hooks.notify_error(kSendFailed);
    } while (retry);
  }
  if (!vetoed && hooks.notify) send = hooks.notify(kAfterSend, send);
  return send;
}

}  // namespace sondrel
