#pragma once
// The skin description: colours, the font and a few measures every skinned control is drawn with.
// The program carries it as a text file, zlib-compressed, in its resources; it is read once at start.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sondrel {

// A colour as red, green and blue bytes.
struct TSkinColor {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const TSkinColor&) const = default;
};

enum class TSkinPart : int {
  kFace,            // window and page background
  kPanel,           // the area inside the tab strip
  kText,
  kDisabledText,
  kAccent,          // selected tab line, default-button border, ticked box
  kBorder,          // control borders
  kButtonFace,
  kButtonHot,
  kButtonPressed,
  kEditFace,        // edits, drop-downs and list boxes
  kSelection,
  kSelectionText,
  kTabFace,         // unselected tabs
  kCheckMark,
  kCount
};

struct TSkin {
  std::array<TSkinColor, static_cast<size_t>(TSkinPart::kCount)> colors{};
  std::string font_name;
  int font_size = 8;        // points
  int corner_radius = 4;    // rounded corners of buttons and tabs, pixels
  int check_size = 13;      // the check box square, pixels

  TSkinColor Color(TSkinPart part) const { return colors[static_cast<size_t>(part)]; }
  TSkinColor& Color(TSkinPart part) { return colors[static_cast<size_t>(part)]; }
};

// The look the program falls back on when its stored skin is missing or unreadable.
TSkin DefaultSkin();

// Reads a skin description over the defaults. The text is INI-like: sections [Colors], [Font] and
// [Metrics], lines "Name=Value", ";" comments; names and section names are matched without regard to
// letter case, blanks around names and values are ignored. Colours read as RRGGBB or #RRGGBB (hex);
// Font has Name and Size (6 to 24 points); Metrics has CornerRadius (0 to 12) and CheckSize (9 to 20).
// A value that does not read, or is out of range, keeps the default and is listed in problems (one
// line each, with its line number); unknown names are listed too. Never throws for bad input.
TSkin ParseSkin(std::string_view text, std::vector<std::string>* problems = nullptr);

// A colour from RRGGBB or #RRGGBB; nullopt otherwise.
std::optional<TSkinColor> ParseSkinColor(std::string_view text);

// The skin from its stored, zlib-compressed form: the defaults when the bytes do not inflate.
TSkin LoadStoredSkin(std::string_view compressed, std::vector<std::string>* problems = nullptr);

}  // namespace sondrel
