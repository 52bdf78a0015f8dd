// The error dialog's rules without a window: controls shown, sizes and places, list texts, the
// geometry kept between runs, the painted caption and the mailslot message.
#include <gtest/gtest.h>

#include <map>

#include "errorreport/capture/error_dialog.h"

namespace sondrel {
namespace {

class MemoryStore : public DialogSettingsStore {
 public:
  std::map<std::string, std::string> values;
  std::string Read(const std::string& key, const std::string& def) override {
    auto it = values.find(key);
    return it == values.end() ? def : it->second;
  }
  void Write(const std::string& key, const std::string& value) override { values[key] = value; }
};

TEST(ErrorDialogState, SendScreenshotAndTerminateFollowTheOptions) {
  TReportModuleOptions o("", false);
  o.SetAttachScreenshot(true);  // nothing to attach a picture to without sending
  ErrorDialogState s = ErrorDialogStateFor(o, false, 1);
  EXPECT_FALSE(s.send_visible) << "rsNone";
  EXPECT_FALSE(s.screenshot_visible);
  EXPECT_EQ(s.band, 20);

  o.SetSendMode(TReportSendMode::rsMailClient);
  s = ErrorDialogStateFor(o, false, 1);
  EXPECT_TRUE(s.send_visible && s.send_checked && s.screenshot_visible && s.screenshot_checked);
  EXPECT_EQ(s.band, 34);
  s = ErrorDialogStateFor(o, true, 1);
  EXPECT_FALSE(s.send_visible || s.screenshot_visible) << "a duplicate is not sent";
  EXPECT_EQ(s.band, 20);
  o.SetAttachScreenshot(false);
  s = ErrorDialogStateFor(o, false, 1);
  EXPECT_TRUE(s.send_visible);
  EXPECT_FALSE(s.screenshot_visible);
  EXPECT_EQ(s.band, 20);

  // TerminateButtonAfter = 3: from the fourth report on.
  for (uint32_t n = 1; n <= 5; ++n) EXPECT_EQ(ErrorDialogStateFor(o, false, n).terminate_visible, n >= 4) << n;
  o.SetTerminateButtonOnRepeat(false);
  EXPECT_FALSE(ErrorDialogStateFor(o, false, 9).terminate_visible);

  o.SetFirstDetailsTab(2);
  EXPECT_EQ(ErrorDialogStateFor(o, false, 1).first_page, 2);
  o.SetFirstDetailsTab(9);
  EXPECT_EQ(ErrorDialogStateFor(o, false, 1).first_page, 0);
}

TEST(ErrorDialogTexts, ButtonsComeFromTheTextTable) {
  TReportModuleOptions o("", false);
  EXPECT_EQ(TerminateButtonText(o), "&Restart");
  o.SetRestartAfterTerminate(false);
  EXPECT_EQ(TerminateButtonText(o), "&Terminate");
  EXPECT_EQ(DetailsButtonText(o, false), "&Details >>");
  EXPECT_EQ(DetailsButtonText(o, true), "<< &Details");
  o.SetCustomText(mtDialog_DetailsButtonCaption, "&Mehr");
  EXPECT_EQ(DetailsButtonText(o, false), "&Mehr >>");
  EXPECT_EQ(ButtonWidthTexts(o), (std::vector<std::string>{"&OKO", "&TerminateO", "&RestartO", "&MehrO"}));
  EXPECT_EQ(ButtonWidth({40, 60}), 75);
  EXPECT_EQ(ButtonWidth({40, 96}), 96);
  EXPECT_EQ(CompactMeasureLines("One.\r\nTwo.", o),
            (std::vector<std::string>{"One.", "Two.", "&Send this error via Email    &Copy to Clipboard"}));
}

TEST(ErrorDialogGeometry, CompactViewIsSizedToTheText) {
  CompactMetrics m;  // frames 3, caption 18, lines 13, screen 1024 x 768
  CompactLayout l = LayoutCompactView({200, 300}, m);
  EXPECT_EQ(l.message, (DialogRect{48, 8, 316, 26}));
  EXPECT_EQ(l.window, (DialogRect{322, 329, 380, 110}));
  // Past 640 - 64 the text wraps: a line of 1000 takes two lines, and four lines (52) add 13.
  l = LayoutCompactView({1000, 100, 100}, m);
  EXPECT_EQ(l.message, (DialogRect{48, 8, 576, 52}));
  EXPECT_EQ(l.window.w, 640);
  EXPECT_EQ(l.window.h, 123);
  l = LayoutCompactView({1000, 100, 100}, m, [](size_t, int) { return 3; });
  EXPECT_EQ(l.message.h, 65) << "the dialog's own count of wrapped lines";
  EXPECT_EQ(LayoutCompactView({10}, m).window.w, 250);
}

TEST(ErrorDialogGeometry, ControlsFollowTheSize) {
  const ErrorDialogLayout l = LayoutErrorDialog(632, 351, 20, 75);
  EXPECT_EQ(l.tabs, (DialogRect{4, 52, 624, 241}));
  EXPECT_EQ(l.message, (DialogRect{48, 8, 576, 42}));
  EXPECT_EQ(l.ok, (DialogRect{278, 299, 75, 25}));
  EXPECT_EQ(l.terminate, (DialogRect{5, 299, 75, 25}));
  EXPECT_EQ(l.details, (DialogRect{552, 299, 75, 25}));
  EXPECT_EQ(l.send_box, (DialogRect{4, 333, 312, 13}));
  EXPECT_EQ(l.copy_box, (DialogRect{316, 333, 312, 13}));
  EXPECT_EQ(l.screenshot_box, (DialogRect{23, 349, 609, 13}));
  EXPECT_EQ(PageContentRect(600, 200), (DialogRect{3, 20, 592, 176}));
  EXPECT_EQ(LayoutErrorDialog(10, 10, 34, 75).tabs.h, 0) << "no negative sizes";
}

TEST(ErrorDialogLists, RowsAsTheDialogShowsThem) {
  const std::vector<StackRowText> stack = {
      {4, 0x00401000, "prog.exe", "a.cpp", "TForm", "Fail", 10, kModuleKindExecutable},
      {3, 0x00402000, "prog.exe", "b.pas", "", "Export", 0, kModuleKindExecutable},  // left out
      {3, 0x10001000, "pack.bpl", "c.pas", "T", "P", 0, kModuleKindPackage},
      {2, 0x7C801000, "kernel32.dll", "", "", "RaiseException", 0, 3},
      {1, 0x7C802000, "kernel32.dll", "", "", "", 0, 3},  // not printed
      {2, 0x00403000, "prog.exe", "", "", "Plain", 0, kModuleKindExecutable},
  };
  const auto rows = CallStackListRows(stack);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].cells, (std::array<std::string, 6>{"00401000", "prog.exe", "a.cpp", "TForm", "Fail", "10"}));
  EXPECT_EQ(rows[0].image, kImagePas);
  EXPECT_EQ(rows[1].image, kImageBpl);
  EXPECT_EQ(rows[2].image, kImageDll);
  EXPECT_EQ(rows[2].cells[5], "") << "line 0 shows empty";
  EXPECT_EQ(rows[3].image, kImageVcl);

