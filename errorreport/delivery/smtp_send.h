#pragma once
// Sending a report by SMTP: one connection per recipient, to the configured server or to the mail
// exchanger of the recipient's domain, with the progress dialog told what happens.
#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "base/text.h"
#include "errorreport/capture/report_worker.h"
#include "errorreport/delivery/report_options.h"
#include "errorreport/delivery/report_socket.h"

namespace sondrel {

// What the SMTP progress dialog shows. Each call does nothing while no dialog is shown.
class SmtpProgress {
 public:
  virtual ~SmtpProgress() = default;
  virtual void SetRecipientCount(int /*count*/) {}
  virtual void SetRecipientIndex(int /*index*/) {}  // from 1
  virtual void SetPosition(int /*percent*/) {}
  virtual void ShowText(const std::string& /*text*/) {}
  virtual bool Shown() const { return false; }
  virtual void Close() {}
};

// Records a failure as the reporter's last error (code, section word, the error).
using ReportErrorRecorder = std::function<void(TReportErrorCode code, const std::string& section, const std::exception_ptr& error)>;

// What the sending needs from its surroundings; DefaultSmtpEnvironment (smtp_send_win.h) fills it for
// Windows, tests give their own.
struct SmtpEnvironment {
  SocketApiFactory sockets;
  // The DNS servers to ask, built when a lookup needs them.
  std::function<StringList()> dns_servers;
  std::function<std::string()> local_host_name;
  std::function<std::string()> date_text;
  // The texts shown (55 to 58); the default texts when null.
  const TReportModuleOptions* options = nullptr;
  SmtpProgress* progress = nullptr;  // none: nothing is shown
  ReportErrorRecorder record_error;  // none: failures are only seen in the result
  uint32_t timeout_ms = kReplyTimeoutMs;
};

// Sends the message to one recipient. True when the server accepted it. Every error of the dialogue
// is recorded as eeEmailSMTPError, section "SMTP", and gives false; a dialogue that stops (an empty
// user name to send) gives false with nothing recorded.
bool SendSmtpMessage(const std::string& sender, const std::string& host, const StringList& attachments,
                     const std::string& body, const std::string& subject, const std::string& to,
                     const std::string& password, const std::string& user, uint16_t port, const SmtpEnvironment& env);

// Sends to every recipient of the list, each over its own connection; direct asks DNS for each
// recipient's exchanger instead of using host. True when at least one recipient was served; a
// failed lookup is recorded, ends the loop and gives false. The progress dialog is told to close at
// the end in every case.
bool SendSmtpToAll(bool direct, const std::string& sender, std::string host, const StringList& attachments,
                   const std::string& body, const std::string& subject, const std::string& recipients,
                   const std::string& password, const std::string& user, uint16_t port, const SmtpEnvironment& env);

}  // namespace sondrel
