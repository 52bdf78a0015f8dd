#include <gtest/gtest.h>

#include "errorreport/delivery/block_format.h"
#include "errorreport/delivery/options_mapping.h"
#include "errorreport/delivery/report_options.h"
#include "tests/errorreport/options_stream_builder.h"

namespace sondrel {
namespace {

using test::StreamBuilder;

// Options with a value other than the default in every stored field, both lists and every text.
void FillNonDefault(TReportModuleOptions& o) {
  o.BeginUpdate();
  o.SetSenderAddress("sender@example.test");
  o.SetRelayHost("relay.example.test");
  o.SetRelayUser("user");
  o.SetRelayPassword("p\xE4ss");
  o.SetRelayPort(2525);
  o.SetRestartAfterTerminate(false);
  o.SetFreezeWatch(true);
  o.SetFreezeSeconds(17);
  o.SetFreezeMessage("frozen");
  o.SetPaintedDialogs(false);
  o.SetReportFields(0x00123456);
  o.SetSpareSwitch(false);
  o.SetFilterActive(false);
  o.SetShowDialog(false);
  o.SetReportInBody(true);
  o.SetAttachScreenshot(true);
  o.SetShowSendProgress(false);
  o.SetTerminateButtonOnRepeat(false);
  o.SetSaveLog(false);
  o.SetSendEntireLog(true);
  o.SetHandlingFlags(kSkipDuplicates | kAskReproduceSteps);
  o.SetFirstDetailsTab(2);
  o.SetLogErrorLimit(7);
  o.SetTerminateButtonAfter(9);
  o.SetLogPath("D:\\Logs");
  o.SetMailRecipients("a@x.test;b@y.test");
  o.SetMailSubject("Subject");
  o.SetMailBody("Body line\r\nsecond");
  o.SetSendMode(TReportSendMode::rsSmtpDirect);
  o.AddFilter("EAbort", "");
  o.AddFilter("EConvertError", "Bad number");
  for (int i = 0; i < kCustomTextCount; ++i) o.SetCustomText(i, "text " + std::to_string(i));
  o.EndUpdate();
}

TEST(ReportOptions, DefaultsAndTexts) {
  TReportModuleOptions o("C:\\App\\Prog.exe", false);
  EXPECT_EQ(o.Values(), TReportOptionValues{});
  EXPECT_EQ(o.UpdateCount(), 0);
  EXPECT_EQ(o.RelayPort(), 25);
  EXPECT_EQ(o.FreezeSeconds(), 60);
  EXPECT_EQ(o.LogErrorLimit(), 32);
  EXPECT_EQ(o.TerminateButtonAfter(), 3);
  EXPECT_EQ(o.ReportFields(), 0xFFFFFFFFu);
  EXPECT_EQ(o.SendMode(), TReportSendMode::rsNone);
  EXPECT_TRUE(o.ReportingActive());
  EXPECT_FALSE(o.FreezeWatch());
  EXPECT_EQ(o.FreezeMessage(), "The application seems to be frozen.");
  EXPECT_EQ(o.CustomText(mtInformationMsgCaption), "Information.");
  EXPECT_EQ(o.CustomText(mtDialog_ErrorMsgCaption),
            "An error has occurred during program execution.\r\nPlease read the following information for "
            "further details.");
  EXPECT_EQ(o.CustomText(mtDialog_RestartButtonCaption), "&Restart");
  EXPECT_EQ(o.CustomText(mtLog_OSBuildN), "Build #");
  EXPECT_EQ(o.CustomText(mtSMTPDialog_Resolving), "Resolving MX record...");
  EXPECT_EQ(o.CustomText(mtReproduceDialog_OKButtonCaption), "&OK");
  EXPECT_EQ(o.CustomText(mtModules_Path), "Path");
  EXPECT_EQ(o.CustomText(mtCPU_MemoryDump), "Memory Dump");
  EXPECT_EQ(o.CustomText(-1), "");
  EXPECT_EQ(o.CustomText(kCustomTextCount), "");
  EXPECT_STREQ(kReportFieldNames[20], "Operating System|Build #");

  FillNonDefault(o);
  o.SetDefaults();
  EXPECT_EQ(o.Values(), TReportOptionValues{});
  EXPECT_EQ(o.Texts(), DefaultCustomTexts());
  EXPECT_TRUE(o.FilterClasses().empty());
}

TEST(ReportOptions, LogErrorLimitZeroIsStoredAsOne) {
  TReportModuleOptions o("", false);
  o.SetLogErrorLimit(0);
  EXPECT_EQ(o.LogErrorLimit(), 1);
  o.SetLogErrorLimit(-5);
  EXPECT_EQ(o.LogErrorLimit(), -5);
}

TEST(ReportOptions, RoundTripGivesEqualFieldsListsAndTexts) {
  TReportModuleOptions a("a.exe", false);
  FillNonDefault(a);
  ByteWriter w;
  a.SaveToStream(w);

  TReportModuleOptions b("b.exe", false);
  ByteReader r(w.Bytes());
  EXPECT_TRUE(b.LoadFromStream(r, kLibraryVersion));
  EXPECT_TRUE(r.AtEnd());
  // The mail body's inner CR LF is not its last pair, so it survives.
  EXPECT_EQ(b.Values(), a.Values());
  EXPECT_EQ(b.FilterClasses(), a.FilterClasses());
  EXPECT_EQ(b.FilterMessages(), a.FilterMessages());
  EXPECT_EQ(b.Texts(), a.Texts());
  EXPECT_EQ(b.ModuleFileName(), "b.exe");
}

TEST(ReportOptions, StreamStringTrimsOnlyAFirstCrLfAtTheEnd) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"\r\n", ""},
      {"a\r\nb\r\n", "a\r\nb\r\n"},  // the first pair is not the last two characters
      {"abc\r\n", "abc"},
      {"\r", "\r"},
      {"\n", "\n"},
      {"x", "x"},
      {"", ""},
      {"\r\n\r\n", "\r\n\r\n"},
  };
  for (const Case& c : cases) {
    ByteWriter w;
    WriteStreamString(w, c.in);
    EXPECT_EQ(w.Bytes().size(), 4 + c.out.size()) << c.in;
    ByteReader r(w.Bytes());
    EXPECT_EQ(ReadStreamString(r), c.out);
  }
  ByteWriter w;
  WriteStreamString(w, "AB");
  EXPECT_EQ(w.Bytes(), StreamBuilder().str("AB").bytes());
  EXPECT_NE(w.Bytes().substr(4), "AB") << "strings are stored scrambled";
}

