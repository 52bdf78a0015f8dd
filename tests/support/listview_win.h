#pragma once
// Test helper: reads list views and tab controls of any process, as automation does (their messages
// carry pointers, which the system does not carry across processes: the buffers live in the target).
#include <windows.h>

#include <string>
#include <vector>

namespace sondrel::test {

// Every row's cells, column by column.
std::vector<std::vector<std::string>> ListViewRows(HWND list);
// The image index of a row.
int ListViewImage(HWND list, int row);
// The caption of every tab.
std::vector<std::string> TabTexts(HWND tabs);

}  // namespace sondrel::test
