#include "errorreport/capture/error_dialog.h"

#include <algorithm>
#include <cmath>

#include "base/text.h"

namespace sondrel {
namespace {

DialogRect Box(int x, int y, int w, int h) { return {x, y, std::max(w, 0), std::max(h, 0)}; }

std::string Decimal(int v) { return std::to_string(v); }

// A stored number, or def when the key is missing or holds no number.
int ReadNumber(DialogSettingsStore& store, const std::string& key, int def) {
  return TryStrToInt(Trim(store.Read(key, ""))).value_or(def);
}

}  // namespace

// ---- controls and texts ----

int CheckBoxBand(bool send_visible, bool screenshot_visible) { return send_visible && screenshot_visible ? 34 : 20; }

ErrorDialogState ErrorDialogStateFor(const TReportModuleOptions& o, bool duplicate, uint32_t exceptions_reported) {
  ErrorDialogState s;
  const bool sending = o.SendMode() != TReportSendMode::rsNone;
  // A duplicate is not sent again: nothing to choose about sending.
  s.send_visible = sending && !duplicate;
  s.send_checked = sending;
  s.screenshot_visible = s.send_visible && o.AttachScreenshot();
  s.screenshot_checked = o.AttachScreenshot();
  s.terminate_visible =
      o.TerminateButtonOnRepeat() && static_cast<int64_t>(o.TerminateButtonAfter()) < int64_t{exceptions_reported};
  s.band = CheckBoxBand(s.send_visible, s.screenshot_visible);
  // A stored value past the last page would select no page at all.
  s.first_page = o.FirstDetailsTab() <= 3 ? o.FirstDetailsTab() : 0;
  return s;
}

std::string TerminateButtonText(const TReportModuleOptions& o) {
  return o.CustomText(o.RestartAfterTerminate() ? mtDialog_RestartButtonCaption : mtDialog_TerminateButtonCaption);
}

std::string DetailsButtonText(const TReportModuleOptions& o, bool detailed) {
  const std::string& t = o.CustomText(mtDialog_DetailsButtonCaption);
  return detailed ? "<< " + t : t + " >>";
}

std::vector<std::string> ButtonWidthTexts(const TReportModuleOptions& o) {
  std::vector<std::string> out;
  for (int i = mtDialog_OKButtonCaption; i <= mtDialog_DetailsButtonCaption; ++i) out.push_back(o.CustomText(i) + "O");
  return out;
}

int ButtonWidth(const std::vector<int>& measured) {
  int b = 75;
  for (int w : measured) b = std::max(b, w);
  return b;
}

// ---- geometry ----

std::vector<std::string> CompactMeasureLines(const std::string& message, const TReportModuleOptions& o) {
  StringList lines = SplitLines(message);
  lines.push_back(o.CustomText(mtDialog_SendMessage) + "    " + o.CustomText(mtDialog_CopyMessage));
  return lines;
}

CompactLayout LayoutCompactView(const std::vector<int>& line_widths, const CompactMetrics& m,
                                const LineCounter& lines_at) {
  const int chrome = 2 * m.frame_width + 58;
  const int max_text = 640 - chrome;
  int widest = 0;
  for (int w : line_widths) widest = std::max(widest, w);
  const int text_w = std::max(1, std::min(widest + 16, max_text));
  int lines = 0;
  for (size_t i = 0; i < line_widths.size(); ++i) {
    const int w = line_widths[i];
    if (w <= text_w)
      ++lines;
    else
      lines += lines_at ? std::max(1, lines_at(i, text_w)) : (w + text_w - 1) / text_w;
  }
  const int text_h = lines * m.line_height;

  CompactLayout l;
  l.message = Box(48, 8, text_w, text_h);
  const int width = std::max(text_w + chrome, 250);
  const int height = std::max(text_h - 39, 0) + 2 * m.frame_height + m.caption_height + 86;
  l.window = Box((m.screen_width - width) / 2, (m.screen_height - height) / 2, width, height);
  return l;
}

ErrorDialogLayout LayoutErrorDialog(int w, int h, int g, int b) {
  ErrorDialogLayout l;
  const int y = h - g - 32;
  l.tabs = Box(4, 52, w - 8, h - 90 - g);
  l.message = Box(48, 8, w - 56, 42);
  l.ok = Box((w - b) / 2, y, b, 25);
  l.terminate = Box(5, y, b, 25);
  l.details = Box(w - b - 5, y, b, 25);
  const int half = (w - 8) / 2;
  l.send_box = Box(4, y + 34, half, 13);
  l.copy_box = Box(w - half - 4, y + 34, half, 13);
  l.screenshot_box = Box(23, y + 50, w - 23, 13);
  return l;
}

DialogRect PageContentRect(int page_w, int page_h) { return Box(3, 20, page_w - 8, page_h - 24); }
DialogRect PageCaptionRect(int page_w) { return Box(3, 3, page_w - 8, 15); }

// ---- the detail lists ----

std::string ShortVersionText(std::string_view version) {
  const size_t first = version.find('.');
  const size_t second = first == std::string_view::npos ? first : version.find('.', first + 1);
  if (second == std::string_view::npos) return std::string(version);
  return std::string(version.substr(0, second)) + ".x";
}

std::string SizeKbText(uint32_t bytes) { return std::to_string((uint64_t{bytes} + 512) / 1024) + " Kb"; }

std::vector<DetailListRow> CallStackListRows(const std::vector<StackRowText>& rows) {
  std::vector<DetailListRow> out;
  for (const StackRowText& r : rows) {
    if (r.kind < 2 || r.kind > 4) continue;
    // A name taken from the program's own exports says less than its line data would: left out.
    if (r.kind == 3 && r.module_kind == kModuleKindExecutable) continue;
    DetailListRow row;
    if (r.kind == 4)
      row.image = kImagePas;
    else
      row.image = r.module_kind == kModuleKindExecutable ? kImageVcl
                  : r.module_kind == kModuleKindPackage  ? kImageBpl
                                                         : kImageDll;
    row.cells = {HexAddress(r.address), r.module, r.unit, r.class_name, r.procedure,
                 r.line != 0 ? std::to_string(r.line) : std::string()};
    out.push_back(std::move(row));
  }
  return out;
}

std::vector<DetailListRow> ModuleListRows(const std::vector<ModuleRowText>& rows) {
  std::vector<DetailListRow> out;
  for (const ModuleRowText& m : rows) {
    DetailListRow row;
    const size_t dot = m.name.rfind('.');
    const std::string ext = dot == std::string::npos ? std::string() : UpperCase(m.name.substr(dot));
    row.image = ext == ".BPL" || ext == ".DPL" ? kImageBpl : ext == ".EXE" ? kImageVcl : kImageDll;
    row.cells = {HexAddress(m.handle), m.name, m.description, ShortVersionText(m.version), SizeKbText(m.size), m.path};
    out.push_back(std::move(row));
  }
  return out;
}

namespace {
std::array<std::string, 6> Titles(const TReportModuleOptions& o, int first) {
  std::array<std::string, 6> t;
  for (int i = 0; i < 6; ++i) t[i] = o.CustomText(first + i);
  return t;
}
}  // namespace

std::array<std::string, 6> CallStackColumnTitles(const TReportModuleOptions& o) { return Titles(o, mtCallStack_Address); }
std::array<std::string, 6> ModuleColumnTitles(const TReportModuleOptions& o) { return Titles(o, mtModules_Handle); }

// ---- "ErrorReport.ini" ----

DetailedGeometry ReadDetailedGeometry(DialogSettingsStore& store, int screen_w, int screen_h, int band) {
  DetailedGeometry g;
  // A size saved on a larger screen, or edited by hand, must still leave a usable window on this one.
  g.width = std::clamp(ReadNumber(store, "Width", 640), kMinDetailedWidth, std::max(kMinDetailedWidth, screen_w));
  g.height =
      std::clamp(ReadNumber(store, "Height", 385), kMinDetailedHeight, std::max(kMinDetailedHeight, screen_h - band));
  g.left = ReadNumber(store, "Left", (screen_w - g.width) / 2);
  g.top = ReadNumber(store, "Top", (screen_h - g.height - band) / 2);
  // The band counts: the check boxes below the buttons must stay on the screen too.
  if (g.top + g.height + band > screen_h) g.top = screen_h - g.height - band;
  if (g.left + g.width > screen_w) g.left = screen_w - g.width;
  g.left = std::max(g.left, 0);
  g.top = std::max(g.top, 0);
  const int state = ReadNumber(store, "WindowsState", kStateNormal);
  g.state = state == kStateMaximised || state == kStateMinimised ? state : kStateNormal;
  return g;
}

void WriteDetailedGeometry(DialogSettingsStore& store, const DetailedGeometry& g) {
  store.Write("Width", Decimal(g.width));
  store.Write("Height", Decimal(g.height));
  store.Write("Left", Decimal(g.left));
  store.Write("Top", Decimal(g.top));
  store.Write("WindowsState", Decimal(g.state));
}

ColumnWidths ReadColumnWidths(DialogSettingsStore& store, const char* prefix, const ColumnWidths& defaults) {
  ColumnWidths w = defaults;
  for (size_t i = 0; i < w.size(); ++i) {
    const int v = ReadNumber(store, prefix + std::to_string(i), defaults[i]);
    w[i] = v >= 0 ? v : defaults[i];
  }
  return w;
}

void WriteColumnWidths(DialogSettingsStore& store, const char* prefix, const ColumnWidths& widths) {
  for (size_t i = 0; i < widths.size(); ++i) store.Write(prefix + std::to_string(i), Decimal(widths[i]));
}

// ---- mailslot ----

std::vector<uint8_t> MailslotMessage(std::string_view unit, int32_t line) {
  std::vector<uint8_t> m(kMailslotMessageSize, 0);
  const size_t n = std::min(unit.size(), kMailslotMessageSize - 5);
  std::copy_n(unit.begin(), n, m.begin());
  const uint32_t v = static_cast<uint32_t>(line);
  for (int i = 0; i < 4; ++i) m[kMailslotMessageSize - 4 + i] = static_cast<uint8_t>(v >> (8 * i));
  return m;
}

// ---- painted style ----

PaintedColours PaintedColoursFor(bool active) {
  if (active) return {0x404040, 0x808080, 0xC29B82, kWhite};
  return {0x303030, 0x606060, 0x979797, kInactiveCaptionTextColour};
}

uint32_t DarkerColour(uint32_t colour) {
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const long c = std::lround(((colour >> shift) & 0xFF) * 0.96);
    out |= static_cast<uint32_t>(std::min(c, 255L)) << shift;
  }
  return out;
}

std::vector<GradientStep> CaptionGradient(int top, int bottom, uint32_t start) {
  std::vector<GradientStep> steps;
  uint32_t colour = start;
  const int count = (bottom - top) / 5;
  for (int i = 0; i < count && top + 2 * i < bottom - 2 * i; ++i) {
    steps.push_back({top + 2 * i, bottom - 2 * i, colour});
    colour = DarkerColour(colour);
  }
  return steps;
}

FontChoice FixedFontFor(bool ansi_character_set) {
  return ansi_character_set ? FontChoice{"Lucida Console", 8} : FontChoice{"Courier New", 10};
}

const char* CaptionFontFor(bool ansi_character_set) { return ansi_character_set ? "Verdana" : "MS Sans Serif"; }

std::string ReproduceStepsText(std::string_view typed) { return Trim(typed); }

}  // namespace sondrel
