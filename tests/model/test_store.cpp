// The search manager over real files in a data folder: construction, saving, settings and the start-up
// move of the default files.
#include <gtest/gtest.h>

#include "base/file.h"
#include "model/UGeneral.h"
#include "model/data_files.h"
#include "tests/model/temp_folder.h"

namespace sondrel {
namespace {

using test::FreshFolder;

void Put(const std::string& path, const std::string& bytes) {
  WriteFileAtomic(path, bytes);
}
std::string Get(const std::string& path) {
  return ReadFileBytes(path).value_or("<missing>");
}
// The system's profile writer may drop blank lines; everything else it keeps.
std::string WithoutBlankLines(std::string s) {
  for (size_t p; (p = s.find("\r\n\r\n")) != std::string::npos;) s.erase(p, 2);
  return s;
}

const char kSites[] =
    "TYPE,CODE,DESCRIPTION,LEADING,POST,TAB,ORDER,CHECKED\r\nB,a,,,,1,1,1\r\nC,,Own,http://o.test/"
    "?q=,,2,3,0\r\n";
const char kTabs[] =
    "CODE,NAME,LASTKEYWORDS\r\n1,Web,x^y\r\n2,Images,\r\n3,Videos,\r\n4,News,\r\n5,Blogs,\r\n6,Shopping,\r\n"
    "7,Music,\r\n8,Mine,\r\n";
const char kBuiltIns[] = "CODE,DESCRIPTION,LEADING,POST,CATEGORY\r\na,Alpha,http://a.test/?q=,,Web\r\n";

TEST(Store, ConstructionReadsEverythingAndSavesTheSameBytes) {
  const std::string dir = FreshFolder("roundtrip");
  Put(dir + "SitesDB.dat", kSites);
  Put(dir + "TabsDB.dat", kTabs);
  Put(dir + "BuiltInDB.dat", kBuiltIns);
  Put(dir + "Settings.dat", "[Settings]\r\nMLastTab=3\r\nMReverse=1\r\n");
  TSearchManager m(dir);
  EXPECT_EQ(m.LastTab, 3);
  EXPECT_TRUE(m.Reverse);
  EXPECT_EQ(m.BuiltIns.Count(), 1);
  EXPECT_EQ(m.Sites.Count(), 2);
  EXPECT_EQ(m.Tabs.Count(), 8);
  ASSERT_TRUE(m.Resolve(*m.SiteAt(1, 1)));
  m.SaveAll();
  EXPECT_EQ(Get(dir + "SitesDB.dat"), kSites);
  EXPECT_EQ(Get(dir + "TabsDB.dat"), kTabs);
  EXPECT_EQ(Get(dir + "Settings.dat"), "[Settings]\r\nMLastTab=3\r\nMReverse=1\r\n");
  EXPECT_FALSE(FileExists(dir + "Settings.dat.new"));
  EXPECT_FALSE(FileExists(dir + "SitesDB.bak"));
}

TEST(Store, MissingFilesGiveDefaultsAndEmptyLists) {
  const std::string dir = FreshFolder("missing");
  TSearchManager m(dir);
  EXPECT_EQ(m.LastTab, 0);
  EXPECT_FALSE(m.Reverse);
  EXPECT_EQ(m.Sites.Count(), 0);
  EXPECT_EQ(m.BuiltIns.Count(), 0);
  EXPECT_EQ(m.Tabs.Count(), 8);  // every position of the tab strip has a tab
  m.LastTab = 8;
  m.SaveSettings();
  EXPECT_EQ(Get(dir + "Settings.dat"), "[Settings]\r\nMLastTab=8\r\nMReverse=0\r\n");
}

TEST(Store, SettingsValues) {
  struct Case {
    const char* text;
    int last_tab;
    bool reverse;
  };
  const Case cases[] = {
      {"[Settings]\r\nMLastTab=0x3\r\nMReverse=5\r\n", 3, true},
      {"[Settings]\nMLastTab=0X3\nMReverse=0\n", 3, false},
      {"[Settings]\r\nMLastTab=abc\r\nMReverse=yes\r\n", 0, false},
      {"[settings]\r\n mlasttab = 7 \r\nmreverse=-1\r\n", 7, true},
      {"[Other]\r\nMLastTab=4\r\n[Settings]\r\nMReverse=1\r\n", 0, true},
      {"[Settings]\r\nMLastTab=\"2\"\r\n", 2, false},
      {"[Settings]\r\nMLastTab=$5\r\n", 0, false},
      {"[Settings]\r\nMLastTab=8\r\n", 8, false},  // the Options tab
      {"[Settings]\r\nMLastTab=9\r\n", 0, false},  // no such tab
      {"[Settings]\r\nMLastTab=-1\r\n", 0, false},
      {"garbage without sections", 0, false},
      {"", 0, false},
  };
  for (const Case& c : cases) {
    const std::string dir = FreshFolder("settings");
    Put(dir + "Settings.dat", c.text);
    TSearchManager m(dir);
    EXPECT_EQ(m.LastTab, c.last_tab) << c.text;
    EXPECT_EQ(m.Reverse, c.reverse) << c.text;
  }
}

TEST(Store, SavingSettingsKeepsOtherSectionsAndKeys) {
  const std::string dir = FreshFolder("settings-keep");
  Put(dir + "Settings.dat",
      "; note\r\n[Window]\r\nLeft=10\r\n\r\n[Settings]\r\nMReverse=0\r\nOwn=kept\r\n\r\n[Z]\r\na=b\r\n");
  TSearchManager m(dir);
  m.LastTab = 2;
  m.Reverse = true;
  m.SaveSettings();
  EXPECT_EQ(
      WithoutBlankLines(Get(dir + "Settings.dat")),
      "; "
      "note\r\n[Window]\r\nLeft=10\r\n[Settings]\r\nMReverse=1\r\nOwn=kept\r\nMLastTab=2\r\n[Z]\r\na=b\r\n");
  m.LastTab = 5;
  m.Reverse = false;
  m.SaveLastTab();  // the tab alone
  EXPECT_EQ(
      WithoutBlankLines(Get(dir + "Settings.dat")),
      "; "
      "note\r\n[Window]\r\nLeft=10\r\n[Settings]\r\nMReverse=1\r\nOwn=kept\r\nMLastTab=5\r\n[Z]\r\na=b\r\n");
}

TEST(Store, PortableAndPlatformProfilesAgree) {
  // The portable writer's file reads the same through the platform's reader, and the other way round.
  const std::string dir = FreshFolder("profiles");
  TIniProfile portable(dir + "a.ini");
  portable.WriteString("Settings", "MLastTab", "4");
  portable.WriteString("Other", "k", " spaced ");
  portable.WriteString("Settings", "MReverse", "1");
  auto platform = OpenSettingsProfile(dir + "a.ini");
  EXPECT_EQ(platform->ReadString("settings", "mlasttab"), "4");
  EXPECT_EQ(platform->ReadString("Settings", "MReverse"), "1");
  EXPECT_EQ(platform->ReadString("Other", "k"), "spaced");
  EXPECT_EQ(platform->ReadString("Settings", "Missing"), std::nullopt);
  EXPECT_EQ(platform->ReadString("Nowhere", "k"), std::nullopt);

  auto writer = OpenSettingsProfile(dir + "b.ini");
  writer->WriteString("Settings", "MLastTab", "0x3");
  writer->WriteString("Settings", "Empty", "");
  writer.reset();
  TIniProfile reader(dir + "b.ini");
  EXPECT_EQ(ReadProfileInteger(reader, "Settings", "MLastTab", 0), 3);
  EXPECT_EQ(reader.ReadString("Settings", "Empty"), "");
  EXPECT_EQ(reader.ReadString("Settings", "Other"), std::nullopt);
}

TEST(Store, IniRules) {
  EXPECT_EQ(TIniProfile::WriteTo("", "S", "k", "v"), "[S]\r\nk=v\r\n");
  EXPECT_EQ(TIniProfile::WriteTo("[A]\nx=1", "S", "k", "v"), "[A]\r\nx=1\r\n[S]\r\nk=v\r\n");
  EXPECT_EQ(TIniProfile::WriteTo("[s]\r\nK = old \r\n", "S", "k", "new"), "[s]\r\nK=new\r\n");
  EXPECT_EQ(TIniProfile::ReadFrom("[S]\r\nk=1\r\n[S]\r\nj=2\r\n", "S", "j"),
            std::nullopt);  // first section only
  EXPECT_EQ(TIniProfile::ReadFrom("[S]\r\n;k=1\r\nk=\r\n", "S", "k"), "");
  EXPECT_EQ(TIniProfile::ReadFrom("[S]\r\nk='q'\r\n", "S", "k"), "q");
  EXPECT_EQ(ParseProfileInteger("0x10"), 16);
  EXPECT_EQ(ParseProfileInteger("-12"), -12);
  EXPECT_EQ(ParseProfileInteger("12a"), std::nullopt);
  EXPECT_EQ(ParseProfileInteger("-$1"), std::nullopt);
}

TEST(Store, MalformedLinesSurviveInABackupAtTheFirstSave) {
  const std::string dir = FreshFolder("malformed");
  const std::string sites = std::string(kSites) + "B,broken,,,,one,1,1\r\n";
  const std::string tabs = std::string(kTabs) + "lonely\r\n";
  Put(dir + "SitesDB.dat", sites);
  Put(dir + "TabsDB.dat", tabs);
  TSearchManager m(dir);
  EXPECT_EQ(m.Sites.Count(), 2);
  m.SaveSites();
  m.SaveTabs();
  EXPECT_EQ(Get(dir + "SitesDB.dat"), kSites);
  EXPECT_EQ(Get(dir + "TabsDB.dat"), kTabs);
  EXPECT_EQ(Get(dir + "SitesDB.bak"), sites);
  EXPECT_EQ(Get(dir + "TabsDB.bak"), tabs);
  // A later save does not overwrite the copy with the cleaned file.
  m.SaveSites();
  EXPECT_EQ(Get(dir + "SitesDB.bak"), sites);
  // A clean file makes no copy.
  const std::string clean = FreshFolder("clean");
  Put(clean + "SitesDB.dat", kSites);
  TSearchManager c(clean);
  c.SaveSites();
  EXPECT_FALSE(FileExists(clean + "SitesDB.bak"));
}

TEST(Store, AFailedSaveLeavesThePreviousFile) {
  const std::string dir = FreshFolder("failed-save");
  Put(dir + "SitesDB.dat", kSites);
  Put(dir + "Settings.dat", "[Settings]\r\nMLastTab=1\r\n");
  TSearchManager m(dir);
  m.Sites.Clear();
  m.LastTab = 6;
  // Folders where the temporary files go make each write fail before the old file is touched.
  ASSERT_TRUE(ForceDirectories(dir + "SitesDB.dat.tmp"));
  ASSERT_TRUE(ForceDirectories(dir + "Settings.dat.new"));
  EXPECT_ANY_THROW(m.SaveSites());
  EXPECT_ANY_THROW(m.SaveSettings());
  EXPECT_EQ(Get(dir + "SitesDB.dat"), kSites);
  EXPECT_EQ(Get(dir + "Settings.dat"), "[Settings]\r\nMLastTab=1\r\n");
}

TEST(Store, AFileThatCannotBeSavedAtExitIsKeptBesideItAndTheOthersAreStillSaved) {
  const std::string dir = FreshFolder("unsaved");
  Put(dir + "SitesDB.dat", kSites);
  Put(dir + "TabsDB.dat", kTabs);
  Put(dir + "Settings.dat", "[Other]\r\nk=v\r\n[Settings]\r\nMLastTab=1\r\n");
  TSearchManager m(dir);
  m.Sites.Clear();
  m.Tabs.Object(0)->LastKeywords = {"typed"};
  m.LastTab = 4;
  ASSERT_TRUE(ForceDirectories(dir + "SitesDB.dat.tmp"));  // SitesDB.dat cannot be replaced
  const std::string want_sites = m.SitesText();
  try {
    m.SaveAll();
    FAIL() << "no error";
  } catch (const ESaveError& e) {
    const std::string text = e.what();
    EXPECT_EQ(text.rfind("SitesDB.dat could not be saved: ", 0), 0u) << text;
    EXPECT_NE(text.find("kept in " + dir + "SitesDB.dat.unsaved."), std::string::npos) << text;
    EXPECT_EQ(text.find("TabsDB.dat"), std::string::npos) << text;
  }
  EXPECT_EQ(Get(dir + "SitesDB.dat"), kSites);
  EXPECT_EQ(Get(dir + "SitesDB.dat.unsaved"), want_sites);
  EXPECT_NE(Get(dir + "TabsDB.dat").find("1,Web,typed\r\n"), std::string::npos) << "written after the failure";
  EXPECT_NE(Get(dir + "Settings.dat").find("MLastTab=4"), std::string::npos);

  // Two files fail, and the copy of one cannot be kept either: one message for both.
  ASSERT_TRUE(ForceDirectories(dir + "TabsDB.dat.tmp"));
  ASSERT_TRUE(ForceDirectories(dir + "TabsDB.dat.unsaved.tmp"));
  try {
    m.SaveAll();
    FAIL() << "no error";
  } catch (const ESaveError& e) {
    const std::string text = e.what();
    EXPECT_NE(text.find("SitesDB.dat.unsaved."), std::string::npos) << text;
    EXPECT_NE(text.find("TabsDB.dat could not be saved: "), std::string::npos) << text;
    EXPECT_NE(text.find("could not be kept in " + dir + "TabsDB.dat.unsaved either"), std::string::npos) << text;
  }
  // The settings copy keeps the file's other sections.
  EXPECT_EQ(TIniProfile::ReadFrom(m.SettingsText(), "Other", "k"), "v");
  EXPECT_EQ(TIniProfile::ReadFrom(m.SettingsText(), "Settings", "MLastTab"), "4");
}

TEST(Store, AFileThatExistsButCannotBeReadIsListedAndNeverWritten) {
  const std::string dir = FreshFolder("unreadable");
  Put(dir + "TabsDB.dat", kTabs);
  // Folders with the files' names stand for files another program holds open.
  ASSERT_TRUE(ForceDirectories(dir + "SitesDB.dat"));
  ASSERT_TRUE(ForceDirectories(dir + "Settings.dat"));
  ASSERT_TRUE(ForceDirectories(dir + "BuiltInDB.dat"));
  TSearchManager m(dir);
  ASSERT_EQ(m.UnreadableFiles().size(), 3u);
  EXPECT_EQ(m.UnreadableFiles()[0].Name, "Settings.dat");
  EXPECT_EQ(m.UnreadableFiles()[1].Name, "BuiltInDB.dat");
  EXPECT_EQ(m.UnreadableFiles()[2].Name, "SitesDB.dat");
  EXPECT_FALSE(m.UnreadableFiles()[0].Reason.empty());
  EXPECT_TRUE(m.IsUnreadable("sitesdb.dat"));
  EXPECT_FALSE(m.IsUnreadable("TabsDB.dat"));
  EXPECT_EQ(m.LastTab, 0);
  EXPECT_EQ(m.Tabs.Object(0)->LastKeywords, (StringList{"x", "y"}));
  // Nothing is attempted on the unreadable files, so nothing fails; the readable one is written.
  m.Tabs.Object(0)->LastKeywords.clear();
  EXPECT_NO_THROW(m.SaveLastTab());
  EXPECT_NO_THROW(m.SaveAll());
  EXPECT_TRUE(DirectoryExists(dir + "SitesDB.dat"));
  EXPECT_FALSE(FileExists(dir + "Settings.dat.new"));
  EXPECT_NE(Get(dir + "TabsDB.dat").find("1,Web,\r\n"), std::string::npos);

  // The session's changes to a table that could not be read are kept beside it, and said where.
  const std::string tabs_held = FreshFolder("unreadable-tabs");
  Put(tabs_held + "SitesDB.dat", kSites);
  ASSERT_TRUE(ForceDirectories(tabs_held + "TabsDB.dat"));
  TSearchManager t(tabs_held);
  EXPECT_TRUE(t.IsUnreadable("TabsDB.dat"));
  EXPECT_EQ(t.TabCaption(1), "Custom");
  EXPECT_NO_THROW(t.SaveAll()) << "nothing changed: nothing to keep";
  EXPECT_FALSE(FileExists(tabs_held + "TabsDB.dat.unsaved"));
  AddKeyword(*t.TabAt(1), "typed");
  try {
    t.SaveAll();
    FAIL() << "the changes went without a word";
  } catch (const ESaveError& e) {
    const std::string text = e.what();
    EXPECT_EQ(text.rfind("TabsDB.dat could not be read at start", 0), 0u) << text;
    EXPECT_NE(text.find("kept in " + tabs_held + "TabsDB.dat.unsaved."), std::string::npos) << text;
  }
  EXPECT_TRUE(DirectoryExists(tabs_held + "TabsDB.dat"));
  EXPECT_NE(Get(tabs_held + "TabsDB.dat.unsaved").find("1,Custom,typed\r\n"), std::string::npos);
  EXPECT_EQ(Get(tabs_held + "SitesDB.dat"), t.SitesText()) << "the readable table is still written";

  const std::string one = UnreadableFilesMessage({{"SitesDB.dat", "in use"}}, dir);
  EXPECT_EQ(one.rfind("A data file could not be read:\r\nSitesDB.dat: in use\r\n\r\nFolder: " + dir, 0), 0u)
      << one;
  EXPECT_NE(UnreadableFilesMessage(m.UnreadableFiles(), dir).find("Some data files"), std::string::npos);
}

TEST(Store, SettingsThatBecameUnreadableAreNotReplaced) {
  const std::string dir = FreshFolder("settings-unreadable");
  TSearchManager m(dir);  // read as missing at start
  ASSERT_TRUE(ForceDirectories(dir + "Settings.dat"));
  EXPECT_THROW(m.SaveSettings(), EOSError);
  EXPECT_TRUE(DirectoryExists(dir + "Settings.dat"));
}

TEST(DataFiles, FolderNames) {
  EXPECT_EQ(DataFolderUnder("C:\\Users\\u\\AppData\\Roaming"),
            "C:\\Users\\u\\AppData\\Roaming\\Korvanta\\Windlesk\\");
  EXPECT_EQ(DataFolderUnder("C:\\Data\\"), "C:\\Data\\Korvanta\\Windlesk\\");  // no second backslash
  EXPECT_EQ(ChooseDataFolder("A\\", "B\\", "P\\"), "A\\Korvanta\\Windlesk\\");
  EXPECT_EQ(ChooseDataFolder("", "B", "P\\"), "B\\Korvanta\\Windlesk\\");
  EXPECT_EQ(ChooseDataFolder("", "", "C:\\Prog\\"), "C:\\Prog\\Korvanta\\Windlesk\\");
}

TEST(DataFiles, FirstStartMovesDefaultsAndLaterStartsDeleteNewerOnesUnread) {
  const std::string prog = FreshFolder("prog");
  const std::string data = FreshFolder("data");
  Put(prog + "SitesDB.dat", kSites);
  Put(prog + "TabsDB.dat", kTabs);
  Put(prog + "BuiltInDB.dat", kBuiltIns);  // no Settings.dat beside the program: nothing happens for it
  MoveDefaultFiles(prog, data);
  EXPECT_EQ(Get(data + "SitesDB.dat"), kSites);
  EXPECT_EQ(Get(data + "TabsDB.dat"), kTabs);
  EXPECT_EQ(Get(data + "BuiltInDB.dat"), kBuiltIns);
  EXPECT_FALSE(FileExists(data + "Settings.dat"));
  for (const char* f : kDataFileNames) EXPECT_FALSE(FileExists(prog + f)) << f;

  Put(prog + "SitesDB.dat", "newer defaults");
  MoveDefaultFiles(prog, data);
  EXPECT_FALSE(FileExists(prog + "SitesDB.dat"));
  EXPECT_EQ(Get(data + "SitesDB.dat"), kSites);
}

TEST(DataFiles, ADefaultThatCannotBeCopiedIsKept) {
  const std::string prog = FreshFolder("prog-keep");
  Put(prog + "SitesDB.dat", kSites);
  // The data folder does not exist (it could not be created): the copy fails, the default must stay.
  MoveDefaultFiles(prog, prog + "no-such-folder" + test::Separator());
  EXPECT_EQ(Get(prog + "SitesDB.dat"), kSites);
  // The same folder for both never deletes the only copy.
  MoveDefaultFiles(prog, prog);
  EXPECT_EQ(Get(prog + "SitesDB.dat"), kSites);
}

}  // namespace
}  // namespace sondrel
