// Any bytes mapped as a module image give an export list without faults, whose entries lie inside the
// image, sorted, with sizes of at least 1; the resource lookup and the name splitting never fault.
#include <cstdint>
#include <string>

#include "errorreport/capture/export_names.h"
#include "errorreport/capture/pe_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr uint32_t kBase = 0x10000000;
  sondrel::BufferMemory memory;
  memory.Add(kBase, std::string(reinterpret_cast<const char*>(data), size));
  sondrel::ImageView image(memory, kBase);
  auto exports = image.Exports();
  for (size_t i = 0; i < exports.size(); ++i) {
    const auto& e = exports[i];
    if (e.entry < kBase || e.entry - kBase >= image.size_of_image() || e.size == 0 || e.name.size() > 255)
      __builtin_trap();
    if (i > 0 && exports[i - 1].entry > e.entry) __builtin_trap();
    (void)sondrel::SplitExportName(e.name);
  }
  (void)image.HasNamedResource(10, "PACKAGEINFO");
  (void)image.EstimateProcedureSize(kBase + 0x1000);
  return 0;
}
