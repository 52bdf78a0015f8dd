#include "dialogs/FOrder.h"

namespace sondrel {

TfrmOrder::TfrmOrder(const TSearchManager& model, int tab)
    : TForm("Change order of entries", 330, 246, /*minimize_box=*/false), model_(model), tab_(tab) {
  lblTitle = Add<TLabel>(Handle(), kOrderListTitle, 12, 10, 306, 16);
  // Created in the order the Tab key visits them.
  const int row = CurrentPainter().LineHeight() + 3;
  lbxEntries = Add<TListBox>(Handle(), 12, 28, 190, kSlotCount * row + 4);
  btnMoveTop = Add<TButton>(Handle(), "Move to top", 212, 28, 106, 22);
  btnMoveTop->OnClick = [this] { btnMoveTopClick(); };
  btnMoveUp = Add<TButton>(Handle(), "Move up", 212, 56, 106, 22);
  btnMoveUp->OnClick = [this] { btnMoveUpClick(); };
  btnMoveDown = Add<TButton>(Handle(), "Move down", 212, 84, 106, 22);
  btnMoveDown->OnClick = [this] { btnMoveDownClick(); };
  MoveBottom = Add<TButton>(Handle(), "Move to bottom", 212, 112, 106, 22);
  MoveBottom->OnClick = [this] { MoveBottomClick(); };
  btnOk = Add<TButton>(Handle(), "Ok", 132, 212, 90, 22);
  btnOk->OnClick = [this] { ModalResult = mrOk; };
  btnCancel = Add<TButton>(Handle(), "Cancel", 228, 212, 90, 22);
  btnCancel->OnClick = [this] { ModalResult = mrCancel; };
  SetDefaultControl(btnOk);
  SetCancelControl(btnCancel);
  ActiveControl = lbxEntries;
  FormCreate();
}

void TfrmOrder::FormCreate() {
  FillOrderRows(model_, tab_, rows_, SlotNumbers);
  lbxEntries->SetItems(rows_);
  lbxEntries->SetItemIndex(0);
}

void TfrmOrder::Move(TEntryMove move) {
  const int selected = MoveEntry(rows_, SlotNumbers, move, lbxEntries->ItemIndex());
  lbxEntries->SetItems(rows_);
  lbxEntries->SetItemIndex(selected);
  // Moved or not, the list keeps the focus, so that the next move can follow at once.
  lbxEntries->SetFocus();
}

}  // namespace sondrel
