#include "model/UGeneral.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "base/exception.h"
#include "base/file.h"

namespace sondrel {
namespace {

constexpr char kLineEnd[] = "\r\n";

// Calls row(fields, quoted) for every data line of a table file: the first line is a header and is
// skipped whatever it holds, and so is every blank line. A file with fewer than two lines has no rows.
template <class Row>
void ForEachRow(std::string_view bytes, Row row) {
  StringList lines = SplitLines(bytes);
  if (lines.size() < 2) return;
  const bool quoted = IsQuotedHeader(lines[0]);
  StringList fields;
  for (size_t i = 1; i < lines.size(); ++i) {
    if (IsBlankLine(lines[i])) continue;
    SplitFields(',', lines[i], fields, quoted);
    row(fields, quoted);
  }
}

std::string Header(const char* header, bool quoted) {
  return std::string(header) + (quoted ? std::string(kQuotedMarker) : std::string()) + kLineEnd;
}

bool HoldsComma(const StringList& fields) {
  for (const auto& f : fields)
    if (f.find(',') != std::string::npos) return true;
  return false;
}

StringList SiteFields(const TSite& s) {
  return {std::string(1, s.SiteType),
          s.Code,
          s.Description,
          s.Leading,
          s.Post,
          std::to_string(s.Tab),
          std::to_string(s.Order),
          s.Checked ? "1" : "0"};
}

// Why a write failed, for the user: the system's own text for a system error (its code is for the
// report), else the message.
std::string Reason(const std::exception& e) {
  if (auto* os = dynamic_cast<const EOSError*>(&e)) return SysErrorMessage(os->ErrorCode());
  return e.what();
}

// Runs a write of the named data file; its error says which file could not be saved.
template <class F>
void NameFailures(const char* name, F write) {
  try {
    write();
  } catch (Exception& e) {
    e.SetMessage(std::string(name) + " could not be saved: " + Reason(e));
    throw;
  }
}

// Runs the cleanup when the scope ends, unless dismissed.
template <class F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) : f_(std::move(f)) {}
  ~ScopeExit() {
    if (armed_) f_();
  }
  void Dismiss() { armed_ = false; }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  F f_;
  bool armed_ = true;
};

}  // namespace

std::string SiteKey(int tab, int slot) {
  return std::to_string(tab) + "-" + std::to_string(slot);
}

void AddKeyword(TSearchTab& tab, const std::string& keyword) {
  const std::string wanted = UpperCase(keyword);
  for (const auto& item : tab.LastKeywords)
    if (UpperCase(item) == wanted) return;
  tab.LastKeywords.insert(tab.LastKeywords.begin(), keyword);
}

std::optional<int> ParseDecimalField(std::string_view text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (i >= text.size()) return std::nullopt;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    v = v * 10 + (text[i] - '0');
    if (v > int64_t{std::numeric_limits<int32_t>::max()} + 1) return std::nullopt;
  }
  if (negative) v = -v;
  if (v > std::numeric_limits<int32_t>::max() || v < std::numeric_limits<int32_t>::min()) return std::nullopt;
  return static_cast<int>(v);
}

std::string UnreadableFilesMessage(const std::vector<TUnreadableFile>& files, const std::string& folder) {
  const bool one = files.size() == 1;
  std::string text = one ? "A data file could not be read:" : "Some data files could not be read:";
  for (const auto& f : files) text += "\r\n" + f.Name + ": " + f.Reason;
  text += "\r\n\r\nFolder: " + folder;
  text += one ? "\r\n\r\nSondrel goes on without what this file holds and leaves it unchanged until it is "
                "started again. Close the program that uses the file, then restart Sondrel."
              : "\r\n\r\nSondrel goes on without what these files hold and leaves them unchanged until it is "
                "started again. Close the program that uses the files, then restart Sondrel.";
  return text;
}

TSearchManager::TSearchManager() : open_profile_(OpenSettingsProfile) {}

