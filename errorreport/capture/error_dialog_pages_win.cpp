#include "errorreport/capture/error_dialog_pages_win.h"

#include <commctrl.h>

#include "base/handle_win.h"
#include "base/text.h"
#include "errorreport/capture/dialog_look_win.h"

namespace sondrel {
namespace {

constexpr const char* kTemplates[kDetailPageCount] = {"TAB_MEMO", "TAB_LIST", "TAB_LIST1", "TAB_MEMO1"};
constexpr int kCaptionTexts[kDetailPageCount] = {mtDialog_GeneralHeader, mtDialog_CallStackHeader,
                                                 mtDialog_ModulesHeader, mtDialog_CPUHeader};
constexpr int kTabTexts[kDetailPageCount] = {mtDialog_GeneralCaption, mtDialog_CallStackCaption,
                                             mtDialog_ModulesCaption, mtDialog_CPUCaption};

void Move(HWND h, const DialogRect& r) { MoveWindow(h, r.x, r.y, r.w, r.h, TRUE); }

}  // namespace

int DetailTabText(int page) { return kTabTexts[page]; }

void SendSourceLocation(const std::string& unit, int32_t line) noexcept {
  UniqueFile slot(CreateFileA(kMailslotName, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!slot) return;
  try {
    const std::vector<uint8_t> message = MailslotMessage(unit, line);
    DWORD written = 0;
    WriteFile(slot.get(), message.data(), static_cast<DWORD>(message.size()), &written, nullptr);
  } catch (...) {
  }
}

DetailPage::DetailPage(int index, const DialogRequest& request, const DialogLook& look, DialogSettingsStore& settings)
    : index_(index),
      request_(request),
      options_(*request.record->HandlingOptions),
      look_(look),
      settings_(settings) {}

std::unique_ptr<DetailPage> DetailPage::Create(HWND dialog, int index, const DialogRequest& request,
                                               const DialogLook& look, DialogSettingsStore& settings) {
  std::unique_ptr<DetailPage> page(new DetailPage(index, request, look, settings));
  if (!CreateDialogParamA(ModuleHoldingReporter(), kTemplates[index], dialog, Proc,
                          reinterpret_cast<LPARAM>(static_cast<ReporterDialog*>(page.get()))))
    return nullptr;
  return page;
}

DetailPage::~DetailPage() {
  if (!h_) return;
  if (IsList()) {
    ColumnWidths widths{};
    HWND list = GetDlgItem(h_, kIdPageContent);
    for (int i = 0; i < 6; ++i) widths[i] = static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, i, 0));
    WriteColumnWidths(settings_, index_ == kPageCallStack ? kCallStackColumnKey : kModuleColumnKey, widths);
  }
  SetWindowLongPtrA(h_, DWLP_USER, 0);
  DestroyWindow(h_);
}

INT_PTR DetailPage::OnMessage(UINT m, WPARAM w, LPARAM l) {
  switch (m) {
    case WM_INITDIALOG:
      look_.Prepare(h_);
      Fill();
      return FALSE;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
      // The general memo is always white; the processor memo only in the painted style.
      if (reinterpret_cast<HWND>(l) == GetDlgItem(h_, kIdPageContent) && (index_ == kPageGeneral || look_.Painted()))
        return DialogLook::WhiteControl(reinterpret_cast<HDC>(w), look_.WhiteBrush());
      break;
    case WM_NOTIFY: {
      const auto* n = reinterpret_cast<const NMHDR*>(l);
      if (index_ == kPageCallStack && n->idFrom == kIdPageContent && n->code == LVN_ITEMACTIVATE) {
        int item = reinterpret_cast<const NMITEMACTIVATE*>(l)->iItem;
        if (item < 0) item = static_cast<int>(SendMessageA(n->hwndFrom, LVM_GETNEXTITEM, -1, LVNI_SELECTED));
        ActivateRow(item);
        return TRUE;
      }
      break;
    }
    default:
      break;
  }
  INT_PTR result = 0;
  if (look_.ControlColour(m, w, result)) return result;
  return FALSE;
}

