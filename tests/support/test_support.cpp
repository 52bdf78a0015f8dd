// The helpers every Windows test uses, each shown working on a real process, registry and window.
#include <gtest/gtest.h>
#include <zlib.h>

#include <set>

#include "base/cmdline.h"
#include "base/file.h"
#include "skin/forms_win.h"
#include "tests/support/process_win.h"
#include "tests/support/registry_win.h"
#include "tests/support/screenshot_win.h"
#include "tests/support/windows_win.h"

namespace sondrel::test {
namespace {

TEST(ChildProcess, CollectsOutputAndExitCode) {
  ChildResult r = RunChild(QuoteArg(ProgramFolder() + "sondrel_test_child.exe") + " one --exit 7");
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.exit_code, 7u);
  EXPECT_NE(r.output.find("[one]"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("stderr line"), std::string::npos) << r.output;
}

TEST(ChildProcess, QuotedArgumentsArriveUnchanged) {
  const std::vector<std::string> args = {"plain", "two words", "say \"hi\"", "C:\\dir\\", "a\\\\\"b", "", "tab\there"};
  std::string cmd = QuoteArg(ProgramFolder() + "sondrel_test_child.exe");
  std::string expected;
  for (const auto& a : args) {
    cmd += " " + QuoteArg(a);
    expected += "[" + a + "]\n";
  }
  ChildResult r = RunChild(cmd);
  // The child's stdout is text mode: line ends arrive as CR LF.
  std::string out;
  for (char c : r.output)
    if (c != '\r') out += c;
  EXPECT_EQ(out.substr(0, expected.size()), expected);
  EXPECT_EQ(ParseCommandLine(cmd).size(), args.size() + 1);
}

TEST(ChildProcess, TimeoutKillsTheChild) {
  const DWORD start = GetTickCount();
  ChildResult r = RunChild(QuoteArg(ProgramFolder() + "sondrel_test_child.exe") + " --sleep 60000", 1500);
  EXPECT_TRUE(r.timed_out);
  EXPECT_LT(GetTickCount() - start, 20000u);
}

TEST(Registry, WritesReachEachRoot) {
  struct Root {
    HKEY key;
    const char* path;
  } roots[] = {{HKEY_CLASSES_ROOT, "SondrelTestKey\\shell"},
               {HKEY_CURRENT_USER, "Software\\SondrelTest\\Inner"},
               {HKEY_LOCAL_MACHINE, "Software\\SondrelTest\\Inner"}};
  for (const Root& r : roots) {
    WriteRegString(r.key, r.path, "", "default value");
    WriteRegString(r.key, r.path, "Named", "C:\\x y\\z.exe");
    WriteRegDword(r.key, r.path, "Number", 42);
    EXPECT_EQ(ReadRegString(r.key, r.path, "").value_or("?"), "default value") << r.path;
    EXPECT_EQ(ReadRegString(r.key, r.path, "Named").value_or("?"), "C:\\x y\\z.exe");
    DWORD v = 0, size = sizeof v;
    EXPECT_EQ(RegGetValueA(r.key, r.path, "Number", RRF_RT_REG_DWORD, nullptr, &v, &size), ERROR_SUCCESS);
    EXPECT_EQ(v, 42u);
  }
  DeleteRegTree(HKEY_CLASSES_ROOT, "SondrelTestKey");
  DeleteRegTree(HKEY_CURRENT_USER, "Software\\SondrelTest");
  DeleteRegTree(HKEY_LOCAL_MACHINE, "Software\\SondrelTest");
  EXPECT_FALSE(ReadRegString(HKEY_CURRENT_USER, "Software\\SondrelTest\\Inner", "Named").has_value());
}

// A form with one control of each standard kind, counting what its controls report.
class RawControl : public TControl {
 public:
  RawControl(TForm& form, HWND parent, const char* cls, const char* text, DWORD style, int x, int y, int w, int h,
             int* counter)
      : counter_(counter) {
    CreateHandle(parent, form.NextControlId(), cls, text, style, 0, x, y, w, h);
  }
  void OnCommand(WORD code) override {
    if (code == BN_CLICKED || code == CBN_SELCHANGE) ++*counter_;
  }

