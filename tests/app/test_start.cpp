// The built program starts under Wine, shows its main window and ends when it is closed.
#include <gtest/gtest.h>

#include <vector>

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

TEST(Start, ProgramCarriesVersionAndIcon) {
  const std::string exe = ProgramFolder() + "Sondrel.exe";
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(exe.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, size, info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &len));
  EXPECT_EQ(HIWORD(fixed->dwProductVersionMS), 2);
  EXPECT_EQ(LOWORD(fixed->dwProductVersionMS), 0);
  char* text = nullptr;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\StringFileInfo\\040904E4\\ProductVersion", reinterpret_cast<void**>(&text), &len));
  EXPECT_STREQ(text, "2.0");
  HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(14)), nullptr);  // RT_GROUP_ICON
  FreeLibrary(module);
}

}  // namespace
}  // namespace sondrel::test
