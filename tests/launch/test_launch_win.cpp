// The launch against the real system: registry reads, the real script host evaluating the generated
// script, and whole searches that start a stub browser registered as the default one.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/cmdline.h"
#include "base/file.h"
#include "launch/browser_win.h"
#include "launch/launch_platform_win.h"
#include "launch/registry_win.h"
#include "launch/script.h"
#include "tests/launch/launch_fakes.h"
#include "tests/launch/sample_model.h"
#include "tests/launch/launch_win_support.h"
#include "tests/support/process_win.h"
#include "tests/support/registry_win.h"

namespace sondrel::test {
namespace {

using ::testing::ElementsAre;

constexpr char kTestKey[] = "Software\\SondrelLaunchTest";

TEST(Win32RegistryReader, StringKindsDefaultValueAndMissingOnes) {
  DeleteRegTree(HKEY_CURRENT_USER, kTestKey);
  WriteRegString(HKEY_CURRENT_USER, kTestKey, "", "default text");
  WriteRegString(HKEY_CURRENT_USER, kTestKey, "Plain", "C:\\Program Files\\B\\b.exe");
  WriteRegDword(HKEY_CURRENT_USER, kTestKey, "Number", 7);
  const std::string expandable = "%SONDREL_LAUNCH_TEST%\\b.exe";
  HKEY h = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kTestKey, 0, KEY_SET_VALUE, &h), ERROR_SUCCESS);
  RegSetValueExA(h, "Expand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(expandable.c_str()),
                 static_cast<DWORD>(expandable.size() + 1));
  // Stored without its terminating zero, as some installers do.
  RegSetValueExA(h, "Unterminated", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3);
  RegCloseKey(h);
  SetEnvironmentVariableA("SONDREL_LAUNCH_TEST", "C:\\Expanded");

  Win32RegistryReader reg;
  EXPECT_EQ(reg.ReadString(RegistryRoot::CurrentUser, kTestKey, ""), "default text");
  EXPECT_EQ(reg.ReadString(RegistryRoot::CurrentUser, kTestKey, "plain"), "C:\\Program Files\\B\\b.exe");
  EXPECT_EQ(reg.ReadString(RegistryRoot::CurrentUser, kTestKey, "Expand"), "C:\\Expanded\\b.exe");
  EXPECT_EQ(reg.ReadString(RegistryRoot::CurrentUser, kTestKey, "Unterminated"), "abc");
  EXPECT_EQ(reg.ReadString(RegistryRoot::CurrentUser, kTestKey, "Number"), std::nullopt);
  EXPECT_EQ(reg.ReadString(RegistryRoot::CurrentUser, kTestKey, "Missing"), std::nullopt);
  EXPECT_EQ(reg.ReadString(RegistryRoot::CurrentUser, std::string(kTestKey) + "\\None", ""), std::nullopt);
  DeleteRegTree(HKEY_CURRENT_USER, kTestKey);
}

// The scripted browser's version as the prefix holds it, and the mode it gives.
TEST(Win32Browser, VersionFromTheMachineKey) {
  SavedRegValue saved(HKEY_LOCAL_MACHINE, kInternetExplorerKey, "Version");
  WriteRegString(HKEY_LOCAL_MACHINE, kInternetExplorerKey, "Version", "7.0.5730.13");
  EXPECT_EQ(GetIEVersion(), "7.0.5730.13");
  EXPECT_TRUE(IsIE7());
  WriteRegString(HKEY_LOCAL_MACHINE, kInternetExplorerKey, "Version", "8.0.6001.18702");
  EXPECT_FALSE(IsIE7());
  Win32LaunchPlatform platform;
  EXPECT_EQ(platform.IEVersion(), "8.0.6001.18702");
}

// Writes a script, runs it with the real host and returns what it wrote to `out`, line by line.
StringList RunScript(const std::string& name, const std::string& body) {
  const std::string script = ProgramFolder() + name + ".js";
  const std::string out = ProgramFolder() + name + ".out";
  DeleteFileAt(out);
  const std::string text =
      "var lines = [];\r\n"
      "function codes(s) { var r = []; for (var i = 0; i < s.length; i++) r.push(s.charCodeAt(i)); "
      "return r.join(','); }\r\n" +
      body +
      "var fso = new ActiveXObject(\"Scripting.FileSystemObject\");\r\n"
      "var f = fso.CreateTextFile(" +
      JScriptStringLiteral(out) +
      ", true);\r\n"
      "for (var i = 0; i < lines.length; i++) f.WriteLine(lines[i]);\r\n"
      "f.Close();\r\n";
  WriteFileAtomic(script, text);
  RunScriptHost(script);
  std::optional<std::string> written = ReadFileBytes(out);
  if (!written) ADD_FAILURE() << "the script wrote nothing:\n" << text;
  return SplitLines(written.value_or(""));
}

