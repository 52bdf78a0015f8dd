#pragma once
// Turning an exported function's name into the unit, class and procedure a call-stack row shows.
#include <cstdint>
#include <string>
#include <string_view>

namespace sondrel {

struct SplitName {
  uint8_t kind = 1;  // 1 nothing usable, 2 procedure only, 3 unit and/or class with procedure
  std::string unit;
  std::string class_name;
  std::string procedure;
};

// The rules for export names:
//  - "_Z..." (and "__Z...", the same with the platform's underscore): demangled C++; the enclosing
//    scope becomes the class, the last name the procedure, the parameter list is dropped; no unit.
//  - "@Unit@Class@Proc$..." (not "@$..."): the part before "$" with its "@" turned into "." (the
//    first "@@" keeps a "_"), then split as a dotted name; without "$" the name stays unusable.
//  - "Unit.Proc" or "Unit.Class.Proc" (cut at an "@" first): unit gets ".pas"; other counts of parts
//    are unusable.
//  - any other name not beginning with "?" is the procedure alone.
// A procedure name beginning with "@" gets "_" in its place.
SplitName SplitExportName(std::string_view name);

// The name without a stdcall procedure's argument size: "WinMain@16" -> "WinMain". Names whose "@" is
// not followed by digits alone keep it.
std::string_view StripStdcallSuffix(std::string_view name);

// "ns::TFoo<int>::Bar(int) const" -> class "ns::TFoo<int>", procedure "Bar". A return type in front
// (as template functions show it) and " [clone .part.0]" suffixes are dropped.
void SplitCppName(std::string_view demangled, std::string& class_name, std::string& procedure);

}  // namespace sondrel
