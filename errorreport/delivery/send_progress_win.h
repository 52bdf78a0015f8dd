#pragma once
// The small "SMTP" progress dialog shown while a report goes out by SMTP. It runs modally in a thread
// of its own (TSMTPThread); the sending thread reaches it only through window messages, which do
// nothing while no dialog is shown.
#include <windows.h>

#include <string>

#include "errorreport/delivery/smtp_send.h"

namespace sondrel {

// How long the sending waits for the dialog: a dialog that cannot be shown must not hold the report.
constexpr DWORD kReadyWaitMs = 5000;

// Clears the progress state and, when the options want the dialog and the program has a user
// interface, starts TSMTPThread and waits until the dialog is ready. A dialog that is not ready within
// ready_wait_ms is given up: the sending goes on without it. templates: the module holding the
// "SMTP" template (null: the reporter's own).
void StartSendProgress(const TReportModuleOptions& options, bool gui_program, HMODULE templates = nullptr,
                       DWORD ready_wait_ms = kReadyWaitMs);
// "Message <n>/<count>: " + text in the dialog's status line.
void ShowSendStatus(const std::string& text);
void SetSendProgress(int percent);
// Ends the dialog (message 0x8D2), also one that comes up only now, and waits (within the bound
// above) for its thread.
void CloseSendProgress();
// The dialog's window while it is open, else null.
HWND SendProgressWindow();

// The progress calls of the SMTP client, on the dialog above.
class TSendProgress final : public SmtpProgress {
 public:
  void SetRecipientCount(int count) override;
  void SetRecipientIndex(int index) override;
  void SetPosition(int percent) override { SetSendProgress(percent); }
  void ShowText(const std::string& text) override { ShowSendStatus(text); }
  bool Shown() const override { return SendProgressWindow() != nullptr; }
  void Close() override { CloseSendProgress(); }
};

// The message that ends the dialog.
constexpr UINT kCloseSendProgress = 0x8D2;

}  // namespace sondrel
