#pragma once
// Test helper: screenshots of windows, saved as PNG under build/screenshots/ for people to look at.
#include <windows.h>

#include <string>

#include "base/png.h"

namespace sondrel::test {

// The window's area of the screen as it is shown now (GDI capture), as an RGB image.
PngImage CaptureWindow(HWND h);
// The colour (0xRRGGBB) shown now in the middle of the caption's first row, just inside the frame.
uint32_t CaptionTopColour(HWND h);
// The number of pixels of the window as shown now that are clearly dark (the sum of the three colour
// values below 300): text and outlines on a light surface, so heavier type counts more.
int DarkPixels(HWND h);
// Captures the window and writes <screenshots folder>\<name>.png; returns the file's path.
std::string SaveScreenshot(HWND h, const std::string& name);
// build/screenshots as seen from the test programs (two folders above bin/), with a trailing backslash;
// the environment variable SONDREL_SCREENSHOTS overrides it.
std::string ScreenshotFolder();

}  // namespace sondrel::test
