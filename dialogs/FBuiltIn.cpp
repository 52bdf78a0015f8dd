#include "dialogs/FBuiltIn.h"

#include "dialogs/builtin_list.h"

namespace sondrel {
namespace {

// The picker sits over the main window rather than in the middle of the screen.
void CentreOverMainForm(HWND form) {
  const TForm* main = Application ? Application->MainForm() : nullptr;
  if (!main || !main->Handle() || main->Handle() == form) return;
  RECT over, own;
  GetWindowRect(main->Handle(), &over);
  GetWindowRect(form, &own);
  const int w = own.right - own.left, h = own.bottom - own.top;
  SetWindowPos(form, nullptr, over.left + (over.right - over.left - w) / 2,
               over.top + (over.bottom - over.top - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

TfrmBuilIn::TfrmBuilIn(const TSearchManager& model)
    : TForm("Select search from a built-in list ", 330, 136, /*minimize_box=*/false), model_(model) {
  lblEntryName = Add<TLabel>(Handle(), "Entry name:", 12, 12, 306, 16);
  lblCategory = Add<TLabel>(Handle(), "Category:", 12, 41, 76, 16);
  cbxCategory = Add<TComboBox>(Handle(), /*editable=*/false, 90, 38, 228, 10);
  cbxCategory->OnChange = [this] { cbxCategoryChange(); };
  lblBuiltIn = Add<TLabel>(Handle(), "Built-in list:", 12, 71, 76, 16);
  cbxBuiltIn = Add<TComboBox>(Handle(), /*editable=*/false, 90, 68, 228, 10);
  btnOk = Add<TButton>(Handle(), "Ok", 132, 104, 90, 22);
  btnOk->OnClick = [this] { btnOkClick(); };
  btnCancel = Add<TButton>(Handle(), "Cancel", 228, 104, 90, 22);
  btnCancel->OnClick = [this] { ModalResult = mrCancel; };
  SetDefaultControl(btnOk);
  SetCancelControl(btnCancel);
  ActiveControl = cbxCategory;
  CentreOverMainForm(Handle());
  FormCreate();
}

void TfrmBuilIn::FormCreate() {
  cbxCategory->SetItems(StringList(kBuiltInCategories.begin(), kBuiltInCategories.end()));
  cbxCategory->SetItemIndex(0);
  cbxCategoryChange();
}

void TfrmBuilIn::cbxCategoryChange() {
  const int k = cbxCategory->ItemIndex();
  TBuiltInRows rows = FillBuiltInRows(model_.BuiltIns, k >= 0 ? cbxCategory->Item(k) : std::string(), k);
  cbxBuiltIn->SetItems(rows.texts);
  RowCodes = std::move(rows.codes);
  if (!RowCodes.empty()) cbxBuiltIn->SetItemIndex(0);
}

void TfrmBuilIn::btnOkClick() {
  if (RowCodes.empty()) {
    InformationBox(Handle(), kNoBuiltInToChoose, false);
    return;
  }
  const int i = cbxBuiltIn->ItemIndex();
  if (i < 0 || i >= static_cast<int>(RowCodes.size())) {
    InformationBox(Handle(), kSelectBuiltInMessage, false);
    return;
  }
  SelectedCode = RowCodes[static_cast<size_t>(i)];
  ModalResult = mrOk;
}

}  // namespace sondrel
