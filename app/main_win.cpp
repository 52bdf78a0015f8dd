#include <windows.h>

#include <functional>
#include <optional>

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
      app.SetMainForm(&main);
      // Hidden for the whole run, and nothing the shown window needs: made once the main window is
      // painted and waits for input, a few controls at a time so that the user's input is handled in
      // between. It belongs to the application window: one owned by the main window would be
      // destroyed with it, under its living object.
      std::optional<sondrel::TfrmCustomSite> custom_site;
      app.RunWhenIdle([&app, &custom_site] {
        custom_site.emplace(sondrel::CreateShellWindows, /*application_owned=*/true,
                            [&app](std::function<void()> step) { app.RunWhenIdle(std::move(step)); });
      });
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
