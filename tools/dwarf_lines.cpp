#include "tools/dwarf_lines.h"

#include <cxxabi.h>
#include <libdwarf/dwarf.h>
#include <libdwarf/libdwarf.h>

#include <cstdlib>
#include <map>
#include <tuple>
#include <memory>
#include <stdexcept>

#include "base/file.h"

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

std::string Demangled(const char* mangled) {
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> d(abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                                 &std::free);
  return status == 0 && d ? std::string(d.get()) : std::string(mangled);
}

class Reader {
 public:
  Reader(const std::string& path, uint32_t image_base) : image_base_(image_base) {
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
      ReadLines(cu, info.rows);
      std::vector<Pending> pending;
      Walk(cu, "", pending);
      AddProcedures(pending, info.procedures);
      scope_of_.clear();
      dwarf_dealloc_die(cu);
    }
    return info;
  }

 private:
  bool ToRva(Dwarf_Addr addr, uint32_t& rva) const {
    if (addr < image_base_ || addr - image_base_ > 0xFFFFFFFFu) return false;
    rva = static_cast<uint32_t>(addr - image_base_);
    return true;
  }

  void ReadLines(Dwarf_Die cu, std::vector<DebugLineRow>& rows) {
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
        Dwarf_Unsigned line = 0;
        Dwarf_Bool end = false;
        char* src = nullptr;
        uint32_t rva = 0;
        if (dwarf_lineaddr(lines[i], &addr, &err) != DW_DLV_OK || !ToRva(addr, rva)) continue;
        dwarf_lineendsequence(lines[i], &end, &err);
        dwarf_lineno(lines[i], &line, &err);
        DebugLineRow row;
        row.rva = rva;
        row.line = end ? 0 : static_cast<int32_t>(line);
        if (!end && dwarf_linesrc(lines[i], &src, &err) == DW_DLV_OK) {
          row.unit = ExtractFileName(src);
          dwarf_dealloc(dbg_, src, DW_DLA_STRING);
        }
        // A row of line 0 is code the compiler could not attribute; it ends the row before it.
        rows.push_back(std::move(row));
      }
    }
    dwarf_srclines_dealloc_b(ctx);
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
  };

  // The linkage name and plain name of a procedure, following the declaration it completes or the
  // abstract instance it is a copy of for whatever the DIE itself lacks.
  Names ProcedureNames(Dwarf_Die die, int hops = 0) {
    Names n;
    n.linkage = StringAttr(die, DW_AT_linkage_name);
    if (n.linkage.empty()) n.linkage = StringAttr(die, DW_AT_MIPS_linkage_name);
    if (!n.linkage.empty()) n.linkage = Demangled(n.linkage.c_str());
    n.plain = StringAttr(die, DW_AT_name);
    if (hops >= 3 || (!n.linkage.empty() && !n.plain.empty())) return n;
    for (Dwarf_Half ref : {DW_AT_specification, DW_AT_abstract_origin}) {
      Dwarf_Die target = RefDie(die, ref);
      if (!target) continue;
      Dwarf_Off off = 0;
      dwarf_dieoffset(target, &off, nullptr);
      Names t = ProcedureNames(target, hops + 1);
      dwarf_dealloc_die(target);
      if (n.linkage.empty()) n.linkage = t.linkage;
      if (n.plain.empty()) n.plain = t.plain;
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

  struct Pending {
    Names names;
    std::string scope;  // of the DIE where it stands
    std::vector<std::pair<Dwarf_Addr, Dwarf_Addr>> ranges;
  };

  void Walk(Dwarf_Die parent, const std::string& scope, std::vector<Pending>& pending, int depth = 0) {
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
      // and lexical blocks.
      if (tag == DW_TAG_namespace || tag == DW_TAG_class_type || tag == DW_TAG_structure_type ||
          tag == DW_TAG_union_type) {
        std::string name = StringAttr(child, DW_AT_name);
        if (name.empty()) name = tag == DW_TAG_namespace ? "(anonymous namespace)" : "{unnamed type}";
        Walk(child, scope.empty() ? name : scope + "::" + name, pending, depth + 1);
      } else if (tag == DW_TAG_subprogram || tag == DW_TAG_lexical_block) {
        Walk(child, scope, pending, depth + 1);
      }
      Dwarf_Die next = nullptr;
      int rc = dwarf_siblingof_b(dbg_, child, true, &next, &err);
      dwarf_dealloc_die(child);
      child = rc == DW_DLV_OK ? next : nullptr;
    }
  }

  void AddProcedures(const std::vector<Pending>& pending, std::vector<DebugProcedure>& procs) {
    for (const Pending& p : pending) {
      std::string scope, own;
      if (!p.names.linkage.empty()) {
        std::tie(scope, own) = SplitQualifiedName(p.names.linkage);
      } else if (!p.names.plain.empty()) {
        auto decl = p.names.decl ? scope_of_.find(p.names.decl) : scope_of_.end();
        scope = decl != scope_of_.end() ? decl->second : p.scope;
        own = p.names.plain;
      } else {
        continue;
      }
      for (auto [low, high] : p.ranges) {
        uint32_t rva = 0;
        if (high > low && ToRva(low, rva)) procs.push_back({rva, static_cast<uint32_t>(high - low), "", scope, own});
      }
    }
  }

  std::map<Dwarf_Off, std::string> scope_of_;
  Dwarf_Debug dbg_ = nullptr;
  uint32_t image_base_;
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

ProgramDebugInfo ReadProgramDebugInfo(const std::string& path, uint32_t image_base) {
  Reader reader(path, image_base);
  return reader.Read();
}

}  // namespace sondrel::tools
