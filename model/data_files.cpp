#include "model/data_files.h"

#include "base/exception.h"
#include "base/file.h"
#include "base/text.h"

namespace sondrel {

std::string DataFolderUnder(std::string_view app_data) {
  return IncludeBackslash(app_data) + "Korvanta\\Windlesk\\";
}

std::string ChooseDataFolder(std::string_view app_data, std::string_view local_app_data,
                             std::string_view program_folder) {
  // Without any shell folder the bare "Korvanta\Windlesk\" would be relative to whatever the current
  // folder happens to be; below the program's folder it is at least one fixed place.
  if (!app_data.empty()) return DataFolderUnder(app_data);
  if (!local_app_data.empty()) return DataFolderUnder(local_app_data);
  return DataFolderUnder(program_folder);
}

void MoveDefaultFiles(const std::string& program_folder, const std::string& data_folder) {
  // Were both the same folder, "the user already has the file" would delete the only copy.
  if (SameText(program_folder, data_folder)) return;
  for (const char* name : kDataFileNames) {
    const std::string source = program_folder + name;
    const std::string target = data_folder + name;
    if (FileExists(target)) {
      if (FileExists(source)) DeleteFileAt(source);
      continue;
    }
    auto bytes = ReadFileBytes(source);
    if (!bytes) continue;
    try {
      WriteFileAtomic(target, *bytes);
    } catch (const Exception&) {
      // A data folder that cannot be written is not reported; the default stays for a later start.
      continue;
    }
    DeleteFileAt(source);
  }
}

}  // namespace sondrel
