// The idle window: its controls as laid out at start-up and the handlers that
// need no job.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

// moc cannot read the controls' Chinese identifiers.
#ifndef Q_MOC_RUN
#include "job/job-state.h"
#include "support/codepage.h"
#include "ui/qt/main-window.h"
#include "ui/window-model.h"
#endif

using namespace tessaly;

namespace {

struct Fixture {
  JobState state;
  WindowModel model;
  JobContext context{state, model};
  std::unique_ptr<MainWindow> window;

  Fixture() {
    window = std::make_unique<MainWindow>(context);
    window->show();
    window->activateWindow();
  }
  ~Fixture() { window.reset(); }
  template <typename W>
  W* Widget(const char* name) {
    return window->findChild<W*>(QString::fromUtf8(name));
  }
};

QString TextOf(QWidget* widget) {
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* line = qobject_cast<QLineEdit*>(widget)) return line->text();
  if (auto* editor = qobject_cast<QPlainTextEdit*>(widget)) return editor->toPlainText();
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
  return {};
}

void TypeText(QWidget* widget, const QString& text) {
  for (QChar c : text)
    QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

}  // namespace

class WindowLayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void startUp_data();
  void startUp();
  void windowAndThreadBox();
  void fonts();
  void clearButton();
  void selectAllKey_data();
  void selectAllKey();
  void idleScreenshot();
};

void WindowLayoutTest::startUp_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("kind");
  QTest::addColumn<QRect>("geometry");
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("visible");
  QTest::addColumn<bool>("checked");
  QTest::addColumn<bool>("focusable");

  struct Row {
    const char* name;
    const char* kind;
    QRect geometry;
    const char* text;
    bool visible;
    bool checked;
    bool focusable;
  };
  const Row rows[] = {
      {"标签1", "QLabel", {16, 32, 80, 24}, "文库地址：", true, false, false},
      {"外形框1", "QFrame", {104, 29, 496, 30}, "", true, false, false},
      {"编辑框2", "QLineEdit", {112, 30, 456, 28}, "", true, false, true},
      {"图形按钮1", "QAbstractButton", {579, 38, 12, 12}, "", false, false, false},
      {"按钮1", "QPushButton", {608, 29, 80, 30}, "提取", true, false, true},
      {"标签5", "QLabel", {16, 75, 80, 24}, "相关设置：", true, false, false},
      {"组合框1", "QComboBox", {104, 72, 128, 28}, "", true, false, true},
      {"选择框1", "QCheckBox", {256, 80, 112, 24}, "删除空行", true, true, true},
      {"选择框2", "QCheckBox", {376, 80, 184, 24}, "删除每行首尾的空格", true, false, true},
      {"选择框3", "QCheckBox", {576, 80, 112, 24}, "提取图片", true, false, true},
      {"编辑框1", "QPlainTextEdit", {16, 120, 672, 424}, "爱生活，爱Kivo", true, false, true},
      {"外形框2", "QFrame", {16, 543, 672, 10}, "", true, false, false},
      {"标签2", "QLabel", {17, 544, 670, 8}, "", true, false, false},
      {"标签4", "QLabel", {144, 176, 80, 24}, "标签", false, false, false},
      {"标签3", "QLabel", {264, 168, 80, 40}, "标签", false, false, false},
      {"标签6", "QLabel", {8, 8, 80, 24}, "标签", false, false, false},
  };
  for (const Row& row : rows) {
    QTest::newRow(row.name) << QString::fromUtf8(row.name) << row.kind << row.geometry
                            << QString::fromUtf8(row.text) << row.visible << row.checked
                            << row.focusable;
  }
}

void WindowLayoutTest::startUp() {
  QFETCH(QString, name);
  QFETCH(QString, kind);
  QFETCH(QRect, geometry);
  QFETCH(QString, text);
  QFETCH(bool, visible);
  QFETCH(bool, checked);
  QFETCH(bool, focusable);

  Fixture f;
  QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
  const auto matches = f.window->findChildren<QWidget*>(name);
  QCOMPARE(matches.size(), 1);
  QWidget* widget = matches.front();
  QVERIFY2(widget->inherits(kind.toLatin1().constData()), widget->metaObject()->className());
  QCOMPARE(widget->geometry(), geometry);
  QCOMPARE(TextOf(widget), text);
  QCOMPARE(widget->isVisible(), visible);
  if (auto* box = qobject_cast<QCheckBox*>(widget)) QCOMPARE(box->isChecked(), checked);
  QCOMPARE(widget->focusPolicy() != Qt::NoFocus, focusable);
  QVERIFY(widget->isEnabled());
}