  const auto modules = ModuleListRows({{0x7C800000, "kernel32.dll", "Kernel", "5.1.2600.2180", 1536, "C:\\W"},
                                       {0x00400000, "Prog.EXE", "", "2.0", 1535, "C:\\"},
                                       {0x10000000, "pack.Bpl", "", "", 0, "C:\\P"},
                                       {0x20000000, "old.DPL", "", "1.2.3", 1048576, "C:\\P"}});
  EXPECT_EQ(modules[0].cells,
            (std::array<std::string, 6>{"7C800000", "kernel32.dll", "Kernel", "5.1.x", "2 Kb", "C:\\W"}));
  EXPECT_EQ(modules[0].image, kImageDll);
  EXPECT_EQ(modules[1].cells[3], "2.0") << "fewer than two points: whole";
  EXPECT_EQ(modules[1].cells[4], "1 Kb");
  EXPECT_EQ(modules[1].image, kImageVcl);
  EXPECT_EQ(modules[2].image, kImageBpl);
  EXPECT_EQ(modules[2].cells[3], "");
  EXPECT_EQ(modules[3].image, kImageBpl);
  EXPECT_EQ(modules[3].cells[3], "1.2.x");
  EXPECT_EQ(modules[3].cells[4], "1024 Kb");
  TReportModuleOptions o("", false);
  EXPECT_EQ(CallStackColumnTitles(o)[4], "Procedure/Method");
  EXPECT_EQ(ModuleColumnTitles(o)[0], "Handle");
}

