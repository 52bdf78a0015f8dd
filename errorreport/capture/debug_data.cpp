#include "errorreport/capture/debug_data.h"

#include <algorithm>

#include "errorreport/capture/byte_view.h"

namespace sondrel {
namespace {

constexpr uint32_t kWideEscape = 0x0FFEFFFE;  // Q of a 32-bit entry whose D and J follow as 16-bit values
constexpr uint32_t kNoCode = 4095;            // Q >> 16 of a 32-bit entry that covers no code

std::string Unmask(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(c ^ kDebugNameMask);
  return r;
}

void AppendName(std::string& out, std::string_view name) {
  if (name.size() > 255) name = name.substr(0, 255);
  out.push_back(static_cast<char>(name.size()));
  for (char c : name) out.push_back(static_cast<char>(c ^ kDebugNameMask));
}

// The class and procedure a line-table name sets, given the class before it.
void ApplyName(std::string_view name, std::string& class_name, std::string& procedure) {
  if (!name.empty() && name[0] == '.') {
    procedure = name.substr(1);
  } else if (auto dot = name.find('.'); dot != std::string_view::npos) {
    class_name = name.substr(0, dot);
    procedure = name.substr(dot + 1);
  } else {
    class_name.clear();
    procedure = name;
  }
  if (!procedure.empty() && procedure[0] == '@') procedure[0] = '_';
}

}  // namespace

DebugData::DebugData(std::string bytes, uint16_t version) : bytes_(std::move(bytes)), version_(version) {}

DebugData::DebugData(std::function<std::string()> produce, uint16_t version)
    : produce_(std::move(produce)), version_(version) {}

void DebugData::Parse() const {
  std::call_once(parsed_, [this] { ParseOnce(); });
}

void DebugData::ParseOnce() const {
  if (produce_) {
    bytes_ = produce_();
    produce_ = nullptr;  // lets go of what it kept for producing (the compressed stream)
  }
  ByteView view(bytes_);
  ByteCursor c(view);
  if (version_ > 404) {
    names_len_ = c.take<uint32_t>();
    names_pos_ = static_cast<uint32_t>(c.pos());
    c.take_bytes(names_len_);
    if (!c.ok()) {
      names_len_ = 0;
      return;
    }
  }
  uint32_t count = c.take<uint32_t>();
  // Each unit takes at least 17 bytes, so a forged count ends at the end of the data.
  for (uint32_t i = 0; i < count && c.ok(); ++i) {
    Unit u{};
    u.name_pos = static_cast<uint32_t>(c.pos());
    c.take_bytes(c.take<uint8_t>());
    u.first_line = c.take<int32_t>();
    u.offset = c.take<uint32_t>();
    u.size = c.take<uint32_t>();
    u.table_len = c.take<uint32_t>();
    u.table_pos = static_cast<uint32_t>(c.pos());
    c.take_bytes(u.table_len);
    if (c.ok() && u.size > 0) units_.push_back(u);
  }
  by_start_.resize(units_.size());
  for (uint32_t i = 0; i < units_.size(); ++i) by_start_[i] = i;
  std::stable_sort(by_start_.begin(), by_start_.end(),
                   [&](uint32_t a, uint32_t b) { return units_[a].offset < units_[b].offset; });
  for (size_t i = 1; i < by_start_.size(); ++i) {
    const Unit& prev = units_[by_start_[i - 1]];
    if (uint64_t{prev.offset} + prev.size > units_[by_start_[i]].offset) overlapping_ = true;
  }
}

std::optional<DebugLineInfo> DebugData::Lookup(uint32_t rva) const {
  if (rva < kDebugCodeBase) return std::nullopt;
  Parse();
  const uint32_t offset = rva - kDebugCodeBase;
  auto holds = [offset](const Unit& u) { return offset >= u.offset && offset - u.offset < u.size; };
  if (!overlapping_) {
    // Units are disjoint, so the one starting last at or before the offset is the only candidate.
    auto it = std::upper_bound(by_start_.begin(), by_start_.end(), offset,
                               [&](uint32_t off, uint32_t idx) { return off < units_[idx].offset; });
    if (it == by_start_.begin()) return std::nullopt;
    const Unit& u = units_[*std::prev(it)];
    return holds(u) ? LookupInUnit(u, offset) : std::nullopt;
  }
  for (const Unit& u : units_)
    if (holds(u)) return LookupInUnit(u, offset);
  return std::nullopt;
}

std::optional<DebugLineInfo> DebugData::LookupInUnit(const Unit& u, uint32_t offset) const {
  ByteView all(bytes_);
  DebugLineInfo info;
  info.unit = Unmask(all.slice(u.name_pos + 1, static_cast<uint8_t>(bytes_[u.name_pos])).value_or(""));
  // Unit names are source file names as the writer stored them: a header without an extension
  // ("vector") is named as it is, not as a Pascal unit.

  ByteView table(*all.slice(u.table_pos, u.table_len));
  uint32_t start = u.offset;
  uint32_t line = static_cast<uint32_t>(u.first_line);  // unsigned: a forged step must not overflow
  size_t pos = 0;
  while (pos < table.size()) {
    const uint8_t b = *table.read<uint8_t>(pos);
    uint32_t step = 0, length = 0;
    bool named = false;
    if ((b & 1) == 0) {
      step = (b >> 6) + 1u;
      length = ((b >> 1) & 0x1Fu) + 1;
      pos += 1;
    } else if ((b & 3) == 3) {
      named = (b & 4) != 0;
      if (b & 8) {
        auto w = table.read<uint32_t>(pos);
        if (!w) break;
        pos += 4;
        const uint32_t q = *w >> 4;
        if (q == kWideEscape && version_ > 422) {
          auto d = table.read<uint16_t>(pos);
          auto j = table.read<uint16_t>(pos + 2);
          if (!d || !j) break;
          pos += 4;
          step = *d + 1u;
          length = *j + 1u;
        } else {
          step = (q & 0xFFFF) + 1;
          length = (q >> 16) == kNoCode ? 0 : (q >> 16) + 1;
        }
      } else {
        auto w = table.read<uint16_t>(pos);
        if (!w) break;
        pos += 2;
        step = (*w >> 11) + 1u;
        length = ((*w >> 4) & 0x7Fu) + 1;
      }
    } else {
      named = true;
      step = (b >> 5) + 1u;
      length = ((b >> 2) & 7u) + 1;
      pos += 1;
    }
    if (named) {
      auto len = table.read<uint8_t>(pos);
      auto name = len ? table.slice(pos + 1, *len) : std::nullopt;
      if (!name) break;
      pos += 1 + *len;
      ApplyName(Unmask(*name), info.class_name, info.procedure);
    }
    if (offset >= start && offset - start < length) {
      info.line = static_cast<int32_t>(line);
      return info;
    }
    start += length;
    line += step;
  }
  // The rest of the unit after its last entry belongs to the last running line.
  info.line = static_cast<int32_t>(line);
  return info;
}

std::optional<uint32_t> DebugData::FindProcedure(std::string_view name) const {
  Parse();
  ByteView table(std::string_view(bytes_).substr(names_pos_, names_len_));
  ByteCursor c(table);
  while (!c.at_end()) {
    std::string_view stored = c.take_bytes(c.take<uint8_t>());
    uint32_t offset = c.take<uint32_t>();
    c.take<uint32_t>();  // size
    if (!c.ok()) break;
    if (stored.size() == name.size() &&
        std::equal(stored.begin(), stored.end(), name.begin(),
                   [](char s, char n) { return static_cast<char>(s ^ kDebugNameMask) == n; }))
      return offset + kDebugCodeBase;
  }
  return std::nullopt;
}

// ---- writer ----

void DebugDataWriter::AddRange(DebugLineRange range) {
  if (range.size == 0 || range.rva < kDebugCodeBase) return;
  ranges_.push_back(std::move(range));
}

void DebugDataWriter::AddProcedure(std::string name, uint32_t rva, uint32_t size) {
  if (rva < kDebugCodeBase) return;
  procs_.push_back({std::move(name), rva, size});
}

namespace {

struct Entry {
  uint32_t length;
  int32_t line;
  const DebugLineRange* source;  // class and procedure
};
struct UnitOut {
  const std::string* file;
  uint32_t start;
  uint32_t end;
  std::vector<Entry> entries;
};

constexpr uint32_t kMaxStep = 0x10000;    // the largest D and J any entry form holds
constexpr uint32_t kMaxLength = 0x10000;

void AppendEntry(std::string& out, uint32_t step, uint32_t length, const std::string* name) {
  const uint32_t d = step - 1, j = length - 1;
  const uint32_t named = name ? 4 : 0;
  if (!name && d < 4 && j < 32) {
    out.push_back(static_cast<char>((d << 6) | (j << 1)));
  } else if (name && d < 8 && j < 8) {
    out.push_back(static_cast<char>((d << 5) | (j << 2) | 1));
  } else if (d < 32 && j < 128) {
    AppendLE<uint16_t>(out, static_cast<uint16_t>((d << 11) | (j << 4) | named | 3));
  } else if (d < 0x10000 && j < kNoCode && ((j << 16) | d) != kWideEscape) {
    AppendLE<uint32_t>(out, (((j << 16) | d) << 4) | 8 | named | 3);
  } else {
    AppendLE<uint32_t>(out, (kWideEscape << 4) | 8 | named | 3);
    AppendLE<uint16_t>(out, static_cast<uint16_t>(d));
    AppendLE<uint16_t>(out, static_cast<uint16_t>(j));
  }
  if (name) AppendName(out, *name);
}

// The line-table name that moves the reader from class `current` to the range's class and procedure.
std::string EntryName(const DebugLineRange& r, const std::string& current) {
  std::string cls = r.class_name, proc = r.procedure;
  // The reader splits at the first ".", so a class must not hold one, nor a procedure without class.
  std::replace(cls.begin(), cls.end(), '.', '_');
  if (cls.empty()) {
    std::replace(proc.begin(), proc.end(), '.', '_');
    return proc;
  }
  if (cls == current) return "." + proc;
  return cls + "." + proc;
}

}  // namespace

std::string DebugDataWriter::Build() const {
  std::vector<const DebugLineRange*> sorted;
  for (const auto& r : ranges_) sorted.push_back(&r);
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const DebugLineRange* a, const DebugLineRange* b) { return a->rva < b->rva; });

  std::vector<UnitOut> units;
  uint64_t covered = 0;  // end of the code already attributed
  for (const DebugLineRange* r : sorted) {
    uint64_t begin = std::max<uint64_t>(r->rva, covered);
    const uint64_t end = uint64_t{r->rva} + r->size;
    if (begin >= end) continue;
    covered = end;
    while (begin < end) {
      uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(end - begin, kMaxLength));
      UnitOut* u = units.empty() ? nullptr : &units.back();
      bool joined = false;
      if (u && *u->file == r->file && u->end == begin) {
        Entry& last = u->entries.back();
        const bool same_name = last.source->class_name == r->class_name && last.source->procedure == r->procedure;
        const int64_t step = int64_t{r->line} - last.line;
        if (step == 0 && same_name && last.length + length <= kMaxLength) {
          last.length += length;
          joined = true;
        } else if (step > 0 && step <= kMaxStep) {
          u->entries.push_back({length, r->line, r});
          joined = true;
        }
      }
      if (!joined) {
        units.push_back({&r->file, static_cast<uint32_t>(begin), 0, {}});
        units.back().entries.push_back({length, r->line, r});
        u = &units.back();
      }
      u = &units.back();
      u->end = static_cast<uint32_t>(begin + length);
      begin += length;
    }
  }

  std::string out;
  std::string names;
  for (const Proc& p : procs_) {
    AppendName(names, p.name);
    AppendLE<uint32_t>(names, p.rva - kDebugCodeBase);
    AppendLE<uint32_t>(names, p.size);
  }
  AppendLE<uint32_t>(out, static_cast<uint32_t>(names.size()));
  out += names;
  AppendLE<uint32_t>(out, static_cast<uint32_t>(units.size()));
  for (const UnitOut& u : units) {
    std::string table;
    std::string current_class;
    const DebugLineRange* named = nullptr;  // the range whose class and procedure the reader holds
    for (size_t i = 0; i < u.entries.size(); ++i) {
      const Entry& e = u.entries[i];
      const uint32_t step = i + 1 < u.entries.size() ? static_cast<uint32_t>(u.entries[i + 1].line - e.line) : 1;
      const bool needs_name = named ? (named->class_name != e.source->class_name || named->procedure != e.source->procedure)
                                    : (!e.source->class_name.empty() || !e.source->procedure.empty());
      if (needs_name) {
        std::string name = EntryName(*e.source, current_class);
        AppendEntry(table, step, e.length, &name);
        std::string proc;
        ApplyName(name.size() > 255 ? std::string_view(name).substr(0, 255) : std::string_view(name), current_class, proc);
        named = e.source;
      } else {
        AppendEntry(table, step, e.length, nullptr);
      }
    }
    AppendName(out, *u.file);
    AppendLE<int32_t>(out, u.entries.front().line);
    AppendLE<uint32_t>(out, u.start - kDebugCodeBase);
    AppendLE<uint32_t>(out, u.end - u.start);
    AppendLE<uint32_t>(out, static_cast<uint32_t>(table.size()));
    out += table;
  }
  return out;
}

