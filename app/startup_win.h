#pragma once
// The first half of the main window's creation that concerns the data files.
#include <string>

namespace sondrel {

// Computes the per-user data folder (the application-data folder and "Korvanta\Windlesk\"), creates it
// with its parents (a failure is not reported: the data files are then neither found nor written) and
// moves the default files beside the program into it. Returns the folder with its trailing backslash.
std::string PrepareDataFolder();

}  // namespace sondrel
