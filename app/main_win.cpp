#include <windows.h>

#include "app/CheckPrevious_win.h"
#include "app/FMain.h"
#include "dialogs/FCustomSite.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  sondrel::TApplication app(instance);
  app.SetTitle("Sondrel");
  try {
    // A second start of the same program file brings the running one forward and ends here.
    if (!sondrel::ActivateRunningInstance(app.Handle(), 1)) {
      sondrel::TfrmMain main;
      // Hidden for the whole run. Made before the main window becomes the main form, so that it belongs
      // to the application window: one owned by the main window would be destroyed with it, under its
      // living object.
      sondrel::TfrmCustomSite custom_site;
      app.SetMainForm(&main);
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
