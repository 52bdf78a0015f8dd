// What a search costs before anything is started: the address list for ten ticked entries, and the
// script for them built and written to disk. Prints medians; timings are reports, never checks.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/file.h"
#include "launch/address_list.h"
#include "launch/script.h"

namespace {

using Clock = std::chrono::steady_clock;

// Median time of one call, in microseconds, over `runs` batches of `batch` calls.
double MedianMicros(int runs, int batch, const std::function<void()>& work) {
  std::vector<double> times;
  for (int r = 0; r < runs; ++r) {
    const auto start = Clock::now();
    for (int b = 0; b < batch; ++b) work();
    times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count() / batch);
  }
  std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
  return times[times.size() / 2];
}

}  // namespace

int main() {
  using namespace sondrel;
  const std::string keyword = "caf\xe9 au lait & 50% \"cr\xe8me\"";
  std::vector<AddressParts> entries;
  for (int i = 1; i <= kSlotsPerTab; ++i)
    entries.push_back(
        {"https://search" + std::to_string(i) + ".example.com/search?hl=en&q=", "&source=sondrel"});
  SlotStates ticked;
  ticked.fill(true);
  const EntryResolver resolve = [&](int, int slot) -> std::optional<AddressParts> {
    return entries[slot - 1];
  };

  size_t sink = 0;
  const double list_us =
      MedianMicros(101, 200, [&] { sink += BuildAddressList(keyword, 1, ticked, resolve).size(); });

  auto build_script = [&] {
    StringList lines = BuildAddressList(keyword, 1, ticked, resolve);
    for (std::string& line : lines) line = NavigateLine(line, true);
    return ScriptFileText(CompleteScript(std::move(lines), true));
  };
  const double script_us = MedianMicros(101, 200, [&] { sink += build_script().size(); });

  const std::string folder = IncludeBackslash(std::filesystem::temp_directory_path().string());
  const std::string path = folder + "sondrel_bench_sites.js";
  const double write_us = MedianMicros(31, 5, [&] { WriteFileAtomic(path, build_script()); });
  DeleteFileAt(path);

  std::printf("ten entries, keyword of %zu bytes (script %zu bytes)\n", keyword.size(),
              build_script().size());
  std::printf("  address list alone          median %9.2f us\n", list_us);
  std::printf("  address list + script text  median %9.2f us  (%.2fx the list)\n", script_us,
              script_us / list_us);
  std::printf("  + script written to disk    median %9.2f us  (%.1fx the text)\n", write_us,
              write_us / script_us);
  return sink == 0 ? 1 : 0;
}
