#include "app/startup_win.h"

#include <windows.h>
#include <shlobj.h>

#include "base/file.h"
#include "base/shell_folder_win.h"
#include "model/data_files.h"

namespace sondrel {

std::string PrepareDataFolder() {
  const std::string program_folder = ProgramFolder();
  std::string folder = ChooseDataFolder(GetSpecialFolder(CSIDL_APPDATA),
                                        GetSpecialFolder(CSIDL_LOCAL_APPDATA), program_folder);
  ForceDirectories(folder);
  MoveDefaultFiles(program_folder, folder);
  return folder;
}

}  // namespace sondrel
