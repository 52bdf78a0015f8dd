#pragma once
// The interception points of the reporter, placed in steps by the manager's installation and removed
// by its finalisation: 1 before the module list exists, 2 once the options are known, 3 the final
// unhandled-exception procedures, 4 the hooks on the system's raise, unwind and thread routines.
namespace sondrel {

void InstallInterception(int step) noexcept;
void RemoveInterception() noexcept;

}  // namespace sondrel
