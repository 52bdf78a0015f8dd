#include "app/CheckPrevious_win.h"

#include <cstdint>

#include <tlhelp32.h>

#include "app/CheckPrevious.h"
#include "base/exception.h"
#include "base/handle_win.h"
#include "base/shell_folder_win.h"

namespace sondrel {
namespace {

// How long a restarted instance waits for the instance that restarted it to end.
constexpr DWORD kRestartWaitMs = 10000;

DWORD ParentProcessId() {
  HANDLE raw = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (raw == INVALID_HANDLE_VALUE) return 0;
  UniqueHandle snapshot(raw);
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  const DWORD self = GetCurrentProcessId();
  for (BOOL ok = Process32First(snapshot.get(), &entry); ok; ok = Process32Next(snapshot.get(), &entry))
    if (entry.th32ProcessID == self) return entry.th32ParentProcessID;
  return 0;
}

class TWin32SharedBlocks : public TSharedBlockSystem {
 public:
  bool Create(const std::string& name) override {
    HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(TInstanceRecord),
                                  name.c_str());
    if (!h) RaiseLastOSError();
    const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    view_.reset();
    mapping_.reset(h);
    return existed;
  }

  bool Open(const std::string& name) override {
    HANDLE h = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name.c_str());
    if (!h) return false;
    view_.reset();
    mapping_.reset(h);
    return true;
  }

  TInstanceRecord* Map() override {
    view_.reset(MapViewOfFile(mapping_.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(TInstanceRecord)));
    return static_cast<TInstanceRecord*>(view_.get());
  }

  void Close() override {
    view_.reset();
    mapping_.reset();
  }

  void BringForward(uint32_t window) override {
    HWND app = reinterpret_cast<HWND>(static_cast<uintptr_t>(window));
    // The stored window is the hidden application window; the window the user sees and minimises is
    // the main window it owns. Act on that one, and on a modal dialog above it if one is open.
    HWND target = IsWindowVisible(app) ? app : VisibleOwnedWindow(app);
    if (!target) target = app;
    if (IsIconic(target)) ShowWindow(target, SW_RESTORE);
    HWND popup = GetLastActivePopup(target);
    SetForegroundWindow(popup ? popup : target);
  }

  bool HolderEnded(uint32_t window) override {
    HWND app = reinterpret_cast<HWND>(static_cast<uintptr_t>(window));
    // The application window lives until after the slot is given back; without it, its process is gone.
    if (!IsWindow(app)) return true;
    DWORD holder = 0;
    GetWindowThreadProcessId(app, &holder);
    if (holder == 0 || holder != ParentProcessId()) return false;
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, holder));
    return process && WaitForSingleObject(process.get(), kRestartWaitMs) == WAIT_OBJECT_0;
  }

  [[noreturn]] void RaiseLastError() override { RaiseLastOSError(); }

 private:
  struct OwnedSearch {
    HWND owner;
    HWND found;
  };
  static BOOL CALLBACK CheckOwned(HWND h, LPARAM p) noexcept {
    auto* s = reinterpret_cast<OwnedSearch*>(p);
    if (GetWindow(h, GW_OWNER) == s->owner && IsWindowVisible(h) &&
        (GetWindowLongA(h, GWL_EXSTYLE) & WS_EX_APPWINDOW)) {
      s->found = h;
      return FALSE;
    }
    return TRUE;
  }
  static HWND VisibleOwnedWindow(HWND owner) {
    OwnedSearch search{owner, nullptr};
    DWORD thread = GetWindowThreadProcessId(owner, nullptr);
    if (thread) EnumThreadWindows(thread, CheckOwned, reinterpret_cast<LPARAM>(&search));
    return search.found;
  }

  UniqueHandle mapping_;
  UniqueView view_;
};

// The guard lives as long as the process: the mapping it holds keeps the block in existence.
TWin32SharedBlocks& Blocks() {
  static TWin32SharedBlocks blocks;
  return blocks;
}
TInstanceGuard& Guard() {
  static TInstanceGuard guard(Blocks(), ProgramFileName());
  return guard;
}

}  // namespace

bool ActivateRunningInstance(HWND window, int limit) {
  return Guard().ActivateRunningInstance(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window)), limit);
}

void ReleaseInstanceSlot() {
  Guard().ReleaseInstanceSlot();
}

}  // namespace sondrel
