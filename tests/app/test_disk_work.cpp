// The junk scan and the junk clean through the real controller: the grant
// they need, the order of their interface changes, what they measure and
// remove in a temporary home, a second request while one runs, and quitting
// in the middle.

#include "WorkFixture.h"

#include "core/JunkLocations.h"
#include "core/SizeText.h"

#include <QAction>
#include <QCheckBox>
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

#include <unistd.h>

using namespace headroom;
using namespace headroom::test;

namespace {

enum Row : std::size_t { Caches, Logs, Downloads, MailDownloads, Trash };

QString sizeText(std::uint64_t bytes)
{
    return QString::fromStdString(convertBytes(bytes));
}

QString rowName(std::size_t row)
{
    return QString::fromLatin1(junkTable()[row].row.data(), static_cast<qsizetype>(junkTable()[row].row.size()));
}

QStringList titleSteps(std::initializer_list<std::size_t> rows)
{
    QStringList steps;
    for (std::size_t row : rows)
        steps << QStringLiteral("title.") + rowName(row);
    return steps;
}

const QStringList kScanStart{"progress.start", "progressBox.shown", "checkButton.disabled", "cleanButton.disabled",
                             "checkItem.disabled"};
const QStringList kCleanStart{"progress.start", "progressBox.shown", "checkButton.disabled", "cleanButton.disabled"};
const QStringList kScanEnd{"progress.stop", "progressBox.hidden", "checkButton.enabled", "cleanButton.enabled",
                           "checkItem.enabled"};
// A clean ends with its report, after every closing step.
const QStringList kCleanEnd{"progress.stop", "progressBox.hidden", "checkButton.enabled", "cleanButton.enabled",
                            "notify"};
const QStringList kForward{"application.activate", "window.front", "tab.first"};

} // namespace

class TestDiskWork : public QObject, protected WorkFixture {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void withoutGrantAlertThenGrantAndNoWork_data();
    void withoutGrantAlertThenGrantAndNoWork();

    void scanWritesCheckedRowsInOrder_data();
    void scanWritesCheckedRowsInOrder();
    void scanWithNoBoxCheckedOnlyEnds();
    void boxChangedDuringScanCountsForRowsNotYetReached();
    void scanUsesTheFolderGrantedWhenItStarted();

    void cleanRemovesExactlyTheCheckedLocations();
    void boxChangedDuringCleanCountsForRowsNotYetReached();
    void cleanReportsWhatTheVolumeGained_data();
    void cleanReportsWhatTheVolumeGained();

    void secondRequestWhileOneRunsIsRefused_data();
    void secondRequestWhileOneRunsIsRefused();

    void quitInTheMiddleStopsAndShowsNothing_data();
    void quitInTheMiddleStopsAndShowsNothing();

private:
    AppDelegate* launch();
    QString location(std::size_t row) const
    {
        const std::string_view relative = junkTable()[row].relativePath;
        return home_->path() + QLatin1Char('/')
            + QString::fromUtf8(relative.data(), static_cast<qsizetype>(relative.size()));
    }
    QString title(std::size_t row, std::uint64_t bytes) const
    {
        const QString label = d_->L(junkTable()[row].labelKey);
        return bytes > 0 ? label + sizeText(bytes) : label;
    }
    void setBoxes(std::initializer_list<Qt::CheckState> states);
    void mark(const QString& marker) { trace_->steps << marker; }
};

void TestDiskWork::init()
{
    startWork();
}

void TestDiskWork::cleanup()
{
    endWork();
}

AppDelegate* TestDiskWork::launch()
{
    d_ = std::make_unique<AppDelegate>(
        workEnvironment(StringTable::forLocale(QLocale(QLocale::English)), log_, figures_, trace_, gate_));
    d_->applicationDidFinishLaunching();
    return d_.get();
}

void TestDiskWork::setBoxes(std::initializer_list<Qt::CheckState> states)
{
    std::size_t row = 0;
    for (Qt::CheckState state : states) {
        QCheckBox* box = d_->junkCheckBoxes()[row++];
        box->setTristate(state == Qt::PartiallyChecked);
        box->setCheckState(state);
    }
}

// ---------------------------------------------------------------------------

