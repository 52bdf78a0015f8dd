// The report manager's module list: the process's modules and call stacks, as rows for the report.
#include <windows.h>

#include "errorreport/capture/module_source_win.h"
#include "errorreport/capture/report_modules.h"
#include "errorreport/capture/report_system_win.h"
#include "errorreport/delivery/options_block_win.h"

namespace sondrel {
namespace {

uint32_t Handle32(HMODULE m) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(m)); }

class ModuleListSource : public ReportModuleSource {
 public:
  ModuleListSource(std::unique_ptr<ModuleSource> source, HMODULE reporter)
      : source_(std::move(source)), list_(*source_), reporter_(Handle32(reporter)) {
    list_.KeepModule(reporter_);
    reporter_record_ = list_.FindModule(reporter_);
  }

  // Read from any thread (the freeze watchdog, handlers, the program) while the worker changes the
  // list: a pointer taken once, to a record the list never drops, needs no lock.
  TReportModuleOptionsEx* ReporterOptions() const {
    return reporter_record_ ? reporter_record_->options.get() : nullptr;
  }

  bool ReporterHasBlock() const { return reporter_record_ && reporter_record_->has_block; }

  void DropChangedModules() override { list_.DropChangedModules(); }

  const TReportModuleOptions& OptionsForAddress(uint32_t address) override {
    // The module of the address when it carries its own block (the debug data comes with it), else
    // the reporter's module, else the program's.
    auto m = list_.FindModuleOfAddress(address);
    if (m && m->options && m->debug) return *(keep_ = m)->options;
    for (uint32_t h : {reporter_, Handle32(GetModuleHandleA(nullptr))}) {
      auto r = list_.FindModule(h);
      if (r && r->options) {
        keep_ = r;
        return *r->options;
      }
    }
    return CurrentReportOptions();
  }

  void Refresh() override { list_.Refresh(); }

  std::vector<ModuleRowText> Rows() override {
    std::vector<ModuleRowText> rows;
    for (size_t i = 0; i < list_.Count(); ++i) {
      const TReportModuleInfo& m = list_[i];
      rows.push_back({m.handle, m.Name(), m.description, m.version, m.file_size, ModuleFolderText(m.path)});
    }
    return rows;
  }

  std::vector<StackRowText> BuildStack(uint32_t address, const TExceptNotifyParams& p) override {
    std::vector<StackRowText> rows;
    auto add = [&rows](const TReportStackList& stack) {
      for (const TReportDebugInfo& r : stack)
        rows.push_back({r.kind, r.address, r.module ? r.module->Name() : std::string(), r.unit_name, r.class_name,
                        r.procedure_name, r.line, r.module ? r.module->kind : uint8_t{0}});
    };
    add(list_.BuildStack(address ? std::optional<uint32_t>(address) : std::nullopt, p.StackPointer, p.StackTop,
                         p.Stack.get()));
    // Where the thread was started: its creator's stack as it was then, after the thread's own rows.
    if (const StackCopy* creator = p.CreatorStack.get())
      add(list_.BuildStack(std::nullopt, creator->base, creator->base + static_cast<uint32_t>(creator->bytes.size()),
                           creator));
    return rows;
  }

  std::string ProgramDescription() override {
    auto m = list_.FindModule(Handle32(GetModuleHandleA(nullptr)));
    return m ? m->description : std::string();
  }
  std::string ProgramVersion() override {
    auto m = list_.FindModule(Handle32(GetModuleHandleA(nullptr)));
    return m ? m->version : std::string();
  }

 private:
  std::unique_ptr<ModuleSource> source_;
  TReportModulesList list_;
  uint32_t reporter_;
  std::shared_ptr<const TReportModuleInfo> keep_;  // the options handed out stay alive
  std::shared_ptr<const TReportModuleInfo> reporter_record_;
};

ModuleListSource* g_list = nullptr;

TReportModuleOptionsEx* ReporterOptionsSource() { return g_list ? g_list->ReporterOptions() : nullptr; }

}  // namespace

std::unique_ptr<ReportModuleSource> CreateReportModuleSource(HMODULE reporter_module) {
  auto list = std::make_unique<ModuleListSource>(std::make_unique<ProcessModuleSource>(), reporter_module);
  if (!list->ReporterOptions()) return nullptr;
  // A reporter in the program itself goes by the block its record has just read (read once, not
  // once more to ask whether there is one).
  if (reporter_module == GetModuleHandleA(nullptr) && !list->ReporterHasBlock()) return nullptr;
  g_list = list.get();
  SetCurrentReportOptionsSource(ReporterOptionsSource);
  return list;
}

void ReleaseReportModuleSource() noexcept {
  SetCurrentReportOptionsSource(nullptr);
  g_list = nullptr;
}

bool ProgramHasOptionsBlock() {
  TReportModuleOptions scratch("", false);
  char path[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return ReadModuleOptionsBlock(GetModuleHandleA(nullptr), path, scratch).found;
}

}  // namespace sondrel
