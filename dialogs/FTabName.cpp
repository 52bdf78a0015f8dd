#include "dialogs/FTabName.h"

#include "dialogs/checks.h"

namespace sondrel {

TfrmTabName::TfrmTabName() : TForm("Change tab name", 260, 100, /*minimize_box=*/false) {
  lblTabname = Add<TLabel>(Handle(), "Enter a tab name:", 12, 12, 236, 16);
  edtTabname = Add<TEdit>(Handle(), 12, 30, 236, 21);
  edtTabname->SetMaxLength(kTabNameMaxLength);
  btnOk = Add<TButton>(Handle(), "Ok", 62, 66, 90, 22);
  btnOk->OnClick = [this] { btnOkClick(); };
  btnCancel = Add<TButton>(Handle(), "Cancel", 158, 66, 90, 22);
  btnCancel->OnClick = [this] { ModalResult = mrCancel; };
  SetDefaultControl(btnOk);
  SetCancelControl(btnCancel);
  ActiveControl = edtTabname;
}

void TfrmTabName::btnOkClick() {
  if (auto message = CheckTabName(edtTabname->Text())) {
    InformationBox(Handle(), *message, false);
    return;
  }
  ModalResult = mrOk;
}

}  // namespace sondrel
