#pragma once
// What a report says about the computer, the operating system, the windows on screen and the moment,
// read from the system. Values the system cannot give are empty texts.
#include <windows.h>

#include <string>

#include "errorreport/capture/report_text.h"

namespace sondrel {

// Fills the Computer and Operating System rows. The disk rows describe the drive that holds
// module_path; they stay empty when the system lacks GetDiskFreeSpaceExA.
void FillSystemRows(ReportRowValues& rows, const std::string& module_path);
// The true version of the running system (RtlGetVersion, which no compatibility layer shims).
OsVersionFacts ReadOsVersion();
// The date text of this moment, with the local zone.
std::string NowDateText();
// Form Class and Form Text rows: the foreground window's class and text (at most 256 characters).
void FillForegroundRows(ReportRowValues& rows);

// The control with the keyboard focus: the calling thread's, else the foreground thread's.
struct FocusedControl {
  std::string class_name;
  std::string text;  // masked for password boxes
};
FocusedControl ReadFocusedControl();

}  // namespace sondrel
