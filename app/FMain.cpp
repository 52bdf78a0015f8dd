#include "app/FMain.h"

#include <stdexcept>
#include <utility>

#include "app/startup_win.h"
#include "base/handle_win.h"
#include "base/shell_folder_win.h"
#include "desktop/FAbout.h"
#include "desktop/FQuickAccess.h"
#include "desktop/help.h"
#include "dialogs/FEdit.h"
#include "launch/browser_win.h"
#include "launch/launch_platform_win.h"

namespace sondrel {
namespace {

constexpr int kSlotLefts[5] = {16, 144, 273, 402, 531};
constexpr int kSlotTops[2] = {48, 76};

// The Customize dialog's view of the main window: the model, the tab strip and the slot boxes.
class TMainCustomizeHost final : public TCustomizeHost {
 public:
  explicit TMainCustomizeHost(TfrmMain& main) : main_(main) {}
  TSearchManager& Model() override { return *main_.SearchManager; }
  TTabControl& TabStrip() override { return *main_.tbcMain; }
  TCheckBox* GetSiteCheckBox(int slot) override { return main_.GetSiteCheckBox(slot); }
  void ShowTab(int n) override { main_.ShowTab(n); }

 private:
  TfrmMain& main_;
};

// Posted at creation when data files could not be read: the message shows over the opened window.
constexpr UINT kShowUnreadableFiles = WM_APP + 1;

// The system side of a search with a wait that keeps the window answering: the addresses still go out
// one second apart, while input, painting and other messages are handled in between.
class TAnsweringLaunchPlatform : public Win32LaunchPlatform {
 public:
  void Wait(unsigned milliseconds) override {
    const DWORD start = GetTickCount();
    for (DWORD elapsed = 0; elapsed < milliseconds; elapsed = GetTickCount() - start) {
      MSG msg;
      // The loop is ending: nothing more will be dispatched, and a plain wait keeps the spacing.
      if (!Application || PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) {
        Sleep(milliseconds - elapsed);
        return;
      }
      MsgWaitForMultipleObjectsEx(0, nullptr, milliseconds - elapsed, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
      Application->ProcessMessages();
    }
  }
};

}  // namespace

TfrmMain::TfrmMain() : TForm("Sondrel", kClientWidth, kClientHeight, /*minimize_box=*/true) {
  // Found once through its registration; a system without it simply has no help.
  help_.Load();
  // The data folder and the default files come first: the search manager reads from there.
  DataFolder = PrepareDataFolder();
  DefaultBrowser = GetDefaultBrowser();
  SearchManager = std::make_unique<TSearchManager>(DataFolder);
  CreateControls();

  tbcMain->SetTabIndex(SearchManager->LastTab);
  try {
    tbcMainChange();
  } catch (...) {
    // The last tab could not be written (Settings.dat cannot be replaced): the error is reported and
    // the window opens all the same, on the selected tab's page.
    ShowSelectedPage();
    if (Application) Application->HandleException(std::current_exception());
  }
  if (!SearchManager->UnreadableFiles().empty()) PostMessageA(Handle(), kShowUnreadableFiles, 0, 0);
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::CreateControls() {
  // The tabs are made with their names: renaming them afterwards would lay the strip out again.
  std::vector<std::string> tabs = TabNames();
  tabs.push_back("Options");
  tbcMain = Add<TTabControl>(Handle(), tabs, 70, 7, 7, 642, 193);
  tbcMain->OnChange = [this] { tbcMainChange(); };
  ntbMain = Add<TNotebook>(Handle(), std::vector<std::string>{"Default", "Options"}, tbcMain->PageRect());

  HWND entry = ntbMain->Page(0)->Handle();
  cbxKeyword = Add<TComboBox>(entry, /*editable=*/true, 13, 13, 617, 10);
  cbxKeyword->OnKeyDown = [this](WORD& key) { cbxKeywordKeyDown(key); };
  for (int s = 1; s <= kSlotCount; ++s) {
    const int row = (s - 1) / 5, column = (s - 1) % 5;
    TCheckBox* box = Add<TCheckBox>(entry, kUnassignedCaption, kSlotLefts[column], kSlotTops[row], 97, 17);
    box->Tag = s;
    box->SetEnabled(false);
    box->OnClick = [this, box] { chkSite1Click(box); };
    chkSite[static_cast<size_t>(s - 1)] = box;
  }
  btnSearch = Add<TButton>(entry, "Search", 441, 108, 91, 20);
  btnSearch->OnClick = [this] { btnSearchClick(); };
  SetDefaultControl(btnSearch);
  btnClear = Add<TButton>(entry, "Clear List", 538, 108, 91, 20);
  btnClear->OnClick = [this] { btnClearClick(); };
  btnCustomize = Add<TButton>(entry, "Customize", 442, 136, 91, 20);
  btnCustomize->OnClick = [this] {
    if (!searching_) btnCustomizeClick();
  };
  btnExit = Add<TButton>(entry, "Exit", 538, 136, 91, 20);
  btnExit->OnClick = [this] { btnExitClick(); };
  Image2 = Add<TImage>(entry, 14, 101, 370, 60);

  const std::string_view banner = ResourceBytes("BANNER");
  Image2->LoadJpeg(banner);
  Image2->OnClick = [this] { Image2Click(); };
  ActiveControl = cbxKeyword;

  // Nothing on the Options page is seen before the user turns to it: its controls are made once the
  // window is painted, one at a time between messages, or all at once where they are needed first.
  HWND options = ntbMain->Page(1)->Handle();
  // Each of the page's buttons is 145 by 20 and calls one handler of this form.
  const auto button = [this, options](TButton*& field, const char* caption, int left, int top,
                                      void (TfrmMain::*click)()) -> std::function<void()> {
    return [this, options, &field, caption, left, top, click] {
      field = Add<TButton>(options, caption, left, top, 145, 20);
      field->OnClick = [this, click] { (this->*click)(); };
    };
  };
  options_steps_ = {
      button(btnClearAll, "Clear all search lists", 13, 12, &TfrmMain::btnClearAllClick),
      [this, options] {
        chkReverse = Add<TCheckBox>(options, "Submit searches in random order", 17, 41, 264, 17);
        chkReverse->OnClick = [this] { chkReverseClick(); };
        // Runs chkReverseClick only when the state changes, which leaves Reverse as it was read.
        chkReverse->SetChecked(SearchManager->Reverse);
      },
      button(btnQuickAccess, "Quick Access Options", 13, 66, &TfrmMain::btnQuickAccessClick),
      button(btnAbout, "About", 482, 13, &TfrmMain::btnAboutClick),
      button(btnHelp, "Help", 482, 44, &TfrmMain::btnHelpClick),
      button(btnCheckUpdates, "Check for updates", 482, 75, &TfrmMain::btnCheckUpdatesClick),
      [this, options, banner] {
        Image1 = Add<TImage>(options, 14, 101, 370, 60);
        Image1->LoadJpeg(banner);
        Image1->OnClick = [this] { Image2Click(); };
      },
  };
  if (!Application) {
    MakeOptionsPage();
    return;
  }
  for (size_t i = 0; i < options_steps_.size(); ++i) Application->RunWhenIdle([this] { MakeOptionsStep(); });
}

void TfrmMain::MakeOptionsStep() {
  // A step that fails is not tried again: its control stays missing and the page shows without it.
  if (options_made_ < options_steps_.size()) options_steps_[options_made_++]();
}

void TfrmMain::MakeOptionsPage() {
  while (options_made_ < options_steps_.size()) {
    // The page is shown all the same: a control that could not be made is reported, not the turn to
    // the page undone.
    try {
      MakeOptionsStep();
    } catch (...) {
      if (!Application) throw;
      Application->HandleException(std::current_exception());
    }
  }
}

TCheckBox* TfrmMain::GetSiteCheckBox(int slot) const {
  if (slot < 1 || slot > kSlotCount) throw std::out_of_range("slot " + std::to_string(slot) + " out of 1 to 10");
  return chkSite[static_cast<size_t>(slot - 1)];
}

std::vector<std::string> TfrmMain::TabNames() const {
  std::vector<std::string> names(kTabCount, "Custom");
  for (int n = 1; n <= kTabCount; ++n) {
    const int i = SearchManager->Tabs.IndexOf(std::to_string(n));
    if (i >= 0) names[static_cast<size_t>(n - 1)] = SearchManager->Tabs[i].Name;
  }
  return names;
}

// A frame of its own even though it is short: an error report names the handler that led to the error.
[[gnu::noinline]] void TfrmMain::tbcMainChange() {
  SearchManager->LastTab = tbcMain->TabIndex();
  // Written at once, unlike every other change: the last tab survives a run that ends abnormally.
  // A failure here leaves the page as it was.
  SearchManager->SaveLastTab();
  ShowSelectedPage();
}

void TfrmMain::ShowSelectedPage() {
  const bool options = tbcMain->TabIndex() == tbcMain->TabCount() - 1;
  if (options) {
    MakeOptionsPage();
    ntbMain->SetPageIndex(1);
  } else {
    ntbMain->SetPageIndex(0);
    ShowTab(tbcMain->TabIndex() + 1);
  }
  // Typing and Enter must act on the page the user sees: the first control of the shown page takes
  // the focus at start, and whenever the focus sat on the page just hidden.
  ActiveControl = options ? static_cast<TControl*>(btnClearAll) : cbxKeyword;
  HWND hidden = ntbMain->Page(options ? 0 : 1)->Handle();
  HWND focus = GetFocus();
  if (ActiveControl && focus && (focus == hidden || IsChild(hidden, focus))) ActiveControl->SetFocus();
}

void TfrmMain::ShowTab(int n) {
  cbxKeyword->SetText("");
  const TSearchTab* tab = SearchManager->TabAt(n);
  cbxKeyword->SetItems(tab ? tab->LastKeywords : StringList{});
  for (int s = 1; s <= kSlotCount; ++s) {
    TCheckBox* box = GetSiteCheckBox(s);
    const TSite* site = SearchManager->SiteAt(n, s);
    std::string caption = kUnassignedCaption;
    bool assigned = false;
    if (site && site->IsCustom()) {
      caption = " " + site->Description;
      assigned = true;
    } else if (site) {
      if (auto row = SearchManager->Resolve(*site)) {
        caption = " " + row->Description;
        assigned = true;
      }
    }
    // Only what changes is written: every caption or state change redraws the box, and the boxes
    // of a tab change (and of start-up) would otherwise each be drawn several times over.
    if (box->Caption() != caption) box->SetCaption(caption);
    if (box->Enabled() != assigned) box->SetEnabled(assigned);
    // The stored tick first, with the box already in its final state: an entry whose catalogue row is
    // gone is then unticked, which writes its Checked back as false through chkSite1Click (a box
    // left disabled because the catalogue could not be read keeps the stored tick there).
    if (site) box->SetChecked(site->Checked);
    if (!assigned) box->SetChecked(false);
  }
}

void TfrmMain::chkSite1Click(TCheckBox* box) {
  box->SetBold(box->Checked());
  // Without a catalogue (BuiltInDB.dat could not be read) every catalogue entry shows unassigned; its
  // stored tick is kept rather than saved as cleared.
  if (!box->Enabled() && SearchManager->IsUnreadable(kBuiltInsFile)) return;
  if (TSite* site = SearchManager->SiteAt(tbcMain->TabIndex() + 1, box->Tag)) site->Checked = box->Checked();
}

void TfrmMain::cbxKeywordKeyDown(WORD& key) {
  if (key != VK_RETURN) return;
  // Consumed here, so that the default button (Search) is not pressed by the same Enter as well.
  key = 0;
  RunSearch();
}

void TfrmMain::btnSearchClick() { RunSearch(); }

void TfrmMain::RunSearch() {
  // The window keeps answering while the addresses go out; Search, Enter and Customize meanwhile
  // start nothing, and a close waits until the last address has gone and the history is updated.
  if (searching_) return;
  searching_ = true;
  struct EndSearch {
    TfrmMain& form;
    ~EndSearch() {
      form.searching_ = false;
      if (std::exchange(form.close_pending_, false)) PostMessageA(form.Handle(), WM_CLOSE, 0, 0);
    }
  } end{*this};
  TAnsweringLaunchPlatform platform;
  sondrel::RunSearch(*this, *SearchManager, DefaultBrowser, platform);
}

bool TfrmMain::FormCloseQuery() {
  if (!searching_) return true;
  close_pending_ = true;
  return false;
}

void TfrmMain::btnClearClick() {
  if (InformationBox(Handle(), "Clear current search list?", true) != IDOK) return;
  if (TSearchTab* tab = SearchManager->TabAt(tbcMain->TabIndex() + 1)) tab->LastKeywords.clear();
  cbxKeyword->Clear();
  cbxKeyword->SetText("");
}

void TfrmMain::btnClearAllClick() {
  if (InformationBox(Handle(), "Clear all search lists?", true) != IDOK) return;
  for (const auto& pair : SearchManager->Tabs) pair.object->LastKeywords.clear();
  cbxKeyword->Clear();
  cbxKeyword->SetText("");
  InformationBox(Handle(), "All search lists have been cleared!", false);
}

void TfrmMain::chkReverseClick() { SearchManager->Reverse = chkReverse->Checked(); }

// The dialog changes the model and the slot boxes itself; nothing is redrawn here afterwards.
void TfrmMain::btnCustomizeClick() {
  TMainCustomizeHost host(*this);
  TfrmEdit dialog(host);
  dialog.ShowModal();
}

void TfrmMain::btnQuickAccessClick() {
  TfrmQuickAccess dialog;
  dialog.ShowModal();
}

void TfrmMain::btnAboutClick() {
  TfrmAbout about;
  about.ShowModal();
}

// From the program's own folder, whatever the working folder.
void TfrmMain::btnHelpClick() { help_.DisplayTopic(HelpFilePath(ProgramFolder())); }

void TfrmMain::btnCheckUpdatesClick() { OpenInDefaultBrowser(kUpdatePage); }

void TfrmMain::Image2Click() { OpenInDefaultBrowser(kProductPage); }

void TfrmMain::btnExitClick() { Close(); }

void TfrmMain::FormDestroy() {
  // SitesDB.dat, TabsDB.dat, Settings.dat, in this order; then the model goes, also when a save
  // failed (the error names the files and where their unsaved bytes were kept).
  std::unique_ptr<TSearchManager> model = std::move(SearchManager);
  model->SaveAll();
}

LRESULT TfrmMain::OnMessage(UINT m, WPARAM w, LPARAM l) {
  if (m == kShowUnreadableFiles && SearchManager) {
    InformationBox(Handle(), UnreadableFilesMessage(SearchManager->UnreadableFiles(), DataFolder), false);
    return 0;
  }
  // When Windows ends the session the process is ended without the window being destroyed, and
  // FormDestroy would never save: the configuration is written here then.
  if (m == WM_ENDSESSION && w && SearchManager) {
    SearchManager->SaveAll();
    return 0;
  }
  return TForm::OnMessage(m, w, l);
}

std::string TfrmMain::SearchKeyword() const { return cbxKeyword->Text(); }
int TfrmMain::SearchTabNumber() const { return tbcMain->TabIndex() + 1; }
bool TfrmMain::SearchSlotTicked(int slot) const { return GetSiteCheckBox(slot)->Checked(); }
bool TfrmMain::RandomOrderTicked() const { return chkReverse ? chkReverse->Checked() : SearchManager->Reverse; }
void TfrmMain::ShowSearchMessage(const std::string& text) { InformationBox(Handle(), text, false); }
void TfrmMain::FocusKeywordBox() {
  // The user may have moved to the Options page while the addresses went out: the focus goes to the
  // first control of the page shown, never to a keyword box nobody sees.
  if (ntbMain->PageIndex() == 0)
    cbxKeyword->SetFocus();
  else if (btnClearAll)
    btnClearAll->SetFocus();
}

}  // namespace sondrel
