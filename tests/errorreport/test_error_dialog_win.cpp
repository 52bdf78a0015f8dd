// The error dialog and the request dialog as the user sees them: opened for a fixed report in a thread
// of their own (as the report worker runs them), checked and driven through messages, with
// screenshots for people to look at.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "base/file.h"
#include "errorreport/capture/error_dialog.h"
#include "errorreport/capture/error_dialog_win.h"
#include "tests/errorreport/fake_report_system.h"
#include "tests/support/listview_win.h"
#include "tests/support/screenshot_win.h"
#include "tests/support/windows_win.h"

namespace sondrel::test {
namespace {

std::string IniPath() {
  char dir[MAX_PATH] = {};
  GetWindowsDirectoryA(dir, MAX_PATH);
  return std::string(dir) + "\\ErrorReport.ini";
}

std::string IniValue(const char* key) {
  char buf[64] = {};
  GetPrivateProfileStringA("Coordinates", key, "", buf, sizeof buf, "ErrorReport.ini");
  return buf;
}

// A report as the worker hands it to the dialog.
struct FixedReport {
  TReportModuleOptions options{"", false};
  std::vector<StackRowText> stack = {
      {4, 0x00401234, "prog.exe", "report_child_win.cpp", "", "FaultAccessViolation", 30, kModuleKindExecutable},
      {3, 0x00402000, "prog.exe", "Other.pas", "", "Export", 0, kModuleKindExecutable},
      {2, 0x7C812AFB, "kernel32.dll", "", "", "RaiseException", 0, 3},
      {3, 0x10001000, "pack.bpl", "Pack.pas", "TPack", "Run", 0, kModuleKindPackage}};
  std::vector<ModuleRowText> modules = {
      {0x00400000, "prog.exe", "Sondrel - one keyword, many search sites", "2.0.0.0", 1234567, "C:\\Program Files\\Sondrel"},
      {0x7C800000, "kernel32.dll", "Windows NT BASE API Client DLL", "5.1.2600.2180", 989696, "C:\\WINDOWS\\system32"}};
  TReportExceptionRecord record;
  DialogRequest request;

  FixedReport() {
    record.CallStack = &stack;
    record.ModulesList = &modules;
    record.HandlingOptions = &options;
    request.record = &record;
    request.message = "Access violation at address 00401234. Write of address 00000000.";
    ReportRowValues rows;
    rows[rrName] = "Sondrel - one keyword, many search sites";
    rows[rrType] = "EAccessViolation";
    rows[rrMessage] = request.message;
    auto texts = [this](int i) { return options.CustomText(i); };
    request.general_part = BuildGeneralPart(texts, 0xFFFFFFFF, rows, true);
    request.processor_part = BuildProcessorPart(texts, ReportRegisters{1, 2, 3, 4, 5, 6, 7, 8}, {});
    request.exceptions_reported = 1;
  }
};

// One dialog shown in a thread of its own; the test thread drives it.
class DialogRun {
 public:
  explicit DialogRun(std::function<void()> show) : thread_([show] { show(); }) {}
  ~DialogRun() { Finish(); }
  void Finish() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::thread thread_;
};

HWND WaitForWindow(const char* caption, HWND not_this = nullptr) {
  const DWORD start = GetTickCount();
  while (not_this && IsWindow(not_this) && GetTickCount() - start < 10000) Sleep(20);
  HWND h = FindTopWindow(caption, 10000, GetCurrentProcessId());
  Sleep(150);  // let the dialog's thread paint
  return h;
}

// The height kept below the buttons: buttons stand 32 pixels above it.
int Band(HWND dialog) {
  RECT ok;
  GetWindowRect(GetDlgItem(dialog, kIdOk), &ok);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&ok), 2);
  return ClientSize(dialog).cy - ok.top - 32;
}

HWND Page(HWND dialog) { return FindChildByClass(dialog, "#32770"); }
HWND PageContent(HWND dialog) { return GetDlgItem(Page(dialog), kIdPageContent); }

void SelectPage(HWND dialog, int page) {
  SendMessageA(GetDlgItem(dialog, kIdTabs), TCM_SETCURFOCUS, page, 0);
  Sleep(150);
}

