#include "launch/shuffle.h"

#include <chrono>
#include <memory>
#include <random>
#include <utility>

namespace sondrel {

void ShuffleLines(StringList& lines, const IndexDraw& draw) {
  const size_t count = lines.size();
  for (size_t n = 0; n < count; ++n) {
    const size_t i = draw(count);
    const size_t j = draw(count);
    std::swap(lines.at(i), lines.at(j));
  }
}

IndexDraw ClockSeededDraw() {
  const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
  auto engine = std::make_shared<std::mt19937>(static_cast<std::mt19937::result_type>(ticks ^ (ticks >> 32)));
  return [engine](size_t count) { return std::uniform_int_distribution<size_t>(0, count - 1)(*engine); };
}

}  // namespace sondrel
