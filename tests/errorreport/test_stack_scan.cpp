// The stack scan on synthetic memory: a code region with every call form, stacks that hold their
// return addresses, holes and limits.
#include <gtest/gtest.h>

#include "errorreport/capture/byte_view.h"
#include "errorreport/capture/stack_scan.h"

#include "test_stack_support.h"

namespace sondrel {
namespace {

constexpr uint32_t kCode = 0x00401000;
constexpr uint32_t kStack = 0x0012F000;
constexpr uint32_t kDll = 0x77000000;

using test::Bytes;

class StackScan : public ::testing::Test {
 protected:
  StackScan() {
    memory_.Add(kCode, std::string(0x4000, '\x90'));
    memory_.Add(kDll, std::string(0x1000, '\x55'));
  }
  // Places an instruction at code offset at; returns the address after it (the return address).
  uint32_t Place(uint32_t at, const std::string& insn) {
    memory_.At(kCode).replace(at, insn.size(), insn);
    return kCode + at + static_cast<uint32_t>(insn.size());
  }
  uint32_t Call(uint32_t at, uint32_t target) {
    std::string insn = Bytes({0xE8});
    AppendLE<uint32_t>(insn, target - (kCode + at + 5));
    return Place(at, insn);
  }
  std::vector<uint32_t> Scan(const std::vector<uint32_t>& values) {
    std::string stack;
    for (uint32_t v : values) AppendLE<uint32_t>(stack, v);
    memory_.Add(kStack, stack);
    return ScanStackForCalls(memory_, kStack, kStack + static_cast<uint32_t>(stack.size()));
  }
  BufferMemory memory_;
};

using Rows = std::vector<uint32_t>;

TEST_F(StackScan, EachIndirectCallFormYieldsItsCallSite) {
  struct Form {
    std::string insn;
  } forms[] = {
      {Bytes({0xFF, 0xD0})}, {Bytes({0xFF, 0xD7})},                      // call reg
      {Bytes({0xFF, 0x10})}, {Bytes({0xFF, 0x13})}, {Bytes({0xFF, 0x16})}, {Bytes({0xFF, 0x17})},  // call [reg]
      {Bytes({0xFF, 0x50, 0x08})}, {Bytes({0xFF, 0x57, 0x7C})},           // call [reg+disp8]
      {Bytes({0xFF, 0x90, 1, 2, 0, 0})}, {Bytes({0xFF, 0x97, 1, 2, 0, 0})},  // call [reg+disp32]
      {Bytes({0xFF, 0x14, 0x24})},                                       // call [esp]
      {Bytes({0xFF, 0x54, 0x24, 0x04})},                                 // call [esp+disp8]
      {Bytes({0xFF, 0x94, 0x24, 0, 1, 0, 0})},                           // call [esp+disp32]
  };
  uint32_t at = 0x100;
  for (const auto& f : forms) {
    const uint32_t ret = Place(at, f.insn);
    EXPECT_EQ(Scan({ret}), Rows{kCode + at}) << std::hex << static_cast<int>(static_cast<uint8_t>(f.insn[1]));
    at += 0x20;
  }
  // call [abs32] counts only when its slot is readable.
  std::string good = Bytes({0xFF, 0x15}), bad = Bytes({0xFF, 0x15});
  AppendLE<uint32_t>(good, kCode + 0x3000);
  AppendLE<uint32_t>(bad, 0x00010000);
  const uint32_t good_ret = Place(0x400, good), bad_ret = Place(0x420, bad);
  EXPECT_EQ(Scan({good_ret, bad_ret}), Rows{kCode + 0x400});
}

TEST_F(StackScan, FormsThatAreNotCallsGiveNothing) {
  // FF 14 and FF 15 without their SIB/slot, FF 54 not followed by 24, FF 18 (call far), FF 94 25.
  const uint32_t a = Place(0x100, Bytes({0x90, 0xFF, 0x14}));
  const uint32_t b = Place(0x120, Bytes({0xFF, 0x54, 0x25, 0x04}));
  const uint32_t c = Place(0x140, Bytes({0xFF, 0x18}));
  const uint32_t d = Place(0x160, Bytes({0xFF, 0x94, 0x25, 0, 1, 0, 0}));
  const uint32_t e = Place(0x180, Bytes({0xFF, 0x54, 0x24}));  // V-3..V-1 = FF 54 24: disp8 missing
  EXPECT_EQ(Scan({a, b, c, d, e, 0, 3, 6, 0x7FFE0000}), Rows{});
}

TEST_F(StackScan, DirectCallYieldsCalleeEntryThenCallSite) {
  const uint32_t ret = Call(0x100, kCode + 0x800);
  EXPECT_EQ(Scan({ret}), (Rows{kCode + 0x800, kCode + 0x100}));
  // A callee that begins with a call is not taken as an entry; nor is one that cannot be read.
  Place(0x900, Bytes({0xE8, 0, 0, 0, 0}));
  const uint32_t to_call = Call(0x200, kCode + 0x900);
  const uint32_t to_nowhere = Call(0x300, 0x00100000);
  EXPECT_EQ(Scan({to_call, to_nowhere}), (Rows{kCode + 0x200, kCode + 0x300}));
}

TEST_F(StackScan, ImportThunkIsFollowedToTheImportedEntry) {
  std::string thunk = Bytes({0xFF, 0x25});
  AppendLE<uint32_t>(thunk, kCode + 0x3000);
  thunk += Bytes({0x8B, 0xC0});
  Place(0xA00, thunk);
  std::string slot;
  AppendLE<uint32_t>(slot, kDll + 0x40);
  Place(0x2FFC + 4, slot);  // kCode + 0x3000
  const uint32_t ret = Call(0x100, kCode + 0xA00);
  EXPECT_EQ(Scan({ret}), (Rows{kDll + 0x40, kCode + 0x100}));
  // Without the 8B C0 after the jump it is not a thunk: the jump itself is the entry.
  Place(0xA06, Bytes({0x90, 0x90}));
  EXPECT_EQ(Scan({ret}), (Rows{kCode + 0xA00, kCode + 0x100}));
}

TEST_F(StackScan, OnlyTheFirstMatchingFormCounts) {
  // E8 at V-5 whose displacement ends in FF D0: the direct call wins, the register call is not added.
  const uint32_t ret = Place(0x100, Bytes({0xE8, 0x00, 0x00, 0xFF, 0xD0}));
  auto rows = Scan({ret});
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows.back(), kCode + 0x100);
  EXPECT_EQ(std::count(rows.begin(), rows.end(), ret - 2), 0);
  // call [abs32] whose slot address ends in FF 52 (call [edx+disp8] shape at V-3): FF 52 is tried first.
  const uint32_t ret2 = Place(0x200, Bytes({0xFF, 0x15, 0x00, 0xFF, 0x52, 0x00}));
  EXPECT_EQ(Scan({ret2}), Rows{ret2 - 3});
}

TEST_F(StackScan, UnreadableStackRangesAreSkipped) {
  const uint32_t r1 = Call(0x100, kCode + 0x800), r2 = Place(0x200, Bytes({0xFF, 0xD3}));
  std::string low, high;
  AppendLE<uint32_t>(low, r1);
  low.resize(0x1000);
  AppendLE<uint32_t>(high, r2);
  high.resize(0x1000);
  memory_.Add(kStack, low);
  memory_.Add(kStack + 0x1000, std::string(0x1000, '\x05'), false);  // a guard page full of nothing
  memory_.Add(kStack + 0x2000, high);
  EXPECT_EQ(ScanStackForCalls(memory_, kStack, kStack + 0x3000), (Rows{kCode + 0x800, kCode + 0x100, kCode + 0x200}));
  // A stack pointer above the top scans nothing.
  EXPECT_EQ(ScanStackForCalls(memory_, kStack + 0x10, kStack), Rows{});
}

TEST_F(StackScan, ReadsTheStackIn400ByteBlocks) {
  memory_.Add(kStack, std::string(4000 + 8, '\0'));
  memory_.readable_calls = memory_.read_calls = 0;
  EXPECT_EQ(ScanStackForCalls(memory_, kStack, kStack + 4000 + 8), Rows{});
  // 10 blocks of 400 bytes, then 8 bytes near the end of the region where 400 are not readable.
  EXPECT_EQ(memory_.read_calls, 12u);
  EXPECT_EQ(memory_.readable_calls, 10u + 2 * 2);
}

TEST_F(StackScan, ThreeMegabyteStackIsScannedOverItsFirstMegabyte) {
  const uint32_t ret = Place(0x100, Bytes({0xFF, 0xD1}));
  std::string stack(3 * 0x100000, '\0');
  auto put = [&](uint32_t at) {
    for (int i = 0; i < 4; ++i) stack[at + i] = static_cast<char>((ret >> (8 * i)) & 0xFF);
  };
  put(0);
  put(0x100000 - 4);  // the last value inside the bound
  put(0x100000);      // the first one past it
  put(0x200000);
  memory_.Add(0x01000000, stack);
  EXPECT_EQ(ScanStackForCalls(memory_, 0x01000000, 0x01000000 + 3 * 0x100000), (Rows{kCode + 0x100, kCode + 0x100}));
}

}  // namespace
}  // namespace sondrel
