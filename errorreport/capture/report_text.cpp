#include "errorreport/capture/report_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/text.h"

namespace sondrel {
namespace {

constexpr std::string_view kCrLf = "\r\n";

// Text indexes of the captions (the options' text table).
constexpr int kTextCallStackHeader = 7;
constexpr int kTextModulesHeader = 9;
constexpr int kTextFirstStackColumn = 47;
constexpr int kTextFirstModuleColumn = 62;
constexpr int kTextRegisters = 68;
constexpr int kTextStack = 69;
constexpr int kTextMemoryDump = 70;

struct SectionLayout {
  int caption;     // text index of the section caption
  int first_row;   // first ReportRow of the section
  int row_count;
  int first_text;  // text index of the first row caption
};
constexpr SectionLayout kSections[] = {
    {19, rrStartDate, 4, 20}, {24, rrDate, 5, 25}, {30, rrFormClass, 4, 31},
    {35, rrComputerName, 6, 36}, {42, rrOsType, 4, 43},
};
constexpr int kActiveControlsSection = 2;

std::string Printf(const char* fmt, auto... args) {
  char buf[64];
  int n = std::snprintf(buf, sizeof buf, fmt, args...);
  return std::string(buf, n > 0 ? std::min<size_t>(static_cast<size_t>(n), sizeof buf - 1) : 0);
}

// Lays one section block out: colons aligned to the rightmost one, dash line as long as the longest
// line. Lines: caption, dash, rows.
void AlignBlock(StringList& block) {
  size_t colon = 0;
  for (size_t i = 2; i < block.size(); ++i) {
    size_t p = block[i].find(": ");
    if (p != std::string::npos) colon = std::max(colon, p);
  }
  for (size_t i = 2; i < block.size(); ++i) {
    size_t p = block[i].find(": ");
    if (p != std::string::npos && p < colon) block[i].insert(p, colon - p, ' ');
  }
  size_t longest = 0;
  for (const auto& line : block) longest = std::max(longest, line.size());
  block[1] = std::string(longest, '-');
}

// A fixed-width table: every cell padded with blanks to its column's width, written into one buffer
// of the final size instead of growing a string field by field.
class TableWriter {
 public:
  explicit TableWriter(std::vector<size_t> widths) : widths_(std::move(widths)) {
    line_width_ = 1;
    for (size_t w : widths_) line_width_ += w + 1;
  }
  size_t LineWidth() const { return line_width_; }
  std::string DashLine() const { return std::string(line_width_, '-'); }
  // Writes rows (each cells.size() == widths) as "|a   |b  |" lines ended by CR LF.
  std::string Rows(const std::vector<std::vector<std::string>>& rows) const {
    const size_t stride = line_width_ + kCrLf.size();
    std::string out(stride * rows.size(), ' ');
    for (size_t r = 0; r < rows.size(); ++r) {
      char* line = out.data() + r * stride;
      size_t x = 0;
      line[x++] = '|';
      for (size_t c = 0; c < widths_.size(); ++c) {
        const std::string& cell = rows[r][c];
        std::copy(cell.begin(), cell.end(), line + x);
        x += widths_[c];
        line[x++] = '|';
      }
      line[x++] = '\r';
      line[x] = '\n';
    }
    return out;
  }

 private:
  std::vector<size_t> widths_;
  size_t line_width_ = 0;
};

std::vector<size_t> ColumnWidths(const std::vector<std::string>& headings,
                                 const std::vector<std::vector<std::string>>& rows, size_t first_min) {
  std::vector<size_t> widths;
  for (const auto& h : headings) widths.push_back(h.size());
  widths[0] = std::max(widths[0], first_min);
  for (const auto& row : rows)
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  return widths;
}

std::vector<std::string> Headings(const ReportTextSource& texts, int first) {
  std::vector<std::string> h;
  for (int i = 0; i < 6; ++i) h.push_back(texts(first + i));
  return h;
}

// Caption, dash, header, dash, rows, dash, each ended by CR LF.
std::string Table(const std::string& caption, const std::vector<std::string>& headings,
                  const std::vector<std::vector<std::string>>& rows, const std::vector<size_t>& widths) {
  TableWriter table(widths);
  const std::string dash = table.DashLine();
  std::string out = caption + ":\r\n" + dash + "\r\n";
  out += table.Rows({headings});
  out += dash + "\r\n";
  out += table.Rows(rows);
  out += dash + "\r\n";
  return out;
}

}  // namespace

// ---- TLogItem ----

void TLogItem::Clear() {
  text_.clear();
  section_ = 0;
  row_ = 0;
}

void TLogItem::AddSection(std::string_view title) {
  ++section_;
  row_ = 0;
  if (!text_.empty()) text_ += "\r\n\r\n";
  text_ += title;
  text_ += ":\r\n-";
}

void TLogItem::AddRow(std::string_view name, std::string_view value, bool visible) {
  ++row_;
  if (!visible) return;
  // A line break inside a value would end the section block early and break the layout, so every
  // control character becomes a blank here whatever the caller did.
  text_ += "\r\n  " + std::to_string(section_) + "." + std::to_string(row_) + " ";
  text_ += BlankControlChars(name);
  text_ += ": ";
  text_ += BlankControlChars(value);
}

std::string TLogItem::Render() const {
  std::string out;
  StringList lines = SplitLines(text_);
  size_t i = 0;
  bool first = true;
  while (i < lines.size()) {
    StringList block;
    while (i < lines.size() && !lines[i].empty()) block.push_back(lines[i++]);
    while (i < lines.size() && lines[i].empty()) ++i;
    if (block.size() < 3) continue;  // caption and dash line only: no visible row
    AlignBlock(block);
    if (!first) out += kCrLf;
    first = false;
    for (const auto& line : block) {
      out += line;
      out += kCrLf;
    }
  }
  return out;
}

// ---- dates ----

std::string FormatZone(int local_minus_utc_minutes) {
  int hours = local_minus_utc_minutes / 60;  // C++ division cuts toward zero
  std::string digits = std::to_string(hours < 0 ? -hours : hours);
  if (digits.size() == 1) digits.insert(0, "0");
  return (hours < 0 ? "-" : "+") + digits + "00";
}

std::string FormatDateText(const ReportTime& t, int local_minus_utc_minutes) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const char* day = kDays[std::clamp(t.day_of_week, 0, 6)];
  const char* month = kMonths[std::clamp(t.month, 1, 12) - 1];
  return Printf("%s, %d %s %d %02d:%02d:%02d ", day, t.day, month, t.year, t.hour, t.minute, t.second) +
         FormatZone(local_minus_utc_minutes);
}

