// The junk scan and the junk clean through the controller: the grant they
// need, the order of their interface changes, what the user changes while
// one runs, a second request while one runs, and quitting in the middle.
// How the walker measures and the remover removes is the core's to test;
// here a home with a few files is enough.

#include "AppFixture.h"

#include "core/DiskText.h"
#include "core/SizeText.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSystemTrayIcon>

using namespace headroom;
using namespace headroom::test;

namespace {

const char* const kBoxes[] = {"cachesCheckBox", "logsCheckBox", "downloadsCheckBox", "mailDownloadCheckBox",
                              "trashCheckBox"};

QStringList titleSteps(std::initializer_list<std::size_t> rows)
{
    QStringList steps;
    for (std::size_t row : rows)
        steps << QStringLiteral("title.") + QLatin1String(junkTable()[row].row.data(), qsizetype(junkTable()[row].row.size()));
    return steps;
}

constexpr std::int64_t kMiB = std::int64_t{1} << 20;

const QStringList kForward{"application.activate", "window.front", "tab.first"};
const QStringList kScanStart{"progress.start", "progressBox.shown", "checkButton.disabled", "cleanButton.disabled",
                             "checkItem.disabled"};
const QStringList kScanEnd{"progress.stop", "progressBox.hidden", "checkButton.enabled", "cleanButton.enabled",
                           "checkItem.enabled"};
// A clean starts without locking the Check item; after the scan inside it
// ends comes the refreshed overview, the clean's own end and its report.
const QStringList kCleanStart = kScanStart.mid(0, 4);
const QStringList kCleanEnd = QStringList{"disk.refresh"} + kScanEnd.mid(0, 4) + QStringList{"notify"};

} // namespace

class TestDiskWork : public QObject, protected AppFixture {
    Q_OBJECT

private slots:
    void init() { setUpApp(); }
    void cleanup() { tearDownApp(); }

    void withoutAGrantAskFirstAndDoNoWork_data();
    void withoutAGrantAskFirstAndDoNoWork();
    void scanShowsTheCheckedRowsInOrder_data();
    void scanShowsTheCheckedRowsInOrder();
    void changesDuringARunCountOnlyForRowsNotYetReached_data();
    void changesDuringARunCountOnlyForRowsNotYetReached();
    void cleanRemovesTheCheckedRowsRescansAndReports_data();
    void cleanRemovesTheCheckedRowsRescansAndReports();
    void secondRequestWhileOneRunsIsRefused_data();
    void secondRequestWhileOneRunsIsRefused();
    void quitInTheMiddleStopsAndShowsNothing_data();
    void quitInTheMiddleStopsAndShowsNothing();

private:
    QCheckBox* box(std::size_t row) const { return find<QCheckBox>(kBoxes[row]); }
    QString title(std::size_t row, std::uint64_t bytes) const
    {
        return QString::fromStdString(junkCheckBoxTitle(StringTable::lookup(english()), junkTable()[row].labelKey, bytes));
    }
    // Sets the boxes ("x" checked, "-" unchecked, "~" mixed) and marks their
    // titles, so that a title nothing wrote reads "untouched".
    void setBoxes(const char* states)
    {
        for (std::size_t row = 0; row < kJunkRowCount; ++row) {
            box(row)->setTristate(states[row] == '~');
            box(row)->setCheckState(states[row] == 'x' ? Qt::Checked : states[row] == '~' ? Qt::PartiallyChecked : Qt::Unchecked);
            box(row)->setText(QStringLiteral("untouched"));
        }
    }
    void request(bool clean) { button(clean ? "cleanButton" : "checkButton")->click(); }
    bool waitForEnd(const char* marker, bool clean) { return waitForStep(marker, clean ? "notify" : "checkItem.enabled"); }
};

