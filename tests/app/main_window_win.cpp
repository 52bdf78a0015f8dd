#include "tests/app/main_window_win.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <stdexcept>

#include "base/cmdline.h"
#include "base/file.h"
#include "base/text.h"
#include "base/shell_folder_win.h"
#include "model/data_files.h"
#include "tests/support/windows_win.h"

namespace sondrel::test {
namespace {

// The program runs from its own folder, so the default files beside the test programs stay put.
std::string PrivateProgram() {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string folder = IncludeBackslash(temp) + "sondrel-main\\";
  ForceDirectories(folder);
  const std::string exe = folder + "Sondrel.exe";
  if (!CopyFileA((ProgramFolder() + "Sondrel.exe").c_str(), exe.c_str(), FALSE))
    throw std::runtime_error("cannot copy the program to " + exe);
  return exe;
}

struct FindByClass {
  std::string cls;
  LONG type = -1;  // button type to match (BS_*), -1 for any
  HWND parent = nullptr;
  std::vector<HWND> found;
};

BOOL CALLBACK Collect(HWND h, LPARAM p) {
  auto* f = reinterpret_cast<FindByClass*>(p);
  char cls[64];
  GetClassNameA(h, cls, sizeof cls);
  if (lstrcmpiA(cls, f->cls.c_str()) != 0) return TRUE;
  if (f->type >= 0 && (GetWindowLongA(h, GWL_STYLE) & BS_TYPEMASK) != f->type) return TRUE;
  if (f->parent && GetParent(h) != f->parent) return TRUE;
  f->found.push_back(h);
  return TRUE;
}

std::vector<HWND> Children(HWND top, FindByClass f) {
  EnumChildWindows(top, Collect, reinterpret_cast<LPARAM>(&f));
  return f.found;
}

struct BoxSearch {
  DWORD pid;
  HWND main;
  bool any_caption = false;
  HWND found = nullptr;
};

BOOL CALLBACK FindBox(HWND h, LPARAM p) {
  auto* s = reinterpret_cast<BoxSearch*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (pid != s->pid || h == s->main || !IsWindowVisible(h) || (!s->any_caption && WindowText(h) != "Sondrel"))
    return TRUE;
  s->found = h;
  return FALSE;
}

BOOL CALLBACK AppendText(HWND h, LPARAM p) {
  *reinterpret_cast<std::string*>(p) += "\n" + WindowText(h);
  return TRUE;
}

struct TextSearch {
  DWORD pid;
  HWND main;
  std::string text;
  HWND found = nullptr;
};

BOOL CALLBACK FindWindowWithText(HWND h, LPARAM p) {
  auto* s = reinterpret_cast<TextSearch*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (pid != s->pid || h == s->main || !IsWindowVisible(h)) return TRUE;
  if (MainWindow::AllText(h).find(s->text) == std::string::npos) return TRUE;
  s->found = h;
  return FALSE;
}

BOOL CALLBACK FindMainWindow(HWND h, LPARAM p) {
  auto* s = reinterpret_cast<TextSearch*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (pid != s->pid || !IsWindowVisible(h) || WindowText(h) != s->text) return TRUE;
  if (!FindChildByClass(h, "SysTabControl32")) return TRUE;
  s->found = h;
  return FALSE;
}

BOOL CALLBACK FindButtonCaption(HWND h, LPARAM p) {
  auto* s = reinterpret_cast<TextSearch*>(p);
  std::string text = WindowText(h);
  text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
  if (lstrcmpiA(text.c_str(), s->text.c_str()) != 0) return TRUE;
  s->found = h;
  return FALSE;
}

}  // namespace

DataFolderScope::DataFolderScope(const DataFiles& files)
    : folder_(DataFolderUnder(GetSpecialFolder(CSIDL_APPDATA))) {
  ForceDirectories(folder_);
  const std::string* texts[] = {&files.builtins, &files.sites, &files.tabs, &files.settings};
  for (size_t i = 0; i < std::size(kDataFileNames); ++i) {
    const std::string path = folder_ + kDataFileNames[i];
    if (auto bytes = ReadFileBytes(path)) saved_[kDataFileNames[i]] = *bytes;
    DeleteFileAt(path);
    if (!texts[i]->empty()) WriteFileAtomic(path, *texts[i]);
  }
}

DataFolderScope::~DataFolderScope() {
  for (const char* name : kDataFileNames) {
    DeleteFileAt(folder_ + name);
    auto it = saved_.find(name);
    if (it != saved_.end()) WriteFileAtomic(folder_ + name, it->second);
  }
}

std::string DataFolderScope::Read(const char* name) const { return ReadFileBytes(folder_ + name).value_or(""); }

MainWindow::MainWindow(const std::string& working_folder, bool wait_for_window,
                       const std::function<void(DWORD main_thread_id)>& before_start)
    : program_(PrivateProgram()) {
  const std::string& exe = program_;
  child_ = std::make_unique<Child>(QuoteArg(exe), working_folder.empty() ? ExtractFilePath(exe) : working_folder,
                                   before_start);
  if (wait_for_window && !WaitForMain()) throw std::runtime_error("the main window did not appear");
}

HWND MainWindow::WaitForMain(DWORD timeout_ms) {
  // The main window is the captioned one with the tab strip; a message box shares the caption.
  const DWORD start = GetTickCount();
  do {
    TextSearch s{child_->Pid(), nullptr, "Sondrel"};
    EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&s));
    if (s.found) {
      main_ = s.found;
      PumpMessages(300);
      return main_;
    }
    PumpMessages(100);
  } while (child_->Running() && GetTickCount() - start < timeout_ms);
  return nullptr;
}

