#include "tests/errorreport/report_test_texts.h"

#include <map>

namespace sondrel::test {

std::string DefaultReportText(int index) {
  static const std::map<int, std::string> texts = {
      {7, "Call Stack Information"}, {9, "Modules Information"},
      {19, "Application"}, {20, "Start Date"}, {21, "Name/Description"}, {22, "Version Number"},
      {23, "Parameters"}, {24, "Exception"}, {25, "Date"}, {26, "Address"}, {27, "Module"}, {28, "Type"},
      {29, "Message"}, {30, "Active Controls"}, {31, "Form Class"}, {32, "Form Text"}, {33, "Control Class"},
      {34, "Control Text"}, {35, "Computer"}, {36, "Name"}, {37, "User"}, {38, "Total Memory"},
      {39, "Free Memory"}, {40, "Total Disk"}, {41, "Free Disk"}, {42, "Operating System"}, {43, "Type"},
      {44, "Build #"}, {45, "Update"}, {46, "Language"}, {47, "Address"}, {48, "Module"}, {49, "Unit"},
      {50, "Class"}, {51, "Procedure/Method"}, {52, "Line"}, {59, "Request"}, {62, "Handle"}, {63, "Name"},
      {64, "Description"}, {65, "Version"}, {66, "Size"}, {67, "Path"}, {68, "Registers"}, {69, "Stack"},
      {70, "Memory Dump"}};
  auto it = texts.find(index);
  return it == texts.end() ? std::string() : it->second;
}

}  // namespace sondrel::test
