#pragma once
// Test helper for the main-window tests: the real program run from a private folder against data files
// the test writes into the per-user data folder, and its controls found the way automation finds them.
#include <windows.h>

#include <map>
#include <memory>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/process_win.h"

namespace sondrel::test {

// The four data files a start reads; empty text leaves a file out.
struct DataFiles {
  std::string builtins, sites, tabs, settings;
};

// Keeps the data folder's files for the object's life, writes the test's files there, and puts the
// originals back at the end.
class DataFolderScope {
 public:
  explicit DataFolderScope(const DataFiles& files);
  ~DataFolderScope();
  DataFolderScope(const DataFolderScope&) = delete;
  DataFolderScope& operator=(const DataFolderScope&) = delete;
  const std::string& Folder() const { return folder_; }
  std::string Read(const char* name) const;

 private:
  std::string folder_;
  std::map<std::string, std::string> saved_;
};

// One run of the program and its window.
class MainWindow {
 public:
  // Starts the program in its own folder, or in working_folder when one is given, and, unless told
  // not to, waits for its main window.
  // before_start: see Child.
  explicit MainWindow(const std::string& working_folder = "", bool wait_for_window = true,
                      const std::function<void(DWORD main_thread_id)>& before_start = {});
  ~MainWindow();
  // Waits for the main window (after a message shown at start); null when it did not come.
  HWND WaitForMain(DWORD timeout_ms = 20000);
  // A window of the program other than the main window that shows text holding part (a message box,
  // the reporter's included), waiting up to timeout_ms; null when none came.
  HWND WaitForMessage(const std::string& part, DWORD timeout_ms = 20000) const;
  // All text shown in a window and its controls, one line per window.
  static std::string AllText(HWND top);
  // Posts a click on the button of a box whose caption, without its '&', is caption.
  static void PressButton(HWND box, const std::string& caption);
  // Waits for the process to end without closing it; its exit code, 98 when it did not end.
  DWORD WaitForEnd(DWORD timeout_ms = 20000);
  HWND Handle() const { return main_; }
  HWND Tabs() const;
  HWND Keyword() const;
  HWND KeywordEdit() const;
  // The ten slot boxes in slot order (rows top to bottom, left to right within a row).
  std::vector<HWND> SlotBoxes() const;
  HWND Page(const std::string& name) const;
  // The control showing caption, waiting up to five seconds for it; null when none came.
  HWND Button(const std::string& caption) const;
  // Selects a tab as a user would (the strip tells its owner).
  void SelectTab(int index);
  // Waits for a message box of the program (a second window captioned "Sondrel", or with any_caption
  // any other visible window of the program); null when none came.
  HWND WaitForBox(DWORD timeout_ms = 10000, bool any_caption = false) const;
  // Presses the button (posted: its handler waits for the box) and waits for the box it opens.
  HWND PressForBox(const std::string& caption);
  // The text of a message box and a click on one of its buttons, posted.
  static std::string BoxText(HWND box);
  static void Answer(HWND box, const std::string& button);
  // Closes the window as the user would and waits for the process to end; its exit code.
  DWORD Close();
  DWORD Pid() const { return child_->Pid(); }
  // The private copy of the program that runs.
  const std::string& Program() const { return program_; }

 private:
  std::string program_;
  std::unique_ptr<Child> child_;
  HWND main_ = nullptr;
};

// Opens a data file as another program would hold it: read_sharing lets others read it but never
// replace it; without it nobody else can even read it. Closed by Release or the destructor.
class HeldFile {
 public:
  HeldFile(const std::string& path, bool read_sharing);
  ~HeldFile() { Release(); }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }
  void Release();

 private:
  HANDLE handle_;
};

// The window with the keyboard focus in the thread that owns window, or null.
HWND FocusOf(HWND window);

// The tab line of TabsDB.dat for a code, or "" when the file has none.
std::string TabLine(const std::string& tabs_file, const std::string& code);

// Items of a drop-down box, read through CB_GETCOUNT and CB_GETLBTEXT.
std::vector<std::string> ComboItems(HWND combo);
}  // namespace sondrel::test
