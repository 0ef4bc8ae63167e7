// The memory release through the real controller, with stand-ins for the
// purge tool: one the test holds and lets go (ending well or with a failure,
// changing the page counters on its way out), one that is missing and one
// that cannot be executed.

#include "WorkFixture.h"

#include "core/MemoryText.h"
#include "core/PageCounters.h"
#include "core/SizeText.h"
#include "core/Platform.h"
#include "core/VmStatParse.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace headroom;
using namespace headroom::test;

namespace {

const QByteArray kBefore = "nr_free_pages 100000\nnr_active_anon 300000\nnr_active_file 200000\n"
                           "nr_inactive_anon 150000\nnr_inactive_file 150000\nnr_unevictable 2000\n"
                           "pgfault 1\npgactivate 1\npgpgin 4\npgpgout 4\n";
const QByteArray kAfter = "nr_free_pages 600000\nnr_active_anon 100000\nnr_active_file 50000\n"
                          "nr_inactive_anon 50000\nnr_inactive_file 100000\nnr_unevictable 2000\n"
                          "pgfault 2\npgactivate 2\npgpgin 8\npgpgout 8\n";

const QStringList kStart{"tab.last", "releaseProgress.shown", "releaseProgress.start", "releaseProgressBox.shown",
                         "releaseButton.disabled"};
// A release ends with its report, after every restoring step.
const QStringList kEnd{"memory.refresh", "releaseProgress.stop", "releaseProgress.hidden", "releaseProgressBox.hidden",
                       "releaseButton.enabled", "notify"};
// Free pages in kBefore and kAfter.
constexpr std::uint64_t kFreePagesGained = 600000 - 100000;

QString helper(const char* name)
{
    return QStringLiteral(HEADROOM_TEST_HELPERS "/") + QLatin1String(name);
}

int lineCount(const QString& path)
{
    return static_cast<int>(readAll(path).count('\n'));
}

} // namespace

class TestRelease : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void releaseShowsASampleTakenAfterTheTool_data();
    void releaseShowsASampleTakenAfterTheTool();
    void toolThatCannotStartStillEndsTheRelease_data();
    void toolThatCannotStartStillEndsTheRelease();
    void hiddenApplicationIsUnhiddenFirst();
    void secondReleaseWhileOneRunsIsRefused();
    void quitDuringReleaseWaitsForTheToolAndShowsNothing();

private:
    AppDelegate* launch();
    QString line1For(const QByteArray& vmstat) const
    {
        return QString::fromStdString(memoryStatusLine1(StringTable::lookup(strings_),
                                                        memoryFigures(*parseProcVmstat(vmstat.toStdString()))));
    }
    QString tmp(const char* name) const { return dir_->filePath(QLatin1String(name)); }
    void openToolGate() { QVERIFY(writeBytes(tmp("gate"), 1)); }
    void mark(const QString& marker) { trace_->steps << marker; }

    std::shared_ptr<const StringTable> strings_ = StringTable::forLocale(QLocale(QLocale::English));
    std::shared_ptr<PromptLog> log_;
    std::shared_ptr<FixedFigures> figures_;
    std::shared_ptr<Trace> trace_;
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<AppDelegate> d_;
};

void TestRelease::init()
{
    log_ = std::make_shared<PromptLog>();
    figures_ = std::make_shared<FixedFigures>();
    trace_ = std::make_shared<Trace>();
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    log_->folders = {dir_->path()};

    QVERIFY(writeBytes(tmp("vmstat"), 0));
    QFile before(tmp("vmstat"));
    QVERIFY(before.open(QIODevice::WriteOnly) && before.write(kBefore) == kBefore.size());
    before.close();
    QFile after(tmp("vmstat-after"));
    QVERIFY(after.open(QIODevice::WriteOnly) && after.write(kAfter) == kAfter.size());
    after.close();
    QVERIFY(line1For(kBefore) != line1For(kAfter));
    platform::setVmstatPathForTesting(QFile::encodeName(tmp("vmstat")).toStdString());

    // Read by the stand-in, which inherits the environment.
    qputenv("HEADROOM_TEST_GATE", QFile::encodeName(tmp("gate")));
    qputenv("HEADROOM_TEST_VMSTAT", QFile::encodeName(tmp("vmstat")));
    qputenv("HEADROOM_TEST_VMSTAT_AFTER", QFile::encodeName(tmp("vmstat-after")));
    qputenv("HEADROOM_TEST_STARTS", QFile::encodeName(tmp("starts")));
    qputenv("HEADROOM_TEST_ENDS", QFile::encodeName(tmp("ends")));
    qunsetenv("HEADROOM_TEST_STATUS");
    platform::setPurgeToolPathForTesting(QFile::encodeName(helper("purge-waits-for-gate.sh")).toStdString());
}

