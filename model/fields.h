#pragma once
// Field splitting and joining for the table files. A plain file follows one rule: no quoting, no
// escape. A file whose header line ends with the quoted-values marker may hold values in double quotes
// (a doubled quote inside stands for one), so that a value can carry its separator; such a file is
// written only when some value needs it, so every other file stays in the plain format.
#include <string>
#include <string_view>

#include "base/text.h"

namespace sondrel {

// The header suffix that marks a file holding quoted values.
inline constexpr std::string_view kQuotedMarker = ",QUOTED";

// The plain rule: the list is emptied; every separator ends the current field, which is appended even
// when empty; at the end of the line the last field is appended only if it is not empty.
void SplitFields(char separator, std::string_view line, StringList& list);

// The rule of marked files: as SplitFields, but a field that begins with a double quote runs to the
// closing quote, and a doubled quote inside it stands for one. A quoted field is appended even when
// empty. Text after the closing quote, or an unterminated quote, is taken literally (never an error).
void SplitQuotedFields(char separator, std::string_view line, StringList& list);
void SplitFields(char separator, std::string_view line, StringList& list, bool quoted);

// True when the value cannot be written plain in a marked file: it holds the separator or begins with
// a double quote.
bool NeedsQuotes(std::string_view value, char separator);
// The value in double quotes with its quotes doubled.
std::string QuoteField(std::string_view value);
// Joins fields with the separator; in a marked file each field that NeedsQuotes is quoted.
std::string JoinFields(const StringList& fields, char separator, bool quoted);

// True when the header line carries the marker.
bool IsQuotedHeader(std::string_view header);
// True when a line holds only characters with codes up to 32 (or nothing).
bool IsBlankLine(std::string_view line);

}  // namespace sondrel