TSearchManager::TSearchManager(std::string data_folder, ProfileOpener open_profile)
    : data_folder_(std::move(data_folder)), open_profile_(std::move(open_profile)) {
  const std::string settings = DataFile(kSettingsFile);
  // The private-profile reader gives the defaults for a file it cannot open; a file that is there but
  // unreadable must not be taken for a missing one, or its other sections would be replaced.
  ReadDataFile(kSettingsFile);
  if (FileExists(settings) && !IsUnreadable(kSettingsFile)) {
    auto profile = open_profile_(settings);
    LastTab = ReadProfileInteger(*profile, kSettingsSection, "MLastTab", 0);
    // The tab strip selects this index at start; one it does not have would fail there.
    if (LastTab < 0 || LastTab > kTabCount) LastTab = 0;
    Reverse = ReadProfileInteger(*profile, kSettingsSection, "MReverse", 0) != 0;
  }
  LoadBuiltIns();
  LoadSites();
  LoadTabs();
  if (IsUnreadable(kSitesFile)) sites_at_load_ = SitesText();
  if (IsUnreadable(kTabsFile)) tabs_at_load_ = TabsText();
}

// ---- reading ----

std::string TSearchManager::ReadDataFile(const char* name) {
  const std::string path = DataFile(name);
  unsigned long error = 0;
  if (auto bytes = ReadFileBytes(path, &error)) return *bytes;
  if (PathExists(path) && !IsUnreadable(name)) unreadable_.push_back({name, SysErrorMessage(error)});
  return {};
}

bool TSearchManager::IsUnreadable(std::string_view name) const {
  for (const auto& f : unreadable_)
    if (SameText(f.Name, name)) return true;
  return false;
}

void TSearchManager::LoadBuiltIns() {
  ReadBuiltIns(ReadDataFile(kBuiltInsFile));
}
void TSearchManager::LoadSites() {
  ReadSites(ReadDataFile(kSitesFile));
}
void TSearchManager::LoadTabs() {
  ReadTabs(ReadDataFile(kTabsFile));
}

void TSearchManager::ReadBuiltIns(std::string_view bytes) {
  ForEachRow(bytes, [this](const StringList& f, bool) {
    if (f.size() < 5) {
      builtins_malformed_ = true;
      return;
    }
    auto row = std::make_unique<TBuiltIn>(TBuiltIn{f[0], f[1], f[2], f[3], f[4]});
    BuiltIns.Add(f[0], std::move(row));
  });
}

void TSearchManager::ReadSites(std::string_view bytes) {
  ForEachRow(bytes, [this](const StringList& f, bool) {
    std::optional<int> tab, order;
    if (f.size() >= 8) {
      tab = ParseDecimalField(f[5]);
      order = ParseDecimalField(f[6]);
    }
    // Such a line would crash or turn into an entry nobody can see; skipping it keeps the rest usable,
    // and the .bak copy made at the next save keeps the line itself.
    if (f.size() < 8 || f[0].empty() || !tab || !order) {
      sites_malformed_ = true;
      return;
    }
    auto site = std::make_unique<TSite>();
    site->SiteType = f[0][0];
    site->Code = f[1];
    site->Description = f[2];
    site->Leading = f[3];
    site->Post = f[4];
    site->Tab = *tab;
    site->Order = *order;
    site->Checked = f[7] == "1";
    // The key is the text read, so "03" as TAB gives a key no slot of tab 3 ever looks for.
    Sites.Add(f[5] + "-" + f[6], std::move(site));
  });
}

void TSearchManager::ReadTabs(std::string_view bytes) {
  ForEachRow(bytes, [this](const StringList& f, bool quoted) {
    if (f.size() < 2) {
      tabs_malformed_ = true;
      return;
    }
    auto tab = std::make_unique<TSearchTab>();
    tab->Code = f[0];
    tab->Name = f[1];
    if (f.size() >= 3) SplitFields('^', f[2], tab->LastKeywords, quoted);
    Tabs.Add(f[0], std::move(tab));
  });
  SupplyMissingTabs();
}

