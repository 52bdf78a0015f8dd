#pragma once
// The program's main window: a tab strip of the eight user tabs and "Options" over a two-page
// notebook. Under an entry tab the user types a keyword, ticks up to ten entries and searches; under
// "Options" sit the global functions. The window holds no model of its own: it reads the search
// manager's tabs and entries whenever a tab is shown and writes single changes back at once.
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "desktop/help_win.h"
#include "launch/run_search.h"
#include "model/UGeneral.h"
#include "skin/controls_win.h"
#include "skin/picture_win.h"

namespace sondrel {

// The product's web page and its update page.
inline constexpr char kProductPage[] = "https://www.example.com/sondrel/";
inline constexpr char kUpdatePage[] = "https://www.example.com/sondrel/update/";
// The caption of a slot without an entry that can be shown (the dialogs rely on it).
inline constexpr char kUnassignedCaption[] = " custom";

class TfrmMain : public TForm, public SearchForm {
 public:
  // Sets up the data folder and the default files, detects the default browser, loads the search
  // manager and shows the last used tab.
  TfrmMain();
  ~TfrmMain() override;
  static constexpr int kClientWidth = 657;
  static constexpr int kClientHeight = 223;

  std::string DefaultBrowser;
  std::string DataFolder;
  std::unique_ptr<TSearchManager> SearchManager;

  TTabControl* tbcMain = nullptr;
  TNotebook* ntbMain = nullptr;
  TComboBox* cbxKeyword = nullptr;
  std::array<TCheckBox*, kSlotCount> chkSite{};  // chkSite1 to chkSite10
  TButton* btnSearch = nullptr;
  TButton* btnClear = nullptr;
  TButton* btnCustomize = nullptr;
  TButton* btnExit = nullptr;
  TImage* Image2 = nullptr;
  TButton* btnClearAll = nullptr;
  TCheckBox* chkReverse = nullptr;
  TButton* btnQuickAccess = nullptr;
  TButton* btnAbout = nullptr;
  TButton* btnHelp = nullptr;
  TButton* btnCheckUpdates = nullptr;
  TImage* Image1 = nullptr;

  // Check box chkSite1 to chkSite10 for slot 1 to 10; throws std::out_of_range for other slots.
  TCheckBox* GetSiteCheckBox(int slot) const;
  // Fills the keyword box and the ten slot boxes from tab number n (1 to 8).
  void ShowTab(int n);
  // The captions of the ten search tabs: the stored names, "Custom" for a tab without a record.
  std::vector<std::string> TabNames() const;
  void RunSearch();

  void FormDestroy() override;
  // A close asked for while a search runs waits for the search's end.
  bool FormCloseQuery() override;

 protected:
  LRESULT OnMessage(UINT m, WPARAM w, LPARAM l) override;

 public:
  // What a search reads from the window.
  std::string SearchKeyword() const override;
  int SearchTabNumber() const override;
  bool SearchSlotTicked(int slot) const override;
  bool RandomOrderTicked() const override;
  void ShowSearchMessage(const std::string& text) override;
  void FocusKeywordBox() override;

 private:
  void CreateControls();
  // The Options page's controls, made in steps after the window is shown (see CreateControls).
  void MakeOptionsStep();
  void MakeOptionsPage();
  void tbcMainChange();
  // The notebook page of the selected tab, filled, with the focus on a control of that page.
  void ShowSelectedPage();
  void chkSite1Click(TCheckBox* box);
  void cbxKeywordKeyDown(WORD& key);
  void btnSearchClick();
  void btnClearClick();
  void btnCustomizeClick();
  void btnExitClick();
  void btnClearAllClick();
  void chkReverseClick();
  void btnQuickAccessClick();
  void btnAboutClick();
  void btnHelpClick();
  void btnCheckUpdatesClick();
  void Image2Click();

  // Loaded when the window is made, freed with it at the end of the program.
  THtmlHelp help_;
  bool searching_ = false;
  std::vector<std::function<void()>> options_steps_;
  size_t options_made_ = 0;
  bool close_pending_ = false;
};

}  // namespace sondrel
