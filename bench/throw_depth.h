#pragma once
// The throw-and-catch measured by the throw benchmark, shared by the program with the reporter and
// its twin without: a std::runtime_error thrown through ten frames and caught, on a thread whose
// stack already holds the given depth of used frames.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <vector>

namespace sondrel::bench {

[[gnu::noinline]] inline void ThrowThrough(int frames) {
  if (frames == 0) throw std::runtime_error("bench");
  ThrowThrough(frames - 1);
  asm volatile("" ::: "memory");  // not a tail call: each level stays a frame the unwinder passes
}

struct ThrowRun {
  int iterations = 2000;
  double median_us = 0;
  bool threads = false;  // measure a thread's creation and end instead of a throw
};

inline DWORD WINAPI EndAtOnce(void*) { return 0; }

// A thread created, run to its end and closed, from a thread with deep stack: the reporter copies the
// creator's stack at each creation.
[[gnu::noinline]] inline void MeasureThreads(ThrowRun& run) {
  std::vector<double> batches;
  constexpr int kPerBatch = 20;
  for (int b = 0; b < 15; ++b) {
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < kPerBatch; ++i) {
      HANDLE t = CreateThread(nullptr, 64 * 1024, EndAtOnce, nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
      WaitForSingleObject(t, INFINITE);
      CloseHandle(t);
    }
    const auto t1 = std::chrono::steady_clock::now();
    batches.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count() / kPerBatch);
  }
  std::nth_element(batches.begin(), batches.begin() + batches.size() / 2, batches.end());
  run.median_us = batches[batches.size() / 2];
}

[[gnu::noinline]] inline void MeasureThrows(ThrowRun& run) {
  std::vector<double> batches;
  for (int b = 0; b < 15; ++b) {
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < run.iterations / 15; ++i) {
      try {
        ThrowThrough(10);
      } catch (const std::runtime_error&) {
      }
    }
    const auto t1 = std::chrono::steady_clock::now();
    batches.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count() / (run.iterations / 15));
  }
  std::nth_element(batches.begin(), batches.begin() + batches.size() / 2, batches.end());
  run.median_us = batches[batches.size() / 2];
}

// Uses up about `bytes` of stack in frames of 1 KB, then measures.
[[gnu::noinline]] inline void AtDepth(ThrowRun& run, int kilobytes) {
  volatile char pad[1000];
  pad[0] = 1;
  if (kilobytes > 1)
    AtDepth(run, kilobytes - 1);
  else if (run.threads)
    MeasureThreads(run);
  else
    MeasureThrows(run);
  asm volatile("" ::: "memory");
  (void)pad[0];
}

struct DepthJob {
  int kilobytes;
  ThrowRun run;
};

inline DWORD WINAPI DepthThread(void* p) {
  auto* job = static_cast<DepthJob*>(p);
  AtDepth(job->run, job->kilobytes);
  return 0;
}

// Microseconds per throw and catch (median of batches) at 1 KB and at 256 KB of used stack, then per
// thread created and ended at 256 KB.
inline std::vector<double> ThrowCosts() {
  std::vector<double> out;
  struct Case {
    int kilobytes;
    bool threads;
  };
  for (Case c : {Case{1, false}, Case{256, false}, Case{256, true}}) {
    DepthJob job{c.kilobytes, {}};
    job.run.threads = c.threads;
    HANDLE t = CreateThread(nullptr, 2 << 20, DepthThread, &job, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    WaitForSingleObject(t, INFINITE);
    CloseHandle(t);
    out.push_back(job.run.median_us);
  }
  return out;
}

}  // namespace sondrel::bench
