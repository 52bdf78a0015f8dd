#include "errorreport/capture/report_modules.h"

#include <algorithm>
#include <cstdio>

#include "base/file.h"
#include "base/text.h"
#include "errorreport/capture/export_names.h"
#include "errorreport/capture/pe_image.h"
#include "errorreport/capture/stack_scan.h"

namespace sondrel {
namespace {
constexpr uint16_t kRcData = 10;

std::string HexText(uint32_t v) {
  char buf[12];
  std::snprintf(buf, sizeof buf, "%X", static_cast<unsigned>(v));
  return buf;
}
}  // namespace

std::string VersionText(const std::array<uint16_t, 4>& n) {
  if (n[0] == 0 && n[1] == 0 && n[2] == 0 && n[3] == 0) return {};
  return std::to_string(n[0]) + "." + std::to_string(n[1]) + "." + std::to_string(n[2]) + "." + std::to_string(n[3]);
}

std::string TReportModuleInfo::Name() const { return ExtractFileName(path); }

std::shared_ptr<TReportModuleInfo> TReportModulesList::Add(uint32_t handle) {
  auto path = source_.ModuleFileName(handle);
  if (!path) return nullptr;
  auto m = std::make_shared<TReportModuleInfo>();
  m->handle = handle;
  m->path = *path;
  if (auto facts = source_.FileFactsOf(*path)) {
    m->file_size = facts->size;
    m->file_time = facts->dos_time;
  }
  auto version = source_.VersionOf(*path);
  m->description = std::move(version.description);
  m->version = VersionText(version.numbers);
  // A refresh only lists the module; exports and the options block are read on its first real use.
  if (!refreshing_) {
    ImageView image(source_.ImageMemory(handle), handle);
    std::vector<TReportFunctionInfo> functions;
    for (auto& e : image.Exports()) functions.push_back({std::move(e.name), e.entry, e.size});
    m->functions = TReportFunctionsList(std::move(functions));
    if (!image.valid() || !image.is_dll())
      m->kind = 1;
    else if (image.HasNamedResource(kRcData, "PACKAGEINFO") && image.HasNamedResource(kRcData, "PACKAGEOPTIONS"))
      m->kind = 2;
    else
      m->kind = 3;
    m->options = std::make_unique<TReportModuleOptionsEx>(*path, true);
    ModuleBlock block = source_.ReadBlock(handle, *path, *m->options);
    if (block.found) {
      m->has_block = true;
      m->options_version = block.version;
      m->reserved = block.reserved;
      if (block.deferred_debug_data)
        m->debug = std::make_unique<DebugData>(std::move(block.deferred_debug_data), block.version);
      else if (!block.debug_data.empty())
        m->debug = std::make_unique<DebugData>(std::move(block.debug_data), block.version);
    }
  }
  Insert(m);
  return m;
}

void TReportModulesList::Insert(std::shared_ptr<TReportModuleInfo> m) {
  auto at = std::lower_bound(modules_.begin(), modules_.end(), m->handle,
                             [](const auto& e, uint32_t h) { return e->handle < h; });
  modules_.insert(at, std::move(m));
}

std::shared_ptr<const TReportModuleInfo> TReportModulesList::FindModule(uint32_t handle) {
  if (handle == 0) return nullptr;
  auto it = std::lower_bound(modules_.begin(), modules_.end(), handle,
                             [](const auto& e, uint32_t h) { return e->handle < h; });
  if (it != modules_.end() && (*it)->handle == handle) {
    if ((*it)->kind != 0 || refreshing_) return *it;
    modules_.erase(it);  // listed by a refresh only: read it in full now
  } else if (refreshing_) {
    return nullptr;
  }
  return Add(handle);
}

std::shared_ptr<const TReportModuleInfo> TReportModulesList::FindModuleOfAddress(uint32_t address) {
  return FindModule(source_.Memory().AllocationBase(address));
}

void TReportModulesList::Refresh() {
  source_.BeginPass();
  std::erase_if(modules_, [&](const auto& m) {
    if (m->handle == kept_) return false;
    auto path = source_.ModuleFileName(m->handle);
    // Another file loaded at the same address is another module.
    return !path || !SameText(*path, m->path);
  });
  refreshing_ = true;
  if (auto handles = source_.EnumerateModules()) {
    for (uint32_t h : *handles)
      if (!FindModule(h)) Add(h);
  }
  refreshing_ = false;
}

void TReportModulesList::DropChangedModules() {
  std::erase_if(modules_, [&](const auto& m) {
    if (m->handle == kept_) return false;
    auto facts = source_.FileFactsOf(m->path);
    return !facts || facts->dos_time != m->file_time;
  });
}

TReportDebugInfo TReportModulesList::ResolveAddress(uint32_t address) {
  TReportDebugInfo row;
  row.address = address;
  auto module = FindModuleOfAddress(address);
  if (!module) return row;
  row.module = module;
  if (module->debug) {
    if (auto hit = module->debug->Lookup(address - module->handle)) {
      row.kind = 4;
      row.unit_name = std::move(hit->unit);
      row.class_name = std::move(hit->class_name);
      row.procedure_name = std::move(hit->procedure);
      row.line = hit->line;
      return row;
    }
  }
  row.kind = 1;
  const TReportFunctionInfo* f = module->functions.Find(address);
  // Past the estimated end of every export the address may belong to code that is not exported at all:
  // the nearest export below it is named with the distance from its entry, so that the row reads as
  // the guess it is. A module with line data knows its own code better than such a guess.
  const bool beyond = !f && (!module->debug || module->debug->unit_count() == 0);
  if (beyond) f = module->functions.Nearest(address);
  if (f) {
    SplitName split = SplitExportName(f->name);
    row.kind = split.kind;
    row.unit_name = std::move(split.unit);
    row.class_name = std::move(split.class_name);
    row.procedure_name = std::move(split.procedure);
    if (beyond && f && row.kind >= 2) row.procedure_name += "+0x" + HexText(address - f->entry);
  }
  return row;
}

TReportStackList TReportModulesList::BuildStack(std::optional<uint32_t> exception_address, uint32_t sp, uint32_t top,
                                                const StackCopy* as_it_was) {
  source_.BeginPass();
  TReportStackList list;
  if (exception_address) list.Add(ResolveAddress(*exception_address));
  std::vector<uint32_t> calls;
  if (as_it_was) {
    StackCopyMemory memory(*as_it_was, source_.Memory());
    calls = ScanStackForCalls(memory, sp, top);
  } else {
    calls = ScanStackForCalls(source_.Memory(), sp, top);
  }
  for (uint32_t address : calls) list.Add(ResolveAddress(address));
  return list;
}

TReportModuleOptionsEx* TReportModulesList::ProgramOptions() {
  auto program = FindModule(source_.ProgramModule());
  return program ? program->options.get() : nullptr;
}

std::optional<uint32_t> TReportModulesList::FindProcedureByName(std::string_view name) {
  auto program = FindModule(source_.ProgramModule());
  if (!program || !program->debug) return std::nullopt;
  auto rva = program->debug->FindProcedure(name);
  if (!rva) return std::nullopt;
  return program->handle + *rva;
}

}  // namespace sondrel