void TestDiskWork::withoutGrantAlertThenGrantAndNoWork_data()
{
    QTest::addColumn<bool>("clean");
    QTest::addColumn<bool>("grantSucceeds");
    QTest::newRow("check, grant cancelled") << false << false;
    QTest::newRow("check, grant given") << false << true;
    QTest::newRow("clean, grant cancelled") << true << false;
    QTest::newRow("clean, grant given") << true << true;
}

void TestDiskWork::withoutGrantAlertThenGrantAndNoWork()
{
    QFETCH(bool, clean);
    QFETCH(bool, grantSucceeds);
    log_->folders = {QString()}; // cancelled at start-up
    QVERIFY(writeBytes(location(Caches) + "/blob", 4096));
    auto* d = launch();
    QVERIFY(!d->isAuthorized());
    for (QCheckBox* box : d->junkCheckBoxes())
        box->setText(QStringLiteral("untouched"));

    // Held by the hook itself: the prompt log outlives this test's locals.
    const auto alerts = std::make_shared<QStringList>();
    log_->duringAlert = [alerts, log = log_.get()] { *alerts << log->alertMessage; };
    log_->events.clear();
    log_->folders = {grantSucceeds ? home_->path() : QString()};
    mark("request");
    (clean ? d->cleanButton() : d->checkButton())->click();

    QCOMPARE(log_->events, (QStringList{"alert", "alert", "chooseFolder"}));
    QCOMPARE(*alerts, (QStringList{d->L("Permission Alert"), d->L("Authorization")}));
    QCOMPARE(log_->alertInformative, d->L("Authorization Need"));
    QCOMPARE(d->isAuthorized(), grantSucceeds);

    QCoreApplication::processEvents();
    QVERIFY(!d->isDiskWorkRunning());
    QCOMPARE(trace_->after("request"), QStringList());
    QVERIFY(gate_->visits().empty());
    QVERIFY(d->checkButton()->isEnabled());
    QVERIFY(d->cleanButton()->isEnabled());
    QVERIFY(d->checkItem()->isEnabled());
    QVERIFY(d->progressIndicatorBox()->isHidden());
    for (QCheckBox* box : d->junkCheckBoxes())
        QCOMPARE(box->text(), QStringLiteral("untouched"));
    QCOMPARE(readAll(location(Caches) + "/blob"), QByteArray(4096, 'x'));
}

void TestDiskWork::scanWritesCheckedRowsInOrder_data()
{
    QTest::addColumn<bool>("hidden");
    QTest::newRow("window on screen") << false;
    QTest::newRow("application hidden") << true;
}

