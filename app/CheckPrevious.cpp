#include "app/CheckPrevious.h"

namespace sondrel {

std::string InstanceBlockName(std::string_view program_path) {
  std::string name;
  for (char c : program_path)
    if (c != '\\') name += c;
  return name;
}

TInstanceRecord* TInstanceGuard::MapOrRaise() {
  // Writing through a view that failed would fault; the failure is the system's to report.
  TInstanceRecord* record = system_.Map();
  if (!record) system_.RaiseLastError();
  return record;
}

bool TInstanceGuard::ActivateRunningInstance(uint32_t window, int limit) {
  name_ = InstanceBlockName(program_path_);
  if (!system_.Create(name_)) {
    TInstanceRecord* record = MapOrRaise();
    record->Window = window;
    record->Count = 1;
    counted_ = true;
    return false;
  }
  // The block exists: another instance holds it. When it cannot be opened, end quietly.
  if (!system_.Open(name_)) return true;
  TInstanceRecord* record = MapOrRaise();
  if (limit > record->Count) {
    record->Window = window;
    record->Count += 1;
    counted_ = true;
    return false;
  }
  // Its slot is not given back by an instance that was ended from outside or by the exception
  // reporter (which restarts the program that way); the record would then refuse every later start.
  if (system_.HolderEnded(record->Window)) {
    record->Window = window;
    counted_ = true;
    return false;
  }
  registered_ = false;
  system_.BringForward(record->Window);
  return true;
}

void TInstanceGuard::ReleaseInstanceSlot() {
  // A process that never added itself (its start failed, or it could not open the block) must not take
  // another instance's slot away: the count would then let a second copy run beside the first.
  auto close = [this] {
    system_.Close();
    name_.clear();
  };
  if (registered_ && counted_) {
    try {
      // The process still holds the block, so it is there to open.
      if (!system_.Open(name_)) system_.RaiseLastError();
      MapOrRaise()->Count -= 1;
      counted_ = false;
    } catch (...) {
      close();
      throw;
    }
  }
  close();
}

}  // namespace sondrel