void TSearchManager::SupplyMissingTabs() {
  // The tab strip takes position n-1 as tab n; a tab inserted at its own position keeps the tabs
  // around it where they belong whenever the file held the others in order.
  for (int n = 1; n <= kTabCount; ++n) {
    const std::string code = std::to_string(n);
    if (Tabs.IndexOf(code) >= 0) continue;
    auto tab = std::make_unique<TSearchTab>();
    tab->Code = code;
    tab->Name = kMissingTabName;
    Tabs.Insert(std::min(n - 1, Tabs.Count()), code, std::move(tab));
  }
}

// ---- writing ----

std::string TSearchManager::SitesText() const {
  bool quoted = false;
  for (const auto& pair : Sites) quoted = quoted || HoldsComma(SiteFields(*pair.object));
  std::string out = Header(kSitesHeader, quoted);
  for (const auto& pair : Sites) {
    out += JoinFields(SiteFields(*pair.object), ',', quoted);
    out += kLineEnd;
  }
  return out;
}

std::string TSearchManager::TabsText() const {
  // The history is a field of its own split at carets; a keyword holding a caret or a comma, a name
  // holding a comma, or an empty last keyword (the splitting rule drops an empty last field) needs the
  // marked form.
  bool quoted = false;
  for (const auto& pair : Tabs) {
    const TSearchTab& t = *pair.object;
    quoted = quoted || HoldsComma({t.Code, t.Name}) || HoldsComma(t.LastKeywords);
    for (const auto& k : t.LastKeywords) quoted = quoted || k.find('^') != std::string::npos;
    quoted = quoted || (!t.LastKeywords.empty() && t.LastKeywords.back().empty());
  }
  std::string out = Header(kTabsHeader, quoted);
  for (const auto& pair : Tabs) {
    const TSearchTab& t = *pair.object;
    // An empty history leaves the line ending in the comma after the name.
    std::string history = JoinFields(t.LastKeywords, '^', quoted);
    if (quoted && !t.LastKeywords.empty() && t.LastKeywords.back().empty()) history += QuoteField("");
    out += JoinFields({t.Code, t.Name, history}, ',', quoted);
    out += kLineEnd;
  }
  return out;
}

void TSearchManager::SaveTable(const char* name, const std::string& bytes, bool& malformed) {
  // Written now, the list read as empty would replace everything the file holds.
  if (IsUnreadable(name)) return;
  const std::string path = DataFile(name);
  NameFailures(name, [&] {
    if (malformed) {
      if (auto old = ReadFileBytes(path)) WriteFileAtomic(ChangeFileExt(path, ".bak"), *old);
    }
    WriteFileAtomic(path, bytes);
  });
  malformed = false;
}

void TSearchManager::SaveSites() {
  SaveTable(kSitesFile, SitesText(), sites_malformed_);
}
void TSearchManager::SaveTabs() {
  SaveTable(kTabsFile, TabsText(), tabs_malformed_);
}

void TSearchManager::SaveSettings() {
  WriteSettings(false);
}
void TSearchManager::SaveLastTab() {
  WriteSettings(true);
}

