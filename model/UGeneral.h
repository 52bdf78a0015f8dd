#pragma once
// The search configuration: the eight tabs with their keyword histories, the search entries of all
// tabs, the built-in catalogue and the two settings, and the data files they are kept in.
//
// Files, in the data folder (a path ending in a backslash, or a slash in the native build):
//   SitesDB.dat   "TYPE,CODE,DESCRIPTION,LEADING,POST,TAB,ORDER,CHECKED", one line per entry
//   TabsDB.dat    "CODE,NAME,LASTKEYWORDS", one line per tab, the history joined by "^"
//   BuiltInDB.dat CODE,DESCRIPTION,LEADING,POST,CATEGORY, one line per catalogue row, never written
//   Settings.dat  [Settings] MLastTab=<int>, MReverse=<0|1>
// Every table line ends with CR LF when written; CR, LF and CR LF all end a line when read. The first
// line is a header and is skipped; blank lines are skipped.
//
// The model is used from the user-interface thread only; nothing is locked.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/exception.h"
#include "base/text.h"
#include "model/fields.h"
#include "model/keyed_list.h"
#include "model/profile.h"

namespace sondrel {

inline constexpr int kTabCount = 8;
inline constexpr int kSlotCount = 10;

inline constexpr char kSitesFile[] = "SitesDB.dat";
inline constexpr char kTabsFile[] = "TabsDB.dat";
inline constexpr char kBuiltInsFile[] = "BuiltInDB.dat";
inline constexpr char kSettingsFile[] = "Settings.dat";

inline constexpr char kSitesHeader[] = "TYPE,CODE,DESCRIPTION,LEADING,POST,TAB,ORDER,CHECKED";
inline constexpr char kTabsHeader[] = "CODE,NAME,LASTKEYWORDS";
inline constexpr char kSettingsSection[] = "Settings";

// What is left of a file that could not be saved, beside it.
inline constexpr char kUnsavedSuffix[] = ".unsaved";

// A data file that could not be saved at exit; the message says which, why, and where its bytes went.
SONDREL_EXCEPTION_CLASS(ESaveError, Exception);

// A data file that exists but could not be read when the model was loaded.
struct TUnreadableFile {
  std::string Name;    // "SitesDB.dat"
  std::string Reason;  // the system's text
};

// The name given to a tab the tab file lacks.
inline constexpr char kMissingTabName[] = "Custom";

// One row of the built-in catalogue; read only after loading.
struct TBuiltIn {
  std::string Code;
  std::string Description;
  std::string Leading;
  std::string Post;
  std::string Category;  // "Web", "Images", "Videos", "News", "Blogs", "Shopping" or "Music"
};

// One search entry: one slot of one tab.
struct TSite {
  char SiteType = 'B';  // 'C' custom entry; any other value is a catalogue entry
  std::string Code;     // catalogue entry: the Code of its catalogue row; custom entry: empty
  std::string Description;
  std::string Leading;
  std::string Post;
  int Tab = 0;    // 1 to 8
  int Order = 0;  // slot 1 to 10
  bool Checked = false;

  bool IsCustom() const { return SiteType == 'C'; }
};

// One tab.
struct TSearchTab {
  std::string Code;  // "1" to "8"
  std::string Name;
  StringList LastKeywords;  // newest first, no length limit
};

// The caption and the two address halves of an entry.
struct TResolvedSite {
  std::string Description;
  std::string Leading;
  std::string Post;
};

// The key of the entry in a slot: tab and slot in decimal joined by "-" ("3-10").
std::string SiteKey(int tab, int slot);

// Adds a keyword at the front of the history unless an item equal to it when both are upper-cased
// (letters a to z only) is already there; an existing item keeps its place and letter case.
void AddKeyword(TSearchTab& tab, const std::string& keyword);

// A TAB or ORDER field: a decimal integer with an optional sign and leading zeros, nothing else.
std::optional<int> ParseDecimalField(std::string_view text);

// The one message that tells the user which data files could not be read, why, and that they are left
// as they are in this run.
std::string UnreadableFilesMessage(const std::vector<TUnreadableFile>& files, const std::string& folder);

class TSearchManager {
 public:
  // Reads Settings.dat (when it exists; otherwise the defaults stand; an MLastTab outside 0 to 8 reads
  // as 0), then LoadBuiltIns, LoadSites and LoadTabs. data_folder is the folder of the four files with its
  // trailing separator. Missing files give empty lists and nothing is reported. A file that exists but
  // cannot be read (another program holds it, a folder has its name) is read as missing, listed in
  // UnreadableFiles, and never written by this model: what it holds stays for a later start.
  explicit TSearchManager(std::string data_folder, ProfileOpener open_profile = OpenSettingsProfile);
  // An empty model that reads nothing, for callers that feed it from memory (ReadSites and friends).
  TSearchManager();

