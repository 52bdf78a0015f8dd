#include "errorreport/capture/export_names.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>

#include "base/text.h"

namespace sondrel {
namespace {

// The demangled text of an Itanium-mangled name, or "" when it is not one.
std::string DemangleCpp(std::string_view mangled) {
  mangled = StripStdcallSuffix(mangled);
  if (mangled.substr(0, 3) == "__Z") mangled.remove_prefix(1);
  std::string z(mangled);
  int status = -1;
  std::unique_ptr<char, decltype(&std::free)> out(abi::__cxa_demangle(z.c_str(), nullptr, nullptr, &status),
                                                  &std::free);
  return status == 0 && out ? std::string(out.get()) : std::string();
}

// The dotted form: "Unit.Proc" or "Unit.Class.Proc".
SplitName SplitDotted(std::string_view name) {
  SplitName r;
  if (auto at = name.find('@'); at != std::string_view::npos) name = name.substr(0, at);
  StringList parts = Split(name, '.');
  if (parts.size() == 2) {
    r = {3, parts[0] + ".pas", "", parts[1]};
  } else if (parts.size() == 3) {
    r = {3, parts[0] + ".pas", parts[1], parts[2]};
  }
  return r;
}

}  // namespace

std::string_view StripStdcallSuffix(std::string_view name) {
  const size_t at = name.rfind('@');
  if (at == std::string_view::npos || at == 0 || at + 1 == name.size()) return name;
  for (size_t i = at + 1; i < name.size(); ++i)
    if (name[i] < '0' || name[i] > '9') return name;
  return name.substr(0, at);
}

void SplitCppName(std::string_view s, std::string& class_name, std::string& procedure) {
  class_name.clear();
  procedure.clear();
  // Drop " [clone .xxx]" suffixes.
  while (s.size() > 1 && s.back() == ']') {
    auto open = s.rfind(" [");
    if (open == std::string_view::npos) break;
    s = s.substr(0, open);
  }
  // Drop trailing qualifiers and the parameter list: the last ")" and its matching "(".
  auto close = s.rfind(')');
  if (close != std::string_view::npos && s.find("operator") == std::string_view::npos) {
    int depth = 0;
    for (size_t i = close + 1; i-- > 0;) {
      if (s[i] == ')') ++depth;
      if (s[i] == '(' && --depth == 0) {
        s = s.substr(0, i);
        break;
      }
    }
  } else if (close != std::string_view::npos) {
    // "ns::A::operator()(int)" or "operator<": cut at the "(" after the operator's own symbol.
    const size_t op = s.rfind("operator");
    size_t from = op + 8;
    if (s.substr(from, 2) == "()") from += 2;
    if (auto open = s.find('(', from); open != std::string_view::npos) s = s.substr(0, open);
  }
  // Find the last "::" at nesting depth 0 and a return type's blank before the name.
  size_t split = std::string_view::npos, start = 0;
  int angle = 0, paren = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (angle == 0 && paren == 0 && s.compare(i, 8, "operator") == 0 && (i == 0 || s[i - 1] == ':' || s[i - 1] == ' '))
      break;  // the rest is the operator's name, whatever symbols it holds
    const char c = s[i];
    if (c == '<') ++angle;
    if (c == '>' && angle > 0) --angle;
    if (c == '(') ++paren;
    if (c == ')' && paren > 0) --paren;
    if (angle || paren) continue;
    if (c == ':' && i + 1 < s.size() && s[i + 1] == ':') {
      split = i;
      ++i;
    } else if (c == ' ') {
      start = i + 1;
      split = std::string_view::npos;
    }
  }
  if (split != std::string_view::npos && split >= start) {
    class_name = s.substr(start, split - start);
    procedure = s.substr(split + 2);
  } else {
    procedure = s.substr(start);
  }
}

SplitName SplitExportName(std::string_view name) {
  SplitName r;
  if (name.substr(0, 2) == "_Z" || name.substr(0, 3) == "__Z") {
    std::string text = DemangleCpp(name);
    if (!text.empty()) {
      SplitCppName(text, r.class_name, r.procedure);
      r.kind = r.class_name.empty() ? 2 : 3;
      return r;
    }
  }
  if (!name.empty() && name[0] == '@' && name.substr(0, 2) != "@$") {
    const size_t dollar = name.find('$');
    if (dollar == std::string_view::npos) return r;
    std::string s(name.substr(1, dollar - 1));
    if (!s.empty() && s.back() == '@') s.pop_back();
    if (auto pair = s.find("@@"); pair != std::string::npos) s[pair + 1] = '_';
    for (size_t i = 0; i < s.size(); ++i) {
      if (s[i] == '@') {
        s[i] = '.';
        ++i;  // the character after a turned "@" is left as it is
      }
    }
    r = SplitDotted(s);
  } else if (name.find('.') != std::string_view::npos) {
    r = SplitDotted(name);
  } else if (!name.empty() && name[0] != '?') {
    r.kind = 2;
    r.procedure = StripStdcallSuffix(name);
  }
  if (!r.procedure.empty() && r.procedure[0] == '@') r.procedure[0] = '_';
  return r;
}

}  // namespace sondrel
