#include "app/startup_win.h"

#include <windows.h>
#include <shlobj.h>

#include "base/file.h"
#include "base/shell_folder_win.h"
#include "model/data_files.h"

namespace sondrel {

std::string PrepareDataFolder() {
  const std::string program_folder = ProgramFolder();
  // The local folder is only the fallback: asked for only when there is no roaming one (each shell
  // folder lookup costs start-up time).
  const std::string app_data = GetSpecialFolder(CSIDL_APPDATA);
  std::string folder = ChooseDataFolder(app_data, app_data.empty() ? GetSpecialFolder(CSIDL_LOCAL_APPDATA) : "",
                                        program_folder);
  ForceDirectories(folder);
  MoveDefaultFiles(program_folder, folder);
  return folder;
}

}  // namespace sondrel
