#pragma once
// Scripted peers for the mail client: each connection plays one script of replies against a fake
// clock, so that time-outs and silences cost nothing and can be measured exactly.
#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "errorreport/delivery/report_socket.h"

namespace sondrel::test {

struct Piece {
  uint32_t delay_ms = 0;  // after the turn starts
  std::string bytes;
};
// What the peer sends after a client command (turn 0: on connect).
struct Turn {
  std::vector<Piece> pieces;
};
inline Turn Reply(std::string bytes) { return {{{0, std::move(bytes)}}}; }

struct Script {
  bool refuse = false;
  std::vector<Turn> turns;  // stream: turn 0 is the greeting; datagram: turn 0 answers the first send
};

// One connection as the peer saw it.
struct PeerConnection {
  bool stream = true;
  std::string host;
  uint16_t port = 0;
  std::string received;  // every byte the client sent
};

class ScriptedNet {
 public:
  std::deque<Script> scripts;  // one per connection, in order
  std::vector<PeerConnection> connections;
  uint64_t now = 0;
  int started = 0;  // library starts minus stops

  SocketApiFactory Factory();
};

class ScriptedSocket final : public SocketApi {
 public:
  explicit ScriptedSocket(ScriptedNet& net) : net_(net) {}
  int Startup() override { ++net_.started; return 0; }
  int Cleanup() override { --net_.started; return 0; }
  bool Open(bool stream) override {
    stream_ = stream;
    open_ = true;
    return true;
  }
  IPv4Address Resolve(const std::string& host) override {
    host_ = host;
    return host == "unresolvable" ? IPv4Address{} : IPv4Address{127, 0, 0, 1};
  }
  bool Connect(const IPv4Address&, uint16_t port) override {
    script_ = net_.scripts.empty() ? Script{} : net_.scripts.front();
    if (!net_.scripts.empty()) net_.scripts.pop_front();
    if (script_.refuse) {
      error_ = 10061;
      return false;
    }
    index_ = static_cast<int>(net_.connections.size());
    net_.connections.push_back({stream_, host_, port, {}});
    if (stream_) NextTurn();
    return true;
  }
  bool Close() override {
    open_ = false;
    return true;
  }
  int Send(const char* data, int length) override {
    Connection().received.append(data, length);
    if (!stream_) {
      NextTurn();
      return length;
    }
    buffer_.append(data, length);
    for (;;) {
      const size_t end = data_mode_ ? buffer_.find("\r\n.\r\n") : buffer_.find("\r\n");
      if (end == std::string::npos) break;
      const std::string line = buffer_.substr(0, end);
      buffer_.erase(0, end + (data_mode_ ? 5 : 2));
      data_mode_ = false;
      if (NextTurn().rfind("354", 0) == 0 && line == "DATA") data_mode_ = true;
    }
    return length;
  }
  int Recv(char* buffer, int size) override {
    int got = 0;
    while (got < size && !inbox_.empty() && inbox_.front().delay_ms <= net_.now) {
      Piece& p = inbox_.front();
      const size_t n = std::min<size_t>(p.bytes.size(), static_cast<size_t>(size - got));
      std::copy_n(p.bytes.data(), n, buffer + got);
      got += static_cast<int>(n);
      p.bytes.erase(0, n);
      if (p.bytes.empty()) inbox_.pop_front();
      if (!stream_) break;
    }
    return got;
  }
  int Pending() override {
    int n = 0;
    for (const Piece& p : inbox_)
      if (p.delay_ms <= net_.now) n += static_cast<int>(p.bytes.size());
    return n;
  }
  bool WaitReadable(uint32_t ms) override {
    uint64_t next = UINT64_MAX;
    for (const Piece& p : inbox_) next = std::min<uint64_t>(next, p.delay_ms);
    if (next <= net_.now + ms) {
      net_.now = std::max(net_.now, next);
      return true;
    }
    net_.now += ms;
    return false;
  }
  bool PeerClosed() override { return false; }  // scripted peers never close
  uint64_t NowMs() override { return net_.now; }
  int LastError() override { return error_; }
  std::string ErrorText(int code) override { return "error " + std::to_string(code); }
  uintptr_t Handle() const override { return open_ ? 1 : ~uintptr_t{0}; }

 private:
  PeerConnection& Connection() { return net_.connections[index_]; }
  // Queues the next turn's pieces at absolute times; returns its first bytes.
  std::string NextTurn() {
    if (turn_ >= script_.turns.size()) return {};
    const Turn& t = script_.turns[turn_++];
    for (const Piece& p : t.pieces) inbox_.push_back({static_cast<uint32_t>(net_.now + p.delay_ms), p.bytes});
    return t.pieces.empty() ? std::string() : t.pieces.front().bytes;
  }

  ScriptedNet& net_;
  Script script_;
  size_t turn_ = 0;
  int index_ = 0;
  bool stream_ = true;
  bool open_ = false;
  bool data_mode_ = false;
  int error_ = 0;
  std::string host_;
  std::string buffer_;
  std::deque<Piece> inbox_;  // delay_ms holds the absolute time of arrival here
};

inline SocketApiFactory ScriptedNet::Factory() {
  return [this] { return std::make_unique<ScriptedSocket>(*this); };
}

}  // namespace sondrel::test