void TestRelease::cleanup()
{
    // A stand-in still waiting must end before the controller waits for it.
    writeBytes(tmp("gate"), 1);
    d_.reset();
    platform::setPurgeToolPathForTesting({});
    platform::setVmstatPathForTesting({});
}

AppDelegate* TestRelease::launch()
{
    AppEnvironment env = workEnvironment(strings_, log_, figures_, trace_, std::make_shared<RowGate>());
    env.figures.vmStat = &vm_stat; // the file the stand-in rewrites
    d_ = std::make_unique<AppDelegate>(std::move(env));
    d_->applicationDidFinishLaunching();
    return d_.get();
}

void TestRelease::releaseShowsASampleTakenAfterTheTool_data()
{
    QTest::addColumn<int>("status");
    QTest::newRow("tool succeeds") << 0;
    QTest::newRow("tool fails") << 5;
}

void TestRelease::releaseShowsASampleTakenAfterTheTool()
{
    QFETCH(int, status);
    qputenv("HEADROOM_TEST_STATUS", QByteArray::number(status));
    figures_->tray = true;
    auto* d = launch();
    const QString lineBefore = d->memoryStatusItem1()->text();
    QCOMPARE(lineBefore, line1For(kBefore));
    QVERIFY(!d->window()->isVisible());

    // The window as the refresh leaves it: new figures, the release still
    // under way.
    QString lineAtRefresh;
    bool buttonEnabledAtRefresh = true;
    bool spinningAtRefresh = false;
    trace_->onStep = [&](const QString& step) {
        if (step != QLatin1String("memory.refresh"))
            return;
        lineAtRefresh = d->memoryStatusItem1()->text();
        buttonEnabledAtRefresh = d->releaseButton()->isEnabled();
        spinningAtRefresh = d->releaseMemProgressIndicator()->maximum() == 0
            && !d->releaseMemProgressIndicatorBox()->isHidden();
    };

    mark("request");
    d->releaseItem()->trigger();
    QTRY_COMPARE(lineCount(tmp("starts")), 1);

    // The tool is running: spinner on, button off, old figures.
    QCOMPARE(trace_->after("request"), kStart);
    QVERIFY(!d->releaseMemProgressIndicator()->isHidden());
    QCOMPARE(d->releaseMemProgressIndicator()->maximum(), 0);
    QVERIFY(!d->releaseMemProgressIndicatorBox()->isHidden());
    QVERIFY(!d->releaseButton()->isEnabled());
    QVERIFY(d->releaseItem()->isEnabled());
    QCOMPARE(d->memoryStatusItem1()->text(), lineBefore);
    QVERIFY(!d->lastPurgeStatus());

    openToolGate();
    QTRY_VERIFY(d->releaseButton()->isEnabled());
    QCOMPARE(trace_->after("request"), kStart + kEnd);
    QCOMPARE(lineAtRefresh, line1For(kAfter));
    QVERIFY(!buttonEnabledAtRefresh);
    QVERIFY(spinningAtRefresh);
    QCOMPARE(d->memoryStatusItem1()->text(), line1For(kAfter));
    QCOMPARE(d->lastPurgeStatus().value_or(-999), status);
    // What the cache gave back, from the samples either side of the tool;
    // a failed tool frees nothing whatever the counters did.
    QCOMPARE(d->lastReport(), status == 0 ? d->L("Release Freed")
                                     + QString::fromStdString(convertBytes(kFreePagesGained * kPageSize))
                                                : d->L("Release Failed"));
    QVERIFY(!d->reportLabel()->isVisibleTo(d->window())); // the tray showed it
    QVERIFY(d->releaseMemProgressIndicator()->isHidden());
    QCOMPARE(d->releaseMemProgressIndicator()->maximum(), 1);
    QVERIFY(d->releaseMemProgressIndicatorBox()->isHidden());
    QVERIFY(!d->isReleaseRunning());
    // A release does not bring the window forward.
    QVERIFY(!d->window()->isVisible());
}

