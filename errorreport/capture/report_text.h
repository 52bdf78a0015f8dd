#pragma once
// The text of an exception report: the general part (sections of numbered rows with aligned colons),
// the call-stack and modules tables, and the processor part with its memory dump. Everything here
// works on plain data gathered beforehand, so the layout is the same in every build and can be
// checked to the character.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sondrel {

// Caption i of the reporting options' text table (0 to 70).
using ReportTextSource = std::function<std::string(int)>;

// The first line of every report.
inline constexpr std::string_view kReportBanner = "ErrorReport 4.6";

// Builder of the general part. Sections are numbered from 1, rows from 1 within their section;
// an invisible row still takes its number, so hidden rows leave gaps.
class TLogItem {
 public:
  void Clear();
  void AddSection(std::string_view title);
  void AddRow(std::string_view name, std::string_view value, bool visible);
  // Drops sections without visible rows, aligns the colons of each section to one column and makes
  // each dash line as long as the longest line of its section. Every line ends with CR LF.
  std::string Render() const;
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
  int section_ = 0;
  int row_ = 0;
};

// Broken-down local time.
struct ReportTime {
  int year = 0, month = 1, day = 1;  // month 1..12
  int day_of_week = 0;               // 0 Sunday .. 6 Saturday
  int hour = 0, minute = 0, second = 0;
};

// "+0100", "-0500": the difference local minus universal time, in whole hours cut toward zero.
std::string FormatZone(int local_minus_utc_minutes);
// "Mon, 7 Dec 2026 09:05:03 +0100".
std::string FormatDateText(const ReportTime& t, int local_minus_utc_minutes);

// The 23 rows of the general part, in table order; bit n of the visibility mask shows row n.
enum ReportRow : int {
  rrStartDate, rrName, rrVersion, rrParameters,
  rrDate, rrAddress, rrModule, rrType, rrMessage,
  rrFormClass, rrFormText, rrControlClass, rrControlText,
  rrComputerName, rrUser, rrTotalMemory, rrFreeMemory, rrTotalDisk, rrFreeDisk,
  rrOsType, rrOsBuild, rrOsUpdate, rrOsLanguage,
  kReportRowCount
};
using ReportRowValues = std::array<std::string, kReportRowCount>;

// The banner, an empty line and the rendered sections. The Active Controls rows need a program with a
// user interface besides their bit.
std::string BuildGeneralPart(const ReportTextSource& texts, uint32_t report_fields, const ReportRowValues& values,
                             bool has_user_interface);

// One printed call-stack row (rows of kind 0 and 1 are not printed).
struct StackRowText {
  uint8_t kind = 0;
  uint32_t address = 0;
  std::string module;  // file name of the module, empty without one
  std::string unit;
  std::string class_name;
  std::string procedure;
  int32_t line = 0;
  uint8_t module_kind = 0;  // kind of the row's module (see TReportModuleInfo), 0 without one
};
struct ModuleRowText {
  uint32_t handle = 0;
  std::string name;  // file name part
  std::string description;
  std::string version;
  uint32_t size = 0;
  std::string path;  // folder part, see ModuleFolderText
};

// Call-stack table: caption, table, empty line; every line ends with CR LF.
std::string BuildCallStackPart(const ReportTextSource& texts, const std::vector<StackRowText>& rows);
// Modules table: caption and table; no line end after the final dash line.
std::string BuildModulesPart(const ReportTextSource& texts, const std::vector<ModuleRowText>& rows);

// The registers a report shows.
struct ReportRegisters {
  uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0, esi = 0, edi = 0, esp = 0, eip = 0;
};
// Memory near the fault: 64 bytes at the stack pointer and 256 bytes at the exception address, or
// nothing when either range could not be read.
struct ReportMemory {
  uint32_t stack_address = 0;
  uint32_t code_address = 0;
  std::vector<uint8_t> stack;  // 64 bytes
  std::vector<uint8_t> code;   // 256 bytes
};
std::string BuildProcessorPart(const ReportTextSource& texts, const std::optional<ReportRegisters>& registers,
                               const ReportMemory& memory);

// General part, CR LF, call stack and modules parts, two CR LF, processor part.
std::string JoinReportParts(std::string_view general, std::string_view call_stack, std::string_view modules,
                            std::string_view processor);

// Message as the report shows it: "." appended when it does not end in one, every character below
// 32 replaced by a blank.
std::string ReportMessageText(std::string_view message);
// Characters below 32 become blanks.
std::string BlankControlChars(std::string_view text);
// The text of the focused control as a report may show it: every character becomes "*" for a
// password box (an edit class, by its upper-cased name, with the password style 0x20).
std::string MaskedControlText(std::string_view class_name, uint32_t style, std::string_view text);
// Eight upper-case hexadecimal digits; width digits when given.
std::string HexAddress(uint32_t value, int width = 8);
// The exception address row: empty for 0.
std::string AddressText(uint32_t address);
// "1024 Mb" (rounded MiB), "465.76 Gb" (units of 2^30 bytes, up to two decimals, trailing zeros dropped).
std::string MemoryMbText(uint64_t bytes);
std::string DiskGbText(uint64_t bytes);
// Every parameter in double quotes, one blank between them.
std::string ParametersText(const std::vector<std::string>& params);
// The folder part of a module path for the Path column: without its final backslash, except when the
// character before it is a drive colon ("C:\").
std::string ModuleFolderText(std::string_view path);

// Operating-system facts the report names the system from.
struct OsVersionFacts {
  bool nt = true;
  uint32_t major = 0, minor = 0, build = 0;
  std::string service_pack;  // trimmed by the caller
  bool workstation = true;   // false on server editions
  // Windows 10 and 11 share version 10.0; 11 starts at build 22000. Server editions are told apart
  // by build as well.
};
// "Microsoft Windows XP", "Microsoft Windows 10", "Microsoft Windows Server 2019", ...
std::string OperatingSystemName(const OsVersionFacts& os);

}  // namespace sondrel