std::string MainWindow::AllText(HWND top) {
  std::string text = WindowText(top);
  EnumChildWindows(top, AppendText, reinterpret_cast<LPARAM>(&text));
  return text;
}

HWND MainWindow::WaitForMessage(const std::string& part, DWORD timeout_ms) const {
  const DWORD start = GetTickCount();
  do {
    TextSearch s{child_->Pid(), main_, part};
    EnumWindows(FindWindowWithText, reinterpret_cast<LPARAM>(&s));
    if (s.found) return s.found;
    PumpMessages(100);
  } while (GetTickCount() - start < timeout_ms);
  return nullptr;
}

void MainWindow::PressButton(HWND box, const std::string& caption) {
  TextSearch s{0, nullptr, caption};
  EnumChildWindows(box, FindButtonCaption, reinterpret_cast<LPARAM>(&s));
  if (s.found) PostMessageA(s.found, BM_CLICK, 0, 0);
  PumpMessages(200);
}

DWORD MainWindow::WaitForEnd(DWORD timeout_ms) {
  DWORD code = 98;
  if (!child_->Wait(timeout_ms, &code)) code = 98;
  return code;
}

HeldFile::HeldFile(const std::string& path, bool read_sharing)
    : handle_(CreateFileA(path.c_str(), GENERIC_READ, read_sharing ? FILE_SHARE_READ : 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {}

void HeldFile::Release() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

HWND FocusOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

MainWindow::~MainWindow() {
  if (child_ && child_->Running()) Close();
}

HWND MainWindow::Tabs() const { return FindChildByClass(main_, "SysTabControl32"); }
HWND MainWindow::Keyword() const { return FindChildByClass(main_, "ComboBox"); }
HWND MainWindow::KeywordEdit() const { return FindChildByClass(Keyword(), "Edit"); }

std::vector<HWND> MainWindow::SlotBoxes() const {
  std::vector<HWND> boxes = Children(main_, {"Button", BS_AUTOCHECKBOX, Page("Default"), {}});
  std::sort(boxes.begin(), boxes.end(), [](HWND a, HWND b) {
    RECT ra, rb;
    GetWindowRect(a, &ra);
    GetWindowRect(b, &rb);
    return ra.top != rb.top ? ra.top < rb.top : ra.left < rb.left;
  });
  return boxes;
}

HWND MainWindow::Page(const std::string& name) const {
  for (HWND h : Children(main_, {"TSkinPanel", -1, nullptr, {}}))
    if (WindowText(h) == name) return h;
  return nullptr;
}

HWND MainWindow::Button(const std::string& caption) const {
  // The Options page's controls are made after the window is shown, as automation would wait for them.
  HWND found = FindChildByText(main_, caption);
  for (int i = 0; i < 50 && !found; ++i) {
    PumpMessages(100);
    found = FindChildByText(main_, caption);
  }
  return found;
}

void MainWindow::SelectTab(int index) {
  SendMessageA(Tabs(), TCM_SETCURFOCUS, static_cast<WPARAM>(index), 0);
  PumpMessages(100);
}

HWND MainWindow::WaitForBox(DWORD timeout_ms, bool any_caption) const {
  const DWORD start = GetTickCount();
  do {
    BoxSearch s{child_->Pid(), main_, any_caption};
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&s));
    if (s.found) {
      PumpMessages(100);
      return s.found;
    }
    PumpMessages(50);
  } while (GetTickCount() - start < timeout_ms);
  return nullptr;
}

HWND MainWindow::PressForBox(const std::string& caption) {
  PostMessageA(Button(caption), BM_CLICK, 0, 0);
  return WaitForBox();
}

std::string MainWindow::BoxText(HWND box) {
  HWND label = FindChildByClass(box, "Static");
  return label ? WindowText(label) : std::string();
}

void MainWindow::Answer(HWND box, const std::string& button) {
  // Posted: the box's owner may be inside a handler that waits for this very box.
  PostMessageA(FindChildByText(box, button), BM_CLICK, 0, 0);
  PumpMessages(200);
}

DWORD MainWindow::Close() {
  PostMessageA(main_, WM_CLOSE, 0, 0);
  return WaitForEnd(15000);
}

std::string TabLine(const std::string& tabs_file, const std::string& code) {
  for (const std::string& line : SplitLines(tabs_file))
    if (line.rfind(code + ",", 0) == 0) return line;
  return {};
}

std::vector<std::string> ComboItems(HWND combo) {
  // The wide message: across processes Wine hands the ANSI one back cut to its first character.
  std::vector<std::string> items;
  const LRESULT n = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < n; ++i) {
    wchar_t wide[512] = {};
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(wide));
    char buf[1024] = {};
    WideCharToMultiByte(CP_ACP, 0, wide, -1, buf, sizeof buf, nullptr, nullptr);
    items.emplace_back(buf);
  }
  return items;
}

}  // namespace sondrel::test
