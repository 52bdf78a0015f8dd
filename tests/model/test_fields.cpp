// The field-splitting rule of the data files, and the marked form that lets a value hold its separator.
#include <gtest/gtest.h>

#include "model/fields.h"

namespace sondrel {
namespace {

StringList Plain(std::string_view line, char sep = ',') {
  StringList l{"left over"};
  SplitFields(sep, line, l);
  return l;
}
StringList Quoted(std::string_view line, char sep = ',') {
  StringList l{"left over"};
  SplitQuotedFields(sep, line, l);
  return l;
}

TEST(SplitFields, EmptyFieldsAndTheLastField) {
  EXPECT_EQ(Plain(""), StringList{});
  EXPECT_EQ(Plain("a"), (StringList{"a"}));
  EXPECT_EQ(Plain("a,b"), (StringList{"a", "b"}));
  EXPECT_EQ(Plain("a,,b"), (StringList{"a", "", "b"}));  // two separators give an empty field
  EXPECT_EQ(Plain("a,"), (StringList{"a"}));             // no empty last field
  EXPECT_EQ(Plain("a,,"), (StringList{"a", ""}));        // two at the end give one
  EXPECT_EQ(Plain(","), (StringList{""}));
  EXPECT_EQ(Plain(",a"), (StringList{"", "a"}));
  EXPECT_EQ(Plain(" a , b "), (StringList{" a ", " b "}));  // blanks belong to the field
  EXPECT_EQ(Plain("x^y^^z", '^'), (StringList{"x", "y", "", "z"}));
  // No quoting in the plain rule: quotes are text.
  EXPECT_EQ(Plain("\"a,b\",c"), (StringList{"\"a", "b\"", "c"}));
}

TEST(SplitFields, MarkedFormReadsQuotesAndOtherwiseMatchesThePlainRule) {
  for (const char* line : {"", "a", "a,b", "a,,b", "a,", "a,,", ",", ",a", " a , b "})
    EXPECT_EQ(Quoted(line), Plain(line)) << line;
  EXPECT_EQ(Quoted("\"a,b\",c"), (StringList{"a,b", "c"}));
  EXPECT_EQ(Quoted("\"say \"\"hi\"\"\",x"), (StringList{"say \"hi\"", "x"}));
  EXPECT_EQ(Quoted("a,\"\""), (StringList{"a", ""}));  // an explicit empty last value survives
  EXPECT_EQ(Quoted("\"\",\"\""), (StringList{"", ""}));
  // Hand-edited oddities are read, never refused.
  EXPECT_EQ(Quoted("\"open,end"), (StringList{"open,end"}));
  EXPECT_EQ(Quoted("\"ab\"cd,e"), (StringList{"abcd", "e"}));
  EXPECT_EQ(Quoted("a\"b,c"), (StringList{"a\"b", "c"}));  // a quote inside plain text is text
}

TEST(SplitFields, JoinThenSplitGivesTheValuesBack) {
  const std::vector<StringList> cases = {
      {"Paris, France", "x"}, {"\"exact phrase\"", "b"}, {"a\"b", "", "c"}, {",", ",,", "\""}, {"", "z"},
      {"\"\"", "q"}};
  for (const auto& values : cases) {
    StringList back;
    SplitQuotedFields(',', JoinFields(values, ',', true), back);
    EXPECT_EQ(back, values) << JoinFields(values, ',', true);
  }
  // Plain joining writes values as they are.
  EXPECT_EQ(JoinFields({"a", "\"b", ""}, ',', false), "a,\"b,");
  EXPECT_EQ(JoinFields({"a,b", "\"c"}, ',', true), "\"a,b\",\"\"\"c\"");
}

TEST(SplitFields, HeaderMarkerAndBlankLines) {
  EXPECT_TRUE(IsQuotedHeader(std::string("CODE,NAME,LASTKEYWORDS") + std::string(kQuotedMarker)));
  EXPECT_FALSE(IsQuotedHeader("CODE,NAME,LASTKEYWORDS"));
  EXPECT_FALSE(IsQuotedHeader(""));
  EXPECT_TRUE(IsBlankLine(""));
  EXPECT_TRUE(IsBlankLine(" \t\x01 "));
  EXPECT_FALSE(IsBlankLine("  !"));
  EXPECT_FALSE(IsBlankLine("\xA0"));  // a no-break space of the code page is text
}

}  // namespace
}  // namespace sondrel
