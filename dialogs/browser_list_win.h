#pragma once
// The addresses of the pages open in browser windows, read from the shell's collection of its
// windows (IShellWindows) and each window's browser interface (IWebBrowser2).
#include <windows.h>
#include <exdisp.h>

#include <functional>
#include <string>

#include "base/handle_win.h"
#include "base/ole_win.h"
#include "base/text.h"

namespace sondrel {

// Where the browser-location import gets its collection: the shell's own one in the program, a test
// double in tests. May raise; a null result counts as an empty collection.
using ShellWindowsSource = std::function<ComPtr<IShellWindows>()>;

// The shell's collection (CLSID_ShellWindows); raises EOleSysError when it cannot be created. COM is
// initialised for the calling thread first when it is not yet.
ComPtr<IShellWindows> CreateShellWindows();

// Appends to rows, in the collection's order, the address of every window that offers IWebBrowser2,
// has a document loaded and whose address qualifies (IsListedBrowserLocation), converted to the ANSI
// code page; duplicates stay. Empty items and items without IWebBrowser2 are passed over. Any other
// failing call raises EOleSysError, and rows then hold what was found before it.
void CollectBrowserLocations(IShellWindows& windows, StringList& rows);

}  // namespace sondrel
