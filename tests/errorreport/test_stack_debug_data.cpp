// The line debug data: what the writer produces reads back to the same file, class, procedure and
// line for every code byte; hand-made streams exercise each entry form as the reader defines it; a
// damaged stream never faults.
#include <gtest/gtest.h>

#include <random>

#include "errorreport/capture/byte_view.h"
#include "errorreport/capture/debug_data.h"

#include "test_stack_support.h"

namespace sondrel {
namespace {

std::string Name(std::string_view s) {
  std::string r(1, static_cast<char>(s.size()));
  for (char c : s) r.push_back(static_cast<char>(c ^ kDebugNameMask));
  return r;
}

// A stream with no procedure table and the given units, each a (name, first line, offset, size, table).
struct UnitSpec {
  std::string name;
  int32_t first_line;
  uint32_t offset, size;
  std::string table;
};
std::string Stream(const std::vector<UnitSpec>& units, bool with_names_table = true) {
  std::string out;
  if (with_names_table) AppendLE<uint32_t>(out, 0);
  AppendLE<uint32_t>(out, static_cast<uint32_t>(units.size()));
  for (const auto& u : units) {
    out += Name(u.name);
    AppendLE<int32_t>(out, u.first_line);
    AppendLE<uint32_t>(out, u.offset);
    AppendLE<uint32_t>(out, u.size);
    AppendLE<uint32_t>(out, static_cast<uint32_t>(u.table.size()));
    out += u.table;
  }
  return out;
}

using test::Bytes;

TEST(StackDebugData, EachEntryFormDecodes) {
  std::string t;
  // 1 byte, no name: D = 2, J = 3 (B = 01 00010 0)
  t += Bytes({(1 << 6) | (2 << 1)});
  // 1 byte with name: D = 3, J = 2 -> "TFoo.Bar"
  t += Bytes({(2 << 5) | (1 << 2) | 1}) + Name("TFoo.Bar");
  // 16-bit, named ".@Baz": D = 20, J = 100; keeps class TFoo, "@" becomes "_"
  {
    std::string w;
    AppendLE<uint16_t>(w, static_cast<uint16_t>((19 << 11) | (99 << 4) | 4 | 3));
    t += w + Name(".@Baz");
  }
  // 32-bit, no name: D = 1000, J = 3000
  AppendLE<uint32_t>(t, (((2999u << 16) | 999u) << 4) | 8 | 3);
  // 32-bit with J = 0 (Q >> 16 = 4095): a pure line step of 500, named "Free" (no class)
  AppendLE<uint32_t>(t, (((4095u << 16) | 499u) << 4) | 8 | 4 | 3);
  t += Name("Free");
  // escape: D = 70000 - 1 ... the 16-bit values give D = 40000, J = 50000
  AppendLE<uint32_t>(t, (0x0FFEFFFEu << 4) | 8 | 3);
  AppendLE<uint16_t>(t, 39999);
  AppendLE<uint16_t>(t, 49999);
  DebugData d(Stream({{"Unit1", 10, 0x100, 200000, t}}), 460);
  ASSERT_EQ(d.unit_count(), 1u);
  const uint32_t base = kDebugCodeBase + 0x100;
  struct Want {
    uint32_t at;
    const char* cls;
    const char* proc;
    int line;
  } wants[] = {
      {0, "", "", 10},         {2, "", "", 10},          {3, "TFoo", "Bar", 12},   {4, "TFoo", "Bar", 12},
      {5, "TFoo", "_Baz", 15}, {104, "TFoo", "_Baz", 15}, {105, "TFoo", "_Baz", 35}, {3104, "TFoo", "_Baz", 35},
      // the J = 0 entry covers nothing; the escape entry starts at 3105 with line 1035 + 500
      {3105, "", "Free", 1535}, {53104, "", "Free", 1535},
      // after the table: the last running line
      {53105, "", "Free", 41535}, {199999, "", "Free", 41535},
  };
  for (const auto& w : wants) {
    auto info = d.Lookup(base + w.at);
    ASSERT_TRUE(info) << w.at;
    EXPECT_EQ(info->unit, "Unit1") << w.at;  // as stored, no ".pas" added
    EXPECT_EQ(info->class_name, w.cls) << w.at;
    EXPECT_EQ(info->procedure, w.proc) << w.at;
    EXPECT_EQ(info->line, w.line) << w.at;
  }
  EXPECT_FALSE(d.Lookup(base - 1));
  EXPECT_FALSE(d.Lookup(base + 200000));
  EXPECT_FALSE(d.Lookup(0x100));  // below the code base
}

TEST(StackDebugData, OlderVersionsReadTheirOwnLayout) {
  std::string t;
  AppendLE<uint32_t>(t, (0x0FFEFFFEu << 4) | 8 | 3);
  t += Bytes({0x00, 0x00, 0x00, 0x00});  // covered by the second entry's 1-byte forms at version 422
  // Version 422: the escape word is an ordinary entry (D = 0xFFFF, J = 4095).
  DebugData old(Stream({{"Mod.cpp", 1, 0, 5000, t}}), 422);
  ASSERT_EQ(old.unit_count(), 1u);
  EXPECT_EQ(old.Lookup(kDebugCodeBase + 4094)->line, 1);
  EXPECT_EQ(old.Lookup(kDebugCodeBase + 4095)->line, 1 + 0xFFFF);
  EXPECT_EQ(old.Lookup(kDebugCodeBase + 4095)->unit, "Mod.cpp");
  // Version 404 and older have no procedure table before the units.
  DebugData ancient(Stream({{"Mod.cpp", 1, 0, 5000, t}}, false), 404);
  EXPECT_EQ(ancient.Lookup(kDebugCodeBase + 4095)->line, 1 + 0xFFFF);
  // The same bytes read as a newer version take the unit count for the table length: nothing
  // resolves, and nothing faults either.
  DebugData misread(Stream({{"Mod.cpp", 1, 0, 5000, t}}, false), 460);
  EXPECT_FALSE(misread.Lookup(kDebugCodeBase + 10));
}

TEST(StackDebugData, FirstUnitInStreamOrderWinsWhenUnitsOverlap) {
  DebugData d(Stream({{"B.cpp", 50, 0x200, 0x100, Bytes({0x3E})}, {"A.cpp", 7, 0x100, 0x400, Bytes({0x3E})}}), 460);
  EXPECT_EQ(d.Lookup(kDebugCodeBase + 0x250)->unit, "B.cpp");
  EXPECT_EQ(d.Lookup(kDebugCodeBase + 0x150)->unit, "A.cpp");
  EXPECT_EQ(d.Lookup(kDebugCodeBase + 0x350)->unit, "A.cpp");
  EXPECT_EQ(d.Lookup(kDebugCodeBase + 0x150)->line, 7 + 1);  // one 32-byte entry, then the rest
}

// A table of ranges in random order, with lines going back and forth, long runs, big line jumps and
// long names, written and read back byte by byte.
TEST(StackDebugData, WriterRoundTripsEveryByte) {
  std::mt19937 rng(7);
  const char* files[] = {"FMain.cpp", "vector", "UGeneral.cpp"};
  const char* classes[] = {"", "sondrel::TfrmMain", "std::vector<int>", "a.b"};
  const char* procs[] = {"btnSearchClick", "push_back", "@Init", "operator()", "x.y"};
  DebugDataWriter w;
  uint32_t rva = 0x1000;
  std::vector<DebugLineRange> ranges;
  for (int i = 0; i < 400; ++i) {
    DebugLineRange r;
    r.rva = rva;
    const int kind = static_cast<int>(rng() % 20);
    r.size = kind == 0 ? 70000 + rng() % 1000 : kind == 1 ? 200 + rng() % 5000 : 1 + rng() % 40;
    r.file = files[rng() % 3];
    r.line = kind == 2 ? static_cast<int32_t>(100000 + rng() % 100000) : static_cast<int32_t>(1 + rng() % 300);
    r.class_name = classes[rng() % 4];
    r.procedure = procs[rng() % 5];
    if (kind == 3) r.procedure = std::string(300, 'p');
    rva += r.size + (rng() % 5 == 0 ? rng() % 64 : 0);  // sometimes a gap
    ranges.push_back(r);
  }
  std::shuffle(ranges.begin(), ranges.end(), rng);
  for (const auto& r : ranges) w.AddRange(r);
  w.AddProcedure("sondrel::TApplication::HandleException", 0x1234, 10);
  DebugData d(w.Build(), kDebugDataVersion);
  EXPECT_EQ(d.FindProcedure("sondrel::TApplication::HandleException"), 0x1234u);
  EXPECT_FALSE(d.FindProcedure("sondrel::tapplication::HandleException"));

  for (const auto& r : ranges) {
    std::string cls = r.class_name, proc = r.procedure;
    if (cls == "a.b") cls = "a_b";
    if (cls.empty() && proc == "x.y") proc = "x_y";
    if (proc == "@Init") proc = "_Init";
    const std::string unit = r.file;  // "vector" too: no ".pas" on a header without extension
    const bool cut = proc.size() > 255 - (cls.empty() ? 0 : cls.size() + 1);  // cut to fit one name
    for (uint32_t off : {0u, r.size / 2, r.size - 1}) {
      auto info = d.Lookup(r.rva + off);
      ASSERT_TRUE(info) << r.rva + off;
      ASSERT_EQ(info->unit, unit) << r.rva + off;
      ASSERT_EQ(info->line, r.line) << r.rva + off;
      ASSERT_EQ(info->class_name, cls) << r.rva + off;
      if (cut) {
        ASSERT_GE(info->procedure.size(), 200u);
        ASSERT_EQ(proc.compare(0, info->procedure.size(), info->procedure), 0);
      } else {
        ASSERT_EQ(info->procedure, proc) << r.rva + off;
      }
    }
  }
}

TEST(StackDebugData, OverlappingRangesKeepTheLowerOne) {
  DebugDataWriter w;
  w.AddRange({0x2000, 0x100, "A.cpp", 10, "", "f"});
  w.AddRange({0x2080, 0x100, "B.cpp", 20, "", "g"});
  w.AddRange({0x2010, 0x10, "C.cpp", 30, "", "h"});  // wholly inside the first
  w.AddRange({0x0800, 0x10, "Low.cpp", 1, "", "i"});  // below the code base: dropped
  DebugData d(w.Build(), kDebugDataVersion);
  EXPECT_EQ(d.Lookup(0x2015)->unit, "A.cpp");
  EXPECT_EQ(d.Lookup(0x20FF)->unit, "A.cpp");
  EXPECT_EQ(d.Lookup(0x2100)->unit, "B.cpp");
  EXPECT_EQ(d.Lookup(0x217F)->unit, "B.cpp");
  EXPECT_FALSE(d.Lookup(0x2180));
  EXPECT_FALSE(d.Lookup(0x0805));
}

TEST(StackDebugData, DamagedStreamsNeverFault) {
  DebugDataWriter w;
  for (uint32_t i = 0; i < 30; ++i) w.AddRange({0x1000 + i * 50, 50, "F.cpp", static_cast<int32_t>(i * 3 + (i % 4 == 0 ? 0 : 100)), "C", "p" + std::to_string(i)});
  w.AddProcedure("p", 0x1000, 4);
  const std::string good = w.Build();
  for (size_t cut = 0; cut < good.size(); ++cut) {
    DebugData d(good.substr(0, cut), kDebugDataVersion);
    for (uint32_t a = 0xFF0; a < 0x1000 + 30 * 50 + 10; a += 7) (void)d.Lookup(a);
    (void)d.FindProcedure("p");
  }
  std::mt19937 rng(3);
  for (int i = 0; i < 300; ++i) {
    std::string bad = good;
    for (int k = 0; k < 4; ++k) bad[rng() % bad.size()] = static_cast<char>(rng());
    DebugData d(bad, static_cast<uint16_t>(400 + rng() % 80));
    for (uint32_t a = 0xFF0; a < 0x1000 + 30 * 50 + 10; a += 7) (void)d.Lookup(a);
    (void)d.FindProcedure("p");
  }
  // A forged unit count and a table length past the end keep what was read before.
  std::string forged = Stream({{"Ok.cpp", 5, 0, 16, Bytes({0x1E})}});
  forged[4] = '\xFF';
  AppendLE<uint32_t>(forged, 0xFFFFFFFF);
  DebugData d(forged, kDebugDataVersion);
  EXPECT_EQ(d.unit_count(), 1u);
  EXPECT_EQ(d.Lookup(kDebugCodeBase + 3)->line, 5);
}

}  // namespace
}  // namespace sondrel

