#pragma once
// Line debug data of one module: which source file, procedure and line each range of its code came
// from. The build-time tool writes it (DebugDataWriter) from the compiler's line information into the
// module's options block; the reporter reads it (DebugData) to name the addresses of a call stack.
//
// Layout, all integers 32-bit little-endian unless said otherwise; a "name" is one length byte and
// that many bytes, each XORed with kDebugNameMask; code offsets count from the module handle + 0x1000:
//   version > 404: length L, then L bytes of procedure entries (name, code offset, size)
//   unit count, then per unit: name, first line, code offset, code size, length of its line table,
//   and the line table: one entry per run of code, each a line step D >= 1, a code length J and
//   optionally a procedure name "Class.Proc" (".Proc" keeps the class, "Proc" has none), in one of
//   four forms chosen by the first byte B:
//     B bit 0 clear            1 byte, no name: D = (B >> 6) + 1, J = ((B >> 1) & 0x1F) + 1
//     B bits 0,1 set, bit 3 0  16-bit word W, name when bit 2: D = (W >> 11) + 1, J = ((W >> 4) & 0x7F) + 1
//     B bits 0,1 set, bit 3 1  32-bit word W, name when bit 2, Q = W >> 4: D = (Q & 0xFFFF) + 1,
//                              J = (Q >> 16) + 1, or 0 when Q >> 16 is 4095; Q = 0x0FFEFFFE with
//                              version > 422: two 16-bit values follow, D = first + 1, J = second + 1
//     B bit 0 set, bit 1 clear 1 byte, name follows: D = (B >> 5) + 1, J = ((B >> 2) & 7) + 1
//   The name, when present, follows the entry's bytes. Entry k covers J bytes from where entry k-1
//   ended (the unit's code offset for the first) and carries the running line before its D is added.
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "errorreport/delivery/block_format.h"

namespace sondrel {

// Every byte of every name is XORed with this mask, so that the names do not show up in a plain text
// search of the program file.
inline constexpr uint8_t kDebugNameMask = 0x3C;
inline constexpr uint32_t kDebugCodeBase = 0x1000;  // code offsets count from here (relative to the handle)
// The layout version the writer produces (that of the options block that carries the data); the
// reader takes the version of the block it came from.
inline constexpr uint16_t kDebugDataVersion = kLibraryVersion;

// What the line data says about one code address.
struct DebugLineInfo {
  std::string unit;        // source file name as stored ("FMain.cpp", "vector")
  std::string class_name;  // may be empty
  std::string procedure;
  int32_t line = 0;
};

// A read-only debug stream, parsed at its first lookup (from any thread; once): a program that never
// reports never pays for the tens of thousands of unit records. Parsing never fails: a corrupt or
// truncated stream keeps the units read before the fault, and lookups inside a corrupt line table stop
// where it breaks.
class DebugData {
 public:
  DebugData(std::string bytes, uint16_t version);
  // The bytes made by produce at the first lookup (a stream still to be inflated); empty bytes from it
  // are a stream with no units.
  DebugData(std::function<std::string()> produce, uint16_t version);

  // The line entry covering the address at rva (address - module handle); nullopt when no unit
  // holds it. The first unit in stream order that holds it decides.
  std::optional<DebugLineInfo> Lookup(uint32_t rva) const;
  // rva of the first procedure entry whose name equals name exactly (letter case counts).
  std::optional<uint32_t> FindProcedure(std::string_view name) const;

  const std::string& bytes() const {
    Parse();
    return bytes_;
  }
  uint16_t version() const noexcept { return version_; }
  size_t unit_count() const {
    Parse();
    return units_.size();
  }

 private:
  struct Unit {
    uint32_t offset;      // code offset of its first byte
    uint32_t size;        // code bytes, > 0
    uint32_t name_pos;    // position of its name in bytes_
    uint32_t table_pos;   // position and length of its line table
    uint32_t table_len;
    int32_t first_line;
  };
  std::optional<DebugLineInfo> LookupInUnit(const Unit& u, uint32_t offset) const;
  void Parse() const;
  void ParseOnce() const;

  mutable std::function<std::string()> produce_;
  mutable std::string bytes_;
  uint16_t version_;
  mutable std::once_flag parsed_;
  mutable uint32_t names_pos_ = 0, names_len_ = 0;
  mutable std::vector<Unit> units_;        // stream order
  mutable std::vector<uint32_t> by_start_;  // indexes into units_ sorted by offset, used when no units overlap
  mutable bool overlapping_ = false;
};

// One run of code that the compiler's line information attributes to one source line.
struct DebugLineRange {
  uint32_t rva = 0;          // relative to the module handle; ranges below 0x1000 are dropped
  uint32_t size = 0;         // bytes; 0 is dropped
  std::string file;          // the unit name to show: the source file name, such as "FMain.cpp"
  int32_t line = 0;
  std::string class_name;    // enclosing scope of the procedure ("sondrel::TfrmMain"), may be empty
  std::string procedure;     // the procedure's own name ("btnSearchClick")
};

// Collects line ranges and procedure entries and produces the bytes of a debug stream of
// kDebugDataVersion. Ranges may come in any order; where they overlap the one with the lower rva keeps
// the bytes. Lines may go backwards in address order (optimised code): the writer then starts a new
// unit record with the same file name, since one line table only steps forwards. Names longer than 255
// bytes are cut to 255.
class DebugDataWriter {
 public:
  void AddRange(DebugLineRange range);
  // A procedure for FindProcedure (such as "sondrel::TApplication::HandleException").
  void AddProcedure(std::string name, uint32_t rva, uint32_t size);
  std::string Build() const;

 private:
  std::vector<DebugLineRange> ranges_;
  struct Proc {
    std::string name;
    uint32_t rva, size;
  };
  std::vector<Proc> procs_;
};

// The shape a line-table reader gives most easily: address points rather than ranges.
struct DebugLineRow {
  uint32_t rva = 0;  // address - image base
  std::string unit;  // source file name part
  int32_t line = 0;  // 0 or less: an end-of-sequence mark, it ends the row before it and is not stored
  bool program_file = true;  // the line is in one of the program's own files (not a library's)
};
struct DebugProcedure {
  uint32_t rva = 0;
  uint32_t size = 0;
  std::string unit, class_name, name;
};
// Each row covers the code from its rva up to the next row's rva (rows are sorted here), and at most to
// the end of the procedure that holds it; a row outside every procedure covers up to the next row only
// when that is within 4096 bytes. The procedure holding a row names it. Every procedure also goes into
// the procedure table as "class_name::name" (or "name" without class).
std::string EncodeDebugData(std::vector<DebugProcedure> procedures, std::vector<DebugLineRow> rows);

}  // namespace sondrel
