#include "ui/qt/main-window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QThread>
#include <QUrl>
#include <algorithm>
#include <cstdlib>
#include <future>
#include <list>
#include <mutex>

#include "support/codepage.h"
#include "ui/extract-button.h"

// Resources of a static library must be registered by name, outside any namespace.
static void InitWindowResources() { Q_INIT_RESOURCE(window); }

namespace tessaly {

namespace {

constexpr const char* kFontFamily = "\u5FAE\u8F6F\u96C5\u9ED1";  // 微软雅黑

QString FromGbk(const Text& text) { return QString::fromStdString(GbkToUtf8(text)); }
Text ToGbk(const QString& text) { return Utf8ToGbk(text.toStdString()); }

// The result box holds CR LF line ends in the model; the text widget uses LF.
QString ToEditorText(const Text& text) {
  return FromGbk(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}
Text FromEditorText(const QString& text) {
  QString crlf = text;
  crlf.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return ToGbk(crlf);
}

// A GBK byte position into the editor's characters: LF stands for CR LF and
// every non-ASCII character for two bytes.
int CharacterAtBytePosition(const QString& text, int bytePosition) {
  int bytes = 0;
  int i = 0;
  for (; i < text.size() && bytes < bytePosition; ++i) {
    QChar c = text.at(i);
    if (c == QLatin1Char('\n')) {
      bytes += 2;
    } else if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
      bytes += 1;  // GBK writes it as "?"
      ++i;
    } else {
      bytes += c.unicode() < 0x80 ? 1 : 2;
    }
  }
  return i;
}

// The clear button: a picture for rest and one for the pointer over it.
class PictureButton : public QAbstractButton {
 public:
  PictureButton(QPixmap rest, QPixmap hover, QWidget* parent)
      : QAbstractButton(parent), rest_(std::move(rest)), hover_(std::move(hover)) {
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QPixmap& picture = (underMouse() || isDown()) ? hover_ : rest_;
    painter.drawPixmap(rect(), picture);
  }

