#pragma once
// The random order of a search's addresses.
#include <cstddef>
#include <functional>

#include "base/text.h"

namespace sondrel {

// Draws an index uniformly from 0 to count-1 (count is at least 1).
using IndexDraw = std::function<size_t(size_t count)>;

// As many swaps as there are lines, each of a pair (i, j) drawn independently, i first; an equal pair
// leaves the list as it is for that swap. One line is therefore never moved.
void ShuffleLines(StringList& lines, const IndexDraw& draw);

// A draw from a generator seeded from the clock when it is made.
IndexDraw ClockSeededDraw();

}  // namespace sondrel