void TestRelease::toolThatCannotStartStillEndsTheRelease_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<bool>("createPlainFile");
    QTest::newRow("missing") << QStringLiteral("no-such-tool") << false;
    QTest::newRow("not executable") << QStringLiteral("plain-file") << true;
}

void TestRelease::toolThatCannotStartStillEndsTheRelease()
{
    QFETCH(QString, tool);
    QFETCH(bool, createPlainFile);
    const QString path = dir_->filePath(tool);
    if (createPlainFile) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\nexit 0\n");
        file.close();
        QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    }
    platform::setPurgeToolPathForTesting(QFile::encodeName(path).toStdString());
    auto* d = launch();
    // The tool cannot change them, so the test does: the refresh must show it.
    QVERIFY(QFile::remove(tmp("vmstat")) && QFile::copy(tmp("vmstat-after"), tmp("vmstat")));

    mark("request");
    d->releaseButton()->click();
    QTRY_VERIFY(!d->isReleaseRunning());
    QCOMPARE(trace_->after("request"), kStart + kEnd);
    QCOMPARE(d->lastPurgeStatus().value_or(-999), -1);
    QCOMPARE(d->memoryStatusItem1()->text(), line1For(kAfter));
    // No tray here: the report is in the window, and says nothing was freed
    // although the free pages grew.
    QCOMPARE(d->lastReport(), d->L("Release Failed"));
    QVERIFY(d->reportLabel()->isVisibleTo(d->window()));
    QCOMPARE(d->reportLabel()->text(), d->L("Release Failed"));
    QVERIFY(d->releaseButton()->isEnabled());
    QVERIFY(d->releaseMemProgressIndicatorBox()->isHidden());
}

void TestRelease::hiddenApplicationIsUnhiddenFirst()
{
    figures_->tray = true;
    auto* d = launch();
    d->showAction(nullptr);
    d->hideApplication();
    QVERIFY(!d->window()->isVisible());

    mark("request");
    d->releaseItem()->trigger();
    QCOMPARE(trace_->after("request"), QStringList{"application.unhide"} + kStart);
    QVERIFY(d->window()->isVisible());
    openToolGate();
    QTRY_VERIFY(!d->isReleaseRunning());
}

void TestRelease::secondReleaseWhileOneRunsIsRefused()
{
    auto* d = launch();
    mark("request");
    d->releaseItem()->trigger();
    QTRY_COMPARE(lineCount(tmp("starts")), 1);
    d->releaseItem()->trigger();
    QCOMPARE(trace_->steps.last(), QStringLiteral("refused.release"));
    openToolGate();
    QTRY_VERIFY(!d->isReleaseRunning());
    QCoreApplication::processEvents();
    QCOMPARE(lineCount(tmp("starts")), 1);
    QCOMPARE(trace_->after("request").count(QStringLiteral("releaseButton.enabled")), qsizetype(1));

    // After the first has ended, the next is taken.
    d->releaseItem()->trigger();
    QTRY_VERIFY(!d->isReleaseRunning());
    QCOMPARE(lineCount(tmp("starts")), 2);
}

void TestRelease::quitDuringReleaseWaitsForTheToolAndShowsNothing()
{
    figures_->tray = true;
    auto* d = launch();
    QSignalSpy quit(d, &AppDelegate::quitRequested);
    const QString lineBefore = d->memoryStatusItem1()->text();
    d->releaseItem()->trigger();
    QTRY_COMPARE(lineCount(tmp("starts")), 1);

    mark("quit");
    d->exitItem()->trigger();
    QCOMPARE(quit.count(), 1);
    QVERIFY(!d->statusItem()->isVisible());
    QVERIFY(!d->window()->isVisible());
    QCOMPARE(lineCount(tmp("ends")), 0);

    openToolGate();
    d_.reset(); // returns only once the worker, and so the tool, has ended
    QCOMPARE(lineCount(tmp("ends")), 1);
    QCoreApplication::processEvents();
    QCOMPARE(trace_->after("quit"), QStringList());
}

QTEST_MAIN(TestRelease)
#include "test_release.moc"
