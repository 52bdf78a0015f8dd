#pragma once
// The program's main window.
#include <string>

#include "skin/forms_win.h"
#include "skin/picture_win.h"

namespace sondrel {

class TfrmMain : public TForm {
 public:
  TfrmMain();
  static constexpr int kClientWidth = 657;
  static constexpr int kClientHeight = 223;

  TImage* Image2 = nullptr;

 private:
  void Image2Click();
};

}  // namespace sondrel
