#include "tools/dwarf_lines.h"

#include <cxxabi.h>
#include <libdwarf/dwarf.h>
#include <libdwarf/libdwarf.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <tuple>
#include <memory>
#include <stdexcept>

#include "base/file.h"
#include "errorreport/capture/export_names.h"

namespace sondrel::tools {
namespace {

// Positions of "::" at nesting depth 0 (outside <...> and (...)), and of a blank at depth 0.
struct TopLevel {
  size_t last_scope = std::string::npos;
  size_t last_blank = std::string::npos;
};

TopLevel ScanTopLevel(const std::string& s) {
  TopLevel t;
  int depth = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '<' || c == '(' || c == '[') {
      // "operator<" and "operator<<" are names, not template brackets.
      if (c == '<' && i >= 8 && s.compare(i - 8, 8, "operator") == 0) continue;
      if (c == '<' && i >= 9 && s.compare(i - 9, 9, "operator<") == 0) continue;
      ++depth;
    } else if (c == '>' || c == ')' || c == ']') {
      if (c == '>' && i >= 8 && (s.compare(i - 8, 8, "operator") == 0 || s.compare(i - 1, 1, "-") == 0)) continue;
      if (depth > 0) --depth;
    } else if (depth == 0 && c == ':' && i + 1 < s.size() && s[i + 1] == ':') {
      t.last_scope = i;
      ++i;
    } else if (depth == 0 && c == ' ' && !(i >= 8 && s.compare(i - 8, 8, "operator") == 0)) {
      t.last_blank = i;
    }
  }
  return t;
}

// The name without its parameter list and qualifiers: cut at the '(' that opens the last top-level
// parenthesised group.
std::string WithoutParameters(const std::string& s) {
  if (s.empty() || (s.back() != ')' && s.find(')') == std::string::npos)) return s;
  size_t end = s.rfind(')');
  int depth = 0;
  for (size_t i = end + 1; i-- > 0;) {
    if (s[i] == ')') ++depth;
    if (s[i] == '(' && --depth == 0) {
      // "(anonymous namespace)" is part of the scope, not a parameter list.
      if (s.compare(i, 21, "(anonymous namespace)") == 0) return s;
      return s.substr(0, i);
    }
  }
  return s;
}

std::string Demangled(const std::string& linkage) {
  // A stdcall procedure's name carries the size of its arguments ("...@16"), which is no part of the
  // mangled name.
  const std::string mangled(StripStdcallSuffix(linkage));
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> d(abi::__cxa_demangle(mangled.c_str(), nullptr, nullptr, &status),
                                                 &std::free);
  return status == 0 && d ? std::string(d.get()) : mangled;
}

constexpr const char* kAnonymous = "(anonymous namespace)";

// A name as a reader of the call stack knows it: anonymous namespaces and the library's ABI tags
// ("[abi:cxx11]") are left out.
std::string Readable(std::string s) {
  for (size_t at; (at = s.find("[abi:")) != std::string::npos;) {
    const size_t end = s.find(']', at);
    if (end == std::string::npos) break;
    s.erase(at, end + 1 - at);
  }
  for (size_t at; (at = s.find(std::string(kAnonymous) + "::")) != std::string::npos;) s.erase(at, 23);
  if (s == kAnonymous) s.clear();
  if (s.size() > 23 && s.compare(s.size() - 23, 23, std::string("::") + kAnonymous) == 0) s.erase(s.size() - 23);
  return s;
}

class Reader {
 public:
  Reader(const std::string& path, uint32_t image_base, std::string source_root)
      : image_base_(image_base), source_root_(std::move(source_root)) {
    Dwarf_Error err = nullptr;
    int rc = dwarf_init_path(path.c_str(), nullptr, 0, DW_DLC_READ, DW_GROUPNUMBER_ANY, nullptr, nullptr, &dbg_,
                             nullptr, 0, nullptr, &err);
    if (rc != DW_DLV_OK) throw std::runtime_error("no DWARF debug information in " + path);
  }
  ~Reader() { dwarf_finish(dbg_, nullptr); }

