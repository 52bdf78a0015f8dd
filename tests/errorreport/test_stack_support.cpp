#include "test_stack_support.h"

#include "errorreport/capture/byte_view.h"

namespace sondrel::test {
namespace {

void Put32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
void Put16(std::string& s, size_t at, uint16_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>(v >> 8);
}
uint32_t RoundUp(size_t n) { return static_cast<uint32_t>((n + 0xFFF) & ~size_t{0xFFF}); }

}  // namespace

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

std::string BuildImage(const ImageLayout& layout) {
  const uint32_t code_rva = 0x1000;
  const uint32_t code_size = RoundUp(std::max<size_t>(layout.code.size(), 1));
  const uint32_t edata_rva = code_rva + code_size;

  // Export directory, tables and strings.
  std::string ed(40, '\0');
  const uint32_t n = static_cast<uint32_t>(layout.exports.size());
  const uint32_t funcs = edata_rva + 40, names = funcs + 4 * n, ords = names + 4 * n;
  uint32_t strings = ords + 2 * n;
  std::string tables(10 * n, '\0'), text;
  std::vector<uint32_t> forwarder_at;
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t name_rva = strings + static_cast<uint32_t>(text.size());
    text += layout.exports[i].name + '\0';
    uint32_t entry = layout.exports[i].rva;
    if (entry == 0) {
      entry = strings + static_cast<uint32_t>(text.size());
      text += std::string("OTHER.Func") + '\0';
    }
    Put32(tables, 4 * i, entry);
    Put32(tables, 4 * n + 4 * i, name_rva);
    Put16(tables, 8 * n + 2 * i, static_cast<uint16_t>(i));
  }
  ed += tables + text;
  Put32(ed, 20, n);
  Put32(ed, 24, n);
  Put32(ed, 28, funcs);
  Put32(ed, 32, names);
  Put32(ed, 36, ords);
  const uint32_t edata_size = RoundUp(ed.size());

  // Resources: root (type 10) -> names -> (language level left out: the reader stops at names).
  const uint32_t rsrc_rva = edata_rva + edata_size;
  std::string rs(16 + 8, '\0');
  Put16(rs, 14, 1);
  Put32(rs, 16, 10);
  Put32(rs, 20, 0x80000000u | 24);
  const uint32_t count = static_cast<uint32_t>(layout.rcdata_names.size());
  std::string sub(16 + 8 * count, '\0');
  Put16(sub, 12, static_cast<uint16_t>(count));
  std::string strs;
  const uint32_t strs_at = 24 + static_cast<uint32_t>(sub.size());
  for (uint32_t i = 0; i < count; ++i) {
    Put32(sub, 16 + 8 * i, 0x80000000u | (strs_at + static_cast<uint32_t>(strs.size())));
    Put32(sub, 20 + 8 * i, 0);  // data entry offset, not followed
    AppendLE<uint16_t>(strs, static_cast<uint16_t>(layout.rcdata_names[i].size()));
    for (char c : layout.rcdata_names[i]) AppendLE<uint16_t>(strs, static_cast<uint16_t>(c));
  }
  rs += sub + strs;
  const uint32_t rsrc_size = RoundUp(rs.size());
  const uint32_t image_size = rsrc_rva + rsrc_size;

  std::string img(image_size, '\0');
  img[0] = 'M';
  img[1] = 'Z';
  const uint32_t pe = 0x80;
  Put32(img, 60, pe);
  Put32(img, pe, 0x4550);
  const uint32_t fh = pe + 4;
  Put16(img, fh, 0x14C);
  Put16(img, fh + 2, 3);
  Put16(img, fh + 16, 0xE0);
  Put16(img, fh + 18, static_cast<uint16_t>(0x0102 | (layout.dll ? 0x2000 : 0)));
  const uint32_t opt = fh + 20;
  Put16(img, opt, 0x10B);
  Put32(img, opt + 4, code_size);
  Put32(img, opt + 20, code_rva);
  Put32(img, opt + 56, image_size);
  Put32(img, opt + 92, 16);
  Put32(img, opt + 96, edata_rva);
  Put32(img, opt + 100, static_cast<uint32_t>(ed.size()));
  if (count) {
    Put32(img, opt + 96 + 16, rsrc_rva);
    Put32(img, opt + 100 + 16, static_cast<uint32_t>(rs.size()));
  }
  const uint32_t st = opt + 0xE0;
  const uint32_t sect[3][2] = {{code_rva, code_size}, {edata_rva, edata_size}, {rsrc_rva, rsrc_size}};
  for (int i = 0; i < 3; ++i) {
    Put32(img, st + 40 * i + 8, sect[i][1]);
    Put32(img, st + 40 * i + 12, sect[i][0]);
  }
  img.replace(code_rva, layout.code.size(), layout.code);
  img.replace(edata_rva, ed.size(), ed);
  img.replace(rsrc_rva, rs.size(), rs);
  return img;
}

}  // namespace sondrel::test
