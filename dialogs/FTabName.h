#pragma once
// The tab name dialog: takes a new, non-blank tab name. The caller presets edtTabname and, on OK,
// reads it back as typed.
#include "skin/controls_win.h"

namespace sondrel {

class TfrmTabName final : public TForm {
 public:
  TfrmTabName();

  TLabel* lblTabname = nullptr;
  TEdit* edtTabname = nullptr;  // at most 12 characters; has the focus when the dialog opens
  TButton* btnOk = nullptr;
  TButton* btnCancel = nullptr;

  // Refuses a name that is blank once trimmed, with a message; otherwise closes with OK.
  void btnOkClick();
};

}  // namespace sondrel
