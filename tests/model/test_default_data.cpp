// The default data files shipped beside the program: a usable catalogue, eight tabs, entries that all
// resolve, and files that the program writes back unchanged.
#include <gtest/gtest.h>

#include <set>

#include "base/file.h"
#include "model/UGeneral.h"

namespace sondrel {
namespace {

std::string Shipped(const char* name) {
  auto bytes = ReadFileBytes(std::string(SONDREL_DATA_DIR) + name);
  EXPECT_TRUE(bytes) << name;
  return bytes.value_or("");
}

TEST(DefaultData, CatalogueCoversEveryCategoryWithShortPlainRows) {
  const std::string file = Shipped("BuiltInDB.dat");
  TSearchManager m;
  m.ReadBuiltIns(file);
  EXPECT_FALSE(m.BuiltInsHadMalformedLines());
  EXPECT_GE(m.BuiltIns.Count(), 40);
  std::set<std::string> categories, codes;
  for (const auto& pair : m.BuiltIns) {
    const TBuiltIn& b = *pair.object;
    EXPECT_TRUE(codes.insert(UpperCase(b.Code)).second) << "duplicate code " << b.Code;
    EXPECT_LE(b.Description.size(), 12u) << b.Code;
    EXPECT_FALSE(b.Description.empty()) << b.Code;
    EXPECT_TRUE(StartsText("https://", b.Leading)) << b.Code;
    EXPECT_EQ(b.Leading.find(' '), std::string::npos) << b.Code;
    categories.insert(b.Category);
  }
  EXPECT_EQ(categories,
            (std::set<std::string>{"Web", "Images", "Videos", "News", "Blogs", "Shopping", "Music"}));
  // No value holds a comma: every data line has exactly five fields, and ends with CR LF.
  StringList lines = SplitLines(file);
  for (size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(Split(lines[i], ',').size(), 5u) << lines[i];
  EXPECT_EQ(file.substr(file.size() - 2), "\r\n");
  EXPECT_EQ(file.find("\n"), file.find("\r\n") + 1);
}

TEST(DefaultData, TabsAndEntriesResolveAndSaveUnchanged) {
  const std::string tabs = Shipped("TabsDB.dat");
  const std::string sites = Shipped("SitesDB.dat");
  TSearchManager m;
  m.ReadBuiltIns(Shipped("BuiltInDB.dat"));
  m.ReadTabs(tabs);
  m.ReadSites(sites);
  ASSERT_EQ(m.Tabs.Count(), kTabCount);
  for (int n = 1; n <= kTabCount; ++n) {
    EXPECT_EQ(m.TabAt(n)->Code, std::to_string(n));
    EXPECT_FALSE(m.TabCaption(n).empty());
    int entries = 0, ticked = 0;
    for (int slot = 1; slot <= kSlotCount; ++slot) {
      const TSite* s = m.SiteAt(n, slot);
      if (!s) continue;
      ++entries;
      ticked += s->Checked;
      EXPECT_TRUE(m.Resolve(*s)) << "tab " << n << " slot " << slot << " does not resolve";
    }
    EXPECT_GE(entries, 2) << "tab " << n;
    EXPECT_GE(ticked, 1) << "tab " << n;
  }
  std::set<std::string> keys;
  for (const auto& pair : m.Sites)
    EXPECT_TRUE(keys.insert(pair.key).second) << "slot used twice: " << pair.key;
  EXPECT_FALSE(m.SitesHadMalformedLines());
  EXPECT_FALSE(m.TabsHadMalformedLines());
  EXPECT_EQ(m.TabsText(), tabs);
  EXPECT_EQ(m.SitesText(), sites);
}

TEST(DefaultData, SettingsStartOnTheFirstTabInOrder) {
  const std::string s = Shipped("Settings.dat");
  EXPECT_EQ(TIniProfile::ReadFrom(s, "Settings", "MLastTab"), "0");
  EXPECT_EQ(TIniProfile::ReadFrom(s, "Settings", "MReverse"), "0");
}

}  // namespace
}  // namespace sondrel