TEST(ReportOptions, FilterListsOfUnequalLengthAreSavedAsPairs) {
  TReportModuleOptions a("", false);
  a.SetFilterClasses({"E1", "E2", "E3"});
  a.SetFilterMessages({"m1", "m2", "m3", "m4", "m5"});
  ByteWriter w;
  a.SaveToStream(w);
  TReportModuleOptions b("", false);
  ByteReader r(w.Bytes());
  ASSERT_TRUE(b.LoadFromStream(r, kLibraryVersion));
  EXPECT_EQ(b.FilterClasses(), (StringList{"E1", "E2", "E3", "", ""}));
  EXPECT_EQ(b.FilterMessages(), (StringList{"m1", "m2", "m3", "m4", "m5"}));
}

// The stream of a given older layout, written field by field as that layout stores it.
struct OldLayout {
  uint16_t version;
  bool show_dialog_byte = true;
  uint8_t send_byte = 1;
  std::string relay_host = "";
  int32_t freeze = 60000;
};

std::string BuildOld(const OldLayout& l, std::vector<std::string>* texts_written) {
  const uint16_t v = l.version;
  StreamBuilder s;
  s.b(0).b(0).b(kSkipDuplicates).b(l.show_dialog_byte).b(1);  // spare, filter, flags, show, in body
  if (v >= 450) s.b(1).b(1).b(0);                              // entire log, screenshot, progress
  if (v >= 401) s.b(0).b(3);                                   // save log, first tab
  if (v >= 403) s.b(0);                                        // painted dialogs
  if (v >= 420) {
    s.b(1).u32(static_cast<uint32_t>(l.freeze)).str("Frozen!");
    if (v >= 450) s.str("from@x.test");
    s.str(l.relay_host);
  }
  if (v >= 450) s.u16(587);
  if (v >= 421) s.str("usr").str("pwd").b(0);
  s.b(0).u32(5).u32(4).str("to@x.test").str("Subj").b(l.send_byte).u32(0x7F);
  if (v < 450) s.b(0xEE);  // the extra byte of old layouts
  s.str("C:\\Logs");
  s.u32(2).str("EAbort").str("").str("EFoo").str("Foo!");
  s.str("Body");
  for (int i = 0; i < kCustomTextCount; ++i) {
    bool present = true;
    if (i == 15) present = v >= 420;
    if (i == 14) present = v >= 421;
    if ((i >= 8 && i <= 11) || (i >= 16 && i <= 18) || i == 23 || i == 37 || i == 45 || i == 47 || i == 48 ||
        i >= 53)
      present = v >= 450;
    if (present) {
      s.str("T" + std::to_string(i));
      texts_written->push_back("T" + std::to_string(i));
    } else {
      texts_written->push_back("");
    }
  }
  return s.bytes();
}

