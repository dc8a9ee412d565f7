// Jobs through the real window against the local document service: the window
// is driven by clicks and keys and read back from its widgets.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

// moc cannot read the controls' Chinese identifiers.
#ifndef Q_MOC_RUN
#include "doc-service.h"
#include "file-server.h"
#include "job/job-gate.h"
#include "job/job-state.h"
#include "support/codepage.h"
#include "support/file-system.h"
#include "ui/extract-button.h"
#include "ui/qt/main-window.h"
#include "ui/window-model.h"
#include "web/web-settings.h"
#endif

using namespace tessaly;
using namespace std::chrono_literals;

namespace {

constexpr int kJobTimeoutMs = 60000;

// Runs the real event loop until `done` holds; QTest's waits sleep between
// passes, which would hide or add stalls.
template <typename Predicate>
bool RunLoopUntil(Predicate done, int timeoutMs) {
  if (done()) return true;
  QEventLoop loop;
  QTimer check;
  check.setInterval(5);
  QObject::connect(&check, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
  check.start();
  loop.exec();
  return done();
}

double LoadAverage() {
  double load = 0;
  return getloadavg(&load, 1) == 1 ? load : -1;
}

QString FromGbk(const std::string& gbk) { return QString::fromStdString(GbkToUtf8(gbk)); }
QString EditorText(const std::string& gbk) {
  return FromGbk(gbk).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

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
  ~Fixture() {
    // Leave no job thread behind the state it uses.
    RequestJobStop(state);
    WaitForJobThread(context);
    window.reset();
  }
  template <typename W = QWidget>
  W* Widget(Control control) const {
    return static_cast<W*>(window->ControlWidget(control));
  }
  QPushButton* Button() const { return Widget<QPushButton>(Control::按钮1); }
  QPlainTextEdit* Result() const { return Widget<QPlainTextEdit>(Control::编辑框1); }

  void Start(const std::string& address, int threads) {
    auto* edit = Widget<QLineEdit>(Control::编辑框2);
    QTest::keyClicks(edit, QString::fromStdString(address));
    Widget<QComboBox>(Control::组合框1)->setCurrentIndex(threads - 1);
    QTest::mouseClick(Button(), Qt::LeftButton);
  }
  bool WaitIdle() const {
    return RunLoopUntil(
        [&] { return Button()->text() == QStringLiteral("提取") && Button()->isEnabled(); },
        kJobTimeoutMs);
  }
};

// The look of an idle window after a job.
void VerifyIdle(const Fixture& f) {
  // Changes queued ahead of the reset reach the widgets on the next loop pass.
  QTRY_COMPARE_WITH_TIMEOUT(f.Button()->text(), QStringLiteral("提取"), 1000);
  QVERIFY(f.Button()->isEnabled());
  QVERIFY(!f.Widget(Control::标签4)->isVisible());
  QVERIFY(!f.Widget(Control::标签3)->isVisible());
  QVERIFY(!f.Widget(Control::标签6)->isVisible());
  QCOMPARE(f.Widget(Control::标签2)->geometry(), QRect(17, 544, 670, 8));
}

// Points TESSALY_OPEN_COMMAND at a script that writes the path it was given
// into `log`, complete or not at all.
bool InstallOpener(const QTemporaryDir& scratch, const QString& log) {
  const QString opener = scratch.filePath(QStringLiteral("opener.sh"));
  QFile script(opener);
  if (!script.open(QIODevice::WriteOnly)) return false;
  const QByteArray target = log.toUtf8();
  script.write("#!/bin/sh\nprintf '%s' \"$1\" > \"" + target + ".part\" && mv \"" + target +
               ".part\" \"" + target + "\"\n");
  script.close();
  if (!script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) return false;
  qputenv("TESSALY_OPEN_COMMAND", opener.toLocal8Bit());
  return true;
}

int ContentRequests(sim::DocService& service, const std::string& id) {
  const std::string prefix = "/sim/content/" + id + "/";
  const auto requests = service.Requests();
  return static_cast<int>(
      std::count_if(requests.begin(), requests.end(),
                    [&](const sim::RecordedRequest& r) { return r.Path().rfind(prefix, 0) == 0; }));
}

// The widest gap between ticks of a fast timer: how long the window's event
// loop did not run. On a loaded machine a gap also holds time the thread was
// not scheduled, so the CPU time the window's thread spent inside each gap is
// kept as well: that part is the window's own doing.
class StallMeter {
 public:
  StallMeter() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(1);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    lastWall_ = WallNs();
    lastCpu_ = ThreadCpuNs();
    timer_.start();
  }
  double WorstWallMs() const { return static_cast<double>(worstWall_) / 1e6; }
  double WorstBusyMs() const { return static_cast<double>(worstCpu_) / 1e6; }
  int Ticks() const { return ticks_; }

 private:
  static qint64 WallNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
  }
  static qint64 ThreadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
  }
  void Tick() {
    const qint64 wall = WallNs();
    const qint64 cpu = ThreadCpuNs();
    worstWall_ = std::max(worstWall_, wall - lastWall_);
    worstCpu_ = std::max(worstCpu_, cpu - lastCpu_);
    lastWall_ = wall;
    lastCpu_ = cpu;
    ++ticks_;
  }

  QTimer timer_;
  qint64 lastWall_ = 0, lastCpu_ = 0;
  qint64 worstWall_ = 0, worstCpu_ = 0;
  int ticks_ = 0;
};

}  // namespace

class WindowJobTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanupTestCase();
  void cleanup() { qunsetenv("TESSALY_OPEN_COMMAND"); }
  void stopWhileViewPageIsFetched();
  void pagedDocument_data();
  void pagedDocument();
  void failedProbeAfterMessageBox();
  void slideInstructions();
  void stopDuringBusyWorkers();
  void staysResponsiveWithTwentyWorkers();
  void imagesFolderOpened();
  void runningScreenshot();
  void textDocumentDownloaded();
  void closeEndsJobWithoutWaiting();
  void programStarts();

 private:
  sim::DocService service_;
  QTemporaryDir programDir_;
};

void WindowJobTest::initTestCase() {
  QVERIFY(programDir_.isValid());
  QVERIFY(service_.Start());
  qputenv("TESSALY_CONNECT_TO", QByteArray::fromStdString(service_.ConnectTo()));
  qputenv("TESSALY_CA_BUNDLE", QByteArray::fromStdString(service_.CaBundlePath()));
  ReloadWebSettingsForTesting();
  SetProgramDirectory(Utf8ToGbk(programDir_.path().toStdString()));
}

void WindowJobTest::cleanupTestCase() {
  SetProgramDirectory("");
  service_.Stop();
}

void WindowJobTest::stopWhileViewPageIsFetched() {
  sim::SimDocument document = sim::GeneratedDocument("slowview", 3);
  document.latency = 1500ms;
  service_.AddDocument(document);
  service_.ClearRequests();

  Fixture f;
  QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
  QElapsedTimer clock;
  clock.start();
  f.Start(sim::DocService::ViewAddress("slowview"), 5);
  // The caption turns before the page can have been answered.
  QCOMPARE(f.Button()->text(), QStringLiteral("停止"));
  QVERIFY(clock.elapsed() < 1500);

  QVERIFY(service_.Server().WaitForRequests(1, 5s));
  QTRY_VERIFY(f.Widget(Control::标签4)->isVisible());
  QCOMPARE(f.Result()->toPlainText(), QString());
  clock.restart();
  QTest::mouseClick(f.Button(), Qt::LeftButton);
  QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
  VerifyIdle(f);

  // The answer that comes later changes nothing.
  QTest::qWait(1800);
  QCOMPARE(f.Result()->toPlainText(), QString());
  QCOMPARE(ContentRequests(service_, "slowview"), 0);
  VerifyIdle(f);
}

