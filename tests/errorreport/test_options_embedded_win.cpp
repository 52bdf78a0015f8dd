// The program's own options block, as the build wrote it: the options from the test options file, and
// line debug data that names this file and the right line. Built twice: with the block as a resource
// and as a trailer (EXPECTED_FORM).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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

// Section names of a PE file as the linker wrote them. Names over eight characters (".debug_info")
// are "/offset" into the COFF string table after the symbols, so that table is followed.
std::vector<std::string> SectionNames(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto u32 = [&](size_t at) { uint32_t v = 0; if (at + 4 <= file.size()) std::memcpy(&v, &file[at], 4); return v; };
  auto u16 = [&](size_t at) { return static_cast<uint16_t>(u32(at) & 0xFFFF); };
  std::vector<std::string> names;
  const size_t coff = u32(0x3C) + 4;
  const size_t strings = u32(coff + 8) + size_t{u32(coff + 12)} * 18;
  const size_t first = coff + 20 + u16(coff + 16);
  for (size_t i = 0, n = u16(coff + 2); i < n && first + (i + 1) * 40 <= file.size(); ++i) {
    std::string name(&file[first + i * 40], 8);
    name.resize(std::strlen(name.c_str()));
    if (!name.empty() && name[0] == '/') {
      const size_t at = strings + std::strtoul(name.c_str() + 1, nullptr, 10);
      name = at < file.size() ? std::string(file.c_str() + at) : std::string();
    }
    names.push_back(name);
  }
  return names;
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

// The resource form is built as the shipped program is: stripped of its DWARF sections after the block
// was written, so the line data above came from the block alone. The trailer form keeps them.
TEST(EmbeddedBlock, TheResourceFormCarriesNoDwarfSections) {
  const auto names = SectionNames(ProgramFile());
  ASSERT_GT(names.size(), 3u);
  EXPECT_NE(std::find(names.begin(), names.end(), ".eh_frame"), names.end());  // long names resolve
  const bool dwarf = std::any_of(names.begin(), names.end(), [](const std::string& n) { return n.rfind(".debug_", 0) == 0; });
  EXPECT_EQ(dwarf, std::string(EXPECTED_FORM) == "trailer");
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
