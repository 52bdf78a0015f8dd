// The module list, the export reader and address resolution on synthetic images.
#include <gtest/gtest.h>

#include <map>

#include "errorreport/capture/byte_view.h"
#include "errorreport/capture/export_names.h"
#include "errorreport/capture/pe_image.h"
#include "errorreport/capture/report_modules.h"
#include "test_stack_support.h"

namespace sondrel {
namespace {

using test::BuildImage;
using test::ImageLayout;

constexpr uint32_t kProgram = 0x00400000;
constexpr uint32_t kLib = 0x10000000;
constexpr uint32_t kBare = 0x20000000;
constexpr uint32_t kPackage = 0x30000000;

using test::Bytes;

// A process of synthetic modules: what is "loaded" is what is in modules_.
class FakeSource : public ModuleSource {
 public:
  struct Module {
    std::string path;
    FileFacts facts;
    VersionFacts version;
    ModuleBlock block;
  };
  MemoryReader& Memory() override { return memory; }
  uint32_t ProgramModule() override { return kProgram; }
  std::optional<std::vector<uint32_t>> EnumerateModules() override {
    if (fail_enumeration) return std::nullopt;
    std::vector<uint32_t> h;
    for (auto& [handle, m] : modules) h.push_back(handle);
    std::reverse(h.begin(), h.end());  // the system's order is not the list's
    return h;
  }
  std::optional<std::string> ModuleFileName(uint32_t handle) override {
    auto it = modules.find(handle);
    if (it == modules.end()) return std::nullopt;
    return it->second.path;
  }
  std::optional<FileFacts> FileFactsOf(const std::string& path) override {
    for (auto& [h, m] : modules)
      if (m.path == path) return m.facts;
    return std::nullopt;
  }
  VersionFacts VersionOf(const std::string& path) override {
    for (auto& [h, m] : modules)
      if (m.path == path) return m.version;
    return {};
  }
  ModuleBlock ReadBlock(uint32_t handle, const std::string&, TReportModuleOptions& options) override {
    ++block_reads;
    if (modules.at(handle).block.found) options.SetMailSubject("block of " + std::to_string(handle));
    return modules.at(handle).block;
  }

