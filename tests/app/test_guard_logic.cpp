// The single-instance guard's steps over a simulated system in which several "processes" share named
// blocks: what each start decides, what the shared count does, and what is brought forward.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "app/CheckPrevious.h"
#include "base/exception.h"

namespace sondrel {
namespace {

// The named blocks of the simulated system, alive while any process holds them.
struct Kernel {
  struct Block {
    TInstanceRecord record{0, 0};
    int holders = 0;
  };
  std::map<std::string, std::shared_ptr<Block>> blocks;
  bool fail_create = false;
  bool fail_open = false;
  bool fail_map = false;
  std::vector<uint32_t> brought_forward;
  std::vector<uint32_t> ended;  // windows of instances that ended without releasing

  std::shared_ptr<Block> Existing(const std::string& name) {
    auto it = blocks.find(name);
    return it == blocks.end() ? nullptr : it->second;
  }
  void Let(std::shared_ptr<Block>& b) {
    if (!b) return;
    if (--b->holders == 0)
      for (auto it = blocks.begin(); it != blocks.end(); ++it)
        if (it->second == b) {
          blocks.erase(it);
          break;
        }
    b.reset();
  }
};

class Process : public TSharedBlockSystem {
 public:
  explicit Process(Kernel& k) : k_(k) {}
  ~Process() override { Close(); }
  bool Create(const std::string& name) override {
    if (k_.fail_create) RaiseLastError();
    auto b = k_.Existing(name);
    const bool existed = b != nullptr;
    if (!b) b = k_.blocks[name] = std::make_shared<Kernel::Block>();
    ++b->holders;
    Hold(b);
    return existed;
  }
  bool Open(const std::string& name) override {
    auto b = k_.Existing(name);
    if (k_.fail_open || !b) return false;
    ++b->holders;
    Hold(b);
    return true;
  }
  TInstanceRecord* Map() override {
    if (k_.fail_map || !held_) return nullptr;
    return &held_->record;
  }
  void Close() override { k_.Let(held_); }
  void BringForward(uint32_t window) override { k_.brought_forward.push_back(window); }
  bool HolderEnded(uint32_t window) override {
    return std::find(k_.ended.begin(), k_.ended.end(), window) != k_.ended.end();
  }
  [[noreturn]] void RaiseLastError() override { RaiseOSError(5); }

