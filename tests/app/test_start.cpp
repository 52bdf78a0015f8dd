// The built program starts under Wine, shows its main window and ends when it is closed.
#include <gtest/gtest.h>

#include "base/cmdline.h"
#include "tests/support/process_win.h"
#include "tests/support/screenshot_win.h"
#include "tests/support/windows_win.h"

namespace sondrel::test {
namespace {

TEST(Start, MainWindowAppearsWithItsSizeAndCloses) {
  Child app(QuoteArg(ProgramFolder() + "Sondrel.exe"), ProgramFolder());
  HWND main = FindTopWindow("Sondrel", 20000, app.Pid());
  ASSERT_NE(main, nullptr) << "no window captioned Sondrel";
  SIZE client = ClientSize(main);
  EXPECT_EQ(client.cx, 657);
  EXPECT_EQ(client.cy, 223);
  LONG style = GetWindowLongA(main, GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  PumpMessages(500);
  SaveScreenshot(main, "start_main");
  PostMessageA(main, WM_CLOSE, 0, 0);
  DWORD code = 99;
  EXPECT_TRUE(app.Wait(10000, &code));
  EXPECT_EQ(code, 0u);
}

}  // namespace
}  // namespace sondrel::test
