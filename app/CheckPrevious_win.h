#pragma once
// The single-instance guard of this process over named file mappings (see CheckPrevious.h).
#include <windows.h>

namespace sondrel {

// With the application window and the instance limit: true means another instance has been brought
// forward (or the shared block could not be opened) and this process must end now; false means it
// has registered and goes on. Raises EOSError when the shared block cannot be created.
bool ActivateRunningInstance(HWND window, int limit);
// Runs once at the end of every process that ran the guard, whether it went on or ended at once.
void ReleaseInstanceSlot();

}  // namespace sondrel