// The character codes the host should see for ANSI bytes.
std::string ExpectedCodes(const std::string& ansi) {
  std::wstring w(ansi.size(), L'\0');
  if (!ansi.empty())
    w.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                                                     w.data(), static_cast<int>(w.size()))));
  std::string r;
  for (wchar_t c : w) r += (r.empty() ? "" : ",") + std::to_string(static_cast<unsigned>(c));
  return r;
}

TEST(ScriptHost, EscapedLiteralsEvaluateToExactlyTheAddress) {
  const StringList addresses = {
      "http://a/?q=x+y",
      "http://q/?a=\"b\"&c=\\d\\",
      "http://t/?a=1\t2\r\n3\n4\r",
      std::string("nul\0after", 9),
      "\x01\x1f\x7f",
      "caf\xe9 \xa3 end",
      "quote at the end\"",
      "\\",
      "",
      "'single' and \\x41 and \\u0041",
      "</script> \"); WScript.Quit(3); (\"",
  };
  std::string body;
  for (const std::string& a : addresses) body += "lines.push(codes(" + JScriptStringLiteral(a) + "));\r\n";
  StringList got = RunScript("literal_roundtrip", body);
  ASSERT_EQ(got.size(), addresses.size());
  for (size_t i = 0; i < addresses.size(); ++i)
    EXPECT_EQ(got[i], ExpectedCodes(addresses[i])) << "address " << i;
}

// The generated script, with the browser object replaced by one that records its calls, runs under
// the real host: each Navigate2 gets exactly its address, the flag where it belongs, and the window
// is made visible last.
TEST(ScriptHost, GeneratedScriptDrivesTheBrowserObjectAsWritten) {
  FakeSearchForm form;
  FakeLaunchPlatform platform;
  platform.ie_version = "7.0";
  form.keyword = "caf\xe9 & \"tea\"";
  const std::map<int, AddressParts> entries = {{1, {"http://one/?q=", ""}},
                                               {2, {"http://two/\"x\"\\y/?q=", "&z=\r\n"}},
                                               {5, {"http://five/", ", navOpenInBackgroundTab);"}}};
  for (const auto& [slot, parts] : entries) form.ticked[static_cast<size_t>(slot - 1)] = true;
  SearchModel model{[&](int, int slot) -> std::optional<AddressParts> {
                      auto it = entries.find(slot);
                      if (it == entries.end()) return std::nullopt;
                      return it->second;
                    },
                    [](int, const std::string&) {}};
  RunSearchWith(form, model, "c:\\program files\\internet explorer\\iexplore.exe", platform);
  ASSERT_EQ(platform.files.size(), 1u);
  StringList script = SplitLines(platform.files.begin()->second);
  ASSERT_EQ(script.front(), "var oIE = new ActiveXObject(\"InternetExplorer.Application\");");
  script.front() =
      "var oIE = { Navigate2: function (url, flags) { lines.push(codes(url) + (arguments.length > 1 ? ' ' + "
      "flags : '')); } };";
  StringList got =
      RunScript("generated_script", Join(script, "\r\n") + "\r\nlines.push('visible ' + oIE.Visible);\r\n");
  const std::string kw = "caf%e9+%26+%22tea%22";
  EXPECT_THAT(got, ElementsAre(ExpectedCodes("http://one/?q=" + kw),
                               ExpectedCodes("http://two/\"x\"\\y/?q=" + kw + "&z=\r\n") + " 4096",
                               ExpectedCodes("http://five/" + kw + ", navOpenInBackgroundTab);") + " 4096",
                               "visible true"));
}

// Registers the stub browser (under its own name or a copy's) as the default browser of the prefix,
// and puts the prefix's registration back afterwards.
class StubBrowserTest : public ::testing::Test {
 protected:
  StubDefaultBrowser browser_;

  void TearDown() override { DeleteRegTree(HKEY_CLASSES_ROOT, kChosenProgId); }

  static std::string Command(const std::string& exe) {
    return "\"" + ProgramFolder() + exe + "\" -url \"%1\"";
  }
  static constexpr char kChosenProgId[] = "SondrelChosenURL";
};

