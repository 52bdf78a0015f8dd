#pragma once
// Which HTML Help library the program uses and which file it shows, apart from loading it.
#include <functional>
#include <string>
#include <string_view>

#include "launch/default_browser.h"

namespace sondrel {

// Under HKEY_CLASSES_ROOT; its default value names the HTML Help library file.
inline constexpr char kHtmlHelpServerKey[] = "CLSID\\{adb880a6-d8ff-11cf-9377-00aa003b7a11}\\InprocServer32";
inline constexpr char kHelpFileName[] = "Sondrel.chm";

// The library file the registration names; "" when the key or its value is missing, or when no such
// file exists.
std::string HtmlHelpLibraryPath(const RegistryReader& registry,
                                const std::function<bool(const std::string&)>& file_exists);

// The help file in the program's folder (given with its trailing backslash).
std::string HelpFilePath(std::string_view program_folder);

}  // namespace sondrel