TEST(ReportOptions, OlderLayoutsLoadWithTheirDifferences) {
  for (uint16_t version : {401, 403, 420, 421, 422, 440, 450}) {
    SCOPED_TRACE(version);
    std::vector<std::string> written;
    OldLayout layout{version};
    std::string bytes = BuildOld(layout, &written);
    TReportModuleOptions o("", false);
    o.SetCustomText(14, "custom 14");
    ByteReader r(bytes);
    ASSERT_TRUE(o.LoadFromStream(r, version));
    EXPECT_TRUE(r.AtEnd());
    const TReportOptionValues def;

    EXPECT_FALSE(o.SpareSwitch());
    EXPECT_EQ(o.HandlingFlags(), kSkipDuplicates);
    EXPECT_EQ(o.ShowDialog(), version >= 450) << "stored inverted before 450";
    EXPECT_EQ(o.SendEntireLog(), version >= 450);
    EXPECT_FALSE(o.SaveLog());
    EXPECT_EQ(o.FirstDetailsTab(), 3);
    EXPECT_EQ(o.PaintedDialogs(), version >= 403 ? false : def.PaintedDialogs);
    EXPECT_EQ(o.FreezeWatch(), version >= 420);
    EXPECT_EQ(o.FreezeSeconds(), version < 420 ? 60 : version < 422 ? 60 : 60000);
    EXPECT_EQ(o.FreezeMessage(), version >= 420 ? "Frozen!" : def.FreezeMessage);
    EXPECT_EQ(o.SenderAddress(), version >= 450 ? "from@x.test" : def.SenderAddress);
    EXPECT_EQ(o.RelayPort(), version >= 450 ? 587 : 25);
    EXPECT_EQ(o.RelayUser(), version >= 421 ? "usr" : "");
    EXPECT_EQ(o.RestartAfterTerminate(), version < 421);
    EXPECT_EQ(o.LogErrorLimit(), 5);
    EXPECT_EQ(o.TerminateButtonAfter(), 4);
    EXPECT_EQ(o.MailSubject(), "Subj");
    EXPECT_EQ(o.SendMode(), TReportSendMode::rsMailClient) << "450: the byte 1 is the mode; before: send + no host";
    EXPECT_EQ(o.ReportFields(), 0x7Fu);
    EXPECT_EQ(o.LogPath(), "C:\\Logs");
    EXPECT_EQ(o.FilterClasses(), (StringList{"EAbort", "EFoo"}));
    EXPECT_EQ(o.FilterMessages(), (StringList{"", "Foo!"}));
    EXPECT_EQ(o.MailBody(), "Body");
    for (int i = 0; i < kCustomTextCount; ++i) {
      const std::string expected =
          !written[i].empty() ? written[i] : i == 14 ? "custom 14" : DefaultCustomTexts()[i];
      EXPECT_EQ(o.CustomText(i), expected) << "text " << i;
    }
  }
}

