#include "model/fields.h"

namespace sondrel {

void SplitFields(char separator, std::string_view line, StringList& list) {
  list.clear();
  size_t start = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == separator) {
      list.emplace_back(line.substr(start, i - start));
      start = i + 1;
    }
  }
  if (start < line.size()) list.emplace_back(line.substr(start));
}

void SplitQuotedFields(char separator, std::string_view line, StringList& list) {
  list.clear();
  size_t i = 0;
  const size_t n = line.size();
  while (i < n) {
    std::string field;
    bool quoted = false;
    if (line[i] == '"') {
      quoted = true;
      ++i;
      bool closed = false;
      while (i < n) {
        if (line[i] == '"') {
          if (i + 1 < n && line[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        field += line[i++];
      }
      // A hand-edited file may leave a quote open; the rest of the line is then the value.
      if (!closed) {
        list.push_back(std::move(field));
        return;
      }
    }
    // Plain text, or stray text after a closing quote, up to the next separator.
    size_t sep = line.find(separator, i);
    size_t stop = sep == std::string_view::npos ? n : sep;
    field.append(line.substr(i, stop - i));
    if (sep == std::string_view::npos) {
      if (quoted || !field.empty()) list.push_back(std::move(field));
      return;
    }
    list.push_back(std::move(field));
    i = sep + 1;
  }
}

void SplitFields(char separator, std::string_view line, StringList& list, bool quoted) {
  if (quoted)
    SplitQuotedFields(separator, line, list);
  else
    SplitFields(separator, line, list);
}

bool NeedsQuotes(std::string_view value, char separator) {
  return value.find(separator) != std::string_view::npos || (!value.empty() && value.front() == '"');
}

std::string QuoteField(std::string_view value) {
  std::string r;
  r.reserve(value.size() + 2);
  r += '"';
  for (char c : value) {
    if (c == '"') r += '"';
    r += c;
  }
  r += '"';
  return r;
}

std::string JoinFields(const StringList& fields, char separator, bool quoted) {
  std::string r;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) r += separator;
    if (quoted && NeedsQuotes(fields[i], separator))
      r += QuoteField(fields[i]);
    else
      r += fields[i];
  }
  return r;
}

bool IsQuotedHeader(std::string_view header) {
  return header.size() >= kQuotedMarker.size() &&
         header.substr(header.size() - kQuotedMarker.size()) == kQuotedMarker;
}

bool IsBlankLine(std::string_view line) {
  for (char c : line)
    if (static_cast<unsigned char>(c) > 32) return false;
  return true;
}

}  // namespace sondrel