void WindowJobTest::pagedDocument_data() {
  QTest::addColumn<QString>("id");
  QTest::addColumn<int>("pages");
  QTest::addColumn<int>("threads");
  QTest::addColumn<bool>("trim");
  QTest::newRow("12 pages, 5 threads") << "gen12" << 12 << 5 << false;
  QTest::newRow("3 pages, 20 threads, trimmed") << "gen3" << 3 << 20 << true;
}

void WindowJobTest::pagedDocument() {
  QFETCH(QString, id);
  QFETCH(int, pages);
  QFETCH(int, threads);
  QFETCH(bool, trim);
  service_.ClearRequests();

  Fixture f;
  QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
  if (trim) QTest::mouseClick(f.Widget(Control::选择框2), Qt::LeftButton, {}, QPoint(8, 12));
  QCOMPARE(f.model.IsChecked(Control::选择框2), trim);
  f.Start(sim::DocService::ViewAddress(id.toStdString()), threads);
  QVERIFY(f.WaitIdle());

  const std::string expected = sim::GeneratedDocumentText(id.toStdString(), pages, trim);
  QCOMPARE(f.model.GetText(Control::编辑框1), expected);
  QCOMPARE(f.Result()->toPlainText(), EditorText(expected));
  // Shown from its beginning.
  QCOMPARE(f.Result()->textCursor().position(), 0);
  QCOMPARE(f.Result()->verticalScrollBar()->value(), 0);
  if (pages >= 12) QVERIFY(f.Result()->verticalScrollBar()->maximum() > 0);
  VerifyIdle(f);
  QCOMPARE(ContentRequests(service_, id.toStdString()), pages);
}

void WindowJobTest::failedProbeAfterMessageBox() {
  sim::SimDocument document = sim::GeneratedDocument("refused", 2);
  document.viewFault = sim::Fault::kNotFound;
  service_.AddDocument(document);

  Fixture f;
  QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
  struct Seen {
    QString text, title, resultWhileOpen;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    bool modal = false;
    int ticksWhileOpen = 0;
  } seen;
  QElapsedTimer open;
  QTimer answer;
  answer.setInterval(20);
  QObject::connect(&answer, &QTimer::timeout, [&] {
    QMessageBox* box = f.window->OpenMessageBox();
    if (!box || !box->isVisible()) return;
    if (!open.isValid()) {
      open.start();
      seen.text = box->text();
      seen.title = box->windowTitle();
      seen.icon = box->icon();
      seen.buttons = box->standardButtons();
      seen.modal = box->isModal();
    }
    ++seen.ticksWhileOpen;  // the window's loop runs while the box is up
    if (open.elapsed() < 400) return;
    seen.resultWhileOpen = f.Result()->toPlainText();
    box->button(QMessageBox::Ok)->click();
  });
  answer.start();

  f.Start(sim::DocService::ViewAddress("refused"), 5);
  QVERIFY(f.WaitIdle());
  answer.stop();

  QCOMPARE(seen.text, QStringLiteral("提取失败"));
  QCOMPARE(seen.title, QStringLiteral("温馨提示："));
  QCOMPARE(seen.icon, QMessageBox::Information);
  QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  QVERIFY(seen.modal);
  QVERIFY(seen.ticksWhileOpen >= 10);
  // The job waited for the answer before writing its result.
  QCOMPARE(seen.resultWhileOpen, QString());
  QCOMPARE(f.Result()->toPlainText(), QStringLiteral("提取失败"));
  QCOMPARE(f.window->OpenMessageBox(), nullptr);
  VerifyIdle(f);
}

