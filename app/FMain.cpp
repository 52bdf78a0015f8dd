#include "app/FMain.h"

namespace sondrel {

TfrmMain::TfrmMain() : TForm("Sondrel", kClientWidth, kClientHeight, /*minimize_box=*/true) {
  Image2 = Own(std::make_unique<TImage>(*this, Handle(), 14, 130, 370, 60));
  Image2->LoadJpeg(ResourceBytes("BANNER"));
  Image2->OnClick = [this] { Image2Click(); };
}

void TfrmMain::Image2Click() {}

}  // namespace sondrel
