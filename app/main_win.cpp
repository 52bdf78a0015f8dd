#include <windows.h>

#include "app/CheckPrevious_win.h"
#include "app/FMain.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  sondrel::TApplication app(instance);
  app.SetTitle("Sondrel");
  try {
    // A second start of the same program file brings the running one forward and ends here.
    if (!sondrel::ActivateRunningInstance(app.Handle(), 1)) {
      sondrel::TfrmMain main;
      app.SetMainForm(&main);
      // (The custom-entry dialog is created here, hidden, and lives for the whole run.)
      app.Run();
    }
  } catch (...) {
    app.HandleException(std::current_exception());
  }
  // Every process that ran the guard gives its slot back, also one that ended at once.
  try {
    sondrel::ReleaseInstanceSlot();
  } catch (...) {
    app.HandleException(std::current_exception());
  }
  return 0;
}
