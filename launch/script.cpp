#include "launch/script.h"

namespace sondrel {
namespace {

// Only the flag argument at the end of the line goes: the same text inside an address is part of the
// address and must reach the browser unchanged.
void DropBackgroundFlag(std::string& line) {
  const std::string tail = std::string(kBackgroundFlag) + ");";
  if (line.size() >= tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0)
    line.replace(line.size() - tail.size(), tail.size(), ");");
}

}  // namespace

std::string JScriptStringLiteral(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || c == 0x7f) {
      // A raw line break would end the literal and the statement; \xHH keeps every control byte,
      // NUL included, as exactly that character.
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0x0f];
    } else {
      out += ch;
    }
  }
  out += '"';
  return out;
}

std::string NavigateLine(std::string_view address, bool background_tabs) {
  return "oIE.Navigate2(" + JScriptStringLiteral(address) +
         (background_tabs ? std::string(kBackgroundFlag) : "") + ");";
}

StringList CompleteScript(StringList navigate_lines, bool background_tabs) {
  StringList script;
  script.reserve(navigate_lines.size() + 3);
  script.push_back("var oIE = new ActiveXObject(\"InternetExplorer.Application\");");
  if (background_tabs) {
    if (!navigate_lines.empty()) DropBackgroundFlag(navigate_lines.front());
    script.push_back("var navOpenInBackgroundTab = 0x1000;");
  }
  for (std::string& line : navigate_lines) script.push_back(std::move(line));
  script.push_back("oIE.Visible = true;");
  return script;
}

std::string ScriptFileText(const StringList& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

}  // namespace sondrel
