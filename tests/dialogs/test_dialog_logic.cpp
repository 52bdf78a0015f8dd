// The customisation dialogs' rules without windows: row texts, the checks and the split at the
// placeholder, the changes one slot gets, the picker's filling rule, the order moves and the renumbering.
#include <gtest/gtest.h>

#include "dialogs/browser_list.h"
#include "dialogs/builtin_list.h"
#include "dialogs/checks.h"
#include "dialogs/customize.h"
#include "dialogs/entry_order.h"
#include "tests/dialogs/sample_catalogue.h"

namespace sondrel {
namespace {

// Tab 2: a ticked custom entry in slot 3, a catalogue entry in 4, a ticked one in 5 whose code the
// catalogue lacks; tab 1 slot 1 holds a catalogue entry.
constexpr char kEntries[] =
    "TYPE,CODE,DESCRIPTION,LEADING,POST,TAB,ORDER,CHECKED\r\n"
    "B,WONE,,,,1,1,1\r\n"
    "C,,Mine,http://m/?k=,&x,2,3,1\r\n"
    "B,IONE,,,,2,4,0\r\n"
    "B,GONE,old,texts,kept,2,5,1\r\n";

class Model : public ::testing::Test {
 protected:
  Model() {
    m.ReadBuiltIns(kCatalogue);
    m.ReadSites(kEntries);
  }
  std::string Line(int i) const { return SplitLines(m.SitesText()).at(static_cast<size_t>(i) + 1); }
  StringList Keys() const {
    StringList keys;
    for (const auto& p : m.Sites) keys.push_back(p.key);
    return keys;
  }
  TSearchManager m;
};

TEST(EntryRows, TrimmedAtOpeningUntrimmedAfterReorderingAndUnassignedRows) {
  EXPECT_EQ(EntryRowText(" Web One", true, true), "Web One");
  EXPECT_EQ(EntryRowText(" Web One\t ", true, false), " Web One\t ");
  EXPECT_EQ(EntryRowText(" custom", false, true), "(Not asigned)");
  EXPECT_EQ(EntryRowText(" custom", false, false), "(Not asigned)");
}

TEST(CustomEntryChecks, FirstFailingCheckAndTextsKeptAsTyped) {
  EXPECT_EQ(CheckCustomEntry("   ", "http://x/?q=stubtext"), kDescriptionRequired) << "blanks only";
  EXPECT_EQ(CheckCustomEntry("\t\r\n", ""), kDescriptionRequired) << "control characters count as blanks";
  EXPECT_EQ(CheckCustomEntry(" Mine ", " \t "), kSearchCommandRequired);
  EXPECT_EQ(CheckCustomEntry("Mine", "http://x/?q=stubtex"), kPlaceholderRequired);
  EXPECT_EQ(std::string(kPlaceholderRequired), "Enter a search command contain the text \"stubtext\"!");
  EXPECT_EQ(CheckCustomEntry(" Mine ", "STUBTEXT"), std::nullopt)
      << "blanks around the description are allowed";
  EXPECT_EQ(CheckTabName("  \t"), kTabTitleRequired);
  EXPECT_EQ(CheckTabName(" News "), std::nullopt);
}

TEST(CustomEntryChecks, SplitAtTheFirstPlaceholderInAnyCase) {
  struct Case {
    const char* command;
    const char* leading;
    const char* post;
  } cases[] = {
      {"STUBTEXT", "", ""},
      {"http://Site/Find?Q=StubText&Lang=EN", "http://Site/Find?Q=", "&Lang=EN"},
      {"http://x/?a=stubtext&b=stubtext", "http://x/?a=", "&b=stubtext"},
      {"  stubtext  ", "  ", "  "},
  };
  for (const Case& c : cases) {
    auto parts = SplitSearchCommand(c.command);
    ASSERT_TRUE(parts) << c.command;
    EXPECT_EQ(parts->leading, c.leading) << c.command;
    EXPECT_EQ(parts->post, c.post) << c.command;
  }
  EXPECT_FALSE(SplitSearchCommand("http://x/?q=stub text"));
}

TEST_F(Model, ClearingOneSlotLeavesTheOtherOrdersAndKeys) {
  EXPECT_FALSE(ClearEntry(m, 2, 6)) << "an empty slot";
  EXPECT_FALSE(ClearEntry(m, 2, 0)) << "no selection";
  EXPECT_EQ(m.Sites.Count(), 4);
  EXPECT_TRUE(ClearEntry(m, 2, 4));
  EXPECT_EQ(Keys(), (StringList{"1-1", "2-3", "2-5"}));
  EXPECT_EQ(m.SiteAt(2, 3)->Order, 3);
  EXPECT_EQ(m.SiteAt(2, 5)->Order, 5);
  EXPECT_EQ(m.SiteAt(2, 4), nullptr);
}

TEST_F(Model, BuiltInOverCustomKeepsTextsAndTickCustomOverBuiltInClearsTheCode) {
  AssignBuiltIn(m, 2, 3, "WTWO");
  EXPECT_EQ(Line(1), "B,WTWO,Mine,http://m/?k=,&x,2,3,1") << "old texts and the tick stay, saved with it";
  AssignCustom(m, 2, 4, {" Own ", "http://o/?q=", "&z"});
  EXPECT_EQ(Line(2), "C,, Own ,http://o/?q=,&z,2,4,0")
      << "the code goes, the tick stays, the description as typed";
  AssignCustom(m, 2, 5, {"Back", "l", "p"});
  EXPECT_EQ(Line(3), "C,,Back,l,p,2,5,1");
  EXPECT_EQ(BuiltInDescription(m, "wtwo"), "Web Two");
  EXPECT_EQ(BuiltInDescription(m, "NONE"), "");
}

TEST_F(Model, NewEntriesAreAppendedUntickedUnderTheSlotsKey) {
  AssignBuiltIn(m, 3, 10, "IONE");
  AssignCustom(m, 3, 1, {"C1", "a", "b"});
  EXPECT_EQ(Keys(), (StringList{"1-1", "2-3", "2-4", "2-5", "3-10", "3-1"}));
  EXPECT_EQ(Line(4), "B,IONE,,,,3,10,0");
  EXPECT_EQ(Line(5), "C,,C1,a,b,3,1,0");
}

TEST_F(Model, PickerListsByExactCategoryInCatalogueOrder) {
  TBuiltInRows all = FillBuiltInRows(m.BuiltIns, "All categories", 0);
  EXPECT_EQ(all.texts, (StringList{"Web One (Web)", "Pics (Images)", "Web Two (Web)", "Odd One (web)"}));
  EXPECT_EQ(all.codes, (StringList{"WONE", "IONE", "WTWO", "ODD"}));
  TBuiltInRows web = FillBuiltInRows(m.BuiltIns, "Web", 1);
  EXPECT_EQ(web.codes, (StringList{"WONE", "WTWO"})) << "a category differing in letter case is not Web";
  EXPECT_TRUE(FillBuiltInRows(m.BuiltIns, "Music", 7).texts.empty());
  EXPECT_EQ(std::string(kBuiltInCategories[0]), "All categories");
  EXPECT_EQ(kBuiltInCategories.size(), 8u);
}

TEST(OrderMoves, EachMoveAndTheMovesThatChangeNothing) {
  StringList rows{"a", "b", "c", "d"}, numbers{"1", "2", "3", "4"};
  EXPECT_EQ(MoveEntry(rows, numbers, TEntryMove::kBottom, 1), 3);
  EXPECT_EQ(rows, (StringList{"a", "c", "d", "b"}));
  EXPECT_EQ(numbers, (StringList{"1", "3", "4", "2"}));
  EXPECT_EQ(MoveEntry(rows, numbers, TEntryMove::kTop, 2), 0);
  EXPECT_EQ(MoveEntry(rows, numbers, TEntryMove::kDown, 0), 1);
  EXPECT_EQ(MoveEntry(rows, numbers, TEntryMove::kUp, 3), 2);
  EXPECT_EQ(rows, (StringList{"a", "d", "b", "c"}));
  EXPECT_EQ(numbers, (StringList{"1", "4", "2", "3"}));
  const StringList before = rows;
  EXPECT_EQ(MoveEntry(rows, numbers, TEntryMove::kUp, 0), 0);
  EXPECT_EQ(MoveEntry(rows, numbers, TEntryMove::kTop, 0), 0);
  EXPECT_EQ(MoveEntry(rows, numbers, TEntryMove::kDown, 3), 3);
  EXPECT_EQ(MoveEntry(rows, numbers, TEntryMove::kBottom, 3), 3);
  EXPECT_EQ(MoveEntry(rows, numbers, TEntryMove::kDown, -1), -1) << "no selected row";
  EXPECT_EQ(rows, before);
}

TEST_F(Model, OrderRowsShowDescriptionsAndUnresolvedAsNotAssigned) {
  StringList rows, numbers;
  FillOrderRows(m, 2, rows, numbers);
  EXPECT_EQ(rows,
            (StringList{"(Not asigned)", "(Not asigned)", "Mine", "Pics", "(Not asigned)", "(Not asigned)",
                        "(Not asigned)", "(Not asigned)", "(Not asigned)", "(Not asigned)"}));
  EXPECT_EQ(numbers, (StringList{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}));
}

TEST(Renumbering, TheWorkedExampleAndAnEmptyRowMovedAboveAnEntry) {
  TSearchManager m;
  m.ReadSites(
      "TYPE,CODE,DESCRIPTION,LEADING,POST,TAB,ORDER,CHECKED\r\n"
      "C,,one,l1,p1,4,1,1\r\n"
      "B,X,,,,5,2,1\r\n"
      "C,,two,l2,p2,4,2,0\r\n"
      "B,Y,,,,4,3,1\r\n");
  ApplyEntryOrder(m, 4, {"3", "1", "2", "4", "5", "6", "7", "8", "9", "10"});
  EXPECT_EQ(SplitLines(m.SitesText()), (StringList{kSitesHeader, "C,,one,l1,p1,4,2,1", "B,X,,,,5,2,1",
                                                   "C,,two,l2,p2,4,3,0", "B,Y,,,,4,1,1"}))
      << "texts and ticks travel with the entries; the list keeps its sequence; tab 5 is untouched";
  EXPECT_EQ(m.Sites.Key(0), "4-2");
  EXPECT_EQ(m.Sites.Key(1), "5-2");
  EXPECT_EQ(m.Sites.Key(3), "4-1");

  // Slot 5 has no entry: moved to the top it pushes the entry of slot 1 down one; the top stays empty.
  ApplyEntryOrder(m, 4, {"5", "1", "2", "3", "4", "6", "7", "8", "9", "10"});
  EXPECT_EQ(m.SiteAt(4, 1), nullptr);
  EXPECT_EQ(m.SiteAt(4, 2)->Description, "");
  EXPECT_EQ(m.SiteAt(4, 2)->Code, "Y");
  EXPECT_EQ(m.SiteAt(4, 3)->Description, "one");
  EXPECT_EQ(m.SiteAt(4, 4)->Description, "two");
}

TEST(Renumbering, AnOrderAboveNinetyOnAnotherTabIsLeftAlone) {
  // A hand-edited file: only the entries the new order moved are taken back down.
  TSearchManager m;
  m.ReadSites(
      "TYPE,CODE,DESCRIPTION,LEADING,POST,TAB,ORDER,CHECKED\r\n"
      "C,,odd,l,p,6,95,0\r\n"
      "C,,one,l,p,1,1,0\r\n");
  ApplyEntryOrder(m, 1, {"2", "1", "3", "4", "5", "6", "7", "8", "9", "10"});
  EXPECT_EQ(m.Sites.Key(0), "6-95");
  EXPECT_EQ(m.Sites[0].Order, 95);
  EXPECT_EQ(m.Sites.Key(1), "1-2");
}

TEST(BrowserLocations, WhichAddressesAreOffered) {
  EXPECT_TRUE(IsListedBrowserLocation("http://s/?q=stubtext"));
  EXPECT_TRUE(IsListedBrowserLocation("http://s/?q=STUBTEXT"));
  EXPECT_TRUE(IsListedBrowserLocation("file:///C:/pages/stubtext.html"));
  EXPECT_TRUE(IsListedBrowserLocation("file:///C:/pages/stubtext.htm"));
  EXPECT_FALSE(IsListedBrowserLocation("file:///C:/stubtext/"));
  EXPECT_FALSE(IsListedBrowserLocation("file:///C:/pages/stubtext.HTML"))
      << "the extension is compared exactly";
  EXPECT_FALSE(IsListedBrowserLocation("http://s/?q=other"));
}

}  // namespace
}  // namespace sondrel
