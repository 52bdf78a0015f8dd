#pragma once
// A whole search: the keyword check, the address list, the optional random order, the hand-over to the
// browser and the keyword history. It reads the window through SearchForm and reaches the system
// through LaunchPlatform, so that it runs the same with the main window or a test double.
#include <functional>
#include <string>
#include <string_view>

#include "launch/address_list.h"
#include "launch/default_browser.h"
#include "launch/shuffle.h"
#include "model/UGeneral.h"

namespace sondrel {

// What a search needs from the main window.
class SearchForm {
 public:
  virtual ~SearchForm() = default;
  // The keyword box's text exactly as typed.
  virtual std::string SearchKeyword() const = 0;
  // The selected tab's position plus 1.
  virtual int SearchTabNumber() const = 0;
  // Check box `slot` (1..10) of the current tab is ticked.
  virtual bool SearchSlotTicked(int slot) const = 0;
  // The random-order check box is ticked.
  virtual bool RandomOrderTicked() const = 0;
  // An information message with an OK button.
  virtual void ShowSearchMessage(const std::string& text) = 0;
  virtual void FocusKeywordBox() = 0;
};

// What a search needs from the system.
class LaunchPlatform {
 public:
  virtual ~LaunchPlatform() = default;
  // The "Version" value of the scripted browser, read afresh; empty when missing.
  virtual std::string IEVersion() = 0;
  // The folder that holds the program file, ending in a backslash.
  virtual std::string ProgramFolder() = 0;
  // Replaces the file with the text; raises when it cannot be written.
  virtual void WriteTextFile(const std::string& path, std::string_view text) = 0;
  // Starts a program or document through the shell with the verb "open"; the outcome is not examined.
  virtual void ShellOpen(const std::string& file, const std::string& parameters) = 0;
  virtual void Wait(unsigned milliseconds) = 0;
  // A fresh index draw, seeded from the clock.
  virtual IndexDraw NewDraw() = 0;
};

// The model side of a search: how a slot resolves and where the keyword goes afterwards.
struct SearchModel {
  EntryResolver resolve;
  std::function<void(int tab, const std::string& keyword)> add_keyword;
};

inline constexpr unsigned kBrowserStartSpacingMs = 1000;

// Runs one search with the default browser detected at start (`default_browser`, lower case, empty
// when none). Refuses a blank keyword, or a list with no resolvable ticked entry, with a message and
// changes nothing then. Otherwise hands the addresses to the browser (the generated script run by the
// script host when the browser is the scripted one, else one start per address 1000 ms apart, each
// address as one quoted argument), adds the keyword to the tab's history and focuses the keyword box.
// A script file that cannot be written raises; nothing is started and the history stays as it was.
void RunSearchWith(SearchForm& form, const SearchModel& model, const std::string& default_browser,
                   LaunchPlatform& platform);

// The search manager as a search sees it: the first entry under the tab and slot's key, resolved as a
// custom entry's own halves or its catalogue row's; the history of tab number n (position n-1).
SearchModel SearchModelOf(TSearchManager& manager);

// The main window's search: RunSearchWith over the search manager.
void RunSearch(SearchForm& form, TSearchManager& manager, const std::string& default_browser,
               LaunchPlatform& platform);

// Opens one address with the default browser detected afresh; false, with nothing started, when no
// browser is registered. The address reaches the browser as one argument.
bool OpenInDefaultBrowserWith(const RegistryReader& registry, LaunchPlatform& platform,
                              const std::string& address);

}  // namespace sondrel
