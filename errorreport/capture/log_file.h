#pragma once
// The log file of exception reports: plain text, the stored reports one after the other, each ended
// by four CR LF pairs and the CR LF of its entry.
#include <string>
#include <string_view>
#include <vector>

namespace sondrel {

class TLogFile {
 public:
  // Reads the stored reports when the file exists; a missing or unreadable file gives an empty list.
  // Text that does not end in a separator (a cut-off report, foreign text) is kept as one more report
  // rather than dropped, so that saving again never loses it.
  explicit TLogFile(std::string path);

  const std::string& Path() const { return path_; }
  // Each entry is a report followed by four CR LF pairs.
  const std::vector<std::string>& Entries() const { return entries_; }
  size_t Count() const { return entries_.size(); }

  // Drops the oldest entries so that maximum - 1 remain when the list is full, then appends the report.
  // A maximum below 1 counts as 1.
  void Add(std::string_view report, int maximum);
  // True when a stored report carries every value in the row with the same number ("2.2" ...).
  bool IsDuplicate(const std::vector<std::string>& rows, const std::vector<std::string>& values) const;
  // All entries joined by CR LF.
  std::string Text() const;
  // Replaces the file with all entries, each followed by CR LF, in one step: a failure leaves the old
  // file as it was. Raises EOSError on failure.
  void Save() const;

  // Parses the bytes of a log file into entries (exposed for tests and fuzzing).
  static std::vector<std::string> ParseEntries(std::string_view bytes);
  // The bytes Save writes.
  std::string Bytes() const;

 private:
  std::string path_;
  std::vector<std::string> entries_;
};

// The value of a numbered row ("2.3") in a report: the text after the ": " of the row's line up to its
// end; nullopt-like empty result with found = false when the report has no such row.
bool FindReportRowValue(std::string_view report, std::string_view row, std::string& value);

// Collapses runs of more than one empty line in text a user typed, so that it can never contain the
// separator of the log file.
std::string CollapseBlankLines(std::string_view text);

}  // namespace sondrel
