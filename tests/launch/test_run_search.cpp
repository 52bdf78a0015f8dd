// A whole search against test doubles: the script text line by line, the other-browser starts, the
// random order, the refusals and the keyword history.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/cmdline.h"
#include "launch/script.h"
#include "tests/launch/launch_fakes.h"
#include "tests/launch/sample_model.h"

namespace sondrel::test {
namespace {

using ::testing::ElementsAre;

constexpr char kIE[] = "c:\\program files\\internet explorer\\iexplore.exe";
constexpr char kOther[] = "c:\\program files\\browser\\browser.exe";
constexpr char kScriptPath[] = "C:\\Program Files\\Sondrel\\sites.js";

class RunSearchTest : public ::testing::Test {
 protected:
  FakeSearchForm form_;
  FakeLaunchPlatform platform_;
  std::map<std::pair<int, int>, AddressParts> entries_;
  std::vector<std::pair<int, std::string>> history_;

  SearchModel Model() {
    return {[this](int tab, int slot) -> std::optional<AddressParts> {
              auto it = entries_.find({tab, slot});
              if (it == entries_.end()) return std::nullopt;
              return it->second;
            },
            [this](int tab, const std::string& keyword) { history_.emplace_back(tab, keyword); }};
  }
  void Run(const std::string& browser) { RunSearchWith(form_, Model(), browser, platform_); }

