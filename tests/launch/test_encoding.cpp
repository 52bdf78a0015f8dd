// The keyword's encoding and the address list built from ticked slots.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "launch/address_list.h"
#include "launch/url_encode.h"

namespace sondrel {
namespace {

TEST(UrlEncode, KnownCases) {
  EXPECT_EQ(UrlEncode("a b"), "a+b");
  EXPECT_EQ(UrlEncode("+"), "%2b");
  EXPECT_EQ(UrlEncode("50%"), "50%25");
  EXPECT_EQ(UrlEncode("~"), "%7e");
  EXPECT_EQ(UrlEncode("/"), "%2f");
  EXPECT_EQ(UrlEncode("\xe9"), "%e9");  // e acute in the user's code page, not its UTF-8 bytes
  EXPECT_EQ(UrlEncode("  x"), "++x");
  EXPECT_EQ(UrlEncode("(a)"), "%28a%29");
  EXPECT_EQ(UrlEncode("x*y-z.w@v_u"), "x*y-z.w@v_u");
  EXPECT_EQ(UrlEncode(""), "");
}

TEST(UrlEncode, StopsAtTheFirstZeroByte) {
  EXPECT_EQ(UrlEncode(std::string("ab\0cd", 5)), "ab");
  EXPECT_EQ(UrlEncode(std::string("\0x", 2)), "");
}

TEST(UrlEncode, EveryByteAgainstAnIndependentTable) {
  const std::string kept = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789*-.@_";
  ASSERT_EQ(kept.size(), 67u);
  std::string all;
  std::string expected_all;
  for (int b = 1; b < 256; ++b) {
    const char c = static_cast<char>(b);
    std::string expected;
    if (kept.find(c) != std::string::npos) {
      expected = std::string(1, c);
    } else if (b == ' ') {
      expected = "+";
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "%%%.2x", b);
      expected = buf;
    }
    EXPECT_EQ(UrlEncode(std::string(1, c)), expected) << "byte " << b;
    all += c;
    expected_all += expected;
  }
  // The whole range at once: nothing depends on neighbouring bytes, and the size bound holds.
  EXPECT_EQ(UrlEncode(all), expected_all);
  EXPECT_LE(UrlEncode(all).size(), all.size() * 3);
  EXPECT_EQ(UrlEncode(std::string(1, '\0')), "");
}

TEST(KeywordCheck, BlankKeywordsAreRefusedOthersKeptAsTyped) {
  EXPECT_FALSE(IsSearchableKeyword(""));
  EXPECT_FALSE(IsSearchableKeyword("   "));
  EXPECT_FALSE(IsSearchableKeyword(" \t\r\n\x01 "));
  EXPECT_TRUE(IsSearchableKeyword("  x"));
  EXPECT_TRUE(IsSearchableKeyword("\xe9"));  // bytes from 128 up are not blanks
  EXPECT_TRUE(IsSearchableKeyword("\x7f"));
}

class AddressListTest : public ::testing::Test {
 protected:
  // tab -> slot -> parts; a missing slot is an empty or unresolvable one.
  std::map<std::pair<int, int>, AddressParts> entries_;
  std::vector<std::pair<int, int>> asked_;
  EntryResolver resolver() {
    return [this](int tab, int slot) -> std::optional<AddressParts> {
      asked_.emplace_back(tab, slot);
      auto it = entries_.find({tab, slot});
      if (it == entries_.end()) return std::nullopt;
      return it->second;
    };
  }
  static SlotStates Ticked(std::initializer_list<int> slots) {
    SlotStates s{};
    for (int n : slots) s[n - 1] = true;
    return s;
  }
};

TEST_F(AddressListTest, SlotOrderEncodedKeywordAndPartsAsStored) {
  entries_[{3, 7}] = {"http://seven/?q=", "&x=a b"};
  entries_[{3, 2}] = {"http://two/s%20/", ""};
  entries_[{3, 4}] = {"http://four/?q=", ""};  // not ticked
  entries_[{2, 1}] = {"http://other-tab/?q=", ""};
  StringList list = BuildAddressList("c++ & 50%", 3, Ticked({7, 2, 1}), resolver());
  EXPECT_EQ(list,
            (StringList{"http://two/s%20/c%2b%2b+%26+50%25", "http://seven/?q=c%2b%2b+%26+50%25&x=a b"}));
  // Only ticked slots are looked up, on the current tab, from 1 up.
  EXPECT_EQ(asked_, (std::vector<std::pair<int, int>>{{3, 1}, {3, 2}, {3, 7}}));
}

TEST_F(AddressListTest, EmptyWhenNothingTickedOrNothingResolves) {
  entries_[{1, 5}] = {"a", "b"};
  EXPECT_TRUE(BuildAddressList("k", 1, SlotStates{}, resolver()).empty());
  EXPECT_TRUE(BuildAddressList("k", 1, Ticked({1, 2, 10}), resolver()).empty());
  EXPECT_EQ(BuildAddressList("k", 1, Ticked({1, 5, 10}), resolver()), StringList{"akb"});
}

TEST_F(AddressListTest, UntrimmedKeywordReachesEveryAddress) {
  entries_[{8, 1}] = {"L", "P"};
  entries_[{8, 10}] = {"M", ""};
  EXPECT_EQ(BuildAddressList("  x ", 8, Ticked({1, 10}), resolver()), (StringList{"L++x+P", "M++x+"}));
}

}  // namespace
}  // namespace sondrel