  ProgramDebugInfo Read() {
    ProgramDebugInfo info;
    Dwarf_Error err = nullptr;
    while (true) {
      Dwarf_Unsigned next = 0;
      Dwarf_Half type = 0;
      int rc = dwarf_next_cu_header_d(dbg_, true, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      nullptr, &next, &type, &err);
      if (rc != DW_DLV_OK) break;
      Dwarf_Die cu = nullptr;
      if (dwarf_siblingof_b(dbg_, nullptr, true, &cu, &err) != DW_DLV_OK) continue;
      std::vector<Row> rows;
      ReadLines(cu, rows);
      std::vector<Pending> pending;
      std::vector<InlineRange> inlined;
      Walk(cu, {}, pending, inlined, nullptr);
      AttributeInlinedCode(rows, inlined);
      AttributeLibraryCode(rows, pending);
      for (Row& r : rows) {
        r.row.program_file = r.own;
        info.rows.push_back(std::move(r.row));
      }
      AddProcedures(pending, info.procedures);
      scope_of_.clear();
      files_.clear();
      dwarf_dealloc_die(cu);
    }
    return info;
  }

 private:
  struct Pending;
  // A line row with what decides whether it is the program's own code.
  struct Row {
    DebugLineRow row;
    bool own = true;
  };

  // A stretch of code inlined into the program's own code, and the call that brought it there: the line
  // a developer reading the call stack looks for when the inlined code came from a library header.
  struct CallSite {
    std::string unit;
    int32_t line = 0;
  };
  struct InlineRange {
    uint32_t begin, end;  // rva
    int depth;
    const CallSite* site;
  };

  bool ToRva(Dwarf_Addr addr, uint32_t& rva) const {
    if (addr < image_base_ || addr - image_base_ > 0xFFFFFFFFu) return false;
    rva = static_cast<uint32_t>(addr - image_base_);
    return true;
  }

  // The program's own files: those under the source root when one is given, else everything outside
  // the system's folders (the compiler's and the platform's headers live under /usr).
  bool IsProgramFile(const std::string& path) const {
    if (!source_root_.empty()) return path.compare(0, source_root_.size(), source_root_) == 0;
    return path.compare(0, 5, "/usr/") != 0;
  }

  void ReadLines(Dwarf_Die cu, std::vector<Row>& rows) {
    Dwarf_Error err = nullptr;
    Dwarf_Unsigned version = 0;
    Dwarf_Small tables = 0;
    Dwarf_Line_Context ctx = nullptr;
    if (dwarf_srclines_b(cu, &version, &tables, &ctx, &err) != DW_DLV_OK) return;
    Dwarf_Line* lines = nullptr;
    Dwarf_Signed count = 0;
    if (dwarf_srclines_from_linecontext(ctx, &lines, &count, &err) == DW_DLV_OK) {
      for (Dwarf_Signed i = 0; i < count; ++i) {
        Dwarf_Addr addr = 0;
        Dwarf_Unsigned line = 0, fileno = 0;
        Dwarf_Bool end = false;
        char* src = nullptr;
        uint32_t rva = 0;
        if (dwarf_lineaddr(lines[i], &addr, &err) != DW_DLV_OK || !ToRva(addr, rva)) continue;
        dwarf_lineendsequence(lines[i], &end, &err);
        dwarf_lineno(lines[i], &line, &err);
        Row row;
        row.row.rva = rva;
        row.row.line = end ? 0 : static_cast<int32_t>(line);
        if (!end && dwarf_linesrc(lines[i], &src, &err) == DW_DLV_OK) {
          const std::string path = src;
          dwarf_dealloc(dbg_, src, DW_DLA_STRING);
          row.row.unit = ExtractFileName(path);
          row.own = IsProgramFile(path);
          // The line program's file numbers are those of the call-site attributes of the same unit.
          if (dwarf_line_srcfileno(lines[i], &fileno, &err) == DW_DLV_OK) files_[fileno] = {row.row.unit, row.own};
        }
        // A row of line 0 is code the compiler could not attribute; it ends the row before it.
        rows.push_back(std::move(row));
      }
    }
    dwarf_srclines_dealloc_b(ctx);
  }

