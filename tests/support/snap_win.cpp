// sondrel_snap <caption> <name> [seconds]: waits for a top-level window with the caption, lets it paint,
// saves its screenshot as <screenshots>\<name>.png, then asks it to close. Used by `make run` without a
// display. Exit code 0 when the window was found and saved.
#include <cstdio>
#include <cstdlib>

#include "tests/support/screenshot_win.h"
#include "tests/support/windows_win.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: sondrel_snap <caption> <name> [seconds]\n");
    return 2;
  }
  const DWORD wait_ms = argc > 3 ? static_cast<DWORD>(std::atoi(argv[3]) * 1000) : 3000;
  HWND h = sondrel::test::FindTopWindow(argv[1], 30000);
  if (!h) {
    std::fprintf(stderr, "no window captioned \"%s\" appeared\n", argv[1]);
    return 1;
  }
  sondrel::test::PumpMessages(wait_ms);
  try {
    std::printf("saved %s\n", sondrel::test::SaveScreenshot(h, argv[2]).c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "screenshot failed: %s\n", e.what());
    return 1;
  }
  PostMessageA(h, WM_CLOSE, 0, 0);
  return 0;
}
