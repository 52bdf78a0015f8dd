#include <gtest/gtest.h>

#include "errorreport/delivery/byte_stream.h"
#include "errorreport/delivery/options_block.h"
#include "errorreport/delivery/options_mapping.h"
#include "tests/errorreport/options_stream_builder.h"

namespace sondrel {
namespace {

using test::StreamBuilder;

constexpr std::array<uint8_t, 8> kReserved = {1, 2, 3, 4, 5, 6, 7, 8};

TReportModuleOptions& Sample() {
  static TReportModuleOptions o("", false);
  static bool filled = false;
  if (!filled) {
    filled = true;
    o.SetRelayHost("mail.example.test");
    o.SetSendMode(TReportSendMode::rsSmtpRelay);
    o.SetLogErrorLimit(5);
    o.AddFilter("EAbort", "");
    o.SetCustomText(mtDialog_Caption, "Oops.");
  }
  return o;
}

void ExpectSameOptions(const TReportModuleOptions& a, const TReportModuleOptions& b) {
  EXPECT_EQ(a.Values(), b.Values());
  EXPECT_EQ(a.Texts(), b.Texts());
  EXPECT_EQ(a.FilterClasses(), b.FilterClasses());
  EXPECT_EQ(a.FilterMessages(), b.FilterMessages());
}

std::string DebugBytes() {
  std::string d;
  for (int i = 0; i < 3000; ++i) d += static_cast<char>(i * 7);
  return d;
}

TEST(OptionsBlock, ResourceFormRoundTrip) {
  const std::string block = BuildResourceBlock(Sample(), DebugBytes(), kReserved);
  EXPECT_TRUE(HasBlockMagic(block));
  EXPECT_EQ(block.substr(0, 6), std::string("\x10\xAB\x0F\x00\xCC\x01", 6));
  TReportModuleOptions o("", false);
  auto read = ReadResourceBlock(block, o);
  ASSERT_TRUE(read);
  EXPECT_TRUE(read->found);
  EXPECT_EQ(read->version, kLibraryVersion);
  EXPECT_EQ(read->reserved, kReserved);
  EXPECT_EQ(read->debug_data, DebugBytes());
  ExpectSameOptions(o, Sample());
}

TEST(OptionsBlock, TrailerFormRoundTripAtTheEndOfAFile) {
  const std::string file = std::string(1000, 'M') + BuildTrailer(Sample(), DebugBytes(), kReserved);
  auto length = TrailerBodyLength(std::string_view(file).substr(file.size() - 8), file.size());
  ASSERT_TRUE(length);
  const std::string_view body = std::string_view(file).substr(file.size() - 8 - *length, *length);
  EXPECT_EQ(body.substr(0, 2), "\xCC\x01") << "the version starts L + 8 bytes before the end";
  TReportModuleOptions o("", false);
  auto read = ReadTrailerBody(body, o);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->reserved, kReserved);
  EXPECT_EQ(read->debug_data, DebugBytes());
  ExpectSameOptions(o, Sample());
}

TEST(OptionsBlock, OlderResourceBlocksAreNotCompressed) {
  // Version 403: no freeze or relay fields, texts of 450 absent.
  StreamBuilder s;
  s.raw(std::string("\x10\xAB\x0F\x00", 4)).u16(403).raw("RESERVED");
  s.b(1).b(1).b(0).b(0).b(0);    // spare, filter, flags, show (inverted: 0 -> shown), in body
  s.b(1).b(2).b(1);              // save log, first tab, painted
  s.b(1).u32(10).u32(3).str("").str("").b(0).u32(0xFFFF).b(0).str("");  // ... send flag, fields, extra, path
  s.u32(0).str("");              // no filters, empty body
  for (int i = 0; i < kCustomTextCount; ++i) {
    const bool since450 = (i >= 8 && i <= 11) || (i >= 14 && i <= 18) || i == 23 || i == 37 || i == 45 ||
                          i == 47 || i == 48 || i >= 53;
    if (!since450) s.str("x");
  }
  s.u32(4).raw("DBUG");
  TReportModuleOptions o("", false);
  auto read = ReadResourceBlock(s.bytes(), o);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->version, 403);
  EXPECT_EQ(read->debug_data, "DBUG");
  EXPECT_TRUE(o.ShowDialog());
  EXPECT_EQ(o.FirstDetailsTab(), 2);
  EXPECT_EQ(o.LogErrorLimit(), 10);
  EXPECT_EQ(o.ReportFields(), 0xFFFFu);
  EXPECT_EQ(o.CustomText(0), "x");
  EXPECT_EQ(o.CustomText(8), "Modules");
}