void TestDiskWork::scanWritesCheckedRowsInOrder()
{
    QFETCH(bool, hidden);
    figures_->tray = true;
    QVERIFY(writeBytes(location(Caches) + "/a", 1000));
    QVERIFY(writeBytes(location(Caches) + "/sub/b", 3000));
    QVERIFY(writeBytes(location(Caches) + "/sub/deeper/c", 5));
    QVERIFY(QDir().mkpath(location(Downloads))); // there, and empty
    QVERIFY(writeBytes(location(MailDownloads) + "/m", 777));
    QVERIFY(writeBytes(location(Trash) + "/files/t", 1500));
    // Logs is missing altogether.
    const std::uint64_t cachesBytes = expectedBytes(home_->path(), junkTable()[Caches].relativePath);
    QVERIFY(cachesBytes > 4005); // the files and their folders' own entries

    auto* d = launch();
    setBoxes({Qt::Checked, Qt::Checked, Qt::Checked, Qt::Unchecked, Qt::PartiallyChecked});
    d->mailDownloadCheckBox()->setText(QStringLiteral("untouched"));
    d->trashCheckBox()->setText(QStringLiteral("untouched"));
    d->showAction(nullptr);
    if (hidden) {
        d->hideApplication();
        QVERIFY(!d->window()->isVisible());
    }

    gate_->pauseAt("scan", Downloads);
    mark("request");
    // While hidden only the menu can ask.
    (hidden ? static_cast<void>(d->checkItem()->trigger()) : static_cast<void>(d->checkButton()->click()));
    QTRY_VERIFY(gate_->reached());

    // Held before the third row: the first row's title is there already.
    QTRY_COMPARE(d->cachesCheckBox()->text(), title(Caches, cachesBytes));
    QVERIFY(d->window()->isVisible());
    QVERIFY(!d->isApplicationHidden());
    QCOMPARE(d->tabView()->currentIndex(), 0);
    QCOMPARE(d->progressIndicator()->maximum(), 0); // spinning
    QVERIFY(!d->progressIndicatorBox()->isHidden());
    QVERIFY(!d->checkButton()->isEnabled());
    QVERIFY(!d->cleanButton()->isEnabled());
    QVERIFY(!d->checkItem()->isEnabled());
    QVERIFY(d->cleanItem()->isEnabled());
    for (QCheckBox* box : d->junkCheckBoxes())
        QVERIFY(box->isEnabled());

    gate_->open();
    QTRY_VERIFY(!d->isDiskWorkRunning());

    QCOMPARE(d->cachesCheckBox()->text(), title(Caches, cachesBytes));
    QCOMPARE(d->logsCheckBox()->text(), d->L("Logs"));           // missing: bare label
    QCOMPARE(d->downloadsCheckBox()->text(), d->L("Downloads")); // 0 bytes: bare label
    QCOMPARE(d->mailDownloadCheckBox()->text(), QStringLiteral("untouched"));
    QCOMPARE(d->trashCheckBox()->text(), QStringLiteral("untouched")); // mixed counts as off

    QStringList expected = hidden ? QStringList{"application.unhide"} : QStringList{};
    expected << kForward << kScanStart << titleSteps({Caches, Logs, Downloads}) << kScanEnd;
    QCOMPARE(trace_->after("request"), expected);
    QCOMPARE(d->progressIndicator()->maximum(), 1);
    QVERIFY(d->progressIndicatorBox()->isHidden());
    QVERIFY(d->checkButton()->isEnabled());
    QVERIFY(d->cleanButton()->isEnabled());
    QVERIFY(d->checkItem()->isEnabled());
    // The scan only measures.
    QCOMPARE(readAll(location(MailDownloads) + "/m"), QByteArray(777, 'x'));
    QCOMPARE(expectedBytes(home_->path(), junkTable()[Caches].relativePath), cachesBytes);
}

void TestDiskWork::scanWithNoBoxCheckedOnlyEnds()
{
    QVERIFY(writeBytes(location(Caches) + "/a", 1000));
    auto* d = launch();
    setBoxes({Qt::Unchecked, Qt::Unchecked, Qt::Unchecked, Qt::Unchecked, Qt::Unchecked});
    for (QCheckBox* box : d->junkCheckBoxes())
        box->setText(QStringLiteral("untouched"));
    mark("request");
    d->checkButton()->click();
    QTRY_VERIFY(!d->isDiskWorkRunning());
    QCOMPARE(trace_->after("request"), kForward + kScanStart + kScanEnd);
    for (QCheckBox* box : d->junkCheckBoxes())
        QCOMPARE(box->text(), QStringLiteral("untouched"));
}

void TestDiskWork::boxChangedDuringScanCountsForRowsNotYetReached()
{
    for (std::size_t row : {Caches, Logs, Downloads, MailDownloads, Trash})
        QVERIFY(writeBytes(location(row) + "/f", 100 * static_cast<qint64>(row + 1)));
    auto* d = launch();
    setBoxes({Qt::Checked, Qt::Checked, Qt::Unchecked, Qt::Unchecked, Qt::Checked});
    for (QCheckBox* box : d->junkCheckBoxes())
        box->setText(QStringLiteral("untouched"));

    gate_->pauseAt("scan", Downloads);
    mark("request");
    d->checkButton()->click();
    QTRY_VERIFY(gate_->reached());
    // Rows 0 and 1 are done; row 2 is about to be read.
    d->cachesCheckBox()->setCheckState(Qt::Unchecked);
    d->downloadsCheckBox()->setCheckState(Qt::Checked);
    d->mailDownloadCheckBox()->setCheckState(Qt::Checked);
    d->trashCheckBox()->setCheckState(Qt::Unchecked);
    gate_->open();
    QTRY_VERIFY(!d->isDiskWorkRunning());

    for (std::size_t row : {Caches, Logs, Downloads, MailDownloads})
        QCOMPARE(d->junkCheckBoxes()[row]->text(),
                 title(row, expectedBytes(home_->path(), junkTable()[row].relativePath)));
    QCOMPARE(d->trashCheckBox()->text(), QStringLiteral("untouched"));
    QCOMPARE(trace_->after("request"),
             kForward + kScanStart + titleSteps({Caches, Logs, Downloads, MailDownloads}) + kScanEnd);
    // An unchecked box keeps the size of the scan that measured it.
    QVERIFY(d->cachesCheckBox()->text() != d->L("Caches"));
}