  BufferMemory memory;
  std::map<uint32_t, Module> modules;
  bool fail_enumeration = false;
  int block_reads = 0;
  int debug_inflations = 0;
};

// Code of the library: procedures at known offsets.
//   0x000: 55 8B EC ... 5D C3        frame procedure, size up to the 5D
//   0x040: 90 90 C3                  frame-less, size to the C3
//   0x080: 55 ... C9 C2 08 00        frame procedure ending in leave; ret 8
//   0x0C0: "@Forms@..." procedure, 0x100 "System.Move", 0x140 "Unit.Class.Proc", 0x180 plain,
//   0x1C0 decorated with "?", 0x200 a C++ method
std::string LibraryCode() {
  std::string code(0x1000, '\x90');
  auto put = [&](uint32_t at, const std::string& b) { code.replace(at, b.size(), b); };
  put(0x000, Bytes({0x55, 0x8B, 0xEC, 0xC3, 0x90, 0x5D, 0xC3}));  // a C3 before the 5D does not end a frame procedure
  put(0x040, Bytes({0x90, 0x90, 0xC3}));
  put(0x080, Bytes({0x55, 0x90, 0xC9, 0xC2, 0x08, 0x00}));
  for (uint32_t at = 0xC0; at <= 0x200; at += 0x40) put(at + 0x10, Bytes({0xC3}));
  return code;
}

class Modules : public ::testing::Test {
 protected:
  Modules() {
    ImageLayout lib;
    lib.code = LibraryCode();
    lib.exports = {{"FrameProc", 0x1000},
                   {"Leaf", 0x1040},
                   {"LeaveProc", 0x1080},
                   {"@Forms@TApplication@HandleException$qqrp14System@TObject", 0x10C0},
                   {"System.Move", 0x1100},
                   {"Unit.Class.Proc", 0x1140},
                   {"PlainName", 0x1180},
                   {"?Decorated@@YAXXZ", 0x11C0},
                   {"_ZNK7sondrel4TFoo3BarEi", 0x1200},
                   {"Forwarded", 0}};
    Load(kLib, "C:\\Windows\\system32\\lib.dll", BuildImage(lib), {1, 2, 3, 4});

    ImageLayout program;
    program.dll = false;
    program.code = std::string(0x2000, '\x90');
    DebugDataWriter w;
    w.AddRange({0x1100, 0x20, "FMain.cpp", 120, "sondrel::TfrmMain", "btnSearchClick"});
    w.AddRange({0x1120, 0x10, "FMain.cpp", 122, "sondrel::TfrmMain", "btnSearchClick"});
    w.AddProcedure("sondrel::TfrmMain::btnSearchClick", 0x1100, 0x30);
    // As the program's block is read: its line data inflated only when first looked into.
    ModuleBlock block{true, 460, {1, 2, 3, 4, 5, 6, 7, 8}, "", [this, data = w.Build()] {
                        ++source_.debug_inflations;
                        return data;
                      }};
    Load(kProgram, "C:\\App\\Sondrel.exe", BuildImage(program), {2, 0, 0, 0}, std::move(block));

    Load(kBare, "C:\\App\\bare.dll", BuildImage(ImageLayout{}), {0, 0, 0, 0});
    ImageLayout package;
    package.rcdata_names = {"PACKAGEOPTIONS", "PackageInfo"};
    Load(kPackage, "D:\\pkg.bpl", BuildImage(package), {});
  }
  void Load(uint32_t handle, std::string path, std::string image, std::array<uint16_t, 4> version,
            ModuleBlock block = {}) {
    source_.memory.Add(handle, std::move(image));
    source_.modules[handle] = {std::move(path), {1234, 0x5A5A0000}, {"Description of " + std::to_string(handle), version}, block};
  }
  FakeSource source_;
};

TEST_F(Modules, ExportTableIsReadInPlaceWithSizeEstimates) {
  ImageView image(source_.memory, kLib);
  ASSERT_TRUE(image.valid());
  EXPECT_TRUE(image.is_dll());
  auto exports = image.Exports();
  ASSERT_EQ(exports.size(), 9u);  // the forwarder is left out
  EXPECT_EQ(exports[0].name, "FrameProc");
  EXPECT_EQ(exports[0].entry, kLib + 0x1000);
  EXPECT_EQ(exports[0].size, 5u);
  EXPECT_EQ(exports[1].size, 2u);
  EXPECT_EQ(exports[2].size, 2u);
  for (size_t i = 1; i < exports.size(); ++i) EXPECT_LT(exports[i - 1].entry, exports[i].entry);
  // No return before the end of the code section: size 1.
  source_.memory.At(kLib).replace(0x1000, 0x1000, std::string(0x1000, '\x90'));
  ImageView flat(source_.memory, kLib);
  EXPECT_EQ(flat.EstimateProcedureSize(kLib + 0x1000), 1u);
  EXPECT_EQ(flat.EstimateProcedureSize(kLib + 0x5000), 1u);  // outside the code
}

TEST(ModulesImage, ExportNamesLongerThan255AreLeftOut) {
  ImageLayout layout;
  layout.code = Bytes({0xC3});
  // Names that cross a page boundary of the export section too (the section starts at 0x2000).
  layout.exports = {{std::string(255, 'a'), 0x1000}, {std::string(256, 'b'), 0x1000}, {std::string(5000, 'c'), 0x1000},
                  {"Last", 0x1000}};
  BufferMemory memory;
  memory.Add(kLib, BuildImage(layout));
  auto exports = ImageView(memory, kLib).Exports();
  ASSERT_EQ(exports.size(), 2u);
  EXPECT_EQ(exports[0].name, std::string(255, 'a'));
  EXPECT_EQ(exports[1].name, "Last");
}

TEST_F(Modules, DamagedHeadersGiveNoExports) {
  std::string image = source_.memory.At(kLib);
  auto put32 = [&](std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  std::vector<std::string> bad(5, image);
  put32(bad[0], 60, 0xFFFFFFF0);            // header offset out of the image
  put32(bad[1], 0x80 + 24 + 56, 0x10);      // size of image smaller than a page
  put32(bad[2], 0x80 + 24 + 96, 0x7FFFFFF0);  // export directory outside every section
  bad[3][0] = 'N';
  put32(bad[4], 0x2000 + 24, 0x7FFFFFFF);   // absurd name count: only the real ones read, no fault
  for (size_t i = 0; i < bad.size(); ++i) {
    BufferMemory m;
    m.Add(kLib, bad[i]);
    ImageView v(m, kLib);
    if (i < 4) EXPECT_TRUE(v.Exports().empty()) << i;
    else EXPECT_LE(v.Exports().size(), 10u);
  }
}

TEST(ModulesNames, ExportNamesSplitByTheirForm) {
  struct Case {
    const char* name;
    int kind;
    const char *unit, *cls, *proc;
  } cases[] = {
      {"@Forms@TApplication@HandleException$qqrp14System@TObject", 3, "Forms.pas", "TApplication", "HandleException"},
      {"@System@@LStrClr$qqrpv", 3, "System.pas", "", "_LStrClr"},
      {"@Sysutils@Format$qqrx", 3, "Sysutils.pas", "", "Format"},
      {"@Unit@Proc@", 1, "", "", ""},  // no "$": left unnamed
      {"@$xp$Tfoo", 2, "", "", "_$xp$Tfoo"},
      {"System.Move", 3, "System.pas", "", "Move"},
      {"Unit.Class.Proc", 3, "Unit.pas", "Class", "Proc"},
      {"Unit.Class.Proc@12", 3, "Unit.pas", "Class", "Proc"},
      {"a.b.c.d", 1, "", "", ""},
      {"GetProcAddress", 2, "", "", "GetProcAddress"},
      {"?Decorated@@YAXXZ", 1, "", "", ""},
      {"_ZNK7sondrel4TFoo3BarEi", 3, "", "sondrel::TFoo", "Bar"},
      {"__ZN7sondrel11TReportList3AddERKi", 3, "", "sondrel::TReportList", "Add"},
      {"_Z4mainv", 2, "", "", "main"},
      // stdcall names carry their argument size after an "@"
      {"_ZN7sondrel5TForm11FormWndProcEP6HWND__jjl@16", 3, "", "sondrel::TForm", "FormWndProc"},
      {"WinMain@16", 2, "", "", "WinMain"},
      {"_ZN12_GLOBAL__N_13RunEv", 3, "", "(anonymous namespace)", "Run"},
      {"_ZNSt6vectorIiSaIiEE9push_backERKi", 3, "", "std::vector<int, std::allocator<int> >", "push_back"},
      {"_Z5applyIiET_S0_", 2, "", "", "apply<int>"},
      {"_ZN3FoocvbEv", 3, "", "Foo", "operator bool"},
      {"_ZN3FooclEv", 3, "", "Foo", "operator()"},
      {"_ZN3FooltERKS_", 3, "", "Foo", "operator<"},
      {"_Znotmangled", 2, "", "", "_Znotmangled"},
  };
  for (const auto& c : cases) {
    SplitName s = SplitExportName(c.name);
    EXPECT_EQ(s.kind, c.kind) << c.name;
    EXPECT_EQ(s.unit, c.unit) << c.name;
    EXPECT_EQ(s.class_name, c.cls) << c.name;
    EXPECT_EQ(s.procedure, c.proc) << c.name;
  }
  std::string cls, proc;
  SplitCppName("ns::A::f(int) const [clone .part.0] [clone .cold]", cls, proc);
  EXPECT_EQ(cls + "|" + proc, "ns::A|f");
  SplitCppName("void (anonymous namespace)::Worker<char>::Run(std::function<void ()>)", cls, proc);
  EXPECT_EQ(cls + "|" + proc, "(anonymous namespace)::Worker<char>|Run");
}

TEST(ModulesFunctions, HalvingSettlesOnTheLowestHoldingFunction) {
  TReportFunctionsList list({{"C", 300, 10}, {"A", 100, 50}, {"B", 120, 5}, {"D", 400, 0}});
  EXPECT_EQ(list[0].name, "A");
  auto name = [&](uint32_t a) { auto* f = list.Find(a); return f ? f->name : std::string("-"); };
  EXPECT_EQ(name(100), "A");
  EXPECT_EQ(name(110), "A");
  EXPECT_EQ(name(125), "A");
  EXPECT_EQ(name(151), "-");
  EXPECT_EQ(name(310), "C");  // entry + size is inside
  EXPECT_EQ(name(122), "A");  // both A and B hold it: the halving settles on A
  EXPECT_EQ(name(310), "C");
  EXPECT_EQ(name(400), "D");
  EXPECT_EQ(name(99), "-");
  EXPECT_EQ(name(0xFFFFFFFF), "-");
  EXPECT_EQ(TReportFunctionsList().Find(5), nullptr);
}

TEST_F(Modules, AddressesResolveThroughDebugDataThenExports) {
  TReportModulesList list(source_);
  ASSERT_TRUE(list.FindModule(kProgram));
  EXPECT_EQ(source_.debug_inflations, 0) << "recording the module inflated its line data";
  auto row = list.ResolveAddress(kProgram + 0x1125);
  EXPECT_EQ(list.ResolveAddress(kProgram + 0x1100).line, 120);
  EXPECT_EQ(source_.debug_inflations, 1);
  EXPECT_EQ(row.kind, 4);
  EXPECT_EQ(row.unit_name, "FMain.cpp");
  EXPECT_EQ(row.class_name, "sondrel::TfrmMain");
  EXPECT_EQ(row.procedure_name, "btnSearchClick");
  EXPECT_EQ(row.line, 122);
  ASSERT_TRUE(row.module);
  EXPECT_EQ(row.module->handle, kProgram);
  // Program code outside the debug data and without exports: kind 1.
  EXPECT_EQ(list.ResolveAddress(kProgram + 0x1800).kind, 1);
  auto exp = list.ResolveAddress(kLib + 0x10C8);
  EXPECT_EQ(exp.kind, 3);
  EXPECT_EQ(exp.unit_name, "Forms.pas");
  EXPECT_EQ(exp.class_name, "TApplication");
  EXPECT_EQ(exp.procedure_name, "HandleException");
  auto plain = list.ResolveAddress(kLib + 0x1180);
  EXPECT_EQ(plain.kind, 2);
  EXPECT_EQ(plain.procedure_name, "PlainName");
  auto cpp = list.ResolveAddress(kLib + 0x1205);
  EXPECT_EQ(cpp.kind, 3);
  EXPECT_EQ(cpp.class_name, "sondrel::TFoo");
  EXPECT_EQ(cpp.procedure_name, "Bar");
  // Past the estimated end of an export: its name and the distance from its entry.
  auto beyond = list.ResolveAddress(kLib + 0x1030);
  EXPECT_EQ(beyond.kind, 2);
  EXPECT_EQ(beyond.procedure_name, "FrameProc+0x30");
  auto beyond_cpp = list.ResolveAddress(kLib + 0x13A3);
  EXPECT_EQ(beyond_cpp.class_name, "sondrel::TFoo");
  EXPECT_EQ(beyond_cpp.procedure_name, "Bar+0x1A3");
  EXPECT_EQ(list.ResolveAddress(kLib + 0x11E0).kind, 1);  // past an export whose name says nothing
  EXPECT_EQ(list.ResolveAddress(kLib + 0x0FFF).kind, 1);  // below the first export
  EXPECT_EQ(list.ResolveAddress(kBare + 0x1000).kind, 1);  // neither exports nor debug data
  auto none = list.ResolveAddress(0x50000000);
  EXPECT_EQ(none.kind, 0);
  EXPECT_FALSE(none.module);
  EXPECT_EQ(none.address, 0x50000000u);
}

TEST_F(Modules, ListIsSortedAndModulesAreAnalysedOnFirstUse) {
  TReportModulesList list(source_);
  list.Refresh();
  ASSERT_EQ(list.Count(), 4u);
  for (size_t i = 1; i < list.Count(); ++i) EXPECT_LT(list[i - 1].handle, list[i].handle);
  EXPECT_EQ(list[0].kind, 0);  // listed by the refresh only
  EXPECT_EQ(source_.block_reads, 0);
  auto program = list.FindModule(kProgram);
  EXPECT_EQ(program->kind, 1);
  EXPECT_EQ(program->options_version, 460);
  EXPECT_EQ(program->reserved[7], 8);
  ASSERT_TRUE(program->options);
  EXPECT_EQ(program->options->MailSubject(), "block of " + std::to_string(kProgram));
  EXPECT_EQ(program->options->ModuleFileName(), "C:\\App\\Sondrel.exe");
  EXPECT_TRUE(program->debug);
  EXPECT_EQ(program->Name(), "Sondrel.exe");
  EXPECT_EQ(program->version, "2.0.0.0");
  EXPECT_EQ(program->file_size, 1234u);
  EXPECT_EQ(list.FindModule(kLib)->kind, 3);
  EXPECT_EQ(list.FindModule(kLib)->functions.Count(), 9u);
  EXPECT_EQ(list.FindModule(kPackage)->kind, 2);
  auto bare = list.FindModule(kBare);
  EXPECT_EQ(bare->version, "");  // 0.0.0.0 shows empty
  EXPECT_EQ(bare->options_version, 460);
  EXPECT_FALSE(bare->debug);
  EXPECT_EQ(bare->options->MailSubject(), "");  // no block: defaults
  EXPECT_EQ(source_.block_reads, 4);
  EXPECT_EQ(list.Count(), 4u);
  EXPECT_EQ(list.FindModule(0x60000000), nullptr);
  EXPECT_EQ(list.FindProcedureByName("sondrel::TfrmMain::btnSearchClick"), kProgram + 0x1100);
  EXPECT_FALSE(list.FindProcedureByName("btnSearchClick"));
  EXPECT_EQ(list.ProgramOptions(), program->options.get());
}

TEST_F(Modules, UnloadedReplacedAndChangedModulesLeaveTheList) {
  TReportModulesList list(source_);
  list.Refresh();
  auto kept = list.FindModule(kLib);  // a row of an earlier report may still hold it
  source_.modules.erase(kLib);
  source_.modules[kBare].path = "C:\\App\\other.dll";
  list.Refresh();
  EXPECT_EQ(list.Count(), 3u);
  EXPECT_EQ(list.FindModule(kBare)->path, "C:\\App\\other.dll");
  EXPECT_EQ(kept->path, "C:\\Windows\\system32\\lib.dll");
  // A failed enumeration adds nothing and keeps what is still loaded.
  source_.fail_enumeration = true;
  source_.memory.Add(0x40000000, BuildImage(ImageLayout{}));
  source_.modules[0x40000000] = {"C:\\new.dll", {}, {}, {}};
  list.Refresh();
  EXPECT_EQ(list.Count(), 3u);
  // A rewritten file and a deleted file are dropped.
  source_.modules[kPackage].facts.dos_time += 1;
  list.DropChangedModules();
  EXPECT_EQ(list.Count(), 2u);
  source_.modules.erase(kProgram);
  list.DropChangedModules();
  EXPECT_EQ(list.Count(), 1u);
  EXPECT_EQ(list[0].handle, kBare);
  // The module that holds the reporter stays, whatever happens to its file.
  list.KeepModule(kBare);
  source_.modules[kBare].facts.dos_time += 1;
  list.DropChangedModules();
  source_.modules[kBare].path = "C:\\App\\moved.dll";
  list.Refresh();
  EXPECT_EQ(list.Count(), 1u);
}

TEST_F(Modules, StackRowsStartWithTheExceptionAddress) {
  // A stack holding a return address into the program's code, behind a call [abs32].
  std::string call = Bytes({0xFF, 0x15});
  AppendLE<uint32_t>(call, kLib + 0x1000);
  source_.memory.At(kProgram).replace(0x111A, call.size(), call);
  std::string stack;
  AppendLE<uint32_t>(stack, 0);
  AppendLE<uint32_t>(stack, kProgram + 0x1120);
  source_.memory.Add(0x00130000, stack);
  TReportModulesList list(source_);
  TReportStackList rows = list.BuildStack(kLib + 0x1042, 0x00130000, 0x00130008);
  ASSERT_EQ(rows.Count(), 2u);
  EXPECT_EQ(rows[0].procedure_name, "Leaf");
  EXPECT_EQ(rows[0].kind, 2);
  EXPECT_EQ(rows[1].address, kProgram + 0x111A);
  EXPECT_EQ(rows[1].line, 120);
  rows.Delete(0);
  rows.Delete(7);
  EXPECT_EQ(rows.Count(), 1u);
  EXPECT_EQ(rows[0].kind, 4);
  EXPECT_EQ(list.BuildStack(std::nullopt, 0x00130000, 0x00130008).Count(), 1u);
}

}  // namespace
}  // namespace sondrel
