// The baseline of the throw benchmark: the same throws in a program without the reporter. Prints the
// two figures on one line for the benchmark program, which starts it.
#include "bench/throw_depth.h"

int main() {
  const auto costs = sondrel::bench::ThrowCosts();
  std::printf("%.3f %.3f %.3f\n", costs[0], costs[1], costs[2]);
  return 0;
}
