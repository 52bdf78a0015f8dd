#include "errorreport/delivery/dns_servers_win.h"

#include <windows.h>
#include <iptypes.h>

#include <vector>

#include "base/handle_win.h"
#include "errorreport/delivery/dns_mx.h"

namespace sondrel {

StringList DnsServerList() {
  StringList system;
  UniqueModule library(LoadLibraryA("IPHLPAPI.DLL"));
  using GetNetworkParamsFn = DWORD(WINAPI*)(PFIXED_INFO, PULONG);
  auto get = library ? ProcAddress<GetNetworkParamsFn>(library.get(), "GetNetworkParams") : nullptr;
  if (get) {
    ULONG size = 0;
    std::vector<unsigned char> buffer;
    DWORD status = get(nullptr, &size);
    if (status == ERROR_BUFFER_OVERFLOW && size > 0) {
      buffer.resize(size);
      status = get(reinterpret_cast<PFIXED_INFO>(buffer.data()), &size);
    }
    if (status == ERROR_SUCCESS && !buffer.empty()) {
      const auto* info = reinterpret_cast<const FIXED_INFO*>(buffer.data());
      for (const IP_ADDR_STRING* a = &info->DnsServerList; a; a = a->Next)
        system.emplace_back(a->IpAddress.String, strnlen(a->IpAddress.String, sizeof a->IpAddress.String));
    }
  }
  return BuildDnsServerList(system);
}

}  // namespace sondrel