void TestDiskWork::scanUsesTheFolderGrantedWhenItStarted()
{
    QTemporaryDir other;
    QVERIFY(other.isValid());
    QVERIFY(writeBytes(location(Caches) + "/f", 2000));
    QVERIFY(writeBytes(QString(location(Logs)).replace(home_->path(), other.path()) + "/f", 3000));
    QVERIFY(writeBytes(location(Logs) + "/f", 500));
    auto* d = launch();
    setBoxes({Qt::Checked, Qt::Checked, Qt::Unchecked, Qt::Unchecked, Qt::Unchecked});

    gate_->pauseAt("scan", Logs);
    d->checkButton()->click();
    QTRY_VERIFY(gate_->reached());
    // A new grant while the scan runs: the scan stays with its folder.
    log_->folders = {other.path()};
    d->authorizeItem()->trigger();
    QCOMPARE(d->userDir(), other.path());
    gate_->open();
    QTRY_VERIFY(!d->isDiskWorkRunning());
    QCOMPARE(d->logsCheckBox()->text(), title(Logs, expectedBytes(home_->path(), junkTable()[Logs].relativePath)));
}

// ---------------------------------------------------------------------------

void TestDiskWork::cleanRemovesExactlyTheCheckedLocations()
{
    const QString h = home_->path();
    // Outside every location, and reached by links from inside them.
    QVERIFY(writeBytes(h + "/Documents/doc.txt", 321, 'd'));
    QVERIFY(writeBytes(h + "/Documents/sub/deep.txt", 123, 'e'));
    QVERIFY(writeBytes(h + "/.local/share/keep/k", 50, 'k'));   // beside the trash
    QVERIFY(writeBytes(h + "/.cache-not-this/n", 60, 'n'));     // a name that begins like one
    // Checked: caches with a link out, logs as a link itself, the trash.
    QVERIFY(writeBytes(location(Caches) + "/a", 1000));
    QVERIFY(writeBytes(location(Caches) + "/sub/b", 3000));
    QVERIFY(QFile::link(h + "/Documents", location(Caches) + "/out"));
    QVERIFY(QFile::link(h + "/Documents", location(Logs)));
    QVERIFY(writeBytes(location(Trash) + "/files/t", 1500));
    QVERIFY(QFile::link(h + "/Documents/doc.txt", location(Trash) + "/files/doc"));
    // Not checked (off, mixed): left alone.
    QVERIFY(writeBytes(location(Downloads) + "/mine.iso", 2048, 'i'));
    QVERIFY(writeBytes(location(MailDownloads) + "/att.pdf", 512, 'p'));
    const auto documents = snapshot(h + "/Documents");
    const auto keep = snapshot(h + "/.local/share/keep");
    const auto downloads = snapshot(location(Downloads));
    const auto mail = snapshot(location(MailDownloads));
    QCOMPARE(documents.size(), qsizetype(3));

    auto* d = launch();
    setBoxes({Qt::Checked, Qt::Checked, Qt::Unchecked, Qt::PartiallyChecked, Qt::Checked});
    for (QCheckBox* box : d->junkCheckBoxes())
        box->setText(QStringLiteral("untouched"));
    const QString freeBefore = d->diskFreeSize()->text();
    figures_->free = *figures_->free - std::int64_t{10} * 1024 * 1024 * 1024;

    // The window as it is when the first title comes and when the overview
    // is refreshed.
    QStringList seen;
    trace_->onStep = [&](const QString& step) {
        if (step == QLatin1String("title.caches") || step == QLatin1String("disk.refresh"))
            seen << step + (d->cleanButton()->isEnabled() ? " clean on" : " clean off")
                    + (d->progressIndicatorBox()->isHidden() ? " box hidden" : " box shown");
    };
    gate_->pauseAt("clean", Caches);
    mark("request");
    d->cleanButton()->click();
    QTRY_VERIFY(gate_->reached());
    QCOMPARE(d->progressIndicator()->maximum(), 0);
    QVERIFY(!d->progressIndicatorBox()->isHidden());
    QVERIFY(!d->checkButton()->isEnabled());
    QVERIFY(!d->cleanButton()->isEnabled());
    QVERIFY(d->checkItem()->isEnabled()); // a clean leaves the menu items alone
    QVERIFY(d->cleanItem()->isEnabled());
    gate_->open();
    QTRY_VERIFY(!d->isDiskWorkRunning());

    QVERIFY(!exists(location(Caches)));
    QVERIFY(!exists(location(Logs))); // the link went ...
    QCOMPARE(snapshot(h + "/Documents"), documents); // ... and what it pointed at stayed
    QVERIFY(!exists(location(Trash)));
    QCOMPARE(snapshot(h + "/.local/share/keep"), keep);
    QCOMPARE(readAll(h + "/.cache-not-this/n"), QByteArray(60, 'n'));
    QCOMPARE(snapshot(location(Downloads)), downloads);
    QCOMPARE(snapshot(location(MailDownloads)), mail);

    QCOMPARE(trace_->after("request"), kForward + kCleanStart + titleSteps({Caches, Logs, Trash}) + kScanEnd
                                           + QStringList{"disk.refresh"} + kCleanEnd);
    // The scan inside the clean ends (spinner gone, buttons back) before
    // the overview is refreshed.
    QCOMPARE(seen, (QStringList{"title.caches clean off box shown", "disk.refresh clean on box hidden"}));
    std::vector<std::string> visits;
    for (const char* stage : {"clean", "scan"})
        for (std::size_t row = 0; row < kJunkRowCount; ++row)
            visits.push_back(stage + (":" + std::to_string(row)));
    QCOMPARE(gate_->visits(), visits);

    // The refresh wrote the new free space and took every size away.
    QVERIFY(d->diskFreeSize()->text() != freeBefore);
    QCOMPARE(d->diskFreeSize()->text(), sizeText(static_cast<std::uint64_t>(*figures_->free)));
    for (std::size_t row = 0; row < kJunkRowCount; ++row)
        QCOMPARE(d->junkCheckBoxes()[row]->text(), d->L(junkTable()[row].labelKey));
    QVERIFY(d->checkButton()->isEnabled());
    QVERIFY(d->cleanButton()->isEnabled());
    QVERIFY(d->checkItem()->isEnabled());
    QVERIFY(d->progressIndicatorBox()->isHidden());
    QCOMPARE(d->progressIndicator()->maximum(), 1);
}