void TestDiskWork::withoutAGrantAskFirstAndDoNoWork_data()
{
    QTest::addColumn<bool>("clean");
    QTest::addColumn<bool>("grantGiven");
    QTest::newRow("check, grant cancelled") << false << false;
    QTest::newRow("check, grant given") << false << true;
    QTest::newRow("clean, grant cancelled") << true << false;
    QTest::newRow("clean, grant given") << true << true;
}

void TestDiskWork::withoutAGrantAskFirstAndDoNoWork()
{
    QFETCH(bool, clean);
    QFETCH(bool, grantGiven);
    fillRows();
    m_log->folders = {QString()}; // cancelled at start-up
    launch();
    setBoxes("xxxxx");
    m_log->events.clear();
    m_log->alerts.clear();
    m_log->folders = {grantGiven ? home() : QString()};
    mark("request");
    request(clean);

    // The permission alert, then the grant; even a grant given starts nothing.
    QCOMPARE(m_log->events, (QStringList{"alert", "alert", "chooseFolder"}));
    QCOMPARE(m_log->alerts, (QStringList{L("Permission Alert"), L("Authorization")}));
    QCOMPARE(m_d->isAuthorized(), grantGiven);
    QCoreApplication::processEvents();
    QCOMPARE(m_trace->after("request"), QStringList());
    QVERIFY(m_gate->visits().empty());
    QCOMPARE(box(Caches)->text(), QStringLiteral("untouched"));
    QVERIFY(exists(location(Caches) + "/f"));
}

void TestDiskWork::scanShowsTheCheckedRowsInOrder_data()
{
    QTest::addColumn<bool>("hidden");
    QTest::newRow("window on screen") << false;
    QTest::newRow("application hidden") << true;
}

void TestDiskWork::scanShowsTheCheckedRowsInOrder()
{
    QFETCH(bool, hidden);
    m_figures->tray = true;
    writeFile(location(Caches) + "/sub/a", std::string(3000, 'x'));
    writeFile(location(Downloads) + "/.keep", ""); // there, and 0 bytes; Logs is missing
    writeFile(location(MailDownloads) + "/m", "mail");
    writeFile(location(Trash) + "/t", "trash");
    launch();
    setBoxes("xxx-~");
    m_d->showAction();
    if (hidden)
        action("hideItem")->trigger();

    m_gate->pauseAt("scan", Downloads);
    mark("request");
    // While hidden only the menu can ask.
    hidden ? action("checkItem")->trigger() : request(false);
    QTRY_VERIFY(m_gate->reached());
    // Held before the third row: the first row's title is there already,
    // the window in front, the bar spinning, the controls locked.
    QTRY_COMPARE(box(Caches)->text(), title(Caches, measured(Caches)));
    QCOMPARE(box(Caches)->accessibleName(), box(Caches)->text()); // read with its size
    QVERIFY(m_d->window()->isVisible());
    QCOMPARE(find<QProgressBar>("progressIndicator")->maximum(), 0);
    QVERIFY(find<QGroupBox>("progressIndicatorBox")->isVisible());
    QVERIFY(!button("checkButton")->isEnabled() && !button("cleanButton")->isEnabled());
    QVERIFY(!action("checkItem")->isEnabled() && action("cleanItem")->isEnabled());
    m_gate->open();
    QVERIFY(waitForEnd("request", false));

    const QStringList unhide = hidden ? QStringList{"application.unhide"} : QStringList{};
    QCOMPARE(m_trace->after("request"), unhide + kForward + kScanStart + titleSteps({Caches, Logs, Downloads}) + kScanEnd);
    QCOMPARE(box(Logs)->text(), L("Logs"));           // missing: bare label
    QCOMPARE(box(Downloads)->text(), L("Downloads")); // 0 bytes: bare label
    QCOMPARE(box(MailDownloads)->text(), QStringLiteral("untouched"));
    QCOMPARE(box(Trash)->text(), QStringLiteral("untouched")); // mixed counts as off
    QCOMPARE(find<QProgressBar>("progressIndicator")->maximum(), 1);
    QCOMPARE(readFile(location(MailDownloads) + "/m"), std::string("mail")); // a scan only measures
}

