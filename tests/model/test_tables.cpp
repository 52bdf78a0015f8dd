// Reading and writing the three table files, byte for byte.
#include <gtest/gtest.h>

#include "model/UGeneral.h"

namespace sondrel {
namespace {

TEST(SitesFile, ReadsEveryFieldAndWritesTheSameBytes) {
  const std::string file =
      "TYPE,CODE,DESCRIPTION,LEADING,POST,TAB,ORDER,CHECKED\r\n"
      "B,ggl,,,,1,1,1\r\n"
      "C,,My site,http://x.test/?q=,,1,2,0\r\n"
      "C,,Shop,http://s.test/find/,/all,2,10,1\r\n";
  TSearchManager m;
  m.ReadSites(file);
  ASSERT_EQ(m.Sites.Count(), 3);
  const TSite& c = m.Sites[1];
  EXPECT_EQ(c.SiteType, 'C');
  EXPECT_EQ(c.Code, "");
  EXPECT_EQ(c.Description, "My site");
  EXPECT_EQ(c.Leading, "http://x.test/?q=");
  EXPECT_EQ(c.Post, "");  // empty POST between LEADING and TAB
  EXPECT_EQ(c.Tab, 1);
  EXPECT_EQ(c.Order, 2);
  EXPECT_FALSE(c.Checked);
  EXPECT_TRUE(m.Sites[0].Checked);
  EXPECT_EQ(m.Sites.Key(2), "2-10");
  EXPECT_EQ(m.Sites[2].Post, "/all");
  EXPECT_EQ(m.SitesText(), file);
  EXPECT_FALSE(m.SitesHadMalformedLines());
}

TEST(SitesFile, LineEndsBlankLinesHeaderAndExtraFields) {
  // CR, LF and CR LF all end lines; blank lines and any header are skipped; extra fields are ignored.
  const std::string file =
      "whatever the header says\n"
      "\r\n"
      "B,a,,,,1,1,1,extra,more\r"
      "   \t \n"
      "C,,d,l,p,1,2,0\n"
      "\n";
  TSearchManager m;
  m.ReadSites(file);
  ASSERT_EQ(m.Sites.Count(), 2);
  EXPECT_EQ(m.Sites[0].Code, "a");
  EXPECT_EQ(m.Sites[1].Description, "d");
  EXPECT_EQ(m.SitesText(),
            "TYPE,CODE,DESCRIPTION,LEADING,POST,TAB,ORDER,CHECKED\r\n"
            "B,a,,,,1,1,1\r\n"
            "C,,d,l,p,1,2,0\r\n");
  // A file of one line is only a header.
  TSearchManager h;
  h.ReadSites("B,a,,,,1,1,1\r\n");
  EXPECT_EQ(h.Sites.Count(), 0);
}

TEST(SitesFile, CheckedTypeAndKeysAsRead) {
  TSearchManager m;
  m.ReadSites(
      "h\r\n"
      "B,a,,,,1,1,1 \r\n"    // "1 " is not ticked
      "B,a,,,,1,2, 1\r\n"    // nor " 1"
      "Bxyz,a,,,,1,3,1\r\n"  // only the first letter of TYPE counts
      "x,a,,,,1,4,1\r\n"     // any letter but C is a catalogue entry
      "c,,d,l,,1,5,1\r\n"    // and so is a small c
      "B,a,,,,03,6,1\r\n");
  ASSERT_EQ(m.Sites.Count(), 6);
  EXPECT_FALSE(m.Sites[0].Checked);
  EXPECT_FALSE(m.Sites[1].Checked);
  EXPECT_EQ(m.Sites[2].SiteType, 'B');
  EXPECT_FALSE(m.Sites[3].IsCustom());
  EXPECT_FALSE(m.Sites[4].IsCustom());
  // "03" is tab 3 but its key keeps the text read, so slot 6 of tab 3 does not find it.
  EXPECT_EQ(m.Sites[5].Tab, 3);
  EXPECT_EQ(m.Sites.Key(5), "03-6");
  EXPECT_EQ(m.SiteAt(3, 6), nullptr);
  const std::string out = m.SitesText();
  EXPECT_NE(out.find("\r\nB,a,,,,1,1,0\r\n"), std::string::npos);
  EXPECT_NE(out.find("\r\nB,a,,,,3,6,1\r\n"), std::string::npos);  // written back as plain 3
  EXPECT_NE(out.find("\r\nx,a,,,,1,4,1\r\n"), std::string::npos);
  EXPECT_NE(out.find("\r\nc,,d,l,,1,5,1\r\n"), std::string::npos);
}

TEST(SitesFile, DuplicatesAndUnresolvedEntriesStayAndOnlyTheFirstIsFound) {
  TSearchManager m;
  m.ReadBuiltIns("CODE,DESCRIPTION,LEADING,POST,CATEGORY\r\nggl,Finder,http://f.test/?q=,&x=1,Web\r\n");
  const std::string sites =
      "TYPE,CODE,DESCRIPTION,LEADING,POST,TAB,ORDER,CHECKED\r\n"
      "B,GGL,,,,1,1,1\r\n"
      "C,,Second,http://2.test/,,1,1,1\r\n"
      "B,gone,,,,1,2,1\r\n";
  m.ReadSites(sites);
  ASSERT_EQ(m.Sites.Count(), 3);
  TSite* first = m.SiteAt(1, 1);
  ASSERT_EQ(first, m.Sites.Object(0));
  auto r = m.Resolve(*first);  // codes match without regard to letter case
  ASSERT_TRUE(r);
  EXPECT_EQ(r->Description, "Finder");
  EXPECT_EQ(r->Leading, "http://f.test/?q=");
  EXPECT_EQ(r->Post, "&x=1");
  EXPECT_FALSE(m.Resolve(*m.SiteAt(1, 2)));  // no catalogue row: never shown or searched
  auto custom = m.Resolve(m.Sites[1]);
  ASSERT_TRUE(custom);
  EXPECT_EQ(custom->Description, "Second");
  EXPECT_EQ(m.SitesText(), sites);  // all three are written back unchanged
}

TEST(SitesFile, MalformedLinesAreSkippedAndReported) {
  TSearchManager m;
  m.ReadSites(
      "h\r\n"
      "B,a,,,,1,1\r\n"      // seven fields
      "B,a,,,,1,1,\r\n"     // an empty last field is dropped: seven again
      ",a,,,,1,2,1\r\n"     // empty TYPE
      "B,a,,,,x,3,1\r\n"    // TAB not decimal
      "B,a,,,,1,0x4,1\r\n"  // ORDER not decimal
      "B,a,,,,1, 5,1\r\n"   // nor with a blank
      "B,a,,,,-2,+6,1\r\n"  // signs are decimal
      "B,ok,,,,1,7,1\r\n");
  ASSERT_EQ(m.Sites.Count(), 2);
  EXPECT_EQ(m.Sites[0].Tab, -2);
  EXPECT_EQ(m.Sites[0].Order, 6);
  EXPECT_EQ(m.Sites.Key(0), "-2-+6");
  EXPECT_EQ(m.Sites[1].Code, "ok");
  EXPECT_TRUE(m.SitesHadMalformedLines());
}

TEST(TabsFile, HistoriesNamesAndEmptyHistory) {
  const std::string file =
      "CODE,NAME,LASTKEYWORDS\r\n"
      "1,Web,one\r\n"
      "2,Images,a^b^c\r\n"
      "3,Empty,\r\n"
      "4,Four,\"exact phrase\"^x\r\n"
      "5,Five,\r\n"
      "6,Six,\r\n"
      "7,Seven,\r\n"
      "8,Eight,\r\n";
  TSearchManager m;
  m.ReadTabs(file);
  ASSERT_EQ(m.Tabs.Count(), 8);
  EXPECT_EQ(m.Tabs[0].LastKeywords, StringList{"one"});
  EXPECT_EQ(m.Tabs[1].LastKeywords, (StringList{"a", "b", "c"}));
  EXPECT_TRUE(m.Tabs[2].LastKeywords.empty());
  EXPECT_EQ(m.Tabs[3].LastKeywords, (StringList{"\"exact phrase\"", "x"}));  // quotes are the keyword's own
  EXPECT_EQ(m.TabCaption(2), "Images");
  EXPECT_EQ(m.TabsText(), file);
  EXPECT_FALSE(m.TabsHadMalformedLines());
}

TEST(TabsFile, MissingHistoryFieldAndMissingTabs) {
  TSearchManager m;
  m.ReadTabs("CODE,NAME,LASTKEYWORDS\n2,Two\n4,Four,k\nx\n");  // "x" has one field: malformed
  EXPECT_TRUE(m.TabsHadMalformedLines());
  ASSERT_EQ(m.Tabs.Count(), 8);
  // Every code gets a tab at its own position; those read keep their contents.
  for (int n = 1; n <= 8; ++n) EXPECT_EQ(m.TabAt(n)->Code, std::to_string(n));
  EXPECT_EQ(m.TabCaption(1), "Custom");
  EXPECT_EQ(m.TabCaption(2), "Two");
  EXPECT_TRUE(m.TabAt(2)->LastKeywords.empty());
  EXPECT_EQ(m.TabAt(4)->LastKeywords, StringList{"k"});
  EXPECT_EQ(m.TabCaption(8), "Custom");

  TSearchManager none;
  none.ReadTabs("");
  ASSERT_EQ(none.Tabs.Count(), 8);
  EXPECT_EQ(none.TabsText(),
            "CODE,NAME,LASTKEYWORDS\r\n1,Custom,\r\n2,Custom,\r\n3,Custom,\r\n4,Custom,\r\n5,Custom,\r\n"
            "6,Custom,\r\n7,Custom,\r\n8,Custom,\r\n");

  // Out of order and extra tabs stay as read; a code other than 1 to 8 is kept and written back.
  TSearchManager odd;
  odd.ReadTabs("h\r\n2,B,\r\n1,A,\r\n9,Nine,\r\n");
  ASSERT_EQ(odd.Tabs.Count(), 9);
  EXPECT_EQ(odd.Tabs[0].Code, "2");
  EXPECT_EQ(odd.Tabs[1].Code, "1");
  EXPECT_EQ(odd.Tabs[2].Code, "3");
  EXPECT_EQ(odd.TabCaption(1), "A");
  EXPECT_NE(odd.TabsText().find("\r\n9,Nine,\r\n"), std::string::npos);
}

TEST(BuiltInsFile, RowsFieldsAndShortLines) {
  TSearchManager m;
  m.ReadBuiltIns(
      "CODE,DESCRIPTION,LEADING,POST,CATEGORY\r\n"
      "a,Alpha,http://a.test/?q=,,Web\r\n"
      "b,Beta,http://b.test/s/,/x,Images,ignored\r\n"
      "c,Short,http://c.test/,\r\n"  // four fields: skipped
      "A,Dup,http://dup.test/,,News\r\n");
  ASSERT_EQ(m.BuiltIns.Count(), 3);
  EXPECT_TRUE(m.BuiltInsHadMalformedLines());
  EXPECT_EQ(m.BuiltIns[0].Post, "");
  EXPECT_EQ(m.BuiltIns[0].Category, "Web");
  EXPECT_EQ(m.BuiltIns[1].Post, "/x");
  EXPECT_EQ(m.BuiltIns[1].Category, "Images");
  EXPECT_EQ(m.BuiltIns.Find("A")->Description, "Alpha");  // the first of a code, case ignored
}

TEST(QuotedValues, CommasAndCaretsSurviveASaveAndALoad) {
  TSearchManager m;
  m.ReadTabs("");
  m.TabAt(1)->Name = "Travel, Europe";
  m.TabAt(1)->LastKeywords = {"Paris, France", "up^down", "\"exact phrase\"", "plain"};
  m.TabAt(2)->LastKeywords = {"\"quoted\"", "x"};
  m.TabAt(3)->LastKeywords = {"", "middle", ""};  // empty keywords, also as the last one
  auto site = std::make_unique<TSite>();
  site->SiteType = 'C';
  site->Description = "Shops, all";
  site->Leading = "http://s.test/?a=1,2&q=";
  site->Post = "\"";
  site->Tab = 1;
  site->Order = 1;
  site->Checked = true;
  m.Sites.Add(SiteKey(1, 1), std::move(site));

  const std::string tabs = m.TabsText();
  const std::string sites = m.SitesText();
  EXPECT_EQ(tabs.substr(0, tabs.find("\r\n")), std::string(kTabsHeader) + std::string(kQuotedMarker));
  EXPECT_EQ(sites.substr(0, sites.find("\r\n")), std::string(kSitesHeader) + std::string(kQuotedMarker));
  // Lines without such values look as always.
  EXPECT_NE(tabs.find("\r\n4,Custom,\r\n"), std::string::npos);

  TSearchManager back;
  back.ReadTabs(tabs);
  back.ReadSites(sites);
  EXPECT_EQ(back.TabAt(1)->Name, "Travel, Europe");
  EXPECT_EQ(back.TabAt(1)->LastKeywords, m.TabAt(1)->LastKeywords);
  EXPECT_EQ(back.TabAt(2)->LastKeywords, m.TabAt(2)->LastKeywords);
  EXPECT_EQ(back.TabAt(3)->LastKeywords, m.TabAt(3)->LastKeywords);
  ASSERT_EQ(back.Sites.Count(), 1);
  EXPECT_EQ(back.Sites[0].Description, "Shops, all");
  EXPECT_EQ(back.Sites[0].Leading, "http://s.test/?a=1,2&q=");
  EXPECT_EQ(back.Sites[0].Post, "\"");
  EXPECT_TRUE(back.Sites[0].Checked);
  EXPECT_EQ(back.TabsText(), tabs);
  EXPECT_EQ(back.SitesText(), sites);

  // Once the values are gone, the file is in the plain form again.
  back.TabAt(1)->Name = "Travel";
  back.TabAt(1)->LastKeywords = {"Paris"};
  back.TabAt(3)->LastKeywords = {"", "middle"};
  EXPECT_EQ(back.TabsText().substr(0, back.TabsText().find("\r\n")), kTabsHeader);
  // A plain file with a value that begins with a quote is read as plain text, quotes and all.
  EXPECT_NE(back.TabsText().find("\r\n2,Custom,\"quoted\"^x\r\n"), std::string::npos);
}

TEST(Keywords, AddKeyword) {
  TSearchTab t;
  AddKeyword(t, "Paris");
  EXPECT_EQ(t.LastKeywords, StringList{"Paris"});
  t.LastKeywords = {"x", "PARIS"};
  AddKeyword(t, "Paris");
  EXPECT_EQ(t.LastKeywords, (StringList{"x", "PARIS"}));  // stays where it is, in its own case
  AddKeyword(t, "Paris ");
  EXPECT_EQ(t.LastKeywords, (StringList{"Paris ", "x", "PARIS"}));  // not trimmed
  AddKeyword(t, "\xE9t\xE9");  // only a to z are folded: an accented capital is another keyword
  AddKeyword(t, "\xC9t\xC9");
  EXPECT_EQ(t.LastKeywords.size(), 5u);
  EXPECT_EQ(t.LastKeywords[0], "\xC9t\xC9");
  AddKeyword(t, "\xE9T\xE9");  // the same accented letters with another ASCII case
  EXPECT_EQ(t.LastKeywords.size(), 5u);
}

TEST(Keys, SiteKeyAndDecimalFields) {
  EXPECT_EQ(SiteKey(3, 10), "3-10");
  EXPECT_EQ(SiteKey(1, 1), "1-1");
  EXPECT_EQ(ParseDecimalField("03"), 3);
  EXPECT_EQ(ParseDecimalField("-7"), -7);
  EXPECT_EQ(ParseDecimalField("2147483647"), 2147483647);
  EXPECT_EQ(ParseDecimalField("-2147483648"), -2147483647 - 1);
  EXPECT_FALSE(ParseDecimalField("2147483648"));
  EXPECT_FALSE(ParseDecimalField(""));
  EXPECT_FALSE(ParseDecimalField("-"));
  EXPECT_FALSE(ParseDecimalField("0x3"));
  EXPECT_FALSE(ParseDecimalField("$3"));
  EXPECT_FALSE(ParseDecimalField("3 "));
}

TEST(KeyedList, LookupIsFirstMatchCaseInsensitive) {
  TKeyedList<int> l;
  l.Add("a", std::make_unique<int>(1));
  l.Add("B", std::make_unique<int>(2));
  l.Add("b", std::make_unique<int>(3));
  EXPECT_EQ(l.IndexOf("b"), 1);
  EXPECT_EQ(*l.Find("A"), 1);
  EXPECT_EQ(l.IndexOf("c"), -1);
  l.SetKey(0, "c");
  EXPECT_EQ(l.IndexOf("C"), 0);
  l.Delete(1);
  EXPECT_EQ(*l.Find("b"), 3);
  l.Replace(1, std::make_unique<int>(4));
  EXPECT_EQ(*l.Object(1), 4);
  EXPECT_EQ(l.Count(), 2);
}

}  // namespace
}  // namespace sondrel
