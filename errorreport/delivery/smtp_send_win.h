#pragma once
// The SMTP delivery's surroundings under Windows.
#include "errorreport/delivery/smtp_send.h"

namespace sondrel {

// Winsock sockets, the system's DNS servers, gethostname, the local date text, the given texts,
// progress dialog and error recorder.
SmtpEnvironment DefaultSmtpEnvironment(const TReportModuleOptions* options, SmtpProgress* progress,
                                       ReportErrorRecorder record_error);

}  // namespace sondrel
