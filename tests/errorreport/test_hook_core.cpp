// The portable half of code patching: instruction lengths, moved prologues, thunks and import slots
// of a synthetic module image.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "errorreport/capture/CodeHook.h"
#include "errorreport/capture/x86_decoder.h"

namespace sondrel {
namespace {

// Assembled by the GNU assembler from a list of prologue and padding forms this compiler and the
// system libraries use; kStarts are the instruction offsets its disassembler printed.
const std::uint8_t kStream[] = {
    0x55, 0x89, 0xe5, 0x57, 0x56, 0x53, 0x83, 0xec, 0x2c, 0x81, 0xec, 0x2c, 0x01, 0x00, 0x00, 0x8b, 0x44, 0x24,
    0x04, 0x8b, 0x84, 0x24, 0x00, 0x04, 0x00, 0x00, 0xc7, 0x44, 0x24, 0x1c, 0x78, 0x56, 0x34, 0x12, 0xc7, 0x45,
    0xe4, 0x07, 0x00, 0x00, 0x00, 0x8d, 0xb6, 0x00, 0x00, 0x00, 0x00, 0x0f, 0x1f, 0x04, 0x00, 0x66, 0x0f, 0x1f,
    0x04, 0x00, 0x89, 0xff, 0x64, 0xa1, 0x18, 0x00, 0x00, 0x00, 0xa1, 0x78, 0x56, 0x34, 0x12, 0x31, 0xc0, 0xf6,
    0x40, 0x04, 0x01, 0xf7, 0x01, 0x00, 0x01, 0x00, 0x00, 0x0f, 0xb6, 0x44, 0x91, 0x10, 0x80, 0x7d, 0x08, 0x00,
    0xf3, 0x0f, 0x10, 0x44, 0x24, 0x08, 0x66, 0x0f, 0xef, 0xc0, 0x66, 0x0f, 0x70, 0xc8, 0x1b, 0xdd, 0x44, 0x24,
    0x04, 0xdd, 0xd8, 0xf0, 0x0f, 0xb1, 0x11, 0xf3, 0xab, 0x6b, 0x03, 0x11, 0x69, 0xc1, 0x34, 0x12, 0x00, 0x00,
    0x66, 0xb8, 0x34, 0x12, 0x68, 0x34, 0x12, 0x00, 0x00, 0x6a, 0x08, 0xc8, 0x08, 0x00, 0x00, 0xc2, 0x08, 0x00,
    0xc3, 0xcc, 0x0f, 0x44, 0xc1, 0x0f, 0x94, 0xc0, 0x0f, 0xa4, 0xd0, 0x03, 0x0f, 0xba, 0xe0, 0x03, 0x8b, 0x0c,
    0xf3, 0x8b, 0x0c, 0xb5, 0x00, 0x10, 0x00, 0x00, 0x89, 0x04, 0x24, 0x83, 0xe4, 0xf0, 0x0f, 0x29, 0x44, 0x24,
    0x20, 0x0f, 0xa2, 0x0f, 0x31, 0x0f, 0xc8, 0x5d};
const std::size_t kStarts[] = {0x0,  0x1,  0x3,  0x4,  0x5,  0x6,  0x9,  0xf,  0x13, 0x1a, 0x22, 0x29, 0x2f,
                               0x33, 0x38, 0x3a, 0x40, 0x45, 0x47, 0x4b, 0x51, 0x56, 0x5a, 0x60, 0x64, 0x69,
                               0x6d, 0x6f, 0x73, 0x75, 0x78, 0x7e, 0x82, 0x87, 0x89, 0x8d, 0x90, 0x91, 0x92,
                               0x95, 0x98, 0x9c, 0xa0, 0xa3, 0xaa, 0xad, 0xb0, 0xb5, 0xb7, 0xb9, 0xbb};

TEST(X86Decoder, LengthsMatchTheAssembler) {
  std::size_t at = 0;
  for (std::size_t expected : kStarts) {
    ASSERT_EQ(at, expected);
    const auto ins = x86::Decode(kStream + at, sizeof kStream - at);
    ASSERT_TRUE(ins) << "at offset " << at;
    at += ins->length;
  }
  EXPECT_EQ(at, sizeof kStream);
}

TEST(X86Decoder, BranchesAndEndsOfFlow) {
  const std::uint8_t call[] = {0xE8, 0x10, 0x00, 0x00, 0x00};
  const std::uint8_t jcc8[] = {0x74, 0xFE};
  const std::uint8_t jcc32[] = {0x0F, 0x85, 0x00, 0x01, 0x00, 0x00};
  const std::uint8_t loop[] = {0xE2, 0x05};
  const std::uint8_t jmp_indirect[] = {0xFF, 0x25, 0, 0, 0, 0};
  const std::uint8_t ret[] = {0xC2, 0x04, 0x00};
  EXPECT_EQ(x86::Decode(call, 5)->flow, x86::Flow::kCall);
  EXPECT_EQ(x86::Decode(call, 5)->displacement, 0x10);
  EXPECT_EQ(x86::Decode(jcc8, 2)->displacement, -2);
  EXPECT_EQ(x86::Decode(jcc32, 6)->flow, x86::Flow::kCondJump);
  EXPECT_EQ(x86::Decode(jcc32, 6)->displacement, 0x100);
  EXPECT_EQ(x86::Decode(loop, 2)->flow, x86::Flow::kShortLoop);
  EXPECT_EQ(x86::Decode(jmp_indirect, 6)->flow, x86::Flow::kStop);
  EXPECT_EQ(x86::Decode(ret, 3)->flow, x86::Flow::kReturn);
  // Cut short: the bytes do not hold the whole instruction.
  EXPECT_FALSE(x86::Decode(jcc32, 5));
  EXPECT_FALSE(x86::Decode(kStream + 0x13, 6));  // mov eax,[esp+0x400] needs 7
  // Sixteen prefixes make no instruction.
  std::uint8_t prefixes[16];
  std::memset(prefixes, 0x66, sizeof prefixes);
  EXPECT_FALSE(x86::Decode(prefixes, sizeof prefixes));
}

std::int32_t Rel32(const std::vector<std::uint8_t>& v, std::size_t at) {
  std::int32_t d;
  std::memcpy(&d, v.data() + at, 4);
  return d;
}

TEST(X86Decoder, MovedPrologueKeepsTargets) {
  const std::uint32_t from = 0x401000, to = 0x900000;
  {  // push ebp; mov ebp,esp; push edi: whole instructions up to 5 bytes and more, then the jump back
    const auto m = x86::MovePrologue(kStream, sizeof kStream, from, to, 5);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->consumed, 5u);  // push ebp; mov ebp,esp; push edi; push esi; push ebx
    ASSERT_EQ(m->code.size(), 10u);
    EXPECT_EQ(0, std::memcmp(m->code.data(), kStream, 5));
    EXPECT_EQ(m->code[5], 0xE9);
    EXPECT_EQ(to + 10 + Rel32(m->code, 6), from + 5);
  }
  {  // call rel32 first: the moved call reaches the same procedure
    const std::uint8_t code[] = {0xE8, 0x00, 0x01, 0x00, 0x00, 0xC3};
    const auto m = x86::MovePrologue(code, sizeof code, from, to, 5);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->code[0], 0xE8);
    EXPECT_EQ(to + 5 + Rel32(m->code, 1), from + 5 + 0x100);
  }
  {  // test ecx,ecx; je short: widened to a 32-bit conditional jump to the same place
    const std::uint8_t code[] = {0x85, 0xC9, 0x74, 0x06, 0xB8, 1, 0, 0, 0, 0xC3};
    const auto m = x86::MovePrologue(code, sizeof code, from, to, 5);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->consumed, 9u);
    EXPECT_EQ(m->code[2], 0x0F);
    EXPECT_EQ(m->code[3], 0x84);
    EXPECT_EQ(to + 8 + Rel32(m->code, 4), from + 4 + 6);
    EXPECT_EQ(0, std::memcmp(m->code.data() + 8, code + 4, 5));
    EXPECT_EQ(to + 18 + Rel32(m->code, 14), from + 9);
  }
  {  // a backward short jump far from the new place still lands right
    const std::uint8_t code[] = {0xEB, 0xFE, 0x90, 0x90, 0x90};
    EXPECT_FALSE(x86::MovePrologue(code, sizeof code, from, to, 5));  // jump before 5 bytes: refused
    const auto m = x86::MovePrologue(code, sizeof code, from, to, 2);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->code[0], 0xE9);
    EXPECT_EQ(to + 5 + Rel32(m->code, 1), from);
  }
}