// ---- general part ----

std::string BuildGeneralPart(const ReportTextSource& texts, uint32_t report_fields, const ReportRowValues& values,
                             bool has_user_interface) {
  TLogItem item;
  for (int s = 0; s < static_cast<int>(std::size(kSections)); ++s) {
    const SectionLayout& sec = kSections[s];
    item.AddSection(texts(sec.caption));
    for (int r = 0; r < sec.row_count; ++r) {
      const int row = sec.first_row + r;
      bool visible = (report_fields >> row) & 1u;
      if (s == kActiveControlsSection) visible = visible && has_user_interface;
      item.AddRow(texts(sec.first_text + r), values[row], visible);
    }
  }
  return std::string(kReportBanner) + "\r\n\r\n" + item.Render();
}

// ---- tables ----

std::string BuildCallStackPart(const ReportTextSource& texts, const std::vector<StackRowText>& rows) {
  std::vector<std::vector<std::string>> cells;
  for (const auto& r : rows) {
    if (r.kind < 2) continue;
    cells.push_back({HexAddress(r.address), r.module, r.unit, r.class_name, r.procedure,
                     r.line != 0 ? std::to_string(r.line) : std::string()});
  }
  const auto headings = Headings(texts, kTextFirstStackColumn);
  return Table(texts(kTextCallStackHeader), headings, cells, ColumnWidths(headings, cells, 8)) + "\r\n";
}

std::string BuildModulesPart(const ReportTextSource& texts, const std::vector<ModuleRowText>& rows) {
  const auto headings = Headings(texts, kTextFirstModuleColumn);
  // The handle column is at least 8 wide, and the handle fills the whole column with digits.
  const int handle_width = static_cast<int>(std::max<size_t>(8, headings[0].size()));
  std::vector<std::vector<std::string>> cells;
  for (const auto& m : rows)
    cells.push_back({HexAddress(m.handle, handle_width), m.name, m.description, m.version, std::to_string(m.size),
                     m.path});
  std::string out = Table(texts(kTextModulesHeader), headings, cells, ColumnWidths(headings, cells, 8));
  out.resize(out.size() - kCrLf.size());
  return out;
}

// ---- processor part ----

std::string BuildProcessorPart(const ReportTextSource& texts, const std::optional<ReportRegisters>& registers,
                               const ReportMemory& memory) {
  auto reg = [&](uint32_t ReportRegisters::*field) {
    return registers ? HexAddress((*registers).*field) : std::string("????    ");
  };
  std::string stack_caption = texts(kTextStack) + ":";
  if (stack_caption.size() < 21) stack_caption.resize(21, ' ');

  std::string out = texts(kTextRegisters) + ":\r\n-----------------------------\r\n";
  out += "EAX: " + reg(&ReportRegisters::eax) + "   EDI: " + reg(&ReportRegisters::edi) + "\r\n";
  out += "EBX: " + reg(&ReportRegisters::ebx) + "   ESI: " + reg(&ReportRegisters::esi) + "\r\n";
  out += "ECX: " + reg(&ReportRegisters::ecx) + "   ESP: " + reg(&ReportRegisters::esp) + "\r\n";
  out += "EDX: " + reg(&ReportRegisters::edx) + "   EIP: " + reg(&ReportRegisters::eip) + "\r\n";
  out += "\r\n" + stack_caption + texts(kTextMemoryDump) + ":\r\n";
  out += "------------------   ---------------------------------------------------------------------------\r\n";

  if (memory.stack.size() < 64 || memory.code.size() < 256) return out;
  for (uint32_t k = 0; k < 16; ++k) {
    const uint8_t* s = &memory.stack[4 * k];
    const uint32_t value = s[0] | (s[1] << 8) | (s[2] << 16) | (static_cast<uint32_t>(s[3]) << 24);
    out += HexAddress(memory.stack_address + 4 * k) + ": " + HexAddress(value) + "   " +
           HexAddress(memory.code_address + 16 * k) + ": ";
    const uint8_t* b = &memory.code[16 * k];
    for (int j = 0; j < 16; ++j) out += Printf("%02X ", b[j]);
    out += ' ';
    for (int j = 0; j < 16; ++j) out += (b[j] < 32 || b[j] > 126) ? '.' : static_cast<char>(b[j]);
    out += kCrLf;
  }
  return out;
}

