#pragma once
// The mail exchanger of a recipient's domain, asked of DNS servers over UDP: the query, the reading of
// the reply (bounds-checked: replies come from the network) and the walk over the server list.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/text.h"
#include "errorreport/delivery/report_socket.h"

namespace sondrel {

inline constexpr uint16_t kDnsPort = 53;
// Asked after the system's servers, always: a public resolver reachable over UDP.
inline constexpr const char* kFallbackDnsServer = "9.9.9.9";
// A name of at most 127 labels never needs more compression pointers than it has labels; more jumps
// than that can only be a loop.
inline constexpr int kMaxPointerJumps = 127;

// The text after the first "@" of the address, or the whole text when it has none.
std::string MxDomain(std::string_view address);
// The MX query for the domain: identifier "AA", recursion desired, one question of type MX, class IN.
// Empty when the domain cannot be written as DNS labels (a label longer than 63 bytes).
std::string BuildMxQuery(std::string_view domain);

// A name read from a reply starting at pos, following compression pointers; pos moves past the name
// as it stands at pos. nullopt when a label or pointer runs past the data or the pointers loop.
std::optional<std::string> ReadDnsName(std::string_view data, size_t& pos);

struct MxAnswer {
  uint16_t preference = 0;
  std::string exchange;
};
// The first answer record of a reply, when it is an MX record with a non-empty exchange name. Later
// records are not looked at, whatever their preference.
std::optional<MxAnswer> ReadMxReply(std::string_view reply);

// The server list handed to ResolveMX: the system's servers in order, then kFallbackDnsServer; an
// address that reads "0.0.0.0" once trimmed is left out.
StringList BuildDnsServerList(const StringList& system_servers);

// The exchanger's host name for the address's domain: each server in order is asked until one gives
// an answer. Raises EReportSocketError "Cannot resolve the \"%s\" MX record." when none does; a socket
// failure or time-out while asking one server is raised at once.
std::string ResolveMX(const std::string& address, const StringList& servers, const SocketApiFactory& sockets,
                      uint32_t timeout_ms = kReplyTimeoutMs);

}  // namespace sondrel
