#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>

#include "errorreport/capture/debug_data.h"
#include "tools/dwarf_lines.h"

namespace sondrel::tools {
namespace {

TEST(LinkageNames, StdcallSuffixIsNoPartOfTheName) {
  EXPECT_EQ(DemangledLinkageName("_ZN7sondrel5TForm11FormWndProcEP6HWND__jjl@16"),
            "sondrel::TForm::FormWndProc(HWND__*, unsigned int, unsigned int, long)");
  EXPECT_EQ(DemangledLinkageName("WinMain@16"), "WinMain");
  EXPECT_EQ(DemangledLinkageName("_Z4Freei"), "Free(int)");
  EXPECT_EQ(DemangledLinkageName("name@with@words"), "name@with@words");
}

// The line of the first source line that carries the mark.
int32_t LineOf(const std::string& mark) {
  std::ifstream in(TOOL_FIXTURE_SOURCE);
  std::string line;
  for (int32_t n = 1; std::getline(in, line); ++n)
    if (line.find(mark) != std::string::npos) return n;
  return 0;
}

class FixtureProgram : public testing::Test {
 protected:
  static void SetUpTestSuite() { info_ = new ProgramDebugInfo(ReadProgramDebugInfo(TOOL_FIXTURE, 0, SONDREL_SOURCE_ROOT)); }
  static void TearDownTestSuite() { delete info_; }

  static const DebugProcedure* Find(const std::string& name) {
    for (const auto& p : info_->procedures)
      if (p.name == name) return &p;
    return nullptr;
  }
  static ProgramDebugInfo* info_;
};
ProgramDebugInfo* FixtureProgram::info_ = nullptr;

TEST_F(FixtureProgram, OnlyMembersHaveAClassAndAnonymousNamespacesAreLeftOut) {
  struct Want {
    const char* name;
    const char* class_name;
  } wants[] = {
      {"Member", "sondrel::TFixture"},  // a member: its class with the namespaces around it
      {"sondrel::FreeFunction", ""},    // a free function keeps its namespace in its name
      {"Method", "sondrel::Hidden"},    // a class in an anonymous namespace
      {"sondrel::HiddenFree", ""},
      {"sondrel::UsesStd", ""},
      {"main", ""},
  };
  for (const Want& w : wants) {
    const DebugProcedure* p = Find(w.name);
    ASSERT_TRUE(p) << w.name;
    EXPECT_EQ(p->class_name, w.class_name) << w.name;
  }
  for (const auto& p : info_->procedures) {
    EXPECT_EQ(p.class_name.find("anonymous"), std::string::npos) << p.class_name << "::" << p.name;
    EXPECT_EQ(p.name.find("anonymous"), std::string::npos) << p.class_name << "::" << p.name;
  }
}

// Standard-library code inlined into UsesStd is shown at the lines of UsesStd that call it, and the
// encoded line data resolves every byte of the procedure to the fixture's own file.
TEST_F(FixtureProgram, InlinedLibraryCodeTakesTheLineOfItsCall) {
  const DebugProcedure* p = Find("sondrel::UsesStd");
  ASSERT_TRUE(p);
  std::set<int32_t> lines;
  for (const auto& r : info_->rows) {
    if (r.rva < p->rva || r.rva >= p->rva + p->size || r.line <= 0) continue;
    EXPECT_EQ(r.unit, "tool_fixture.cpp") << r.rva << " line " << r.line;
    lines.insert(r.line);
  }
  EXPECT_TRUE(lines.count(LineOf("FIXTURE-STRING")));
  EXPECT_TRUE(lines.count(LineOf("FIXTURE-VECTOR")));

  const DebugData data(EncodeDebugData(info_->procedures, info_->rows), kDebugDataVersion);
  for (uint32_t at = p->rva; at < p->rva + p->size; ++at) {
    auto hit = data.Lookup(at);
    ASSERT_TRUE(hit) << at;
    EXPECT_EQ(hit->unit, "tool_fixture.cpp") << at;
    EXPECT_EQ(hit->procedure, "sondrel::UsesStd") << at;
    EXPECT_GT(hit->line, 0) << at;
  }
  const ProgramRowCheck check = CheckProgramRows(*info_, data);
  EXPECT_GT(check.rows, 10u);
  EXPECT_EQ(check.resolved, check.rows);
  EXPECT_EQ(data.FindProcedure("sondrel::TFixture::Member"), Find("Member")->rva);
  EXPECT_EQ(data.FindProcedure("sondrel::FreeFunction"), Find("sondrel::FreeFunction")->rva);
}

}  // namespace
}  // namespace sondrel::tools