void DetailPage::Fill() {
  SetDlgItemTextA(h_, kIdPageCaption, options_.CustomText(kCaptionTexts[index_]).c_str());
  HWND content = GetDlgItem(h_, kIdPageContent);
  SendMessageA(content, WM_SETFONT, reinterpret_cast<WPARAM>(look_.FixedFont()), FALSE);
  switch (index_) {
    case kPageGeneral:
    case kPageCpu:
      // A report can be longer than an edit control's default limit.
      SendMessageA(content, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
      SetWindowTextA(content, (index_ == kPageGeneral ? request_.general_part : request_.processor_part).c_str());
      break;
    case kPageCallStack:
      rows_ = CallStackListRows(request_.record->CallStack ? *request_.record->CallStack : std::vector<StackRowText>{});
      FillList(CallStackColumnTitles(options_), kCallStackRightAligned,
               ReadColumnWidths(settings_, kCallStackColumnKey, kCallStackColumnDefaults));
      break;
    case kPageModules:
      rows_ = ModuleListRows(request_.record->ModulesList ? *request_.record->ModulesList : std::vector<ModuleRowText>{});
      FillList(ModuleColumnTitles(options_), kModuleRightAligned,
               ReadColumnWidths(settings_, kModuleColumnKey, kModuleColumnDefaults));
      break;
    default:
      break;
  }
}

void DetailPage::FillList(const std::array<std::string, 6>& titles, const std::array<bool, 6>& right,
                          const ColumnWidths& widths) {
  HWND list = GetDlgItem(h_, kIdPageContent);
  SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  SendMessageA(list, LVM_SETBKCOLOR, 0, kWhite);
  SendMessageA(list, LVM_SETTEXTBKCOLOR, 0, kWhite);
  SendMessageA(list, LVM_SETTEXTCOLOR, 0, RGB(0, 0, 0));
  // The list view owns the image list and frees it with itself.
  SendMessageA(list, LVM_SETIMAGELIST, LVSIL_SMALL, 
               reinterpret_cast<LPARAM>(LoadMaskedBitmaps({"DLL", "BPL", "VCL", "PAS"}, 16)));
  for (int i = 0; i < 6; ++i) {
    LVCOLUMNA c{};
    c.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    c.fmt = right[i] ? LVCFMT_RIGHT : LVCFMT_LEFT;
    c.cx = widths[i];
    c.pszText = const_cast<char*>(titles[i].c_str());
    c.iSubItem = i;
    SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&c));
  }
  for (size_t r = 0; r < rows_.size(); ++r) {
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = static_cast<int>(r);
    item.iImage = rows_[r].image;
    item.pszText = const_cast<char*>(rows_[r].cells[0].c_str());
    const int at = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    for (int c = 1; c < 6; ++c) {
      LVITEMA sub{};
      sub.iSubItem = c;
      sub.pszText = const_cast<char*>(rows_[r].cells[c].c_str());
      SendMessageA(list, LVM_SETITEMTEXTA, at, reinterpret_cast<LPARAM>(&sub));
    }
  }
}

void DetailPage::ActivateRow(int item) {
  if (item < 0 || static_cast<size_t>(item) >= rows_.size()) return;
  const DetailListRow& row = rows_[item];
  const std::string& line = row.cells[5];
  if (line.empty()) return;
  SendSourceLocation(row.cells[2], StrToIntDef(line, 0));
}

void DetailPage::Place(const RECT& area) {
  const int w = area.right - area.left, h = area.bottom - area.top;
  MoveWindow(h_, area.left, area.top, w, h, TRUE);
  Move(GetDlgItem(h_, kIdPageCaption), PageCaptionRect(w));
  Move(GetDlgItem(h_, kIdPageContent), PageContentRect(w, h));
}

void DetailPage::Show(bool on) {
  ShowWindow(h_, on ? SW_SHOW : SW_HIDE);
  if (on) SetWindowPos(h_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

}  // namespace sondrel
