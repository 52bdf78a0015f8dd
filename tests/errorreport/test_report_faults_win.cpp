// Child programs that fault on purpose, one row per way of failing; each row checks the course
// through the child's output and the log file the reporter wrote.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <regex>
#include <thread>

#include "base/cmdline.h"
#include "base/file.h"
#include "base/text.h"
#include "errorreport/capture/log_file.h"
#include "errorreport/delivery/options_block.h"
#include "tests/errorreport/report_facts.h"
#include "tests/support/process_win.h"
#include "tests/support/windows_win.h"

namespace sondrel::test {
namespace {

// The child carries an options block from the build when the build writes one; otherwise a copy gets
// a trailer with the default options, so that its reporter is active.
struct PreparedChild {
  std::string path;
  bool has_debug_data = false;
};

const PreparedChild& Child() {
  static PreparedChild child = [] {
    PreparedChild c;
    const std::string built = ProgramFolder() + "report_child.exe";
    c.path = ProgramFolder() + "report_child_run.exe";
    auto bytes = ReadFileBytes(built);
    if (!bytes) return c;
    const bool has_trailer = bytes->size() > 4 && bytes->compare(bytes->size() - 4, 4, "\x10\xAB\x0F\x00", 4) == 0;
    c.has_debug_data = has_trailer || HasReportOptionsBlock(built);
    if (!c.has_debug_data) *bytes += BuildTrailer(TReportModuleOptions("", false), "");
    WriteFileAtomic(c.path, *bytes);
    // Every case writes its log in here; the folder must exist whichever case runs first.
    ForceDirectories(ProgramFolder() + "report_logs\\");
    return c;
  }();
  return child;
}

using Check = std::function<std::string(const ReportFacts&)>;  // says what is wrong, or ""

// The call stack's first row is the child's raising function, with its file and line from the line data
// the build embeds: no row of the reporter or of the framework's boundary stands above it.
Check FirstRow(std::string procedure) {
  return [procedure](const ReportFacts& f) -> std::string {
    if (f.stack.empty() || f.stack[0].size() != 6) return "no call stack";
    const auto& r = f.stack[0];
    if (r[1] == "report_child_run.exe" && r[2] == "report_child_win.cpp" && r[4] == procedure && std::atoi(r[5].c_str()) > 0)
      return "";
    return "first row " + r[1] + "|" + r[2] + "|" + r[3] + "|" + r[4] + "|" + r[5] + ", not " + procedure;
  };
}

// A row of `below` comes after the first row of `above`.
Check Below(std::string above, std::string below) {
  return [above, below](const ReportFacts& f) -> std::string {
    const size_t a = RowOf(f, above);
    if (a == std::string::npos) return "no row " + above;
    for (size_t i = a + 1; i < f.stack.size(); ++i)
      if (f.stack[i].size() == 6 && f.stack[i][4] == below) return "";
    return "no row " + below + " below " + above;
  };
}

// At least n rows of the procedure.
Check Rows(std::string procedure, size_t n) {
  return [procedure, n](const ReportFacts& f) -> std::string {
    size_t count = 0;
    for (const auto& r : f.stack) count += r.size() == 6 && r[4] == procedure;
    return count >= n ? "" : std::to_string(count) + " rows of " + procedure + ", not " + std::to_string(n);
  };
}

// No row of the report's own calls (the scan may still meet stale values of earlier calls, such as the
// installation's): a report without a snapshot of the raise starts at its caller.
std::string NoReporterRows(const ReportFacts& f) {
  for (const auto& r : f.stack)
    for (const char* p : {"sondrel::ReportException", "ExceptionManager", "sondrel::ReportRoutine", "ManagerEntry",
                          "RunWorker", "RunWorkerInThread"})
      if (r.size() == 6 && r[4].find(p) != std::string::npos) return "a row of the reporter: " + r[2] + " " + r[4];
  return "";
}

// The stack dump starts at the faulting thread's stack pointer.
std::string DumpAtEsp(const ReportFacts& f) {
  const auto esp = f.registers.find("ESP");
  if (esp == f.registers.end() || esp->second == "????    ") return "no ESP";
  return f.dump_stack == esp->second ? "" : "dump starts at " + f.dump_stack + ", ESP is " + esp->second;
}

std::string AddressIsEip(const ReportFacts& f) {
  const auto eip = f.registers.find("EIP");
  return eip != f.registers.end() && eip->second == f.address ? "" : "2.2 " + f.address + " is not EIP";
}

struct Row {
  const char* name;
  DWORD exit_code;
  int logged;                          // reports in the log afterwards
  std::vector<std::string> output;     // substrings of the child's output
  std::vector<std::string> log;        // regular expressions over the log
  const char* box_caption = nullptr;   // a message box the child shows, closed by the test
  const char* box_text = nullptr;
  std::vector<Check> checks = {};      // over the first report of the log
};

const std::string kShape[] = {
    "^ErrorReport 4\\.6\r\n\r\nApplication:\r\n-+\r\n  1\\.1 Start Date +: \\w{3}, \\d+ \\w{3} \\d{4} "
    "\\d\\d:\\d\\d:\\d\\d [+-]\\d{4}\r\n  1\\.2 Name/Description: report_child_run\\.exe\r\n",
    "\r\n\r\nException:\r\n-+\r\n  2\\.1 Date   : \\w{3}, .*\r\n  2\\.2 Address: [0-9A-F]{8}\r\n",
    "\r\n\r\nComputer:\r\n-+\r\n  4\\.1 Name        : ",
    "\r\n\r\nOperating System:\r\n-+\r\n  5\\.1 Type    : Microsoft Windows \\S",
    "\r\n\r\nCall Stack Information:\r\n-+\r\n\\|Address \\|Module *\\|Unit *\\|Class *\\|Procedure/Method *\\|Line *\\|\r\n-+\r\n",
    "\r\n\r\nModules Information:\r\n-+\r\n\\|Handle  \\|Name *\\|Description *\\|Version *\\|Size *\\|Path *\\|\r\n-+\r\n",
    "\\|[0-9A-F]{8}\\|report_child_run\\.exe *\\|",
    "\\|[0-9A-F]{8}\\|(ntdll|NTDLL)\\.dll *\\|",
    "\\|[0-9A-F]{8}\\|(kernel32|KERNEL32)\\.dll *\\|",
    "\r\n\r\nRegisters:\r\n-{29}\r\nEAX: ",
};

std::vector<std::string> Logged(std::vector<std::string> extra) {
  std::vector<std::string> all(std::begin(kShape), std::end(kShape));
  all.insert(all.end(), extra.begin(), extra.end());
  return all;
}

const std::string kConsoleHeader = "An error has occurred during program execution.\r\nPlease read the following "
                                   "information for further details.\r\n\r\nErrorReport 4.6";
const std::string kModuleRow = "  2\\.3 Module : report_child_run\\.exe\r\n";
const std::string kKnownRegisters = "EAX: [0-9A-F]{8}   EDI: [0-9A-F]{8}\r\n";
const std::string kDumpLine = "\r\n[0-9A-F]{8}: [0-9A-F]{8}   [0-9A-F]{8}: ([0-9A-F]{2} ){16} .{16}\r\n";
class ReportFaults : public testing::TestWithParam<Row> {};

TEST_P(ReportFaults, TheLogTellsWhatHappened) {
  const Row& row = GetParam();
  const PreparedChild& child = Child();
  ASSERT_TRUE(FileExists(child.path));
  const std::string folder = ProgramFolder() + "report_logs\\";
  ForceDirectories(folder);
  const std::string log = folder + row.name + ".rpt";
  DeleteFileAt(log);

  ChildResult result;
  std::thread run([&] { result = RunChild(QuoteArg(child.path) + " " + row.name + " " + QuoteArg(log), 60000); });
  std::string box_text;
  if (row.box_caption) {
    if (HWND box = FindTopWindow(row.box_caption, 30000)) {
      for (HWND c = FindWindowExA(box, nullptr, "Static", nullptr); c; c = FindWindowExA(box, c, "Static", nullptr))
        box_text += WindowText(c);
      PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
  }
  run.join();

  ASSERT_FALSE(result.timed_out) << result.output;
  EXPECT_EQ(result.exit_code, row.exit_code) << result.output;
  for (const auto& s : row.output) EXPECT_NE(result.output.find(s), std::string::npos) << s << "\n" << result.output;
  if (row.box_caption) {
    EXPECT_NE(box_text.find(row.box_text), std::string::npos) << "box: " << box_text;
  }

  TLogFile file(log);
  ASSERT_EQ(file.Count(), static_cast<size_t>(row.logged)) << result.output;
  if (!row.logged) return;
  // Shown as the console line, except where the row switched the showing off.
  EXPECT_EQ(result.output.find(kConsoleHeader) != std::string::npos, std::string(row.name).rfind("screenshot", 0) != 0)
      << result.output;
  const std::string text = *ReadFileBytes(log);
  for (const auto& pattern : row.log)
    EXPECT_TRUE(std::regex_search(text, std::regex(pattern))) << pattern << "\n---\n" << text;
  const ReportFacts facts = ReadFacts(file.Entries().front());
  for (const auto& check : row.checks) {
    const std::string wrong = check(facts);
    EXPECT_EQ(wrong, "") << text;
  }
}

const Row kRows[] = {
    {"cpp", 1, 1, {}, Logged({"  2\\.4 Type   : std::runtime_error\r\n", "  2\\.5 Message: Uncaught C\\+\\+ failure\\.\r\n",
                              kModuleRow})},
    {"av", 1, 1, {}, Logged({"  2\\.4 Type   : EAccessViolation\r\n",
                             "  2\\.5 Message: Access violation at address [0-9A-F]{8}\\. Write of address 00000000\\.\r\n",
                             kModuleRow, kKnownRegisters, kDumpLine})},
    {"div", 1, 1, {}, Logged({"  2\\.4 Type   : EDivByZero\r\n", "  2\\.5 Message: Division by zero\\.\r\n", kModuleRow,
                              kKnownRegisters, kDumpLine})},
    {"abort", 0, 0, {"abort=1", "done"}, {}},
    {"filter-silent", 0, 0, {"filtered=0", "done"}, {}},
    {"filter-message", 0, 0, {"filtered=0", "done"}, {}, "Information.", "Please check the number."},
    {"window", 0, 1, {"went on", "done"},
     Logged({"  2\\.4 Type   : std::logic_error\r\n", "  2\\.5 Message: Handler failed in the window\\.\r\n", kModuleRow}),
     nullptr, nullptr, {FirstRow("OnMessage")}},
    // An event handler's failure reaches the framework's boundary after its frames are gone; the report
    // still shows the raise: address, registers, stack dump and call stack.
    {"form-av", 0, 1, {"went on", "done"}, Logged({"  2\\.4 Type   : EAccessViolation\r\n", kModuleRow, kKnownRegisters}),
     nullptr, nullptr, {FirstRow("FaultAccessViolation"), Below("FaultAccessViolation", "OnMessage"), DumpAtEsp, AddressIsEip}},
    {"form-cpp", 0, 1, {"went on", "done"},
     Logged({"  2\\.4 Type   : std::runtime_error\r\n", "  2\\.5 Message: Raised in the handler\\.\r\n", kModuleRow,
             kKnownRegisters}),
     nullptr, nullptr, {FirstRow("ThrowFromHandler"), Below("ThrowFromHandler", "OnMessage"), DumpAtEsp}},
    {"form-int", 0, 1, {"went on", "done"},
     Logged({"  2\\.4 Type   : int\r\n", "  2\\.5 Message: Unknown error message\\.\r\n"}), nullptr, nullptr,
     {FirstRow("ThrowInt")}},
    // Thrown under nine frames whose cleanups overwrite the stack below them on the way to the boundary:
    // the report still shows every frame between the raise and the handler.
    {"form-deep", 0, 1, {"went on", "done"},
     Logged({"  2\\.5 Message: Raised deep in the handler\\.\r\n", kModuleRow, kKnownRegisters}), nullptr, nullptr,
     {FirstRow("ThrowFromDepth"), Rows("ThrowFromDepth", 9), Below("ThrowFromDepth", "OnMessage"), DumpAtEsp}},
    // The thread's own rows, then those of the code that started it.
    {"thread", 0, 1, {"record names the thread=1", "done"}, Logged({"  2\\.5 Message: Raised in the thread\\.\r\n"}),
     nullptr, nullptr, {FirstRow("ThrowInThread"), Below("ThrowInThread", "StartReportingThread")}},
    {"freeze", 0, 1, {"watched=1 record names the main thread=1", "done"}, Logged({"  2\\.4 Type   : EFrozenApplication\r\n"}),
     nullptr, nullptr, {AddressIsEip, DumpAtEsp}},
    // Reported without a raise (an exception object made, not thrown): from the caller's frame.
    {"lasterror", 0, 1, {"kept after a throw=4321", "kept after a report=4322", "done"}, Logged({}), nullptr, nullptr,
     {FirstRow("RunLastErrorCase"), NoReporterRows}},
    {"unhandled", 0, 0, {"handler saw report=1", "went on", "done"}, {}, "Report child", "Handler failed in the window."},
    {"nested", 0, 1, {"nested=1", "outer=0", "done"}, Logged({"  2\\.5 Message: Outer failure\\.\r\n"})},
    {"threads", 0, 8, {"reports=8 most at once=1 handlers elsewhere=0 ended=200", "done"},
     Logged({"Thread 0 failed\\.", "Thread 3 failed\\.", "Thread 7 failed\\."})},
    {"forward", 0, 1, {"reported by the program", "library result=0", "done"},
     Logged({"  2\\.4 Type   : std::runtime_error\r\n", "  2\\.5 Message: Raised in the library\\.\r\n",
             "  2\\.3 Module : report_forward\\.dll\r\n"})},
    {"screenshot", 0, 1, {"screenshot file=", "Screenshot.png", "screenshot deleted=1", "done"}, Logged({})},
    // A picture that cannot be written is left out; the report is logged and sent all the same.
    {"screenshot-fail", 0, 1, {"sent shot=[]", "done"}, Logged({"  2\\.5 Message: Without a picture\\.\r\n"})},
    // A fault inside the C runtime called by an event handler is reported like one in the handler.
    {"foreign-fault", 0, 1, {"probe answered=1", "went on", "done"},
     Logged({"  2\\.4 Type   : EAccessViolation\r\n",
             "  2\\.5 Message: Access violation at address [0-9A-F]{8}\\. Read of address 00000000\\.\r\n"})},
    // The program file changes between two reports: the run-time options stay in force.
    {"file-time", 0, 2, {"time changed=1", "same options=1", "done"}, Logged({"After the change"})},
    // A handler of a freeze report switches the watch off on the watchdog's own thread.
    {"freeze-off", 0, 1, {"watch off=1", "done"},
     Logged({"  2\\.4 Type   : EFrozenApplication\r\n", "  2\\.5 Message: The application seems to be frozen\\.\r\n"})},
    // The same with reporting switched off; switched on again, the next failure is logged.
    {"freeze-reporting-off", 0, 2, {"watch off=1", "done"},
     Logged({"  2\\.4 Type   : EFrozenApplication\r\n", "  2\\.5 Message: Reported again\\.\r\n"})},
    // The watchdog and another thread read the options while eight threads report; before that, the
    // other thread reads at every module the worker's refresh looks at while it drops a library that went.
    {"options-race", 0, 10, {"reads inside the refresh=1", "options seen other=0 read=1", "done"},
     Logged({"After the library went\\.", "Thread 0 failed\\.", "Thread 7 failed\\."})},
    // A library's own reporter: it makes its options mapping at installation, with nothing published,
    // and closes it at finalisation; its freeze watchdog does not keep the unloading waiting.
    {"mapping", 0, 0, {"library mapping=0 watching=1 after unload=none", "done"}, {}},
};

INSTANTIATE_TEST_SUITE_P(Cases, ReportFaults, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& i) {
                           std::string n = i.param.name;
                           for (char& c : n)
                             if (c == '-') c = '_';
                           return n;
                         });

// A failure inside the report itself: the debugger line, the ".log" file beside the program and the
// question whether to send it; the program's own handling runs afterwards. Once an exception of the
// reporter's own code, once a fault inside a system library on the report's worker thread.
struct InternalCase {
  const char* name;
  const char* message;
};
class ReportFaultsInternal : public testing::TestWithParam<InternalCase> {};

TEST_P(ReportFaultsInternal, AFailureInsideTheReportBecomesAnInternalError) {
  const InternalCase& c = GetParam();
  const PreparedChild& child = Child();
  const std::string internal_log = ChangeFileExt(child.path, ".log");
  DeleteFileAt(internal_log);
  const std::string log = ProgramFolder() + "report_logs\\" + c.name + ".rpt";
  DeleteFileAt(log);
  ChildResult r;
  std::thread run([&] { r = RunChild(QuoteArg(child.path) + " " + c.name + " " + QuoteArg(log), 60000); });
  std::string box_text;
  if (HWND box = FindTopWindow("Probably internal bug", 30000)) {
    for (HWND c = FindWindowExA(box, nullptr, "Static", nullptr); c; c = FindWindowExA(box, c, "Static", nullptr))
      box_text += WindowText(c);
    PostMessageA(box, WM_COMMAND, IDNO, 0);
  }
  run.join();
  ASSERT_FALSE(r.timed_out) << r.output;
  EXPECT_TRUE(std::regex_search(box_text, std::regex(std::string("Error: '") + c.message + "'"))) << box_text;
  EXPECT_NE(box_text.find("This is an internal ErrorReport bug."), std::string::npos) << box_text;
  EXPECT_NE(r.output.find("internal=1"), std::string::npos) << r.output;
  EXPECT_EQ(TLogFile(log).Count(), 0u);
  const std::string text = ReadFileBytes(internal_log).value_or("");
  EXPECT_TRUE(std::regex_search(text, std::regex("^OS     : Microsoft Windows \\S.*\r\nRAD    : GCC .*\r\n"
                                                 "Dump   : (\\$[0-9A-F]{2} ){32}\r\nSection: 602\r\n"
                                                 "Address: [0-9A-F]{8}\r\nMessage: " + std::string(c.message) + "$")))
      << text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReportFaultsInternal,
    testing::Values(InternalCase{"internal", "Broken web test"},
                    InternalCase{"worker-fault", "Access violation at address [0-9A-F]{8}\\. Read of address 00000000"}),
    [](const testing::TestParamInfo<InternalCase>& i) { return i.param.name[0] == 'i' ? "Raised" : "SystemLibraryFault"; });

// With the program's own line debug data the call stack names the faulting function, its file and line.
TEST(ReportFaultsDebugData, CallStackNamesTheFaultingFunction) {
  const PreparedChild& child = Child();
  if (!child.has_debug_data) GTEST_SKIP() << "the build wrote no options block into report_child.exe";
  const std::string log = ProgramFolder() + "report_logs\\av-lines.rpt";
  DeleteFileAt(log);
  ChildResult r = RunChild(QuoteArg(child.path) + " av " + QuoteArg(log), 60000);
  const std::string text = ReadFileBytes(log).value_or("");
  EXPECT_TRUE(std::regex_search(
      text, std::regex("\\|[0-9A-F]{8}\\|report_child_run\\.exe *\\|report_child_win\\.cpp *\\|[^|]*\\|"
                       "FaultAccessViolation *\\|[1-9][0-9]* *\\|")))
      << text << r.output;
}

}  // namespace
}  // namespace sondrel::test