TEST(ReportOptions, FreezeSecondsWereMillisecondsBefore422) {
  for (auto [version, stored, expected] :
       {std::tuple{420, 60000, 60}, {421, 1500, 1}, {422, 60, 60}, {460, 45, 45}}) {
    std::vector<std::string> unused;
    std::string bytes;
    if (version == 460) {
      TReportModuleOptions src("", false);
      src.SetFreezeSeconds(stored);
      ByteWriter w;
      src.SaveToStream(w);
      bytes = w.Bytes();
    } else {
      bytes = BuildOld(OldLayout{static_cast<uint16_t>(version), true, 1, "", stored}, &unused);
    }
    TReportModuleOptions o("", false);
    ByteReader r(bytes);
    ASSERT_TRUE(o.LoadFromStream(r, static_cast<uint16_t>(version)));
    EXPECT_EQ(o.FreezeSeconds(), expected) << version;
  }
}

TEST(ReportOptions, Version440SendFlagDependsOnRelayHost) {
  struct Case {
    uint8_t send;
    std::string host;
    TReportSendMode mode;
  } cases[] = {
      {1, "", TReportSendMode::rsMailClient},
      {1, "smtp.example.test", TReportSendMode::rsSmtpRelay},
      {0, "smtp.example.test", TReportSendMode::rsNone},
      {7, "", TReportSendMode::rsMailClient},
  };
  for (const Case& c : cases) {
    std::vector<std::string> unused;
    std::string bytes = BuildOld(OldLayout{440, true, c.send, c.host}, &unused);
    TReportModuleOptions o("", false);
    ByteReader r(bytes);
    ASSERT_TRUE(o.LoadFromStream(r, 440));
    EXPECT_EQ(o.SendMode(), c.mode) << c.host;
    EXPECT_FALSE(o.ShowDialog()) << "a stored 1 means: do not show";
    EXPECT_EQ(o.RelayHost(), c.host);
  }
}

TEST(ReportOptions, TruncatedOrCorruptStreamStopsAndKeepsTheRest) {
  TReportModuleOptions src("", false);
  FillNonDefault(src);
  ByteWriter w;
  src.SaveToStream(w);
  const std::string full = w.Bytes();

  // Every cut point: loading fails, never reads past the end, and leaves untouched fields as they were.
  for (size_t cut = 0; cut < full.size(); ++cut) {
    TReportModuleOptions o("", false);
    ByteReader r(std::string_view(full).substr(0, cut));
    EXPECT_FALSE(o.LoadFromStream(r, kLibraryVersion)) << cut;
    EXPECT_EQ(o.CustomText(70), cut < full.size() ? "Memory Dump" : "text 70");
  }
  // The first fields are read before the cut.
  TReportModuleOptions o("", false);
  ByteReader r(std::string_view(full).substr(0, 16));
  EXPECT_FALSE(o.LoadFromStream(r, kLibraryVersion));
  EXPECT_FALSE(o.SpareSwitch());
  EXPECT_EQ(o.FreezeSeconds(), 17);
  EXPECT_EQ(o.FreezeMessage(), TReportOptionValues{}.FreezeMessage);

  // A string length far beyond the bytes left is rejected without allocating it.
  std::string bad = full.substr(0, 16) + StreamBuilder().u32(0xFFFFFFF0u).raw("abc").bytes();
  TReportModuleOptions p("", false);
  ByteReader rb(bad);
  EXPECT_FALSE(p.LoadFromStream(rb, kLibraryVersion));
  EXPECT_EQ(p.FreezeMessage(), TReportOptionValues{}.FreezeMessage);
}

