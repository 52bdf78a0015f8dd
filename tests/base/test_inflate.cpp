#include <gtest/gtest.h>
#include <zlib.h>

#include "base/inflate.h"

namespace sondrel {
namespace {

std::string Deflate(const std::string& in, int level = 9) {
  uLongf n = compressBound(static_cast<uLong>(in.size()));
  std::string out(n, '\0');
  EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(in.data()),
                      static_cast<uLong>(in.size()), level),
            Z_OK);
  out.resize(n);
  return out;
}

std::string Sample(size_t n) {
  std::string s;
  for (size_t i = 0; s.size() < n; ++i) s += "line " + std::to_string(i * 7919 % 1000) + "\r\n";
  s.resize(n);
  return s;
}

TEST(Inflate, RoundTripsSmallEmptyAndLargeInput) {
  for (size_t n : {size_t{0}, size_t{1}, size_t{255}, size_t{256}, size_t{257}, size_t{100000}}) {
    const std::string text = Sample(n);
    auto back = InflateZlib(Deflate(text), 1 << 20);
    ASSERT_TRUE(back.has_value()) << n;
    EXPECT_EQ(*back, text) << n;
  }
  // Stored (level 0) blocks read the same.
  EXPECT_EQ(InflateZlib(Deflate("abc", 0), 100).value_or(""), "abc");
}

TEST(Inflate, OutputExactlyAtTheLimitIsAcceptedOneMoreIsNot) {
  const std::string text = Sample(5000);
  EXPECT_TRUE(InflateZlib(Deflate(text), 5000).has_value());
  EXPECT_FALSE(InflateZlib(Deflate(text), 4999).has_value());
  // A highly compressible stream that would expand far past the limit stops at the limit.
  EXPECT_FALSE(InflateZlib(Deflate(std::string(10'000'000, 'a')), 65536).has_value());
}

TEST(Inflate, CorruptOrTruncatedStreamsGiveNothing) {
  const std::string packed = Deflate(Sample(3000));
  EXPECT_FALSE(InflateZlib("", 100).has_value());
  EXPECT_FALSE(InflateZlib("plain text, not zlib", 100).has_value());
  for (size_t cut : {size_t{1}, size_t{2}, packed.size() / 2, packed.size() - 4, packed.size() - 1})
    EXPECT_FALSE(InflateZlib(packed.substr(0, cut), 1 << 20).has_value()) << "cut at " << cut;
  std::string bad_sum = packed;
  bad_sum.back() = static_cast<char>(bad_sum.back() ^ 1);  // the Adler-32 check at the end
  EXPECT_FALSE(InflateZlib(bad_sum, 1 << 20).has_value());
  std::string flipped = packed;
  flipped[packed.size() / 3] = static_cast<char>(flipped[packed.size() / 3] ^ 0x40);
  EXPECT_FALSE(InflateZlib(flipped, 1 << 20).has_value());
}

TEST(Inflate, BytesAfterTheStreamAreIgnored) {
  EXPECT_EQ(InflateZlib(Deflate("hello") + "trailing", 100).value_or(""), "hello");
}

}  // namespace
}  // namespace sondrel
