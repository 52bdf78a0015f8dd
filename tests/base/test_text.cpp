#include <gtest/gtest.h>

#include "base/cmdline.h"
#include "base/exception.h"
#include "base/text.h"

namespace sondrel {
namespace {

TEST(Text, TrimRemovesBlanksAndControlCharacters) {
  EXPECT_EQ(Trim(" \t\r\n\x01 abc d \x1f"), "abc d");
  EXPECT_EQ(Trim(""), "");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(TrimLeft("  x "), "x ");
  EXPECT_EQ(TrimRight("  x "), "  x");
  // Bytes above 0x7F are text in the user's code page, not blanks.
  EXPECT_EQ(Trim("\xe9t\xe9"), "\xe9t\xe9");
}

TEST(Text, CaseFoldingIsAsciiOnly) {
  EXPECT_TRUE(SameText("WGooG", "wgoog"));
  EXPECT_FALSE(SameText("abc", "abcd"));
  EXPECT_FALSE(SameText("\xc9", "\xe9"));
  EXPECT_EQ(LowerCase("AbC\xc9"), "abc\xc9");
  EXPECT_EQ(FindText("Hello StubText here", "stubtext"), 6u);
  EXPECT_EQ(FindText("abc", "abcd"), std::string_view::npos);
  EXPECT_TRUE(StartsText("http", "HTTP://x"));
}

TEST(Text, IntegerParsing) {
  struct Case {
    const char* text;
    std::optional<int32_t> value;
  } cases[] = {{"0", 0},           {"42", 42},         {"-7", -7},       {"+3", 3},
               {"03", 3},          {"0x3", 3},         {"0X1f", 31},     {"$ff", 255},
               {"0xFFFFFFFF", -1}, {"2147483647", 2147483647},           {"-2147483648", INT32_MIN},
               {"2147483648", {}}, {"abc", {}},        {"", {}},         {"1 ", {}},
               {" 1", {}},         {"0x", {}},         {"-", {}},        {"12a", {}}};
  for (const Case& c : cases) EXPECT_EQ(TryStrToInt(c.text), c.value) << '"' << c.text << '"';
  EXPECT_EQ(StrToIntDef("x", 9), 9);
}

TEST(Text, SplittingAndJoining) {
  EXPECT_EQ(Split("a,,b,", ','), (StringList{"a", "", "b", ""}));
  EXPECT_EQ(Split("", ','), (StringList{""}));
  EXPECT_EQ(SplitLines("a\r\nb\nc\rd\r\n"), (StringList{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\n\nb"), (StringList{"a", "", "b"}));
  EXPECT_EQ(SplitLines(""), StringList{});
  EXPECT_EQ(Join({"a", "b", "c"}, ", "), "a, b, c");
  EXPECT_EQ(ReplaceAll("aXbXc", "X", "XX"), "aXXbXXc");
}

TEST(CommandLine, QuotingRoundTrips) {
  const StringList args = {"plain", "two words", "say \"hi\"", "C:\\dir\\", "a\\\\\"b", "", "\\\\server\\share",
                           "trail\\\\", "http://x/?q=a b&c=\"d\""};
  std::string line;
  for (const auto& a : args) line += (line.empty() ? "" : " ") + QuoteArg(a);
  EXPECT_EQ(ParseCommandLine(line), args) << line;
  EXPECT_EQ(QuoteArg("simple"), "simple");
  EXPECT_EQ(QuoteArg("a b"), "\"a b\"");
  EXPECT_EQ(QuoteArg("C:\\x y\\"), "\"C:\\x y\\\\\"");
}

TEST(Exceptions, ClassChainAndNames) {
  SONDREL_EXCEPTION_CLASS(ETestChild, EConvertError);
  ETestChild e("bad");
  EXPECT_STREQ(e.ClassName(), "ETestChild");
  EXPECT_TRUE(e.InheritsFrom("econverterror"));
  EXPECT_TRUE(e.InheritsFrom("Exception"));
  EXPECT_FALSE(e.InheritsFrom("EAbort"));
  EXPECT_EQ(ExceptionClassName(std::make_exception_ptr(e)), "ETestChild");
  EXPECT_EQ(ExceptionMessage(std::make_exception_ptr(e)), "bad");
  EXPECT_EQ(ExceptionClassName(std::make_exception_ptr(std::runtime_error("x"))), "std::runtime_error");
  EXPECT_EQ(ExceptionClassName(std::make_exception_ptr(42)), "int");
  EXPECT_EQ(ExceptionClassName(nullptr), "");
}

}  // namespace
}  // namespace sondrel