// The height of one of this program's dialog templates (an extended one), in dialog units.
int TemplateHeight(const char* name) {
  HRSRC res = FindResourceA(nullptr, name, MAKEINTRESOURCEA(5));  // a dialog template
  const auto* t = res ? static_cast<const uint16_t*>(LockResource(LoadResource(nullptr, res))) : nullptr;
  // Version, 0xFFFF, help id, extended style, style, item count, then x, y, width and height.
  return t && t[1] == 0xFFFF ? static_cast<int16_t>(t[12]) : 0;
}

class ErrorDialogWin : public testing::Test {
 protected:
  void SetUp() override {
    saved_ini_ = ReadFileBytes(IniPath());
    DeleteFileAt(IniPath());
  }
  void TearDown() override {
    DeleteFileAt(IniPath());
    if (saved_ini_) WriteFileAtomic(IniPath(), *saved_ini_);
  }
  // Shows the fixed report's dialog; choices_ gets what it returns.
  std::unique_ptr<DialogRun> Show() {
    return std::make_unique<DialogRun>([this] { choices_ = ShowErrorDialogWindow(report_.request); });
  }
  // Shows the dialog (after the previous one has gone) and switches it to the detailed view.
  HWND ShowDetailed(std::unique_ptr<DialogRun>& run, HWND previous = nullptr) {
    run = Show();
    HWND d = WaitForWindow("Error.", previous);
    if (!d) return nullptr;
    Click(GetDlgItem(d, kIdDetails));
    Sleep(150);
    return d;
  }
  static RECT WindowRect(HWND h) {
    RECT r;
    GetWindowRect(h, &r);
    return r;
  }

  std::optional<std::string> saved_ini_;
  FixedReport report_;
  DialogChoices choices_;
};

TEST_F(ErrorDialogWin, CompactViewWithoutSendingThenTheFourPagesOfTheReport) {
  report_.options.SetAttachScreenshot(true);  // without sending there is no picture to attach either
  auto run = Show();
  HWND d = WaitForWindow("Error.");
  ASSERT_TRUE(d);
  EXPECT_EQ(WindowText(GetDlgItem(d, kIdMessage)), report_.request.message);
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(d, kIdSendBox))) << "SendMode rsNone";
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(d, kIdScreenshotBox)));
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(d, kIdCopyBox)));
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(d, kIdTerminate))) << "first report";
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(d, kIdTabs)));
  EXPECT_EQ(Band(d), 20);
  EXPECT_EQ(WindowText(GetDlgItem(d, kIdOk)), "&OK");
  EXPECT_EQ(WindowText(GetDlgItem(d, kIdDetails)), "&Details >>");
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  GetGUIThreadInfo(GetWindowThreadProcessId(d, nullptr), &gui);
  EXPECT_EQ(gui.hwndFocus, GetDlgItem(d, kIdOk));
  SaveScreenshot(d, "error_dialog_compact");

  Click(GetDlgItem(d, kIdDetails));
  Sleep(150);
  EXPECT_EQ(WindowText(GetDlgItem(d, kIdDetails)), "<< &Details");
  EXPECT_EQ(WindowText(GetDlgItem(d, kIdMessage)),
            "An error has occurred during program execution.\r\nPlease read the following information for further "
            "details.");
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(d, kIdTabs)));
  EXPECT_EQ(TabTexts(GetDlgItem(d, kIdTabs)), (std::vector<std::string>{"General", "Call Stack", "Modules", "CPU"}));
  EXPECT_EQ(Band(d), 20);
  EXPECT_EQ(WindowText(GetDlgItem(Page(d), kIdPageCaption)), "General Information");
  EXPECT_EQ(WindowText(PageContent(d)), report_.request.general_part);
  SaveScreenshot(d, "error_dialog_general");

  SelectPage(d, 1);
  EXPECT_EQ(WindowText(GetDlgItem(Page(d), kIdPageCaption)), "Call Stack Information");
  const auto stack = ListViewRows(PageContent(d));
  ASSERT_EQ(stack.size(), 3u) << "the program's kind-3 row is left out";
  EXPECT_EQ(stack[0], (std::vector<std::string>{"00401234", "prog.exe", "report_child_win.cpp", "",
                                                "FaultAccessViolation", "30"}));
  EXPECT_EQ(stack[1][4], "RaiseException");
  EXPECT_EQ(stack[2][3], "TPack");
  EXPECT_EQ(ListViewImage(PageContent(d), 0), kImagePas);
  EXPECT_EQ(ListViewImage(PageContent(d), 1), kImageDll);
  EXPECT_EQ(ListViewImage(PageContent(d), 2), kImageBpl);
  SaveScreenshot(d, "error_dialog_call_stack");

  SelectPage(d, 2);
  const auto modules = ListViewRows(PageContent(d));
  ASSERT_EQ(modules.size(), 2u);
  EXPECT_EQ(modules[1], (std::vector<std::string>{"7C800000", "kernel32.dll", "Windows NT BASE API Client DLL", "5.1.x",
                                                  "967 Kb", "C:\\WINDOWS\\system32"}));
  EXPECT_EQ(modules[0][4], "1206 Kb");
  EXPECT_EQ(ListViewImage(PageContent(d), 0), kImageVcl);
  SaveScreenshot(d, "error_dialog_modules");

  SelectPage(d, 3);
  EXPECT_EQ(WindowText(GetDlgItem(Page(d), kIdPageCaption)), "CPU Information");
  EXPECT_EQ(WindowText(PageContent(d)), report_.request.processor_part);
  SaveScreenshot(d, "error_dialog_cpu");

  Tick(GetDlgItem(d, kIdCopyBox), true);
  Click(GetDlgItem(d, kIdOk));
  run->Finish();
  EXPECT_TRUE(choices_.copy_to_clipboard);
  EXPECT_FALSE(choices_.send);
  EXPECT_FALSE(choices_.terminate);
}

