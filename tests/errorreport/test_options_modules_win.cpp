// Two modules in one process, each with the reporter linked in: a run-time change of the library's
// own options is published and replaces its block's options when the program registers that module.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/handle_win.h"
#include "errorreport/delivery/options_block_win.h"
#include "errorreport/delivery/options_mapping.h"
#include "tests/support/process_win.h"

namespace sondrel {
namespace {

std::string ModuleFile(HMODULE m) {
  char buf[MAX_PATH + 1];
  DWORD n = GetModuleFileNameA(m, buf, MAX_PATH);
  return std::string(buf, n);
}

template <class Fn>
Fn Export(HMODULE m, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m, name)));
}

TEST(OptionsModules, ALibrarysPublishedChangeReachesTheProgram) {
  UniqueModule dll(LoadLibraryA((test::ProgramFolder() + "options_module.dll").c_str()));
  ASSERT_TRUE(dll);
  auto start = Export<void (*)()>(dll.get(), "OptionsModuleStart");
  auto set_subject = Export<void (*)(const char*)>(dll.get(), "OptionsModuleSetSubject");
  auto stop = Export<void (*)()>(dll.get(), "OptionsModuleStop");
  ASSERT_TRUE(start && set_subject && stop);
  const std::string dll_file = ModuleFile(dll.get());

  start();
  {
    TReportModuleOptionsEx seen(dll_file, true);
    ModuleBlock block = ReadModuleOptionsBlock(dll.get(), dll_file, seen);
    ASSERT_TRUE(block.found) << "the library carries its own block";
    EXPECT_EQ(seen.MailSubject(), "") << "nothing published yet: the block's options";
  }

  set_subject("changed at run time");
  {
    TReportModuleOptionsEx seen(dll_file, true);
    ModuleBlock block = ReadModuleOptionsBlock(dll.get(), dll_file, seen);
    ASSERT_TRUE(block.found);
    EXPECT_EQ(seen.MailSubject(), "changed at run time");
    EXPECT_FALSE(block.debug_data.empty());
  }

  // The program's own change goes to the program's mapping, never to its own registration.
  CreateSubsystemOptionsMapping();
  HMODULE self = GetModuleHandleA(nullptr);
  TReportModuleOptionsEx own(ModuleFile(self), true);
  own.SetMailSubject("program change");
  TReportModuleOptions registered(ModuleFile(self), false);
  ModuleBlock block = ReadModuleOptionsBlock(self, ModuleFile(self), registered);
  ASSERT_TRUE(block.found);
  EXPECT_EQ(registered.MailSubject(), "");
  auto published = ReadModuleOptionsMapping(reinterpret_cast<uintptr_t>(self));
  ASSERT_TRUE(published);
  EXPECT_EQ(published->at(0), 1);

  stop();
  EXPECT_FALSE(ReadModuleOptionsMapping(reinterpret_cast<uintptr_t>(dll.get()))) << "closed with its module";
  CloseSubsystemOptionsMapping();
}

}  // namespace
}  // namespace sondrel