  // Three entries on tab 2 in slots 1, 4 and 9, all ticked.
  void ThreeEntries() {
    form_.tab = 2;
    form_.keyword = "x y";
    entries_[{2, 1}] = {"http://a/?q=", ""};
    entries_[{2, 4}] = {"http://b/?q=", "&l=en"};
    entries_[{2, 9}] = {"http://c/", "/"};
    form_.ticked[0] = form_.ticked[3] = form_.ticked[8] = true;
  }
  StringList ScriptLines() {
    const std::string& text = platform_.files.at(kScriptPath);
    EXPECT_TRUE(text.size() >= 2 && text.substr(text.size() - 2) == "\r\n") << "every line ends in CR LF";
    StringList lines = Split(text, '\n');
    EXPECT_EQ(lines.back(), "");
    lines.pop_back();
    for (std::string& line : lines) {
      EXPECT_TRUE(!line.empty() && line.back() == '\r') << line;
      if (!line.empty()) line.pop_back();
    }
    return lines;
  }
};

TEST_F(RunSearchTest, ScriptedBrowserVersion7OneAddress) {
  form_.keyword = "k";
  entries_[{1, 3}] = {"http://one/?q=", ""};
  form_.ticked[2] = true;
  platform_.ie_version = "7.0.5730.13";
  Run(kIE);
  EXPECT_THAT(ScriptLines(), ElementsAre("var oIE = new ActiveXObject(\"InternetExplorer.Application\");",
                                         "var navOpenInBackgroundTab = 0x1000;",  //
                                         "oIE.Navigate2(\"http://one/?q=k\");",   //
                                         "oIE.Visible = true;"));
  EXPECT_THAT(platform_.calls, ElementsAre(std::string("write ") + kScriptPath,
                                           "open wscript \"C:\\Program Files\\Sondrel\\sites.js\""));
  EXPECT_THAT(history_, ElementsAre(std::make_pair(1, std::string("k"))));
  EXPECT_EQ(form_.focus_count, 1);
  EXPECT_TRUE(form_.messages.empty());
}

TEST_F(RunSearchTest, ScriptedBrowserVersion7ThreeAddressesFirstOpensInTheWindow) {
  ThreeEntries();
  platform_.ie_version = "7";
  Run(kIE);
  EXPECT_THAT(ScriptLines(), ElementsAre("var oIE = new ActiveXObject(\"InternetExplorer.Application\");",
                                         "var navOpenInBackgroundTab = 0x1000;",  //
                                         "oIE.Navigate2(\"http://a/?q=x+y\");",
                                         "oIE.Navigate2(\"http://b/?q=x+y&l=en\", navOpenInBackgroundTab);",
                                         "oIE.Navigate2(\"http://c/x+y/\", navOpenInBackgroundTab);",  //
                                         "oIE.Visible = true;"));
}

TEST_F(RunSearchTest, ScriptedBrowserOtherVersionsHaveNoBackgroundTabs) {
  for (const char* version : {"8.0.6001.18702", "6.0", "", "11.0", " 7"}) {
    SCOPED_TRACE(version);
    platform_ = FakeLaunchPlatform();
    ThreeEntries();
    platform_.ie_version = version;
    Run(kIE);
    EXPECT_THAT(ScriptLines(),
                ElementsAre("var oIE = new ActiveXObject(\"InternetExplorer.Application\");",
                            "oIE.Navigate2(\"http://a/?q=x+y\");", "oIE.Navigate2(\"http://b/?q=x+y&l=en\");",
                            "oIE.Navigate2(\"http://c/x+y/\");",  //
                            "oIE.Visible = true;"));
    EXPECT_EQ(platform_.ie_version_reads, 1);
  }
}

TEST_F(RunSearchTest, ShuffledScriptStillOpensItsFirstLineInTheWindow) {
  ThreeEntries();
  platform_.ie_version = "7.0";
  form_.random_order = true;
  // Swaps (0,2), (1,1), (0,1): a b c -> c b a -> c b a -> b c a.
  platform_.draws = {0, 2, 1, 1, 0, 1};
  Run(kIE);
  EXPECT_TRUE(platform_.draws.empty()) << "one pair of draws per line";
  EXPECT_THAT(ScriptLines(), ElementsAre("var oIE = new ActiveXObject(\"InternetExplorer.Application\");",
                                         "var navOpenInBackgroundTab = 0x1000;",  //
                                         "oIE.Navigate2(\"http://b/?q=x+y&l=en\");",
                                         "oIE.Navigate2(\"http://c/x+y/\", navOpenInBackgroundTab);",
                                         "oIE.Navigate2(\"http://a/?q=x+y\", navOpenInBackgroundTab);",  //
                                         "oIE.Visible = true;"));
}

TEST_F(RunSearchTest, ShuffledScriptWithoutBackgroundTabs) {
  ThreeEntries();
  platform_.ie_version = "8";
  form_.random_order = true;
  platform_.draws = {2, 0, 2, 2, 1, 2};  // a b c -> c b a -> c b a -> c a b
  Run(kIE);
  EXPECT_THAT(ScriptLines(),
              ElementsAre("var oIE = new ActiveXObject(\"InternetExplorer.Application\");",
                          "oIE.Navigate2(\"http://c/x+y/\");", "oIE.Navigate2(\"http://a/?q=x+y\");",
                          "oIE.Navigate2(\"http://b/?q=x+y&l=en\");",  //
                          "oIE.Visible = true;"));
}

TEST_F(RunSearchTest, AddressesAreEscapedInTheScript) {
  form_.keyword = "k";
  entries_[{1, 1}] = {"http://q/?a=\"b\"&c=\\d\r\n", ", navOpenInBackgroundTab);"};
  entries_[{1, 2}] = {"http://r/", ""};
  form_.ticked[0] = form_.ticked[1] = true;
  platform_.ie_version = "7";
  Run(kIE);
  // The flag text inside the first address stays; only the flag argument itself goes.
  EXPECT_THAT(
      ScriptLines(),
      ElementsAre("var oIE = new ActiveXObject(\"InternetExplorer.Application\");",
                  "var navOpenInBackgroundTab = 0x1000;",
                  "oIE.Navigate2(\"http://q/?a=\\\"b\\\"&c=\\\\d\\x0d\\x0ak, navOpenInBackgroundTab);\");",
                  "oIE.Navigate2(\"http://r/k\", navOpenInBackgroundTab);",  //
                  "oIE.Visible = true;"));
}

TEST_F(RunSearchTest, OtherBrowserStartsOncePerAddressAsOneArgumentASecondApart) {
  ThreeEntries();
  entries_[{2, 4}] = {"http://b/?q=", "&t=a \"quoted\" tail\\"};
  Run(kOther);
  const std::string b = std::string("http://b/?q=x+y&t=a \"quoted\" tail\\");
  EXPECT_THAT(platform_.calls, ElementsAre(std::string("open ") + kOther + " http://a/?q=x+y", "wait 1000",
                                           std::string("open ") + kOther + " " + QuoteArg(b), "wait 1000",
                                           std::string("open ") + kOther + " http://c/x+y/", "wait 1000"));
  ASSERT_EQ(platform_.opened.size(), 3u);
  EXPECT_EQ(ParseCommandLine(platform_.opened[1].second), StringList{b});
  EXPECT_TRUE(platform_.files.empty()) << "no script for another browser";
  EXPECT_EQ(platform_.ie_version_reads, 0) << "the version is read only for the scripted browser";
  EXPECT_THAT(history_, ElementsAre(std::make_pair(2, std::string("x y"))));
  EXPECT_EQ(form_.focus_count, 1);
}

TEST_F(RunSearchTest, OtherBrowserInRandomOrder) {
  ThreeEntries();
  form_.random_order = true;
  platform_.draws = {0, 1, 2, 2, 2, 0};  // a b c -> b a c -> b a c -> c a b
  Run(kOther);
  ASSERT_EQ(platform_.opened.size(), 3u);
  EXPECT_EQ(platform_.opened[0].second, "http://c/x+y/");
  EXPECT_EQ(platform_.opened[1].second, "http://a/?q=x+y");
  EXPECT_EQ(platform_.opened[2].second, "http://b/?q=x+y&l=en");
}

TEST_F(RunSearchTest, NoRandomDrawsUnlessTicked) {
  ThreeEntries();
  Run(kOther);  // the fake throws on a draw that was not scripted
  EXPECT_EQ(platform_.opened.size(), 3u);
}

TEST_F(RunSearchTest, BlankKeywordIsRefusedAndChangesNothing) {
  ThreeEntries();
  for (const char* keyword : {"", "   ", "\t \r\n"}) {
    form_.keyword = keyword;
    Run(kOther);
  }
  EXPECT_THAT(form_.messages,
              ElementsAre("A valid input search is required!", "A valid input search is required!",
                          "A valid input search is required!"));
  EXPECT_TRUE(platform_.calls.empty());
  EXPECT_TRUE(history_.empty());
  EXPECT_EQ(form_.focus_count, 0) << "the focus is not moved";
}

TEST_F(RunSearchTest, NothingResolvableIsRefusedFocusesTheKeywordAndKeepsTheHistory) {
  form_.keyword = "k";
  form_.ticked[0] = form_.ticked[5] = true;  // ticked, but no entry resolves
  entries_[{1, 2}] = {"http://unticked/", ""};
  for (const char* browser : {kIE, kOther}) {
    Run(browser);
  }
  form_.ticked = {};
  Run(kOther);
  EXPECT_THAT(form_.messages, ElementsAre("You need to select at least one search engine!",
                                          "You need to select at least one search engine!",
                                          "You need to select at least one search engine!"));
  EXPECT_EQ(form_.focus_count, 3);
  EXPECT_TRUE(platform_.calls.empty()) << "no script written, nothing started";
  EXPECT_TRUE(history_.empty());
}

TEST_F(RunSearchTest, UnwritableScriptRaisesStartsNothingAndKeepsTheHistory) {
  ThreeEntries();
  platform_.fail_writes = true;
  EXPECT_THROW(Run(kIE), std::runtime_error);
  EXPECT_TRUE(platform_.calls.empty());
  EXPECT_TRUE(history_.empty());
}

TEST_F(RunSearchTest, NoBrowserRegisteredStartsNothingButKeepsTheKeyword) {
  ThreeEntries();
  Run("");
  EXPECT_TRUE(platform_.calls.empty());
  EXPECT_THAT(history_, ElementsAre(std::make_pair(2, std::string("x y"))));
  EXPECT_EQ(form_.focus_count, 1);
}

TEST(OpenInDefaultBrowser, StartsTheDetectedBrowserWithTheAddressAsOneArgument) {
  FakeRegistry registry;
  FakeLaunchPlatform platform;
  EXPECT_FALSE(OpenInDefaultBrowserWith(registry, platform, "http://x/"));
  EXPECT_TRUE(platform.calls.empty());
  registry.Set(RegistryRoot::ClassesRoot, kHttpOpenCommandKey, "", "\"C:\\B\\B.EXE\" -- \"%1\"");
  EXPECT_TRUE(OpenInDefaultBrowserWith(registry, platform, "http://x/?a b"));
  EXPECT_THAT(platform.calls, ElementsAre("open c:\\b\\b.exe \"http://x/?a b\""));
}

}  // namespace
}  // namespace sondrel::test

