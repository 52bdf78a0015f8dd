#pragma once
// A bounds-checked view of a module's image as it is mapped in memory, read in place through a
// MemoryReader: headers, export table, resource names. Every offset that comes from the image is
// checked against the image size before it is followed, so a damaged or hostile image gives empty
// results, never a fault.
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "errorreport/capture/memory_reader.h"

namespace sondrel {

struct ImageExport {
  std::string name;
  uint32_t entry = 0;  // absolute address
  uint32_t size = 0;   // estimated
};

class ImageView {
 public:
  // Reads the headers of the image loaded at base; valid() is false when they are not a PE32 image.
  ImageView(MemoryReader& memory, uint32_t base);

  bool valid() const noexcept { return valid_; }
  uint32_t base() const noexcept { return base_; }
  uint32_t size_of_image() const noexcept { return size_of_image_; }
  bool is_dll() const noexcept { return (characteristics_ & 0x2000) != 0; }

  // The integer at rva, when it lies inside the image and can be read.
  template <class T>
  std::optional<T> read(uint32_t rva);
  // A zero-terminated string of at most max_length characters at rva; nullopt when it does not end
  // within that length inside the image.
  std::optional<std::string> read_string(uint32_t rva, uint32_t max_length);

  // The named exports (name pointer table), with entries inside the image; forwarders are left out.
  // Sorted by entry. At most min(number of functions, number of names) names are read.
  std::vector<ImageExport> Exports();
  // Bytes of the procedure at entry up to its return: from a frame-building entry (55) to the first
  // 5D or C9 followed by C2, C3, CA or CB; otherwise to the first C2, C3, CA or CB; 1 when none lies
  // before the end of the code section.
  uint32_t EstimateProcedureSize(uint32_t entry);
  // True when the image has a resource of the given numeric type whose name (not id) equals name,
  // letter case ignored.
  bool HasNamedResource(uint16_t type_id, std::string_view name);

 private:
  struct DataDirectory {
    uint32_t rva = 0, size = 0;
  };
  bool ReadBytes(uint32_t rva, void* out, uint32_t length);
  const std::string* Page(uint32_t page_rva);

  MemoryReader& memory_;
  uint32_t base_;
  bool valid_ = false;
  uint16_t characteristics_ = 0;
  uint32_t size_of_image_ = 0, base_of_code_ = 0, size_of_code_ = 0;
  DataDirectory exports_, resources_;
  struct Section {
    uint32_t rva, size;
  };
  std::vector<Section> sections_;
  // Pages read so far: an export table or a code scan touches the same pages many times, and each
  // read through the system costs a call.
  std::unordered_map<uint32_t, std::string> pages_;
};

template <class T>
std::optional<T> ImageView::read(uint32_t rva) {
  unsigned char b[sizeof(T)];
  if (!ReadBytes(rva, b, sizeof b)) return std::nullopt;
  std::make_unsigned_t<T> v = 0;
  for (size_t i = sizeof(T); i-- > 0;) v = static_cast<std::make_unsigned_t<T>>((v << 8) | b[i]);
  return static_cast<T>(v);
}

}  // namespace sondrel
