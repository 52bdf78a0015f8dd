// A library that imports CreateThread under an API-set name, as the system's own libraries (msvcrt
// among them) do on current Windows: the loader binds its slot to the procedure the set resolves to,
// not to kernel32's export.
#include <windows.h>

extern "C" __declspec(dllexport) void* ImportedCreateThread() { return reinterpret_cast<void*>(&CreateThread); }

extern "C" __declspec(dllexport) HANDLE StartThroughImport(LPTHREAD_START_ROUTINE start, void* parameter) {
  return CreateThread(nullptr, 0, start, parameter, 0, nullptr);
}