void TestDiskWork::changesDuringARunCountOnlyForRowsNotYetReached_data()
{
    QTest::addColumn<bool>("clean");
    QTest::newRow("scan") << false;
    QTest::newRow("clean") << true;
}

void TestDiskWork::changesDuringARunCountOnlyForRowsNotYetReached()
{
    QFETCH(bool, clean);
    fillRows(500);
    TempTree other;
    for (std::size_t row = 0; row < kJunkRowCount; ++row)
        writeFile(other / (std::string(junkTable()[row].relativePath) + "/f"), std::string(3000, 'o'));
    launch();
    setBoxes("-x-x-");
    m_gate->pauseAt(clean ? "clean" : "scan", Downloads);
    mark("request");
    request(clean);
    QTRY_VERIFY(m_gate->reached());
    box(Caches)->setCheckState(Qt::Checked);          // passed already
    box(MailDownloads)->setCheckState(Qt::Unchecked); // not reached yet
    box(Trash)->setCheckState(Qt::Checked);           // not reached yet
    // A new grant meanwhile: the run stays with the folder it started on.
    m_log->folders = {QString::fromStdString(other.path())};
    action("authorizeItem")->trigger();
    QCOMPARE(m_d->userDir(), QString::fromStdString(other.path()));
    m_gate->open();
    QVERIFY(waitForEnd("request", clean));

    const std::vector<bool> taken{false, true, false, false, true};
    for (std::size_t row = 0; row < kJunkRowCount; ++row) {
        QCOMPARE(exists(location(row)), !(clean && taken[row]));
        QVERIFY(exists(other / junkTable()[row].relativePath));
    }
    if (!clean) {
        QCOMPARE(m_trace->after("request"), kForward + kScanStart + titleSteps({Logs, Trash}) + kScanEnd);
        QCOMPARE(box(Trash)->text(), title(Trash, measured(Trash)));
    }
}

void TestDiskWork::cleanRemovesTheCheckedRowsRescansAndReports_data()
{
    QTest::addColumn<bool>("tray");
    QTest::newRow("no tray: the window's report line") << false;
    QTest::newRow("tray: a tray message") << true;
}

