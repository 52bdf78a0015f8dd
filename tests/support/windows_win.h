#pragma once
// Test helper: finds windows and drives controls through the standard messages, as automation would.
#include <windows.h>

#include <string>

namespace sondrel::test {

// The first visible top-level window with exactly this caption, waiting up to timeout_ms; null if none.
HWND FindTopWindow(const std::string& caption, DWORD timeout_ms = 10000, DWORD process_id = 0);
// The process's hidden top-level window with exactly this caption, now; null if none.
HWND FindHiddenTopWindow(const std::string& caption, DWORD process_id);
// A descendant by control id, or the index-th descendant (0-based, creation order) of a window class.
HWND FindChildById(HWND parent, int id);
HWND FindChildByClass(HWND parent, const std::string& window_class, int index = 0);
// A descendant whose window text equals the caption (letter case ignored), or null.
HWND FindChildByText(HWND parent, const std::string& caption);
std::string WindowText(HWND h);
SIZE ClientSize(HWND h);

// Each sends the message a user's action would cause and returns once the control handled it.
void Click(HWND button);
void SetText(HWND control, const std::string& text);
// Selects a drop-down row and tells the owner, as a selection by the user does.
void SelectRow(HWND combo, int row);
// Ticks or unticks a check box by clicking it when its state differs.
void Tick(HWND check_box, bool on);
bool IsTicked(HWND check_box);

// Handles this thread's waiting messages for about ms milliseconds.
void PumpMessages(DWORD ms);

}  // namespace sondrel::test
