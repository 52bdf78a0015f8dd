// The log file: reading back, the limit, the duplicate test, saving without losing old reports.
#include <gtest/gtest.h>

#include <fstream>

#include "base/exception.h"
#include "base/file.h"
#include "errorreport/capture/log_file.h"

namespace sondrel {
namespace {

const std::string kSep = "\r\n\r\n\r\n\r\n";

std::string Report(const std::string& address, const std::string& message) {
  return "ErrorReport 4.6\r\n\r\nException:\r\n---------\r\n  2.1 Date   : Mon, 7 Dec 2026 09:06:00 +0100\r\n"
         "  2.2 Address: " + address + "\r\n  2.3 Module : Sondrel.exe\r\n  2.4 Type   : EAccessViolation\r\n"
         "  2.5 Message: " + message + "\r\n\r\nRegisters:\r\n----\r\n";
}

std::string TempPath(const std::string& name) {
  std::string p = testing::TempDir() + "sondrel_log_" + name;
  DeleteFileAt(p);
  return p;
}

const std::vector<std::string> kRows = {"2.2", "2.3", "2.4", "2.5"};

TEST(LogFile, SavedLogReadsBackByteForByte) {
  const std::string path = TempPath("roundtrip.rpt");
  {
    TLogFile log(path);
    EXPECT_EQ(log.Count(), 0u);
    log.Add(Report("00401000", "One."), 32);
    log.Add(Report("00401001", "Two."), 32);
    log.Add("no line end at the end", 32);
    log.Save();
  }
  auto bytes = ReadFileBytes(path);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(*bytes, Report("00401000", "One.") + kSep + "\r\n" + Report("00401001", "Two.") + kSep + "\r\n" +
                        "no line end at the end" + kSep + "\r\n");
  TLogFile again(path);
  ASSERT_EQ(again.Count(), 3u);
  EXPECT_EQ(again.Entries()[0], Report("00401000", "One.") + kSep);
  EXPECT_EQ(again.Entries()[2], "no line end at the end" + kSep);
  EXPECT_EQ(again.Bytes(), *bytes);
  EXPECT_EQ(again.Text(), again.Entries()[0] + "\r\n" + again.Entries()[1] + "\r\n" + again.Entries()[2]);
}

TEST(LogFile, TheMaximumDropsTheOldest) {
  TLogFile log(TempPath("limit.rpt"));
  for (int i = 0; i < 5; ++i) log.Add("r" + std::to_string(i), 3);
  ASSERT_EQ(log.Count(), 3u);
  EXPECT_EQ(log.Entries()[0], "r2" + kSep);
  EXPECT_EQ(log.Entries()[2], "r4" + kSep);
  // A smaller limit later cuts several at once; below 1 counts as 1.
  log.Add("r5", 2);
  ASSERT_EQ(log.Count(), 2u);
  EXPECT_EQ(log.Entries()[0], "r4" + kSep);
  log.Add("r6", 0);
  ASSERT_EQ(log.Count(), 1u);
  EXPECT_EQ(log.Entries()[0], "r6" + kSep);
}

TEST(LogFile, UnparsedTextIsKeptAsOneReport) {
  struct Case {
    std::string bytes;
    std::vector<std::string> entries;
  } cases[] = {
      {"", {}},
      {"\r\n\r\n", {}},
      {"hello world\r\n", {"hello world" + kSep}},
      {"a" + kSep + "\r\nErrorReport 4.6\r\n\r\nApplic", {"a" + kSep, "ErrorReport 4.6\r\n\r\nApplic" + kSep}},
      // Written by a version without the entry's own line end.
      {"a" + kSep + "b" + kSep, {"a" + kSep, "b" + kSep}},
      // A report ending in its own line end keeps it.
      {"a\r\n" + kSep + "\r\nb\r\n" + kSep + "\r\n", {"a\r\n" + kSep, "b\r\n" + kSep}},
  };
  for (const auto& c : cases) EXPECT_EQ(TLogFile::ParseEntries(c.bytes), c.entries) << c.bytes;
}

TEST(LogFile, ForeignFileSurvivesAnAddAndSave) {
  const std::string path = TempPath("foreign.rpt");
  { std::ofstream(path, std::ios::binary) << "notes the user kept\r\nsecond line"; }
  TLogFile log(path);
  log.Add("new report", 32);
  log.Save();
  auto bytes = ReadFileBytes(path);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(*bytes, "notes the user kept\r\nsecond line" + kSep + "\r\nnew report" + kSep + "\r\n");
}

TEST(LogFile, DuplicateNeedsAllFourValues) {
  TLogFile log(TempPath("dup.rpt"));
  log.Add(Report("00401000", "One."), 32);
  EXPECT_TRUE(log.IsDuplicate(kRows, {"00401000", "Sondrel.exe", "EAccessViolation", "One."}));
  EXPECT_FALSE(log.IsDuplicate(kRows, {"00401000", "Sondrel.exe", "EAccessViolation", "Two."}));
  EXPECT_FALSE(log.IsDuplicate(kRows, {"00401001", "Sondrel.exe", "EAccessViolation", "One."}));
  EXPECT_FALSE(log.IsDuplicate(kRows, {"00401000", "other.dll", "EAccessViolation", "One."}));
  EXPECT_FALSE(log.IsDuplicate(kRows, {"00401000", "Sondrel.exe", "EAbort", "One."}));
  // Values compare exactly.
  EXPECT_FALSE(log.IsDuplicate(kRows, {"00401000", "Sondrel.exe", "EAccessViolation", "One. "}));
  // A report without the rows (hidden) is no proof of the same error, even with empty values.
  log.Add("ErrorReport 4.6\r\n\r\nApplication:\r\n-\r\n  1.1 Start Date: x\r\n", 32);
  EXPECT_FALSE(log.IsDuplicate(kRows, {"", "", "", ""}));
}

TEST(LogFile, RowValueLookup) {
  std::string v;
  const std::string r = Report("0040ABCD", "It broke: badly.");
  ASSERT_TRUE(FindReportRowValue(r, "2.5", v));
  EXPECT_EQ(v, "It broke: badly.");
  ASSERT_TRUE(FindReportRowValue(r, "2.2", v));
  EXPECT_EQ(v, "0040ABCD");
  EXPECT_FALSE(FindReportRowValue(r, "2.6", v));
  EXPECT_FALSE(FindReportRowValue("\r\n  2.2 no colon\r\nx: y", "2.2", v));
}

TEST(LogFile, AFailedSaveRaisesAndLeavesTheOldFile) {
  const std::string path = TempPath("keep.rpt");
  { std::ofstream(path, std::ios::binary) << "old" << kSep << "\r\n"; }
  TLogFile log(path);
  log.Add("new", 32);
  TLogFile broken(path + ".missing-folder/log.rpt");
  broken.Add("x", 32);
  EXPECT_THROW(broken.Save(), EOSError);
  EXPECT_EQ(*ReadFileBytes(path), "old" + kSep + "\r\n");
}

TEST(LogFile, TypedStepsCannotFormASeparator) {
  EXPECT_EQ(CollapseBlankLines("a\r\n\r\n\r\n\r\n\r\nb\r\n\r\n"), "a\r\n\r\nb");
  EXPECT_EQ(CollapseBlankLines("one\ntwo"), "one\r\ntwo");
  EXPECT_EQ(CollapseBlankLines(""), "");
  EXPECT_EQ(CollapseBlankLines("x\r\n\r\ny").find(kSep), std::string::npos);
}

}  // namespace
}  // namespace sondrel
