#pragma once
// Call-stack rows and exported functions: the data the reporter keeps per report and per module.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sondrel {

class TReportModuleInfo;

// One call-stack row.
struct TReportDebugInfo {
  // 0 no module holds the address; 1 module known, no name; 2 plain procedure name (an export
  // without unit); 3 unit/class/procedure from a qualified or mangled export name; 4 unit, class,
  // procedure and line from the module's line debug data.
  uint8_t kind = 0;
  // The module holding the address (none for kind 0). Shared, so that a row stays valid when the
  // module list drops the module while a report still shows the row.
  std::shared_ptr<const TReportModuleInfo> module;
  uint32_t address = 0;
  // For an export name without extension (kind 3) it ends in ".pas"; line data (kind 4) gives the
  // source file name as stored.
  std::string unit_name;
  std::string class_name;
  std::string procedure_name;
  int32_t line = 0;  // 0 when unknown
};

// A call stack, most recent row first.
class TReportStackList {
 public:
  void Add(const TReportDebugInfo& row) { rows_.push_back(row); }
  // Does nothing for an index out of range.
  void Delete(size_t index) {
    if (index < rows_.size()) rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
  }
  void Clear() { rows_.clear(); }
  const TReportDebugInfo& operator[](size_t index) const { return rows_.at(index); }
  TReportDebugInfo& operator[](size_t index) { return rows_.at(index); }
  size_t Count() const noexcept { return rows_.size(); }
  auto begin() const { return rows_.begin(); }
  auto end() const { return rows_.end(); }

 private:
  std::vector<TReportDebugInfo> rows_;
};

// One exported function.
struct TReportFunctionInfo {
  std::string name;
  uint32_t entry = 0;
  uint32_t size = 0;  // estimated
};

// A module's exported functions, sorted by entry address.
class TReportFunctionsList {
 public:
  TReportFunctionsList() = default;
  explicit TReportFunctionsList(std::vector<TReportFunctionInfo> functions);  // sorts

  // The function holding the address, found by halving: a function holds it when
  // entry <= address <= entry + size; among several, the one the halving settles on.
  const TReportFunctionInfo* Find(uint32_t address) const;
  // The function with the highest entry at or below the address, whatever its estimated size; null when
  // every entry lies above it.
  const TReportFunctionInfo* Nearest(uint32_t address) const;
  size_t Count() const noexcept { return functions_.size(); }
  const TReportFunctionInfo& operator[](size_t i) const { return functions_.at(i); }

 private:
  std::vector<TReportFunctionInfo> functions_;
};

}  // namespace sondrel
