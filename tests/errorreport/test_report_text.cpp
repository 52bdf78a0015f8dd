// Layout of the report text on fixed data, to the character.
#include <gtest/gtest.h>

#include "errorreport/capture/report_screenshot.h"
#include "errorreport/capture/report_text.h"
#include "errorreport/delivery/report_options.h"

namespace sondrel {
namespace {

std::string DefaultText(int i) { return DefaultCustomTexts()[i]; }
const ReportTextSource kTexts = DefaultText;

ReportRowValues SampleValues() {
  ReportRowValues v;
  v[rrStartDate] = "Mon, 7 Dec 2026 09:05:03 +0100";
  v[rrName] = "Sondrel";
  v[rrVersion] = "2.0.0.0";
  v[rrParameters] = "\"-x\"";
  v[rrDate] = "Mon, 7 Dec 2026 09:06:00 +0100";
  v[rrAddress] = "0040ABCD";
  v[rrModule] = "Sondrel.exe";
  v[rrType] = "EAccessViolation";
  v[rrMessage] = "Boom.";
  v[rrFormClass] = "TfrmMain";
  v[rrFormText] = "Sondrel";
  v[rrControlClass] = "Edit";
  v[rrControlText] = "****";
  v[rrComputerName] = "HOST";
  v[rrUser] = "alice";
  v[rrTotalMemory] = "1024 Mb";
  v[rrFreeMemory] = "512 Mb";
  v[rrTotalDisk] = "465.76 Gb";
  v[rrFreeDisk] = "100.5 Gb";
  v[rrOsType] = "Microsoft Windows 10";
  v[rrOsBuild] = "19045";
  v[rrOsUpdate] = "";
  v[rrOsLanguage] = "English (United States)";
  return v;
}

uint32_t Bits(std::initializer_list<int> rows) {
  uint32_t m = 0;
  for (int r : rows) m |= 1u << r;
  return m;
}

TEST(ReportGeneralPart, HiddenRowsKeepTheirNumbersAndEmptySectionsDisappear) {
  // Row 1.2 hidden, of the Exception section only the address shown, nothing else.
  const std::string text =
      BuildGeneralPart(kTexts, Bits({rrStartDate, rrVersion, rrParameters, rrAddress}), SampleValues(), true);
  const std::string expected = std::string("ErrorReport 4.6\r\n\r\n") +
                               "Application:\r\n" + std::string(52, '-') + "\r\n" +
                               "  1.1 Start Date    : Mon, 7 Dec 2026 09:05:03 +0100\r\n"
                               "  1.3 Version Number: 2.0.0.0\r\n"
                               "  1.4 Parameters    : \"-x\"\r\n"
                               "\r\n"
                               "Exception:\r\n" + std::string(23, '-') + "\r\n" +
                               "  2.2 Address: 0040ABCD\r\n";
  EXPECT_EQ(text, expected);
}

TEST(ReportGeneralPart, ActiveControlsNeedAUserInterfaceAndTheNextSectionKeepsNumberFour) {
  for (bool ui : {false, true}) {
    uint32_t fields = 0xFFFFFFFFu;
    if (ui) fields &= ~Bits({rrFormClass, rrFormText, rrControlClass, rrControlText});
    const std::string text = BuildGeneralPart(kTexts, fields, SampleValues(), ui);
    EXPECT_EQ(text.find("Active Controls"), std::string::npos) << ui;
    EXPECT_EQ(text.find("  3."), std::string::npos) << ui;
    EXPECT_NE(text.find("\r\n  4.1 Name        : HOST\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n  5.4 Language: English (United States)\r\n"), std::string::npos) << text;
  }
  const std::string with_ui = BuildGeneralPart(kTexts, 0xFFFFFFFFu, SampleValues(), true);
  EXPECT_NE(with_ui.find("Active Controls:\r\n" + std::string(29, '-') + "\r\n  3.1 Form Class   : TfrmMain\r\n"),
            std::string::npos)
      << with_ui;
}

TEST(ReportGeneralPart, EverySectionAlignsItsColonsAndDashesToItsLongestLine) {
  const std::string text = BuildGeneralPart(kTexts, 0xFFFFFFFFu, SampleValues(), true);
  // Block by block: all row colons in one column, the dash line as long as the longest line.
  size_t pos = text.find("\r\n\r\n") + 4;
  int sections = 0;
  while (pos < text.size()) {
    size_t end = text.find("\r\n\r\n", pos);
    if (end == std::string::npos) end = text.size() - 2;
    std::string block = text.substr(pos, end - pos);
    std::vector<std::string> lines;
    for (size_t a = 0, b; a <= block.size(); a = b + 2) {
      b = block.find("\r\n", a);
      if (b == std::string::npos) b = block.size();
      lines.push_back(block.substr(a, b - a));
    }
    ASSERT_GE(lines.size(), 3u);
    size_t longest = 0, colon = std::string::npos;
    for (const auto& l : lines) longest = std::max(longest, l.size());
    EXPECT_EQ(lines[1], std::string(longest, '-'));
    for (size_t i = 2; i < lines.size(); ++i) {
      size_t c = lines[i].find(": ");
      if (colon == std::string::npos) colon = c;
      EXPECT_EQ(c, colon) << lines[i];
    }
    ++sections;
    pos = end + 4;
  }
  EXPECT_EQ(sections, 5);
}

TEST(ReportGeneralPart, LineBreaksInValuesCannotBreakTheLayout) {
  auto v = SampleValues();
  v[rrMessage] = ReportMessageText("first\r\nsecond");
  v[rrFormText] = "a\tb";
  const std::string text = BuildGeneralPart(kTexts, 0xFFFFFFFFu, v, true);
  EXPECT_NE(text.find("  2.5 Message: first  second.\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find(": a b\r\n"), std::string::npos);
}

TEST(ReportValues, MessagesAddressesSizesAndFolders) {
  EXPECT_EQ(ReportMessageText("Boom"), "Boom.");
  EXPECT_EQ(ReportMessageText("Done."), "Done.");
  EXPECT_EQ(ReportMessageText("a\r\nb"), "a  b.");
  EXPECT_EQ(AddressText(0), "");
  EXPECT_EQ(AddressText(0x40ABCD), "0040ABCD");
  EXPECT_EQ(HexAddress(0x400000, 10), "0000400000");
  EXPECT_EQ(MemoryMbText(1073741824ull), "1024 Mb");
  EXPECT_EQ(MemoryMbText(1572864ull), "2 Mb");
  EXPECT_EQ(MemoryMbText(1048575ull), "1 Mb");
  EXPECT_EQ(DiskGbText(0), "0 Gb");
  EXPECT_EQ(DiskGbText(1610612736ull), "1.5 Gb");
  EXPECT_EQ(DiskGbText(500107862016ull), "465.76 Gb");
  EXPECT_EQ(DiskGbText(2147483647ull), "2 Gb");
  EXPECT_EQ(DiskGbText(1084479242ull), "1.01 Gb");
  EXPECT_EQ(ParametersText({"-a", "b c"}), "\"-a\" \"b c\"");
  EXPECT_EQ(ParametersText({}), "");
  EXPECT_EQ(ModuleFolderText("C:\\x.dll"), "C:\\");
  EXPECT_EQ(ModuleFolderText("C:\\windows\\system32\\ntdll.dll"), "C:\\windows\\system32");
  EXPECT_EQ(ModuleFolderText("ntdll.dll"), "");
}

TEST(ReportDates, DateTextAndZone) {
  ReportTime t{2026, 12, 7, 1, 9, 5, 3};
  EXPECT_EQ(FormatDateText(t, 60), "Mon, 7 Dec 2026 09:05:03 +0100");
  EXPECT_EQ(FormatDateText(ReportTime{2027, 1, 31, 0, 23, 59, 59}, -300), "Sun, 31 Jan 2027 23:59:59 -0500");
  EXPECT_EQ(FormatZone(-300), "-0500");
  EXPECT_EQ(FormatZone(-330), "-0500");  // fraction cut toward zero
  EXPECT_EQ(FormatZone(330), "+0500");
  EXPECT_EQ(FormatZone(600), "+1000");
  EXPECT_EQ(FormatZone(-600), "-1000");
  EXPECT_EQ(FormatZone(-30), "+0000");
  EXPECT_EQ(FormatZone(0), "+0000");
}

TEST(ReportTables, CallStackTableWidthsAndPrintedKinds) {
  std::vector<StackRowText> rows = {
      {0, 0x12345678, "", "", "", "", 0},
      {4, 0x0040ABCD, "Sondrel.exe", "FMain.cpp", "TfrmMain", "btnSearchClick", 123},
      {1, 0x7B000010, "KERNEL32.dll", "", "", "", 0},
      {2, 0x7B012345, "KERNEL32.dll", "", "", "RaiseException", 0},
  };
  const std::string dash(64, '-');
  const std::string expected = "Call Stack Information:\r\n" + dash + "\r\n" +
                               "|Address |Module      |Unit     |Class   |Procedure/Method|Line|\r\n" + dash + "\r\n" +
                               "|0040ABCD|Sondrel.exe |FMain.cpp|TfrmMain|btnSearchClick  |123 |\r\n"
                               "|7B012345|KERNEL32.dll|         |        |RaiseException  |    |\r\n" +
                               dash + "\r\n\r\n";
  EXPECT_EQ(BuildCallStackPart(kTexts, rows), expected);
}

TEST(ReportTables, EmptyCallStackStillHasItsFrame) {
  const std::string dash(8 + 6 + 4 + 5 + 16 + 4 + 7, '-');
  EXPECT_EQ(BuildCallStackPart(kTexts, {}),
            "Call Stack Information:\r\n" + dash + "\r\n|Address |Module|Unit|Class|Procedure/Method|Line|\r\n" + dash +
                "\r\n" + dash + "\r\n\r\n");
}

TEST(ReportTables, ModulesTableEndsWithoutLineBreak) {
  std::vector<ModuleRowText> rows = {
      {0x00400000, "Sondrel.exe", "Sondrel", "2.0.0.0", 123456, "C:\\Program Files\\Sondrel"},
      {0x7B000000, "KERNEL32.dll", "", "", 900000, "C:\\windows\\system32"},
  };
  const std::string dash(75, '-');
  const std::string expected =
      "Modules Information:\r\n" + dash + "\r\n" +
      "|Handle  |Name        |Description|Version|Size  |Path                    |\r\n" + dash + "\r\n" +
      "|00400000|Sondrel.exe |Sondrel    |2.0.0.0|123456|C:\\Program Files\\Sondrel|\r\n"
      "|7B000000|KERNEL32.dll|           |       |900000|C:\\windows\\system32     |\r\n" +
      dash;
  EXPECT_EQ(BuildModulesPart(kTexts, rows), expected);
}

TEST(ReportTables, ALongHandleHeadingWidensTheHandleDigits) {
  auto texts = [](int i) { return i == 62 ? std::string("Module handle") : DefaultText(i); };
  const std::string part = BuildModulesPart(texts, {{0x400000, "a.exe", "", "", 1, "C:\\"}});
  EXPECT_NE(part.find("|0000000400000|a.exe|"), std::string::npos) << part;
}

TEST(ReportProcessor, UnknownRegistersAndNoDump) {
  const std::string q = "????    ";
  const std::string expected = "Registers:\r\n-----------------------------\r\n"
                               "EAX: " + q + "   EDI: " + q + "\r\n"
                               "EBX: " + q + "   ESI: " + q + "\r\n"
                               "ECX: " + q + "   ESP: " + q + "\r\n"
                               "EDX: " + q + "   EIP: " + q + "\r\n"
                               "\r\nStack:               Memory Dump:\r\n"
                               "------------------   "
                               "---------------------------------------------------------------------------\r\n";
  EXPECT_EQ(BuildProcessorPart(kTexts, std::nullopt, ReportMemory{}), expected);
}

TEST(ReportProcessor, RegistersAndSixteenDumpLines) {
  ReportRegisters r{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x0012FF00, 0x00401000};
  ReportMemory m;
  m.stack_address = 0x0012FF00;
  m.code_address = 0x00401000;
  for (int i = 0; i < 64; ++i) m.stack.push_back(static_cast<uint8_t>(i + 0x11));
  for (int i = 0; i < 256; ++i) m.code.push_back(static_cast<uint8_t>(i));
  const std::string text = BuildProcessorPart(kTexts, r, m);
  EXPECT_NE(text.find("EAX: 00000011   EDI: 00000066\r\nEBX: 00000022   ESI: 00000055\r\n"
                      "ECX: 00000033   ESP: 0012FF00\r\nEDX: 00000044   EIP: 00401000\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("\r\n0012FF00: 14131211   00401000: 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F  "
                      "................\r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\r\n0012FF10: 24232221   00401040: 40 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F  "
                      "@ABCDEFGHIJKLMNO\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("0012FF1C: 302F2E2D   00401070: 70 71 72 73 74 75 76 77 78 79 7A 7B 7C 7D 7E 7F  "
                      "pqrstuvwxyz{|}~.\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("0012FF3C: 504F4E4D   004010F0: F0 F1"), std::string::npos);
  size_t lines = 0;
  for (size_t p = text.find("   0040"); p != std::string::npos; p = text.find("   0040", p + 1)) ++lines;
  EXPECT_EQ(lines, 16u);
  // Half the memory readable gives no dump at all.
  m.code.resize(100);
  EXPECT_EQ(BuildProcessorPart(kTexts, r, m).find("0012FF00: "), std::string::npos);
}

TEST(ReportLayout, PartsAreJoinedWithOneEmptyLineBetween) {
  const std::string general = BuildGeneralPart(kTexts, 1, SampleValues(), false);
  const std::string stack = BuildCallStackPart(kTexts, {});
  const std::string modules = BuildModulesPart(kTexts, {});
  const std::string cpu = BuildProcessorPart(kTexts, std::nullopt, {});
  const std::string report = JoinReportParts(general, stack, modules, cpu);
  EXPECT_EQ(report.rfind("ErrorReport 4.6\r\n\r\nApplication:\r\n", 0), 0u);
  EXPECT_NE(report.find("+0100\r\n\r\nCall Stack Information:\r\n"), std::string::npos) << report;
  EXPECT_NE(report.find("-\r\n\r\nModules Information:\r\n"), std::string::npos);
  EXPECT_NE(report.find("-\r\n\r\nRegisters:\r\n"), std::string::npos);
  EXPECT_EQ(report.find("\r\n\r\n\r\n"), std::string::npos);
}

TEST(ReportScreenshot, PaletteRowsLoseTheirPaddingAndColoursTurnToRgb) {
  // Two rows of three pixels, each padded to four bytes, and a table in blue, green, red, reserved order.
  const uint8_t rows[] = {0, 1, 2, 0xEE, 2, 1, 0, 0xEE};
  std::vector<uint8_t> table(1024, 0);
  table[4 * 1 + 0] = 0x30;  // blue of colour 1
  table[4 * 1 + 1] = 0x20;
  table[4 * 1 + 2] = 0x10;  // red
  const PngImage img = PaletteImageFromRows(3, 2, rows, 4, table.data());
  EXPECT_EQ(img.kind, PngImage::Kind::kPalette);
  EXPECT_EQ(img.pixels, (std::vector<uint8_t>{0, 1, 2, 2, 1, 0}));
  ASSERT_EQ(img.palette.size(), 256u);
  EXPECT_EQ(img.palette[1], (std::array<uint8_t, 3>{0x10, 0x20, 0x30}));
  const std::string png = ScreenshotPng(img);
  EXPECT_EQ(png.substr(1, 3), "PNG");
  // Colour type 3, bit depth 8 in IHDR; a PLTE of 256 entries.
  EXPECT_EQ(static_cast<uint8_t>(png[24]), 8);
  EXPECT_EQ(static_cast<uint8_t>(png[25]), 3);
  EXPECT_NE(png.find(std::string("\x00\x00\x03\x00PLTE", 8)), std::string::npos);
}

TEST(ReportOperatingSystem, OldNamesKeptAndLaterVersionsNamed) {
  struct Case {
    OsVersionFacts os;
    const char* name;
  } cases[] = {
      {{false, 4, 0, 950, "", true}, "Microsoft Windows 95"},
      {{false, 4, 0, 1111, "B", true}, "Microsoft Windows 95 OSR 2"},
      {{false, 4, 10, 1998, "", true}, "Microsoft Windows 98"},
      {{false, 4, 10, 2222, "A", true}, "Microsoft Windows 98 SE"},
      {{false, 4, 90, 3000, "", true}, "Microsoft Windows ME"},
      {{true, 4, 0, 1381, "", true}, "Microsoft Windows NT 4.0"},
      {{true, 5, 0, 2195, "", true}, "Microsoft Windows 2000"},
      {{true, 5, 1, 2600, "Service Pack 3", true}, "Microsoft Windows XP"},
      {{true, 5, 2, 3790, "", false}, "Microsoft Windows 2003"},
      {{true, 6, 0, 6002, "", true}, "Microsoft Windows Vista"},
      {{true, 6, 0, 6002, "", false}, "Microsoft Windows Server 2008"},
      {{true, 6, 1, 7601, "", true}, "Microsoft Windows 7"},
      {{true, 6, 1, 7601, "", false}, "Microsoft Windows Server 2008 R2"},
      {{true, 6, 2, 9200, "", true}, "Microsoft Windows 8"},
      {{true, 6, 2, 9200, "", false}, "Microsoft Windows Server 2012"},
      {{true, 6, 3, 9600, "", true}, "Microsoft Windows 8.1"},
      {{true, 6, 3, 9600, "", false}, "Microsoft Windows Server 2012 R2"},
      {{true, 10, 0, 19045, "", true}, "Microsoft Windows 10"},
      {{true, 10, 0, 22631, "", true}, "Microsoft Windows 11"},
      {{true, 10, 0, 14393, "", false}, "Microsoft Windows Server 2016"},
      {{true, 10, 0, 17763, "", false}, "Microsoft Windows Server 2019"},
      {{true, 10, 0, 20348, "", false}, "Microsoft Windows Server 2022"},
      {{true, 10, 0, 26100, "", false}, "Microsoft Windows Server 2025"},
  };
  for (const auto& c : cases) EXPECT_EQ(OperatingSystemName(c.os), c.name) << c.os.major << "." << c.os.minor;
}

}  // namespace
}  // namespace sondrel