TEST(X86Decoder, ProloguesThatCannotMove) {
  const std::uint8_t short_proc[] = {0x31, 0xC0, 0xC3, 0xCC, 0xCC, 0xCC};   // xor eax,eax; ret
  const std::uint8_t loop_first[] = {0xE3, 0x02, 0x31, 0xC0, 0xC3, 0xCC};    // jecxz
  const std::uint8_t vex[] = {0xC5, 0xF8, 0x77, 0xC3, 0xCC, 0xCC};           // vzeroupper
  const std::uint8_t cut[] = {0x55, 0x8B};                                    // too few bytes
  EXPECT_FALSE(x86::MovePrologue(short_proc, sizeof short_proc, 0x1000, 0x2000, 5));
  EXPECT_FALSE(x86::MovePrologue(loop_first, sizeof loop_first, 0x1000, 0x2000, 5));
  EXPECT_FALSE(x86::MovePrologue(vex, sizeof vex, 0x1000, 0x2000, 5));
  EXPECT_FALSE(x86::MovePrologue(cut, sizeof cut, 0x1000, 0x2000, 5));
}

// A sparse 32-bit address space for the readers.
class FakeMemory : public MemoryReader {
 public:
  bool Readable(std::uint32_t address, std::uint32_t size) override {
    for (std::uint32_t i = 0; i < size; ++i)
      if (!bytes_.count(address + i)) return false;
    return true;
  }
  std::uint32_t AllocationBase(std::uint32_t) override { return 0; }
  bool Read(std::uint32_t address, void* out, std::uint32_t size) override {
    auto* o = static_cast<std::uint8_t*>(out);
    for (std::size_t i = 0; i < size; ++i) {
      auto it = bytes_.find(address + static_cast<std::uint32_t>(i));
      if (it == bytes_.end()) return false;
      o[i] = it->second;
    }
    return true;
  }
  void Put(std::uint32_t address, const void* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) bytes_[address + i] = static_cast<const std::uint8_t*>(data)[i];
  }
  void Put32(std::uint32_t address, std::uint32_t v) { Put(address, &v, 4); }
  void Zero(std::uint32_t address, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) bytes_[address + i] = 0;
  }

 private:
  std::map<std::uint32_t, std::uint8_t> bytes_;
};

