#include "errorreport/delivery/smtp_send.h"

#include "errorreport/delivery/base64.h"
#include "errorreport/delivery/dns_mx.h"
#include "errorreport/delivery/smtp_message.h"

namespace sondrel {
namespace {

class Reporter {
 public:
  explicit Reporter(const SmtpEnvironment& env) : env_(env) {}
  void Show(int text) const {
    if (!env_.progress) return;
    env_.progress->ShowText(env_.options ? env_.options->CustomText(text) : DefaultCustomTexts()[text]);
  }
  void Record() const {
    if (env_.record_error) env_.record_error(eeEmailSMTPError, "SMTP", std::current_exception());
  }

 private:
  const SmtpEnvironment& env_;
};

}  // namespace

bool SendSmtpMessage(const std::string& sender, const std::string& host, const StringList& attachments,
                     const std::string& body, const std::string& subject, const std::string& to,
                     const std::string& password, const std::string& user, uint16_t port, const SmtpEnvironment& env) {
  const Reporter report(env);
  try {
    report.Show(mtSMTPDialog_Connecting);
    TReportClientSMTP smtp(host, port, true, env.timeout_ms, env.sockets());
    smtp.Connect();
    report.Show(mtSMTPDialog_Connected);
    const std::string local = env.local_host_name ? env.local_host_name() : std::string();
    const std::string mail_from = "MAIL FROM:<" + sender + ">";
    // Command gives false only for an empty line: with only a password set, the empty user name has
    // nothing to send and the dialogue stops there.
    const bool ready = !user.empty() || !password.empty()
                           ? smtp.Command("EHLO " + local, {250}) && smtp.Command("RSET", {250}) &&
                                 smtp.Command("AUTH LOGIN", {334}) && smtp.Command(EncodeBase64Lines(user), {334}) &&
                                 smtp.Command(EncodeBase64Lines(password), {235}) && smtp.Command(mail_from, {250})
                           : smtp.Command("HELO " + local, {250}) && smtp.Command("RSET", {250}) &&
                                 smtp.Command(mail_from, {250});
    if (!ready) return false;
    report.Show(mtSMTPDialog_Sending);
    const std::string message =
        BuildSmtpMessage({env.date_text ? env.date_text() : std::string(), sender, subject, to, body, attachments});
    if (!smtp.Command("RCPT TO:<" + to + ">", {250, 251}) || !smtp.Command("DATA", {354})) return false;
    if (env.progress && env.progress->Shown()) {
      SmtpProgress* progress = env.progress;
      smtp.OnProgress = [progress](TReportClientSocket&, int64_t position, int64_t total) {
        progress->SetPosition(total > 0 ? static_cast<int>(position * 100 / total) : 0);
      };
    }
    const bool accepted = smtp.Command(message, {250});
    smtp.OnProgress = nullptr;
    return accepted;
  } catch (...) {
    report.Record();
    return false;
  }
}

bool SendSmtpToAll(bool direct, const std::string& sender, std::string host, const StringList& attachments,
                   const std::string& body, const std::string& subject, const std::string& recipients,
                   const std::string& password, const std::string& user, uint16_t port, const SmtpEnvironment& env) {
  const Reporter report(env);
  const StringList to = SplitRecipients(recipients);
  SmtpProgress none;
  SmtpProgress& progress = env.progress ? *env.progress : none;
  progress.SetRecipientCount(static_cast<int>(to.size()));
  bool served = false;
  try {
    for (size_t i = 0; i < to.size(); ++i) {
      progress.SetPosition(0);
      progress.SetRecipientIndex(static_cast<int>(i + 1));
      if (direct) {
        report.Show(mtSMTPDialog_Resolving);
        host = ResolveMX(to[i], env.dns_servers ? env.dns_servers() : StringList(), env.sockets, env.timeout_ms);
      }
      if (SendSmtpMessage(sender, host, attachments, body, subject, to[i], password, user, port, env)) served = true;
    }
  } catch (...) {
    report.Record();
    served = false;
  }
  progress.Close();
  return served;
}

}  // namespace sondrel
