#pragma once
// The client sockets over Winsock 1.1.
#include <memory>
#include <string>

#include "errorreport/delivery/report_socket.h"

namespace sondrel {

// A fresh Winsock socket object (nothing opened until Open).
std::unique_ptr<SocketApi> NewWinsockSocket();
// The local host name as gethostname gives it (buffer of 250 bytes, cut at the first zero byte);
// Winsock must be started.
std::string LocalHostName();

}  // namespace sondrel
