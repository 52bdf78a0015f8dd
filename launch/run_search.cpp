#include "launch/run_search.h"

#include "base/cmdline.h"
#include "launch/script.h"

namespace sondrel {
namespace {

void StartScriptedBrowser(const StringList& navigate_lines, bool background_tabs, LaunchPlatform& platform) {
  const std::string folder = platform.ProgramFolder();
  platform.WriteTextFile(folder + kScriptFileName,
                         ScriptFileText(CompleteScript(navigate_lines, background_tabs)));
  platform.ShellOpen("wscript", "\"" + folder + kScriptFileName + "\"");
}

// The browser's runtime splits its command line at blanks; quoted, an address with blanks or quotes (a
// custom entry may hold both) arrives as one argument equal to the address.
void StartBrowser(LaunchPlatform& platform, const std::string& browser, const std::string& address) {
  platform.ShellOpen(browser, QuoteArg(address));
}

void StartBrowserPerAddress(const StringList& addresses, const std::string& browser,
                            LaunchPlatform& platform) {
  // With no browser registered nothing can start, and holding the window for a second per address
  // would only freeze it for nothing.
  if (browser.empty()) return;
  for (const std::string& address : addresses) {
    StartBrowser(platform, browser, address);
    // Browsers started in quick succession tend to lose all but the first address while their first
    // instance is still starting up; one second lets each hand-over settle.
    platform.Wait(kBrowserStartSpacingMs);
  }
}

}  // namespace

void RunSearchWith(SearchForm& form, const SearchModel& model, const std::string& default_browser,
                   LaunchPlatform& platform) {
  const std::string keyword = form.SearchKeyword();
  if (!IsSearchableKeyword(keyword)) {
    form.ShowSearchMessage(kNoKeywordMessage);
    return;
  }
  const bool scripted = IsInternetExplorer(default_browser);
  const bool background_tabs = scripted && IsIE7Version(platform.IEVersion());

  const int tab = form.SearchTabNumber();
  SlotStates ticked{};
  for (int slot = 1; slot <= kSlotsPerTab; ++slot) ticked[slot - 1] = form.SearchSlotTicked(slot);
  StringList lines = BuildAddressList(keyword, tab, ticked, model.resolve);
  if (lines.empty()) {
    form.ShowSearchMessage(kNoSearchEngineMessage);
    form.FocusKeywordBox();
    return;
  }
  if (scripted)
    for (std::string& line : lines) line = NavigateLine(line, background_tabs);

  IndexDraw draw = platform.NewDraw();
  if (form.RandomOrderTicked()) ShuffleLines(lines, draw);

  if (scripted)
    StartScriptedBrowser(lines, background_tabs, platform);
  else
    StartBrowserPerAddress(lines, default_browser, platform);

  model.add_keyword(tab, keyword);
  form.FocusKeywordBox();
}

SearchModel SearchModelOf(TSearchManager& manager) {
  SearchModel model;
  model.resolve = [&manager](int tab, int slot) -> std::optional<AddressParts> {
    const TSite* site = manager.SiteAt(tab, slot);
    if (!site) return std::nullopt;
    std::optional<TResolvedSite> resolved = manager.Resolve(*site);
    if (!resolved) return std::nullopt;
    return AddressParts{std::move(resolved->Leading), std::move(resolved->Post)};
  };
  model.add_keyword = [&manager](int tab, const std::string& keyword) {
    // Only a tab that exists can keep a history; an address can come from another number only through
    // an entry whose TAB field names no tab of the tab file.
    if (TSearchTab* t = manager.TabAt(tab)) AddKeyword(*t, keyword);
  };
  return model;
}

void RunSearch(SearchForm& form, TSearchManager& manager, const std::string& default_browser,
               LaunchPlatform& platform) {
  RunSearchWith(form, SearchModelOf(manager), default_browser, platform);
}

bool OpenInDefaultBrowserWith(const RegistryReader& registry, LaunchPlatform& platform,
                              const std::string& address) {
  const std::string browser = DetectDefaultBrowser(registry);
  if (browser.empty()) return false;
  StartBrowser(platform, browser, address);
  return true;
}

}  // namespace sondrel
