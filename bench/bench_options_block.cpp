// What reading a module's options block costs at registration: inflating the payload, loading the
// options (twice: a scratch check, then the real load) and copying the debug data, for a block as big
// as a test program's. Prints medians; timings are reports, never checks.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "errorreport/capture/debug_data.h"
#include "errorreport/delivery/byte_stream.h"
#include "errorreport/delivery/options_block.h"

namespace {

using Clock = std::chrono::steady_clock;

double MedianMicros(int runs, const std::function<void()>& work) {
  std::vector<double> times;
  for (int r = 0; r < runs; ++r) {
    const auto start = Clock::now();
    work();
    times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
  return times[times.size() / 2];
}

// Line data shaped like a compiled program's: procedures of a few hundred bytes, a row every few bytes,
// lines that jump back now and then as optimised code does.
std::string SyntheticDebugData() {
  std::vector<sondrel::DebugProcedure> procs;
  std::vector<sondrel::DebugLineRow> rows;
  uint32_t rva = 0x1000;
  unsigned seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
  for (int p = 0; p < 1500; ++p) {
    const std::string unit = "unit" + std::to_string(p / 20) + ".cpp";
    const uint32_t size = 200 + next() % 800;
    procs.push_back({rva, size, unit, "sondrel::TClass" + std::to_string(p % 97), "Method" + std::to_string(p)});
    int line = 10 + p % 500;
    for (uint32_t at = rva; at < rva + size; at += 2 + next() % 8) {
      rows.push_back({at, unit, line});
      line += (next() % 5 == 0) ? -3 : 1 + static_cast<int>(next() % 3);
      if (line < 1) line = 1;
    }
    rva += size;
  }
  rows.push_back({rva, "", 0});
  return sondrel::EncodeDebugData(std::move(procs), std::move(rows));
}

}  // namespace

int main() {
  using namespace sondrel;
  const std::string debug = SyntheticDebugData();
  TReportModuleOptions options("", false);
  const std::string block = BuildResourceBlock(options, debug);
  const std::string payload = BuildPayload(options, debug);
  const std::string packed(std::string_view(block).substr(kBlockHeaderSize));
  std::printf("debug data %zu bytes, payload %zu bytes, compressed block %zu bytes (%.1f%%)\n", debug.size(),
              payload.size(), block.size(), 100.0 * block.size() / payload.size());

  const double read = MedianMicros(31, [&] {
    TReportModuleOptions o("", false);
    if (!ReadResourceBlock(block, o)) std::abort();
  });
  // As the reporter reads its own block before the program's first window: the line data left for
  // the first report.
  const double head = MedianMicros(31, [&] {
    TReportModuleOptions o("", false);
    auto b = ReadResourceBlock(block, o, /*defer_debug_data=*/true);
    if (!b) std::abort();
  });
  const double inflate = MedianMicros(31, [&] {
    if (!InflatePayload(packed)) std::abort();
  });
  const double load = MedianMicros(31, [&] {
    TReportModuleOptions o("", false);
    ByteReader in(payload);
    if (!o.LoadFromStream(in, kLibraryVersion)) std::abort();
  });
  const double copy = MedianMicros(31, [&] {
    std::string c(payload);
    if (c.size() != payload.size()) std::abort();
  });
  std::printf("read whole block (median)     %9.1f us\n", read);
  std::printf("  inflate payload alone       %9.1f us\n", inflate);
  std::printf("read with line data deferred  %9.1f us  (%.2f of the whole read)\n", head, head / read);
  std::printf("  load options stream alone   %9.1f us\n", load);
  std::printf("  copy of the payload         %9.1f us\n", copy);
  std::printf("ratio read / inflate          %9.2f\n", read / inflate);
  return 0;
}
