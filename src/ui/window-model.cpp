#include "ui/window-model.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>
#include <utility>

extern char** environ;

namespace tessaly {

const std::array<Control, kControlCount> kAllControls = {
    Control::标签1,  Control::外形框1, Control::编辑框2, Control::图形按钮1,
    Control::按钮1,  Control::标签5,   Control::组合框1, Control::选择框1,
    Control::选择框2, Control::选择框3, Control::编辑框1, Control::外形框2,
    Control::标签2,  Control::标签4,   Control::标签3,   Control::标签6,
};

std::string_view ControlName(Control control) {
  switch (control) {
    case Control::标签1: return "标签1";
    case Control::外形框1: return "外形框1";
    case Control::编辑框2: return "编辑框2";
    case Control::图形按钮1: return "图形按钮1";
    case Control::按钮1: return "按钮1";
    case Control::标签5: return "标签5";
    case Control::组合框1: return "组合框1";
    case Control::选择框1: return "选择框1";
    case Control::选择框2: return "选择框2";
    case Control::选择框3: return "选择框3";
    case Control::编辑框1: return "编辑框1";
    case Control::外形框2: return "外形框2";
    case Control::标签2: return "标签2";
    case Control::标签4: return "标签4";
    case Control::标签3: return "标签3";
    case Control::标签6: return "标签6";
  }
  return "";
}

std::string_view PropertyName(Property property) {
  switch (property) {
    case Property::Text: return "text";
    case Property::AppendedText: return "appended-text";
    case Property::Visible: return "visible";
    case Property::Enabled: return "enabled";
    case Property::Left: return "left";
    case Property::Top: return "top";
    case Property::Width: return "width";
    case Property::Height: return "height";
    case Property::Checked: return "checked";
    case Property::Items: return "items";
    case Property::SelectedIndex: return "selected-index";
    case Property::SelectionStart: return "selection-start";
  }
  return "";
}

namespace {

std::size_t Index(Control control) { return static_cast<std::size_t>(control); }

ControlProperties Make(int left, int top, int width, int height, Text text, bool visible = true,
                       bool checked = false) {
  ControlProperties p;
  p.left = left;
  p.top = top;
  p.width = width;
  p.height = height;
  p.text = std::move(text);
  p.visible = visible;
  p.checked = checked;
  return p;
}

}  // namespace

WindowModel::WindowModel() {
  auto& c = controls_;
  c[Index(Control::标签1)] = Make(16, 32, 80, 24, "\xCE\xC4\xBF\xE2\xB5\xD8\xD6\xB7\xA3\xBA");  // 文库地址：
  c[Index(Control::外形框1)] = Make(104, 29, 496, 30, "");
  c[Index(Control::编辑框2)] = Make(112, 30, 456, 28, "");
  c[Index(Control::图形按钮1)] = Make(579, 38, 12, 12, "", false);
  c[Index(Control::按钮1)] = Make(608, 29, 80, 30, "\xCC\xE1\xC8\xA1");  // 提取
  c[Index(Control::标签5)] = Make(16, 75, 80, 24, "\xCF\xE0\xB9\xD8\xC9\xE8\xD6\xC3\xA3\xBA");  // 相关设置：
  c[Index(Control::组合框1)] = Make(104, 72, 128, 28, "");
  c[Index(Control::选择框1)] = Make(256, 80, 112, 24, "\xC9\xBE\xB3\xFD\xBF\xD5\xD0\xD0", true,
                                    true);  // 删除空行
  c[Index(Control::选择框2)] =
      Make(376, 80, 184, 24,
           "\xC9\xBE\xB3\xFD\xC3\xBF\xD0\xD0\xCA\xD7\xCE\xB2\xB5\xC4\xBF\xD5\xB8\xF1");  // 删除每行首尾的空格
  c[Index(Control::选择框3)] = Make(576, 80, 112, 24, "\xCC\xE1\xC8\xA1\xCD\xBC\xC6\xAC");  // 提取图片
  c[Index(Control::编辑框1)] =
      Make(16, 120, 672, 424, "\xB0\xAE\xC9\xFA\xBB\xEE\xA3\xAC\xB0\xAEKivo");  // 爱生活，爱Kivo
  c[Index(Control::外形框2)] = Make(16, 543, 672, 10, "");
  c[Index(Control::标签2)] = Make(17, 544, 670, 8, "");
  c[Index(Control::标签4)] = Make(144, 176, 80, 24, "\xB1\xEA\xC7\xA9", false);  // 标签
  c[Index(Control::标签3)] = Make(264, 168, 80, 40, "\xB1\xEA\xC7\xA9", false);  // 标签
  c[Index(Control::标签6)] = Make(8, 8, 80, 24, "\xB1\xEA\xC7\xA9", false);      // 标签
}

ControlProperties WindowModel::Properties(Control control) const {
  std::lock_guard lock(stateMutex_);
  return controls_[Index(control)];
}

namespace {

template <typename Controls, typename Get>
auto ReadLocked(std::mutex& mutex, const Controls& controls, Control control, Get get) {
  std::lock_guard lock(mutex);
  return get(controls[Index(control)]);
}

}  // namespace

#define TESSALY_READ(expr) \
  return ReadLocked(stateMutex_, controls_, control, [](const ControlProperties& p) { return expr; })

Text WindowModel::GetText(Control control) const { TESSALY_READ(p.text); }
bool WindowModel::IsVisible(Control control) const { TESSALY_READ(p.visible); }
bool WindowModel::IsEnabled(Control control) const { TESSALY_READ(p.enabled); }
int WindowModel::Left(Control control) const { TESSALY_READ(p.left); }
int WindowModel::Top(Control control) const { TESSALY_READ(p.top); }
int WindowModel::Width(Control control) const { TESSALY_READ(p.width); }
int WindowModel::Height(Control control) const { TESSALY_READ(p.height); }
bool WindowModel::IsChecked(Control control) const { TESSALY_READ(p.checked); }
std::vector<ComboItem> WindowModel::Items(Control control) const { TESSALY_READ(p.items); }
int WindowModel::SelectedIndex(Control control) const { TESSALY_READ(p.selectedIndex); }
int WindowModel::SelectionStart(Control control) const { TESSALY_READ(p.selectionStart); }
int WindowModel::SelectedItemValue(Control control) const {
  TESSALY_READ((p.selectedIndex >= 0 && static_cast<std::size_t>(p.selectedIndex) < p.items.size())
                   ? p.items[static_cast<std::size_t>(p.selectedIndex)].value
                   : 0);
}

#undef TESSALY_READ

// `update` changes the properties and fills the change; it returns false when
// nothing changed, and then nothing is delivered.
template <typename Update>
void WindowModel::Change(Control control, Property property, Update&& update) {
  std::lock_guard delivery(deliveryMutex_);
  ControlChange change{control, property, {}, 0, {}};
  {
    std::lock_guard lock(stateMutex_);
    if (!update(controls_[Index(control)], change)) return;
  }
  Deliver(change);
}

void WindowModel::Deliver(const ControlChange& change) {
  std::vector<Observer> observers;
  {
    std::lock_guard lock(observerMutex_);
    for (const auto& entry : observers_) observers.push_back(entry.second);
  }
  for (const auto& observer : observers) observer(change);
}

void WindowModel::SetText(Control control, const Text& text) {
  Change(control, Property::Text, [&](ControlProperties& p, ControlChange& c) {
    if (p.text == text) return false;
    p.text = text;
    c.text = text;
    return true;
  });
}

void WindowModel::AppendText(Control control, const Text& piece) {
  Change(control, Property::AppendedText, [&](ControlProperties& p, ControlChange& c) {
    if (piece.empty()) return false;
    p.text += piece;
    c.text = piece;
    return true;
  });
}

namespace {

template <typename T>
auto SetNumber(T ControlProperties::*field, T value) {
  return [field, value](ControlProperties& p, ControlChange& c) {
    if (p.*field == value) return false;
    p.*field = value;
    c.number = static_cast<int>(value);
    return true;
  };
}

}  // namespace

void WindowModel::SetVisible(Control control, bool visible) {
  Change(control, Property::Visible, SetNumber(&ControlProperties::visible, visible));
}
void WindowModel::SetEnabled(Control control, bool enabled) {
  Change(control, Property::Enabled, SetNumber(&ControlProperties::enabled, enabled));
}
void WindowModel::SetLeft(Control control, int left) {
  Change(control, Property::Left, SetNumber(&ControlProperties::left, left));
}
void WindowModel::SetTop(Control control, int top) {
  Change(control, Property::Top, SetNumber(&ControlProperties::top, top));
}
void WindowModel::SetWidth(Control control, int width) {
  Change(control, Property::Width, SetNumber(&ControlProperties::width, width));
}
void WindowModel::SetHeight(Control control, int height) {
  Change(control, Property::Height, SetNumber(&ControlProperties::height, height));
}
void WindowModel::Move(Control control, int left, int top, int width, int height) {
  std::lock_guard delivery(deliveryMutex_);
  SetLeft(control, left);
  SetTop(control, top);
  SetWidth(control, width);
  SetHeight(control, height);
}
void WindowModel::SetChecked(Control control, bool checked) {
  Change(control, Property::Checked, SetNumber(&ControlProperties::checked, checked));
}
void WindowModel::SetSelectedIndex(Control control, int index) {
  Change(control, Property::SelectedIndex, SetNumber(&ControlProperties::selectedIndex, index));
}
void WindowModel::SetSelectionStart(Control control, int start) {
  Change(control, Property::SelectionStart, SetNumber(&ControlProperties::selectionStart, start));
}

void WindowModel::SetItems(Control control, std::vector<ComboItem> items) {
  Change(control, Property::Items, [&](ControlProperties& p, ControlChange& c) {
    if (p.items == items) return false;
    p.items = items;
    c.items = std::move(items);
    return true;
  });
}

void WindowModel::FillThreadCountBox() {
  std::vector<ComboItem> items;
  for (int n = 1; n <= 20; ++n) {
    items.push_back({"\xCF\xDF\xB3\xCC\xCA\xFD\xA3\xBA" + IntegerToText(n), n});  // 线程数：
  }
  std::lock_guard delivery(deliveryMutex_);
  SetItems(Control::组合框1, std::move(items));
  SetSelectedIndex(Control::组合框1, 4);
}

int WindowModel::AddObserver(Observer observer) {
  std::lock_guard lock(observerMutex_);
  int id = nextObserverId_++;
  observers_.emplace_back(id, std::move(observer));
  return id;
}

void WindowModel::RemoveObserver(int id) {
  // Waits out a delivery in progress on another thread, so the observer is not
  // called after this returns (unless from a nested change on this thread).
  std::lock_guard delivery(deliveryMutex_);
  std::lock_guard lock(observerMutex_);
  std::erase_if(observers_, [id](const auto& entry) { return entry.first == id; });
}

void WindowModel::SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard lock(hookMutex_);
  messageBoxHandler_ = std::move(handler);
}

