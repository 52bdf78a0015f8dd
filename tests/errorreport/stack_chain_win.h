#pragma once
// Three procedures in three source files that call each other; the innermost captures its own stack.
#include "errorreport/capture/report_modules.h"

namespace sondrel::test {

struct ChainCapture {
  TReportModulesList* modules = nullptr;
  TReportStackList rows;
};

int ChainOuter(ChainCapture& c);
int ChainMiddle(ChainCapture& c);
int ChainInner(ChainCapture& c);
// Builds the stack of the calling thread from its current stack pointer.
int CaptureStackHere(ChainCapture& c);

// The source lines of the calls each procedure makes.
extern const int kChainOuterCallLine;
extern const int kChainMiddleCallLine;
extern const int kChainInnerCallLine;

}  // namespace sondrel::test
