#include <gtest/gtest.h>
#include <zlib.h>

#include "base/file.h"
#include "skin/msgbox_layout.h"
#include "skin/skin.h"

namespace sondrel {
namespace {

std::string Deflate(const std::string& in) {
  uLongf n = compressBound(static_cast<uLong>(in.size()));
  std::string out(n, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(in.data()),
            static_cast<uLong>(in.size()), 9);
  out.resize(n);
  return out;
}

TEST(SkinDescription, TheShippedSkinReadsWithoutProblems) {
  auto text = ReadFileBytes(SONDREL_SKIN_PATH);
  ASSERT_TRUE(text.has_value()) << SONDREL_SKIN_PATH;
  std::vector<std::string> problems;
  TSkin skin = ParseSkin(*text, &problems);
  EXPECT_TRUE(problems.empty()) << problems.front();
  EXPECT_EQ(skin.font_name, "Tahoma");
  EXPECT_EQ(skin.Color(TSkinPart::kAccent), (TSkinColor{0x3A, 0x6B, 0x8C}));
  // Text must stand out from every surface it is drawn on.
  auto luminance = [](TSkinColor c) { return (c.r * 299 + c.g * 587 + c.b * 114) / 1000; };
  for (TSkinPart bg : {TSkinPart::kFace, TSkinPart::kPanel, TSkinPart::kButtonFace, TSkinPart::kEditFace,
                       TSkinPart::kTabFace, TSkinPart::kButtonPressed})
    EXPECT_GT(luminance(skin.Color(bg)) - luminance(skin.Color(TSkinPart::kText)), 120) << static_cast<int>(bg);
  EXPECT_GT(luminance(skin.Color(TSkinPart::kSelectionText)) - luminance(skin.Color(TSkinPart::kSelection)), 100);
}

TEST(SkinDescription, EquivalentSpellingsReadAlike) {
  const TSkinColor want{0x12, 0xAB, 0xEF};
  for (const char* text : {"[Colors]\nAccent=12ABEF\n", "[Colors]\nAccent=#12abef\n", "[colors]\r\n  accent = #12AbEf  \r\n",
                           "; comment\n\n[ COLORS ]\nACCENT=12abef", "[Colors]\rAccent=#12ABEF\r"}) {
    std::vector<std::string> problems;
    TSkin skin = ParseSkin(text, &problems);
    EXPECT_EQ(skin.Color(TSkinPart::kAccent), want) << text;
    EXPECT_TRUE(problems.empty()) << text;
  }
}

TEST(SkinDescription, BadValuesKeepTheDefaultAndAreReported) {
  const TSkin def = DefaultSkin();
  std::vector<std::string> problems;
  TSkin skin = ParseSkin(
      "[Colors]\nAccent=#12345\nText=GGHHII\nFace=#1234567\nNoSuchPart=#000000\n"
      "[Font]\nSize=200\nName=\n"
      "[Metrics]\nCornerRadius=-1\nCheckSize=abc\n"
      "[Unknown]\nX=1\n"
      "[Colors\nBorder\n",
      &problems);
  EXPECT_EQ(skin.Color(TSkinPart::kAccent), def.Color(TSkinPart::kAccent));
  EXPECT_EQ(skin.Color(TSkinPart::kText), def.Color(TSkinPart::kText));
  EXPECT_EQ(skin.Color(TSkinPart::kFace), def.Color(TSkinPart::kFace));
  EXPECT_EQ(skin.font_size, def.font_size);
  EXPECT_EQ(skin.font_name, def.font_name);
  EXPECT_EQ(skin.corner_radius, def.corner_radius);
  EXPECT_EQ(skin.check_size, def.check_size);
  EXPECT_EQ(problems.size(), 11u);
  ASSERT_FALSE(problems.empty());
  EXPECT_EQ(problems.front().rfind("line 2:", 0), 0u) << problems.front();
  // A face name the system could not select is refused rather than cut.
  EXPECT_EQ(ParseSkin("[Font]\nName=" + std::string(32, 'x')).font_name, def.font_name);
  EXPECT_EQ(ParseSkin("[Font]\nName=" + std::string(31, 'x')).font_name, std::string(31, 'x'));
}

TEST(SkinDescription, ValuesAtTheEdgesOfTheirRangesAreTaken) {
  TSkin low = ParseSkin("[Font]\nSize=6\n[Metrics]\nCornerRadius=0\nCheckSize=9\n");
  EXPECT_EQ(low.font_size, 6);
  EXPECT_EQ(low.corner_radius, 0);
  EXPECT_EQ(low.check_size, 9);
  TSkin high = ParseSkin("[Font]\nSize=24\n[Metrics]\nCornerRadius=12\nCheckSize=20\n");
  EXPECT_EQ(high.font_size, 24);
  EXPECT_EQ(high.corner_radius, 12);
  EXPECT_EQ(high.check_size, 20);
  // A name outside its section is not taken.
  EXPECT_EQ(ParseSkin("Accent=#000000\n[Font]\nAccent=#000000\n").Color(TSkinPart::kAccent),
            DefaultSkin().Color(TSkinPart::kAccent));
}

TEST(SkinDescription, StoredFormRoundTripsAndCorruptStoreFallsBackToDefaults) {
  const std::string text = "[Colors]\nFace=#010203\n[Font]\nName=Verdana\nSize=9\n";
  TSkin stored = LoadStoredSkin(Deflate(text));
  EXPECT_EQ(stored.Color(TSkinPart::kFace), (TSkinColor{1, 2, 3}));
  EXPECT_EQ(stored.font_name, "Verdana");
  EXPECT_EQ(stored.font_size, 9);

  const std::string packed = Deflate(text);
  for (const std::string& bad : {std::string(), text, packed.substr(0, packed.size() - 3)}) {
    std::vector<std::string> problems;
    TSkin skin = LoadStoredSkin(bad, &problems);
    EXPECT_EQ(skin.Color(TSkinPart::kFace), DefaultSkin().Color(TSkinPart::kFace));
    EXPECT_EQ(problems.size(), 1u);
  }
}

TEST(MessageBoxLayout, PartsDoNotOverlapAndStayInside) {
  for (int buttons : {1, 2}) {
    for (auto [w, h] : {std::pair{0, 0}, std::pair{40, 13}, std::pair{380, 13}, std::pair{380, 200}, std::pair{900, 52}}) {
      TMessageBoxLayout l = LayoutMessageBox(w, h, buttons);
      ASSERT_EQ(static_cast<int>(l.buttons.size()), buttons);
      EXPECT_LE(l.text.right(), l.client_width - 14);
      EXPECT_GE(l.text.left, l.icon.right());
      EXPECT_LE(l.text.width, 380);  // wider text was wrapped by the caller; the box never grows past it
      for (const TBoxRect& b : l.buttons) {
        EXPECT_GE(b.top, std::max(l.text.bottom(), l.icon.bottom()));
        EXPECT_GE(b.left, 0);
        EXPECT_LE(b.right(), l.client_width);
        EXPECT_LT(b.bottom(), l.client_height);
      }
      if (buttons == 2) {
        EXPECT_LT(l.buttons[0].right(), l.buttons[1].left);
      }
      // Centred: the space left of the first button equals the space right of the last.
      EXPECT_LE(std::abs(l.buttons.front().left - (l.client_width - l.buttons.back().right())), 1);
    }
  }
}

TEST(MessageBoxLayout, ShortTextIsCentredOnTheIconAndTallTextGrowsTheBox) {
  TMessageBoxLayout one = LayoutMessageBox(200, 13, 1);
  EXPECT_LE(std::abs((one.text.top + one.text.height / 2) - (one.icon.top + one.icon.height / 2)), 1);
  TMessageBoxLayout many = LayoutMessageBox(200, 130, 1);
  EXPECT_EQ(many.client_height - one.client_height, 130 - 32);
  EXPECT_EQ(many.icon.top, 14 + (130 - 32) / 2);
}

}  // namespace
}  // namespace sondrel
