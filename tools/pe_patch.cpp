#include "tools/pe_patch.h"

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <vector>

#include "errorreport/capture/byte_view.h"
#include "errorreport/delivery/block_format.h"

namespace sondrel::tools {
namespace {

constexpr uint32_t kRtRcdata = 10;
constexpr uint32_t kDiscardable = 0x02000000;
constexpr uint32_t kNewSectionFlags = 0x40000040;  // initialised data, readable

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

uint32_t Align(uint32_t v, uint32_t a) { return a ? (v + a - 1) / a * a : v; }

template <class T>
T Get(std::string_view b, size_t off) {
  auto v = ByteView(b).read<T>(off);
  if (!v) Fail("the program file is cut short");
  return *v;
}

template <class T>
void Put(std::string& b, size_t off, T v) {
  if (off + sizeof(T) > b.size()) Fail("write outside the program file");
  std::string le;
  AppendLE(le, v);
  b.replace(off, sizeof(T), le);
}

struct Section {
  std::string name;  // raw 8-byte name, trailing zeros removed
  uint32_t vsize, va, raw_size, raw_ptr, flags;
};

// The parts of the headers this tool reads or changes.
struct Headers {
  uint32_t coff, opt, sections_off;
  uint16_t count;
  uint32_t symbols_ptr, symbols_count;
  uint32_t image_base, section_align, file_align, size_of_image, size_of_headers;
  uint32_t data_dirs, data_dir_count;
  std::vector<Section> sections;

  explicit Headers(std::string_view b) {
    if (b.size() < 64 || b[0] != 'M' || b[1] != 'Z') Fail("not a Windows program");
    coff = Get<uint32_t>(b, 0x3C) + 4;
    if (Get<uint32_t>(b, coff - 4) != 0x00004550) Fail("no PE signature");
    count = Get<uint16_t>(b, coff + 2);
    symbols_ptr = Get<uint32_t>(b, coff + 8);
    symbols_count = Get<uint32_t>(b, coff + 12);
    opt = coff + 20;
    if (Get<uint16_t>(b, opt) != 0x10B) Fail("not a 32-bit program");
    sections_off = opt + Get<uint16_t>(b, coff + 16);
    image_base = Get<uint32_t>(b, opt + 28);
    section_align = Get<uint32_t>(b, opt + 32);
    file_align = Get<uint32_t>(b, opt + 36);
    size_of_image = Get<uint32_t>(b, opt + 56);
    size_of_headers = Get<uint32_t>(b, opt + 60);
    data_dir_count = Get<uint32_t>(b, opt + 92);
    data_dirs = opt + 96;
    for (uint16_t i = 0; i < count; ++i) {
      const uint32_t s = sections_off + 40u * i;
      std::string name(b.substr(s, 8));
      name.erase(name.find_last_not_of('\0') + 1);
      sections.push_back({name, Get<uint32_t>(b, s + 8), Get<uint32_t>(b, s + 12), Get<uint32_t>(b, s + 16),
                          Get<uint32_t>(b, s + 20), Get<uint32_t>(b, s + 36)});
    }
  }

  // File offset of an RVA, or nullopt when no section's raw data holds it.
  std::optional<uint32_t> FileOffset(uint32_t rva) const {
    for (const Section& s : sections)
      if (rva >= s.va && rva - s.va < s.raw_size) return s.raw_ptr + (rva - s.va);
    return std::nullopt;
  }
  std::pair<uint32_t, uint32_t> DataDir(std::string_view b, uint32_t i) const {
    if (i >= data_dir_count) return {0, 0};
    return {Get<uint32_t>(b, data_dirs + 8 * i), Get<uint32_t>(b, data_dirs + 8 * i + 4)};
  }
};

// Debug sections carry long names ("/4") or ".debug..." and are discardable; they are not part of the
// program the loader runs, so their addresses may move.
bool IsDebugSection(const Section& s) {
  return (s.flags & kDiscardable) && (s.name.rfind(".debug", 0) == 0 || s.name.rfind("/", 0) == 0);
}

struct ResNode {
  bool named = false;
  std::u16string name;
  uint32_t id = 0;
  bool is_dir = false;
  uint32_t characteristics = 0, timestamp = 0;
  uint16_t major = 0, minor = 0;
  std::vector<ResNode> children;
  uint32_t data_rva = 0, size = 0, codepage = 0;
};

// Loaders find entries by halving: named entries first in code-unit order, then ids ascending.
bool EntryLess(const ResNode& a, const ResNode& b) {
  if (a.named != b.named) return a.named;
  return a.named ? a.name < b.name : a.id < b.id;
}

class ResourceParser {
 public:
  ResourceParser(std::string_view image, uint32_t base) : image_(image), base_(base) {}