void TSearchManager::SaveAll() {
  // This is the last moment the session's changes exist: a file that cannot be written must not take
  // the others with it, and its own bytes are kept where the user finds them. So are the changes made
  // to a table that could not be read, which is left as it was.
  struct Step {
    const char* name;
    void (TSearchManager::*save)();
    std::string (TSearchManager::*text)() const;
    const std::string* at_load;  // tables only: what an unreadable one gave at load
  };
  const Step steps[] = {{kSitesFile, &TSearchManager::SaveSites, &TSearchManager::SitesText, &sites_at_load_},
                        {kTabsFile, &TSearchManager::SaveTabs, &TSearchManager::TabsText, &tabs_at_load_},
                        {kSettingsFile, &TSearchManager::SaveSettings, &TSearchManager::SettingsText, nullptr}};
  std::string report;
  const auto keep = [&](const Step& step, const std::string& failure) {
    const std::string unsaved = DataFile(step.name) + kUnsavedSuffix;
    if (!report.empty()) report += "\r\n\r\n";
    report += failure;
    try {
      WriteFileAtomic(unsaved, (this->*step.text)());
      report += "\r\n\r\nThe changes it should hold were kept in " + unsaved + ".";
    } catch (const std::exception& again) {
      report += "\r\n\r\nThey could not be kept in " + unsaved + " either: " + Reason(again);
    }
  };
  for (const Step& step : steps) {
    if (step.at_load && IsUnreadable(step.name)) {
      if ((this->*step.text)() != *step.at_load)
        keep(step, std::string(step.name) + " could not be read at start and was left as it was.");
      continue;
    }
    try {
      (this->*step.save)();
    } catch (const std::exception& e) {
      keep(step, e.what());
    }
  }
  if (!report.empty()) throw ESaveError(report);
}

std::string TSearchManager::SettingsBytesForUpdate() const {
  const std::string path = DataFile(kSettingsFile);
  unsigned long error = 0;
  auto bytes = ReadFileBytes(path, &error);
  // Replacing a file that is there but cannot be read would lose every other section in it.
  if (!bytes && PathExists(path)) RaiseOSError(error);
  return bytes.value_or("");
}

std::string TSearchManager::SettingsText() const {
  std::string text;
  try {
    text = SettingsBytesForUpdate();
  } catch (const Exception&) {
    // Only the two keys of this program can be kept then.
  }
  text = TIniProfile::WriteTo(text, kSettingsSection, "MLastTab", std::to_string(LastTab));
  return TIniProfile::WriteTo(text, kSettingsSection, "MReverse", Reverse ? "1" : "0");
}

void TSearchManager::WriteSettings(bool last_tab_only) {
  if (IsUnreadable(kSettingsFile)) return;
  NameFailures(kSettingsFile, [&] { WriteSettingsFile(last_tab_only); });
}

void TSearchManager::WriteSettingsFile(bool last_tab_only) {
  // The profile functions rewrite the file in place; working on a copy and replacing the file in one
  // step keeps the old settings whole when the process dies half way.
  const std::string path = DataFile(kSettingsFile);
  const std::string work = path + ".new";
  WriteFileAtomic(work, SettingsBytesForUpdate());
  ScopeExit remove_work([&] { DeleteFileAt(work); });
  {
    auto profile = open_profile_(work);
    profile->WriteString(kSettingsSection, "MLastTab", std::to_string(LastTab));
    if (!last_tab_only) profile->WriteString(kSettingsSection, "MReverse", Reverse ? "1" : "0");
  }
  auto bytes = ReadFileBytes(work);
  if (!bytes) RaiseOSError(5);  // the copy vanished or cannot be read: access denied
  WriteFileAtomic(path, *bytes);
}

// ---- lookups ----

TSearchTab* TSearchManager::TabAt(int number) const {
  return number >= 1 && number <= Tabs.Count() ? Tabs.Object(number - 1) : nullptr;
}

std::string TSearchManager::TabCaption(int number) const {
  const TSearchTab* t = Tabs.Find(std::to_string(number));
  return t ? t->Name : std::string();
}

TSite* TSearchManager::SiteAt(int tab, int slot) const {
  return Sites.Find(SiteKey(tab, slot));
}

std::optional<TResolvedSite> TSearchManager::Resolve(const TSite& site) const {
  if (site.IsCustom()) return TResolvedSite{site.Description, site.Leading, site.Post};
  const TBuiltIn* row = BuiltIns.Find(site.Code);
  if (!row) return std::nullopt;
  return TResolvedSite{row->Description, row->Leading, row->Post};
}

}  // namespace sondrel
