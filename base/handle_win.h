#pragma once
// Traits for the Win32 handles the program owns, over the one Unique template.
#include <windows.h>
#include <objbase.h>

#include "base/unique.h"

namespace sondrel {

struct HandleTraits {  // kernel objects that use NULL for "none": mappings, threads, events
  static HANDLE invalid() noexcept { return nullptr; }
  static void close(HANDLE h) noexcept { CloseHandle(h); }
};
struct FileHandleTraits {  // CreateFile and friends use INVALID_HANDLE_VALUE for "none"
  static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) noexcept { CloseHandle(h); }
};
struct RegKeyTraits {
  static HKEY invalid() noexcept { return nullptr; }
  static void close(HKEY h) noexcept { RegCloseKey(h); }
};
struct GdiObjectTraits {
  static HGDIOBJ invalid() noexcept { return nullptr; }
  static void close(HGDIOBJ h) noexcept { DeleteObject(h); }
};
struct MemDcTraits {  // DCs from CreateCompatibleDC
  static HDC invalid() noexcept { return nullptr; }
  static void close(HDC h) noexcept { DeleteDC(h); }
};
struct ViewTraits {
  static void* invalid() noexcept { return nullptr; }
  static void close(void* p) noexcept { UnmapViewOfFile(p); }
};
struct ModuleTraits {
  static HMODULE invalid() noexcept { return nullptr; }
  static void close(HMODULE h) noexcept { FreeLibrary(h); }
};
struct CoTaskMemTraits {
  static void* invalid() noexcept { return nullptr; }
  static void close(void* p) noexcept { CoTaskMemFree(p); }
};

using UniqueHandle = Unique<HANDLE, HandleTraits>;
using UniqueFile = Unique<HANDLE, FileHandleTraits>;
using UniqueRegKey = Unique<HKEY, RegKeyTraits>;
using UniqueGdiObject = Unique<HGDIOBJ, GdiObjectTraits>;
using UniqueMemDc = Unique<HDC, MemDcTraits>;
using UniqueView = Unique<void*, ViewTraits>;
using UniqueModule = Unique<HMODULE, ModuleTraits>;
using UniqueCoTaskMem = Unique<void*, CoTaskMemTraits>;

// A function of a loaded library by name, typed; null when the library has no such function.
template <class Fn>
Fn ProcAddress(HMODULE library, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

// A COM interface pointer, released once.
template <class I>
struct ComTraits {
  static I* invalid() noexcept { return nullptr; }
  static void close(I* p) noexcept { p->Release(); }
};
template <class I>
using ComPtr = Unique<I*, ComTraits<I>>;

// Looks up an optional system function with its real type; null when the DLL or the export is missing.
template <class Fn>
Fn GetProc(const char* dll, const char* name) noexcept {
  HMODULE m = GetModuleHandleA(dll);
  if (!m) m = LoadLibraryA(dll);
  return m ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m, name))) : nullptr;
}

}  // namespace sondrel
