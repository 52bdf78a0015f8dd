#pragma once
// Code and import patching of the running process. Patches are made while the reporter installs
// itself and undone at its finalisation; calls through a patched procedure and through a stub may run
// on any thread at any time.
#include <windows.h>

#include <string>
#include <vector>

#include "errorreport/capture/CodeHook.h"

namespace sondrel {

// Puts a jump to replacement over the first bytes of procedure (both followed through import thunks
// first) and returns a stub: calling the stub runs the procedure's own code, on any thread, also
// recursively, while the jump stays in place. Raises EProcNull for a null procedure, ESharedArea for
// a procedure in the shared area of a non-NT system, EHookingError when the jump cannot be written or
// the first instructions cannot be moved; a failed patch changes nothing.
void* CodePatch(void* procedure, void* replacement, const std::string& display_name);
// Writes the saved bytes back and forgets the patch. The stub's code stays valid: another thread may
// still be running in it.
void RemoveCodePatch(void* stub);
// Writes the jump of a patch again (harmless when it is in place).
void ReapplyCodePatch(void* stub);

// Points every import slot of module that holds previous at replacement. Returns previous when at
// least one slot changed (and records the patch for finalisation unless do_not_record), else null,
// or raises EHookingError when keep_quiet is false. ESharedArea for a module in the shared area of a
// non-NT system.
void* ImportPatch(HMODULE module, void* previous, void* replacement, bool do_not_record, bool keep_quiet,
                  const std::string& display_name);

// Import-patches procedure of library in every listed loaded module ("" is the program module).
// *previous receives the library's export in any case (null when the library or export is missing).
// True when at least one module was patched.
bool ApiHookByName(const std::vector<std::string>& modules, const std::string& library, bool keep_quiet,
                   void** previous, void* replacement, const std::string& procedure);

// Reference-counted: the last CodeHookFinalize removes every code patch (latest first) and undoes
// every recorded import patch.
void CodeHookInitialize();
void CodeHookFinalize();

}  // namespace sondrel