TEST(ReportOptions, HugeFilterCountIsRejected) {
  TReportModuleOptions src("", false);
  ByteWriter w;
  src.SaveToStream(w);
  std::string bytes = w.Bytes();
  // The pair count follows LogPath; find it by saving with one pair and comparing.
  TReportModuleOptions one("", false);
  one.AddFilter("E", "m");
  ByteWriter w1;
  one.SaveToStream(w1);
  size_t pos = 0;
  while (bytes[pos] == w1.Bytes()[pos]) ++pos;
  // pos is the first byte of the count.
  std::string bad = bytes;
  bad[pos] = '\xFF';
  bad[pos + 1] = '\xFF';
  bad[pos + 2] = '\xFF';
  bad[pos + 3] = '\x7F';
  TReportModuleOptions o("", false);
  o.AddFilter("Keep", "me");
  ByteReader r(bad);
  EXPECT_FALSE(o.LoadFromStream(r, kLibraryVersion));
  EXPECT_TRUE(o.FilterClasses().empty()) << "the lists are cleared before they are refilled";
  EXPECT_EQ(o.UpdateCount(), 0);
}

TEST(ReportOptions, AssignCopiesStoredFieldsOnly) {
  TReportModuleOptions src("src.exe", true);
  FillNonDefault(src);
  src.SetReportingActive(false);
  TReportModuleOptions dst("dst.exe", false);
  dst.Assign(&src);
  EXPECT_EQ(dst.Values(), src.Values());
  EXPECT_EQ(dst.Texts(), src.Texts());
  EXPECT_EQ(dst.FilterClasses(), src.FilterClasses());
  EXPECT_EQ(dst.FilterMessages(), src.FilterMessages());
  EXPECT_TRUE(dst.ReportingActive());
  EXPECT_EQ(dst.ModuleFileName(), "dst.exe");
  EXPECT_FALSE(dst.PublishChanges());

  dst.Assign(&dst);
  EXPECT_EQ(dst.Values(), src.Values());
  try {
    dst.Assign(nullptr);
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Impossible to assign nil as TReportModuleOptions.");
  }
  EXPECT_EQ(dst.UpdateCount(), 0);
}

TEST(ReportOptions, LogFileNameCases) {
  TReportModuleOptions o("C:\\App\\Prog.exe", false);
  EXPECT_EQ(o.LogFileName(), "C:\\App\\Prog.rpt");
  o.SetLogPath("D:\\Logs");
  EXPECT_EQ(o.LogFileName(), "D:\\Logs\\Prog.rpt");
  o.SetLogPath("D:\\Logs\\");
  EXPECT_EQ(o.LogFileName(), "D:\\Logs\\Prog.rpt");
  o.SetLogPath("D:\\Logs\\all.RPT");
  EXPECT_EQ(o.LogFileName(), "D:\\Logs\\all.RPT");
  TReportModuleOptions bare("Prog", false);
  EXPECT_EQ(bare.LogFileName(), "\\Prog.rpt");
}

class PublishingTest : public ::testing::Test {
 protected:
  void TearDown() override {
    CloseSubsystemOptionsMapping();
    SetCurrentReportOptionsSource(nullptr);
    SetFreezeWatchdogControl({});
  }
};

std::optional<std::string> PublishedStream() {
  auto payload = ReadModuleOptionsMapping(SubsystemModuleHandle());
  if (!payload) return std::nullopt;
  auto stream = PublishedOptionsStream(*payload);
  if (!stream) return std::nullopt;
  return std::string(*stream);
}

