// A second module that links the reporter: it owns options of its own and publishes their run-time
// changes, as any module of a process may.
#include <windows.h>

#include <memory>
#include <string>

#include "errorreport/delivery/options_mapping.h"
#include "errorreport/delivery/report_options.h"

namespace {
std::unique_ptr<sondrel::TReportModuleOptionsEx> g_options;
}

extern "C" __declspec(dllexport) void OptionsModuleStart() {
  sondrel::CreateSubsystemOptionsMapping();
  g_options = std::make_unique<sondrel::TReportModuleOptionsEx>(sondrel::SubsystemModuleFileName(), true);
}

extern "C" __declspec(dllexport) void OptionsModuleSetSubject(const char* subject) { g_options->SetMailSubject(subject); }

extern "C" __declspec(dllexport) void OptionsModuleStop() {
  g_options.reset();
  sondrel::CloseSubsystemOptionsMapping();
}