TEST_F(StubBrowserTest, DetectionFollowsTheClassKeyAndTheRecordedChoice) {
  EXPECT_EQ(GetDefaultBrowser(), LowerCase(ProgramFolder() + "stub_browser.exe"));
  ASSERT_TRUE(CopyFileTo(ProgramFolder() + "stub_browser.exe", ProgramFolder() + "stub_chosen.exe"));
  WriteRegString(HKEY_CLASSES_ROOT, std::string(kChosenProgId) + "\\shell\\open\\command", "",
                 Command("stub_chosen.exe"));
  WriteRegString(HKEY_CURRENT_USER, kUserChoiceKey, "ProgId", kChosenProgId);
  EXPECT_EQ(GetDefaultBrowser(), LowerCase(ProgramFolder() + "stub_chosen.exe"));

  EXPECT_TRUE(OpenInDefaultBrowser("http://127.0.0.1/a b?c=\"d\""));
  std::vector<StubStart> starts = WaitForStubStarts(1, 15000);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(LowerCase(starts[0].program), "stub_chosen.exe");
  EXPECT_EQ(SystemArgs(starts[0].command_line), StringList{"http://127.0.0.1/a b?c=\"d\""});

  WriteRegString(HKEY_CLASSES_ROOT, kHttpOpenCommandKey, "", "");
  DeleteRegTree(HKEY_CLASSES_ROOT, kChosenProgId);
  EXPECT_FALSE(OpenInDefaultBrowser("http://127.0.0.1/")) << "no browser left";
}

// The sample configuration written as data files into a folder of its own and loaded by the manager.
std::unique_ptr<TSearchManager> LoadSampleManager() {
  const std::string folder = ProgramFolder() + "launch_data\\";
  EXPECT_TRUE(ForceDirectories(folder));
  WriteFileAtomic(folder + kBuiltInsFile, kSampleBuiltIns);
  WriteFileAtomic(folder + kSitesFile, kSampleSites);
  WriteFileAtomic(folder + kTabsFile, kSampleTabs);
  return std::make_unique<TSearchManager>(folder);
}

// A whole search with the system's own side: three ticked entries that resolve (and one that does not)
// start the stub three times, a second apart, each with one argument equal to its address; the keyword
// joins the tab's history.
TEST_F(StubBrowserTest, SearchStartsTheBrowserOncePerAddressASecondApart) {
  std::unique_ptr<TSearchManager> manager = LoadSampleManager();
  FakeSearchForm form;
  form.keyword = "two words";
  form.tab = 3;
  for (int slot : {2, 5, 7, 9}) form.ticked[static_cast<size_t>(slot - 1)] = true;
  const DWORD before = GetTickCount();
  RunSearch(form, *manager, GetDefaultBrowser());
  const DWORD took = GetTickCount() - before;
  EXPECT_GE(took, 2900u) << "one second after each of the three starts";

  std::vector<StubStart> starts = WaitForStubStarts(3, 15000);
  ASSERT_EQ(starts.size(), 3u);
  EXPECT_EQ(SystemArgs(starts[0].command_line), StringList{"http://127.0.0.1/web1?q=two+words&hl=en"});
  EXPECT_EQ(SystemArgs(starts[1].command_line),
            StringList{"http://127.0.0.1/my search?k=two+words&t=\"quoted\" end\\"});
  EXPECT_EQ(SystemArgs(starts[2].command_line), StringList{"http://127.0.0.1/img/two+words/large"});
  // The C runtime's parser agrees with the system's.
  for (const StubStart& s : starts) {
    EXPECT_EQ(LowerCase(s.program), "stub_browser.exe");
    StringList runtime = ParseCommandLine(s.command_line);
    ASSERT_FALSE(runtime.empty());
    runtime.erase(runtime.begin());
    EXPECT_EQ(runtime, SystemArgs(s.command_line));
  }
  for (size_t i = 1; i < starts.size(); ++i) {
    const auto gap = starts[i].ms - starts[i - 1].ms;
    EXPECT_GE(gap, 700u) << "start " << i;
    EXPECT_LE(gap, 2500u) << "start " << i;
  }
  EXPECT_EQ(manager->TabAt(3)->LastKeywords, (StringList{"two words", "older", "Paris"}));
  EXPECT_EQ(form.focus_count, 1);
  EXPECT_TRUE(form.messages.empty());
}

