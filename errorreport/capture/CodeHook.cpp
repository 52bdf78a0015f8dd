#include "errorreport/capture/CodeHook.h"

#include <algorithm>
#include <cstring>

namespace sondrel {

std::string ProcNullMessage(const std::string& display_name) {
  return "Cannot hook a null procedure (\"" + display_name + "\").";
}
std::string SharedAreaMessage(const std::string& module_file) {
  return "Cannot hook the module \"" + module_file + "\" located into the shared-area.";
}
std::string HookingErrorMessage(const std::string& display_name) {
  return "Cannot hook the procedure \"" + display_name + "\".";
}

std::uint32_t FollowThunk(MemoryReader& memory, std::uint32_t address) {
  std::uint8_t b[8];
  if (address == 0 || !memory.Read(address, b, sizeof b)) return address;
  if (b[0] != 0xFF || b[1] != 0x25) return address;
  const bool filler = (b[6] == 0x8B && b[7] == 0xC0) || (b[6] == 0x90 && b[7] == 0x90);
  if (!filler) return address;
  const std::uint32_t slot = static_cast<std::uint32_t>(b[2]) | static_cast<std::uint32_t>(b[3]) << 8 |
                             static_cast<std::uint32_t>(b[4]) << 16 | static_cast<std::uint32_t>(b[5]) << 24;
  const auto target = memory.ReadU32(slot);
  return target ? *target : address;
}

namespace {

struct ImageLayout {
  std::uint32_t size_of_image = 0;
  std::uint32_t base_of_code = 0;
  std::uint32_t size_of_code = 0;
  std::uint32_t import_rva = 0;
  std::uint32_t import_size = 0;
};

std::optional<ImageLayout> ReadLayout(MemoryReader& m, std::uint32_t base) {
  std::uint16_t mz;
  if (!m.Read(base, &mz, 2) || mz != 0x5A4D) return std::nullopt;
  const auto lfanew = m.ReadU32(base + 0x3C);
  if (!lfanew || *lfanew > 0x10000000) return std::nullopt;
  const std::uint32_t nt = base + *lfanew;
  const auto sig = m.ReadU32(nt);
  std::uint16_t magic;
  if (!sig || *sig != 0x00004550 || !m.Read(nt + 24, &magic, 2) || magic != 0x10B) return std::nullopt;
  const std::uint32_t opt = nt + 24;
  ImageLayout l;
  const auto code_size = m.ReadU32(opt + 4), code_base = m.ReadU32(opt + 20), image = m.ReadU32(opt + 56),
             dirs = m.ReadU32(opt + 92);
  if (!code_size || !code_base || !image || !dirs) return std::nullopt;
  l.size_of_code = *code_size;
  l.base_of_code = *code_base;
  l.size_of_image = *image;
  if (*dirs > 1) {
    const auto rva = m.ReadU32(opt + 96 + 8), size = m.ReadU32(opt + 96 + 12);
    if (rva && size) {
      l.import_rva = *rva;
      l.import_size = *size;
    }
  }
  return l;
}

// Slots of the import address tables that hold target.
void AddDirectorySlots(MemoryReader& m, std::uint32_t base, const ImageLayout& l, std::uint32_t target,
                       std::vector<std::uint32_t>& out) {
  if (l.import_rva == 0 || l.import_rva >= l.size_of_image) return;
  // A descriptor list or an address table running past the image is a damaged header: stop there.
  constexpr std::uint32_t kDescriptorSize = 20;
  for (std::uint32_t d = base + l.import_rva;; d += kDescriptorSize) {
    if (d + kDescriptorSize > base + l.size_of_image) return;
    std::uint32_t desc[5];
    if (!m.Read(d, desc, sizeof desc)) return;
    if (desc[3] == 0 && desc[4] == 0) return;  // the zero entry ends the list
    const std::uint32_t first_thunk = desc[4];
    if (first_thunk == 0 || first_thunk >= l.size_of_image) continue;
    for (std::uint32_t slot = base + first_thunk; slot + 4 <= base + l.size_of_image; slot += 4) {
      const auto v = m.ReadU32(slot);
      if (!v || *v == 0) break;
      if (*v == target) out.push_back(slot);
    }
  }
}

}  // namespace

std::optional<CodeRange> ModuleCodeRange(MemoryReader& memory, std::uint32_t module_base) {
  const auto l = ReadLayout(memory, module_base);
  if (!l) return std::nullopt;
  return CodeRange{module_base + l->base_of_code, l->size_of_code};
}

std::vector<std::uint32_t> FindImportSlots(MemoryReader& memory, std::uint32_t module_base, std::uint32_t target) {
  std::vector<std::uint32_t> slots;
  const auto l = ReadLayout(memory, module_base);
  if (!l || target == 0) return slots;
  // Only the import directory: this compiler's thunks jump through the same address-table slots, so a
  // scan of the code section for them (megabytes, at every hook placed) finds nothing more.
  AddDirectorySlots(memory, module_base, *l, target, slots);
  std::sort(slots.begin(), slots.end());
  slots.erase(std::unique(slots.begin(), slots.end()), slots.end());
  return slots;
}

}  // namespace sondrel
