#pragma once
// Test helper: what a report says in its call stack and processor part, for checks that look at more
// than one line of it.
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "base/text.h"

namespace sondrel::test {

// What a report says in its call stack and processor part, for checks that look at more than one line.
struct ReportFacts {
  std::vector<std::vector<std::string>> stack;  // address, module, unit, class, procedure, line (trimmed)
  std::map<std::string, std::string> registers;
  std::string address;     // row 2.2
  std::string dump_stack;  // the stack address of the dump's first line
};

inline std::string TrimBlanks(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

inline ReportFacts ReadFacts(const std::string& report) {
  ReportFacts f;
  StringList lines = Split(report, '\n');
  for (auto& l : lines)
    if (!l.empty() && l.back() == '\r') l.pop_back();
  bool in_stack = false;
  int dashes = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& l = lines[i];
    if (l.rfind("  2.2 Address: ", 0) == 0) f.address = l.substr(15);
    if (l == "Call Stack Information:") in_stack = true, dashes = 0;
    if (in_stack && !l.empty() && l[0] == '-') ++dashes;
    if (in_stack && dashes == 3) in_stack = false;
    if (in_stack && dashes == 2 && l.size() > 1 && l[0] == '|') {
      std::vector<std::string> cells;
      for (const auto& c : Split(l.substr(1, l.size() - 2), '|')) cells.push_back(TrimBlanks(c));
      f.stack.push_back(cells);
    }
    for (const char* r : {"EAX", "EBX", "ECX", "EDX", "EDI", "ESI", "ESP", "EIP"}) {
      const size_t at = l.find(std::string(r) + ": ");
      if (at != std::string::npos && l.size() >= at + 13) f.registers[r] = l.substr(at + 5, 8);
    }
    if (l.rfind("------------------   ---", 0) == 0 && i + 1 < lines.size()) f.dump_stack = lines[i + 1].substr(0, 8);
  }
  return f;
}

// The index of the first call-stack row of the procedure, or npos.
inline size_t RowOf(const ReportFacts& f, const std::string& procedure) {
  for (size_t i = 0; i < f.stack.size(); ++i)
    if (f.stack[i].size() == 6 && f.stack[i][4] == procedure) return i;
  return std::string::npos;
}

}  // namespace sondrel::test