void TestDiskWork::boxChangedDuringCleanCountsForRowsNotYetReached()
{
    for (std::size_t row : {Caches, Logs, Downloads, MailDownloads, Trash})
        QVERIFY(writeBytes(location(row) + "/f", 100));
    auto* d = launch();
    setBoxes({Qt::Unchecked, Qt::Checked, Qt::Unchecked, Qt::Checked, Qt::Unchecked});

    gate_->pauseAt("clean", Downloads);
    d->cleanButton()->click();
    QTRY_VERIFY(gate_->reached());
    d->cachesCheckBox()->setCheckState(Qt::Checked);        // passed already
    d->mailDownloadCheckBox()->setCheckState(Qt::Unchecked); // not reached yet
    d->trashCheckBox()->setCheckState(Qt::Checked);          // not reached yet
    gate_->open();
    QTRY_VERIFY(!d->isDiskWorkRunning());

    QVERIFY(exists(location(Caches)));
    QVERIFY(!exists(location(Logs)));
    QVERIFY(exists(location(Downloads)));
    QVERIFY(exists(location(MailDownloads)));
    QVERIFY(!exists(location(Trash)));
}

void TestDiskWork::cleanReportsWhatTheVolumeGained_data()
{
    QTest::addColumn<bool>("tray");
    QTest::addColumn<bool>("allCameBack");
    QTest::newRow("no tray, the volume gained it all") << false << true;
    QTest::newRow("no tray, files still held") << false << false;
    QTest::newRow("tray, the volume gained it all") << true << true;
    QTest::newRow("tray, files still held") << true << false;
}