 private:
  int* counter_;
};

class ProbeForm : public TForm {
 public:
  ProbeForm() : TForm("Probe window", 300, 120, true) {
    button = Own(std::make_unique<RawControl>(*this, Handle(), "BUTTON", "Press", BS_PUSHBUTTON, 10, 10, 80, 24, &clicks));
    check = Own(std::make_unique<RawControl>(*this, Handle(), "BUTTON", "Tick me", BS_AUTOCHECKBOX, 10, 40, 100, 20,
                                             &ticks));
    combo = Own(std::make_unique<RawControl>(*this, Handle(), "COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL, 120, 10,
                                             150, 120, &selections));
    edit = Own(std::make_unique<RawControl>(*this, Handle(), "EDIT", "", WS_BORDER, 120, 40, 150, 22, &unused));
    for (const char* row : {"first", "second", "third"})
      SendMessageA(combo->Handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row));
  }
  int clicks = 0, ticks = 0, selections = 0, unused = 0;
  RawControl *button, *check, *combo, *edit;
};

TEST(Windows, FindDriveAndCapture) {
  TApplication app(GetModuleHandleA(nullptr));
  ProbeForm form;
  form.Show();
  HWND top = FindTopWindow("Probe window", 5000, GetCurrentProcessId());
  ASSERT_EQ(top, form.Handle());
  EXPECT_EQ(ClientSize(top).cx, 300);
  EXPECT_EQ(ClientSize(top).cy, 120);

  EXPECT_EQ(FindChildById(top, form.edit->Id()), form.edit->Handle());
  EXPECT_EQ(FindChildByClass(top, "ComboBox"), form.combo->Handle());
  EXPECT_EQ(FindChildByClass(top, "Button", 1), form.check->Handle());
  EXPECT_EQ(FindChildByText(top, "press"), form.button->Handle());

  Click(form.button->Handle());
  EXPECT_EQ(form.clicks, 1);
  Tick(form.check->Handle(), true);
  Tick(form.check->Handle(), true);  // already ticked: no second click
  EXPECT_TRUE(IsTicked(form.check->Handle()));
  EXPECT_EQ(form.ticks, 1);
  SelectRow(form.combo->Handle(), 2);
  EXPECT_EQ(form.selections, 1);
  EXPECT_EQ(SendMessageA(form.combo->Handle(), CB_GETCURSEL, 0, 0), 2);
  SetText(form.edit->Handle(), "typed text");
  EXPECT_EQ(WindowText(form.edit->Handle()), "typed text");

  PumpMessages(200);
  PngImage shot = CaptureWindow(top);
  std::string path = SaveScreenshot(top, "test_support_probe");
  auto bytes = ReadFileBytes(path);
  ASSERT_TRUE(bytes.has_value());
  ASSERT_GT(bytes->size(), 57u);
  EXPECT_EQ(bytes->substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  auto be32 = [&](size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>((*bytes)[at])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>((*bytes)[at + 1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>((*bytes)[at + 2])) << 8 | static_cast<uint8_t>((*bytes)[at + 3]);
  };
  EXPECT_EQ(be32(16), shot.width);
  EXPECT_EQ(be32(20), shot.height);
  // Not a blank picture: the frame, the controls and the background differ.
  std::set<uint32_t> colours;
  for (size_t i = 0; i + 2 < shot.pixels.size(); i += 3)
    colours.insert(shot.pixels[i] << 16 | shot.pixels[i + 1] << 8 | shot.pixels[i + 2]);
  EXPECT_GT(colours.size(), 3u);
}

}  // namespace
}  // namespace sondrel::test
