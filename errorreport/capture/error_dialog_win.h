#pragma once
// The error dialog and the request dialog, run modally in the calling thread (the report worker) with
// no owner window.
#include <windows.h>

#include <string>

#include "errorreport/capture/report_worker.h"

namespace sondrel {

// Beeps, shows the "DIALOG" dialog for the report (again when the user asked to terminate and the
// request's confirm_terminate says no), and brings the previous foreground window back. A dialog that
// never got painted is replaced by a message box with the exception message; the call then raises
// with "Cannot show the DialogBox window." so that the worker records it.
// templates is the module whose resources hold the dialog templates, the reporter's own by default.
DialogChoices ShowErrorDialogWindow(const DialogRequest& request, HMODULE templates = nullptr);

// The "REQUEST" dialog: the steps the user typed, trimmed (empty when none).
std::string AskReproduceStepsWindow(const TReportModuleOptions& o);

}  // namespace sondrel
