#include <gtest/gtest.h>

#include "tools/dwarf_lines.h"

namespace sondrel::tools {
namespace {

TEST(QualifiedNames, SplitIntoScopeAndOwnName) {
  struct Case {
    const char* demangled;
    const char* scope;
    const char* name;
  } cases[] = {
      {"sondrel::TfrmMain::btnSearchClick(int)", "sondrel::TfrmMain", "btnSearchClick"},
      {"main", "", "main"},
      {"WinMain@16", "", "WinMain@16"},
      {"sondrel::(anonymous namespace)::Helper(std::string const&)", "sondrel::(anonymous namespace)", "Helper"},
      {"void sondrel::Fill<int>(std::vector<int, std::allocator<int> >&)", "sondrel", "Fill<int>"},
      {"std::vector<int, std::allocator<int> >::push_back(int const&)", "std::vector<int, std::allocator<int> >",
       "push_back"},
      {"sondrel::TList::operator<(sondrel::TList const&) const", "sondrel::TList", "operator<"},
      {"sondrel::TList::operator()(int)", "sondrel::TList", "operator()"},
      {"operator new(unsigned int)", "", "operator new"},
      {"sondrel::A::B::~B()", "sondrel::A::B", "~B"},
  };
  for (const Case& c : cases) {
    auto [scope, name] = SplitQualifiedName(c.demangled);
    EXPECT_EQ(scope, c.scope) << c.demangled;
    EXPECT_EQ(name, c.name) << c.demangled;
  }
}

}  // namespace
}  // namespace sondrel::tools
