#pragma once
// The freeze watchdog's counting, apart from the window system: how long the main window has not
// answered, and which top-level window counts as the main window.
#include <cstdint>

namespace sondrel {

// Each probe of the main window waits this long for an answer; an answered probe is followed by up
// to five pauses of this length.
inline constexpr int kFreezeProbeMs = 50;
inline constexpr int kFreezeIdlePauses = 5;

class FreezeCounter {
 public:
  // A probe timed out. Unanswered time grows only while the window still exists; a window that is
  // gone counts as an answer (nothing to wait for).
  void ProbeTimedOut(bool window_exists) {
    if (window_exists) unresponsive_ms_ += kFreezeProbeMs;
    else unresponsive_ms_ = 0;
  }
  void Answered() { unresponsive_ms_ = 0; }
  // True when the window has not answered for freeze_seconds; a report is then due.
  bool Due(std::int32_t freeze_seconds) const {
    const std::int64_t limit = static_cast<std::int64_t>(freeze_seconds) * 1000;
    return limit > 0 && unresponsive_ms_ >= limit;
  }
  // Counting starts again from 0 once a report is over.
  void ReportDone() { unresponsive_ms_ = 0; }
  std::int64_t UnresponsiveMs() const { return unresponsive_ms_; }

 private:
  std::int64_t unresponsive_ms_ = 0;
};

// A top-level window of this process is the main window when it is visible, has no owner (or the
// desktop as owner) and is not a tool window unless it also has the application-window style.
struct TopWindowFacts {
  bool visible = false;
  bool owned = false;  // has an owner other than the desktop
  bool tool_window = false;
  bool app_window = false;
};
inline bool IsMainWindowCandidate(const TopWindowFacts& w) {
  return w.visible && !w.owned && (!w.tool_window || w.app_window);
}

}  // namespace sondrel