void WindowJobTest::slideInstructions() {
  sim::SimDocument document = sim::GeneratedDocument("slide42", 4);
  document.docType = "ppt";
  service_.AddDocument(document);

  Fixture f;
  QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
  f.Start(sim::DocService::ViewAddress("slide42"), 5);
  QVERIFY(f.WaitIdle());

  const QString request =
      QStringLiteral("http://" TESSALY_SERVICE_HOST "/browse/getrequest?doc_id=slide42");
  const QString expected =
      QStringLiteral("下载地址（请自行下载）：\n\n格式：") + request +
      QStringLiteral("&rn=每页显示数量&pn=从第几页开始获取\n\n例如：") + request +
      QStringLiteral(
          "&rn=10&pn=153\n\n说明：复制到浏览器即可下载，下载到本地的是.swf文件，"
          "想转换成pdf或者word的，百度一下，工具都有");
  QCOMPARE(f.Result()->toPlainText(), expected);
  QCOMPARE(f.Result()->textCursor().position(), 0);
  QVERIFY(!f.Result()->textCursor().hasSelection());
  QCOMPARE(f.Result()->verticalScrollBar()->value(), 0);
  VerifyIdle(f);
}

void WindowJobTest::stopDuringBusyWorkers() {
  sim::SimDocument document = sim::GeneratedDocument("busy", 30);
  for (auto& page : document.pages) {
    page.slowAnswers = 1;
    page.slowDelay = 1500ms;
  }
  service_.AddDocument(document);
  service_.ClearRequests();

  Fixture f;
  QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
  // When the overlay goes, no worker may still be on a page.
  std::atomic<int> workersWhenOverlayHid{-1};
  const int observer = f.model.AddObserver([&](const ControlChange& change) {
    if (change.control == Control::标签6 && change.property == Property::Visible &&
        change.number == 0) {
      workersWhenOverlayHid = f.state.ActiveWorkerCount.load();
    }
  });

  f.Start(sim::DocService::ViewAddress("busy"), 5);
  QTRY_COMPARE_WITH_TIMEOUT(ContentRequests(service_, "busy"), 5, 10000);

  auto* overlay = f.Widget<QLabel>(Control::标签6);
  int samples = 0;
  QStringList faults;
  QTimer sampler;
  sampler.setInterval(10);
  QObject::connect(&sampler, &QTimer::timeout, [&] {
    if (f.Button()->isEnabled()) return;  // the stop has not begun or is over
    ++samples;
    if (!overlay->isVisible()) faults << "hidden";
    if (overlay->text() != QStringLiteral("正在停止...")) faults << overlay->text();
    if (overlay->geometry() != QRect(16, 120, 672, 434)) faults << "moved";
    // It lies over the result box and over the progress bar.
    for (QPoint p : {QPoint(20, 125), QPoint(350, 330), QPoint(680, 540), QPoint(300, 547)}) {
      if (f.window->childAt(p) != overlay)
        faults << QStringLiteral("not on top at %1,%2").arg(p.x()).arg(p.y());
    }
  });
  sampler.start();
  QElapsedTimer clock;
  clock.start();
  QTest::mouseClick(f.Button(), Qt::LeftButton);  // StopJob runs inside
  const qint64 stopMs = clock.elapsed();
  sampler.stop();
  f.model.RemoveObserver(observer);

  QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));
  // The busy pages were answered 1.5 s after they were asked, less the time
  // the fifth request waited for the click.
  QVERIFY2(stopMs > 900, qPrintable(QString::number(stopMs)));
  QVERIFY2(samples >= 5, qPrintable(QString::number(samples)));
  QCOMPARE(workersWhenOverlayHid.load(), 0);
  VerifyIdle(f);
  QTest::qWait(300);
  QCOMPARE(ContentRequests(service_, "busy"), 5);
  VerifyIdle(f);
}

