// The freeze watchdog on a child program whose main window stops answering on purpose.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "tests/errorreport/intercept_child_run.h"

namespace sondrel {
namespace {

TEST(Freeze, BlockedMainWindowGivesOneReportWithTheBlockingFunction) {
  const auto r = RunMode("freeze");
  ASSERT_EQ(Count(r.output, "REPORT "), 1) << r.output;
  EXPECT_TRUE(std::regex_search(r.output, std::regex("REPORT class=EFrozenApplication lang=0 thread=main eip=[^ ]+ "
                                                     "stack=[^ ]*Blocker")))
      << r.output;
  EXPECT_NE(r.output.find("REPORTS=1"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("DONE"), std::string::npos) << r.output;
}

// The watchdog holds the main thread while it copies its stack; the main thread may hold the heap's lock
// or the reporter's thread-list lock at that moment, and nothing may wait for either until it runs again.
TEST(Freeze, FrozenInsideTheHeapOrTheThreadListIsReportedWithoutDeadlock) {
  for (const std::string blocker : {"HeapBlocker", "ListBlocker"}) {
    const auto r = RunMode(blocker == "HeapBlocker" ? "freeze_heap" : "freeze_list");
    EXPECT_FALSE(r.timed_out) << blocker;
    ASSERT_EQ(Count(r.output, "REPORT "), 1) << r.output;
    EXPECT_TRUE(std::regex_search(r.output, std::regex("REPORT class=EFrozenApplication lang=0 thread=main eip=[^ ]+ "
                                                       "stack=[^ ]*" + blocker)))
        << r.output;
    EXPECT_NE(r.output.find("DONE"), std::string::npos) << r.output;
  }
}

}  // namespace
}  // namespace sondrel