TEST_F(PublishingTest, ChangesOfTheOwnModuleArePublishedAfterTheUpdate) {
  CreateSubsystemOptionsMapping();
  auto empty = ReadModuleOptionsMapping(SubsystemModuleHandle());
  ASSERT_TRUE(empty);
  EXPECT_EQ(*empty, std::string(1, '\0'));
  EXPECT_FALSE(PublishedStream());

  TReportModuleOptionsEx own(SubsystemModuleFileName(), true);
  EXPECT_FALSE(PublishedStream()) << "construction does not publish";
  own.BeginUpdate();
  own.SetMailSubject("first");
  EXPECT_FALSE(PublishedStream()) << "held while an update is in progress";
  own.EndUpdate();
  own.SetLogErrorLimit(12);
  auto stream = PublishedStream();
  ASSERT_TRUE(stream);
  TReportModuleOptions seen("", false);
  ByteReader r(*stream);
  ASSERT_TRUE(seen.LoadFromStream(r, kLibraryVersion));
  EXPECT_EQ(seen.MailSubject(), "first");
  EXPECT_EQ(seen.LogErrorLimit(), 12);

  // A bigger stream replaces the smaller one completely.
  own.SetMailBody(std::string(5000, 'x'));
  stream = PublishedStream();
  ASSERT_TRUE(stream);
  ByteReader r2(*stream);
  ASSERT_TRUE(seen.LoadFromStream(r2, kLibraryVersion));
  EXPECT_EQ(seen.MailBody().size(), 5000u);
}

TEST_F(PublishingTest, OtherModulesAndUnpublishedOptionsStayQuiet) {
  CreateSubsystemOptionsMapping();
  TReportModuleOptionsEx other("Z:\\not\\loaded.dll", true);
  other.SetMailSubject("x");
  TReportModuleOptionsEx silent(SubsystemModuleFileName(), false);
  silent.SetMailSubject("y");
  EXPECT_FALSE(PublishedStream());
}

int g_starts = 0, g_stops = 0;

TEST_F(PublishingTest, FreezeSwitchesDriveTheWatchdogOnlyForTheCurrentOptions) {
  static TReportModuleOptionsEx* current = nullptr;
  TReportModuleOptionsEx own(SubsystemModuleFileName(), false);
  TReportModuleOptionsEx other("other.dll", false);
  try {
    CurrentReportOptions();
    FAIL() << "no assertion";
  } catch (const EAssertionFailed& e) {
    EXPECT_STREQ(e.what(), "Cannot use 'CurrentReportOptions' function without ErrorReport activate.");
  }
  current = &own;
  SetCurrentReportOptionsSource([]() { return current; });
  SetFreezeWatchdogControl({[] { ++g_starts; }, [] { ++g_stops; }});
  g_starts = g_stops = 0;

  own.SetFreezeWatch(true);
  EXPECT_EQ(g_starts, 1);
  own.SetFreezeWatch(true);
  EXPECT_EQ(g_starts, 1) << "an unchanged value does nothing";
  own.SetReportingActive(false);
  EXPECT_EQ(g_stops, 1);
  own.SetFreezeWatch(false);
  own.SetFreezeWatch(true);
  EXPECT_EQ(g_starts, 1) << "reporting is off";
  EXPECT_EQ(g_stops, 3);
  own.SetReportingActive(true);
  EXPECT_EQ(g_starts, 2);

  other.SetFreezeWatch(true);
  other.SetReportingActive(false);
  EXPECT_EQ(g_starts, 2);
  EXPECT_EQ(g_stops, 3);
  EXPECT_TRUE(other.FreezeWatch());

  // Assign passes the freeze switch through the setter.
  TReportModuleOptions src("", false);
  src.SetFreezeWatch(false);
  own.Assign(&src);
  EXPECT_FALSE(own.FreezeWatch());
  EXPECT_EQ(g_stops, 4);
  current = nullptr;
}

}  // namespace
}  // namespace sondrel