namespace sondrel::test {
namespace {

// Whole searches over the search manager read from data-file bytes.
class ModelSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    manager_.ReadBuiltIns(kSampleBuiltIns);
    manager_.ReadSites(kSampleSites);
    manager_.ReadTabs(kSampleTabs);
    form_.tab = 3;
    form_.keyword = "x y";
  }
  void Tick(std::initializer_list<int> slots) {
    for (int n : slots) form_.ticked[static_cast<size_t>(n - 1)] = true;
  }
  const StringList& History(int tab) { return manager_.TabAt(tab)->LastKeywords; }

  TSearchManager manager_;
  FakeSearchForm form_;
  FakeLaunchPlatform platform_;
};

TEST_F(ModelSearchTest, CatalogueAndCustomEntriesResolveUnresolvedOnesAreSkipped) {
  Tick({2, 5, 7, 9});  // 7 left the catalogue; 9 is ticked here though stored unticked
  RunSearch(form_, manager_, "c:\\b\\b.exe", platform_);
  ASSERT_EQ(platform_.opened.size(), 3u);
  EXPECT_EQ(platform_.opened[0].second, "http://127.0.0.1/web1?q=x+y&hl=en") << "first entry of slot 2 only";
  EXPECT_EQ(ParseCommandLine(platform_.opened[1].second),
            StringList{"http://127.0.0.1/my search?k=x+y&t=\"quoted\" end\\"});
  EXPECT_EQ(platform_.opened[2].second, "http://127.0.0.1/img/x+y/large");
  EXPECT_EQ(History(3), (StringList{"x y", "older", "Paris"}));
  EXPECT_TRUE(History(4).empty());
}