void TestDiskWork::cleanReportsWhatTheVolumeGained()
{
    QFETCH(bool, tray);
    QFETCH(bool, allCameBack);
    figures_->tray = tray;
    QVERIFY(writeBytes(location(Caches) + "/a", qint64{3} * 1024 * 1024));
    QVERIFY(writeBytes(location(Caches) + "/sub/b", qint64{200} * 1024));
    QVERIFY(writeBytes(location(Trash) + "/files/t", qint64{1024} * 1024));
    QVERIFY(writeBytes(location(Downloads) + "/keep", qint64{5} * 1024 * 1024)); // not checked
    const std::uint64_t removed = expectedBytes(home_->path(), junkTable()[Caches].relativePath)
        + expectedBytes(home_->path(), junkTable()[Trash].relativePath);
    auto* d = launch();
    setBoxes({Qt::Checked, Qt::Unchecked, Qt::Unchecked, Qt::Unchecked, Qt::Checked});

    // What the window shows when the report comes.
    bool cleanEnabledAtReport = false;
    bool spinnerHiddenAtReport = false;
    trace_->onStep = [d, &cleanEnabledAtReport, &spinnerHiddenAtReport](const QString& step) {
        if (step != QLatin1String("notify"))
            return;
        cleanEnabledAtReport = d->cleanButton()->isEnabled();
        spinnerHiddenAtReport = d->progressIndicatorBox()->isHidden();
    };
    // The free space moves while the worker waits before its first row, so
    // only a sample taken before the removals sees the old figure. Not the
    // sum removed: the volume gains a bit more (blocks) or far less (held).
    const std::int64_t freeBefore = *figures_->free;
    const std::uint64_t gained = allCameBack ? removed + 8192 : removed / 4;
    gate_->pauseAt("clean", Caches);
    mark("request");
    d->cleanButton()->click();
    QTRY_VERIFY(gate_->reached());
    figures_->free = freeBefore + static_cast<std::int64_t>(gained);
    gate_->open();
    QTRY_VERIFY(!d->isDiskWorkRunning());
    QTRY_COMPARE(trace_->after("request").count(QStringLiteral("notify")), qsizetype(1));
    trace_->onStep = nullptr;

    QCOMPARE(trace_->steps.last(), QStringLiteral("notify"));
    QVERIFY(cleanEnabledAtReport);
    QVERIFY(spinnerHiddenAtReport);
    QString expected = d->L("Clean Freed") + sizeText(gained);
    if (!allCameBack)
        expected += "\n" + d->L("Clean Removed") + sizeText(removed) + "\n" + d->L("Clean Held");
    QCOMPARE(d->lastReport(), expected);
    // In the tray's message when there is a tray, else in the window.
    QCOMPARE(d->reportLabel()->isVisibleTo(d->window()), !tray);
    if (!tray)
        QCOMPARE(d->reportLabel()->text(), expected);
    QVERIFY(exists(location(Downloads) + "/keep"));
}

// ---------------------------------------------------------------------------

void TestDiskWork::secondRequestWhileOneRunsIsRefused_data()
{
    QTest::addColumn<bool>("firstIsClean");
    QTest::addColumn<bool>("secondIsClean");
    QTest::newRow("scan, then scan") << false << false;
    QTest::newRow("scan, then clean") << false << true;
    QTest::newRow("clean, then scan") << true << false;
    QTest::newRow("clean, then clean") << true << true;
}

