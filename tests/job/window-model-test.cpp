#include "ui/window-model.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "support/codepage.h"

namespace tessaly {
namespace {

struct InitialControl {
  Control control;
  const char* name;
  int left, top, width, height;
  const char* text;  // UTF-8
  bool visible;
  bool checked;
};

// The window's control table.
const InitialControl kInitial[] = {
    {Control::标签1, "标签1", 16, 32, 80, 24, "文库地址：", true, false},
    {Control::外形框1, "外形框1", 104, 29, 496, 30, "", true, false},
    {Control::编辑框2, "编辑框2", 112, 30, 456, 28, "", true, false},
    {Control::图形按钮1, "图形按钮1", 579, 38, 12, 12, "", false, false},
    {Control::按钮1, "按钮1", 608, 29, 80, 30, "提取", true, false},
    {Control::标签5, "标签5", 16, 75, 80, 24, "相关设置：", true, false},
    {Control::组合框1, "组合框1", 104, 72, 128, 28, "", true, false},
    {Control::选择框1, "选择框1", 256, 80, 112, 24, "删除空行", true, true},
    {Control::选择框2, "选择框2", 376, 80, 184, 24, "删除每行首尾的空格", true, false},
    {Control::选择框3, "选择框3", 576, 80, 112, 24, "提取图片", true, false},
    {Control::编辑框1, "编辑框1", 16, 120, 672, 424, "爱生活，爱Kivo", true, false},
    {Control::外形框2, "外形框2", 16, 543, 672, 10, "", true, false},
    {Control::标签2, "标签2", 17, 544, 670, 8, "", true, false},
    {Control::标签4, "标签4", 144, 176, 80, 24, "标签", false, false},
    {Control::标签3, "标签3", 264, 168, 80, 40, "标签", false, false},
    {Control::标签6, "标签6", 8, 8, 80, 24, "标签", false, false},
};

TEST(WindowModel, StartsAsTheControlTableSays) {
  WindowModel model;
  ASSERT_EQ(std::size(kInitial), kAllControls.size());
  for (std::size_t i = 0; i < std::size(kInitial); ++i) {
    const InitialControl& row = kInitial[i];
    SCOPED_TRACE(row.name);
    EXPECT_EQ(kAllControls[i], row.control);
    EXPECT_EQ(ControlName(row.control), row.name);
    const ControlProperties p = model.Properties(row.control);
    EXPECT_EQ(p.left, row.left);
    EXPECT_EQ(p.top, row.top);
    EXPECT_EQ(p.width, row.width);
    EXPECT_EQ(p.height, row.height);
    EXPECT_EQ(p.text, Utf8ToGbk(row.text));
    EXPECT_EQ(p.visible, row.visible);
    EXPECT_EQ(p.checked, row.checked);
    EXPECT_TRUE(p.enabled);
    EXPECT_TRUE(p.items.empty());
  }
  EXPECT_EQ(model.SelectedItemValue(Control::组合框1), 0);
}

TEST(WindowModel, CreatedHandlerFillsTwentyThreadCountsAndSelectsFive) {
  WindowModel model;
  std::vector<ControlChange> changes;
  model.AddObserver([&](const ControlChange& change) { changes.push_back(change); });
  model.FillThreadCountBox();
  const auto items = model.Items(Control::组合框1);
  ASSERT_EQ(items.size(), 20u);
  for (int n = 1; n <= 20; ++n) {
    EXPECT_EQ(items[n - 1].text, Utf8ToGbk("线程数：" + std::to_string(n)));
    EXPECT_EQ(items[n - 1].value, n);
  }
  EXPECT_EQ(model.SelectedIndex(Control::组合框1), 4);
  EXPECT_EQ(model.SelectedItemValue(Control::组合框1), 5);
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0].property, Property::Items);
  EXPECT_EQ(changes[0].items, items);
  EXPECT_EQ(changes[1].property, Property::SelectedIndex);
  EXPECT_EQ(changes[1].number, 4);
}