TEST_F(ErrorDialogWin, GeometryAndColumnWidthsAreKeptInErrorReportIni) {
  report_.options.SetFirstDetailsTab(1);
  std::unique_ptr<DialogRun> run;
  HWND d = ShowDetailed(run);
  ASSERT_TRUE(d);
  RECT r = WindowRect(d);
  EXPECT_EQ(r.right - r.left, 640) << "default width";
  EXPECT_EQ(r.bottom - r.top, 385 + 20) << "default height and the band";
  SetWindowPos(d, nullptr, 30, 40, 700, 450, SWP_NOZORDER);
  SendMessageA(PageContent(d), LVM_SETCOLUMNWIDTH, 0, 123);
  SelectPage(d, 2);  // the call stack page goes and writes its widths
  SendMessageA(PageContent(d), LVM_SETCOLUMNWIDTH, 1, 111);
  Click(GetDlgItem(d, kIdOk));
  run->Finish();
  EXPECT_EQ(IniValue("Width"), "700");
  EXPECT_EQ(IniValue("Height"), "430");
  EXPECT_EQ(IniValue("Left"), "30");
  EXPECT_EQ(IniValue("Top"), "40");
  EXPECT_EQ(IniValue("WindowsState"), "1");
  EXPECT_EQ(IniValue("Col0"), "123");
  EXPECT_EQ(IniValue("Col5"), "48");
  EXPECT_EQ(IniValue("ColMod1"), "111");

  d = ShowDetailed(run, d);
  ASSERT_TRUE(d);
  r = WindowRect(d);
  EXPECT_EQ(r.left, 30);
  EXPECT_EQ(r.top, 40);
  EXPECT_EQ(r.right - r.left, 700);
  EXPECT_EQ(r.bottom - r.top, 450);
  EXPECT_EQ(SendMessageA(PageContent(d), LVM_GETCOLUMNWIDTH, 0, 0), 123);
  // Back to the compact view: written again, and the compact view is not the detailed one's size.
  Click(GetDlgItem(d, kIdDetails));
  Sleep(100);
  r = WindowRect(d);
  EXPECT_LT(r.bottom - r.top, 300);
  Click(GetDlgItem(d, kIdOk));
  run->Finish();
  EXPECT_EQ(IniValue("Width"), "700");

  // A saved position off the screen is moved back.
  WritePrivateProfileStringA("Coordinates", "Left", "3000", "ErrorReport.ini");
  WritePrivateProfileStringA("Coordinates", "Top", "-400", "ErrorReport.ini");
  d = ShowDetailed(run, d);
  ASSERT_TRUE(d);
  r = WindowRect(d);
  EXPECT_EQ(r.right, GetSystemMetrics(SM_CXSCREEN)) << r.left;
  EXPECT_EQ(r.top, 0);
  Click(GetDlgItem(d, kIdOk));
}

