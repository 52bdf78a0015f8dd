// Sending a report with a 100 KB attachment to a local SMTP server (python3-aiosmtpd on loopback),
// against curl's SMTP client sending the same message to the same server in the same run. Prints the
// medians and the ratio ours / curl's, both timed from the connect to the end inside their process.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "errorreport/delivery/smtp_message.h"
#include "errorreport/delivery/smtp_send_win.h"
#include "tests/errorreport/mail_servers_win.h"

namespace {

constexpr int kRuns = 15;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main() {
  using namespace sondrel;
  try {
    test::MailServers servers;
    const auto dir = std::filesystem::temp_directory_path() / "sondrel-bench-smtp";
    std::filesystem::create_directories(dir);
    const std::string attachment = (dir / "Report.rpt").string();
    std::string bytes(100 * 1024, '\0');
    std::mt19937 random(7);
    for (char& c : bytes) c = static_cast<char>(random());
    std::ofstream(attachment, std::ios::binary) << bytes;
    std::string body;
    for (int i = 0; i < 60; ++i) body += "Report line " + std::to_string(i) + ": the application raised an error.\r\n";

    std::string failure;
    SmtpEnvironment env = DefaultSmtpEnvironment(nullptr, nullptr, [&](TReportErrorCode, const std::string&,
                                                                        const std::exception_ptr& e) {
      failure = ExceptionMessage(e);
    });
    std::vector<double> ours;
    for (int i = 0; i <= kRuns; ++i) {
      const auto start = std::chrono::steady_clock::now();
      const bool sent = SendSmtpToAll(false, "sender@sondrel.test", "127.0.0.1", {attachment}, body, "Error report",
                                      "bench@sondrel.test", "", "", servers.SmtpPort(), env);
      const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
      if (!sent) {
        std::printf("sending failed: %s\n", failure.c_str());
        return 1;
      }
      if (i > 0) ours.push_back(ms);  // the first run warms up Winsock and the server
      servers.Clear();
    }
    // curl stuffs the dots itself and adds the final line: it gets the message without them (the body
    // has no line that begins with a period, so the two are the same bytes on the wire).
    std::string message = BuildSmtpMessage({"Tue, 8 Dec 2026 04:00:00 +0000", "sender@sondrel.test", "Error report",
                                            "bench@sondrel.test", body, {attachment}});
    message.pop_back();
    std::vector<test::MailServers::CurlRun> runs = servers.CurlTimes(message, kRuns + 1);
    if (runs.size() < 2) {
      std::printf("curl failed\n");
      return 1;
    }
    // Ours is timed inside one process from the connect to the end; so is curl's transfer time. The
    // whole curl process (its start and library set-up included) is shown beside it, not compared.
    std::vector<double> transfer, wall;
    for (size_t i = 1; i < runs.size(); ++i) {
      transfer.push_back(runs[i].transfer_ms);
      wall.push_back(runs[i].wall_ms);
    }
    const double a = Median(ours), b = Median(transfer);
    std::printf("report with a 100 KB attachment (%zu bytes on the wire), %d runs each\n", message.size(), kRuns);
    std::printf("  SendSmtpToAll over Winsock (under Wine):             median %.2f ms\n", a);
    std::printf("  curl's SMTP client, its own transfer time (native):  median %.2f ms\n", b);
    std::printf("  curl's whole process, start included:                median %.2f ms\n", Median(wall));
    std::printf("  ratio ours / curl (transfer to transfer): %.2f\n", b > 0 ? a / b : 0.0);
    return 0;
  } catch (const std::exception& e) {
    std::printf("bench_smtp_win: %s\n", e.what());
    return 1;
  }
}
