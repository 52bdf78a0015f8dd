#include "model/profile.h"

#include "base/file.h"

namespace sondrel {
namespace {

// A line of the file, classified as the private-profile reader sees it.
struct IniLine {
  enum Kind { kOther, kSection, kKey } kind = kOther;
  std::string name;   // section or key name, without blanks
  std::string value;  // key value, without blanks and without one pair of matching quotes
};

IniLine Classify(std::string_view raw) {
  IniLine l;
  std::string line = Trim(raw);
  if (line.empty() || line[0] == ';') return l;
  if (line[0] == '[') {
    size_t close = line.find(']');
    l.kind = IniLine::kSection;
    l.name =
        Trim(std::string_view(line).substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return l;
  }
  size_t eq = line.find('=');
  if (eq == std::string::npos) return l;
  l.kind = IniLine::kKey;
  l.name = Trim(std::string_view(line).substr(0, eq));
  l.value = Trim(std::string_view(line).substr(eq + 1));
  if (l.value.size() >= 2 && (l.value.front() == '"' || l.value.front() == '\'') &&
      l.value.back() == l.value.front())
    l.value = l.value.substr(1, l.value.size() - 2);
  return l;
}

}  // namespace

std::optional<int32_t> ParseProfileInteger(std::string_view text) {
  // The shared parser also takes "$" for hexadecimal, which settings files do not use.
  size_t digits = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
  if (digits < text.size() && text[digits] == '$') return std::nullopt;
  return TryStrToInt(text);
}

int32_t ReadProfileInteger(const TProfile& profile, std::string_view section, std::string_view key,
                           int32_t def) {
  auto text = profile.ReadString(section, key);
  if (!text) return def;
  return ParseProfileInteger(*text).value_or(def);
}

TIniProfile::TIniProfile(std::string path) : path_(std::move(path)) {}

std::optional<std::string> TIniProfile::ReadString(std::string_view section, std::string_view key) const {
  auto text = ReadFileBytes(path_);
  if (!text) return std::nullopt;
  return ReadFrom(*text, section, key);
}

void TIniProfile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  WriteFileAtomic(path_, WriteTo(ReadFileBytes(path_).value_or(""), section, key, value));
}

std::optional<std::string> TIniProfile::ReadFrom(std::string_view text, std::string_view section,
                                                 std::string_view key) {
  // Only the first section of the name counts, as with the system's reader.
  bool in_section = false;
  for (const std::string& raw : SplitLines(text)) {
    IniLine l = Classify(raw);
    if (l.kind == IniLine::kSection) {
      if (in_section) break;
      in_section = SameText(l.name, Trim(section));
    } else if (in_section && l.kind == IniLine::kKey && SameText(l.name, Trim(key))) {
      return l.value;
    }
  }
  return std::nullopt;
}

std::string TIniProfile::WriteTo(std::string_view text, std::string_view section, std::string_view key,
                                 std::string_view value) {
  StringList lines = SplitLines(text);
  const std::string want_section = Trim(section);
  const std::string want_key = Trim(key);
  const std::string new_line = want_key + "=" + std::string(value);
  // Where the section starts and where a new key would go: after its last line that is not blank.
  int section_at = -1, insert_at = -1;
  bool done = false;
  for (size_t i = 0; i < lines.size() && !done; ++i) {
    IniLine l = Classify(lines[i]);
    if (l.kind == IniLine::kSection) {
      if (section_at >= 0) break;  // the wanted section ended without the key
      if (SameText(l.name, want_section)) section_at = insert_at = static_cast<int>(i);
    } else if (section_at >= 0) {
      if (l.kind == IniLine::kKey && SameText(l.name, want_key)) {
        lines[i] = l.name + "=" + std::string(value);
        done = true;
      } else if (!Trim(lines[i]).empty()) {
        insert_at = static_cast<int>(i);
      }
    }
  }
  if (!done) {
    if (section_at >= 0) {
      lines.insert(lines.begin() + insert_at + 1, new_line);
    } else {
      lines.push_back("[" + want_section + "]");
      lines.push_back(new_line);
    }
  }
  std::string out;
  for (const std::string& l : lines) out += l + "\r\n";
  return out;
}

}  // namespace sondrel