void WindowJobTest::staysResponsiveWithTwentyWorkers() {
  sim::SimDocument document = sim::GeneratedDocument("wide", 80);
  document.latency = 40ms;
  service_.AddDocument(document);
  service_.ClearRequests();

  Fixture f;
  QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
  f.Start(sim::DocService::ViewAddress("wide"), 20);
  StallMeter meter;
  QVERIFY(RunLoopUntil([&] { return ContentRequests(service_, "wide") >= 20; }, 10000));
  QVERIFY(f.WaitIdle());
  qInfo("worst event-loop stall with 20 workers: %.1f ms wall, %.1f ms busy, %d ticks; load %.2f",
        meter.WorstWallMs(), meter.WorstBusyMs(), meter.Ticks(), LoadAverage());
  QCOMPARE(f.model.GetText(Control::编辑框1), sim::GeneratedDocumentText("wide", 80, false));
  // The window's own work between two passes stays under 50 ms; the wall
  // figure also holds the scheduler's share on a shared machine, hence the
  // generous bound.
  QVERIFY2(meter.WorstBusyMs() < 50.0, qPrintable(QString::number(meter.WorstBusyMs())));
  QVERIFY2(meter.WorstWallMs() < 1000.0, qPrintable(QString::number(meter.WorstWallMs())));
}

void WindowJobTest::imagesFolderOpened() {
  QTemporaryDir scratch;
  QVERIFY(scratch.isValid());
  const QString log = scratch.filePath(QStringLiteral("opened.txt"));
  QVERIFY(InstallOpener(scratch, log));

  Fixture f;
  QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
  QTest::mouseClick(f.Widget(Control::选择框3), Qt::LeftButton, {}, QPoint(8, 12));
  QVERIFY(f.model.IsChecked(Control::选择框3));
  f.Start(sim::DocService::ViewAddress("gen3"), 5);
  QVERIFY(f.WaitIdle());
  QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(log), 10000);
  qunsetenv("TESSALY_OPEN_COMMAND");

  QFile opened(log);
  QVERIFY(opened.open(QIODevice::ReadOnly));
  const QString folder = QString::fromUtf8(opened.readAll());
  QCOMPARE(QDir::cleanPath(folder),
           QDir::cleanPath(programDir_.path() + QStringLiteral("/提取到的图片/生成的文档 gen3")));
  // Only the odd pages' pictures are large enough to keep.
  QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name), QStringList({"1.png", "2.png"}));
}

void WindowJobTest::runningScreenshot() {
  sim::SimDocument document = sim::GeneratedDocument("shot", 40);
  document.latency = 150ms;
  service_.AddDocument(document);

  Fixture f;
  QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
  f.Start(sim::DocService::ViewAddress("shot"), 5);
  auto* counter = f.Widget<QLabel>(Control::标签3);
  // Any page from the third on: a slow build can pass page 3 between two polls.
  const auto pagesShown = [counter] {
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^（第(\\d+)页/共40页）$")).match(counter->text());
    return m.hasMatch() ? m.captured(1).toInt() : 0;
  };
  QTRY_VERIFY_WITH_TIMEOUT(pagesShown() >= 3, 20000);
  const QImage shot = f.window->grab().toImage();
  QVERIFY(shot.save(QStringLiteral(TESSALY_SCREENSHOT_DIR "/window-running.png")));
  QVERIFY(f.Widget<QLabel>(Control::标签4)->text().startsWith(QStringLiteral("已提取：")));
  QVERIFY(f.Widget(Control::标签2)->width() < 670);
  QTest::mouseClick(f.Button(), Qt::LeftButton);
  VerifyIdle(f);
}

