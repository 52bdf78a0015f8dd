// The program's own options block, as the build wrote it: the options from the test options file, and
// line debug data that names this file and the right line. Built twice: with the block as a resource
// and as a trailer (EXPECTED_FORM).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "errorreport/capture/debug_data.h"
#include "errorreport/delivery/options_block_win.h"
#include "errorreport/delivery/options_mapping.h"

namespace sondrel {
namespace {

std::string ProgramFile() {
  char buf[MAX_PATH + 1];
  DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
  return std::string(buf, n);
}

__attribute__((noinline)) void* ReturnAddress() { return __builtin_return_address(0); }

TEST(EmbeddedBlock, CarriesTheBuildOptionsAndLineData) {
  HMODULE self = GetModuleHandleA(nullptr);
  TReportModuleOptions options(ProgramFile(), false);
  ModuleBlock block = ReadModuleOptionsBlock(self, ProgramFile(), options);
  ASSERT_TRUE(block.found);
  EXPECT_EQ(block.version, kLibraryVersion);

  TReportModuleOptions probe("", false);
  const bool as_resource = ReadResourceOptionsBlock(self, probe).has_value();
  const bool as_trailer = ReadTrailerOptionsBlock(ProgramFile(), probe).has_value();
  EXPECT_EQ(as_resource, std::string(EXPECTED_FORM) == "resource");
  EXPECT_EQ(as_trailer, std::string(EXPECTED_FORM) == "trailer");

  EXPECT_EQ(options.MailSubject(), "Embedded block test");
  EXPECT_EQ(options.LogErrorLimit(), 17);
  EXPECT_EQ(options.SendMode(), TReportSendMode::rsSmtpRelay);
  EXPECT_EQ(options.RelayHost(), "relay.example.test");
  EXPECT_EQ(options.CustomText(mtDialog_Caption), "Embedded\r\nError.");
  EXPECT_EQ(options.FilterClasses(), (StringList{"EAbort", "EConvertError"}));
  EXPECT_EQ(options.FilterMessages(), (StringList{"", "Please check the number."}));
  EXPECT_EQ(options.CustomText(mtDialog_OKButtonCaption), "&OK");

  ASSERT_FALSE(block.debug_data.empty());
  DebugData debug(block.debug_data, block.version);
  void* at = ReturnAddress(); const int line = __LINE__;
  const uint32_t rva = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(at) - reinterpret_cast<uintptr_t>(self));
  auto info = debug.Lookup(rva - 1);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->unit, "test_options_embedded_win.cpp");
  EXPECT_EQ(info->line, line);
  EXPECT_EQ(info->procedure, "TestBody");

  auto entry = debug.FindProcedure("sondrel::ReturnAddress");
  ASSERT_TRUE(entry);
  EXPECT_EQ(*entry, reinterpret_cast<uintptr_t>(&ReturnAddress) - reinterpret_cast<uintptr_t>(self));
}

TEST(EmbeddedBlock, AFileWithoutABlockGivesDefaults) {
  // A system library carries neither form.
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  char path[MAX_PATH + 1];
  DWORD n = GetModuleFileNameA(kernel, path, MAX_PATH);
  TReportModuleOptions options(std::string(path, n), false);
  options.SetMailSubject("kept");
  ModuleBlock block = ReadModuleOptionsBlock(kernel, std::string(path, n), options);
  EXPECT_FALSE(block.found);
  EXPECT_EQ(block.version, kLibraryVersion);
  EXPECT_EQ(block.reserved, (std::array<uint8_t, 8>{}));
  EXPECT_TRUE(block.debug_data.empty());
  EXPECT_EQ(options.MailSubject(), "kept");
}

}  // namespace
}  // namespace sondrel
