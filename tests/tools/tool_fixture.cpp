// A program for the line-data tool's tests, built with optimisation so that standard-library code is
// inlined into it. Each kind of procedure the tool must name is here once; the test finds them by name
// and, for the inlined code, by the lines marked below.
#include <cstdio>
#include <string>
#include <vector>

namespace sondrel {

class TFixture {
 public:
  [[gnu::noinline]] int Member(int x);
};

[[gnu::noinline]] int TFixture::Member(int x) { return x * 3 + 1; }

[[gnu::noinline]] int FreeFunction(int x) { return x ^ 0x55; }

namespace {
struct Hidden {
  [[gnu::noinline]] int Method(int x) { return x + 7; }
};
[[gnu::noinline]] int HiddenFree(int x) { return x - 2; }
}  // namespace

// Inlined std::string and std::vector code lands on the lines that call it.
[[gnu::noinline]] size_t UsesStd(const char* text) {
  std::string s(text);  // FIXTURE-STRING
  std::vector<size_t> v;
  v.push_back(s.size());  // FIXTURE-VECTOR
  return v.back() + s.find('x');
}

}  // namespace sondrel

int main(int argc, char** argv) {
  sondrel::TFixture f;
  sondrel::Hidden h;
  const int n = f.Member(argc) + sondrel::FreeFunction(argc) + h.Method(argc) + sondrel::HiddenFree(argc);
  std::printf("%d %zu\n", n, sondrel::UsesStd(argv[0]));
  return 0;
}
