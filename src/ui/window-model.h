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

#include <array>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string_view>
#include <vector>

#include "support/text.h"

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

// In the order of the window's control table.
extern const std::array<Control, kControlCount> kAllControls;

// The control's name in UTF-8 ("编辑框1"), for Qt object names and messages.
std::string_view ControlName(Control control);

enum class Property {
  Text,            // text or caption (GBK)
  AppendedText,    // a piece appended to Text: the change's text is the piece
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

std::string_view PropertyName(Property property);

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

}  // namespace tessaly
