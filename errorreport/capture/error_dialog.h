#pragma once
// The rules of the error dialog and the request dialog that do not need a window: which controls
// show, where they go for a given size, the texts of the detail lists, the geometry kept in
// "ErrorReport.ini", the painted caption and the message a row activation sends. The Win32 dialog
// (error_dialog_win.*) measures text and asks the system for its metrics, and leaves every decision
// to these functions.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "errorreport/capture/report_text.h"
#include "errorreport/delivery/report_options.h"

namespace sondrel {

// Control identifiers of the dialog templates.
enum ErrorDialogControl : int {
  kIdOk = 2,  // also what Escape and the close command send, so both act as OK
  kIdTerminate = 3,
  kIdDetails = 4,
  kIdMessage = 101,
  kIdTabs = 1000,
  kIdEtchedLine = 2000,
  kIdSendBox = 3000,
  kIdScreenshotBox = 4000,
  kIdCopyBox = 5000,
  // Detail pages.
  kIdPageCaption = 102,
  kIdPageContent = 103,
  // Request dialog.
  kIdRequestLabel = 100,
  kIdRequestEdit = 101,
};

// What the dialog shows and how its boxes start, from the options in force and the report.
struct ErrorDialogState {
  bool send_visible = false;
  bool send_checked = false;
  bool screenshot_visible = false;
  bool screenshot_checked = false;
  bool terminate_visible = false;
  int band = 20;       // height kept for the check boxes below the buttons
  int first_page = 0;  // 0 general, 1 call stack, 2 modules, 3 CPU
};
// exceptions_reported counts the report being shown.
ErrorDialogState ErrorDialogStateFor(const TReportModuleOptions& o, bool duplicate, uint32_t exceptions_reported);
// 34 with both the send and the screenshot box shown, else 20.
int CheckBoxBand(bool send_visible, bool screenshot_visible);

// Button texts: "&Terminate" or "&Restart"; "&Details >>" compact, "<< &Details" detailed.
std::string TerminateButtonText(const TReportModuleOptions& o);
std::string DetailsButtonText(const TReportModuleOptions& o, bool detailed);
// The texts whose widths (each with an "O" appended) decide the button width.
std::vector<std::string> ButtonWidthTexts(const TReportModuleOptions& o);
// The widest measured text, at least 75.
int ButtonWidth(const std::vector<int>& measured);

struct DialogRect {
  int x = 0, y = 0, w = 0, h = 0;
  bool operator==(const DialogRect&) const = default;
};

// Compact view. Lines to measure: every line of the message, then the line of the send and copy
// boxes' texts.
std::vector<std::string> CompactMeasureLines(const std::string& message, const TReportModuleOptions& o);
struct CompactMetrics {
  int frame_width = 3, frame_height = 3, caption_height = 18, line_height = 13;
  int screen_width = 1024, screen_height = 768;
};
struct CompactLayout {
  DialogRect message;  // control 101, in client coordinates
  DialogRect window;   // the window without the band (its height gets the band added when shown)
};
// lines_at(i, text_width) says how many lines line i takes when it is wider than the text: by default
// as many as its width needs (rounded up); the dialog asks its word-wrapping text control.
using LineCounter = std::function<int(size_t line, int text_width)>;
CompactLayout LayoutCompactView(const std::vector<int>& line_widths, const CompactMetrics& m,
                                const LineCounter& lines_at = {});

// The controls on every size change: client width w and height h, band g, button width b.
struct ErrorDialogLayout {
  DialogRect tabs, message, ok, terminate, details, send_box, copy_box, screenshot_box;
};
// message is only meaningful in the detailed view (the compact view sizes it to the text).
ErrorDialogLayout LayoutErrorDialog(int w, int h, int g, int b);
// Content control 103 of a page of the given size.
DialogRect PageContentRect(int page_w, int page_h);
DialogRect PageCaptionRect(int page_w);

// ---- the detail lists ----

struct DetailListRow {
  int image = 0;  // kImageDll .. kImagePas
  std::array<std::string, 6> cells;
};
enum DetailImage : int { kImageDll = 0, kImageBpl = 1, kImageVcl = 2, kImagePas = 3 };
// Module kinds of the module list: 1 program file, 2 run-time package, 3 other library.
inline constexpr uint8_t kModuleKindExecutable = 1;
inline constexpr uint8_t kModuleKindPackage = 2;

// Rows of kind 2, 3 and 4, without the kind-3 rows of the program file, as the report prints them.
std::vector<DetailListRow> CallStackListRows(const std::vector<StackRowText>& rows);
std::vector<DetailListRow> ModuleListRows(const std::vector<ModuleRowText>& rows);
// "5.1.x" for "5.1.2600.2180"; a version with fewer than two points is shown whole.
std::string ShortVersionText(std::string_view version);
// The size in KiB, rounded, with " Kb".
std::string SizeKbText(uint32_t bytes);
// Column headings (texts 47-52 and 62-67) and which columns are right-aligned.
std::array<std::string, 6> CallStackColumnTitles(const TReportModuleOptions& o);
std::array<std::string, 6> ModuleColumnTitles(const TReportModuleOptions& o);
inline constexpr std::array<bool, 6> kCallStackRightAligned = {false, false, false, false, false, true};
inline constexpr std::array<bool, 6> kModuleRightAligned = {false, false, false, true, true, false};

// ---- "ErrorReport.ini" ----

// One section of a settings file; the Win32 side is the private-profile functions.
class DialogSettingsStore {
 public:
  virtual ~DialogSettingsStore() = default;
  // The stored text, or def when the key is missing or the file cannot be read.
  virtual std::string Read(const std::string& key, const std::string& def) = 0;
  // A failed write is ignored.
  virtual void Write(const std::string& key, const std::string& value) = 0;
};
inline constexpr const char* kDialogSettingsFile = "ErrorReport.ini";
inline constexpr const char* kDialogSettingsSection = "Coordinates";

enum WindowState : int { kStateNormal = 1, kStateMaximised = 3, kStateMinimised = 6 };

struct DetailedGeometry {
  int width = 640;
  int height = 385;  // without the band
  int left = 0, top = 0;
  int state = kStateNormal;
};
// The detailed view's placement, brought inside a screen of the given size: defaults for missing or
// unreadable keys, centred by default; a window reaching past the right or bottom edge is moved back
// (its check boxes included), negative positions become 0, and a size is kept between the smallest
// usable one and the screen's.
DetailedGeometry ReadDetailedGeometry(DialogSettingsStore& store, int screen_w, int screen_h, int band);
// Width, Height (window height less the band), Left, Top and WindowsState.
void WriteDetailedGeometry(DialogSettingsStore& store, const DetailedGeometry& g);
inline constexpr int kMinDetailedWidth = 320;
inline constexpr int kMinDetailedHeight = 200;

using ColumnWidths = std::array<int, 6>;
// "Col" for the call stack, "ColMod" for the modules page.
inline constexpr const char* kCallStackColumnKey = "Col";
inline constexpr const char* kModuleColumnKey = "ColMod";
inline constexpr ColumnWidths kCallStackColumnDefaults = {80, 102, 105, 118, 137, 48};
inline constexpr ColumnWidths kModuleColumnDefaults = {80, 100, 130, 65, 65, 150};
ColumnWidths ReadColumnWidths(DialogSettingsStore& store, const char* prefix, const ColumnWidths& defaults);
void WriteColumnWidths(DialogSettingsStore& store, const char* prefix, const ColumnWidths& widths);

// ---- the mailslot message of an activated call-stack row ----

inline constexpr const char* kMailslotName = "\\\\.\\mailslot\\ErrorReport";
inline constexpr size_t kMailslotMessageSize = 2052;
// The unit name, zero-terminated, in the first 2048 bytes (cut to fit), then the line as a 32-bit
// little-endian integer.
std::vector<uint8_t> MailslotMessage(std::string_view unit, int32_t line);

// ---- the painted style ----

// Colour values as the system takes them (0x00BBGGRR).
struct PaintedColours {
  uint32_t outer_frame, border, caption_start, caption_text;
};
PaintedColours PaintedColoursFor(bool active);
inline constexpr uint32_t kFaceColour = 0xC8D0D4;  // red 212, green 208, blue 200
inline constexpr uint32_t kCaptionShadowColour = 0x222222;
inline constexpr uint32_t kInactiveCaptionTextColour = 0xE0E0E0;
inline constexpr uint32_t kWhite = 0xFFFFFF;
// Each colour component times 0.96, rounded, at most 255.
uint32_t DarkerColour(uint32_t colour);
// The caption area [top, bottom) filled in (height / 5) steps, each 2 pixels smaller at the top and
// at the bottom than the one before and darker; the first covers the whole area.
struct GradientStep {
  int top, bottom;
  uint32_t colour;
};
std::vector<GradientStep> CaptionGradient(int top, int bottom, uint32_t start);

// Fonts of both dialogs: the fixed font of memos and lists, the caption font of the painted style.
struct FontChoice {
  const char* face;
  int points;
};
// "Lucida Console" 8, or "Courier New" 10 when the user's code page belongs to another character set
// than the ANSI one.
FontChoice FixedFontFor(bool ansi_character_set);
const char* CaptionFontFor(bool ansi_character_set);

// The request dialog's text as the reproduce steps.
std::string ReproduceStepsText(std::string_view typed);

}  // namespace sondrel
