#include "errorreport/delivery/report_options.h"

#include <algorithm>
#include <atomic>

#include "base/file.h"
#include "errorreport/delivery/block_format.h"
#include "errorreport/delivery/options_mapping.h"

namespace sondrel {

const char* const kReportFieldNames[kReportFieldRows] = {
    "Application|Start Date", "Application|Name", "Application|Version Number", "Application|Parameters",
    "Exception|Date", "Exception|Address", "Exception|Module", "Exception|Type", "Exception|Message",
    "Active Controls|Form Class", "Active Controls|Form Text", "Active Controls|Control Class",
    "Active Controls|Control Text", "Computer|Name", "Computer|User", "Computer|Total Memory",
    "Computer|Free Memory", "Computer|Total Disk", "Computer|Free Disk", "Operating System|Type",
    "Operating System|Build #", "Operating System|Update", "Operating System|Language",
};

const TCustomizedTexts& DefaultCustomTexts() {
  static const TCustomizedTexts texts = {
      "Information.", "Question.",
      // Exception dialog
      "Error.",
      "An error has occurred during program execution.\r\nPlease read the following information for further "
      "details.",
      "General", "General Information", "Call Stack", "Call Stack Information", "Modules", "Modules Information",
      "CPU", "CPU Information", "&OK", "&Terminate", "&Restart", "&Details", "&Send this error via Email",
      "&Attach a Screenshot image", "&Copy to Clipboard",
      // Log
      "Application", "Start Date", "Name/Description", "Version Number", "Parameters", "Exception", "Date",
      "Address", "Module", "Type", "Message", "Active Controls", "Form Class", "Form Text", "Control Class",
      "Control Text", "Computer", "Name", "User", "Total Memory", "Free Memory", "Total Disk", "Free Disk",
      "Operating System", "Type", "Build #", "Update", "Language",
      // Log, call stack
      "Address", "Module", "Unit", "Class", "Procedure/Method", "Line",
      // SMTP dialog
      "SMTP.", "Message", "Resolving MX record...", "Connecting with SMTP server...",
      "Connected with SMTP server.", "Sending message...",
      // Reproduce dialog
      "Request", "Please describe the steps to reproduce the error:", "&OK",
      // Log, modules list
      "Handle", "Name", "Description", "Version", "Size", "Path",
      // Log, CPU
      "Registers", "Stack", "Memory Dump",
  };
  return texts;
}

namespace {

std::atomic<CurrentOptionsSource> g_current_source{nullptr};
std::atomic<void (*)()> g_watchdog_start{nullptr};
std::atomic<void (*)()> g_watchdog_stop{nullptr};

// Whether text i is stored in a stream of the given version: older layouts lack some texts.
bool TextPresent(int i, uint16_t version) {
  if (i == mtDialog_DetailsButtonCaption) return version >= 420;
  if (i == mtDialog_RestartButtonCaption) return version >= 421;
  const bool since450 = (i >= 8 && i <= 11) || (i >= 16 && i <= 18) || i == 23 || i == 37 || i == 45 ||
                        i == 47 || i == 48 || (i >= 53 && i <= 70);
  return since450 ? version >= 450 : true;
}

// Runs a bulk change between BeginUpdate and EndUpdate and announces it once, also when it fails.
template <class F>
auto Bulk(TReportModuleOptions& o, F&& f) {
  o.BeginUpdate();
  struct End {
    TReportModuleOptions& o;
    ~End() {
      o.EndUpdate();
      o.Changed();
    }
  } end{o};
  return f();
}

}  // namespace

void WriteStreamString(ByteWriter& out, std::string_view s) {
  if (s.size() > 1 && s.find("\r\n") == s.size() - 2) s.remove_suffix(2);
  out.Write<uint32_t>(static_cast<uint32_t>(s.size()));
  std::string scrambled(s);
  for (char& c : scrambled) c = static_cast<char>(c ^ kStreamStringKey);
  out.WriteBytes(scrambled);
}

std::optional<std::string> ReadStreamString(ByteReader& in) {
  auto n = in.Read<uint32_t>();
  if (!n) return std::nullopt;
  // The length is checked against what is left before anything is allocated: a corrupt length must
  // not make the reader ask for gigabytes.
  auto bytes = in.ReadBytes(*n);
  if (!bytes) return std::nullopt;
  std::string s(*bytes);
  for (char& c : s) c = static_cast<char>(c ^ kStreamStringKey);
  return s;
}

TReportModuleOptions::TReportModuleOptions(std::string module_file_name, bool publish_changes)
    : publish_changes_(publish_changes), module_file_name_(std::move(module_file_name)) {
  SetDefaults();
  update_count_ = 0;
}

void TReportModuleOptions::SetLogErrorLimit(int32_t v) {
  values_.LogErrorLimit = v == 0 ? 1 : v;
  Changed();
}

void TReportModuleOptions::SetFreezeWatch(bool v) { StoreFreezeWatch(v); }
void TReportModuleOptions::SetReportingActive(bool v) { StoreReportingActive(v); }

void TReportModuleOptions::SetFilterClasses(StringList v) {
  filter_classes_ = std::move(v);
  Changed();
}

void TReportModuleOptions::SetFilterMessages(StringList v) {
  filter_messages_ = std::move(v);
  Changed();
}

void TReportModuleOptions::AddFilter(std::string class_name, std::string message) {
  Bulk(*this, [&] {
    filter_classes_.push_back(std::move(class_name));
    filter_messages_.push_back(std::move(message));
  });
}

const std::string& TReportModuleOptions::CustomText(int i) const {
  static const std::string empty;
  return i >= 0 && i < kCustomTextCount ? texts_[i] : empty;
}

void TReportModuleOptions::SetCustomText(int i, std::string text) {
  if (i < 0 || i >= kCustomTextCount) return;
  texts_[i] = std::move(text);
  Changed();
}

void TReportModuleOptions::Changed() {
  if (update_count_ > 0 || !publish_changes_) return;
  if (!IsSubsystemModuleFile(module_file_name_)) return;
  OptionsChanged();
}

void TReportModuleOptions::Assign(const TReportModuleOptions* source) {
  if (source == nullptr) throw EConvertError("Impossible to assign nil as TReportModuleOptions.");
  if (source == this) return;
  Bulk(*this, [&] {
    filter_classes_ = source->filter_classes_;
    filter_messages_ = source->filter_messages_;
    texts_ = source->texts_;
    const bool freeze = values_.FreezeWatch;
    values_ = source->values_;
    // The freeze switch goes through its setter so that the watchdog follows it.
    values_.FreezeWatch = freeze;
    SetFreezeWatch(source->values_.FreezeWatch);
  });
}

void TReportModuleOptions::SetDefaults() {
  Bulk(*this, [&] {
    values_ = TReportOptionValues{};
    texts_ = DefaultCustomTexts();
    filter_classes_.clear();
    filter_messages_.clear();
  });
}

void TReportModuleOptions::SaveToStream(ByteWriter& out) const {
  const TReportOptionValues& v = values_;
  for (bool b : {v.SpareSwitch, v.FilterActive}) out.Write<uint8_t>(b);
  out.Write<uint8_t>(v.HandlingFlags);
  for (bool b : {v.ShowDialog, v.ReportInBody, v.SendEntireLog, v.AttachScreenshot, v.ShowSendProgress,
                 v.SaveLog})
    out.Write<uint8_t>(b);
  out.Write<uint8_t>(v.FirstDetailsTab);
  out.Write<uint8_t>(v.PaintedDialogs);
  out.Write<uint8_t>(v.FreezeWatch);
  out.Write<int32_t>(v.FreezeSeconds);

  WriteStreamString(out, v.FreezeMessage);
  WriteStreamString(out, v.SenderAddress);
  WriteStreamString(out, v.RelayHost);
  out.Write<uint16_t>(v.RelayPort);
  WriteStreamString(out, v.RelayUser);
  WriteStreamString(out, v.RelayPassword);
  out.Write<uint8_t>(v.RestartAfterTerminate);

  out.Write<uint8_t>(v.TerminateButtonOnRepeat);
  out.Write<int32_t>(v.LogErrorLimit);
  out.Write<int32_t>(v.TerminateButtonAfter);
  WriteStreamString(out, v.MailRecipients);
  WriteStreamString(out, v.MailSubject);
  out.Write<uint8_t>(static_cast<uint8_t>(v.SendMode));
  out.Write<uint32_t>(v.ReportFields);
  WriteStreamString(out, v.LogPath);

  const size_t pairs = std::max(filter_classes_.size(), filter_messages_.size());
  out.Write<uint32_t>(static_cast<uint32_t>(pairs));
  for (size_t i = 0; i < pairs; ++i) {
    WriteStreamString(out, i < filter_classes_.size() ? filter_classes_[i] : std::string());
    WriteStreamString(out, i < filter_messages_.size() ? filter_messages_[i] : std::string());
  }

  WriteStreamString(out, v.MailBody);
  for (const std::string& t : texts_) WriteStreamString(out, t);
}

bool TReportModuleOptions::LoadFromStream(ByteReader& in, uint16_t version) {
  return Bulk(*this, [&] { return LoadFields(in, version); });
}

bool TReportModuleOptions::LoadFields(ByteReader& in, uint16_t version) {
  TReportOptionValues& v = values_;
  const bool old = version < 450;
  auto flag = [&](bool& field) {
    auto b = in.Read<uint8_t>();
    if (b) field = *b != 0;
    return b.has_value();
  };
  auto byte = [&](uint8_t& field) {
    auto b = in.Read<uint8_t>();
    if (b) field = *b;
    return b.has_value();
  };
  auto int32 = [&](int32_t& field) {
    auto b = in.Read<int32_t>();
    if (b) field = *b;
    return b.has_value();
  };
  auto str = [&](std::string& field) {
    auto s = ReadStreamString(in);
    if (s) field = std::move(*s);
    return s.has_value();
  };

  if (!flag(v.SpareSwitch) || !flag(v.FilterActive) || !byte(v.HandlingFlags) || !flag(v.ShowDialog)) return false;
  if (old) v.ShowDialog = !v.ShowDialog;
  if (!flag(v.ReportInBody)) return false;
  if (version >= 450 && (!flag(v.SendEntireLog) || !flag(v.AttachScreenshot) || !flag(v.ShowSendProgress)))
    return false;
  if (version >= 401 && (!flag(v.SaveLog) || !byte(v.FirstDetailsTab))) return false;
  if (version >= 403 && !flag(v.PaintedDialogs)) return false;
  if (version >= 420) {
    if (!flag(v.FreezeWatch) || !int32(v.FreezeSeconds)) return false;
    // Before 422 the stored value was in milliseconds.
    if (version < 422) v.FreezeSeconds /= 1000;
    if (!str(v.FreezeMessage)) return false;
    if (version >= 450 && !str(v.SenderAddress)) return false;
    if (!str(v.RelayHost)) return false;
  }
  if (version >= 450) {
    auto port = in.Read<uint16_t>();
    if (!port) return false;
    v.RelayPort = *port;
  }
  if (version >= 421 && (!str(v.RelayUser) || !str(v.RelayPassword) || !flag(v.RestartAfterTerminate)))
    return false;

  if (!flag(v.TerminateButtonOnRepeat) || !int32(v.LogErrorLimit) || !int32(v.TerminateButtonAfter) ||
      !str(v.MailRecipients) || !str(v.MailSubject))
    return false;
  auto mode = in.Read<uint8_t>();
  if (!mode) return false;
  if (old) {
    // Older layouts only knew "send or not"; the relay host decided how.
    v.SendMode = *mode == 0 ? TReportSendMode::rsNone
                 : v.RelayHost.empty() ? TReportSendMode::rsMailClient
                                       : TReportSendMode::rsSmtpRelay;
  } else {
    v.SendMode = static_cast<TReportSendMode>(*mode);
  }
  auto fields = in.Read<uint32_t>();
  if (!fields) return false;
  v.ReportFields = *fields;
  if (old && !in.Skip(1)) return false;
  if (!str(v.LogPath)) return false;

  filter_classes_.clear();
  filter_messages_.clear();
  auto pairs = in.Read<uint32_t>();
  if (!pairs) return false;
  // Each pair takes at least two length fields; a count that cannot fit in what is left is corrupt.
  if (*pairs > in.Remaining() / 8) return false;
  for (uint32_t i = 0; i < *pairs; ++i) {
    auto cls = ReadStreamString(in);
    if (!cls) return false;
    auto msg = ReadStreamString(in);
    if (!msg) return false;
    filter_classes_.push_back(std::move(*cls));
    filter_messages_.push_back(std::move(*msg));
  }

  if (!str(v.MailBody)) return false;
  for (int i = 0; i < kCustomTextCount; ++i)
    if (TextPresent(i, version) && !str(texts_[i])) return false;
  return true;
}

std::string TReportModuleOptions::LogFileName() const {
  const std::string rpt = ChangeFileExt(module_file_name_, ".rpt");
  const std::string& log_path = values_.LogPath;
  if (LowerCase(ExtractFileExt(log_path)) == ".rpt") return log_path;
  std::string folder = log_path.empty() ? ExtractFilePath(module_file_name_) : log_path;
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder + ExtractFileName(rpt);
}

void TReportModuleOptionsEx::OptionsChanged() {
  ByteWriter out;
  out.Write<uint8_t>(1);
  SaveToStream(out);
  PublishSubsystemOptions(out.Bytes());
}

void TReportModuleOptionsEx::SetReportingActive(bool v) {
  SetSwitch(v, ReportingActive(), &TReportModuleOptionsEx::StoreReportingActive);
}

void TReportModuleOptionsEx::SetFreezeWatch(bool v) {
  SetSwitch(v, FreezeWatch(), &TReportModuleOptionsEx::StoreFreezeWatch);
}

// Only the options of the reporter's own module drive the watchdog; there an unchanged value does
// nothing at all, not even Changed.
void TReportModuleOptionsEx::SetSwitch(bool v, bool current, void (TReportModuleOptionsEx::*store)(bool)) {
  if (!HasCurrentReportOptions() || &CurrentReportOptions() != this) {
    (this->*store)(v);
    return;
  }
  if (v == current) return;
  (this->*store)(v);
  SwitchFreezeWatchdog();
}

void TReportModuleOptionsEx::SwitchFreezeWatchdog() {
  auto fn = ReportingActive() && FreezeWatch() ? g_watchdog_start.load() : g_watchdog_stop.load();
  if (fn) fn();
}

void SetCurrentReportOptionsSource(CurrentOptionsSource source) { g_current_source = source; }

bool HasCurrentReportOptions() {
  CurrentOptionsSource source = g_current_source;
  return source && source();
}

TReportModuleOptionsEx& CurrentReportOptions() {
  CurrentOptionsSource source = g_current_source;
  TReportModuleOptionsEx* o = source ? source() : nullptr;
  if (!o) throw EAssertionFailed("Cannot use 'CurrentReportOptions' function without ErrorReport activate.");
  return *o;
}

void SetFreezeWatchdogControl(FreezeWatchdogControl control) {
  g_watchdog_start = control.start;
  g_watchdog_stop = control.stop;
}

}  // namespace sondrel
