#include "errorreport/capture/report_stack.h"

#include <algorithm>

namespace sondrel {

TReportFunctionsList::TReportFunctionsList(std::vector<TReportFunctionInfo> functions)
    : functions_(std::move(functions)) {
  std::stable_sort(functions_.begin(), functions_.end(),
                   [](const TReportFunctionInfo& a, const TReportFunctionInfo& b) { return a.entry < b.entry; });
}

const TReportFunctionInfo* TReportFunctionsList::Find(uint32_t address) const {
  // A match narrows towards lower entries too, so the search settles on the lowest-placed function
  // of the run that holds the address.
  int64_t low = 0, high = static_cast<int64_t>(functions_.size()) - 1;
  bool matched = false;
  while (low <= high) {
    const int64_t middle = (low + high) / 2;
    const TReportFunctionInfo& f = functions_[static_cast<size_t>(middle)];
    if (f.entry <= address && address <= uint64_t{f.entry} + f.size) {
      matched = true;
      high = middle - 1;
    } else if (f.entry < address) {
      low = middle + 1;
    } else {
      high = middle - 1;
    }
  }
  return matched ? &functions_[static_cast<size_t>(low)] : nullptr;
}

const TReportFunctionInfo* TReportFunctionsList::Nearest(uint32_t address) const {
  auto it = std::upper_bound(functions_.begin(), functions_.end(), address,
                             [](uint32_t a, const TReportFunctionInfo& f) { return a < f.entry; });
  return it == functions_.begin() ? nullptr : &*std::prev(it);
}

}  // namespace sondrel
