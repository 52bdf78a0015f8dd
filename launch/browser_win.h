#pragma once
// The default browser and the scripted browser's version from the system registry, and the operation
// that opens one web page.
#include <string>

namespace sondrel {

// The default browser's program path, lower case, without quotes; empty when none is registered.
std::string GetDefaultBrowser();
// The "Version" value of the scripted browser; empty when missing.
std::string GetIEVersion();
bool IsIE7();
// Opens the address with the default browser, detected afresh; false when none is registered. Callers
// ignore the result: whether the browser really started is not examined.
bool OpenInDefaultBrowser(const std::string& address);

}  // namespace sondrel