void WindowModel::MessageBox(const Text& text, const Text& title) {
  MessageBoxHandler handler;
  {
    std::lock_guard lock(hookMutex_);
    handler = messageBoxHandler_;
  }
  if (handler) handler(text, title);
}

void WindowModel::SetPendingEventsHook(PendingEventsHook hook) {
  std::lock_guard lock(hookMutex_);
  pendingEventsHook_ = std::move(hook);
}

void WindowModel::ProcessPendingEvents() {
  PendingEventsHook hook;
  {
    std::lock_guard lock(hookMutex_);
    hook = pendingEventsHook_;
  }
  if (hook) hook();
}

void WindowModel::SetOpenHook(OpenHook hook) {
  std::lock_guard lock(hookMutex_);
  openHook_ = std::move(hook);
}

void WindowModel::OpenInShell(const Text& path) {
  OpenHook hook;
  bool installed;
  {
    std::lock_guard lock(hookMutex_);
    hook = openHook_;
    installed = static_cast<bool>(openHook_);
  }
  if (installed) {
    hook(path);
  } else {
    OpenWithDesktopCommand(path);
  }
}

bool OpenWithDesktopCommand(const Text& path) {
  const char* configured = std::getenv("TESSALY_OPEN_COMMAND");
  std::string command = (configured && *configured) ? configured : "xdg-open";
  std::string argument = path;
  char* argv[] = {command.data(), argument.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, command.c_str(), nullptr, nullptr, argv, environ) != 0) return false;
  // Reaped in the background so a long-running window leaves no zombie.
  std::thread([pid] {
    int status = 0;
    waitpid(pid, &status, 0);
  }).detach();
  return true;
}

}  // namespace tessaly
