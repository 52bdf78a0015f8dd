#pragma once
// Runs test_intercept_child in one of its modes and counts what it printed; shared by the interception
// and freeze tests.
#include <string>

#include "tests/support/process_win.h"

namespace sondrel {

inline test::ChildResult RunMode(const std::string& mode) {
  return test::RunChild("\"" + test::ProgramFolder() + "test_intercept_child.exe\" " + mode, 60000);
}

inline int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace sondrel
