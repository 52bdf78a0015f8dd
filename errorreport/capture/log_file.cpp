#include "errorreport/capture/log_file.h"

#include <algorithm>

#include "base/file.h"
#include "base/text.h"

namespace sondrel {
namespace {
constexpr std::string_view kSeparator = "\r\n\r\n\r\n\r\n";
constexpr std::string_view kCrLf = "\r\n";

bool OnlyBlanks(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}
}  // namespace

TLogFile::TLogFile(std::string path) : path_(std::move(path)) {
  if (auto bytes = ReadFileBytes(path_)) entries_ = ParseEntries(*bytes);
}

std::vector<std::string> TLogFile::ParseEntries(std::string_view bytes) {
  std::vector<std::string> entries;
  size_t start = 0;
  while (start < bytes.size()) {
    const size_t sep = bytes.find(kSeparator, start);
    if (sep == std::string_view::npos) break;
    // The whole run of line ends belongs to the separator: a report that ends in a line end of its
    // own gives five pairs before the one that ends the entry. The entry keeps all but that last
    // pair, as Add stored it, so that a log read and saved again is the same file byte for byte.
    size_t end = sep + kSeparator.size();
    while (bytes.substr(end, kCrLf.size()) == kCrLf) end += kCrLf.size();
    const size_t pairs = (end - sep) / kCrLf.size();
    const size_t kept_end = pairs > 4 ? end - kCrLf.size() : end;
    entries.emplace_back(bytes.substr(start, kept_end - start));
    start = end;
  }
  // Whatever follows the last separator is not a complete entry: a report cut off by a crash, or a
  // file that was never a log. Keep it as one report so that nothing the file held is lost.
  std::string_view rest = bytes.substr(std::min(start, bytes.size()));
  if (!OnlyBlanks(rest)) {
    std::string tail(rest);
    while (tail.size() >= 2 && tail.compare(tail.size() - 2, 2, kCrLf) == 0) tail.resize(tail.size() - 2);
    entries.push_back(tail + std::string(kSeparator));
  }
  return entries;
}

void TLogFile::Add(std::string_view report, int maximum) {
  const size_t keep = static_cast<size_t>(std::max(maximum, 1) - 1);
  if (entries_.size() > keep) entries_.erase(entries_.begin(), entries_.end() - static_cast<ptrdiff_t>(keep));
  entries_.push_back(std::string(report) + std::string(kSeparator));
}

bool TLogFile::IsDuplicate(const std::vector<std::string>& rows, const std::vector<std::string>& values) const {
  for (const auto& entry : entries_) {
    bool all = true;
    for (size_t i = 0; i < rows.size() && all; ++i) {
      std::string v;
      // A report without the row (hidden by the report fields) cannot prove the same error.
      all = FindReportRowValue(entry, rows[i], v) && i < values.size() && v == values[i];
    }
    if (all && !rows.empty()) return true;
  }
  return false;
}

std::string TLogFile::Text() const { return Join(entries_, kCrLf); }

std::string TLogFile::Bytes() const {
  std::string out;
  for (const auto& e : entries_) {
    out += e;
    out += kCrLf;
  }
  return out;
}

void TLogFile::Save() const { WriteFileAtomic(path_, Bytes()); }

bool FindReportRowValue(std::string_view report, std::string_view row, std::string& value) {
  const std::string key = "\r\n  " + std::string(row) + " ";
  const size_t at = report.find(key);
  if (at == std::string_view::npos) return false;
  const size_t colon = report.find(": ", at + key.size());
  if (colon == std::string_view::npos) return false;
  const size_t begin = colon + 2;
  size_t end = report.find(kCrLf, begin);
  if (end == std::string_view::npos) end = report.size();
  // The colon must be on the row's own line.
  const size_t line_end = report.find(kCrLf, at + kCrLf.size());
  if (line_end != std::string_view::npos && colon > line_end) return false;
  value.assign(report.substr(begin, end - begin));
  return true;
}

std::string CollapseBlankLines(std::string_view text) {
  StringList lines = SplitLines(TrimRight(text));
  std::string out;
  bool last_empty = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const bool empty = lines[i].empty();
    if (empty && last_empty) continue;
    if (!out.empty() || i > 0) out += kCrLf;
    out += lines[i];
    last_empty = empty;
  }
  return out;
}

}  // namespace sondrel