  ResNode ParseDir(uint32_t off, int depth) {
    if (depth > 3) Fail("resource directory nested too deep");
    const uint32_t at = base_ + off;
    ResNode dir;
    dir.is_dir = true;
    dir.characteristics = Get<uint32_t>(image_, at);
    dir.timestamp = Get<uint32_t>(image_, at + 4);
    dir.major = Get<uint16_t>(image_, at + 8);
    dir.minor = Get<uint16_t>(image_, at + 10);
    const uint32_t n = uint32_t{Get<uint16_t>(image_, at + 12)} + Get<uint16_t>(image_, at + 14);
    for (uint32_t i = 0; i < n; ++i) {
      const uint32_t e = at + 16 + 8 * i;
      const uint32_t name = Get<uint32_t>(image_, e);
      const uint32_t target = Get<uint32_t>(image_, e + 4);
      ResNode node;
      if (name & 0x80000000u) {
        node.named = true;
        const uint32_t s = base_ + (name & 0x7FFFFFFF);
        const uint16_t len = Get<uint16_t>(image_, s);
        for (uint16_t k = 0; k < len; ++k) node.name += static_cast<char16_t>(Get<uint16_t>(image_, s + 2 + 2 * k));
      } else {
        node.id = name;
      }
      if (target & 0x80000000u) {
        ResNode sub = ParseDir(target & 0x7FFFFFFF, depth + 1);
        sub.named = node.named;
        sub.name = node.name;
        sub.id = node.id;
        node = std::move(sub);
      } else {
        const uint32_t d = base_ + target;
        node.data_rva = Get<uint32_t>(image_, d);
        node.size = Get<uint32_t>(image_, d + 4);
        node.codepage = Get<uint32_t>(image_, d + 8);
      }
      dir.children.push_back(std::move(node));
    }
    return dir;
  }