void WindowJobTest::textDocumentDownloaded() {
  sim::TestServer files(sim::TestServer::Options{true, false});
  QVERIFY(files.Start());
  sim::ServedFile served;
  for (int line = 1; line <= 4000; ++line)
    served.content += Utf8ToGbk("第" + std::to_string(line) + "行文字\r\n");
  auto replyState = std::make_shared<sim::FileReplyState>();
  // Slow ranges, so that the window can be seen during the download.
  files.Route("/files/x.txt", [served, replyState](const sim::RecordedRequest& request) {
    sim::ScriptedReply reply = sim::FileReply(served, *replyState, request);
    if (request.method == "GET") reply.delay = 300ms;
    return reply;
  });
  sim::SimDocument document;
  document.id = "plain1";
  document.title = Utf8ToGbk("报告");
  document.docType = "txt";
  document.textDocumentAddress = files.HttpBase() + "/files/x.txt";
  service_.AddDocument(document);

  QTemporaryDir scratch;
  QVERIFY(scratch.isValid());
  const QString log = scratch.filePath(QStringLiteral("opened.txt"));
  QVERIFY(InstallOpener(scratch, log));

  Fixture f;
  QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
  bool sawDisabled = false;
  QStringList statuses;
  QTimer sampler;
  sampler.setInterval(5);
  QObject::connect(&sampler, &QTimer::timeout, [&] {
    if (!f.Button()->isEnabled() && f.Button()->text() == QStringLiteral("停止"))
      sawDisabled = true;
    auto* status = f.Widget<QLabel>(Control::标签4);
    if (status->isVisible() && (statuses.isEmpty() || statuses.back() != status->text()))
      statuses << status->text();
  });
  sampler.start();
  f.Start(sim::DocService::ViewAddress("plain1"), 8);
  QVERIFY(f.WaitIdle());
  sampler.stop();
  QVERIFY(RunLoopUntil([&] { return QFile::exists(log); }, 10000));
  qunsetenv("TESSALY_OPEN_COMMAND");

  // The button could not be pressed while the file came in.
  QVERIFY(sawDisabled);
  QVERIFY2(statuses.filter(QRegularExpression(QStringLiteral("^已提取：\\d+%$"))).size() >= 1,
           qPrintable(statuses.join(QLatin1Char('|'))));
  const QString saved = programDir_.path() + QStringLiteral("/提取出的文件/报告.txt");
  QFile opened(log);
  QVERIFY(opened.open(QIODevice::ReadOnly));
  QCOMPARE(QDir::cleanPath(QString::fromUtf8(opened.readAll())), QDir::cleanPath(saved));
  QFile file(saved);
  QVERIFY(file.open(QIODevice::ReadOnly));
  QCOMPARE(file.readAll().toStdString(), served.content);
  QCOMPARE(f.Result()->toPlainText(), QString());
  VerifyIdle(f);
}

void WindowJobTest::closeEndsJobWithoutWaiting() {
  sim::SimDocument document = sim::GeneratedDocument("closing", 20);
  for (auto& page : document.pages) {
    page.slowAnswers = 1;
    page.slowDelay = 2000ms;
  }
  service_.AddDocument(document);
  service_.ClearRequests();

  Fixture f;
  QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
  int closes = 0;
  bool stopAskedAtClose = false;
  f.window->SetCloseAction([&] {
    ++closes;
    stopAskedAtClose = f.state.stopRequested.load();
  });
  f.Start(sim::DocService::ViewAddress("closing"), 5);
  QVERIFY(RunLoopUntil([&] { return ContentRequests(service_, "closing") >= 3; }, 10000));
  QVERIFY(f.state.ActiveWorkerCount.load() > 0);

  QElapsedTimer clock;
  clock.start();
  QVERIFY(f.window->close());
  QVERIFY2(clock.elapsed() < 200, qPrintable(QString::number(clock.elapsed())));
  QCOMPARE(closes, 1);
  QVERIFY(stopAskedAtClose);
  // The busy pages were still running when the close was done.
  QVERIFY(f.state.ActiveWorkerCount.load() > 0);
}

// The program itself comes up with its window and keeps running until ended.
void WindowJobTest::programStarts() {
#ifndef TESSALY_WINDOW_PROGRAM
  QSKIP("the window program is not part of this build");
#else
  QProcess program;
  program.setProcessChannelMode(QProcess::MergedChannels);
  program.start(QStringLiteral(TESSALY_WINDOW_PROGRAM), {});
  QVERIFY(program.waitForStarted(5000));
  QVERIFY(!program.waitForFinished(1500));
  QCOMPARE(program.state(), QProcess::Running);
  program.kill();  // the child started here, by its own handle
  QVERIFY(program.waitForFinished(5000));
  const QByteArray output = program.readAll();
  QVERIFY2(!output.contains("Cannot") && !output.contains("Could not"), output.constData());
#endif
}

QTEST_MAIN(WindowJobTest)
#include "window-job-test.moc"