 private:
  QPixmap rest_;
  QPixmap hover_;
};

void OpenForUser(const Text& path) {
  const QString local = FromGbk(path);
  const QByteArray command = qgetenv("TESSALY_OPEN_COMMAND");
  if (!command.isEmpty()) {
    QProcess::startDetached(QString::fromLocal8Bit(command), {local});
  } else {
    QDesktopServices::openUrl(QUrl::fromLocalFile(local));
  }
}

}  // namespace

// Lets the job thread wait for the box without holding a pointer that the
// window's destruction could invalidate.
struct MainWindow::MessageGate {
  std::mutex mutex;
  MainWindow* window = nullptr;
  std::list<std::promise<void>> waiting;
  QPointer<QMessageBox> box;  // window-thread only
};

void InstallWindowFonts() {
  static std::once_flag once;
  std::call_once(once, [] {
    QFont::insertSubstitutions(
        QString::fromUtf8(kFontFamily),
        {QStringLiteral("Microsoft YaHei"), QStringLiteral("Noto Sans CJK SC"),
         QStringLiteral("Source Han Sans SC"), QStringLiteral("WenQuanYi Micro Hei")});
  });
}

MainWindow::MainWindow(JobContext& context, QWidget* parent)
    : QWidget(parent),
      context_(context),
      model_(context.window),
      windowThread_(std::this_thread::get_id()),
      messageGate_(std::make_shared<MessageGate>()) {
  InitWindowResources();
  InstallWindowFonts();
  setObjectName(QStringLiteral("窗口"));
  setWindowTitle(QStringLiteral("Tessaly  1.3"));
  setWindowIcon(QIcon(QStringLiteral(":/tessaly/tessaly.png")));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setFixedSize(kClientWidth, kClientHeight);
  move(50, 50);

  QFont font(QString::fromUtf8(kFontFamily));
  font.setPixelSize(15);
  font.setWeight(QFont::Normal);
  setFont(font);

  BuildControls();
  BindWidgets();
  observerId_ = model_.AddObserver([this](const ControlChange& change) { Observe(change); });
  InstallModelHooks();

  // The created-handler.
  model_.FillThreadCountBox();
  ControlWidget(Control::编辑框2)->setFocus(Qt::OtherFocusReason);
}

MainWindow::~MainWindow() {
  model_.RemoveObserver(observerId_);
  model_.SetMessageBoxHandler({});
  model_.SetOpenHook({});
  model_.SetPendingEventsHook({});
  std::lock_guard lock(messageGate_->mutex);
  messageGate_->window = nullptr;
  for (auto& waiting : messageGate_->waiting) waiting.set_value();
  messageGate_->waiting.clear();
}

void MainWindow::BuildControls() {
  const QPixmap rest(QStringLiteral(":/tessaly/clear-button.png"));
  const QPixmap hover(QStringLiteral(":/tessaly/clear-button-hover.png"));
  QFont overlayFont = font();
  overlayFont.setPixelSize(20);

  // Created in table order, so later controls lie above earlier ones: the
  // overlays above the result box.
  for (Control control : kAllControls) {
    QWidget* widget = nullptr;
    switch (control) {
      case Control::标签1:
      case Control::标签5: {
        auto* label = new QLabel(this);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        widget = label;
        break;
      }
      case Control::外形框1:
      case Control::外形框2: {
        auto* frame = new QFrame(this);
        frame->setFrameStyle(QFrame::Box | QFrame::Plain);
        frame->setLineWidth(1);
        QPalette palette = frame->palette();
        palette.setColor(QPalette::WindowText, QColor(122, 138, 153));
        palette.setColor(QPalette::Window, palette.color(QPalette::Base));
        frame->setPalette(palette);
        frame->setAutoFillBackground(control == Control::外形框1);
        widget = frame;
        break;
      }
      case Control::编辑框2: {
        auto* edit = new QLineEdit(this);
        edit->setFrame(false);
        widget = edit;
        break;
      }
      case Control::图形按钮1:
        widget = new PictureButton(rest, hover, this);
        break;
      case Control::按钮1:
        widget = new QPushButton(this);
        break;
      case Control::组合框1:
        widget = new QComboBox(this);
        break;
      case Control::选择框1:
      case Control::选择框2:
      case Control::选择框3:
        widget = new QCheckBox(this);
        break;
      case Control::编辑框1: {
        auto* edit = new QPlainTextEdit(this);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit->installEventFilter(this);
        widget = edit;
        break;
      }
      case Control::标签2: {
        auto* label = new QLabel(this);
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, QColor(0, 255, 0));
        label->setPalette(palette);
        label->setAutoFillBackground(true);
        widget = label;
        break;
      }
      case Control::标签4:
      case Control::标签3:
      case Control::标签6: {
        auto* label = new QLabel(this);
        label->setAlignment(Qt::AlignCenter);
        label->setFont(overlayFont);
        label->setAutoFillBackground(true);  // hides the result box beneath
        widget = label;
        break;
      }
    }
    widget->setObjectName(QString::fromUtf8(ControlName(control).data(),
                                            static_cast<qsizetype>(ControlName(control).size())));
    widgets_[static_cast<std::size_t>(control)] = widget;

    const ControlProperties p = model_.Properties(control);
    widget->setGeometry(p.left, p.top, p.width, p.height);
    widget->setEnabled(p.enabled);
    widget->setVisible(p.visible);
    ControlChange text{control, Property::Text, p.text, 0, {}};
    Apply(text);
    if (auto* box = qobject_cast<QCheckBox*>(widget)) box->setChecked(p.checked);
    if (!p.items.empty()) Apply({control, Property::Items, {}, 0, p.items});
    if (p.selectedIndex >= 0) Apply({control, Property::SelectedIndex, {}, p.selectedIndex, {}});
  }
  // The status label reaches the row of the bar's frame; keep the bar whole
  // beneath it and only the stop overlay above everything.
  ControlWidget(Control::外形框2)->raise();
  ControlWidget(Control::标签2)->raise();
  ControlWidget(Control::标签6)->raise();
}