std::string EncodeDebugData(std::vector<DebugProcedure> procedures, std::vector<DebugLineRow> rows) {
  auto by_rva = [](const auto& a, const auto& b) { return a.rva < b.rva; };
  std::stable_sort(procedures.begin(), procedures.end(), by_rva);
  std::stable_sort(rows.begin(), rows.end(), by_rva);
  DebugDataWriter w;
  for (const auto& p : procedures)
    w.AddProcedure(p.class_name.empty() ? p.name : p.class_name + "::" + p.name, p.rva, p.size);
  constexpr uint32_t kLooseRowLimit = 4096;
  for (size_t i = 0; i < rows.size(); ++i) {
    const DebugLineRow& r = rows[i];
    if (r.line <= 0 || i + 1 == rows.size()) continue;
    uint64_t end = rows[i + 1].rva;
    // The procedure that starts last at or before the row holds it, when it reaches that far.
    auto it = std::upper_bound(procedures.begin(), procedures.end(), r.rva,
                               [](uint32_t rva, const DebugProcedure& p) { return rva < p.rva; });
    const DebugProcedure* proc = nullptr;
    if (it != procedures.begin() && r.rva - std::prev(it)->rva < std::prev(it)->size) proc = &*std::prev(it);
    if (proc)
      end = std::min<uint64_t>(end, uint64_t{proc->rva} + proc->size);
    else if (end - r.rva > kLooseRowLimit)
      continue;
    if (end <= r.rva) continue;
    w.AddRange({r.rva, static_cast<uint32_t>(end - r.rva), r.unit, r.line, proc ? proc->class_name : "",
                proc ? proc->name : ""});
  }
  return w.Build();
}

}  // namespace sondrel
