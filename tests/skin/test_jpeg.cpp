#include <gtest/gtest.h>

#include "base/file.h"
#include "skin/jpeg.h"

namespace sondrel {
namespace {

std::string Banner() {
  auto bytes = ReadFileBytes(SONDREL_BANNER_PATH);
  EXPECT_TRUE(bytes.has_value()) << SONDREL_BANNER_PATH;
  return bytes.value_or("");
}

TEST(Jpeg, DecodesTheBanner) {
  auto img = DecodeJpeg(Banner());
  ASSERT_TRUE(img.has_value());
  EXPECT_EQ(img->width, 370);
  EXPECT_EQ(img->height, 60);
  EXPECT_EQ(img->rgb.size(), 370u * 60 * 3);
}

TEST(Jpeg, BadInputGivesNothingWithoutCrashing) {
  const std::string good = Banner();
  EXPECT_FALSE(DecodeJpeg("").has_value());
  EXPECT_FALSE(DecodeJpeg("not a jpeg at all").has_value());
  EXPECT_FALSE(DecodeJpeg(good.substr(0, 100)).has_value());  // cut inside the headers
  std::string corrupt = good;
  for (size_t i = 20; i < corrupt.size(); i += 7) corrupt[i] = static_cast<char>(corrupt[i] ^ 0x5a);
  DecodeJpeg(corrupt);  // may decode garbage or fail; it must return either way
}

}  // namespace
}  // namespace sondrel
