#pragma once
// Test doubles for a search: the window side, the system side and the registry.
#include <deque>
#include <map>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "launch/run_search.h"

namespace sondrel::test {

class FakeSearchForm : public SearchForm {
 public:
  std::string keyword;
  int tab = 1;
  SlotStates ticked{};
  bool random_order = false;
  std::vector<std::string> messages;
  int focus_count = 0;

  std::string SearchKeyword() const override { return keyword; }
  int SearchTabNumber() const override { return tab; }
  bool SearchSlotTicked(int slot) const override { return ticked.at(static_cast<size_t>(slot - 1)); }
  bool RandomOrderTicked() const override { return random_order; }
  void ShowSearchMessage(const std::string& text) override { messages.push_back(text); }
  void FocusKeywordBox() override { ++focus_count; }
};

// Records every call in order as one line of text ("write <path>", "open <file> <parameters>", "wait <ms>").
class FakeLaunchPlatform : public LaunchPlatform {
 public:
  std::string ie_version;
  std::string folder = "C:\\Program Files\\Sondrel\\";
  bool fail_writes = false;
  std::deque<size_t> draws;  // the indexes the next draws give, in order
  std::vector<std::string> calls;
  std::map<std::string, std::string> files;
  int ie_version_reads = 0;

  std::string IEVersion() override {
    ++ie_version_reads;
    return ie_version;
  }
  std::string ProgramFolder() override { return folder; }
  void WriteTextFile(const std::string& path, std::string_view text) override {
    if (fail_writes) throw std::runtime_error("folder not writable");
    calls.push_back("write " + path);
    files[path] = std::string(text);
  }
  void ShellOpen(const std::string& file, const std::string& parameters) override {
    calls.push_back("open " + file + " " + parameters);
    opened.emplace_back(file, parameters);
  }
  void Wait(unsigned ms) override { calls.push_back("wait " + std::to_string(ms)); }
  IndexDraw NewDraw() override {
    return [this](size_t count) {
      if (draws.empty()) throw std::logic_error("unexpected draw");
      size_t i = draws.front();
      draws.pop_front();
      if (i >= count) throw std::logic_error("scripted draw out of range");
      return i;
    };
  }
  std::vector<std::pair<std::string, std::string>> opened;
};

class FakeRegistry : public RegistryReader {
 public:
  std::map<std::tuple<RegistryRoot, std::string, std::string>, std::string> values;
  void Set(RegistryRoot root, const std::string& key, const std::string& name, const std::string& value) {
    values[{root, key, name}] = value;
  }
  std::optional<std::string> ReadString(RegistryRoot root, const std::string& key,
                                        const std::string& name) const override {
    auto it = values.find({root, key, name});
    if (it == values.end()) return std::nullopt;
    return it->second;
  }
};

}  // namespace sondrel::test