  // Code of a library header inlined into the program's code is shown at the line of the call in the
  // program's own file (the innermost such call when inlining nests); the program's own headers keep
  // their lines. Ranges nest, so the deepest one open at a row's address names its call.
  static void AttributeInlinedCode(std::vector<Row>& rows, std::vector<InlineRange>& inlined) {
    std::stable_sort(inlined.begin(), inlined.end(), [](const InlineRange& a, const InlineRange& b) {
      return a.begin != b.begin ? a.begin < b.begin : a.depth < b.depth;
    });
    std::vector<size_t> order(rows.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return rows[a].row.rva < rows[b].row.rva; });
    std::vector<const InlineRange*> open;
    size_t next = 0;
    for (size_t i : order) {
      Row& r = rows[i];
      const uint32_t at = r.row.rva;
      while (next < inlined.size() && inlined[next].begin <= at) open.push_back(&inlined[next++]);
      std::erase_if(open, [at](const InlineRange* x) { return x->end <= at; });
      if (r.own || r.row.line <= 0) continue;
      const InlineRange* deepest = nullptr;
      for (const InlineRange* x : open)
        if (!deepest || x->depth > deepest->depth) deepest = x;
      if (deepest && deepest->site) {
        r.row.unit = deepest->site->unit;
        r.row.line = deepest->site->line;
      }
    }
  }

  // What the inline records leave in a library's files: in the program's own procedures (the compiler's
  // records of inlined code do not cover every instruction it moved) such a row takes the line of the
  // program's code around it, the one before it or else the one after it; in a library's procedure
  // (a standard template instantiated here, the C runtime) every row of the library's files takes the
  // procedure's first line, so that one entry names the procedure whatever its inner lines were. Rows of
  // the program's files keep their lines everywhere.
  void AttributeLibraryCode(std::vector<Row>& rows, const std::vector<Pending>& pending) const {
    struct Span {
      uint32_t begin, end;
      size_t proc;
    };
    std::vector<Span> spans;
    for (size_t i = 0; i < pending.size(); ++i)
      for (auto [low, high] : pending[i].ranges) {
        uint32_t b = 0, e = 0;
        if (high > low && ToRva(low, b) && ToRva(high, e)) spans.push_back({b, e, i});
      }
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.begin < b.begin; });
    std::vector<std::vector<size_t>> rows_of(pending.size());
    std::vector<size_t> order(rows.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return rows[a].row.rva < rows[b].row.rva; });
    for (size_t i : order) {
      if (rows[i].row.line <= 0) continue;
      auto it = std::upper_bound(spans.begin(), spans.end(), rows[i].row.rva,
                                 [](uint32_t rva, const Span& s) { return rva < s.begin; });
      if (it != spans.begin() && rows[i].row.rva < std::prev(it)->end) rows_of[std::prev(it)->proc].push_back(i);
    }
    for (size_t p = 0; p < pending.size(); ++p) {
      const std::vector<size_t>& mine = rows_of[p];
      if (mine.empty()) continue;
      bool program = false;
      for (size_t i : mine) program = program || rows[i].own;
      if (!IsProgramProcedure(pending[p], program)) {
        const DebugLineRow first = rows[mine.front()].row;
        for (size_t i : mine)
          if (!rows[i].own) rows[i].row.unit = first.unit, rows[i].row.line = first.line;
        continue;
      }
      std::vector<bool> placed(mine.size());
      auto fill = [&](auto begin, auto end) {
        const Row* last = nullptr;
        for (auto it = begin; it != end; ++it) {
          Row& r = rows[mine[*it]];
          if (r.own) {
            last = &r;
          } else if (last && !placed[*it]) {
            r.row.unit = last->row.unit;
            r.row.line = last->row.line;
            placed[*it] = true;
          }
        }
      };
      std::vector<size_t> at(mine.size());
      for (size_t k = 0; k < at.size(); ++k) at[k] = k;
      fill(at.begin(), at.end());
      fill(at.rbegin(), at.rend());
    }
  }

  // A procedure declared in one of the program's files (a template of the program's own included); when
  // its declaration's file is not known, one with code of the program's files.
  bool IsProgramProcedure(const Pending& p, bool has_program_rows) const {
    auto f = p.names.decl_file ? files_.find(p.names.decl_file) : files_.end();
    return f != files_.end() ? f->second.own : has_program_rows;
  }

  std::string StringAttr(Dwarf_Die die, Dwarf_Half name) {
    Dwarf_Attribute attr = nullptr;
    Dwarf_Error err = nullptr;
    if (dwarf_attr(die, name, &attr, &err) != DW_DLV_OK) return {};
    char* s = nullptr;
    std::string r;
    if (dwarf_formstring(attr, &s, &err) == DW_DLV_OK && s) r = s;
    dwarf_dealloc_attribute(attr);
    return r;
  }

  bool UnsignedAttr(Dwarf_Die die, Dwarf_Half name, Dwarf_Unsigned& value) {
    Dwarf_Attribute attr = nullptr;
    Dwarf_Error err = nullptr;
    if (dwarf_attr(die, name, &attr, &err) != DW_DLV_OK) return false;
    const bool ok = dwarf_formudata(attr, &value, &err) == DW_DLV_OK;
    dwarf_dealloc_attribute(attr);
    return ok;
  }

  // The DIE an attribute refers to (DW_AT_specification, DW_AT_abstract_origin).
  Dwarf_Die RefDie(Dwarf_Die die, Dwarf_Half name) {
    Dwarf_Attribute attr = nullptr;
    Dwarf_Error err = nullptr;
    if (dwarf_attr(die, name, &attr, &err) != DW_DLV_OK) return nullptr;
    Dwarf_Off off = 0;
    Dwarf_Die target = nullptr;
    if (dwarf_global_formref(attr, &off, &err) == DW_DLV_OK) dwarf_offdie_b(dbg_, off, true, &target, &err);
    dwarf_dealloc_attribute(attr);
    return target;
  }

  struct Names {
    std::string linkage;  // demangled
    std::string plain;
    Dwarf_Off decl = 0;   // the declaration completed (its scope names the class), 0 when none
    Dwarf_Unsigned decl_file = 0;  // the line program's number of the file that declares it, 0 when unknown
  };

  // The linkage name and plain name of a procedure, following the declaration it completes or the
  // abstract instance it is a copy of for whatever the DIE itself lacks.
  Names ProcedureNames(Dwarf_Die die, int hops = 0) {
    Names n;
    n.linkage = StringAttr(die, DW_AT_linkage_name);
    if (n.linkage.empty()) n.linkage = StringAttr(die, DW_AT_MIPS_linkage_name);
    if (!n.linkage.empty()) n.linkage = Demangled(n.linkage);
    n.plain = StringAttr(die, DW_AT_name);
    UnsignedAttr(die, DW_AT_decl_file, n.decl_file);
    if (hops >= 3) return n;
    for (Dwarf_Half ref : {DW_AT_specification, DW_AT_abstract_origin}) {
      Dwarf_Die target = RefDie(die, ref);
      if (!target) continue;
      Dwarf_Off off = 0;
      dwarf_dieoffset(target, &off, nullptr);
      Names t = ProcedureNames(target, hops + 1);
      dwarf_dealloc_die(target);
      if (n.linkage.empty()) n.linkage = t.linkage;
      if (n.plain.empty()) n.plain = t.plain;
      if (!n.decl_file) n.decl_file = t.decl_file;
      if (!n.decl) n.decl = t.decl ? t.decl : off;
      break;
    }
    return n;
  }

  // The code ranges of a procedure: low_pc/high_pc, or a range list (hot and cold parts).
  std::vector<std::pair<Dwarf_Addr, Dwarf_Addr>> CodeRanges(Dwarf_Die die) {
    std::vector<std::pair<Dwarf_Addr, Dwarf_Addr>> ranges;
    Dwarf_Error err = nullptr;
    Dwarf_Addr low = 0, high = 0;
    Dwarf_Half form = 0;
    enum Dwarf_Form_Class cls = DW_FORM_CLASS_UNKNOWN;
    if (dwarf_lowpc(die, &low, &err) == DW_DLV_OK) {
      if (dwarf_highpc_b(die, &high, &form, &cls, &err) != DW_DLV_OK) return ranges;
      if (cls != DW_FORM_CLASS_ADDRESS) high += low;
      ranges.emplace_back(low, high);
      return ranges;
    }
    Dwarf_Attribute attr = nullptr;
    if (dwarf_attr(die, DW_AT_ranges, &attr, &err) != DW_DLV_OK) return ranges;
    Dwarf_Unsigned value = 0;
    Dwarf_Off offset = 0;
    if (dwarf_whatform(attr, &form, &err) == DW_DLV_OK &&
        (dwarf_formudata(attr, &value, &err) == DW_DLV_OK ||
         (dwarf_global_formref(attr, &offset, &err) == DW_DLV_OK && ((value = offset), true)))) {
      Dwarf_Rnglists_Head head = nullptr;
      Dwarf_Unsigned count = 0, global = 0;
      if (dwarf_rnglists_get_rle_head(attr, form, value, &head, &count, &global, &err) == DW_DLV_OK) {
        for (Dwarf_Unsigned i = 0; i < count; ++i) {
          unsigned len = 0, code = 0;
          Dwarf_Unsigned raw1 = 0, raw2 = 0, cooked1 = 0, cooked2 = 0;
          Dwarf_Bool unavailable = false;
          if (dwarf_get_rnglists_entry_fields_a(head, i, &len, &code, &raw1, &raw2, &unavailable, &cooked1,
                                                &cooked2, &err) != DW_DLV_OK)
            break;
          const bool is_range = code == DW_RLE_startx_endx || code == DW_RLE_startx_length ||
                                code == DW_RLE_offset_pair || code == DW_RLE_start_end || code == DW_RLE_start_length;
          if (is_range && !unavailable && cooked2 > cooked1) ranges.emplace_back(cooked1, cooked2);
        }
        dwarf_dealloc_rnglists_head(head);
      }
    }
    dwarf_dealloc_attribute(attr);
    return ranges;
  }

  // Where a DIE stands: its enclosing scope as the demangler writes it, and whether the innermost
  // enclosing scope is a class (then a procedure there is a member).
  struct Scope {
    std::string name;
    bool in_class = false;
  };

  struct Pending {
    Names names;
    Scope scope;  // of the DIE where it stands
    std::vector<std::pair<Dwarf_Addr, Dwarf_Addr>> ranges;
  };

  // An inlined call: its ranges go to `inlined` with the innermost call site that lies in the program's
  // own code (this one, when its call stands in a program file).
  void AddInlined(Dwarf_Die die, std::vector<InlineRange>& inlined, const CallSite*& site, int depth) {
    Dwarf_Unsigned file = 0, line = 0;
    if (UnsignedAttr(die, DW_AT_call_file, file) && UnsignedAttr(die, DW_AT_call_line, line)) {
      auto f = files_.find(file);
      if (f != files_.end() && f->second.own && line > 0) {
        sites_.push_back(std::make_unique<CallSite>(CallSite{f->second.unit, static_cast<int32_t>(line)}));
        site = sites_.back().get();
      }
    }
    if (!site) return;
    for (auto [low, high] : CodeRanges(die)) {
      uint32_t b = 0, e = 0;
      if (high > low && ToRva(low, b) && ToRva(high, e)) inlined.push_back({b, e, depth, site});
    }
  }

  void Walk(Dwarf_Die parent, const Scope& scope, std::vector<Pending>& pending, std::vector<InlineRange>& inlined,
            const CallSite* site, int depth = 0) {
    Dwarf_Error err = nullptr;
    Dwarf_Die child = nullptr;
    if (depth > 64 || dwarf_child(parent, &child, &err) != DW_DLV_OK) return;
    while (child) {
      Dwarf_Half tag = 0;
      dwarf_tag(child, &tag, &err);
      Dwarf_Off off = 0;
      dwarf_dieoffset(child, &off, &err);
      if (tag == DW_TAG_subprogram) {
        scope_of_[off] = scope;
        auto ranges = CodeRanges(child);
        if (!ranges.empty()) pending.push_back({ProcedureNames(child), scope, std::move(ranges)});
      }
      // Procedures can sit inside namespaces, classes, other procedures (local classes, lambdas)
      // and lexical blocks; inlined calls nest inside procedures, blocks and other inlined calls.
      if (tag == DW_TAG_namespace || tag == DW_TAG_class_type || tag == DW_TAG_structure_type ||
          tag == DW_TAG_union_type) {
        std::string name = StringAttr(child, DW_AT_name);
        if (name.empty()) name = tag == DW_TAG_namespace ? kAnonymous : "{unnamed type}";
        Walk(child, {scope.name.empty() ? name : scope.name + "::" + name, tag != DW_TAG_namespace}, pending, inlined,
             site, depth + 1);
      } else if (tag == DW_TAG_subprogram || tag == DW_TAG_lexical_block) {
        Walk(child, scope, pending, inlined, site, depth + 1);
      } else if (tag == DW_TAG_inlined_subroutine) {
        const CallSite* inner = site;
        AddInlined(child, inlined, inner, depth);
        Walk(child, scope, pending, inlined, inner, depth + 1);
      }
      Dwarf_Die next = nullptr;
      int rc = dwarf_siblingof_b(dbg_, child, true, &next, &err);
      dwarf_dealloc_die(child);
      child = rc == DW_DLV_OK ? next : nullptr;
    }
  }

  void AddProcedures(const std::vector<Pending>& pending, std::vector<DebugProcedure>& procs) {
    for (const Pending& p : pending) {
      // Where the procedure was declared says whether it is a member: an out-of-line definition stands
      // at file level and completes the declaration inside its class.
      auto decl = p.names.decl ? scope_of_.find(p.names.decl) : scope_of_.end();
      const Scope& where = decl != scope_of_.end() ? decl->second : p.scope;
      std::string scope, own;
      if (!p.names.linkage.empty()) {
        std::tie(scope, own) = SplitQualifiedName(p.names.linkage);
      } else if (!p.names.plain.empty()) {
        scope = where.name;
        own = p.names.plain;
      } else {
        continue;
      }
      scope = Readable(scope);
      own = Readable(own);
      // A member shows its class (with the namespaces around it); a free function keeps its namespace
      // in the procedure's name.
      std::string class_name;
      if (where.in_class)
        class_name = scope;
      else if (!scope.empty())
        own = scope + "::" + own;
      for (auto [low, high] : p.ranges) {
        uint32_t rva = 0;
        if (high > low && ToRva(low, rva)) procs.push_back({rva, static_cast<uint32_t>(high - low), "", class_name, own});
      }
    }
  }

  struct FileFacts {
    std::string unit;
    bool own = true;
  };
  std::map<Dwarf_Off, Scope> scope_of_;
  std::map<Dwarf_Unsigned, FileFacts> files_;  // the line program's file numbers of the current unit
  std::vector<std::unique_ptr<CallSite>> sites_;
  Dwarf_Debug dbg_ = nullptr;
  uint32_t image_base_;
  std::string source_root_;
};

}  // namespace

