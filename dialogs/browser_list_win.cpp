#include "dialogs/browser_list_win.h"

#include "dialogs/browser_list.h"

namespace sondrel {
namespace {

struct BstrTraits {
  static BSTR invalid() noexcept { return nullptr; }
  static void close(BSTR b) noexcept { SysFreeString(b); }
};
using UniqueBstr = Unique<BSTR, BstrTraits>;

std::string AnsiText(const wchar_t* wide, int length) {
  const int n = WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, wide, length, s.data(), n, nullptr, nullptr);
  return s;
}

}  // namespace

ComPtr<IShellWindows> CreateShellWindows() {
  // Used on the user-interface thread only, which keeps COM from its first use to its end.
  InitializeComForThread();
  IShellWindows* windows = nullptr;
  OleCheck(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_IShellWindows,
                            reinterpret_cast<void**>(&windows)),
           "CoCreateInstance(IShellWindows)");
  return ComPtr<IShellWindows>(windows);
}

void CollectBrowserLocations(IShellWindows& windows, StringList& rows) {
  LONG count = 0;
  OleCheck(windows.get_Count(&count), "IShellWindows.Count");
  for (LONG i = 0; i < count; ++i) {
    VARIANT index;
    VariantInit(&index);
    index.vt = VT_I4;
    index.lVal = i;
    IDispatch* raw_item = nullptr;
    OleCheck(windows.Item(index, &raw_item), "IShellWindows.Item");
    ComPtr<IDispatch> item(raw_item);
    if (!item) continue;
    // A window of the collection that is no browser (it offers no IWebBrowser2) has no address to
    // offer: it is passed over rather than used through a null interface.
    IWebBrowser2* raw_browser = nullptr;
    if (FAILED(item.get()->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&raw_browser))) ||
        !raw_browser)
      continue;
    ComPtr<IWebBrowser2> browser(raw_browser);
    BSTR raw_url = nullptr;
    OleCheck(browser.get()->get_LocationURL(&raw_url), "IWebBrowser2.LocationURL");
    UniqueBstr url(raw_url);
    const int length = static_cast<int>(SysStringLen(url.get()));
    if (length == 0) continue;
    IDispatch* raw_document = nullptr;
    OleCheck(browser.get()->get_Document(&raw_document), "IWebBrowser2.Document");
    ComPtr<IDispatch> document(raw_document);
    if (!document) continue;
    std::string address = AnsiText(url.get(), length);
    if (IsListedBrowserLocation(address)) rows.push_back(std::move(address));
  }
}

}  // namespace sondrel
