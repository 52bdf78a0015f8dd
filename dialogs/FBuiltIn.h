#pragma once
// The built-in entry picker: one row of the catalogue chosen for a slot, the list narrowed by
// category. It changes nothing in the model; on OK the caller reads SelectedCode.
#include <string>

#include "base/text.h"
#include "model/UGeneral.h"
#include "skin/controls_win.h"

namespace sondrel {

inline constexpr char kSelectBuiltInMessage[] = "Please select a search from the built-in list.";

class TfrmBuilIn final : public TForm {
 public:
  explicit TfrmBuilIn(const TSearchManager& model);

  TLabel* lblEntryName = nullptr;  // the caller sets "Entry name:  " and the slot's row text
  TLabel* lblCategory = nullptr;
  TComboBox* cbxCategory = nullptr;
  TLabel* lblBuiltIn = nullptr;
  TComboBox* cbxBuiltIn = nullptr;
  TButton* btnOk = nullptr;
  TButton* btnCancel = nullptr;

  // Set only when OK is accepted: the Code of an existing catalogue row.
  std::string SelectedCode;

  void FormCreate() override;
  void cbxCategoryChange();
  // With no row to choose (an empty catalogue or category) says so and stays open, so that OK always
  // hands back a code the catalogue has.
  void btnOkClick();

 private:
  const TSearchManager& model_;
  StringList RowCodes;  // row i of cbxBuiltIn shows the catalogue row with code RowCodes[i]
};

}  // namespace sondrel