  int LastTab = 0;                // index of the tab selected last: 0 to 7, or 8 for the Options tab
  bool Reverse = false;           // submit searches in random order
  TKeyedList<TSearchTab> Tabs;    // key: Code; position n-1 is tab number n
  TKeyedList<TSite> Sites;        // key: SiteKey(Tab, Order), kept in step by whoever changes them
  TKeyedList<TBuiltIn> BuiltIns;  // key: Code

  const std::string& DataFolder() const { return data_folder_; }
  std::string DataFile(const char* name) const { return data_folder_ + name; }

  // Append what the files hold. A malformed line is skipped (and the file kept as a .bak copy at its
  // next save, so that nothing is lost): a SitesDB.dat line with fewer than eight fields, an empty
  // TYPE, or a TAB or ORDER that is not a decimal integer; a TabsDB.dat line with fewer than two
  // fields; a BuiltInDB.dat line with fewer than five fields. After loading the tabs, each of the
  // codes "1" to "8" that is missing gets a tab named "Custom" at its position.
  void LoadBuiltIns();
  void LoadSites();
  void LoadTabs();
  // The same from a file's bytes.
  void ReadBuiltIns(std::string_view bytes);
  void ReadSites(std::string_view bytes);
  void ReadTabs(std::string_view bytes);
  // Gives every code "1" to "8" a tab; part of ReadTabs.
  void SupplyMissingTabs();

  // Write the whole file in one step: a failed write leaves the old file as it was and raises EOSError,
  // its message beginning "<file name> could not be saved: ". A file listed in UnreadableFiles is left
  // alone.
  void SaveSites();
  void SaveTabs();
  // Writes MLastTab and MReverse to Settings.dat, keeping everything else in it; raises EOSError, and
  // leaves the file alone, when it exists but cannot be read.
  void SaveSettings();
  // Writes MLastTab alone (the selected tab changed).
  void SaveLastTab();
  // SaveSites, SaveTabs, SaveSettings, in this order, as at exit. A file that cannot be written does not
  // keep the others from being written: its bytes go to the file's name plus ".unsaved" beside it, and
  // once all three were tried ESaveError is raised, naming each such file, why it failed and where its
  // bytes were kept (or that they could not be kept either). A table that could not be read is not
  // written; when the session changed what it gave at load, the changes go the same way.
  void SaveAll();
  // The bytes SaveSites, SaveTabs and SaveSettings write.
  std::string SitesText() const;
  std::string TabsText() const;
  std::string SettingsText() const;

  const std::vector<TUnreadableFile>& UnreadableFiles() const { return unreadable_; }
  bool IsUnreadable(std::string_view name) const;

  // Tab number n (1 to 8) is position n-1; null when the position does not exist.
  TSearchTab* TabAt(int number) const;
  // The caption of tab n: the Name of the first tab whose Code is n in decimal; "" when none.
  std::string TabCaption(int number) const;
  // The first entry under the key of the tab and slot, or null.
  TSite* SiteAt(int tab, int slot) const;
  // A custom entry's own texts, or those of the first catalogue row with the entry's code; nullopt
  // when no row has that code (the entry is then neither shown nor searched).
  std::optional<TResolvedSite> Resolve(const TSite& site) const;

  // True while a loaded file had malformed lines that only its .bak copy will keep.
  bool SitesHadMalformedLines() const { return sites_malformed_; }
  bool TabsHadMalformedLines() const { return tabs_malformed_; }
  bool BuiltInsHadMalformedLines() const { return builtins_malformed_; }

 private:
  void SaveTable(const char* name, const std::string& bytes, bool& malformed);
  void WriteSettings(bool last_tab_only);
  void WriteSettingsFile(bool last_tab_only);
  // The file's bytes; "" when it is missing, and also when it cannot be read, which is then recorded.
  std::string ReadDataFile(const char* name);
  // The settings file's bytes for an update; raises when it exists but cannot be read.
  std::string SettingsBytesForUpdate() const;

  std::vector<TUnreadableFile> unreadable_;
  // What an unreadable table gave at load, so that the session's changes to it can be told apart.
  std::string sites_at_load_, tabs_at_load_;
  std::string data_folder_;
  ProfileOpener open_profile_;
  bool sites_malformed_ = false;
  bool tabs_malformed_ = false;
  bool builtins_malformed_ = false;
};

}  // namespace sondrel
