#include <windows.h>

#include "app/FMain.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  sondrel::TApplication app(instance);
  app.SetTitle("Sondrel");
  try {
    sondrel::TfrmMain main;
    app.SetMainForm(&main);
    app.Run();
  } catch (...) {
    app.HandleException(std::current_exception());
  }
  return 0;
}