TEST_F(ErrorDialogWin, ActivatingACallStackRowWithALineSendsItsUnitAndLine) {
  HANDLE slot = CreateMailslotA(kMailslotName, 0, 2000, nullptr);
  ASSERT_NE(slot, INVALID_HANDLE_VALUE);
  report_.options.SetFirstDetailsTab(1);
  std::unique_ptr<DialogRun> run;
  HWND d = ShowDetailed(run);
  ASSERT_TRUE(d);
  HWND list = PageContent(d);
  auto double_click = [list](int row) {
    RECT item{LVIR_BOUNDS, 0, 0, 0};
    SendMessageA(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&item));
    const LPARAM at = MAKELPARAM(item.left + 10, (item.top + item.bottom) / 2);
    SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(list, WM_LBUTTONUP, 0, at);
    SendMessageA(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    SendMessageA(list, WM_LBUTTONUP, 0, at);
  };
  double_click(1);  // RaiseException: no line, nothing sent
  double_click(0);
  std::vector<uint8_t> got(4096);
  DWORD n = 0;
  ASSERT_TRUE(ReadFile(slot, got.data(), static_cast<DWORD>(got.size()), &n, nullptr)) << GetLastError();
  ASSERT_EQ(n, 2052u);
  EXPECT_STREQ(reinterpret_cast<const char*>(got.data()), "report_child_win.cpp");
  EXPECT_EQ(got[2048] | got[2049] << 8 | got[2050] << 16 | got[2051] << 24, 30);
  DWORD waiting = 0;
  GetMailslotInfo(slot, nullptr, nullptr, &waiting, nullptr);
  EXPECT_EQ(waiting, 0u) << "one message only";
  Click(GetDlgItem(d, kIdOk));
  run->Finish();
  CloseHandle(slot);
}