TEST(WindowModel, DeliversOnlyRealChangesWithTheirValues) {
  WindowModel model;
  std::vector<ControlChange> changes;
  model.AddObserver([&](const ControlChange& change) { changes.push_back(change); });
  model.SetText(Control::按钮1, Utf8ToGbk("提取"));  // unchanged
  model.SetVisible(Control::标签4, false);           // unchanged
  model.SetText(Control::编辑框1, "");
  model.AppendText(Control::编辑框1, "ab");
  model.AppendText(Control::编辑框1, "");
  model.AppendText(Control::编辑框1, "cd");
  model.Move(Control::标签6, 16, 120, 672, 434);
  model.SetChecked(Control::选择框1, false);
  EXPECT_EQ(model.GetText(Control::编辑框1), "abcd");

  struct Expected {
    Property property;
    std::string text;
    int number;
  };
  const Expected expected[] = {
      {Property::Text, "", 0},           {Property::AppendedText, "ab", 0},
      {Property::AppendedText, "cd", 0}, {Property::Left, "", 16},
      {Property::Top, "", 120},          {Property::Width, "", 672},
      {Property::Height, "", 434},       {Property::Checked, "", 0},
  };
  ASSERT_EQ(changes.size(), std::size(expected));
  for (std::size_t i = 0; i < changes.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(changes[i].property, expected[i].property);
    EXPECT_EQ(changes[i].text, expected[i].text);
    EXPECT_EQ(changes[i].number, expected[i].number);
  }
}

TEST(WindowModel, EachThreadsChangesArriveInItsOwnOrder) {
  WindowModel model;
  std::mutex mutex;
  std::map<Control, std::vector<int>> seen;
  std::atomic<int> concurrent{0}, worst{0};
  model.AddObserver([&](const ControlChange& change) {
    int now = ++concurrent;
    worst = std::max(worst.load(), now);
    {
      std::lock_guard lock(mutex);
      seen[change.control].push_back(change.number);
    }
    --concurrent;
  });
  const Control controls[] = {Control::标签2, Control::标签3, Control::标签4, Control::标签6};
  std::vector<std::thread> threads;
  for (Control control : controls) {
    threads.emplace_back([&model, control] {
      for (int width = 1; width <= 2000; ++width) model.SetWidth(control, width);
    });
  }
  for (auto& thread : threads) thread.join();
  for (Control control : controls) {
    const auto& widths = seen[control];
    ASSERT_EQ(widths.size(), 2000u) << ControlName(control);
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(widths[i], i + 1) << ControlName(control);
  }
  EXPECT_EQ(worst.load(), 1) << "two deliveries overlapped";
}

TEST(WindowModel, ObserverMayReadTheModelDuringADelivery) {
  WindowModel model;
  std::vector<int> widthsRead;
  model.AddObserver(
      [&](const ControlChange&) { widthsRead.push_back(model.Width(Control::标签2)); });
  model.SetWidth(Control::标签2, 10);
  model.SetWidth(Control::标签2, 20);
  EXPECT_EQ(widthsRead, (std::vector<int>{10, 20}));
}

TEST(WindowModel, RemovedObserverHearsNothingMore) {
  WindowModel model;
  int calls = 0;
  const int id = model.AddObserver([&](const ControlChange&) { ++calls; });
  model.SetWidth(Control::标签2, 1);
  model.RemoveObserver(id);
  model.SetWidth(Control::标签2, 2);
  EXPECT_EQ(calls, 1);
}

TEST(WindowModel, MessageBoxBlocksItsCallerUntilAnswered) {
  WindowModel model;
  model.MessageBox("no handler", "returns at once");  // nothing installed: no wait

  std::mutex mutex;
  std::condition_variable answered;
  bool answer = false;
  Text shownText, shownTitle;
  model.SetMessageBoxHandler([&](const Text& text, const Text& title) {
    std::unique_lock lock(mutex);
    shownText = text;
    shownTitle = title;
    answered.wait(lock, [&] { return answer; });
  });
  std::atomic<bool> returned{false};
  std::thread caller([&] {
    model.MessageBox("t", "T");
    returned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(returned.load());
  {
    std::lock_guard lock(mutex);
    EXPECT_EQ(shownText, "t");
    EXPECT_EQ(shownTitle, "T");
    answer = true;
  }
  answered.notify_all();
  caller.join();
  EXPECT_TRUE(returned.load());
}

TEST(WindowModel, PendingEventsAndOpenHooks) {
  WindowModel model;
  model.ProcessPendingEvents();  // default: nothing, no crash
  int pending = 0;
  model.SetPendingEventsHook([&] { ++pending; });
  model.ProcessPendingEvents();
  model.ProcessPendingEvents();
  EXPECT_EQ(pending, 2);
  std::vector<Text> opened;
  model.SetOpenHook([&](const Text& path) { opened.push_back(path); });
  model.OpenInShell("/x/y");
  EXPECT_EQ(opened, (std::vector<Text>{"/x/y"}));
}

}  // namespace
}  // namespace tessaly