TEST(Thunks, FollowedOnlyInTheirTwoForms) {
  FakeMemory m;
  const std::uint8_t delphi_form[] = {0xFF, 0x25, 0x00, 0x20, 0x00, 0x00, 0x8B, 0xC0};
  const std::uint8_t nop_form[] = {0xFF, 0x25, 0x00, 0x20, 0x00, 0x00, 0x90, 0x90};
  const std::uint8_t other[] = {0xFF, 0x25, 0x00, 0x20, 0x00, 0x00, 0xCC, 0xCC};
  const std::uint8_t dangling[] = {0xFF, 0x25, 0x00, 0x30, 0x00, 0x00, 0x90, 0x90};
  m.Put(0x1000, delphi_form, 8);
  m.Put(0x1010, nop_form, 8);
  m.Put(0x1020, other, 8);
  m.Put(0x1030, dangling, 8);
  m.Put32(0x2000, 0x7C801234);
  EXPECT_EQ(FollowThunk(m, 0x1000), 0x7C801234u);
  EXPECT_EQ(FollowThunk(m, 0x1010), 0x7C801234u);
  EXPECT_EQ(FollowThunk(m, 0x1020), 0x1020u);
  EXPECT_EQ(FollowThunk(m, 0x1030), 0x1030u);  // slot not readable
  EXPECT_EQ(FollowThunk(m, 0x5000), 0x5000u);  // nothing readable at all
  EXPECT_EQ(FollowThunk(m, 0), 0u);
}

