#pragma once
// The options mapping: a named shared-memory block per module through which the module that holds the
// reporter publishes its run-time option changes to the other modules of the process.
// Layout: a 32-bit total size (payload size + 4), then the payload: a flag byte (1 = options present,
// 0 = not yet published) followed by an options stream.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sondrel {

// Eight upper-case hexadecimal digits of the process id, eight of the module handle, then "MODULE".
std::string OptionsMappingName(uint32_t process_id, uintptr_t module_handle);

// The whole mapping content for a payload.
std::string EncodeOptionsMapping(std::string_view payload);
// The payload of a mapping's content of `available` bytes; nullopt when the stored total size is
// below 4 or larger than what is available (a corrupt size must not make the reader run past the view).
std::optional<std::string_view> DecodeOptionsMapping(std::string_view available);
// The options stream of a payload whose flag byte says options are present, else nullopt.
std::optional<std::string_view> PublishedOptionsStream(std::string_view payload);

// --- Platform side (options_mapping_win.cpp; a process-local stand-in in options_mapping_posix.cpp) ---

// True when the module the system knows under this file name is the one that holds the reporter.
bool IsSubsystemModuleFile(const std::string& module_file_name);
// Replaces the reporter module's mapping with a new one holding this payload. Failures leave no
// mapping; they are not errors of the program.
void PublishSubsystemOptions(std::string_view payload);
// Creates the reporter module's mapping with the one-byte payload "not yet published".
void CreateSubsystemOptionsMapping();
// Closes the reporter module's mapping.
void CloseSubsystemOptionsMapping();
// The payload published by a module of this process, when its mapping exists; never creates one.
std::optional<std::string> ReadModuleOptionsMapping(uintptr_t module_handle);
// The handle and the full file name of the module that holds the reporter.
uintptr_t SubsystemModuleHandle();
std::string SubsystemModuleFileName();

}  // namespace sondrel
