// One link of the chain; the call stays a real call (no inlining across files, no tail call).
#include "stack_chain_win.h"

namespace sondrel::test {

__attribute__((noinline)) int ChainOuter(ChainCapture& c) {
  int r = ChainMiddle(c); static_assert(__LINE__ == 7);
  asm volatile("" ::: "memory");
  return r + 1;
}
const int kChainOuterCallLine = 7;  // the line of the call above

}  // namespace sondrel::test
