// The portable half of interception: the fault codes that become exceptions, and reading a stack
// copy laid over live memory.
#include <gtest/gtest.h>

#include "errorreport/capture/intercept.h"

namespace sondrel {
namespace {

TEST(ProcessorFaults, OnlyFaultCodesAreTranslated) {
  for (std::uint32_t code : {0xC0000005u, 0xC0000094u, 0xC0000095u, 0xC000008Eu, 0xC000001Du, 0xC00000FDu})
    EXPECT_TRUE(IsProcessorFault(code)) << std::hex << code;
  // Debugger notices, a foreign runtime's exception, thread naming, Ctrl-C, a breakpoint.
  for (std::uint32_t code : {0x40010006u, 0xE06D7363u, 0x406D1388u, 0xC000013Au, 0x80000003u, 0x0EEDFADEu})
    EXPECT_FALSE(IsProcessorFault(code)) << std::hex << code;
}

// Live memory: a stack region at 0x1000-0x1FFF with the value 0xAA everywhere, and nothing else.
struct Overlay : ::testing::Test {
  BufferMemory live;
  StackCopy copy;
  void SetUp() override {
    live.Add(0x1000, std::string(0x1000, '\xAA'));
    copy.base = 0x1800;
    copy.bytes.assign(0x100, 0x11);
  }
};

TEST_F(Overlay, CopyWinsWhereItLiesAndLiveMemoryElsewhere) {
  StackCopyMemory m(copy, live);
  std::uint8_t b[8];
  ASSERT_TRUE(m.Read(0x1800, b, 4));
  EXPECT_EQ(b[0], 0x11);
  ASSERT_TRUE(m.Read(0x1400, b, 4));
  EXPECT_EQ(b[3], 0xAA);
  // Straddling both ends of the copy.
  ASSERT_TRUE(m.Read(0x17FE, b, 4));
  EXPECT_EQ(b[0], 0xAA);
  EXPECT_EQ(b[1], 0xAA);
  EXPECT_EQ(b[2], 0x11);
  EXPECT_EQ(b[3], 0x11);
  ASSERT_TRUE(m.Read(0x18FE, b, 4));
  EXPECT_EQ(b[1], 0x11);
  EXPECT_EQ(b[2], 0xAA);
  EXPECT_TRUE(m.Readable(0x17F0, 0x120));
}

TEST_F(Overlay, CopyOutsideLiveMemoryStillReads) {
  // The thread's stack may be gone by the time of the report: the copy alone answers.
  copy.base = 0x9000;
  StackCopyMemory m(copy, live);
  std::uint8_t b[4];
  EXPECT_TRUE(m.Read(0x9000, b, 4));
  EXPECT_TRUE(m.Readable(0x90FC, 4));
  EXPECT_FALSE(m.Readable(0x90FE, 4));  // runs past the copy into nothing
  EXPECT_FALSE(m.Read(0x8FFE, b, 4));
  EXPECT_FALSE(m.Read(0x5000, b, 4));
}

}  // namespace
}  // namespace sondrel
