// Interception and thread tracking on child programs that raise on purpose (test_intercept_child).
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "tests/errorreport/intercept_child_run.h"

namespace sondrel {
namespace {

TEST(Intercept, CaughtInUserCodeGivesNoReport) {
  const auto r = RunMode("caught");
  EXPECT_EQ(Count(r.output, "REPORT"), 0) << r.output;
  EXPECT_NE(r.output.find("CAUGHT=thrown on purpose"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("DONE"), std::string::npos);
}

TEST(Intercept, ThreadTopLevelReportsWithTheStackAtTheThrow) {
  const auto r = RunMode("thread_top");
  ASSERT_EQ(Count(r.output, "REPORT"), 1) << r.output;
  EXPECT_TRUE(std::regex_search(r.output, std::regex("REPORT class=std::runtime_error lang=1 thread=other eip=Thrower "
                                                     "stack=[^ ]*CallsThrower[^ ]*ThreadBody")))
      << r.output;
  EXPECT_NE(r.output.find("THREAD_EXIT=0"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("DONE"), std::string::npos);
}

TEST(Intercept, ASnapshotBelongsOnlyToTheExceptionItWasTakenFor) {
  const auto r = RunMode("stale");
  EXPECT_NE(r.output.find("MATCHED=0"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("LIVE_MATCHED=1 AFTER_CLEAR=0"), std::string::npos) << r.output;
  // The later object took the freed one's place: the case the match has to tell apart.
  EXPECT_NE(r.output.find("SAME_ADDRESS=1"), std::string::npos) << r.output;
}

TEST(Intercept, ThreadCreatedUnsuspendedRunsAtOnce) {
  const auto r = RunMode("runs_at_once");
  EXPECT_NE(r.output.find("RAN=1"), std::string::npos) << r.output;
}

TEST(Intercept, FrameworkThreadReportsItsStackThenItsCreators) {
  const auto r = RunMode("tthread");
  ASSERT_EQ(Count(r.output, "REPORT"), 1) << r.output;
  EXPECT_TRUE(std::regex_search(r.output, std::regex("REPORT class=std::runtime_error lang=1 thread=other eip=Thrower "
                                                     "stack=[^ ]*CallsThrower[^ ]* creator=[^ ]*StartsWorker")))
      << r.output;
  EXPECT_NE(r.output.find("FATAL=thrown on purpose"), std::string::npos) << r.output;
}

TEST(Intercept, StdThreadIsTrackedAndReported) {
  const auto r = RunMode("stdthread");
  EXPECT_NE(r.output.find("TRACKED=1"), std::string::npos) << r.output;
  ASSERT_EQ(Count(r.output, "REPORT"), 1) << r.output;
  EXPECT_TRUE(std::regex_search(r.output, std::regex("REPORT class=std::runtime_error lang=1 thread=other eip=Thrower "
                                                     "stack=[^ ]*CallsThrower[^ ]* creator=[^ ]*StartsStdThread")))
      << r.output;
  EXPECT_NE(r.output.find("DONE"), std::string::npos) << r.output;  // the program went on
}

TEST(Intercept, FaultsInTheMainThreadBecomeExceptionsAtTheFault) {
  const auto r = RunMode("fault_main");
  ASSERT_EQ(Count(r.output, "REPORT"), 2) << r.output;
  EXPECT_NE(r.output.find("REPORT class=EAccessViolation lang=0 thread=main eip=Faulter"), std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("REPORT class=EDivByZero lang=0 thread=main eip=Divider"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("DONE"), std::string::npos);
}

TEST(Intercept, FaultInAnotherThreadEndsItWithExitCodeOne) {
  const auto r = RunMode("fault_thread");
  ASSERT_EQ(Count(r.output, "REPORT"), 1) << r.output;
  EXPECT_TRUE(std::regex_search(r.output, std::regex("REPORT class=EAccessViolation lang=0 thread=other eip=Faulter "
                                                     "stack=[^ ]*FaultBody")))
      << r.output;
  EXPECT_NE(r.output.find("THREAD_EXIT=1"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("DONE"), std::string::npos);
}

TEST(Intercept, FaultInAWindowProcedureIsReportedAndTheWindowAnswers) {
  const auto r = RunMode("window");
  ASSERT_EQ(Count(r.output, "REPORT"), 1) << r.output;
  EXPECT_NE(r.output.find("REPORT class=EAccessViolation lang=0 thread=main eip=Faulter"), std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("ANSWERED=42"), std::string::npos) << r.output;
}

TEST(Intercept, StackOverflowInAWorkerIsReportedAndTheProgramGoesOn) {
  const auto r = RunMode("overflow");
  ASSERT_EQ(Count(r.output, "REPORT"), 1) << r.output;
  EXPECT_TRUE(std::regex_search(r.output, std::regex("REPORT class=EStackOverflow lang=0 thread=other eip=Recurse "
                                                     "stack=Recurse")))
      << r.output;
  EXPECT_NE(r.output.find("NAMES_THE_OVERFLOWING_THREAD=1"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("THREAD_EXIT=1"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("DONE"), std::string::npos) << r.output;
}

TEST(Intercept, AThreadResumedAfterTheHooksWereRemovedStillStarts) {
  const auto r = RunMode("resumed_after_removal");
  EXPECT_NE(r.output.find("RESUMED ran=1 code=7"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("DONE"), std::string::npos) << r.output;
}

TEST(Intercept, UncaughtInTheMainThreadEndsTheProgramWithCodeOne) {
  const auto r = RunMode("uncaught");
  ASSERT_EQ(Count(r.output, "REPORT"), 1) << r.output;
  EXPECT_TRUE(std::regex_search(r.output, std::regex("REPORT class=std::runtime_error lang=1 thread=main eip=Thrower "
                                                     "stack=[^ ]*CallsThrower")))
      << r.output;
  EXPECT_EQ(r.output.find("DONE"), std::string::npos) << r.output;
  EXPECT_EQ(r.exit_code, 1u);
}

}  // namespace
}  // namespace sondrel