 private:
  void Hold(std::shared_ptr<Kernel::Block> b) {
    k_.Let(held_);
    held_ = std::move(b);
  }
  Kernel& k_;
  std::shared_ptr<Kernel::Block> held_;
};

const char kPath[] = "C:\\Apps\\Tool\\Hunspar.exe";
const char kName[] = "C:AppsToolHunspar.exe";

TEST(Guard, BlockNameDropsBackslashes) {
  EXPECT_EQ(InstanceBlockName(kPath), kName);
  EXPECT_EQ(InstanceBlockName("\\\\srv\\share\\a.exe"), "srvsharea.exe");
}

TEST(Guard, SecondStartIsRefusedAndBringsTheFirstForward) {
  Kernel k;
  Process p1(k), p2(k), p3(k);
  TInstanceGuard first(p1, kPath), second(p2, kPath);
  EXPECT_FALSE(first.ActivateRunningInstance(0x1111, 1));
  EXPECT_EQ(k.blocks.at(kName)->record.Window, 0x1111u);
  EXPECT_EQ(k.blocks.at(kName)->record.Count, 1);

  EXPECT_TRUE(second.ActivateRunningInstance(0x2222, 1));
  EXPECT_FALSE(second.Registered());
  EXPECT_EQ(k.brought_forward, std::vector<uint32_t>{0x1111});
  EXPECT_EQ(k.blocks.at(kName)->record.Count, 1);  // a refused start never changes the count
  second.ReleaseInstanceSlot();
  EXPECT_EQ(k.blocks.at(kName)->record.Count, 1);

  first.ReleaseInstanceSlot();  // the last holder ends: the block is gone
  EXPECT_TRUE(k.blocks.empty());

  TInstanceGuard third(p3, kPath);  // a start after the first ended runs
  EXPECT_FALSE(third.ActivateRunningInstance(0x3333, 1));
  EXPECT_EQ(k.blocks.at(kName)->record.Count, 1);
}

TEST(Guard, CountReturnsToZeroWhileAnotherHolderKeepsTheBlock) {
  Kernel k;
  Process watcher(k), p1(k), p2(k);
  ASSERT_FALSE(watcher.Create(kName));  // like a test that keeps the block open to read it
  TInstanceGuard first(p1, kPath);
  EXPECT_FALSE(first.ActivateRunningInstance(0x1111, 1));  // the block existed with a count of 0
  EXPECT_EQ(watcher.Map()->Count, 1);
  first.ReleaseInstanceSlot();
  EXPECT_EQ(watcher.Map()->Count, 0);
  EXPECT_EQ(watcher.Map()->Window, 0x1111u);  // the window is not put back
  TInstanceGuard again(p2, kPath);
  EXPECT_FALSE(again.ActivateRunningInstance(0x2222, 1));
  EXPECT_EQ(watcher.Map()->Window, 0x2222u);
}

TEST(Guard, AnInstanceEndedWithoutReleasingLeavesItsSlotToTheNextStart) {
  // The exception reporter's restart: the new process starts while the old one still holds its slot,
  // and the old one is ended from inside without giving it back.
  Kernel k;
  Process old_process(k), restarted(k), third(k);
  TInstanceGuard old_guard(old_process, kPath), new_guard(restarted, kPath), third_guard(third, kPath);
  ASSERT_FALSE(old_guard.ActivateRunningInstance(0x1111, 1));
  k.ended.push_back(0x1111);
  EXPECT_FALSE(new_guard.ActivateRunningInstance(0x2222, 1));
  EXPECT_TRUE(k.brought_forward.empty());
  EXPECT_EQ(k.blocks.at(kName)->record.Window, 0x2222u);
  EXPECT_EQ(k.blocks.at(kName)->record.Count, 1);  // the ended one's slot, taken over
  EXPECT_TRUE(third_guard.ActivateRunningInstance(0x3333, 1));  // and the restarted one is guarded
  EXPECT_EQ(k.brought_forward, std::vector<uint32_t>{0x2222});
  new_guard.ReleaseInstanceSlot();
  EXPECT_EQ(k.blocks.at(kName)->record.Count, 0);
}

TEST(Guard, CopiesInOtherFoldersAndHigherLimits) {
  Kernel k;
  Process a(k), b(k), c(k), d(k);
  TInstanceGuard ga(a, kPath), gb(b, "D:\\Other\\Hunspar.exe");
  EXPECT_FALSE(ga.ActivateRunningInstance(1, 1));
  EXPECT_FALSE(gb.ActivateRunningInstance(2, 1));  // another folder, another block
  TInstanceGuard gc(c, kPath), gd(d, kPath);
  EXPECT_FALSE(gc.ActivateRunningInstance(3, 2));  // a limit of 2 lets a second one in
  EXPECT_TRUE(gd.ActivateRunningInstance(4, 2));
  EXPECT_EQ(k.brought_forward, std::vector<uint32_t>{3});  // the last registered window
  EXPECT_EQ(k.blocks.at(kName)->record.Count, 2);
}

TEST(Guard, FailuresOfTheSystem) {
  {
    Kernel k;
    Process p(k);
    TInstanceGuard g(p, kPath);
    k.fail_create = true;
    EXPECT_THROW(g.ActivateRunningInstance(1, 1), EOSError);
    // Release neither fails nor touches a count it never added to.
    EXPECT_NO_THROW(g.ReleaseInstanceSlot());
  }
  {
    Kernel k;
    Process p1(k), p2(k);
    TInstanceGuard first(p1, kPath), second(p2, kPath);
    ASSERT_FALSE(first.ActivateRunningInstance(1, 1));
    k.fail_open = true;  // the block exists but cannot be opened: end quietly, bring nothing forward
    EXPECT_TRUE(second.ActivateRunningInstance(2, 1));
    EXPECT_TRUE(k.brought_forward.empty());
    k.fail_open = false;
    second.ReleaseInstanceSlot();
    EXPECT_EQ(k.blocks.at(kName)->record.Count, 1);  // the first one's slot stays taken
    first.ReleaseInstanceSlot();
    EXPECT_TRUE(k.blocks.empty());
  }
  {
    Kernel k;
    Process p(k);
    TInstanceGuard g(p, kPath);
    k.fail_map = true;
    EXPECT_THROW(g.ActivateRunningInstance(1, 1), EOSError);
    k.fail_map = false;
    g.ReleaseInstanceSlot();
    EXPECT_TRUE(k.blocks.empty());
  }
  {
    Kernel k;
    Process p(k);
    TInstanceGuard g(p, kPath);
    ASSERT_FALSE(g.ActivateRunningInstance(1, 1));
    k.fail_open = true;  // the release cannot open the block: the error is raised, the block let go
    EXPECT_THROW(g.ReleaseInstanceSlot(), EOSError);
    EXPECT_TRUE(k.blocks.empty());
  }
}

}  // namespace
}  // namespace sondrel