void MainWindow::BindWidgets() {
  auto* address = static_cast<QLineEdit*>(ControlWidget(Control::编辑框2));
  connect(address, &QLineEdit::textChanged, this, [this](const QString& text) {
    WriteFromWidget([&] { model_.SetText(Control::编辑框2, ToGbk(text)); });
    OnAddressTextChanged();
  });

  auto* result = static_cast<QPlainTextEdit*>(ControlWidget(Control::编辑框1));
  connect(result, &QPlainTextEdit::textChanged, this, [this, result] {
    WriteFromWidget(
        [&] { model_.SetText(Control::编辑框1, FromEditorText(result->toPlainText())); });
  });

  connect(result, &QPlainTextEdit::cursorPositionChanged, this, [this, result] {
    if (applyingModel_) return;
    QTextCursor before(result->document());
    before.setPosition(result->textCursor().position(), QTextCursor::KeepAnchor);
    const int bytes = static_cast<int>(
        FromEditorText(before.selectedText().replace(QChar::ParagraphSeparator, QLatin1Char('\n')))
            .size());
    WriteFromWidget([&] { model_.SetSelectionStart(Control::编辑框1, bytes); });
  });

  for (Control control : {Control::选择框1, Control::选择框2, Control::选择框3}) {
    auto* box = static_cast<QCheckBox*>(ControlWidget(control));
    connect(box, &QCheckBox::toggled, this, [this, control](bool checked) {
      WriteFromWidget([&] { model_.SetChecked(control, checked); });
    });
  }

  auto* threads = static_cast<QComboBox*>(ControlWidget(Control::组合框1));
  connect(threads, &QComboBox::currentIndexChanged, this, [this](int index) {
    WriteFromWidget([&] { model_.SetSelectedIndex(Control::组合框1, index); });
  });

  connect(static_cast<QAbstractButton*>(ControlWidget(Control::图形按钮1)),
          &QAbstractButton::clicked, this, [this] { OnClearClicked(); });
  connect(static_cast<QAbstractButton*>(ControlWidget(Control::按钮1)), &QAbstractButton::clicked,
          this, [this] { OnExtractStopClicked(); });
}

void MainWindow::InstallModelHooks() {
  std::shared_ptr<MessageGate> gate = messageGate_;
  gate->window = this;
  model_.SetMessageBoxHandler([gate](const Text& text, const Text& title) {
    std::future<void> answered;
    {
      std::lock_guard lock(gate->mutex);
      MainWindow* window = gate->window;
      if (!window) return;
      if (std::this_thread::get_id() == window->windowThread_)
        return;  // only the job thread may wait
      auto waiting = gate->waiting.emplace(gate->waiting.end());
      answered = waiting->get_future();
      // Behind the job's earlier changes, so the window shows them first.
      window->Enqueue([gate, waiting, window, text, title] {
        auto* box = new QMessageBox(QMessageBox::Information, FromGbk(title), FromGbk(text),
                                    QMessageBox::Ok, window);
        box->setAttribute(Qt::WA_DeleteOnClose);
        gate->box = box;
        QObject::connect(box, &QDialog::finished, window, [gate, waiting] {
          std::lock_guard lock(gate->mutex);
          if (!gate->window) return;  // the window's end has answered it
          waiting->set_value();
          gate->waiting.erase(waiting);
        });
        box->open();  // modal for the window; the window's thread goes on
      });
    }
    answered.wait();
  });

  model_.SetPendingEventsHook([thread = windowThread_] {
    if (std::this_thread::get_id() == thread)
      QCoreApplication::processEvents(QEventLoop::AllEvents);
  });

  // Asked from the job thread; desktop services want the application's thread.
  model_.SetOpenHook([](const Text& path) {
    QMetaObject::invokeMethod(
        qApp, [path] { OpenForUser(path); }, Qt::QueuedConnection);
  });
}

QMessageBox* MainWindow::OpenMessageBox() const { return messageGate_->box.data(); }

void MainWindow::Observe(const ControlChange& change) {
  {
    std::unique_lock lock(queueMutex_);
    if (std::this_thread::get_id() == windowThread_ && queue_.empty()) {
      lock.unlock();
      if (!writingFromWidget_) Apply(change);  // else the widget shows it already
      return;
    }
  }
  Enqueue([this, change] { Apply(change); });
}

void MainWindow::Enqueue(std::function<void()> step) {
  // Deliveries never overlap, so the queue keeps the model's order.
  std::lock_guard lock(queueMutex_);
  queue_.push_back(std::move(step));
  if (drainPosted_) return;
  drainPosted_ = true;
  QMetaObject::invokeMethod(
      this, [this] { DrainQueue(); }, Qt::QueuedConnection);
}

void MainWindow::DrainQueue() {
  constexpr qint64 kSliceNs = 8'000'000;
  QElapsedTimer slice;
  slice.start();
  for (;;) {
    std::function<void()> step;
    {
      std::lock_guard lock(queueMutex_);
      if (queue_.empty()) {
        drainPosted_ = false;
        return;
      }
      if (slice.nsecsElapsed() > kSliceNs) {
        QMetaObject::invokeMethod(
            this, [this] { DrainQueue(); }, Qt::QueuedConnection);
        return;
      }
      step = std::move(queue_.front());
      queue_.pop_front();
    }
    step();
  }
}

void MainWindow::WriteFromWidget(const std::function<void()>& write) {
  if (applyingModel_) return;
  const bool outer = writingFromWidget_;
  writingFromWidget_ = true;
  write();
  writingFromWidget_ = outer;
}

