// The window as data: every control of the main window with the properties the
// job reads and writes. The job knows only this model; the Qt window and the
// headless command are observers of it.
//
// Thread safety: every read and write may come from any thread. A change is
// delivered to the observers synchronously on the thread that made it, before
// the setter returns; changes are delivered one at a time (never two observer
// calls at once), so the order an observer sees is the order the state changed,
// and in particular each thread's own order. An observer may read the model,
// and may change it from inside its callback (that change is delivered nested).
// Observers must not block on another thread that changes the model.
#pragma once

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "support/file-system.h"
#include "support/text.h"

extern char** environ;

namespace tessaly {

enum class Control {
  标签1,
  外形框1,
  编辑框2,
  图形按钮1,
  按钮1,
  标签5,
  组合框1,
  选择框1,
  选择框2,
  选择框3,
  编辑框1,
  外形框2,
  标签2,
  标签4,
  标签3,
  标签6,
};
inline constexpr std::size_t kControlCount = 16;

enum class Property {
  Text,          // text or caption (GBK)
  AppendedText,  // a piece appended to Text: the change's text is the piece
  Visible,
  Enabled,
  Left,
  Top,
  Width,
  Height,
  Checked,
  Items,           // the whole item list was replaced
  SelectedIndex,   // zero-based, -1 for none
  SelectionStart,  // zero-based byte position of the caret
};

struct ComboItem {
  Text text;
  int value = 0;
  bool operator==(const ComboItem&) const = default;
};

struct ControlProperties {
  Text text;
  bool visible = true;
  bool enabled = true;
  int left = 0, top = 0, width = 0, height = 0;
  bool checked = false;
  std::vector<ComboItem> items;
  int selectedIndex = -1;
  int selectionStart = 0;
};

// One change as delivered to observers. `text` carries Text and AppendedText,
// `number` every integer and boolean property (0 or 1), `items` the Items list.
struct ControlChange {
  Control control;
  Property property;
  Text text;
  int number = 0;
  std::vector<ComboItem> items;
};

class WindowModel {
 public:
  using Observer = std::function<void(const ControlChange&)>;
  // Shows the box and returns when the user has answered it.
  using MessageBoxHandler = std::function<void(const Text& text, const Text& title)>;
  using PendingEventsHook = std::function<void()>;
  using OpenHook = std::function<void(const Text& path)>;

  // Every control as the window's control table gives it at start-up.
  WindowModel();
  WindowModel(const WindowModel&) = delete;
  WindowModel& operator=(const WindowModel&) = delete;

  ControlProperties Properties(Control control) const;
  Text GetText(Control control) const;
  bool IsVisible(Control control) const;
  bool IsEnabled(Control control) const;
  int Left(Control control) const;
  int Top(Control control) const;
  int Width(Control control) const;
  int Height(Control control) const;
  bool IsChecked(Control control) const;
  std::vector<ComboItem> Items(Control control) const;
  int SelectedIndex(Control control) const;
  // The item value of the selected item; 0 when nothing is selected.
  int SelectedItemValue(Control control) const;
  int SelectionStart(Control control) const;

  // Setters deliver a change only when the value actually changes.
  void SetText(Control control, const Text& text);
  void AppendText(Control control, const Text& piece);  // nothing for an empty piece
  void SetVisible(Control control, bool visible);
  void SetEnabled(Control control, bool enabled);
  void SetLeft(Control control, int left);
  void SetTop(Control control, int top);
  void SetWidth(Control control, int width);
  void SetHeight(Control control, int height);
  // Left, top, width, height, delivered in that order.
  void Move(Control control, int left, int top, int width, int height);
  void SetChecked(Control control, bool checked);
  void SetItems(Control control, std::vector<ComboItem> items);
  void SetSelectedIndex(Control control, int index);
  void SetSelectionStart(Control control, int start);

  // The created-handler's filling of the thread-count box: "线程数：1" .. "线程数：20"
  // with item values 1..20, the fifth (index 4) selected.
  void FillThreadCountBox();

  // Returns an id for RemoveObserver.
  int AddObserver(Observer observer);
  void RemoveObserver(int id);

  // Blocks the caller until the handler returns; returns at once when no
  // handler is installed.
  void SetMessageBoxHandler(MessageBoxHandler handler);
  void MessageBox(const Text& text, const Text& title);

  // Lets the front end handle its pending events; a no-op by default.
  void SetPendingEventsHook(PendingEventsHook hook);
  void ProcessPendingEvents();

  // Opens a folder or file for the user. By default the command named by
  // TESSALY_OPEN_COMMAND, or xdg-open, is started with the path as its one
  // argument and not waited for.
  void SetOpenHook(OpenHook hook);
  void OpenInShell(const Text& path);

