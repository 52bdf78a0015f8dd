#include "tools/options_text.h"

#include <functional>
#include <map>
#include <stdexcept>

#include "base/text.h"

namespace sondrel::tools {
namespace {

std::string Unescape(std::string_view v) {
  std::string r;
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] != '\\' || i + 1 == v.size()) {
      r += v[i];
      continue;
    }
    const char c = v[++i];
    r += c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c;
  }
  return r;
}

bool ParseBool(const std::string& v) {
  if (SameText(v, "true") || v == "1") return true;
  if (SameText(v, "false") || v == "0") return false;
  throw std::invalid_argument("not a boolean");
}

int64_t ParseNumber(const std::string& v, int64_t lo, int64_t hi) {
  size_t used = 0;
  const bool hex = StartsText("0x", v);
  const int64_t n = std::stoll(hex ? v.substr(2) : v, &used, hex ? 16 : 10);
  if (used != v.size() - (hex ? 2 : 0) || n < lo || n > hi) throw std::invalid_argument("number out of range");
  return n;
}

TReportSendMode ParseSendMode(const std::string& v) {
  static const char* const names[] = {"rsNone", "rsMailClient", "rsSmtpRelay", "rsSmtpDirect"};
  for (int i = 0; i < 4; ++i)
    if (SameText(v, names[i])) return static_cast<TReportSendMode>(i);
  return static_cast<TReportSendMode>(ParseNumber(v, 0, 255));
}

using Setter = std::function<void(TReportModuleOptions&, const std::string&)>;

const std::map<std::string, Setter, std::less<>>& Setters() {
  using O = TReportModuleOptions;
  auto str = [](void (O::*set)(std::string)) { return [set](O& o, const std::string& v) { (o.*set)(v); }; };
  auto flag = [](void (O::*set)(bool)) { return [set](O& o, const std::string& v) { (o.*set)(ParseBool(v)); }; };
  auto i32 = [](void (O::*set)(int32_t)) {
    return [set](O& o, const std::string& v) { (o.*set)(static_cast<int32_t>(ParseNumber(v, INT32_MIN, INT32_MAX))); };
  };
  auto u8 = [](void (O::*set)(uint8_t)) {
    return [set](O& o, const std::string& v) { (o.*set)(static_cast<uint8_t>(ParseNumber(v, 0, 255))); };
  };
  static const std::map<std::string, Setter, std::less<>> setters = {
      {"SenderAddress", str(&O::SetSenderAddress)},
      {"RelayHost", str(&O::SetRelayHost)},
      {"RelayUser", str(&O::SetRelayUser)},
      {"RelayPassword", str(&O::SetRelayPassword)},
      {"RelayPort", [](O& o, const std::string& v) { o.SetRelayPort(static_cast<uint16_t>(ParseNumber(v, 0, 65535))); }},
      {"RestartAfterTerminate", flag(&O::SetRestartAfterTerminate)},
      {"FreezeWatch", [](O& o, const std::string& v) { o.SetFreezeWatch(ParseBool(v)); }},
      {"FreezeSeconds", i32(&O::SetFreezeSeconds)},
      {"FreezeMessage", str(&O::SetFreezeMessage)},
      {"PaintedDialogs", flag(&O::SetPaintedDialogs)},
      {"ReportFields",
       [](O& o, const std::string& v) { o.SetReportFields(static_cast<uint32_t>(ParseNumber(v, 0, UINT32_MAX))); }},
      {"SpareSwitch", flag(&O::SetSpareSwitch)},
      {"FilterActive", flag(&O::SetFilterActive)},
      {"ShowDialog", flag(&O::SetShowDialog)},
      {"ReportInBody", flag(&O::SetReportInBody)},
      {"AttachScreenshot", flag(&O::SetAttachScreenshot)},
      {"ShowSendProgress", flag(&O::SetShowSendProgress)},
      {"TerminateButtonOnRepeat", flag(&O::SetTerminateButtonOnRepeat)},
      {"SaveLog", flag(&O::SetSaveLog)},
      {"SendEntireLog", flag(&O::SetSendEntireLog)},
      {"HandlingFlags", u8(&O::SetHandlingFlags)},
      {"FirstDetailsTab", u8(&O::SetFirstDetailsTab)},
      {"LogErrorLimit", i32(&O::SetLogErrorLimit)},
      {"TerminateButtonAfter", i32(&O::SetTerminateButtonAfter)},
      {"LogPath", str(&O::SetLogPath)},
      {"MailRecipients", str(&O::SetMailRecipients)},
      {"MailSubject", str(&O::SetMailSubject)},
      {"MailBody", str(&O::SetMailBody)},
      {"SendMode", [](O& o, const std::string& v) { o.SetSendMode(ParseSendMode(v)); }},
      {"Filter",
       [](O& o, const std::string& v) {
         const size_t bar = v.find('|');
         o.AddFilter(Trim(v.substr(0, bar)), bar == std::string::npos ? "" : Trim(v.substr(bar + 1)));
       }},
  };
  return setters;
}

}  // namespace

void ApplyOptionsText(std::string_view text, TReportModuleOptions& options) {
  int number = 0;
  for (const std::string& raw : SplitLines(text)) {
    ++number;
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == '#') continue;
    const size_t eq = line.find('=');
    auto fail = [&](const std::string& why) {
      throw std::runtime_error("options line " + std::to_string(number) + ": " + why + ": " + line);
    };
    if (eq == std::string::npos) fail("no '='");
    const std::string name = Trim(line.substr(0, eq));
    const std::string value = Unescape(Trim(line.substr(eq + 1)));
    try {
      if (StartsText("Text.", name)) {
        const int64_t i = ParseNumber(name.substr(5), 0, kCustomTextCount - 1);
        options.SetCustomText(static_cast<int>(i), value);
        continue;
      }
      auto it = Setters().find(name);
      if (it == Setters().end()) fail("unknown option");
      it->second(options, value);
    } catch (const std::logic_error& e) {
      fail(e.what());
    }
  }
}

}  // namespace sondrel::tools