TEST(ErrorDialogSettings, GeometryDefaultsClampingAndRoundTrip) {
  MemoryStore store;
  DetailedGeometry g = ReadDetailedGeometry(store, 1024, 768, 20);
  EXPECT_EQ(g.width, 640);
  EXPECT_EQ(g.height, 385);
  EXPECT_EQ(g.left, 192);
  EXPECT_EQ(g.top, 181);  // (768 - 385 - 20) / 2
  EXPECT_EQ(g.state, kStateNormal);

  // Off the screen to the right and below: moved back, check boxes included; above and left: to 0.
  store.values = {{"Left", "5000"}, {"Top", "5000"}, {"Width", "700"}, {"Height", "400"}, {"WindowsState", "3"}};
  g = ReadDetailedGeometry(store, 1024, 768, 34);
  EXPECT_EQ(g.left, 324);
  EXPECT_EQ(g.top, 334);
  EXPECT_EQ(g.state, kStateMaximised);
  store.values = {{"Left", "-300"}, {"Top", "-2"}, {"WindowsState", "7"}};
  g = ReadDetailedGeometry(store, 1024, 768, 20);
  EXPECT_EQ(g.left, 0);
  EXPECT_EQ(g.top, 0);
  EXPECT_EQ(g.state, kStateNormal);
  // Sizes from a larger screen or from hand edits: still a usable window on this one.
  store.values = {{"Width", "4000"}, {"Height", "junk"}};
  g = ReadDetailedGeometry(store, 1024, 768, 20);
  EXPECT_EQ(g.width, 1024);
  EXPECT_EQ(g.left, 0);
  EXPECT_EQ(g.height, 385);
  store.values = {{"Width", "10"}, {"Height", "-5"}};
  g = ReadDetailedGeometry(store, 1024, 768, 20);
  EXPECT_EQ(g.width, kMinDetailedWidth);
  EXPECT_EQ(g.height, kMinDetailedHeight);

  store.values.clear();
  WriteDetailedGeometry(store, {700, 300, 10, 20, kStateMinimised});
  EXPECT_EQ(store.values, (std::map<std::string, std::string>{
                              {"Width", "700"}, {"Height", "300"}, {"Left", "10"}, {"Top", "20"}, {"WindowsState", "6"}}));
  g = ReadDetailedGeometry(store, 1024, 768, 20);
  EXPECT_EQ(g.width, 700);
  EXPECT_EQ(g.left, 10);
  EXPECT_EQ(g.state, kStateMinimised);

  store.values.clear();
  EXPECT_EQ(ReadColumnWidths(store, kCallStackColumnKey, kCallStackColumnDefaults), kCallStackColumnDefaults);
  WriteColumnWidths(store, kModuleColumnKey, {1, 2, 3, 4, 5, 6});
  EXPECT_EQ(store.values["ColMod5"], "6");
  store.values["ColMod2"] = "-1";
  EXPECT_EQ(ReadColumnWidths(store, kModuleColumnKey, kModuleColumnDefaults), (ColumnWidths{1, 2, 130, 4, 5, 6}));
}

TEST(ErrorDialogMailslot, UnitNameThenLineInTwoThousandFiftyTwoBytes) {
  std::vector<uint8_t> m = MailslotMessage("FMain.cpp", 0x01020304);
  ASSERT_EQ(m.size(), 2052u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.data())), "FMain.cpp");
  EXPECT_EQ(m[2048], 0x04);
  EXPECT_EQ(m[2051], 0x01);
  m = MailslotMessage(std::string(3000, 'u'), -1);
  EXPECT_EQ(m[2046], 'u');
  EXPECT_EQ(m[2047], 0) << "always zero-terminated";
  EXPECT_EQ(m[2048], 0xFF);
}

TEST(ErrorDialogPainted, CaptionGradientAndFonts) {
  EXPECT_EQ(DarkerColour(0xC29B82), 0xBA957Du);
  EXPECT_EQ(DarkerColour(0xFFFFFF), 0xF5F5F5u);
  const auto steps = CaptionGradient(3, 21, 0xC29B82);
  ASSERT_EQ(steps.size(), 3u);  // 18 / 5
  EXPECT_EQ(steps[0].top, 3);
  EXPECT_EQ(steps[0].bottom, 21);
  EXPECT_EQ(steps[0].colour, 0xC29B82u);
  EXPECT_EQ(steps[2].top, 7);
  EXPECT_EQ(steps[2].bottom, 17);
  EXPECT_EQ(steps[2].colour, DarkerColour(0xBA957D));
  EXPECT_EQ(PaintedColoursFor(true).outer_frame, 0x404040u);
  EXPECT_EQ(PaintedColoursFor(false).caption_start, 0x979797u);
  EXPECT_STREQ(FixedFontFor(true).face, "Lucida Console");
  EXPECT_EQ(FixedFontFor(false).points, 10);
  EXPECT_STREQ(CaptionFontFor(false), "MS Sans Serif");
  EXPECT_EQ(ReproduceStepsText("  \r\nClicked Search.\r\n\r\n "), "Clicked Search.");
}

}  // namespace
}  // namespace sondrel