TEST_F(ErrorDialogWin, PlainStyleLetsTheSystemDrawAndPaintedStyleDrawsItsOwnCaption) {
  auto run = Show();
  HWND d = WaitForWindow("Error.");
  ASSERT_TRUE(d);
  EXPECT_TRUE(GetWindowLongA(d, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  EXPECT_TRUE(GetWindowLongA(GetDlgItem(d, kIdOk), GWL_STYLE) & BS_FLAT);
  // The caption's first row is the gradient's first colour: the active one while the dialog is active
  // (the test process holds the foreground, so activation is told to the dialog here), else the grey.
  // What the dialog's thread paints reaches the screen once that thread goes back to its messages.
  auto caption_shows = [d](uint32_t colour) {
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 5000; Sleep(50))
      if (CaptionTopColour(d) == colour) return true;
    return false;
  };
  SendMessageA(d, WM_NCACTIVATE, TRUE, 0);
  EXPECT_TRUE(caption_shows(0x829BC2)) << std::hex << CaptionTopColour(d);
  SaveScreenshot(d, "error_dialog_painted_active");
  SendMessageA(d, WM_NCACTIVATE, FALSE, 0);
  EXPECT_TRUE(caption_shows(0x979797)) << std::hex << CaptionTopColour(d);
  Click(GetDlgItem(d, kIdOk));
  run->Finish();

  report_.options.SetPaintedDialogs(false);
  run = Show();
  d = WaitForWindow("Error.", d);
  ASSERT_TRUE(d);
  EXPECT_FALSE(GetWindowLongA(d, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  EXPECT_FALSE(GetWindowLongA(GetDlgItem(d, kIdOk), GWL_STYLE) & BS_FLAT);
  SaveScreenshot(d, "error_dialog_plain_compact");
  Click(GetDlgItem(d, kIdDetails));
  Sleep(150);
  EXPECT_TRUE(GetWindowLongA(d, GWL_STYLE) & WS_SYSMENU);
  SaveScreenshot(d, "error_dialog_plain_detailed");
  Click(GetDlgItem(d, kIdOk));
}

// A dialog that cannot be shown gives way to a message box with the exception message, and the caller
// learns that the dialog failed. Here its template cannot be found.
TEST_F(ErrorDialogWin, ADialogThatCannotBeShownGivesWayToAMessageBox) {
  std::string failure;
  DialogRun run([&] {
    try {
      ShowErrorDialogWindow(report_.request, GetModuleHandleA("kernel32.dll"));
    } catch (const std::exception& e) {
      failure = e.what();
    }
  });
  HWND box = WaitForWindow("Error.");
  ASSERT_TRUE(box);
  EXPECT_FALSE(GetDlgItem(box, kIdDetails)) << "a message box, not the dialog";
  EXPECT_TRUE(FindChildByText(box, report_.request.message));
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  run.Finish();
  EXPECT_EQ(failure, "Cannot show the DialogBox window.");
}

TEST_F(ErrorDialogWin, RequestDialogGivesTheTrimmedSteps) {
  std::string steps;
  DialogRun run([&] { steps = AskReproduceStepsWindow(report_.options); });
  HWND d = WaitForWindow("Request");
  ASSERT_TRUE(d);
  EXPECT_EQ(WindowText(GetDlgItem(d, kIdRequestLabel)), "Please describe the steps to reproduce the error:");
  // The template's spare room below the button is taken off: 18 pixels short of its height.
  RECT height{0, 0, 0, TemplateHeight("REQUEST")};
  ASSERT_GT(height.bottom, 0);
  MapDialogRect(d, &height);
  EXPECT_EQ(ClientSize(d).cy, height.bottom - 18);
  SetText(GetDlgItem(d, kIdRequestEdit), "  Opened the Images tab.\r\nPressed Search.\r\n\r\n");
  Sleep(100);
  SaveScreenshot(d, "error_dialog_request");
  Click(GetDlgItem(d, kIdOk));
  run.Finish();
  EXPECT_EQ(steps, "Opened the Images tab.\r\nPressed Search.");
}

// The titles of a list view's columns (the dialog runs in this process).
std::vector<std::string> ColumnTitles(HWND list) {
  std::vector<std::string> titles;
  for (int i = 0;; ++i) {
    char text[128] = {};
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT;
    column.pszText = text;
    column.cchTextMax = sizeof text;
    if (!SendMessageA(list, LVM_GETCOLUMNA, i, reinterpret_cast<LPARAM>(&column))) return titles;
    titles.push_back(text);
  }
}

// Every text the user reads comes from the options' text table, none from the templates' own.
TEST_F(ErrorDialogWin, EveryVisibleTextComesFromTheTextTable) {
  TReportModuleOptions& o = report_.options;
  for (int i : {mtDialog_Caption, mtDialog_ErrorMsgCaption, mtDialog_GeneralCaption, mtDialog_GeneralHeader,
                mtDialog_CallStackCaption, mtDialog_CallStackHeader, mtDialog_ModulesCaption, mtDialog_ModulesHeader,
                mtDialog_CPUCaption, mtDialog_CPUHeader, mtDialog_OKButtonCaption, mtDialog_RestartButtonCaption,
                mtDialog_DetailsButtonCaption, mtDialog_SendMessage, mtDialog_ScreenshotMessage, mtDialog_CopyMessage,
                mtCallStack_Address, mtCallStack_Module, mtCallStack_Unit, mtCallStack_Class, mtCallStack_Procedure,
                mtCallStack_Line, mtModules_Handle, mtModules_Name, mtModules_Description, mtModules_Version,
                mtModules_Size, mtModules_Path, mtReproduceDialog_Caption, mtReproduceDialog_Request,
                mtReproduceDialog_OKButtonCaption})
    o.SetCustomText(i, "T" + std::to_string(i) + " " + o.CustomText(i));
  auto text = [&o](int i) { return o.CustomText(i); };
  o.SetSendMode(TReportSendMode::rsMailClient);
  o.SetAttachScreenshot(true);
  o.SetTerminateButtonAfter(0);
  auto run = Show();
  HWND d = WaitForWindow(text(mtDialog_Caption).c_str());
  ASSERT_TRUE(d);
  EXPECT_EQ(WindowText(GetDlgItem(d, kIdOk)), text(mtDialog_OKButtonCaption));
  EXPECT_EQ(WindowText(GetDlgItem(d, kIdTerminate)), text(mtDialog_RestartButtonCaption));
  EXPECT_EQ(WindowText(GetDlgItem(d, kIdDetails)), text(mtDialog_DetailsButtonCaption) + " >>");
  EXPECT_EQ(WindowText(GetDlgItem(d, kIdSendBox)), text(mtDialog_SendMessage));
  EXPECT_EQ(WindowText(GetDlgItem(d, kIdScreenshotBox)), text(mtDialog_ScreenshotMessage));
  EXPECT_EQ(WindowText(GetDlgItem(d, kIdCopyBox)), text(mtDialog_CopyMessage));
  Click(GetDlgItem(d, kIdDetails));
  Sleep(150);
  EXPECT_EQ(WindowText(GetDlgItem(d, kIdDetails)), "<< " + text(mtDialog_DetailsButtonCaption));
  EXPECT_EQ(WindowText(GetDlgItem(d, kIdMessage)), text(mtDialog_ErrorMsgCaption));
  EXPECT_EQ(TabTexts(GetDlgItem(d, kIdTabs)), (std::vector<std::string>{text(mtDialog_GeneralCaption),
                                                                         text(mtDialog_CallStackCaption),
                                                                         text(mtDialog_ModulesCaption),
                                                                         text(mtDialog_CPUCaption)}));
  const int headers[] = {mtDialog_GeneralHeader, mtDialog_CallStackHeader, mtDialog_ModulesHeader, mtDialog_CPUHeader};
  for (int page = 0; page < 4; ++page) {
    SelectPage(d, page);
    EXPECT_EQ(WindowText(GetDlgItem(Page(d), kIdPageCaption)), text(headers[page])) << page;
    if (page == 1 || page == 2) {
      const int first = page == 1 ? mtCallStack_Address : mtModules_Handle;
      std::vector<std::string> expected;
      for (int i = first; i < first + 6; ++i) expected.push_back(text(i));
      EXPECT_EQ(ColumnTitles(PageContent(d)), expected) << page;
    }
  }
  Click(GetDlgItem(d, kIdOk));
  run->Finish();

  std::string steps;
  DialogRun request([&] { steps = AskReproduceStepsWindow(o); });
  HWND r = WaitForWindow(text(mtReproduceDialog_Caption).c_str());
  ASSERT_TRUE(r);
  EXPECT_EQ(WindowText(GetDlgItem(r, kIdRequestLabel)), text(mtReproduceDialog_Request));
  EXPECT_EQ(WindowText(GetDlgItem(r, kIdOk)), text(mtReproduceDialog_OKButtonCaption));
  Click(GetDlgItem(r, kIdOk));
}

// The worker with the real dialog: what the user chooses decides what the report does next.
class ErrorDialogWorker : public ErrorDialogWin {
 protected:
  class DialogSystem : public FakeSystem {
   public:
    using FakeSystem::FakeSystem;
    DialogChoices ShowErrorDialog(const DialogRequest& r) override { return ShowErrorDialogWindow(r); }
  };

  void SetUp() override {
    ErrorDialogWin::SetUp();
    log_ = testing::TempDir() + "sondrel_dialog_worker.rpt";
    DeleteFileAt(log_);
    module_.SetLogPath(log_);
    state_.handling_options = &handling_;
    state_.handlers = &handlers_;
  }
  void TearDown() override {
    DeleteFileAt(log_);
    ErrorDialogWin::TearDown();
  }
  // One report in a thread of its own, as the manager runs the worker.
  std::unique_ptr<DialogRun> Report() {
    return std::make_unique<DialogRun>([this] {
      try {
        ReportWorker w(sys_, state_);
        ReportInput in;
        in.object = std::make_exception_ptr(std::runtime_error("Boom"));
        in.address = 0x00401005;
        w.Run(in);
      } catch (const TerminateCalled&) {
        terminated_ = true;
      }
    });
  }
  bool Sent() const {
    for (const auto& e : sys_.events)
      if (e.rfind("send:", 0) == 0) return true;
    return false;
  }
  bool Has(const std::string& event) const {
    return std::find(sys_.events.begin(), sys_.events.end(), event) != sys_.events.end();
  }

  std::string log_;
  TReportModuleOptions module_{"prog.exe", false};
  TReportModuleOptions handling_{"", false};
  TReportHandlerList handlers_;
  ReportManagerState state_;
  DialogSystem sys_{module_};
  std::atomic<bool> terminated_{false};
};

TEST_F(ErrorDialogWorker, UntickingSendDisablesTheScreenshotBoxAndNothingIsSentOrSaved) {
  module_.SetSendMode(TReportSendMode::rsMailClient);
  module_.SetAttachScreenshot(true);
  auto run = Report();
  HWND d = WaitForWindow("Error.");
  ASSERT_TRUE(d);
  HWND send = GetDlgItem(d, kIdSendBox), shot = GetDlgItem(d, kIdScreenshotBox);
  EXPECT_TRUE(IsWindowVisible(send) && IsWindowVisible(shot));
  EXPECT_TRUE(IsTicked(send));
  EXPECT_TRUE(IsWindowEnabled(shot));
  EXPECT_EQ(Band(d), 34);
  EXPECT_EQ(WindowText(GetDlgItem(d, kIdMessage)), "Boom.");
  SaveScreenshot(d, "error_dialog_sending");
  Tick(send, false);
  EXPECT_FALSE(IsWindowEnabled(shot));
  Click(GetDlgItem(d, kIdOk));
  run->Finish();
  EXPECT_FALSE(Sent());
  EXPECT_FALSE(Has("shot"));
  EXPECT_TRUE(Has("release"));

  sys_.events.clear();
  run = Report();
  d = WaitForWindow("Error.", d);
  ASSERT_TRUE(d);
  Click(GetDlgItem(d, kIdOk));  // both boxes as they start: ticked
  run->Finish();
  EXPECT_TRUE(Has("shot"));
  EXPECT_TRUE(Has("send:Screenshot.png"));
}

TEST_F(ErrorDialogWorker, TerminateAppearsFromTheFourthReportAndARefusingHandlerBringsTheDialogBack) {
  int refusals = 1;
  std::vector<int> terminate_asks;
  TReportHandler h;
  h.OnAction = [&](TReportExceptionRecord&, int action, bool& go_on) {
    if (action != raTerminate) return;
    terminate_asks.push_back(refusals);
    if (refusals-- > 0) go_on = false;
  };
  handlers_.Add(h);
  HWND d = nullptr;
  for (int n = 1; n <= 3; ++n) {
    auto run = Report();
    d = WaitForWindow("Error.", d);
    ASSERT_TRUE(d) << n;
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(d, kIdTerminate))) << n;
    Click(GetDlgItem(d, kIdOk));
  }
  auto run = Report();
  d = WaitForWindow("Error.", d);
  ASSERT_TRUE(d);
  HWND terminate = GetDlgItem(d, kIdTerminate);
  ASSERT_TRUE(IsWindowVisible(terminate));
  EXPECT_EQ(WindowText(terminate), "&Restart");
  Click(terminate);
  HWND again = WaitForWindow("Error.", d);
  ASSERT_TRUE(again) << "the handler kept the program running: the dialog is back";
  EXPECT_FALSE(terminated_);
  Click(GetDlgItem(again, kIdTerminate));
  run->Finish();
  EXPECT_EQ(terminate_asks, (std::vector<int>{1, 0}));
  EXPECT_TRUE(terminated_);
  EXPECT_TRUE(Has("restart"));
  EXPECT_EQ(state_.exceptions_reported, 4u);
}

}  // namespace
}  // namespace sondrel::test