 private:
  std::string_view image_;
  uint32_t base_;
};

ResNode ReadTree(std::string_view image, const Headers& h) {
  auto [rva, size] = h.DataDir(image, 2);
  if (rva == 0 || size == 0) {
    ResNode root;
    root.is_dir = true;
    return root;
  }
  auto off = h.FileOffset(rva);
  if (!off) Fail("the resource directory lies outside the file");
  return ResourceParser(image, *off).ParseDir(0, 0);
}

const std::u16string kBlockName = u"ERDATA";

// Lays out a resource tree: every directory, then every data entry, then every name, then the
// payloads that are new; rva_base is the address the bytes will be loaded at.
std::string WriteTree(ResNode& root, uint32_t rva_base, std::string_view new_data, ResNode* new_leaf) {
  std::vector<ResNode*> dirs, leaves, names;
  std::function<void(ResNode&)> collect = [&](ResNode& n) {
    dirs.push_back(&n);
    for (ResNode& c : n.children) {
      if (c.named) names.push_back(&c);
      if (!c.is_dir) leaves.push_back(&c);
    }
    for (ResNode& c : n.children)
      if (c.is_dir) collect(c);
  };
  collect(root);
  std::vector<uint32_t> dir_off, leaf_off, name_off;
  uint32_t pos = 0;
  for (ResNode* d : dirs) {
    dir_off.push_back(pos);
    pos += 16 + 8 * static_cast<uint32_t>(d->children.size());
  }
  for (size_t i = 0; i < leaves.size(); ++i) {
    leaf_off.push_back(pos);
    pos += 16;
  }
  for (ResNode* n : names) {
    name_off.push_back(pos);
    pos += 2 + 2 * static_cast<uint32_t>(n->name.size());
  }
  pos = Align(pos, 8);
  const uint32_t data_off = pos;
  new_leaf->data_rva = rva_base + data_off;
  new_leaf->size = static_cast<uint32_t>(new_data.size());

  auto index_of = [](const std::vector<ResNode*>& v, const ResNode* n) {
    return static_cast<size_t>(std::find(v.begin(), v.end(), n) - v.begin());
  };
  std::string out;
  for (ResNode* d : dirs) {
    uint16_t named = 0, ids = 0;
    for (const ResNode& c : d->children) (c.named ? named : ids)++;
    AppendLE(out, d->characteristics);
    AppendLE(out, d->timestamp);
    AppendLE(out, d->major);
    AppendLE(out, d->minor);
    AppendLE(out, named);
    AppendLE(out, ids);
    for (ResNode& c : d->children) {
      AppendLE(out, c.named ? (name_off[index_of(names, &c)] | 0x80000000u) : c.id);
      AppendLE(out, c.is_dir ? (dir_off[index_of(dirs, &c)] | 0x80000000u) : leaf_off[index_of(leaves, &c)]);
    }
  }
  for (ResNode* l : leaves) {
    AppendLE(out, l->data_rva);
    AppendLE(out, l->size);
    AppendLE(out, l->codepage);
    AppendLE(out, uint32_t{0});
  }
  for (ResNode* n : names) {
    AppendLE(out, static_cast<uint16_t>(n->name.size()));
    for (char16_t c : n->name) AppendLE(out, static_cast<uint16_t>(c));
  }
  out.resize(data_off, '\0');
  out.append(new_data);
  return out;
}

// The PE checksum: 16-bit one's-complement sum of the file with the checksum field taken as 0, plus
// the file length.
uint32_t PeChecksum(std::string_view b, uint32_t checksum_off) {
  uint64_t sum = 0;
  for (size_t i = 0; i + 1 < b.size() + 1; i += 2) {
    if (i == checksum_off || i == checksum_off + 2) continue;
    uint32_t w = static_cast<uint8_t>(b[i]) | (i + 1 < b.size() ? static_cast<uint8_t>(b[i + 1]) << 8 : 0);
    sum += w;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + b.size());
}

}  // namespace

uint32_t PeImageBase(std::string_view image) { return Headers(image).image_base; }

std::string AddResourceBlock(std::string image, std::string_view data) {
  const Headers h(image);
  ResNode root = ReadTree(image, h);

  // Find or add RCDATA, refuse a second block, add ERDATA with one language-neutral entry.
  auto type = std::find_if(root.children.begin(), root.children.end(),
                           [](const ResNode& n) { return !n.named && n.id == kRtRcdata; });
  if (type == root.children.end()) {
    ResNode t;
    t.is_dir = true;
    t.id = kRtRcdata;
    root.children.push_back(std::move(t));
    std::sort(root.children.begin(), root.children.end(), EntryLess);
    type = std::find_if(root.children.begin(), root.children.end(),
                        [](const ResNode& n) { return !n.named && n.id == kRtRcdata; });
  }
  for (const ResNode& n : type->children)
    if (n.named && n.name == kBlockName) Fail("the program already carries an options block resource");
  ResNode name_dir;
  name_dir.is_dir = true;
  name_dir.named = true;
  name_dir.name = kBlockName;
  ResNode leaf;
  leaf.codepage = 0;
  name_dir.children.push_back(leaf);
  type->children.push_back(std::move(name_dir));
  std::sort(type->children.begin(), type->children.end(), EntryLess);
  ResNode* new_leaf = nullptr;
  for (ResNode& n : type->children)
    if (n.named && n.name == kBlockName) new_leaf = &n.children.front();

  // The new section goes right after the last section the loader maps for the program.
  size_t insert_at = 0;
  for (size_t i = 0; i < h.sections.size(); ++i)
    if (!IsDebugSection(h.sections[i])) insert_at = i + 1;
  uint32_t va = Align(h.sections.empty() ? h.size_of_headers : 0, h.section_align);
  for (size_t i = 0; i < insert_at; ++i) {
    const Section& s = h.sections[i];
    va = std::max(va, Align(s.va + std::max(s.vsize, s.raw_size), h.section_align));
  }
  const std::string section = WriteTree(root, va, data, new_leaf);
  const uint32_t vsize = static_cast<uint32_t>(section.size());
  const uint32_t shift = Align(vsize, h.section_align);

  const uint32_t table_end = h.sections_off + 40u * (h.count + 1u);
  uint32_t first_raw = h.size_of_headers;
  for (const Section& s : h.sections)
    if (s.raw_size) first_raw = std::min(first_raw, s.raw_ptr);
  if (table_end > first_raw) Fail("no room in the program's headers for another section");

  // Raw data goes at the end of the file, after the symbol table, aligned to the file alignment.
  image.resize(Align(static_cast<uint32_t>(image.size()), h.file_align), '\0');
  const uint32_t raw_ptr = static_cast<uint32_t>(image.size());
  const uint32_t raw_size = Align(vsize, h.file_align);
  image.append(section);
  image.resize(raw_ptr + raw_size, '\0');

  // Section table: later headers move down by one entry; debug sections move up in the address space.
  const uint32_t at = h.sections_off + 40u * static_cast<uint32_t>(insert_at);
  const uint32_t tail = 40u * (h.count - static_cast<uint32_t>(insert_at));
  image.replace(at + 40, tail, image.substr(at, tail));
  std::string header(40, '\0');
  header.replace(0, 7, ".erdata");
  image.replace(at, 40, header);
  Put<uint32_t>(image, at + 8, vsize);
  Put<uint32_t>(image, at + 12, va);
  Put<uint32_t>(image, at + 16, raw_size);
  Put<uint32_t>(image, at + 20, raw_ptr);
  Put<uint32_t>(image, at + 36, kNewSectionFlags);
  for (size_t i = insert_at; i < h.sections.size(); ++i)
    Put<uint32_t>(image, h.sections_off + 40u * (i + 1) + 12, h.sections[i].va + shift);
  Put<uint16_t>(image, h.coff + 2, static_cast<uint16_t>(h.count + 1));
  Put<uint32_t>(image, h.opt + 56, h.size_of_image + shift);
  Put<uint32_t>(image, h.opt + 8, Get<uint32_t>(image, h.opt + 8) + raw_size);
  if (h.data_dir_count <= 2) Fail("the program has no resource directory entry");
  Put<uint32_t>(image, h.data_dirs + 16, va);
  Put<uint32_t>(image, h.data_dirs + 20, vsize);

  // Symbols name their section by number; those behind the new one move by one.
  if (h.symbols_ptr && uint64_t{h.symbols_ptr} + 18ull * h.symbols_count <= raw_ptr) {
    for (uint32_t i = 0; i < h.symbols_count; ++i) {
      const uint32_t sym = h.symbols_ptr + 18 * i;
      const int16_t sec = Get<int16_t>(image, sym + 12);
      if (sec > static_cast<int16_t>(insert_at)) Put<int16_t>(image, sym + 12, static_cast<int16_t>(sec + 1));
      i += Get<uint8_t>(image, sym + 17);
    }
  }
  if (Get<uint32_t>(image, h.opt + 64) != 0) Put<uint32_t>(image, h.opt + 64, PeChecksum(image, h.opt + 64));
  return image;
}

std::optional<std::string> FindResourceData(std::string_view image, uint32_t type, const ResourceName& name) {
  const Headers h(image);
  const ResNode root = ReadTree(image, h);
  const bool named = !name.text.empty();
  for (const ResNode& t : root.children) {
    if (t.named || t.id != type || !t.is_dir) continue;
    for (const ResNode& n : t.children) {
      if (n.named != named || (named ? n.name != name.text : n.id != name.id) || !n.is_dir || n.children.empty())
        continue;
      const ResNode& leaf = n.children.front();
      auto off = h.FileOffset(leaf.data_rva);
      if (!off) return std::nullopt;
      auto bytes = ByteView(image).slice(*off, leaf.size);
      if (!bytes) return std::nullopt;
      return std::string(*bytes);
    }
  }
  return std::nullopt;
}

std::string FindResourceBlock(std::string_view image) {
  return FindResourceData(image, kRtRcdata, {kBlockName}).value_or(std::string());
}

std::string AddTrailerBlock(std::string file, std::string_view trailer) {
  if (file.size() >= 8 && Get<uint32_t>(file, file.size() - 4) == kOptionsBlockMagic) {
    const uint64_t old = uint64_t{Get<uint32_t>(file, file.size() - 8)} + 8;
    if (old <= file.size()) file.resize(file.size() - old);
  }
  file.append(trailer);
  return file;
}

}  // namespace sondrel::tools
