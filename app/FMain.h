#pragma once
// The program's main window.
#include <memory>
#include <string>

#include "model/UGeneral.h"
#include "skin/forms_win.h"
#include "skin/picture_win.h"

namespace sondrel {

class TfrmMain : public TForm {
 public:
  TfrmMain();
  static constexpr int kClientWidth = 657;
  static constexpr int kClientHeight = 223;

  // The per-user data folder with its trailing backslash, and the model read from it.
  std::string DataFolder;
  std::unique_ptr<TSearchManager> SearchManager;

  TImage* Image2 = nullptr;

 private:
  void Image2Click();
};

}  // namespace sondrel
