// The freeze watchdog's counting and its choice of the main window.
#include <gtest/gtest.h>

#include "errorreport/capture/freeze.h"

namespace sondrel {
namespace {

TEST(FreezeCounter, DueAfterFreezeSecondsOfTimeouts) {
  FreezeCounter c;
  for (int i = 0; i < 39; ++i) c.ProbeTimedOut(true);
  EXPECT_FALSE(c.Due(2));  // 1950 ms
  c.ProbeTimedOut(true);
  EXPECT_TRUE(c.Due(2));  // 2000 ms
  EXPECT_FALSE(c.Due(3));
  c.ReportDone();
  EXPECT_FALSE(c.Due(2));
  EXPECT_EQ(c.UnresponsiveMs(), 0);
}

TEST(FreezeCounter, AnyAnswerOrAVanishedWindowStartsAgain) {
  FreezeCounter c;
  for (int i = 0; i < 30; ++i) c.ProbeTimedOut(true);
  c.Answered();
  for (int i = 0; i < 30; ++i) c.ProbeTimedOut(true);
  EXPECT_FALSE(c.Due(2));  // 1500 ms since the answer, not 3000 in all
  c.ProbeTimedOut(false);
  EXPECT_EQ(c.UnresponsiveMs(), 0);
}

TEST(FreezeCounter, NoLimitNeverReports) {
  FreezeCounter c;
  for (int i = 0; i < 100; ++i) c.ProbeTimedOut(true);
  EXPECT_FALSE(c.Due(0));
  EXPECT_FALSE(c.Due(-5));
  EXPECT_TRUE(c.Due(5));
}

TEST(MainWindow, VisibleUnownedAndNotAToolWindow) {
  EXPECT_TRUE(IsMainWindowCandidate({true, false, false, false}));
  EXPECT_FALSE(IsMainWindowCandidate({false, false, false, false}));  // hidden
  EXPECT_FALSE(IsMainWindowCandidate({true, true, false, false}));    // owned dialog
  EXPECT_FALSE(IsMainWindowCandidate({true, false, true, false}));    // tool window
  EXPECT_TRUE(IsMainWindowCandidate({true, false, true, true}));      // tool window marked as application
}

}  // namespace
}  // namespace sondrel