void MainWindow::Apply(const ControlChange& change) {
  QWidget* widget = ControlWidget(change.control);
  if (!widget) return;
  const bool outer = applyingModel_;
  applyingModel_ = true;
  QRect geometry = widget->geometry();
  switch (change.property) {
    case Property::Text:
      if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(FromGbk(change.text));
      } else if (auto* line = qobject_cast<QLineEdit*>(widget)) {
        const QString text = FromGbk(change.text);
        if (line->text() != text) line->setText(text);
      } else if (auto* editor = qobject_cast<QPlainTextEdit*>(widget)) {
        editor->setPlainText(ToEditorText(change.text));
        PlaceResultCaret();
      } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(FromGbk(change.text));
      }
      break;
    case Property::AppendedText:
      if (auto* editor = qobject_cast<QPlainTextEdit*>(widget)) {
        QTextCursor end(editor->document());
        end.movePosition(QTextCursor::End);
        end.insertText(ToEditorText(change.text));
        PlaceResultCaret();
      } else if (auto* line = qobject_cast<QLineEdit*>(widget)) {
        line->setText(line->text() + FromGbk(change.text));
      }
      break;
    case Property::Visible:
      widget->setVisible(change.number != 0);
      break;
    case Property::Enabled:
      widget->setEnabled(change.number != 0);
      break;
    case Property::Left:
      geometry.moveLeft(change.number);
      widget->setGeometry(geometry);
      break;
    case Property::Top:
      geometry.moveTop(change.number);
      widget->setGeometry(geometry);
      break;
    case Property::Width:
      geometry.setWidth(change.number);
      widget->setGeometry(geometry);
      break;
    case Property::Height:
      geometry.setHeight(change.number);
      widget->setGeometry(geometry);
      break;
    case Property::Checked:
      if (auto* box = qobject_cast<QCheckBox*>(widget)) box->setChecked(change.number != 0);
      break;
    case Property::Items:
      if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        combo->clear();
        for (const ComboItem& item : change.items) combo->addItem(FromGbk(item.text), item.value);
      }
      break;
    case Property::SelectedIndex:
      if (auto* combo = qobject_cast<QComboBox*>(widget)) combo->setCurrentIndex(change.number);
      break;
    case Property::SelectionStart:
      if (qobject_cast<QPlainTextEdit*>(widget)) {
        PlaceResultCaret();
      } else if (auto* line = qobject_cast<QLineEdit*>(widget)) {
        line->setCursorPosition(CharacterAtBytePosition(line->text(), change.number));
      }
      break;
  }
  applyingModel_ = outer;
}

// The model moves the caret only when told to; text set or appended leaves it
// where the model has it, so the box keeps showing what the caret shows.
void MainWindow::PlaceResultCaret() {
  auto* editor = static_cast<QPlainTextEdit*>(ControlWidget(Control::编辑框1));
  const int bytes = model_.SelectionStart(Control::编辑框1);
  const int position = bytes <= 0 ? 0 : CharacterAtBytePosition(editor->toPlainText(), bytes);
  QTextCursor cursor(editor->document());
  cursor.setPosition(std::min(position, editor->document()->characterCount() - 1));
  editor->setTextCursor(cursor);
  editor->ensureCursorVisible();
}

void MainWindow::OnAddressTextChanged() {
  model_.SetVisible(Control::图形按钮1, !model_.GetText(Control::编辑框2).empty());
}

void MainWindow::OnClearClicked() {
  model_.SetVisible(Control::图形按钮1, false);
  model_.SetText(Control::编辑框2, "");
  ControlWidget(Control::编辑框2)->setFocus(Qt::OtherFocusReason);
}

void MainWindow::OnExtractStopClicked() { ClickExtractButton(context_); }

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ControlWidget(Control::编辑框1) && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers held = key->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier |
                                                           Qt::AltModifier | Qt::MetaModifier);
    if (key->key() == Qt::Key_A && held == Qt::ControlModifier) {
      static_cast<QPlainTextEdit*>(watched)->selectAll();
      return true;
    }
    // Qt would type the letter for Ctrl+Alt (taking it for AltGr); the
    // system's edit box does nothing with a Ctrl combination.
    if (key->key() == Qt::Key_A && (held & Qt::ControlModifier)) return true;
  }
  return QWidget::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  EndJobThreadsForExit(context_);
  if (closeAction_) closeAction_();
}

}  // namespace tessaly