std::string JoinReportParts(std::string_view general, std::string_view call_stack, std::string_view modules,
                            std::string_view processor) {
  std::string out;
  out.reserve(general.size() + call_stack.size() + modules.size() + processor.size() + 8);
  out += general;
  out += kCrLf;
  out += call_stack;
  out += modules;
  out += "\r\n\r\n";
  out += processor;
  return out;
}

// ---- values ----

std::string BlankControlChars(std::string_view text) {
  std::string r(text);
  for (char& c : r)
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  return r;
}

std::string ReportMessageText(std::string_view message) {
  std::string r(message);
  if (r.empty() || r.back() != '.') r += '.';
  return BlankControlChars(r);
}

std::string MaskedControlText(std::string_view class_name, uint32_t style, std::string_view text) {
  if (UpperCase(Trim(class_name)).find("EDIT") != std::string::npos && (style & 0x20u))
    return std::string(text.size(), '*');
  return std::string(text);
}

std::string HexAddress(uint32_t value, int width) { return Printf("%0*X", width, static_cast<unsigned>(value)); }

std::string AddressText(uint32_t address) { return address ? HexAddress(address) : std::string(); }

std::string MemoryMbText(uint64_t bytes) {
  return std::to_string(std::llround(static_cast<double>(bytes) / 1048576.0)) + " Mb";
}

std::string DiskGbText(uint64_t bytes) {
  // Rounded to hundredths in integers, so that 0.005 steps do not depend on binary fractions.
  const uint64_t unit = 1073741824ull;
  const uint64_t whole = bytes / unit;
  const uint64_t hundredths = ((bytes % unit) * 100 + unit / 2) / unit;
  uint64_t w = whole + hundredths / 100;
  uint64_t h = hundredths % 100;
  std::string r = std::to_string(w);
  if (h != 0) {
    r += '.';
    r += static_cast<char>('0' + h / 10);
    if (h % 10 != 0) r += static_cast<char>('0' + h % 10);
  }
  return r + " Gb";
}

std::string ParametersText(const std::vector<std::string>& params) {
  std::string r;
  for (const auto& p : params) {
    if (!r.empty()) r += ' ';
    r += '"' + p + '"';
  }
  return r;
}

std::string ModuleFolderText(std::string_view path) {
  const size_t slash = path.find_last_of("\\/");
  if (slash == std::string_view::npos) return std::string();
  if (slash > 0 && path[slash - 1] == ':') return std::string(path.substr(0, slash + 1));
  return std::string(path.substr(0, slash));
}

// ---- operating system ----

std::string OperatingSystemName(const OsVersionFacts& os) {
  std::string name = "Microsoft Windows ";
  if (!os.nt) {
    if (os.minor < 10) return name + (os.service_pack == "B" ? "95 OSR 2" : "95");
    if (os.minor < 90) return name + (os.service_pack == "A" ? "98 SE" : "98");
    if (os.minor == 90) return name + "ME";
    return name;
  }
  if (os.major == 4) return name + "NT 4.0";
  if (os.major == 5) {
    if (os.minor == 0) return name + "2000";
    if (os.minor == 1) return name + "XP";
    if (os.minor == 2) return name + "2003";
    return name;
  }
  // Later versions: the workstation and server editions share version numbers.
  const bool ws = os.workstation;
  if (os.major == 6) {
    switch (os.minor) {
      case 0: return name + (ws ? "Vista" : "Server 2008");
      case 1: return name + (ws ? "7" : "Server 2008 R2");
      case 2: return name + (ws ? "8" : "Server 2012");
      case 3: return name + (ws ? "8.1" : "Server 2012 R2");
      default: break;
    }
  }
  if (os.major == 10 && os.minor == 0) {
    if (ws) return name + (os.build >= 22000 ? "11" : "10");
    if (os.build >= 26100) return name + "Server 2025";
    if (os.build >= 20348) return name + "Server 2022";
    if (os.build >= 17763) return name + "Server 2019";
    return name + "Server 2016";
  }
  if (os.major >= 6) return name + std::to_string(os.major) + "." + std::to_string(os.minor);
  return name;
}

}  // namespace sondrel