std::pair<std::string, std::string> SplitQualifiedName(const std::string& demangled) {
  std::string s = WithoutParameters(demangled);
  TopLevel t = ScanTopLevel(s);
  if (t.last_blank != std::string::npos && (t.last_scope == std::string::npos || t.last_blank < t.last_scope)) {
    // A return type in front (template functions): drop it.
    s = s.substr(t.last_blank + 1);
    t = ScanTopLevel(s);
  }
  if (t.last_scope == std::string::npos) return {"", s};
  return {s.substr(0, t.last_scope), s.substr(t.last_scope + 2)};
}

std::string DemangledLinkageName(const std::string& linkage) { return Demangled(linkage); }

ProgramRowCheck CheckProgramRows(const ProgramDebugInfo& info, const DebugData& data) {
  std::vector<DebugLineRow> rows = info.rows;
  std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.rva < b.rva; });
  std::vector<DebugProcedure> procs = info.procedures;
  std::sort(procs.begin(), procs.end(), [](const auto& a, const auto& b) { return a.rva < b.rva; });
  ProgramRowCheck check;
  for (size_t i = 0; i + 1 < rows.size(); ++i) {
    const DebugLineRow& r = rows[i];
    // A row at the same address as the next one covers no code.
    if (!r.program_file || r.line <= 0 || rows[i + 1].rva == r.rva || r.rva < kDebugCodeBase) continue;
    auto it = std::upper_bound(procs.begin(), procs.end(), r.rva, [](uint32_t v, const auto& p) { return v < p.rva; });
    if (it == procs.begin() || r.rva - std::prev(it)->rva >= std::prev(it)->size) continue;
    ++check.rows;
    auto hit = data.Lookup(r.rva);
    if (hit && hit->unit == r.unit && hit->line == r.line) ++check.resolved;
  }
  return check;
}

ProgramDebugInfo ReadProgramDebugInfo(const std::string& path, uint32_t image_base, const std::string& source_root) {
  Reader reader(path, image_base, source_root);
  return reader.Read();
}

}  // namespace sondrel::tools
