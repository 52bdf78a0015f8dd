#include "errorreport/capture/pe_image.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"

namespace sondrel {
namespace {
constexpr uint32_t kPage = 0x1000;
constexpr uint32_t kMaxSections = 96;      // the loader's own limit
constexpr uint32_t kMaxExportNames = 0x10000;
constexpr uint32_t kMaxNameLength = 255;
}  // namespace

ImageView::ImageView(MemoryReader& memory, uint32_t base) : memory_(memory), base_(base) {
  // Until the optional header is read only the first page is known to belong to the image.
  size_of_image_ = kPage;
  if (read<uint16_t>(0) != 0x5A4D) return;  // "MZ"
  const auto pe = read<uint32_t>(60);
  if (!pe || *pe > kPage - 24 || read<uint32_t>(*pe) != 0x4550) return;  // "PE\0\0"
  const uint32_t file_header = *pe + 4;
  const auto sections = read<uint16_t>(file_header + 2);
  const auto optional_size = read<uint16_t>(file_header + 16);
  const auto characteristics = read<uint16_t>(file_header + 18);
  const uint32_t opt = file_header + 20;
  if (!sections || !optional_size || !characteristics || read<uint16_t>(opt) != 0x10B) return;  // PE32
  const auto code_size = read<uint32_t>(opt + 4);
  const auto code_base = read<uint32_t>(opt + 20);
  const auto image_size = read<uint32_t>(opt + 56);
  const auto dir_count = read<uint32_t>(opt + 92);
  if (!code_size || !code_base || !image_size || !dir_count || *image_size < kPage) return;
  characteristics_ = *characteristics;
  size_of_code_ = *code_size;
  base_of_code_ = *code_base;
  size_of_image_ = *image_size;
  auto dir = [&](uint32_t i) {
    DataDirectory d;
    if (i < *dir_count && 96 + 8 * (i + 1) <= *optional_size) {
      d.rva = read<uint32_t>(opt + 96 + 8 * i).value_or(0);
      d.size = read<uint32_t>(opt + 100 + 8 * i).value_or(0);
    }
    return d;
  };
  exports_ = dir(0);
  resources_ = dir(2);
  const uint32_t table = opt + *optional_size;
  for (uint32_t i = 0; i < std::min<uint32_t>(*sections, kMaxSections); ++i) {
    auto vsize = read<uint32_t>(table + 40 * i + 8);
    auto vaddr = read<uint32_t>(table + 40 * i + 12);
    if (!vsize || !vaddr) break;
    sections_.push_back({*vaddr, *vsize});
  }
  valid_ = true;
}

const std::string* ImageView::Page(uint32_t page_rva) {
  if (auto it = pages_.find(page_rva); it != pages_.end()) return it->second.empty() ? nullptr : &it->second;
  std::string bytes(kPage, '\0');
  // An unreadable page is remembered as empty so that it is not asked for again.
  if (uint64_t{base_} + page_rva > UINT32_MAX || !memory_.Read(base_ + page_rva, bytes.data(), kPage)) bytes.clear();
  auto& slot = pages_[page_rva] = std::move(bytes);
  return slot.empty() ? nullptr : &slot;
}

bool ImageView::ReadBytes(uint32_t rva, void* out, uint32_t length) {
  if (rva > size_of_image_ || size_of_image_ - rva < length) return false;
  auto* dst = static_cast<char*>(out);
  while (length > 0) {
    const uint32_t page = rva & ~(kPage - 1);
    const std::string* bytes = Page(page);
    if (!bytes) return false;
    const uint32_t n = std::min(length, kPage - (rva - page));
    std::memcpy(dst, bytes->data() + (rva - page), n);
    dst += n;
    rva += n;
    length -= n;
  }
  return true;
}

std::optional<std::string> ImageView::read_string(uint32_t rva, uint32_t max_length) {
  std::string s;
  for (uint64_t at = rva; at < size_of_image_;) {
    const auto page_rva = static_cast<uint32_t>(at & ~uint64_t{kPage - 1});
    const std::string* page = Page(page_rva);
    if (!page) return std::nullopt;
    const uint64_t limit = std::min<uint64_t>(size_of_image_, uint64_t{page_rva} + kPage);
    for (; at < limit; ++at) {
      const char c = (*page)[at - page_rva];
      if (c == 0) return s;
      if (s.size() == max_length) return std::nullopt;
      s.push_back(c);
    }
  }
  return std::nullopt;
}

std::vector<ImageExport> ImageView::Exports() {
  std::vector<ImageExport> out;
  if (!valid_ || exports_.rva == 0 || exports_.size < 40) return out;
  // The export directory must lie in a section, as the loader expects.
  const bool in_section = std::any_of(sections_.begin(), sections_.end(), [&](const Section& s) {
    return exports_.rva >= s.rva && exports_.rva - s.rva < s.size;
  });
  const uint32_t dir = exports_.rva;
  if (!in_section || read<uint32_t>(dir) != 0) return out;
  const auto functions = read<uint32_t>(dir + 20);
  const auto names = read<uint32_t>(dir + 24);
  const auto function_table = read<uint32_t>(dir + 28);
  const auto name_table = read<uint32_t>(dir + 32);
  const auto ordinal_table = read<uint32_t>(dir + 36);
  if (!functions || !names || !function_table || !name_table || !ordinal_table) return out;
  const uint32_t count = std::min({*functions, *names, kMaxExportNames});
  for (uint32_t i = 0; i < count; ++i) {
    const auto name_rva = read<uint32_t>(*name_table + 4 * i);
    const auto ordinal = read<uint16_t>(*ordinal_table + 2 * i);
    if (!name_rva || !ordinal || *ordinal >= *functions) continue;
    const auto rva = read<uint32_t>(*function_table + 4 * *ordinal);
    // A forwarder's "entry" is the text naming another module's export.
    if (!rva || *rva == 0 || *rva >= size_of_image_ || (*rva >= dir && *rva - dir < exports_.size)) continue;
    auto name = read_string(*name_rva, kMaxNameLength);
    if (!name) continue;
    out.push_back({std::move(*name), base_ + *rva, 0});
  }
  for (auto& e : out) e.size = EstimateProcedureSize(e.entry);
  std::stable_sort(out.begin(), out.end(), [](const ImageExport& a, const ImageExport& b) { return a.entry < b.entry; });
  return out;
}

uint32_t ImageView::EstimateProcedureSize(uint32_t entry) {
  if (entry < base_) return 1;
  const uint32_t start = entry - base_;
  const uint64_t code_end = std::min<uint64_t>(uint64_t{base_of_code_} + size_of_code_, size_of_image_);
  auto is_return = [](uint8_t b) { return b == 0xC2 || b == 0xC3 || b == 0xCA || b == 0xCB; };
  std::optional<uint8_t> first = read<uint8_t>(start);
  if (!first || start >= code_end) return 1;
  const bool frame = *first == 0x55;
  // Page by page: a procedure without a recognisable return is scanned to the end of the code.
  bool after_epilogue = false;  // the byte before was 5D or C9
  for (uint64_t at = start; at < code_end;) {
    const auto page_rva = static_cast<uint32_t>(at & ~uint64_t{kPage - 1});
    const std::string* page = Page(page_rva);
    if (!page) return 1;
    const uint64_t limit = std::min<uint64_t>(code_end, uint64_t{page_rva} + kPage);
    for (; at < limit; ++at) {
      const auto b = static_cast<uint8_t>((*page)[at - page_rva]);
      if (frame) {
        if (after_epilogue && is_return(b)) return std::max<uint32_t>(static_cast<uint32_t>(at - 1 - start), 1);
        after_epilogue = b == 0x5D || b == 0xC9;
      } else if (is_return(b)) {
        return std::max<uint32_t>(static_cast<uint32_t>(at - start), 1);
      }
    }
  }
  return 1;
}

bool ImageView::HasNamedResource(uint16_t type_id, std::string_view name) {
  if (!valid_ || resources_.rva == 0) return false;
  const uint32_t root = resources_.rva;
  // The entries of the directory at rva: (name or id field, offset field).
  auto entries = [&](uint32_t rva) {
    std::vector<std::pair<uint32_t, uint32_t>> list;
    const auto named = read<uint16_t>(rva + 12);
    const auto ids = read<uint16_t>(rva + 14);
    if (!named || !ids) return list;
    for (uint32_t i = 0; i < uint32_t{*named} + *ids; ++i) {
      auto n = read<uint32_t>(rva + 16 + 8 * i);
      auto o = read<uint32_t>(rva + 20 + 8 * i);
      if (!n || !o) break;
      list.emplace_back(*n, *o);
    }
    return list;
  };
  for (auto [type, offset] : entries(root)) {
    if ((type & 0x80000000u) || type != type_id || !(offset & 0x80000000u)) continue;
    for (auto [entry_name, entry_offset] : entries(root + (offset & 0x7FFFFFFFu))) {
      if (!(entry_name & 0x80000000u)) continue;
      // The name is counted UTF-16; resource names here are ASCII.
      const uint32_t at = root + (entry_name & 0x7FFFFFFFu);
      const auto length = read<uint16_t>(at);
      if (!length || *length != name.size()) continue;
      std::string text;
      for (uint32_t i = 0; i < *length; ++i) {
        auto ch = read<uint16_t>(at + 2 + 2 * i);
        if (!ch) break;
        text.push_back(*ch < 0x80 ? static_cast<char>(*ch) : '?');
      }
      if (SameText(text, name)) return true;
    }
  }
  return false;
}

}  // namespace sondrel
