#pragma once
// The default captions the report layout tests read, by index of the options' text table.
#include <string>

namespace sondrel::test {
std::string DefaultReportText(int index);
}
