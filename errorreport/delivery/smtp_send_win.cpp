#include "errorreport/delivery/smtp_send_win.h"

#include "errorreport/capture/system_info_win.h"
#include "errorreport/delivery/dns_servers_win.h"
#include "errorreport/delivery/report_socket_win.h"

namespace sondrel {

SmtpEnvironment DefaultSmtpEnvironment(const TReportModuleOptions* options, SmtpProgress* progress,
                                       ReportErrorRecorder record_error) {
  SmtpEnvironment env;
  env.sockets = NewWinsockSocket;
  env.dns_servers = DnsServerList;
  env.local_host_name = LocalHostName;
  env.date_text = [] { return NowDateText(); };
  env.options = options;
  env.progress = progress;
  env.record_error = std::move(record_error);
  return env;
}

}  // namespace sondrel