TEST_F(ModelSearchTest, HistoryKeepsAnExistingKeywordWhereItIs) {
  Tick({2});
  form_.keyword = "PARIS";
  RunSearch(form_, manager_, "c:\\b\\b.exe", platform_);
  EXPECT_EQ(History(3), (StringList{"older", "Paris"}));
  form_.keyword = "PARIS ";  // not trimmed: another keyword
  RunSearch(form_, manager_, "c:\\b\\b.exe", platform_);
  EXPECT_EQ(History(3), (StringList{"PARIS ", "older", "Paris"}));
}

TEST_F(ModelSearchTest, NothingResolvableLeavesTheHistoryAsItWas) {
  Tick({1, 7, 10});
  RunSearch(form_, manager_, "c:\\program files\\internet explorer\\iexplore.exe", platform_);
  EXPECT_THAT(form_.messages, ElementsAre("You need to select at least one search engine!"));
  EXPECT_TRUE(platform_.calls.empty());
  EXPECT_EQ(History(3), (StringList{"older", "Paris"}));
}

TEST_F(ModelSearchTest, AnEntryOnATabThatDoesNotExistSearchesWithoutAHistory) {
  manager_.ReadSites("H\r\nC,,Nine,http://127.0.0.1/nine?q=,,9,1,1\r\n");
  form_.tab = 9;
  Tick({1});
  RunSearch(form_, manager_, "c:\\b\\b.exe", platform_);
  EXPECT_EQ(platform_.opened.size(), 1u);
  EXPECT_EQ(form_.focus_count, 1);
}

}  // namespace
}  // namespace sondrel::test
