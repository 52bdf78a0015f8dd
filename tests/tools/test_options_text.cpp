#include <gtest/gtest.h>

#include <stdexcept>

#include "tools/options_text.h"

namespace sondrel::tools {
namespace {

TEST(OptionsText, SetsFieldsTextsAndFilters) {
  TReportModuleOptions o("", false);
  ApplyOptionsText(
      "# comment\n"
      "  SendMode = rsSmtpDirect  \r\n"
      "\n"
      "MailRecipients = a@x.test;b@y.test\n"
      "RelayPort = 0x24B\n"
      "LogErrorLimit = 0\n"
      "ShowDialog = FALSE\n"
      "AttachScreenshot = 1\n"
      "ReportFields = 0xFF\n"
      "MailBody = Line one\\r\\nLine two\\\\end\n"
      "Text.0 = Info!\n"
      "Text.70 = Dump\n"
      "Filter = EAbort|\n"
      "Filter = EConvertError | Check the number.\n"
      "Filter = EBare\n",
      o);
  EXPECT_EQ(o.SendMode(), TReportSendMode::rsSmtpDirect);
  EXPECT_EQ(o.MailRecipients(), "a@x.test;b@y.test");
  EXPECT_EQ(o.RelayPort(), 587);
  EXPECT_EQ(o.LogErrorLimit(), 1) << "through the setter";
  EXPECT_FALSE(o.ShowDialog());
  EXPECT_TRUE(o.AttachScreenshot());
  EXPECT_EQ(o.ReportFields(), 0xFFu);
  EXPECT_EQ(o.MailBody(), "Line one\r\nLine two\\end");
  EXPECT_EQ(o.CustomText(0), "Info!");
  EXPECT_EQ(o.CustomText(70), "Dump");
  EXPECT_EQ(o.FilterClasses(), (StringList{"EAbort", "EConvertError", "EBare"}));
  EXPECT_EQ(o.FilterMessages(), (StringList{"", "Check the number.", ""}));
  EXPECT_EQ(o.SenderAddress(), TReportOptionValues{}.SenderAddress) << "unlisted options keep their defaults";
}

TEST(OptionsText, EquivalentSpellingsOfSendMode) {
  for (const char* spelling : {"rsSmtpRelay", "RSSMTPRELAY", "2", "0x2"}) {
    TReportModuleOptions o("", false);
    ApplyOptionsText(std::string("SendMode=") + spelling, o);
    EXPECT_EQ(o.SendMode(), TReportSendMode::rsSmtpRelay) << spelling;
  }
}

TEST(OptionsText, BadLinesNameTheirLine) {
  struct Case {
    const char* text;
    const char* expect;
  } cases[] = {
      {"SendMode = rsNone\nNoSuchOption = 1\n", "line 2: unknown option"},
      {"RelayPort = 70000", "line 1"},
      {"ShowDialog = maybe", "line 1"},
      {"Text.71 = x", "line 1"},
      {"\n\nLogErrorLimit = 12abc", "line 3"},
      {"just words", "line 1: no '='"},
  };
  for (const Case& c : cases) {
    TReportModuleOptions o("", false);
    try {
      ApplyOptionsText(c.text, o);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(c.expect), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace sondrel::tools
