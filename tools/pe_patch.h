#pragma once
// Puts an options block into a built Windows program: as an "ERDATA" RCDATA resource, or as a trailer
// after the file's last byte.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sondrel::tools {

// The image base from the program's PE header; std::runtime_error when the bytes are not a PE32 image.
uint32_t PeImageBase(std::string_view image);

// Returns the program with the resource RCDATA "ERDATA" holding data added. The existing resources keep
// their data where it is; a complete new resource directory that also lists the new resource goes into
// a new section placed after the program's last loaded section (debug sections move up behind it), and
// the resource data directory points there. Raises std::runtime_error when the program already has an
// "ERDATA" resource or its headers have no room for one more section.
std::string AddResourceBlock(std::string image, std::string_view data);

// The data of the first language of a resource, found through the resource directory as the loader
// does: type by id, name by text (named) or by id; nullopt when it is missing.
struct ResourceName {
  std::u16string text;  // used when not empty
  uint32_t id = 0;
};
std::optional<std::string> FindResourceData(std::string_view image, uint32_t type, const ResourceName& name);
// The resource "ERDATA" of RCDATA in the image; empty when it is missing.
std::string FindResourceBlock(std::string_view image);

// Returns the file with a trailer block appended; an existing trailer (the file ends with the block
// magic) is replaced.
std::string AddTrailerBlock(std::string file, std::string_view trailer);

}  // namespace sondrel::tools
