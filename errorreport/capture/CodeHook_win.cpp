#include "errorreport/capture/CodeHook_win.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

#include "base/file.h"
#include "base/text.h"
#include "errorreport/capture/process_memory_win.h"
#include "errorreport/capture/x86_decoder.h"

namespace sondrel {

namespace {

constexpr std::size_t kJumpSize = 5;
constexpr std::size_t kStubSize = 64;
constexpr std::size_t kArenaSize = 64 * 1024;

std::uint32_t Addr(const void* p) { return static_cast<std::uint32_t>(reinterpret_cast<uintptr_t>(p)); }
void* Ptr(std::uint32_t a) { return reinterpret_cast<void*>(static_cast<uintptr_t>(a)); }

struct CodePatchRecord {
  std::uint32_t patched = 0;
  std::uint32_t replacement = 0;
  std::uint8_t saved[kJumpSize] = {};
  std::uint8_t jump[kJumpSize] = {};
  std::uint8_t* stub = nullptr;
};

struct ImportPatchRecord {
  HMODULE module;
  void* previous;
  void* replacement;
};

// Everything the unit keeps; guarded by one lock (patching happens at installation and finalisation,
// never on a hot path).
struct HookState {
  std::mutex lock;
  int references = 0;
  std::vector<std::unique_ptr<CodePatchRecord>> code_patches;
  std::vector<ImportPatchRecord> import_patches;
  std::uint8_t* arena = nullptr;
  std::size_t arena_used = kArenaSize;
};

HookState& State() {
  static HookState* state = new HookState;  // never destroyed: hooks may run during process exit
  return *state;
}

// Stubs live in executable blocks that are never freed: a thread may still be inside a stub's moved
// instructions when its patch is removed.
std::uint8_t* AllocateStub(HookState& s) {
  if (s.arena_used + kStubSize > kArenaSize) {
    void* block = VirtualAlloc(nullptr, kArenaSize, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
    if (!block) return nullptr;
    s.arena = static_cast<std::uint8_t*>(block);
    s.arena_used = 0;
  }
  std::uint8_t* stub = s.arena + s.arena_used;
  s.arena_used += kStubSize;
  return stub;
}

bool WriteCode(std::uint32_t address, const void* bytes, std::size_t size) {
  DWORD old;
  if (!VirtualProtect(Ptr(address), size, PAGE_EXECUTE_READWRITE, &old)) return false;
  std::memcpy(Ptr(address), bytes, size);
  DWORD ignored;
  VirtualProtect(Ptr(address), size, old, &ignored);
  FlushInstructionCache(GetCurrentProcess(), Ptr(address), size);
  return true;
}

// Slots are written in one 4-byte store, so a thread calling through the slot meanwhile sees either
// the old or the new address.
bool WriteSlot(std::uint32_t slot, std::uint32_t value) {
  DWORD old;
  if (!VirtualProtect(Ptr(slot), 4, PAGE_EXECUTE_READWRITE, &old)) return false;
  InterlockedExchange(static_cast<volatile LONG*>(Ptr(slot)), static_cast<LONG>(value));
  DWORD ignored;
  VirtualProtect(Ptr(slot), 4, old, &ignored);
  FlushInstructionCache(GetCurrentProcess(), Ptr(slot), 4);
  return true;
}

bool NonNtPlatform() { return (GetVersion() & 0x80000000u) != 0; }

std::string ModuleFileOf(std::uint32_t address) {
  MEMORY_BASIC_INFORMATION mbi{};
  char name[MAX_PATH] = "";
  if (VirtualQuery(Ptr(address), &mbi, sizeof mbi) && mbi.AllocationBase)
    GetModuleFileNameA(static_cast<HMODULE>(mbi.AllocationBase), name, sizeof name);
  return name;
}

void CheckSharedArea(std::uint32_t address) {
  if (NonNtPlatform() && address >= 0x80000000u) throw ESharedArea(SharedAreaMessage(ModuleFileOf(address)));
}

CodePatchRecord* FindByStub(HookState& s, const void* stub) {
  for (auto& r : s.code_patches)
    if (r->stub == stub) return r.get();
  return nullptr;
}

void RemoveRecord(HookState& s, CodePatchRecord* r) {
  WriteCode(r->patched, r->saved, kJumpSize);
  s.code_patches.erase(std::find_if(s.code_patches.begin(), s.code_patches.end(),
                                    [r](const auto& p) { return p.get() == r; }));
}

void UndoEverything(HookState& s) {
  // Latest first: a procedure patched twice holds the first patch's jump in the second's saved bytes.
  while (!s.code_patches.empty()) RemoveRecord(s, s.code_patches.back().get());
  std::vector<ImportPatchRecord> imports;
  imports.swap(s.import_patches);
  // Read in place, not from copies: each undo must see the slots the ones before it wrote.
  ProcessMemory memory(ProcessMemory::Reads::kInPlace);
  for (auto it = imports.rbegin(); it != imports.rend(); ++it) {
    for (std::uint32_t slot : FindImportSlots(memory, Addr(it->module), Addr(it->replacement)))
      WriteSlot(slot, Addr(it->previous));
  }
}

}  // namespace

void* CodePatch(void* procedure, void* replacement, const std::string& display_name) {
  ProcessMemory memory(ProcessMemory::Reads::kInPlace);
  const std::uint32_t proc = FollowThunk(memory, Addr(procedure));
  const std::uint32_t target = FollowThunk(memory, Addr(replacement));
  if (proc == 0) throw EProcNull(ProcNullMessage(display_name));
  CheckSharedArea(proc);

  std::uint8_t code[32];
  std::size_t readable = 0;
  while (readable < sizeof code && memory.Read(proc + static_cast<std::uint32_t>(readable), code + readable, 1))
    ++readable;

  HookState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  auto record = std::make_unique<CodePatchRecord>();
  record->patched = proc;
  record->replacement = target;
  record->stub = readable >= kJumpSize ? AllocateStub(s) : nullptr;
  if (!record->stub) throw EHookingError(HookingErrorMessage(display_name));
  const auto moved = x86::MovePrologue(code, readable, proc, Addr(record->stub), kJumpSize);
  if (!moved || moved->code.size() > kStubSize) throw EHookingError(HookingErrorMessage(display_name));
  std::memcpy(record->stub, moved->code.data(), moved->code.size());
  FlushInstructionCache(GetCurrentProcess(), record->stub, moved->code.size());

  std::memcpy(record->saved, code, kJumpSize);
  record->jump[0] = 0xE9;
  const std::uint32_t rel = target - (proc + kJumpSize);
  std::memcpy(record->jump + 1, &rel, 4);
  if (!WriteCode(proc, record->jump, kJumpSize)) throw EHookingError(HookingErrorMessage(display_name));
  void* stub = record->stub;
  s.code_patches.push_back(std::move(record));
  return stub;
}

void RemoveCodePatch(void* stub) {
  HookState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  if (CodePatchRecord* r = FindByStub(s, stub)) RemoveRecord(s, r);
}

void ReapplyCodePatch(void* stub) {
  HookState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  if (CodePatchRecord* r = FindByStub(s, stub)) WriteCode(r->patched, r->jump, kJumpSize);
}

void* ImportPatch(HMODULE module, void* previous, void* replacement, bool do_not_record, bool keep_quiet,
                  const std::string& display_name) {
  CheckSharedArea(Addr(module));
  ProcessMemory memory(ProcessMemory::Reads::kInPlace);
  int changed = 0;
  const auto code = ModuleCodeRange(memory, Addr(module));
  if (code && memory.Readable(code->start, 1)) {
    for (std::uint32_t slot : FindImportSlots(memory, Addr(module), Addr(previous)))
      if (WriteSlot(slot, Addr(replacement))) ++changed;
  }
  if (changed == 0) {
    if (keep_quiet) return nullptr;
    throw EHookingError(HookingErrorMessage(display_name));
  }
  if (!do_not_record) {
    HookState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.import_patches.push_back({module, previous, replacement});
  }
  return previous;
}

bool ApiHookByName(const std::vector<std::string>& modules, const std::string& library, bool keep_quiet,
                   void** previous, void* replacement, const std::string& procedure) {
  HMODULE lib = GetModuleHandleA(library.c_str());
  void* export_address = lib ? reinterpret_cast<void*>(GetProcAddress(lib, procedure.c_str())) : nullptr;
  if (previous) *previous = export_address;
  if (!export_address) return false;
  // A slot is found by the procedure it reaches, not by the library it names: a module that imports
  // through an API-set name (the system's own libraries do on current Windows) holds the address of
  // the procedure in kernelbase.dll that kernel32's export hands on to.
  std::vector<void*> reached = {export_address};
  if (HMODULE base = SameText(ExtractFileName(library), "kernel32.dll") ? GetModuleHandleA("kernelbase.dll") : nullptr)
    if (void* p = reinterpret_cast<void*>(GetProcAddress(base, procedure.c_str())); p && p != export_address)
      reached.push_back(p);
  const std::string display_name = library + "." + procedure;
  bool patched = false;
  for (const std::string& name : modules) {
    HMODULE m = GetModuleHandleA(name.empty() ? nullptr : name.c_str());
    if (!m) continue;
    bool here = false;
    for (void* target : reached)
      if (ImportPatch(m, target, replacement, false, true, display_name)) here = true;
    if (!here && !keep_quiet) throw EHookingError(HookingErrorMessage(display_name));
    patched = patched || here;
  }
  return patched;
}

void CodeHookInitialize() {
  HookState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  ++s.references;
}

void CodeHookFinalize() {
  HookState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.references == 0 || --s.references > 0) return;
  UndoEverything(s);
}

}  // namespace sondrel
