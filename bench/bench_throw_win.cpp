// What a caught C++ throw costs with the reporter installed, against the same throws in its twin
// without the reporter (started from here, so that both run in the same session): a
// std::runtime_error through ten frames, at 1 KB and at 256 KB of used stack, and a thread created and
// ended at 256 KB (the reporter copies the creator's stack). Medians and ratios.
#include <cstdlib>
#include <string>

#include "bench/throw_depth.h"
#include "errorreport/capture/ExceptionReport.h"

int main() {
  if (!sondrel::ReporterActive()) {
    std::printf("the reporter is not active (no options block)\n");
    return 1;
  }
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string plain(path);
  plain = plain.substr(0, plain.find_last_of('\\') + 1) + "throw_plain_win.exe";
  // Alternating runs of both programs. Under Wine a figure moves by half between runs a second apart,
  // so each round's ratio is taken from its own pair and the median of those is printed beside the
  // ratio of the medians.
  constexpr int kRounds = 9;
  std::vector<double> with1, with256, without1, without256, with_thread, without_thread;
  for (int round = 0; round < kRounds; ++round) {
    const auto ours = sondrel::bench::ThrowCosts();
    with1.push_back(ours[0]);
    with256.push_back(ours[1]);
    with_thread.push_back(ours[2]);
    FILE* p = _popen(("\"" + plain + "\"").c_str(), "r");
    double a = 0, b = 0, c = 0;
    if (!p || std::fscanf(p, "%lf %lf %lf", &a, &b, &c) != 3) {
      std::printf("the program without the reporter did not answer\n");
      if (p) _pclose(p);
      return 1;
    }
    _pclose(p);
    without1.push_back(a);
    without256.push_back(b);
    without_thread.push_back(c);
  }
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  auto round_ratio = [&median](const std::vector<double>& with, const std::vector<double>& without) {
    std::vector<double> r;
    for (size_t i = 0; i < with.size(); ++i) r.push_back(without[i] > 0 ? with[i] / without[i] : 0.0);
    return median(r);
  };
  // The least disturbed run of each: a throw is pure processor work, which only other load slows.
  auto fastest_ratio = [](const std::vector<double>& with, const std::vector<double>& without) {
    const double o = *std::min_element(without.begin(), without.end());
    return o > 0 ? *std::min_element(with.begin(), with.end()) / o : 0.0;
  };
  const double w1 = median(with1), w256 = median(with256), o1 = median(without1), o256 = median(without256);
  std::printf("throw and catch of std::runtime_error through ten frames, median us per throw, %d rounds\n",
              kRounds);
  std::printf(
      "  stack used   with reporter   without   ratio (aim: at most 1.50);  of the rounds' own ratios: "
      "median;  fastest against fastest\n");
  std::printf("  1 KB         %10.2f   %10.2f   %6.2f   %6.2f   %6.2f\n", w1, o1, o1 > 0 ? w1 / o1 : 0.0,
              round_ratio(with1, without1), fastest_ratio(with1, without1));
  std::printf("  256 KB       %10.2f   %10.2f   %6.2f   %6.2f   %6.2f\n", w256, o256,
              o256 > 0 ? w256 / o256 : 0.0, round_ratio(with256, without256),
              fastest_ratio(with256, without256));
  const double wt = median(with_thread), ot = median(without_thread);
  std::printf(
      "a thread created and ended at 256 KB of stack, median us: with %.2f, without %.2f, ratio %.2f, "
      "median of the rounds' ratios %.2f\n",
      wt, ot, ot > 0 ? wt / ot : 0.0, round_ratio(with_thread, without_thread));
  return 0;
}
