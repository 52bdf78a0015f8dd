// Any argument quoted by QuoteArg parses back unchanged; any command line parses without faults.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/cmdline.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  (void)sondrel::ParseCommandLine(text);
  // Split the input into arguments at NUL bytes and require the round trip.
  sondrel::StringList args = sondrel::Split(text, '\0');
  std::string line;
  for (const auto& a : args) line += (line.empty() ? "" : " ") + sondrel::QuoteArg(a);
  if (sondrel::ParseCommandLine(line) != args) std::abort();
  return 0;
}
