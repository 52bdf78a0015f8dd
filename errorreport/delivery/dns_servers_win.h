#pragma once
// The DNS servers the system uses, for the mail exchanger lookup.
#include "base/text.h"

namespace sondrel {

// The system's DNS servers in order (GetNetworkParams of IPHLPAPI.DLL, looked up at run time), then
// the fallback server. Without the library or the function only the fallback is left.
StringList DnsServerList();

}  // namespace sondrel
