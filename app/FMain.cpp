#include "app/FMain.h"

#include "app/startup_win.h"

namespace sondrel {

TfrmMain::TfrmMain() : TForm("Sondrel", kClientWidth, kClientHeight, /*minimize_box=*/true) {
  // The data folder and the default files come first: the search manager reads from there.
  DataFolder = PrepareDataFolder();
  // (The default browser is detected here, before the search manager exists.)
  SearchManager = std::make_unique<TSearchManager>(DataFolder);

  Image2 = Own(std::make_unique<TImage>(*this, Handle(), 14, 130, 370, 60));
  Image2->LoadJpeg(ResourceBytes("BANNER"));
  Image2->OnClick = [this] { Image2Click(); };
}

void TfrmMain::Image2Click() {}

}  // namespace sondrel