TEST(OptionsBlock, UnsoundBlocksCountAsNoneAndChangeNothing) {
  const std::string resource = BuildResourceBlock(Sample(), DebugBytes());
  const std::string trailer = BuildTrailer(Sample(), DebugBytes());
  const std::string trailer_body = trailer.substr(0, trailer.size() - 8);
  for (size_t cut = 0; cut < resource.size(); cut += 7) {
    TReportModuleOptions o("", false);
    EXPECT_FALSE(ReadResourceBlock(std::string_view(resource).substr(0, cut), o)) << cut;
    EXPECT_EQ(o.Values(), TReportOptionValues{});
  }
  for (size_t cut = 0; cut < trailer_body.size(); cut += 13) {
    TReportModuleOptions o("", false);
    EXPECT_FALSE(ReadTrailerBody(std::string_view(trailer_body).substr(0, cut), o)) << cut;
    EXPECT_EQ(o.Values(), TReportOptionValues{});
  }
  // Damaged compressed bytes: the reader stops instead of spinning, and takes nothing.
  for (size_t at = 14; at < resource.size(); at += 5) {
    std::string bad = resource;
    bad[at] = static_cast<char>(bad[at] ^ 0x55);
    TReportModuleOptions o("", false);
    auto read = ReadResourceBlock(bad, o);
    if (!read) {
      EXPECT_EQ(o.Values(), TReportOptionValues{});
    }
  }
  // A debug-data length beyond the payload.
  std::string payload = BuildPayload(Sample(), "");
  payload.replace(payload.size() - 4, 4, std::string("\xFF\xFF\xFF\x7F", 4));
  std::string body = std::string("\xCC\x01", 2) + std::string(8, '\0') + payload;
  TReportModuleOptions o("", false);
  EXPECT_FALSE(ReadTrailerBody(body, o));
  EXPECT_EQ(o.Values(), TReportOptionValues{});
  // Wrong magic.
  std::string wrong = resource;
  wrong[0] = 0x11;
  EXPECT_FALSE(ReadResourceBlock(wrong, o));
}

TEST(OptionsBlock, LineDataCanBeLeftForLaterAndADamagedRestLosesOnlyIt) {
  std::string debug(400 * 1024, '\0');
  uint32_t x = 1;
  for (char& c : debug) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);  // does not compress
  const std::string block = BuildResourceBlock(Sample(), debug, kReserved);
  TReportModuleOptions o("", false);
  auto read = ReadResourceBlock(block, o, /*defer_debug_data=*/true);
  ASSERT_TRUE(read);
  ExpectSameOptions(o, Sample());
  EXPECT_EQ(read->reserved, kReserved);
  EXPECT_TRUE(read->debug_data.empty());
  ASSERT_TRUE(read->deferred_debug_data);
  EXPECT_TRUE(read->deferred_debug_data() == debug);
  TReportModuleOptions at_once("", false);
  auto whole = ReadResourceBlock(block, at_once);
  ASSERT_TRUE(whole);
  ExpectSameOptions(at_once, Sample());
  EXPECT_TRUE(whole->debug_data == debug);

  // A byte changed near the end of the stream: read at once, the whole block counts as none; left for
  // later, the options stand and only the line data is lost.
  std::string damaged = block;
  damaged[damaged.size() - 100] = static_cast<char>(damaged[damaged.size() - 100] ^ 0x55);
  TReportModuleOptions eager("", false);
  EXPECT_FALSE(ReadResourceBlock(damaged, eager));
  TReportModuleOptions later("", false);
  auto deferred = ReadResourceBlock(damaged, later, true);
  ASSERT_TRUE(deferred && deferred->deferred_debug_data);
  ExpectSameOptions(later, Sample());
  EXPECT_EQ(deferred->deferred_debug_data(), "");
  // A block whose whole stream is short is read at once either way.
  auto small = ReadResourceBlock(BuildResourceBlock(Sample(), DebugBytes()), o, true);
  ASSERT_TRUE(small);
  EXPECT_FALSE(small->deferred_debug_data);
  EXPECT_EQ(small->debug_data, DebugBytes());
}

