#pragma once
// Shell special folders and the running program's own path.
#include <string>

namespace sondrel {

// The file-system path of a shell special folder (a CSIDL_ number, such as CSIDL_APPDATA = 26), as the
// shell reports it, without a trailing backslash; "" when the shell knows no such folder.
std::string GetSpecialFolder(int folder);
// The full path of the running program file, as the system reports it for the process.
std::string ProgramFileName();
// The program's folder with a trailing backslash.
std::string ProgramFolder();

}  // namespace sondrel
