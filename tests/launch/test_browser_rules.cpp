// Default-browser detection, the version rule, the random order and the script literal.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "launch/script.h"
#include "launch/shuffle.h"
#include "tests/launch/launch_fakes.h"

namespace sondrel::test {
namespace {

TEST(BrowserPathFromCommand, RegisteredCommandSpellings) {
  const struct {
    const char* command;
    const char* path;
  } cases[] = {
      {"\"C:\\Program Files\\Browser\\browser.exe\" %1", "c:\\program files\\browser\\browser.exe"},
      {"\"C:\\Program Files\\Browser\\BROWSER.EXE\" -osint -url \"%1\"",
       "c:\\program files\\browser\\browser.exe"},
      {"C:\\PROGRA~1\\INTERN~1\\IEXPLORE.EXE -nohome", "c:\\progra~1\\intern~1\\iexplore.exe"},
      {"c:\\b.exe", "c:\\b.exe"},
      {"c:\\b.exe.exe --x", "c:\\b.exe"},                    // cut at the first ".exe"
      {"\"c:\\\xc9t\xe9\\b.exe\"", "c:\\\xc9t\xe9\\b.exe"},  // only A to Z are lowered
      {"", ""},
      {"rundll32 url.dll,FileProtocolHandler %1", ""},  // names no program file
      {"\"\"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(BrowserPathFromCommand(c.command), c.path) << c.command;
}

TEST(DefaultBrowser, ClassCommandUserChoiceAndFallbacks) {
  FakeRegistry registry;
  EXPECT_EQ(DetectDefaultBrowser(registry), "") << "nothing registered";

  registry.Set(RegistryRoot::ClassesRoot, kHttpOpenCommandKey, "",
               "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" %1");
  EXPECT_EQ(DetectDefaultBrowser(registry), "c:\\program files\\internet explorer\\iexplore.exe");

  // The recorded user choice names another class: its command wins over the stale class key.
  registry.Set(RegistryRoot::CurrentUser, kUserChoiceKey, "ProgId", "OtherURL");
  registry.Set(RegistryRoot::ClassesRoot, "OtherURL\\shell\\open\\command", "",
               "\"C:\\Other\\Other.exe\" -url \"%1\"");
  EXPECT_EQ(DetectDefaultBrowser(registry), "c:\\other\\other.exe");

  // A choice whose class has no usable command falls back to the class key.
  registry.Set(RegistryRoot::ClassesRoot, "OtherURL\\shell\\open\\command", "", "no program here");
  EXPECT_EQ(DetectDefaultBrowser(registry), "c:\\program files\\internet explorer\\iexplore.exe");
  registry.values.erase({RegistryRoot::ClassesRoot, "OtherURL\\shell\\open\\command", ""});
  EXPECT_EQ(DetectDefaultBrowser(registry), "c:\\program files\\internet explorer\\iexplore.exe");
  registry.Set(RegistryRoot::CurrentUser, kUserChoiceKey, "ProgId", "");
  EXPECT_EQ(DetectDefaultBrowser(registry), "c:\\program files\\internet explorer\\iexplore.exe");

  registry.Set(RegistryRoot::ClassesRoot, kHttpOpenCommandKey, "", "");
  EXPECT_EQ(DetectDefaultBrowser(registry), "");
}

TEST(DefaultBrowser, ScriptedBrowserAndVersionRules) {
  EXPECT_TRUE(IsInternetExplorer("c:\\program files\\internet explorer\\iexplore.exe"));
  EXPECT_TRUE(IsInternetExplorer("c:\\iexplorer2\\x.exe"));  // anywhere in the path
  EXPECT_FALSE(IsInternetExplorer("c:\\other\\other.exe"));
  EXPECT_FALSE(IsInternetExplorer(""));

  FakeRegistry registry;
  EXPECT_EQ(ReadIEVersion(registry), "");
  registry.Set(RegistryRoot::LocalMachine, kInternetExplorerKey, "Version", "7.0.5730.13");
  EXPECT_EQ(ReadIEVersion(registry), "7.0.5730.13");
  EXPECT_TRUE(IsIE7Version("7.0.5730.13"));
  EXPECT_TRUE(IsIE7Version("7"));
  EXPECT_FALSE(IsIE7Version("8.0.6001.18702"));
  EXPECT_FALSE(IsIE7Version("6.0.2900"));
  EXPECT_FALSE(IsIE7Version(""));
  EXPECT_FALSE(IsIE7Version(" 7"));
}

TEST(ShuffleLines, OneLineNeverMovesAndEveryOrderOfThreeOccurs) {
  IndexDraw draw = ClockSeededDraw();
  for (int n = 0; n < 50; ++n) {
    StringList one{"only"};
    ShuffleLines(one, draw);
    EXPECT_EQ(one, StringList{"only"});
  }
  std::map<StringList, int> seen;
  for (int n = 0; n < 3000; ++n) {
    StringList lines{"a", "b", "c"};
    ShuffleLines(lines, draw);
    StringList sorted = lines;
    std::sort(sorted.begin(), sorted.end());
    ASSERT_EQ(sorted, (StringList{"a", "b", "c"})) << "a shuffle only reorders";
    ++seen[lines];
  }
  EXPECT_EQ(seen.size(), 6u);
  // Each of the 6 orders has a probability of at least 4/27 under three random swaps, about 444
  // of 3000; a missing swap or a lost draw shows far below that.
  for (const auto& [order, count] : seen) EXPECT_GT(count, 250) << Join(order, "");
}

TEST(ShuffleLines, DrawsTwoIndexesPerLineAndSwapsThem) {
  std::vector<size_t> asked;
  std::deque<size_t> given{3, 0, 2, 2, 1, 3, 0, 0};
  StringList lines{"a", "b", "c", "d"};
  ShuffleLines(lines, [&](size_t count) {
    asked.push_back(count);
    size_t i = given.front();
    given.pop_front();
    return i;
  });
  EXPECT_EQ(asked, std::vector<size_t>(8, 4));
  // (3,0): d b c a; (2,2): same; (1,3): d a c b; (0,0): same.
  EXPECT_EQ(lines, (StringList{"d", "a", "c", "b"}));
  StringList empty;
  ShuffleLines(empty, [](size_t) -> size_t { throw std::logic_error("no draw for an empty list"); });
}

TEST(ShuffleLines, ClockSeededDrawStaysInRange) {
  IndexDraw draw = ClockSeededDraw();
  std::set<size_t> seen;
  for (int n = 0; n < 1000; ++n) {
    size_t i = draw(5);
    ASSERT_LT(i, 5u);
    seen.insert(i);
  }
  EXPECT_EQ(seen.size(), 5u);
  EXPECT_EQ(draw(1), 0u);
}

TEST(JScriptStringLiteral, EscapesWhatWouldEndOrBendTheLiteral) {
  EXPECT_EQ(JScriptStringLiteral(""), "\"\"");
  EXPECT_EQ(JScriptStringLiteral("http://a/?q=x+y"), "\"http://a/?q=x+y\"");
  EXPECT_EQ(JScriptStringLiteral("a\"b"), "\"a\\\"b\"");
  EXPECT_EQ(JScriptStringLiteral("a\\b\\"), "\"a\\\\b\\\\\"");
  EXPECT_EQ(JScriptStringLiteral("\r\n\t"), "\"\\x0d\\x0a\\x09\"");
  EXPECT_EQ(JScriptStringLiteral(std::string("a\0b", 3)), "\"a\\x00b\"");
  EXPECT_EQ(JScriptStringLiteral("\x7f\x1f"), "\"\\x7f\\x1f\"");
  EXPECT_EQ(JScriptStringLiteral("'\xe9\x80\xff"), "\"'\xe9\x80\xff\"");  // code-page bytes as they are
  EXPECT_EQ(JScriptStringLiteral("</script>"), "\"</script>\"");
}

TEST(CompleteScript, EmptyListAndFlagHandling) {
  EXPECT_EQ(CompleteScript({}, true),
            (StringList{"var oIE = new ActiveXObject(\"InternetExplorer.Application\");",
                        "var navOpenInBackgroundTab = 0x1000;", "oIE.Visible = true;"}));
  EXPECT_EQ(NavigateLine("u", true), "oIE.Navigate2(\"u\", navOpenInBackgroundTab);");
  EXPECT_EQ(NavigateLine("u", false), "oIE.Navigate2(\"u\");");
  EXPECT_EQ(ScriptFileText({"a", "", "b"}), "a\r\n\r\nb\r\n");
  EXPECT_EQ(ScriptFileText({}), "");
}

}  // namespace
}  // namespace sondrel::test