TEST(OptionsBlock, TrailerLengthMustFitTheFile) {
  StreamBuilder tail;
  tail.u32(100).u32(kOptionsBlockMagic);
  EXPECT_EQ(TrailerBodyLength(tail.bytes(), 108), 100u);
  EXPECT_FALSE(TrailerBodyLength(tail.bytes(), 107));
  StreamBuilder small;
  small.u32(9).u32(kOptionsBlockMagic);
  EXPECT_FALSE(TrailerBodyLength(small.bytes(), 1000)) << "shorter than version + reserved";
  StreamBuilder other;
  other.u32(100).u32(kOptionsBlockMagic + 1);
  EXPECT_FALSE(TrailerBodyLength(other.bytes(), 1000));
  EXPECT_FALSE(TrailerBodyLength("abc", 1000));
}

TEST(OptionsBlock, InflationRejectsDamageTrailingBytesAndBombs) {
  const std::string data(100000, 'z');
  const std::string packed = DeflatePayload(data);
  EXPECT_EQ(InflatePayload(packed), data);
  EXPECT_FALSE(InflatePayload(packed.substr(0, packed.size() - 1)));
  EXPECT_FALSE(InflatePayload(packed + "x"));
  EXPECT_FALSE(InflatePayload(""));
  EXPECT_EQ(InflatePayload(DeflatePayload("")), "");
  const std::string bomb = DeflatePayload(std::string(kMaxInflatedPayload + 1, '\0'));
  EXPECT_LT(bomb.size(), 200000u);
  EXPECT_FALSE(InflatePayload(bomb));
}

TEST(OptionsBlock, PublishedOptionsReplaceTheBlockOnlyWhenFlagged) {
  TReportModuleOptions o("", false);
  EXPECT_FALSE(ApplyPublishedOptions(std::string(1, '\0'), kLibraryVersion, o));
  EXPECT_FALSE(ApplyPublishedOptions("", kLibraryVersion, o));
  ByteWriter w;
  w.Write<uint8_t>(1);
  Sample().SaveToStream(w);
  EXPECT_TRUE(ApplyPublishedOptions(w.Bytes(), kLibraryVersion, o));
  ExpectSameOptions(o, Sample());

  EXPECT_EQ(OptionsMappingName(0x1A2B, 0x00400000), "00001A2B00400000MODULE");
  const std::string mapping = EncodeOptionsMapping("\x01xyz");
  EXPECT_EQ(mapping.size(), 8u);
  EXPECT_EQ(DecodeOptionsMapping(mapping + std::string(4088, '\0')), "\x01xyz");
  std::string lying = mapping;
  lying[1] = 0x10;  // total size 4104 > what is there
  EXPECT_FALSE(DecodeOptionsMapping(lying));
  EXPECT_FALSE(DecodeOptionsMapping("\x03\0\0\0"));
}

}  // namespace
}  // namespace sondrel