 private:
  template <typename Update>
  void Change(Control control, Property property, Update&& update);
  void Deliver(const ControlChange& change);

  mutable std::mutex stateMutex_;
  std::array<ControlProperties, kControlCount> controls_;

  // Held from a state change through its delivery, so deliveries never overlap
  // and follow the order of the state changes.
  std::recursive_mutex deliveryMutex_;
  std::mutex observerMutex_;
  std::vector<std::pair<int, Observer>> observers_;
  int nextObserverId_ = 1;

  std::mutex hookMutex_;
  MessageBoxHandler messageBoxHandler_;
  PendingEventsHook pendingEventsHook_;
  OpenHook openHook_;
};

// The default opener: TESSALY_OPEN_COMMAND or xdg-open with the path as its one
// argument, started without a shell and not waited for. False when it could not
// be started.
bool OpenWithDesktopCommand(const Text& path);

// Header-only, so that the page workers' library below the job library can
// drive the model without linking upward.

// In the order of the window's control table.
inline constexpr std::array<Control, kControlCount> kAllControls = {
    Control::标签1,   Control::外形框1, Control::编辑框2, Control::图形按钮1,
    Control::按钮1,   Control::标签5,   Control::组合框1, Control::选择框1,
    Control::选择框2, Control::选择框3, Control::编辑框1, Control::外形框2,
    Control::标签2,   Control::标签4,   Control::标签3,   Control::标签6,
};

// The control's name in UTF-8 ("编辑框1"), for Qt object names and messages.
inline std::string_view ControlName(Control control) {
  switch (control) {
    case Control::标签1:
      return "标签1";
    case Control::外形框1:
      return "外形框1";
    case Control::编辑框2:
      return "编辑框2";
    case Control::图形按钮1:
      return "图形按钮1";
    case Control::按钮1:
      return "按钮1";
    case Control::标签5:
      return "标签5";
    case Control::组合框1:
      return "组合框1";
    case Control::选择框1:
      return "选择框1";
    case Control::选择框2:
      return "选择框2";
    case Control::选择框3:
      return "选择框3";
    case Control::编辑框1:
      return "编辑框1";
    case Control::外形框2:
      return "外形框2";
    case Control::标签2:
      return "标签2";
    case Control::标签4:
      return "标签4";
    case Control::标签3:
      return "标签3";
    case Control::标签6:
      return "标签6";
  }
  return "";
}

inline std::string_view PropertyName(Property property) {
  switch (property) {
    case Property::Text:
      return "text";
    case Property::AppendedText:
      return "appended-text";
    case Property::Visible:
      return "visible";
    case Property::Enabled:
      return "enabled";
    case Property::Left:
      return "left";
    case Property::Top:
      return "top";
    case Property::Width:
      return "width";
    case Property::Height:
      return "height";
    case Property::Checked:
      return "checked";
    case Property::Items:
      return "items";
    case Property::SelectedIndex:
      return "selected-index";
    case Property::SelectionStart:
      return "selection-start";
  }
  return "";
}

namespace model_detail {

inline std::size_t Index(Control control) { return static_cast<std::size_t>(control); }

inline ControlProperties Make(int left, int top, int width, int height, Text text,
                              bool visible = true, bool checked = false) {
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

}  // namespace model_detail

inline WindowModel::WindowModel() {
  using model_detail::Index;
  using model_detail::Make;
  auto& c = controls_;
  c[Index(Control::标签1)] =
      Make(16, 32, 80, 24, "\xCE\xC4\xBF\xE2\xB5\xD8\xD6\xB7\xA3\xBA");  // 文库地址：
  c[Index(Control::外形框1)] = Make(104, 29, 496, 30, "");
  c[Index(Control::编辑框2)] = Make(112, 30, 456, 28, "");
  c[Index(Control::图形按钮1)] = Make(579, 38, 12, 12, "", false);
  c[Index(Control::按钮1)] = Make(608, 29, 80, 30, "\xCC\xE1\xC8\xA1");  // 提取
  c[Index(Control::标签5)] =
      Make(16, 75, 80, 24, "\xCF\xE0\xB9\xD8\xC9\xE8\xD6\xC3\xA3\xBA");  // 相关设置：
  c[Index(Control::组合框1)] = Make(104, 72, 128, 28, "");
  c[Index(Control::选择框1)] = Make(256, 80, 112, 24, "\xC9\xBE\xB3\xFD\xBF\xD5\xD0\xD0", true,
                                    true);  // 删除空行
  c[Index(Control::选择框2)] = Make(376, 80, 184, 24,
                                    "\xC9\xBE\xB3\xFD\xC3\xBF\xD0\xD0\xCA\xD7\xCE\xB2\xB5\xC4\xBF"
                                    "\xD5\xB8\xF1");  // 删除每行首尾的空格
  c[Index(Control::选择框3)] =
      Make(576, 80, 112, 24, "\xCC\xE1\xC8\xA1\xCD\xBC\xC6\xAC");  // 提取图片
  c[Index(Control::编辑框1)] =
      Make(16, 120, 672, 424, "\xB0\xAE\xC9\xFA\xBB\xEE\xA3\xAC\xB0\xAEKivo");  // 爱生活，爱Kivo
  c[Index(Control::外形框2)] = Make(16, 543, 672, 10, "");
  c[Index(Control::标签2)] = Make(17, 544, 670, 8, "");
  c[Index(Control::标签4)] = Make(144, 176, 80, 24, "\xB1\xEA\xC7\xA9", false);  // 标签
  c[Index(Control::标签3)] = Make(264, 168, 80, 40, "\xB1\xEA\xC7\xA9", false);  // 标签
  c[Index(Control::标签6)] = Make(8, 8, 80, 24, "\xB1\xEA\xC7\xA9", false);      // 标签
}

inline ControlProperties WindowModel::Properties(Control control) const {
  std::lock_guard lock(stateMutex_);
  return controls_[model_detail::Index(control)];
}

namespace model_detail {

template <typename Controls, typename Get>
auto ReadLocked(std::mutex& mutex, const Controls& controls, Control control, Get get) {
  std::lock_guard lock(mutex);
  return get(controls[Index(control)]);
}

}  // namespace model_detail

#define TESSALY_READ(expr)                                         \
  return model_detail::ReadLocked(stateMutex_, controls_, control, \
                                  [](const ControlProperties& p) { return expr; })

inline Text WindowModel::GetText(Control control) const { TESSALY_READ(p.text); }
inline bool WindowModel::IsVisible(Control control) const { TESSALY_READ(p.visible); }
inline bool WindowModel::IsEnabled(Control control) const { TESSALY_READ(p.enabled); }
inline int WindowModel::Left(Control control) const { TESSALY_READ(p.left); }
inline int WindowModel::Top(Control control) const { TESSALY_READ(p.top); }
inline int WindowModel::Width(Control control) const { TESSALY_READ(p.width); }
inline int WindowModel::Height(Control control) const { TESSALY_READ(p.height); }
inline bool WindowModel::IsChecked(Control control) const { TESSALY_READ(p.checked); }
inline std::vector<ComboItem> WindowModel::Items(Control control) const { TESSALY_READ(p.items); }
inline int WindowModel::SelectedIndex(Control control) const { TESSALY_READ(p.selectedIndex); }
inline int WindowModel::SelectionStart(Control control) const { TESSALY_READ(p.selectionStart); }
inline int WindowModel::SelectedItemValue(Control control) const {
  TESSALY_READ((p.selectedIndex >= 0 && static_cast<std::size_t>(p.selectedIndex) < p.items.size())
                   ? p.items[static_cast<std::size_t>(p.selectedIndex)].value
                   : 0);
}

#undef TESSALY_READ

// `update` changes the properties and fills the change; it returns false when
// nothing changed, and then nothing is delivered.
template <typename Update>
inline void WindowModel::Change(Control control, Property property, Update&& update) {
  std::lock_guard delivery(deliveryMutex_);
  ControlChange change{control, property, {}, 0, {}};
  {
    std::lock_guard lock(stateMutex_);
    if (!update(controls_[model_detail::Index(control)], change)) return;
  }
  Deliver(change);
}

inline void WindowModel::Deliver(const ControlChange& change) {
  std::vector<Observer> observers;
  {
    std::lock_guard lock(observerMutex_);
    for (const auto& entry : observers_) observers.push_back(entry.second);
  }
  for (const auto& observer : observers) observer(change);
}

inline void WindowModel::SetText(Control control, const Text& text) {
  Change(control, Property::Text, [&](ControlProperties& p, ControlChange& c) {
    if (p.text == text) return false;
    p.text = text;
    c.text = text;
    return true;
  });
}

inline void WindowModel::AppendText(Control control, const Text& piece) {
  Change(control, Property::AppendedText, [&](ControlProperties& p, ControlChange& c) {
    if (piece.empty()) return false;
    p.text += piece;
    c.text = piece;
    return true;
  });
}

namespace model_detail {

template <typename T>
auto SetNumber(T ControlProperties::*field, T value) {
  return [field, value](ControlProperties& p, ControlChange& c) {
    if (p.*field == value) return false;
    p.*field = value;
    c.number = static_cast<int>(value);
    return true;
  };
}

}  // namespace model_detail

inline void WindowModel::SetVisible(Control control, bool visible) {
  Change(control, Property::Visible, model_detail::SetNumber(&ControlProperties::visible, visible));
}
inline void WindowModel::SetEnabled(Control control, bool enabled) {
  Change(control, Property::Enabled, model_detail::SetNumber(&ControlProperties::enabled, enabled));
}
inline void WindowModel::SetLeft(Control control, int left) {
  Change(control, Property::Left, model_detail::SetNumber(&ControlProperties::left, left));
}
inline void WindowModel::SetTop(Control control, int top) {
  Change(control, Property::Top, model_detail::SetNumber(&ControlProperties::top, top));
}
inline void WindowModel::SetWidth(Control control, int width) {
  Change(control, Property::Width, model_detail::SetNumber(&ControlProperties::width, width));
}
inline void WindowModel::SetHeight(Control control, int height) {
  Change(control, Property::Height, model_detail::SetNumber(&ControlProperties::height, height));
}
inline void WindowModel::Move(Control control, int left, int top, int width, int height) {
  std::lock_guard delivery(deliveryMutex_);
  SetLeft(control, left);
  SetTop(control, top);
  SetWidth(control, width);
  SetHeight(control, height);
}
inline void WindowModel::SetChecked(Control control, bool checked) {
  Change(control, Property::Checked, model_detail::SetNumber(&ControlProperties::checked, checked));
}
inline void WindowModel::SetSelectedIndex(Control control, int index) {
  Change(control, Property::SelectedIndex,
         model_detail::SetNumber(&ControlProperties::selectedIndex, index));
}
inline void WindowModel::SetSelectionStart(Control control, int start) {
  Change(control, Property::SelectionStart,
         model_detail::SetNumber(&ControlProperties::selectionStart, start));
}

inline void WindowModel::SetItems(Control control, std::vector<ComboItem> items) {
  Change(control, Property::Items, [&](ControlProperties& p, ControlChange& c) {
    if (p.items == items) return false;
    p.items = items;
    c.items = std::move(items);
    return true;
  });
}

inline void WindowModel::FillThreadCountBox() {
  std::vector<ComboItem> items;
  for (int n = 1; n <= 20; ++n) {
    items.push_back({"\xCF\xDF\xB3\xCC\xCA\xFD\xA3\xBA" + IntegerToText(n), n});  // 线程数：
  }
  std::lock_guard delivery(deliveryMutex_);
  SetItems(Control::组合框1, std::move(items));
  SetSelectedIndex(Control::组合框1, 4);
}

inline int WindowModel::AddObserver(Observer observer) {
  std::lock_guard lock(observerMutex_);
  int id = nextObserverId_++;
  observers_.emplace_back(id, std::move(observer));
  return id;
}

inline void WindowModel::RemoveObserver(int id) {
  // Waits out a delivery in progress on another thread, so the observer is not
  // called after this returns (unless from a nested change on this thread).
  std::lock_guard delivery(deliveryMutex_);
  std::lock_guard lock(observerMutex_);
  std::erase_if(observers_, [id](const auto& entry) { return entry.first == id; });
}

inline void WindowModel::SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard lock(hookMutex_);
  messageBoxHandler_ = std::move(handler);
}

inline void WindowModel::MessageBox(const Text& text, const Text& title) {
  MessageBoxHandler handler;
  {
    std::lock_guard lock(hookMutex_);
    handler = messageBoxHandler_;
  }
  if (handler) handler(text, title);
}

inline void WindowModel::SetPendingEventsHook(PendingEventsHook hook) {
  std::lock_guard lock(hookMutex_);
  pendingEventsHook_ = std::move(hook);
}

inline void WindowModel::ProcessPendingEvents() {
  PendingEventsHook hook;
  {
    std::lock_guard lock(hookMutex_);
    hook = pendingEventsHook_;
  }
  if (hook) hook();
}

inline void WindowModel::SetOpenHook(OpenHook hook) {
  std::lock_guard lock(hookMutex_);
  openHook_ = std::move(hook);
}

inline void WindowModel::OpenInShell(const Text& path) {
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

inline bool OpenWithDesktopCommand(const Text& path) {
  const char* configured = std::getenv("TESSALY_OPEN_COMMAND");
  std::string command = (configured && *configured) ? configured : "xdg-open";
  std::string argument = ToSystemPath(path);
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
