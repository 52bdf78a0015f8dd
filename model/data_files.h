#pragma once
// Where the data files live and how the default copies beside the program reach that folder.
#include <string>
#include <string_view>

namespace sondrel {

// The four data files in the order the start-up move handles them.
inline constexpr const char* kDataFileNames[] = {"BuiltInDB.dat", "SitesDB.dat", "TabsDB.dat",
                                                 "Settings.dat"};

// The per-user data folder under an application-data folder: the folder with a backslash added when it
// has none, then "Korvanta\Windlesk\". When the shell names no application-data folder (empty text),
// the fallback folder is used in its place (see ChooseDataFolder).
std::string DataFolderUnder(std::string_view app_data);
// The application-data folder if there is one, else the local one, else the program's folder; the
// data folder is always below it, never the program's folder itself.
std::string ChooseDataFolder(std::string_view app_data, std::string_view local_app_data,
                             std::string_view program_folder);

// Moves each default file from the program's folder into the data folder (both with a trailing
// separator), in the order of kDataFileNames: a file the data folder already has makes the default
// copy be deleted unread; otherwise the default is copied in (in one step: a partial copy never takes
// the data file's name) and deleted once the copy succeeded. A default that cannot be copied stays
// where it is. Nothing is reported.
void MoveDefaultFiles(const std::string& program_folder, const std::string& data_folder);

}  // namespace sondrel