TEST_F(StubBrowserTest, SearchUsesTheBrowserOfTheRecordedChoice) {
  ASSERT_TRUE(CopyFileTo(ProgramFolder() + "stub_browser.exe", ProgramFolder() + "stub_chosen.exe"));
  WriteRegString(HKEY_CLASSES_ROOT, std::string(kChosenProgId) + "\\shell\\open\\command", "",
                 Command("stub_chosen.exe"));
  WriteRegString(HKEY_CURRENT_USER, kUserChoiceKey, "ProgId", kChosenProgId);
  std::unique_ptr<TSearchManager> manager = LoadSampleManager();
  FakeSearchForm form;
  form.keyword = "k";
  form.tab = 4;
  form.ticked[0] = true;
  RunSearch(form, *manager, GetDefaultBrowser());
  std::vector<StubStart> starts = WaitForStubStarts(1, 15000);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(LowerCase(starts[0].program), "stub_chosen.exe");
  EXPECT_EQ(SystemArgs(starts[0].command_line), StringList{"http://127.0.0.1/four?q=k"});
  EXPECT_EQ(manager->TabAt(4)->LastKeywords, StringList{"k"});
}

TEST_F(StubBrowserTest, SearchWithNothingResolvableStartsNothing) {
  std::unique_ptr<TSearchManager> manager = LoadSampleManager();
  FakeSearchForm form;
  form.keyword = "k";
  form.tab = 3;
  form.ticked[0] = form.ticked[6] = true;  // an empty slot and an entry that left the catalogue
  RunSearch(form, *manager, GetDefaultBrowser());
  EXPECT_THAT(form.messages, ElementsAre("You need to select at least one search engine!"));
  EXPECT_EQ(manager->TabAt(3)->LastKeywords, (StringList{"older", "Paris"}));
  Sleep(1500);
  EXPECT_TRUE(WaitForStubStarts(1, 0).empty());
}

}  // namespace
}  // namespace sondrel::test

namespace sondrel::test {
namespace {

// The scripted path for real: the search writes sites.js beside the program and starts the script
// host through the shell, which drives the system's browser object to the loopback server.
class ScriptedBrowserTest : public ::testing::Test {
 protected:
  SavedRegValue http_command_{HKEY_CLASSES_ROOT, kHttpOpenCommandKey, ""};
  SavedRegValue user_choice_{HKEY_CURRENT_USER, kUserChoiceKey, "ProgId"};
  SavedRegValue version_{HKEY_LOCAL_MACHINE, kInternetExplorerKey, "Version"};
  LoopbackHttpServer server_;
  NewProcessReaper reaper_{"iexplore.exe"};
  // Ended first: a host still waiting for the browser would hold the test's output open after it.
  NewProcessReaper script_host_{"wscript.exe"};

  void SetUp() override {
    WriteRegString(HKEY_CLASSES_ROOT, kHttpOpenCommandKey, "",
                   "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" %1");
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kUserChoiceKey, 0, KEY_SET_VALUE, &h) == ERROR_SUCCESS) {
      RegDeleteValueA(h, "ProgId");
      RegCloseKey(h);
    }
    DeleteFileAt(ProgramFolder() + kScriptFileName);
  }
};

TEST_F(ScriptedBrowserTest, SearchOpensEveryAddressInTheBrowserWindow) {
  WriteRegString(HKEY_LOCAL_MACHINE, kInternetExplorerKey, "Version", "7.0.5730.13");
  const std::string base = "http://127.0.0.1:" + std::to_string(server_.Port());
  TSearchManager manager;
  manager.ReadBuiltIns("H\r\nONE,One," + base + "/s/one?q=,&n=1,Web\r\n");
  manager.ReadSites("H\r\nB,ONE,,,,1,1,1\r\nC,,Two," + base + "/s/two/,/end,1,3,1\r\nB,NONE,,,,1,4,1\r\n");
  manager.ReadTabs(kSampleTabs);
  FakeSearchForm form;
  form.keyword = "caf\xe9 & co";
  form.tab = 1;
  form.ticked[0] = form.ticked[2] = form.ticked[3] = true;
  const std::string browser = GetDefaultBrowser();
  ASSERT_EQ(browser, "c:\\program files\\internet explorer\\iexplore.exe");
  RunSearch(form, manager, browser);

  StringList script = SplitLines(ReadFileBytes(ProgramFolder() + kScriptFileName).value_or(""));
  EXPECT_EQ(script.size(), 5u) << "beside the program: " << Join(script, "\n");
  EXPECT_EQ(manager.TabAt(1)->LastKeywords, StringList{"caf\xe9 & co"});

  StringList paths = server_.WaitForPaths("/s/", 2, 60000);
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths, (StringList{"/s/one?q=caf%e9+%26+co&n=1", "/s/two/caf%e9+%26+co/end"}));
}

}  // namespace
}  // namespace sondrel::test
