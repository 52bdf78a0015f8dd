#include "skin/skin.h"

#include "base/inflate.h"
#include "base/text.h"

namespace sondrel {
namespace {

struct PartName {
  const char* name;
  TSkinPart part;
};
constexpr PartName kPartNames[] = {
    {"Face", TSkinPart::kFace},
    {"Panel", TSkinPart::kPanel},
    {"Text", TSkinPart::kText},
    {"DisabledText", TSkinPart::kDisabledText},
    {"Accent", TSkinPart::kAccent},
    {"Border", TSkinPart::kBorder},
    {"ButtonFace", TSkinPart::kButtonFace},
    {"ButtonHot", TSkinPart::kButtonHot},
    {"ButtonPressed", TSkinPart::kButtonPressed},
    {"EditFace", TSkinPart::kEditFace},
    {"Selection", TSkinPart::kSelection},
    {"SelectionText", TSkinPart::kSelectionText},
    {"TabFace", TSkinPart::kTabFace},
    {"CheckMark", TSkinPart::kCheckMark},
};
static_assert(std::size(kPartNames) == static_cast<size_t>(TSkinPart::kCount), "every part has a name");

// The stored skin is a few hundred bytes; anything that inflates past this is not ours.
constexpr size_t kMaxSkinText = 64 * 1024;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<int> ReadRange(std::string_view value, int low, int high) {
  auto n = TryStrToInt(value);
  if (!n || *n < low || *n > high) return std::nullopt;
  return *n;
}

}  // namespace

TSkin DefaultSkin() {
  TSkin s;
  auto set = [&s](TSkinPart p, uint8_t r, uint8_t g, uint8_t b) { s.Color(p) = TSkinColor{r, g, b}; };
  set(TSkinPart::kFace, 0xEC, 0xEF, 0xF1);
  set(TSkinPart::kPanel, 0xF7, 0xF8, 0xF9);
  set(TSkinPart::kText, 0x22, 0x2B, 0x33);
  set(TSkinPart::kDisabledText, 0x9A, 0xA3, 0xAB);
  set(TSkinPart::kAccent, 0x3A, 0x6B, 0x8C);
  set(TSkinPart::kBorder, 0xB4, 0xBE, 0xC6);
  set(TSkinPart::kButtonFace, 0xFC, 0xFC, 0xFD);
  set(TSkinPart::kButtonHot, 0xE6, 0xEF, 0xF5);
  set(TSkinPart::kButtonPressed, 0xD2, 0xE0, 0xEA);
  set(TSkinPart::kEditFace, 0xFF, 0xFF, 0xFF);
  set(TSkinPart::kSelection, 0x3A, 0x6B, 0x8C);
  set(TSkinPart::kSelectionText, 0xFF, 0xFF, 0xFF);
  set(TSkinPart::kTabFace, 0xDD, 0xE3, 0xE8);
  set(TSkinPart::kCheckMark, 0xFF, 0xFF, 0xFF);
  s.font_name = "Tahoma";
  return s;
}

std::optional<TSkinColor> ParseSkinColor(std::string_view text) {
  if (!text.empty() && text.front() == '#') text.remove_prefix(1);
  if (text.size() != 6) return std::nullopt;
  uint8_t v[3];
  for (size_t i = 0; i < 3; ++i) {
    int hi = HexDigit(text[i * 2]), lo = HexDigit(text[i * 2 + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    v[i] = static_cast<uint8_t>(hi * 16 + lo);
  }
  return TSkinColor{v[0], v[1], v[2]};
}

TSkin ParseSkin(std::string_view text, std::vector<std::string>* problems) {
  TSkin skin = DefaultSkin();
  auto problem = [problems](size_t line, const std::string& what) {
    if (problems) problems->push_back("line " + std::to_string(line) + ": " + what);
  };
  std::string section;
  size_t number = 0;
  for (const std::string& raw : SplitLines(text)) {
    ++number;
    std::string line = Trim(raw);
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[') {
      if (line.back() != ']') {
        problem(number, "unclosed section name");
        section.clear();
        continue;
      }
      section = Trim(std::string_view(line).substr(1, line.size() - 2));
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string::npos) {
      problem(number, "no '=' in \"" + line + "\"");
      continue;
    }
    const std::string name = Trim(std::string_view(line).substr(0, eq));
    const std::string value = Trim(std::string_view(line).substr(eq + 1));
    bool known = false, read = false;
    if (SameText(section, "Colors")) {
      for (const PartName& p : kPartNames) {
        if (!SameText(name, p.name)) continue;
        known = true;
        if (auto c = ParseSkinColor(value)) {
          skin.Color(p.part) = *c;
          read = true;
        }
      }
    } else if (SameText(section, "Font")) {
      if (SameText(name, "Name")) {
        known = true;
        // A face name longer than the system's limit (31 characters) could not be selected.
        if (!value.empty() && value.size() < 32) {
          skin.font_name = value;
          read = true;
        }
      } else if (SameText(name, "Size")) {
        known = true;
        if (auto n = ReadRange(value, 6, 24)) skin.font_size = *n, read = true;
      }
    } else if (SameText(section, "Metrics")) {
      if (SameText(name, "CornerRadius")) {
        known = true;
        if (auto n = ReadRange(value, 0, 12)) skin.corner_radius = *n, read = true;
      } else if (SameText(name, "CheckSize")) {
        known = true;
        if (auto n = ReadRange(value, 9, 20)) skin.check_size = *n, read = true;
      }
    }
    if (!known)
      problem(number, "unknown name \"" + name + "\" in section [" + section + "]");
    else if (!read)
      problem(number, "value \"" + value + "\" of " + name + " does not read; the default stays");
  }
  return skin;
}

TSkin LoadStoredSkin(std::string_view compressed, std::vector<std::string>* problems) {
  auto text = InflateZlib(compressed, kMaxSkinText);
  if (!text) {
    if (problems) problems->push_back("the stored skin does not inflate; the default look is used");
    return DefaultSkin();
  }
  return ParseSkin(*text, problems);
}

}  // namespace sondrel
