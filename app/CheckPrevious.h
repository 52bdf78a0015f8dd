#pragma once
// The single-instance guard. Every running instance of one program file shares a named block of
// 8 bytes: the application window of the instance that registered last, and the number of instances
// registered and not yet ended. The block's name is the program's full path without its backslashes,
// so copies of the program in different folders do not see each other. Creating the named block is
// atomic in the system: of two instances started together exactly one finds it new.
//
// TInstanceGuard holds the steps; TSharedBlockSystem is the system's side (file mappings and windows on
// Windows, see CheckPrevious_win.h; a test double elsewhere).
#include <cstdint>
#include <string>
#include <string_view>

namespace sondrel {

struct TInstanceRecord {
  uint32_t Window;  // the application window, as a 32-bit handle
  int32_t Count;    // instances registered and not yet ended
};
static_assert(sizeof(TInstanceRecord) == 8, "the shared record is exactly 8 bytes");

// "C:\Apps\Tool\Hunspar.exe" -> "C:AppsToolHunspar.exe".
std::string InstanceBlockName(std::string_view program_path);

class TSharedBlockSystem {
 public:
  virtual ~TSharedBlockSystem() = default;
  // Creates the named block of 8 bytes, or gets the one that exists; true when it existed already.
  // Raises the system's last error when neither works.
  virtual bool Create(const std::string& name) = 0;
  // Opens the existing block by name; the block held so far is replaced. False when that fails.
  virtual bool Open(const std::string& name) = 0;
  // Maps the block held, replacing an earlier view; null when that fails.
  virtual TInstanceRecord* Map() = 0;
  // Unmaps the view and lets go of the block, each only if present.
  virtual void Close() = 0;
  // Restores the window (or the window standing for the program) when minimised, and brings it forward.
  virtual void BringForward(uint32_t window) = 0;
  // True when the instance that registered this window has ended without giving its slot back: its
  // window is gone, or it is the process that started this one and it ends within a short wait (the
  // exception reporter's restart starts the new process first and ends the old one just after).
  virtual bool HolderEnded(uint32_t window) = 0;
  [[noreturn]] virtual void RaiseLastError() = 0;
};

class TInstanceGuard {
 public:
  TInstanceGuard(TSharedBlockSystem& system, std::string program_path)
      : system_(system), program_path_(std::move(program_path)) {}

  // True: another instance (at least limit of them) runs and has been brought forward, or the block
  // could not be opened; this process must end now. False: this process has registered and goes on;
  // it takes the place of the last registered instance when that one ended without giving its slot
  // back. Raises the system's error when the block cannot be created or mapped.
  bool ActivateRunningInstance(uint32_t window, int limit);
  // Runs once at the end of every process that ran the guard: gives back the slot this process took,
  // if it took one, and lets go of the block.
  void ReleaseInstanceSlot();

  bool Registered() const { return registered_; }
  bool Counted() const { return counted_; }

 private:
  TInstanceRecord* MapOrRaise();

  TSharedBlockSystem& system_;
  std::string program_path_;
  std::string name_;
  // Cleared only when this process found the limit reached.
  bool registered_ = true;
  // Set once this process has added itself to the count; only then does it take itself off again.
  bool counted_ = false;
};

}  // namespace sondrel
