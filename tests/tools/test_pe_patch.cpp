#include <gtest/gtest.h>

#include <stdexcept>

#include "errorreport/capture/byte_view.h"
#include "errorreport/delivery/block_format.h"
#include "tools/pe_patch.h"

namespace sondrel::tools {
namespace {

void Put32(std::string& b, size_t off, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[off + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
void Put16(std::string& b, size_t off, uint16_t v) {
  b[off] = static_cast<char>(v & 0xFF);
  b[off + 1] = static_cast<char>(v >> 8);
}
uint32_t Get32(std::string_view b, size_t off) { return *ByteView(b).read<uint32_t>(off); }
uint16_t Get16(std::string_view b, size_t off) { return *ByteView(b).read<uint16_t>(off); }

constexpr uint32_t kPe = 0x80, kCoff = kPe + 4, kOpt = kCoff + 20, kSections = kOpt + 224;

// A small PE32 image laid out as the linker lays out ours: code, resources (an icon and a named
// RCDATA "BANNER"), then a discardable debug section with a long name, and a COFF symbol table with
// one symbol in the code and one in the debug section.
std::string SyntheticProgram(bool with_resources = true) {
  std::string b(0xC00, '\0');
  b[0] = 'M';
  b[1] = 'Z';
  Put32(b, 0x3C, kPe);
  b.replace(kPe, 4, std::string("PE\0\0", 4));
  Put16(b, kCoff, 0x14C);
  Put16(b, kCoff + 2, 3);
  Put32(b, kCoff + 8, 0xA00);  // symbol table
  Put32(b, kCoff + 12, 3);  // records, aux records included
  Put16(b, kCoff + 16, 224);
  Put16(b, kOpt, 0x10B);
  Put32(b, kOpt + 28, 0x400000);
  Put32(b, kOpt + 32, 0x1000);
  Put32(b, kOpt + 36, 0x200);
  Put32(b, kOpt + 56, 0x4000);
  Put32(b, kOpt + 60, 0x400);
  Put32(b, kOpt + 92, 16);
  if (with_resources) {
    Put32(b, kOpt + 96 + 16, 0x2000);
    Put32(b, kOpt + 96 + 20, 0x100);
  }
  struct S {
    const char* name;
    uint32_t va, raw, flags;
  } sections[] = {{".text", 0x1000, 0x400, 0x60000020}, {".rsrc", 0x2000, 0x600, 0x40000040},
                  {"/4", 0x3000, 0x800, 0x42000040}};
  for (int i = 0; i < 3; ++i) {
    const uint32_t s = kSections + 40 * i;
    b.replace(s, std::string(sections[i].name).size(), sections[i].name);
    Put32(b, s + 8, 0x200);
    Put32(b, s + 12, sections[i].va);
    Put32(b, s + 16, 0x200);
    Put32(b, s + 20, sections[i].raw);
    Put32(b, s + 36, sections[i].flags);
  }
  // Resource tree at file 0x600 (rva 0x2000).
  const uint32_t r = 0x600;
  Put16(b, r + 14, 2);                                   // root: two id entries
  Put32(b, r + 0x10, 3), Put32(b, r + 0x14, 0x80000020);  // RT_ICON
  Put32(b, r + 0x18, 10), Put32(b, r + 0x1C, 0x80000038);  // RT_RCDATA
  Put16(b, r + 0x20 + 14, 1);
  Put32(b, r + 0x30, 1), Put32(b, r + 0x34, 0x80000050);
  Put16(b, r + 0x38 + 12, 1);  // one named entry
  Put32(b, r + 0x48, 0x800000A0), Put32(b, r + 0x4C, 0x80000068);
  Put16(b, r + 0x50 + 14, 1);
  Put32(b, r + 0x60, 1033), Put32(b, r + 0x64, 0x80);
  Put16(b, r + 0x68 + 14, 1);
  Put32(b, r + 0x78, 1033), Put32(b, r + 0x7C, 0x90);
  Put32(b, r + 0x80, 0x20C0), Put32(b, r + 0x84, 8);
  Put32(b, r + 0x90, 0x20D0), Put32(b, r + 0x94, 4);
  Put16(b, r + 0xA0, 6);
  const char* banner = "BANNER";
  for (int i = 0; i < 6; ++i) Put16(b, r + 0xA2 + 2 * i, static_cast<uint16_t>(banner[i]));
  b.replace(r + 0xC0, 8, "ICONDATA");
  b.replace(r + 0xD0, 4, "JPEG");
  // Symbols: section numbers 1 (.text) and 3 (the debug section), the first with one aux record.
  Put16(b, 0xA00 + 12, 1);
  b[0xA00 + 17] = 1;
  Put16(b, 0xA00 + 36 + 12, 3);
  b.resize(0xA00 + 3 * 18 + 4);
  return b;
}

TEST(PePatch, AddsTheBlockAndKeepsEveryResource) {
  const std::string before = SyntheticProgram();
  EXPECT_EQ(PeImageBase(before), 0x400000u);
  EXPECT_EQ(FindResourceData(before, 10, {u"BANNER"}), "JPEG");
  EXPECT_EQ(FindResourceBlock(before), "");

  const std::string block(5000, 'B');
  const std::string after = AddResourceBlock(before, block);
  EXPECT_EQ(FindResourceBlock(after), block);
  EXPECT_EQ(FindResourceData(after, 10, {u"BANNER"}), "JPEG");
  EXPECT_EQ(FindResourceData(after, 3, {u"", 1}), "ICONDATA");
  EXPECT_FALSE(FindResourceData(after, 10, {u"OTHER"}));

  // The new section sits after the resources, the debug section moved up behind it, all aligned.
  ASSERT_EQ(Get16(after, kCoff + 2), 4);
  EXPECT_EQ(after.substr(kSections + 80, 7), ".erdata");
  const uint32_t va = Get32(after, kSections + 80 + 12);
  const uint32_t vsize = Get32(after, kSections + 80 + 8);
  EXPECT_EQ(va, 0x3000u);
  EXPECT_GE(vsize, block.size());
  EXPECT_EQ(after.substr(kSections + 120, 2), "/4");
  EXPECT_EQ(Get32(after, kSections + 120 + 12), 0x3000u + (vsize + 0xFFF) / 0x1000 * 0x1000);
  EXPECT_EQ(Get32(after, kOpt + 56), 0x4000u + (vsize + 0xFFF) / 0x1000 * 0x1000);
  EXPECT_EQ(Get32(after, kOpt + 96 + 16), va);
  EXPECT_EQ(Get32(after, kSections + 80 + 20) % 0x200, 0u);
  EXPECT_EQ(after.size() % 0x200, 0u);
  // Symbols keep naming the same sections.
  EXPECT_EQ(Get16(after, 0xA00 + 12), 1);
  EXPECT_EQ(Get16(after, 0xA00 + 36 + 12), 4);
  // The rest of the file is untouched.
  EXPECT_EQ(after.substr(0x400, 0x600), before.substr(0x400, 0x600));

  EXPECT_THROW(AddResourceBlock(after, "again"), std::runtime_error);
}

TEST(PePatch, AProgramWithoutResourcesGetsATreeOfItsOwn) {
  const std::string after = AddResourceBlock(SyntheticProgram(false), "DATA");
  EXPECT_EQ(FindResourceBlock(after), "DATA");
  EXPECT_FALSE(FindResourceData(after, 10, {u"BANNER"}));
}

TEST(PePatch, RefusesWhatIsNotAProgramOrHasNoRoom) {
  EXPECT_THROW(PeImageBase("MZ"), std::runtime_error);
  EXPECT_THROW(AddResourceBlock(std::string(4096, 'x'), "d"), std::runtime_error);
  std::string full = SyntheticProgram();
  Put32(full, kOpt + 60, kSections + 3 * 40);  // headers end right after the section table
  Put32(full, kSections + 20, kSections + 3 * 40);
  EXPECT_THROW(AddResourceBlock(full, "d"), std::runtime_error);
  std::string cut = SyntheticProgram().substr(0, 0x610);
  EXPECT_THROW(AddResourceBlock(cut, "d"), std::runtime_error);
}

TEST(PePatch, TrailerReplacesAnOlderTrailer) {
  std::string tail("\x04\0\0\0", 4);
  tail += std::string("\x10\xAB\x0F\x00", 4);
  const std::string once = AddTrailerBlock("PROGRAM", "T1T1" + tail);
  EXPECT_EQ(once, "PROGRAMT1T1" + tail);
  EXPECT_EQ(AddTrailerBlock(once, "T2T2" + tail), "PROGRAMT2T2" + tail);
  EXPECT_EQ(AddTrailerBlock("PLAIN", "X"), "PLAINX");
}

}  // namespace
}  // namespace sondrel::tools