void TestDiskWork::cleanRemovesTheCheckedRowsRescansAndReports()
{
    QFETCH(bool, tray);
    m_figures->tray = tray;
    fillRows(std::size_t{kMiB});
    writeFile(m_home->path() + "/.cache-not-this/n", "keep"); // a name that begins like one
    launch();
    setBoxes("xx-~x");
    // The window as it is when the first title comes and when the overview
    // is refreshed.
    QStringList seen;
    m_trace->onStep = [this, &seen](const QString& step) {
        if (step == QLatin1String("title.caches") || step == QLatin1String("disk.refresh"))
            seen << step + (button("cleanButton")->isEnabled() ? " clean on" : " clean off")
                    + (find<QGroupBox>("progressIndicatorBox")->isHidden() ? " box hidden" : " box shown");
    };
    // The free space moves while the worker waits before its first row:
    // the report tells what the volume gained, not the sum removed.
    const std::int64_t freeBefore = *m_figures->free;
    m_gate->pauseAt("clean", Caches);
    mark("request");
    request(true);
    QTRY_VERIFY(m_gate->reached());
    m_figures->free = freeBefore + 5 * kMiB;
    m_gate->open();
    QVERIFY(waitForEnd("request", true));
    m_trace->onStep = nullptr;

    for (std::size_t row = 0; row < kJunkRowCount; ++row)
        QCOMPARE(exists(location(row)), row == Downloads || row == MailDownloads);
    QCOMPARE(readFile(m_home->path() + "/.cache-not-this/n"), std::string("keep"));
    QCOMPARE(m_trace->after("request"),
             kForward + kCleanStart + titleSteps({Caches, Logs, Trash}) + kScanEnd + kCleanEnd);
    QCOMPARE(seen, (QStringList{"title.caches clean off box shown", "disk.refresh clean on box hidden"}));
    // The refresh wrote the new free space and took every size away.
    QCOMPARE(find<QLabel>("diskFreeSize")->text(), QString::fromStdString(convertBytes(std::uint64_t(*m_figures->free))));
    QCOMPARE(box(Caches)->text(), L("Caches"));
    QVERIFY(box(Caches)->isChecked()); // a refresh titles the boxes, their state stays
    QCOMPARE(find<QLabel>("reportLabel")->isVisibleTo(m_d->window()), !tray);
    if (!tray)
        QCOMPARE(find<QLabel>("reportLabel")->text(), L("Clean Freed") + QString::fromStdString(convertBytes(std::uint64_t{5 * kMiB})));
}

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
    fillRows();
    launch();
    setBoxes("xxxxx");
    m_gate->pauseAt(firstIsClean ? "clean" : "scan", Caches);
    mark("request");
    request(firstIsClean);
    QTRY_VERIFY(m_gate->reached());
    // The menu items that stay enabled reach the action; so may anything else.
    secondIsClean ? m_d->cleanAction() : m_d->checkAction();
    QCOMPARE(m_trace->steps.last(), QStringLiteral("refused.") + (secondIsClean ? "clean" : "check"));
    m_gate->open();
    QVERIFY(waitForEnd("request", firstIsClean));
    QCoreApplication::processEvents();

    // One run only: one start, one set of row visits, one end.
    const QStringList steps = m_trace->after("request");
    QCOMPARE(steps.count(QStringLiteral("progress.start")), qsizetype(1));
    QCOMPARE(steps.count(QStringLiteral("checkButton.enabled")), qsizetype(firstIsClean ? 2 : 1));
    QCOMPARE(m_gate->visits().size(), firstIsClean ? 2 * kJunkRowCount : kJunkRowCount);
    QCOMPARE(exists(location(Caches)), !firstIsClean);

    // Once the first has ended, the same request is taken.
    mark("again");
    secondIsClean ? m_d->cleanAction() : m_d->checkAction();
    QVERIFY(waitForEnd("again", secondIsClean));
    QCOMPARE(exists(location(Caches)), !(firstIsClean || secondIsClean));
}

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
    const auto held = static_cast<std::size_t>(row);
    m_figures->tray = true;
    fillRows();
    launch();
    setBoxes("xxxxx");
    QSignalSpy quit(m_d.get(), &AppDelegate::quitRequested);
    m_gate->pauseAt(clean ? "clean" : "scan", held);
    request(clean);
    QTRY_VERIFY(m_gate->reached());
    QCoreApplication::processEvents(); // titles of the rows before may be on their way

    mark("quit");
    action("exitItem")->trigger();
    QCOMPARE(quit.count(), 1);
    QVERIFY(!m_d->window()->isVisible());
    QVERIFY(!m_d->findChild<QSystemTrayIcon*>()->isVisible());
    QCOMPARE(box(held - 1)->text() == QLatin1String("untouched"), clean); // a scan shows rows before
    m_gate->open();
    m_d.reset(); // waits for the worker
    QCoreApplication::processEvents();
    // Nothing after the quit reached the interface, and the worker went no
    // further than the row it was held at.
    QCOMPARE(m_trace->after("quit"), QStringList());
    QCOMPARE(m_gate->visits().back(), std::string(clean ? "clean:" : "scan:") + std::to_string(held));
    for (std::size_t r = 0; r < kJunkRowCount; ++r)
        QCOMPARE(exists(location(r)), !clean || r >= held);
}

QTEST_MAIN(TestDiskWork)
#include "test_disk_work.moc"
