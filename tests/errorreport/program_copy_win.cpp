#include "tests/errorreport/program_copy_win.h"

#include <windows.h>
#include <shlobj.h>

#include "base/file.h"
#include "base/handle_win.h"
#include "base/shell_folder_win.h"
#include "errorreport/delivery/options_block.h"
#include "errorreport/delivery/options_block_win.h"
#include "tests/support/process_win.h"

namespace sondrel::test {
namespace {

const char* const kDataFiles[] = {"BuiltInDB.dat", "SitesDB.dat", "TabsDB.dat", "Settings.dat"};

}  // namespace

bool PrepareProgramCopy(const std::string& folder, const std::function<void(TReportModuleOptions&)>& edit,
                        std::string& why) {
  ForceDirectories(folder);
  const std::string program = folder + "Sondrel.exe";
  if (!CopyFileA((ProgramFolder() + "Sondrel.exe").c_str(), program.c_str(), FALSE)) {
    why = "cannot copy Sondrel.exe";
    return false;
  }
  for (const char* f : kDataFiles) CopyFileA((ProgramFolder() + f).c_str(), (folder + f).c_str(), FALSE);
  TReportModuleOptions options("", false);
  std::optional<ModuleBlock> block;
  {
    UniqueModule m(LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (m) block = ReadResourceOptionsBlock(m.get(), options);
  }
  if (!block) {
    why = "Sondrel.exe carries no options block";
    return false;
  }
  edit(options);
  const std::string data = BuildResourceBlock(options, block->debug_data, block->reserved);
  HANDLE update = BeginUpdateResourceA(program.c_str(), FALSE);
  if (!update || !UpdateResourceA(update, MAKEINTRESOURCEA(10), "ERDATA", MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                  const_cast<char*>(data.data()), static_cast<DWORD>(data.size())) ||
      !EndUpdateResourceA(update, FALSE)) {
    why = "the resource updater failed";
    return false;
  }
  TReportModuleOptions reread("", false);
  UniqueModule m(LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (!m || !ReadResourceOptionsBlock(m.get(), reread) || reread.Values() != options.Values()) {
    why = "the rewritten block does not read back";
    return false;
  }
  return true;
}

KeepDataFolder::KeepDataFolder() : folder_(IncludeBackslash(GetSpecialFolder(CSIDL_APPDATA)) + "Korvanta\\Windlesk\\") {
  for (const char* f : kDataFiles) saved_[f] = ReadFileBytes(folder_ + f);
}

KeepDataFolder::~KeepDataFolder() {
  for (const auto& [name, bytes] : saved_) {
    if (bytes)
      WriteFileAtomic(folder_ + name, *bytes);
    else
      DeleteFileAt(folder_ + name);
  }
}

}  // namespace sondrel::test
