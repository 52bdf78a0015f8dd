#pragma once
// A stand-in for the shell's collection of its windows and for the browser windows in it: it
// implements IShellWindows and IWebBrowser2 as far as the browser-location import uses them, and can
// be told to fail any of the calls. Objects count themselves, so that a test can see every reference
// given back.
#include <windows.h>
#include <exdisp.h>

#include <string>
#include <vector>

#include "base/handle_win.h"

namespace sondrel::test {

// One item of the collection.
struct FakeWindow {
  std::wstring url;
  bool has_document = true;
  bool is_browser = true;   // false: the item offers IDispatch only
  bool empty_item = false;  // Item gives a null dispatch pointer
  HRESULT url_result = S_OK;
  HRESULT document_result = S_OK;
  HRESULT item_result = S_OK;
};

struct FakeShellWindowsSetup {
  std::vector<FakeWindow> windows;
  HRESULT count_result = S_OK;
};

// A new collection with one reference, owned by the result.
ComPtr<IShellWindows> MakeFakeShellWindows(const FakeShellWindowsSetup& setup);
// The fake objects alive now.
int LiveFakeObjects();

}  // namespace sondrel::test
