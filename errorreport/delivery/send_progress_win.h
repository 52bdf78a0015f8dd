#pragma once
// The small "SMTP" progress dialog shown while a report goes out by SMTP. It runs modally in a thread
// of its own (TSMTPThread); the sending thread reaches it only through window messages, which do
// nothing while no dialog is shown.
#include <windows.h>

#include <string>

#include "errorreport/delivery/smtp_send.h"

namespace sondrel {

// Clears the progress state and, when the options want the dialog and the program has a user
// interface, starts TSMTPThread and waits until the dialog is ready. A dialog that is not ready within
// a few seconds is given up: the sending goes on without it.
void StartSendProgress(const TReportModuleOptions& options, bool gui_program);
// "Message <n>/<count>: " + text in the dialog's status line.
void ShowSendStatus(const std::string& text);
void SetSendProgress(int percent);
// Ends the dialog (message 0x8D2).
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
