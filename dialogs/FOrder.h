#pragma once
// The entry order dialog: shows the ten slots of one tab and lets the user move entries up and down.
// It changes nothing in the model; on OK the caller applies SlotNumbers (ApplyEntryOrder).
#include "base/text.h"
#include "dialogs/entry_order.h"
#include "model/UGeneral.h"
#include "skin/controls_win.h"

namespace sondrel {

class TfrmOrder final : public TForm {
 public:
  // tab: the tab number (1 to 8) whose entries are listed.
  TfrmOrder(const TSearchManager& model, int tab);

  TLabel* lblTitle = nullptr;
  TListBox* lbxEntries = nullptr;
  TButton* btnMoveTop = nullptr;
  TButton* btnMoveUp = nullptr;
  TButton* btnMoveDown = nullptr;
  TButton* MoveBottom = nullptr;
  TButton* btnOk = nullptr;
  TButton* btnCancel = nullptr;

  // Row i of lbxEntries shows the entry that had slot SlotNumbers[i] when the dialog opened.
  StringList SlotNumbers;

  void FormCreate() override;
  void btnMoveTopClick() { Move(TEntryMove::kTop); }
  void btnMoveUpClick() { Move(TEntryMove::kUp); }
  void btnMoveDownClick() { Move(TEntryMove::kDown); }
  void MoveBottomClick() { Move(TEntryMove::kBottom); }

 private:
  void Move(TEntryMove move);

  const TSearchManager& model_;
  int tab_;
  StringList rows_;  // the texts of lbxEntries, moved together with SlotNumbers
};

}  // namespace sondrel
