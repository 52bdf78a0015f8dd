#pragma once
// The four detail pages of the error dialog: child dialogs from the templates "TAB_MEMO", "TAB_LIST",
// "TAB_LIST1" and "TAB_MEMO1", each with a caption line and one content control (a read-only memo or
// a list view).
#include <windows.h>

#include <memory>
#include <vector>

#include "errorreport/capture/dialog_look_win.h"
#include "errorreport/capture/error_dialog.h"
#include "errorreport/capture/report_worker.h"

namespace sondrel {

enum DetailPageIndex : int { kPageGeneral = 0, kPageCallStack = 1, kPageModules = 2, kPageCpu = 3 };
inline constexpr int kDetailPageCount = 4;
// Text indexes of the tab captions.
int DetailTabText(int page);

class DetailPage : public ReporterDialog {
 public:
  // The page's window, hidden, as a child of the dialog; null when the template cannot be made.
  static std::unique_ptr<DetailPage> Create(HWND dialog, int index, const DialogRequest& request,
                                            const DialogLook& look, DialogSettingsStore& settings);
  // A list page writes its column widths to the settings first.
  ~DetailPage();
  DetailPage(const DetailPage&) = delete;
  DetailPage& operator=(const DetailPage&) = delete;

  HWND Handle() const { return h_; }
  // Places the page in area (dialog coordinates) and its controls inside it.
  void Place(const RECT& area);
  void Show(bool on);

 private:
  DetailPage(int index, const DialogRequest& request, const DialogLook& look, DialogSettingsStore& settings);
  INT_PTR OnMessage(UINT m, WPARAM w, LPARAM l) override;
  void Fill();
  void FillList(const std::array<std::string, 6>& titles, const std::array<bool, 6>& right,
                const ColumnWidths& widths);
  void ActivateRow(int item);
  bool IsList() const { return index_ == kPageCallStack || index_ == kPageModules; }

  int index_;
  const DialogRequest& request_;
  const TReportModuleOptions& options_;
  const DialogLook& look_;
  DialogSettingsStore& settings_;
  std::vector<DetailListRow> rows_;
};

// Sends the mailslot message of a call-stack row; nothing happens when no process listens.
void SendSourceLocation(const std::string& unit, int32_t line) noexcept;

}  // namespace sondrel