// A module image at 0x400000: headers, a code section at 0x1000 with two "jmp [slot]" thunks, and an
// import directory at 0x3000 whose address tables lie at 0x4000 (KERNEL32.DLL) and 0x4100 (msvcrt).
struct FakeModule {
  static constexpr std::uint32_t kBase = 0x400000;
  FakeMemory m;
  FakeModule() {
    m.Zero(kBase, 0x5000);
    const std::uint8_t mz[] = {'M', 'Z'};
    m.Put(kBase, mz, 2);
    m.Put32(kBase + 0x3C, 0x80);
    m.Put32(kBase + 0x80, 0x4550);
    const std::uint16_t magic = 0x10B;
    const std::uint32_t opt = kBase + 0x80 + 24;
    m.Put(opt, &magic, 2);
    m.Put32(opt + 4, 0x1000);   // size of code
    m.Put32(opt + 20, 0x1000);  // base of code
    m.Put32(opt + 56, 0x5000);  // size of image
    m.Put32(opt + 92, 16);
    m.Put32(opt + 96 + 8, 0x3000);
    m.Put32(opt + 96 + 12, 60);
    // descriptors: name rva at +12, first thunk at +16; a zero one ends the list
    m.Put32(kBase + 0x3000 + 12, 0x3800);
    m.Put32(kBase + 0x3000 + 16, 0x4000);
    m.Put32(kBase + 0x3014 + 12, 0x3810);
    m.Put32(kBase + 0x3014 + 16, 0x4100);
    m.Put(kBase + 0x3800, "KERNEL32.DLL", 13);
    m.Put(kBase + 0x3810, "msvcrt.dll", 11);
    m.Put32(kBase + 0x4000, 0x7C800010);  // CreateThread
    m.Put32(kBase + 0x4004, 0x7C800020);
    m.Put32(kBase + 0x4008, 0x7C800010);  // the same procedure imported twice
    m.Put32(kBase + 0x4100, 0x77C10000);  // a C-runtime function, called through a thunk
    const std::uint8_t thunk[] = {0xFF, 0x25, 0x00, 0x41, 0x40, 0x00, 0x90, 0x90};
    m.Put(kBase + 0x1800, thunk, 8);
    // a stray FF 25 pointing outside the image at a value equal to the target
    const std::uint8_t stray[] = {0xFF, 0x25, 0x00, 0x00, 0x90, 0x00};
    m.Put(kBase + 0x1900, stray, 6);
    m.Put32(0x900000, 0x77C10000);
  }
};

TEST(ImportSlots, FoundThroughTheDirectory) {
  FakeModule f;
  const std::uint32_t b = FakeModule::kBase;
  EXPECT_EQ(FindImportSlots(f.m, b, 0x7C800010), (std::vector<std::uint32_t>{b + 0x4000, b + 0x4008}));
  EXPECT_EQ(FindImportSlots(f.m, b, 0x77C10000), (std::vector<std::uint32_t>{b + 0x4100}));
  EXPECT_TRUE(FindImportSlots(f.m, b, 0x12345678).empty());
  EXPECT_TRUE(FindImportSlots(f.m, b, 0).empty());
  const auto code = ModuleCodeRange(f.m, b);
  ASSERT_TRUE(code);
  EXPECT_EQ(code->start, b + 0x1000);
  EXPECT_EQ(code->size, 0x1000u);
}

TEST(ImportSlots, NoneWithoutTheDirectoryEvenWhereAThunkJumpsThroughASlot) {
  FakeModule f;
  const std::uint32_t b = FakeModule::kBase;
  f.m.Put32(b + 0x80 + 24 + 96 + 8, 0);  // no import directory
  EXPECT_TRUE(FindImportSlots(f.m, b, 0x77C10000).empty());
  EXPECT_TRUE(FindImportSlots(f.m, b, 0x7C800010).empty());
}

TEST(ImportSlots, DamagedHeadersGiveNothing) {
  {
    FakeModule f;
    f.m.Put32(FakeModule::kBase + 0x80, 0x4551);  // bad signature
    EXPECT_TRUE(FindImportSlots(f.m, FakeModule::kBase, 0x7C800010).empty());
  }
  {
    FakeModule f;
    f.m.Put32(FakeModule::kBase + 0x3C, 0xFFFFFFF0);  // header offset far outside
    EXPECT_TRUE(FindImportSlots(f.m, FakeModule::kBase, 0x7C800010).empty());
  }
  {
    FakeModule f;  // an import directory beyond the image is ignored
    f.m.Put32(FakeModule::kBase + 0x80 + 24 + 96 + 8, 0x7FFF0000);
    EXPECT_TRUE(FindImportSlots(f.m, FakeModule::kBase, 0x7C800010).empty());
    EXPECT_TRUE(FindImportSlots(f.m, FakeModule::kBase, 0x77C10000).empty());
  }
  FakeMemory empty;
  EXPECT_TRUE(FindImportSlots(empty, 0x400000, 1).empty());
  EXPECT_FALSE(ModuleCodeRange(empty, 0x400000));
}

TEST(HookMessages, NameTheProcedure) {
  EXPECT_EQ(ProcNullMessage("kernel32.dll.Foo"), "Cannot hook a null procedure (\"kernel32.dll.Foo\").");
  EXPECT_EQ(SharedAreaMessage("C:\\x.dll"), "Cannot hook the module \"C:\\x.dll\" located into the shared-area.");
  EXPECT_EQ(HookingErrorMessage("Bar"), "Cannot hook the procedure \"Bar\".");
  EHookingError e(HookingErrorMessage("Bar"));
  EXPECT_TRUE(e.InheritsFrom("EHookError"));
  EXPECT_STREQ(e.ClassName(), "EHookingError");
}

}  // namespace
}  // namespace sondrel