void TestDiskWork::secondRequestWhileOneRunsIsRefused()
{
    QFETCH(bool, firstIsClean);
    QFETCH(bool, secondIsClean);
    for (std::size_t row : {Caches, Logs, Downloads, MailDownloads, Trash})
        QVERIFY(writeBytes(location(row) + "/f", 100));
    auto* d = launch();
    setBoxes({Qt::Checked, Qt::Checked, Qt::Checked, Qt::Checked, Qt::Checked});

    const char* firstStage = firstIsClean ? "clean" : "scan";
    gate_->pauseAt(firstStage, Caches);
    mark("request");
    firstIsClean ? d->cleanAction(d->cleanButton()) : d->checkAction(d->checkButton());
    QTRY_VERIFY(gate_->reached());
    // The menu items that stay enabled reach the action; so may anything else.
    secondIsClean ? d->cleanAction(d->cleanItem()) : d->checkAction(d->checkItem());
    QCOMPARE(trace_->steps.last(), QStringLiteral("refused.") + (secondIsClean ? "clean" : "check"));
    QVERIFY(!d->checkButton()->isEnabled());
    gate_->open();
    QTRY_VERIFY(!d->isDiskWorkRunning());
    QCoreApplication::processEvents();

    // One run only: one start, one set of row visits, one end.
    const QStringList steps = trace_->after("request");
    QCOMPARE(steps.count(QStringLiteral("progress.start")), qsizetype(1));
    QCOMPARE(steps.count(QStringLiteral("checkButton.enabled")), qsizetype(firstIsClean ? 2 : 1));
    QCOMPARE(gate_->visits().size(), firstIsClean ? 2 * kJunkRowCount : kJunkRowCount);
    QCOMPARE(exists(location(Caches)), !firstIsClean);
    QVERIFY(d->checkButton()->isEnabled());
    QVERIFY(d->cleanButton()->isEnabled());
    QVERIFY(d->checkItem()->isEnabled());

    // Once the first has ended, the same request is taken.
    mark("again");
    secondIsClean ? d->cleanAction(d->cleanItem()) : d->checkAction(d->checkItem());
    QTRY_VERIFY(!d->isDiskWorkRunning());
    QVERIFY(trace_->after("again").contains(QStringLiteral("progress.start")));
    QVERIFY(!trace_->after("again").join(' ').contains(QStringLiteral("refused")));
    QCOMPARE(exists(location(Caches)), !(firstIsClean || secondIsClean));
}

// ---------------------------------------------------------------------------

void TestDiskWork::quitInTheMiddleStopsAndShowsNothing_data()
{
    QTest::addColumn<bool>("clean");
    QTest::addColumn<int>("row");
    QTest::newRow("scan before row 3") << false << int(Downloads);
    QTest::newRow("clean before row 2") << true << int(Logs);
    QTest::newRow("clean before row 5") << true << int(Trash);
}

void TestDiskWork::quitInTheMiddleStopsAndShowsNothing()
{
    QFETCH(bool, clean);
    QFETCH(int, row);
    const auto pausedRow = static_cast<std::size_t>(row);
    figures_->tray = true;
    for (std::size_t r : {Caches, Logs, Downloads, MailDownloads, Trash})
        QVERIFY(writeBytes(location(r) + "/f", 100));
    auto* d = launch();
    setBoxes({Qt::Checked, Qt::Checked, Qt::Checked, Qt::Checked, Qt::Checked});
    for (QCheckBox* box : d->junkCheckBoxes())
        box->setText(QStringLiteral("untouched"));
    QSignalSpy quit(d, &AppDelegate::quitRequested);

    const char* stage = clean ? "clean" : "scan";
    gate_->pauseAt(stage, pausedRow);
    clean ? d->cleanButton()->click() : d->checkButton()->click();
    QTRY_VERIFY(gate_->reached());
    // Titles of the rows before the pause may still be on their way.
    QCoreApplication::processEvents();

    mark("quit");
    d->exitItem()->trigger();
    QCOMPARE(quit.count(), 1);
    QVERIFY(!d->window()->isVisible());
    QVERIFY(!d->statusItem()->isVisible());
    const QStringList titlesAtQuit = [&] {
        QStringList titles;
        for (QCheckBox* box : d->junkCheckBoxes())
            titles << box->text();
        return titles;
    }();

    gate_->open();
    QCoreApplication::processEvents();
    d_.reset(); // waits for the worker
    QCoreApplication::processEvents();

    // Nothing after the quit reached the interface, and the worker went no
    // further than the row it was held at.
    QCOMPARE(trace_->after("quit"), QStringList());
    QCOMPARE(gate_->visits().back(), std::string(stage) + ":" + std::to_string(pausedRow));
    if (clean) {
        for (std::size_t r = 0; r < kJunkRowCount; ++r)
            QCOMPARE(exists(location(r)), r >= pausedRow);
    } else {
        QCOMPARE(titlesAtQuit.count(QStringLiteral("untouched")), static_cast<qsizetype>(kJunkRowCount - pausedRow));
        for (std::size_t r = 0; r < kJunkRowCount; ++r)
            QVERIFY(exists(location(r)));
    }
}

QTEST_MAIN(TestDiskWork)
#include "test_disk_work.moc"
