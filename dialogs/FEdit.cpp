#include "dialogs/FEdit.h"

#include "dialogs/FBuiltIn.h"
#include "dialogs/FCustomSite.h"
#include "dialogs/FOrder.h"
#include "dialogs/FTabName.h"
#include "dialogs/customize.h"
#include "dialogs/entry_order.h"

namespace sondrel {

TfrmEdit::TfrmEdit(TCustomizeHost& host, ShellWindowsSource shell_windows)
    : TForm("Customize", 330, 242, /*minimize_box=*/false),
      host_(host),
      shell_windows_(std::move(shell_windows)) {
  // Created in the order the Tab key visits them.
  lblTitle = Add<TLabel>(Handle(), kTabTitlePrefix, 12, 12, 306, 16);
  btnChangeTabName = Add<TButton>(Handle(), "Change tab name", 12, 34, 150, 22);
  btnChangeTabName->OnClick = [this] { btnChangeTabNameClick(); };
  btnChangeOrder = Add<TButton>(Handle(), "Change order of entries", 168, 34, 150, 22);
  btnChangeOrder->OnClick = [this] { btnChangeOrderClick(); };
  lblEntry = Add<TLabel>(Handle(), "Select a search entry to change or customize:", 12, 70, 306, 16);
  cbxEntry = Add<TComboBox>(Handle(), /*editable=*/false, 12, 88, 306, kSlotCount);
  btnBuiltIn = Add<TButton>(Handle(), "Select search from a built-in list", 12, 120, 306, 22);
  btnBuiltIn->OnClick = [this] { btnBuiltInClick(); };
  btnCustom = Add<TButton>(Handle(), "Enter custom description and search command", 12, 146, 306, 22);
  btnCustom->OnClick = [this] { btnCustomClick(); };
  btnClear = Add<TButton>(Handle(), "Clear search - no setting", 12, 172, 306, 22);
  btnClear->OnClick = [this] { btnClearClick(); };
  btnOk = Add<TButton>(Handle(), "Ok", 228, 208, 90, 22);
  btnOk->OnClick = [this] { btnOkClick(); };
  // Ok is the only way out; Enter and Escape both take it, and the changes stay either way.
  SetDefaultControl(btnOk);
  SetCancelControl(btnOk);
  ActiveControl = cbxEntry;
  FormCreate();
}

int TfrmEdit::TabNumber() const {
  return host_.TabStrip().TabIndex() + 1;
}

void TfrmEdit::FormCreate() {
  const TSearchTab* tab = host_.Model().TabAt(TabNumber());
  lblTitle->SetCaption(kTabTitlePrefix + (tab ? tab->Name : std::string()));
  FillEntryRows(/*trimmed=*/true);
}

void TfrmEdit::FillEntryRows(bool trimmed) {
  StringList rows;
  for (int s = 1; s <= kSlotCount; ++s) {
    const TCheckBox* box = host_.GetSiteCheckBox(s);
    rows.push_back(EntryRowText(box->Caption(), box->Enabled(), trimmed));
  }
  cbxEntry->SetItems(rows);
  cbxEntry->SetItemIndex(0);
}

void TfrmEdit::SetRowText(int row, const std::string& text) {
  StringList rows = cbxEntry->Items();
  rows.at(static_cast<size_t>(row)) = text;
  cbxEntry->SetItems(rows);
  cbxEntry->SetItemIndex(row);
}

int TfrmEdit::SelectedRowOrSay() {
  const int row = cbxEntry->ItemIndex();
  if (row < 0) InformationBox(Handle(), kSelectEntryMessage, false);
  return row;
}

void TfrmEdit::ShowAssigned(int slot, const std::string& description) {
  SetRowText(slot - 1, description);
  TCheckBox* box = host_.GetSiteCheckBox(slot);
  box->SetCaption(" " + description);
  box->SetEnabled(true);
}

void TfrmEdit::btnBuiltInClick() {
  const int row = SelectedRowOrSay();
  if (row < 0) return;
  TfrmBuilIn picker(host_.Model());
  picker.lblEntryName->SetCaption(kEntryNamePrefix + cbxEntry->Item(row));
  if (picker.ShowModal() != mrOk) return;
  TSearchManager& model = host_.Model();
  const std::string description = BuiltInDescription(model, picker.SelectedCode);
  AssignBuiltIn(model, TabNumber(), row + 1, picker.SelectedCode);
  // The ticked state stays as it was: an entry that was there keeps its own.
  ShowAssigned(row + 1, description);
}

void TfrmEdit::btnCustomClick() {
  const int row = SelectedRowOrSay();
  if (row < 0) return;
  TfrmCustomSite dialog(shell_windows_);
  dialog.lblEntryName->SetCaption(kEntryNamePrefix + cbxEntry->Item(row));
  TSearchManager& model = host_.Model();
  if (const TSite* site = model.SiteAt(TabNumber(), row + 1); site && site->IsCustom()) {
    dialog.edtDescription->SetText(site->Description);
    dialog.edtLeading->SetText(site->Leading);
    dialog.edtPost->SetText(site->Post);
  }
  if (dialog.ShowModal() != mrOk) return;
  const TCustomEntryTexts texts{dialog.edtDescription->Text(), dialog.edtLeading->Text(),
                                dialog.edtPost->Text()};
  AssignCustom(model, TabNumber(), row + 1, texts);
  ShowAssigned(row + 1, texts.description);
}

void TfrmEdit::btnClearClick() {
  // No selection gives slot 0, which never has an entry: nothing happens, and nothing is said.
  const int slot = cbxEntry->ItemIndex() + 1;
  if (!ClearEntry(host_.Model(), TabNumber(), slot)) return;
  SetRowText(slot - 1, kNotAssignedRow);
  TCheckBox* box = host_.GetSiteCheckBox(slot);
  box->SetCaption(kUnassignedBoxCaption);
  box->SetEnabled(false);
  box->SetChecked(false);
}

void TfrmEdit::btnChangeOrderClick() {
  const int tab = TabNumber();
  TfrmOrder order(host_.Model(), tab);
  if (order.ShowModal() != mrOk) return;
  ApplyEntryOrder(host_.Model(), tab, order.SlotNumbers);
  host_.ShowTab(tab);
  // Here the rows are the box captions as they are, each assigned one beginning with its blank.
  FillEntryRows(/*trimmed=*/false);
}

void TfrmEdit::btnChangeTabNameClick() {
  TTabControl& tabs = host_.TabStrip();
  const int index = tabs.TabIndex();
  TfrmTabName dialog;
  dialog.edtTabname->SetText(tabs.TabCaption(index));
  if (dialog.ShowModal() != mrOk) return;
  const std::string name = dialog.edtTabname->Text();
  lblTitle->SetCaption(kTabTitlePrefix + name);
  if (TSearchTab* tab = host_.Model().TabAt(index + 1)) tab->Name = name;
  tabs.SetTabCaption(index, name);
}

}  // namespace sondrel