namespace sondrel {
namespace {

TEST(StackDebugData, RowsAndProceduresEncodeAsRanges) {
  std::vector<DebugProcedure> procs = {{0x2000, 0x40, "A.cpp", "ns::TFoo", "Run"}, {0x1800, 0x20, "A.cpp", "", "main"}};
  std::vector<DebugLineRow> rows = {
      {0x2010, "A.cpp", 12}, {0x2000, "A.cpp", 10}, {0x2030, "A.cpp", 9},  // backwards inside Run
      {0x2060, "A.cpp", 0},                                                 // end of sequence
      {0x1800, "A.cpp", 3},  {0x1810, "B.h", 70},                          // main, with inlined code
      {0x3000, "C.cpp", 1},  {0x3010, "C.cpp", 0},                          // outside every procedure
  };
  DebugData d(EncodeDebugData(procs, rows), kDebugDataVersion);
  auto at = [&](uint32_t rva) { return d.Lookup(rva); };
  EXPECT_EQ(at(0x2005)->line, 10);
  EXPECT_EQ(at(0x2005)->class_name, "ns::TFoo");
  EXPECT_EQ(at(0x2005)->procedure, "Run");
  EXPECT_EQ(at(0x2010)->line, 12);
  EXPECT_EQ(at(0x203F)->line, 9);
  EXPECT_FALSE(at(0x2040));  // past the end of Run although the sequence goes on
  EXPECT_EQ(at(0x1805)->line, 3);
  EXPECT_EQ(at(0x1815)->unit, "B.h");
  EXPECT_EQ(at(0x1815)->procedure, "main");
  EXPECT_EQ(at(0x181F)->line, 70);
  EXPECT_FALSE(at(0x1820));
  EXPECT_EQ(at(0x300F)->unit, "C.cpp");
  EXPECT_EQ(at(0x300F)->procedure, "");
  EXPECT_EQ(d.FindProcedure("ns::TFoo::Run"), 0x2000u);
  EXPECT_EQ(d.FindProcedure("main"), 0x1800u);
}

}  // namespace
}  // namespace sondrel
