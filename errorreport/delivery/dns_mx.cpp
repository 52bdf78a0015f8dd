#include "errorreport/delivery/dns_mx.h"

#include "base/text.h"

namespace sondrel {
namespace {

constexpr uint16_t kTypeMx = 15;
constexpr size_t kHeaderSize = 12;
constexpr size_t kMaxLabel = 63;

std::optional<uint16_t> Be16(std::string_view data, size_t pos) {
  if (pos > data.size() || data.size() - pos < 2) return std::nullopt;
  return static_cast<uint16_t>((static_cast<unsigned char>(data[pos]) << 8) | static_cast<unsigned char>(data[pos + 1]));
}

void AppendBe16(std::string& out, uint16_t v) {
  out += static_cast<char>(v >> 8);
  out += static_cast<char>(v & 0xFF);
}

}  // namespace

std::string MxDomain(std::string_view address) {
  const size_t at = address.find('@');
  return std::string(at == std::string_view::npos ? address : address.substr(at + 1));
}

std::string BuildMxQuery(std::string_view domain) {
  std::string q("AA\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00", kHeaderSize);
  for (const std::string& label : Split(domain, '.')) {
    // An empty piece (a name written with its final dot) adds nothing: a zero length would end the
    // name early.
    if (label.empty()) continue;
    if (label.size() > kMaxLabel) return {};
    q += static_cast<char>(label.size());
    q += label;
  }
  q += '\0';
  AppendBe16(q, kTypeMx);
  AppendBe16(q, 1);
  return q;
}

std::optional<std::string> ReadDnsName(std::string_view data, size_t& pos) {
  std::string name;
  size_t p = pos;
  bool jumped = false;
  int jumps = 0;
  for (;;) {
    if (p >= data.size()) return std::nullopt;
    const auto len = static_cast<unsigned char>(data[p]);
    if (len >= 192) {
      const auto low = Be16(data, p);
      if (!low || ++jumps > kMaxPointerJumps) return std::nullopt;
      if (!jumped) pos = p + 2;
      jumped = true;
      p = *low & 0x3FFF;
      continue;
    }
    if (len == 0) {
      if (!jumped) pos = p + 1;
      break;
    }
    if (len > data.size() - p - 1) return std::nullopt;
    name.append(data.substr(p + 1, len));
    name += '.';
    p += 1 + len;
  }
  if (!name.empty()) name.pop_back();
  return name;
}

std::optional<MxAnswer> ReadMxReply(std::string_view reply) {
  // A reply without answers (an unknown name, a refusal) has nothing to read where the answer would
  // be: whatever follows the question must not be taken for an exchanger.
  const auto answers = Be16(reply, 6);
  if (!answers || *answers == 0) return std::nullopt;
  size_t pos = kHeaderSize;
  if (!ReadDnsName(reply, pos)) return std::nullopt;
  pos += 4;  // question type and class
  if (!ReadDnsName(reply, pos)) return std::nullopt;  // the owner name, usually a pointer
  const auto type = Be16(reply, pos);
  const auto length = Be16(reply, pos + 8);
  if (!type || *type != kTypeMx || !length) return std::nullopt;
  const size_t data = pos + 10;
  if (data > reply.size() || reply.size() - data < *length) return std::nullopt;
  const std::string_view record = reply.substr(0, data + *length);
  MxAnswer answer;
  const auto preference = Be16(record, data);
  if (!preference) return std::nullopt;
  answer.preference = *preference;
  size_t name_pos = data + 2;
  auto exchange = ReadDnsName(record, name_pos);
  if (!exchange || exchange->empty()) return std::nullopt;
  answer.exchange = std::move(*exchange);
  return answer;
}

StringList BuildDnsServerList(const StringList& system_servers) {
  StringList out;
  auto add = [&out](const std::string& candidate) {
    std::string s = Trim(candidate);
    if (s != "0.0.0.0") out.push_back(std::move(s));
  };
  for (const std::string& s : system_servers) add(s);
  add(kFallbackDnsServer);
  return out;
}

std::string ResolveMX(const std::string& address, const StringList& servers, const SocketApiFactory& sockets,
                      uint32_t timeout_ms) {
  const std::string domain = MxDomain(address);
  const std::string query = BuildMxQuery(domain);
  for (size_t i = 0; i < servers.size() && !query.empty(); ++i) {
    TReportClientSocket socket(servers[i], kDnsPort, false, timeout_ms, sockets());
    socket.Connect();
    if (socket.SendText(query) != static_cast<int>(query.size())) continue;
    if (auto answer = ReadMxReply(socket.ReadReply())) return answer->exchange;
  }
  throw EReportSocketError("Cannot resolve the \"" + domain + "\" MX record.");
}

}  // namespace sondrel