void WindowLayoutTest::windowAndThreadBox() {
  Fixture f;
  QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
  QCOMPARE(f.window->objectName(), QStringLiteral("窗口"));
  QCOMPARE(f.window->windowTitle(), QStringLiteral("Tessaly  1.3"));
  QCOMPARE(f.window->size(), QSize(693, 561));
  QCOMPARE(f.window->minimumSize(), f.window->maximumSize());
  QCOMPARE(f.window->pos(), QPoint(50, 50));

  auto* threads = f.Widget<QComboBox>("组合框1");
  QCOMPARE(threads->count(), 20);
  for (int i = 0; i < 20; ++i) {
    QCOMPARE(threads->itemText(i), QStringLiteral("线程数：") + QString::number(i + 1));
    QCOMPARE(threads->itemData(i).toInt(), i + 1);
  }
  QCOMPARE(threads->currentIndex(), 4);
  QCOMPARE(threads->currentText(), QStringLiteral("线程数：5"));
  QCOMPARE(f.model.SelectedItemValue(Control::组合框1), 5);
  QCOMPARE(QApplication::focusWidget(), f.Widget<QWidget>("编辑框2"));

  // Idle: a full green progress bar inside its frame, overlays hidden.
  auto* fill = f.Widget<QLabel>("标签2");
  QCOMPARE(fill->width(), f.Widget<QFrame>("外形框2")->width() - 2);
  QCOMPARE(fill->palette().color(fill->backgroundRole()), QColor(0, 255, 0));
  QVERIFY(fill->autoFillBackground());
  QCOMPARE(f.Widget<QPushButton>("按钮1")->text(), QStringLiteral("提取"));

  for (const char* overlay : {"标签4", "标签3", "标签6"}) {
    QCOMPARE(f.Widget<QLabel>(overlay)->alignment(), Qt::AlignCenter);
  }
  for (const char* caption : {"标签1", "标签5"}) {
    QCOMPARE(f.Widget<QLabel>(caption)->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
  }
  QCOMPARE(f.Widget<QWidget>("图形按钮1")->cursor().shape(), Qt::PointingHandCursor);
  QVERIFY(!f.window->windowIcon().isNull());
}

void WindowLayoutTest::fonts() {
  Fixture f;
  const QStringList cjkFamilies = {"Microsoft YaHei", "Noto Sans CJK SC", "Source Han Sans SC",
                                   "WenQuanYi Micro Hei"};
  for (Control control : kAllControls) {
    QWidget* widget = f.window->ControlWidget(control);
    const bool overlay =
        control == Control::标签4 || control == Control::标签3 || control == Control::标签6;
    QCOMPARE(widget->font().family(), QStringLiteral("微软雅黑"));
    QCOMPARE(widget->font().pixelSize(), overlay ? 20 : 15);
    QCOMPARE(widget->font().weight(), QFont::Normal);
    const QString resolved = QFontInfo(widget->font()).family();
    QVERIFY2(cjkFamilies.contains(resolved), qPrintable(resolved));
  }
}

void WindowLayoutTest::clearButton() {
  Fixture f;
  QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
  auto* address = f.Widget<QLineEdit>("编辑框2");
  auto* clear = f.Widget<QAbstractButton>("图形按钮1");

  TypeText(address, QStringLiteral("文库"));
  QCOMPARE(address->text(), QStringLiteral("文库"));
  QCOMPARE(f.model.GetText(Control::编辑框2), Utf8ToGbk("文库"));
  QVERIFY(clear->isVisible());
  QVERIFY(f.model.IsVisible(Control::图形按钮1));

  // Deleting the text by hand hides it as well.
  QTest::keyClick(address, Qt::Key_Backspace);
  QVERIFY(clear->isVisible());
  QTest::keyClick(address, Qt::Key_Backspace);
  QVERIFY(!clear->isVisible());

  TypeText(address, QStringLiteral("https://x/y"));
  QVERIFY(clear->isVisible());
  f.Widget<QWidget>("按钮1")->setFocus();
  QTest::mouseClick(clear, Qt::LeftButton, {}, QPoint(6, 6));
  QVERIFY(!clear->isVisible());
  QVERIFY(!f.model.IsVisible(Control::图形按钮1));
  QCOMPARE(address->text(), QString());
  QCOMPARE(f.model.GetText(Control::编辑框2), Text());
  QCOMPARE(QApplication::focusWidget(), address);
  TypeText(address, QStringLiteral("z"));
  QCOMPARE(address->text(), QStringLiteral("z"));
}

void WindowLayoutTest::selectAllKey_data() {
  QTest::addColumn<int>("modifiers");
  QTest::addColumn<bool>("selects");
  QTest::newRow("Ctrl") << int(Qt::ControlModifier) << true;
  QTest::newRow("Ctrl+Shift") << int(Qt::ControlModifier | Qt::ShiftModifier) << false;
  QTest::newRow("Ctrl+Alt") << int(Qt::ControlModifier | Qt::AltModifier) << false;
}

void WindowLayoutTest::selectAllKey() {
  QFETCH(int, modifiers);
  QFETCH(bool, selects);
  Fixture f;
  QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
  auto* result = f.Widget<QPlainTextEdit>("编辑框1");
  f.model.SetText(Control::编辑框1, Utf8ToGbk("第一行\r\n第二行"));
  QCOMPARE(result->toPlainText(), QStringLiteral("第一行\n第二行"));
  result->setFocus();
  f.model.SetSelectionStart(Control::编辑框1, 0);
  QVERIFY(!result->textCursor().hasSelection());

  QTest::keyClick(result, Qt::Key_A, Qt::KeyboardModifiers(modifiers));
  const QString selected = result->textCursor().selectedText();
  QCOMPARE(selected, selects ? QStringLiteral("第一行\u2029第二行") : QString());
  QCOMPARE(result->toPlainText(), QStringLiteral("第一行\n第二行"));
  QCOMPARE(f.model.GetText(Control::编辑框1), Utf8ToGbk("第一行\r\n第二行"));
}

void WindowLayoutTest::idleScreenshot() {
  Fixture f;
  QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
  const QImage shot = f.window->grab().toImage();
  QCOMPARE(shot.size(), QSize(693, 561));
  // The full bar is drawn green where the model puts it.
  QCOMPARE(shot.pixelColor(300, 547), QColor(0, 255, 0));
  QVERIFY(shot.save(QStringLiteral(TESSALY_SCREENSHOT_DIR "/window-idle.png")));
}

QTEST_MAIN(WindowLayoutTest)
#include "window-layout-test.moc"
