// The junk scan and the junk clean through the controller: the grant they
// need, the order of their interface changes, each check box read as the
// worker reaches its row, a second request while one runs, and quitting in
// the middle. How the walker measures and the remover removes is the
// core's to test; here a home with a few files is enough.

#include "AppFixture.h"

#include "core/DiskText.h"
#include "core/SizeText.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTabWidget>

#include <sys/stat.h>

using namespace headroom;
using namespace headroom::test;

namespace {

const char* const kBoxes[] = {"cachesCheckBox", "logsCheckBox", "downloadsCheckBox", "mailDownloadCheckBox",
                              "trashCheckBox"};

QStringList titleSteps(std::initializer_list<std::size_t> rows)
{
    QStringList steps;
    for (std::size_t row : rows)
        steps << QStringLiteral("title.") + QString::fromLatin1(junkTable()[row].row.data(),
                                                                 qsizetype(junkTable()[row].row.size()));
    return steps;
}

const QStringList kForward{"application.activate", "window.front", "tab.first"};
const QStringList kScanStart{"progress.start", "progressBox.shown", "checkButton.disabled", "cleanButton.disabled",
                             "checkItem.disabled"};
const QStringList kCleanStart = kScanStart.mid(0, 4);
const QStringList kScanEnd{"progress.stop", "progressBox.hidden", "checkButton.enabled", "cleanButton.enabled",
                           "checkItem.enabled"};
// A clean's own end comes after the overview is refreshed, and its report last.
const QStringList kCleanEnd = kScanEnd.mid(0, 4) + QStringList{"notify"};

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
    void boxChangedDuringWorkCountsForRowsNotYetReached_data();
    void boxChangedDuringWorkCountsForRowsNotYetReached();
    void scanKeepsTheFolderGrantedWhenItStarted();
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
    void setBoxes(std::initializer_list<Qt::CheckState> states)
    {
        std::size_t row = 0;
        for (Qt::CheckState state : states) {
            box(row)->setTristate(state == Qt::PartiallyChecked);
            box(row++)->setCheckState(state);
        }
    }
    void markBoxes()
    {
        for (std::size_t row = 0; row < kJunkRowCount; ++row)
            box(row)->setText(QStringLiteral("untouched"));
    }
    void request(bool clean) { find<QPushButton>(clean ? "cleanButton" : "checkButton")->click(); }
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
    markBoxes();
    m_log->events.clear();
    m_log->alerts.clear();
    m_log->folders = {grantGiven ? home() : QString()};
    mark("request");
    request(clean);

    // The permission alert, then the grant; even a grant given starts nothing.
    QCOMPARE(m_log->events, (QStringList{"alert", "alert", "chooseFolder"}));
    QCOMPARE(m_log->alerts, (QStringList{m_d->window()->L("Permission Alert"), m_d->window()->L("Authorization")}));
    QCOMPARE(m_d->isAuthorized(), grantGiven);
    QCoreApplication::processEvents();
    QCOMPARE(m_trace->after("request"), QStringList());
    QVERIFY(m_gate->visits().empty());
    QVERIFY(find<QPushButton>("cleanButton")->isEnabled());
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
    writeFile(location(MailDownloads) + "/m", "mail");
    writeFile(location(Trash) + "/files/t", "trash");
    ::mkdir(location(Downloads).c_str(), 0755); // there and empty; Logs missing
    launch();
    setBoxes({Qt::Checked, Qt::Checked, Qt::Checked, Qt::Unchecked, Qt::PartiallyChecked});
    markBoxes();
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
    QVERIFY(m_d->window()->isVisible());
    QCOMPARE(find<QTabWidget>("tabView")->currentIndex(), 0);
    QCOMPARE(find<QProgressBar>("progressIndicator")->maximum(), 0);
    QVERIFY(find<QGroupBox>("progressIndicatorBox")->isVisible());
    QVERIFY(!find<QPushButton>("checkButton")->isEnabled());
    QVERIFY(!find<QPushButton>("cleanButton")->isEnabled());
    QVERIFY(!action("checkItem")->isEnabled());
    QVERIFY(action("cleanItem")->isEnabled());
    m_gate->open();
    QVERIFY(waitForEnd("request", false));

    QStringList expected = hidden ? QStringList{"application.unhide"} : QStringList{};
    expected << kForward << kScanStart << titleSteps({Caches, Logs, Downloads}) << kScanEnd;
    QCOMPARE(m_trace->after("request"), expected);
    QCOMPARE(box(Logs)->text(), m_d->window()->L("Logs"));           // missing: bare label
    QCOMPARE(box(Downloads)->text(), m_d->window()->L("Downloads")); // empty: bare label
    QCOMPARE(box(MailDownloads)->text(), QStringLiteral("untouched"));
    QCOMPARE(box(Trash)->text(), QStringLiteral("untouched")); // mixed counts as off
    QCOMPARE(find<QProgressBar>("progressIndicator")->maximum(), 1);
    QVERIFY(!find<QGroupBox>("progressIndicatorBox")->isVisible());
    QVERIFY(find<QPushButton>("checkButton")->isEnabled() && action("checkItem")->isEnabled());
    QCOMPARE(readFile(location(MailDownloads) + "/m"), std::string("mail")); // a scan only measures
}

void TestDiskWork::boxChangedDuringWorkCountsForRowsNotYetReached_data()
{
    QTest::addColumn<bool>("clean");
    QTest::newRow("scan") << false;
    QTest::newRow("clean") << true;
}

void TestDiskWork::boxChangedDuringWorkCountsForRowsNotYetReached()
{
    QFETCH(bool, clean);
    fillRows();
    launch();
    setBoxes({Qt::Unchecked, Qt::Checked, Qt::Unchecked, Qt::Checked, Qt::Unchecked});
    markBoxes();
    m_gate->pauseAt(clean ? "clean" : "scan", Downloads);
    mark("request");
    request(clean);
    QTRY_VERIFY(m_gate->reached());
    box(Caches)->setCheckState(Qt::Checked);          // passed already
    box(MailDownloads)->setCheckState(Qt::Unchecked); // not reached yet
    box(Trash)->setCheckState(Qt::Checked);           // not reached yet
    m_gate->open();
    QVERIFY(waitForEnd("request", clean));

    const std::vector<bool> taken{false, true, false, false, true};
    for (std::size_t row = 0; row < kJunkRowCount; ++row)
        QCOMPARE(exists(location(row)), !(clean && taken[row]));
    if (!clean) {
        QCOMPARE(m_trace->after("request"), kForward + kScanStart + titleSteps({Logs, Trash}) + kScanEnd);
        QCOMPARE(box(Trash)->text(), title(Trash, measured(Trash)));
        QCOMPARE(box(MailDownloads)->text(), QStringLiteral("untouched"));
    }
}

void TestDiskWork::scanKeepsTheFolderGrantedWhenItStarted()
{
    TempTree other;
    writeFile(other / (std::string(junkTable()[Logs].relativePath) + "/f"), std::string(3000, 'o'));
    fillRows(500);
    launch();
    setBoxes({Qt::Checked, Qt::Checked, Qt::Unchecked, Qt::Unchecked, Qt::Unchecked});
    m_gate->pauseAt("scan", Logs);
    mark("request");
    request(false);
    QTRY_VERIFY(m_gate->reached());
    // A new grant while the scan runs: the scan stays with its folder.
    m_log->folders = {QString::fromStdString(other.path())};
    action("authorizeItem")->trigger();
    QCOMPARE(m_d->userDir(), QString::fromStdString(other.path()));
    m_gate->open();
    QVERIFY(waitForEnd("request", false));
    QCOMPARE(box(Logs)->text(), title(Logs, measured(Logs)));
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
    fillRows(1024 * 1024);
    writeFile(home().toStdString() + "/.cache-not-this/n", "keep"); // a name that begins like one
    launch();
    setBoxes({Qt::Checked, Qt::Checked, Qt::Unchecked, Qt::PartiallyChecked, Qt::Checked});
    markBoxes();
    // The window as it is when the first title comes and when the overview
    // is refreshed.
    QStringList seen;
    m_trace->onStep = [this, &seen](const QString& step) {
        if (step == QLatin1String("title.caches") || step == QLatin1String("disk.refresh"))
            seen << step + (find<QPushButton>("cleanButton")->isEnabled() ? " clean on" : " clean off")
                    + (find<QGroupBox>("progressIndicatorBox")->isHidden() ? " box hidden" : " box shown");
    };
    // The free space moves while the worker waits before its first row:
    // the report tells what the volume gained, not the sum removed.
    const std::int64_t freeBefore = *m_figures->free;
    m_gate->pauseAt("clean", Caches);
    mark("request");
    request(true);
    QTRY_VERIFY(m_gate->reached());
    QVERIFY(action("checkItem")->isEnabled()); // a clean leaves the menu items alone
    m_figures->free = freeBefore + 5 * 1024 * 1024;
    m_gate->open();
    QVERIFY(waitForEnd("request", true));
    m_trace->onStep = nullptr;

    for (std::size_t row = 0; row < kJunkRowCount; ++row)
        QCOMPARE(exists(location(row)), row == Downloads || row == MailDownloads);
    QCOMPARE(readFile(home().toStdString() + "/.cache-not-this/n"), std::string("keep"));
    QCOMPARE(m_trace->after("request"), kForward + kCleanStart + titleSteps({Caches, Logs, Trash}) + kScanEnd
                                            + QStringList{"disk.refresh"} + kCleanEnd);
    // The scan inside the clean ends before the overview is refreshed.
    QCOMPARE(seen, (QStringList{"title.caches clean off box shown", "disk.refresh clean on box hidden"}));
    // The refresh wrote the new free space and took every size away.
    QCOMPARE(find<QLabel>("diskFreeSize")->text(),
             QString::fromStdString(convertBytes(static_cast<std::uint64_t>(*m_figures->free))));
    QCOMPARE(box(Caches)->text(), m_d->window()->L("Caches"));
    const QString report = m_d->window()->L("Clean Freed") + QString::fromStdString(convertBytes(5 * 1024 * 1024));
    QCOMPARE(find<QLabel>("reportLabel")->isVisibleTo(m_d->window()), !tray);
    if (!tray)
        QCOMPARE(find<QLabel>("reportLabel")->text(), report);
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
    m_gate->pauseAt(firstIsClean ? "clean" : "scan", Caches);
    mark("request");
    request(firstIsClean);
    QTRY_VERIFY(m_gate->reached());
    // The menu items that stay enabled reach the action.
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
    QVERIFY(!m_trace->after("again").join(' ').contains(QStringLiteral("refused")));
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
    const auto pausedRow = static_cast<std::size_t>(row);
    m_figures->tray = true;
    fillRows();
    launch();
    setBoxes({Qt::Checked, Qt::Checked, Qt::Checked, Qt::Checked, Qt::Checked});
    markBoxes();
    QSignalSpy quit(m_d.get(), &AppDelegate::quitRequested);
    m_gate->pauseAt(clean ? "clean" : "scan", pausedRow);
    request(clean);
    QTRY_VERIFY(m_gate->reached());
    QCoreApplication::processEvents(); // titles of the rows before may be on their way

    mark("quit");
    action("exitItem")->trigger();
    QCOMPARE(quit.count(), 1);
    QVERIFY(!m_d->window()->isVisible());
    QVERIFY(!m_d->findChild<QSystemTrayIcon*>()->isVisible());
    qsizetype untouched = 0;
    for (std::size_t r = 0; r < kJunkRowCount; ++r)
        untouched += box(r)->text() == QLatin1String("untouched") ? 1 : 0;

    m_gate->open();
    m_d.reset(); // waits for the worker
    QCoreApplication::processEvents();
    // Nothing after the quit reached the interface, and the worker went no
    // further than the row it was held at.
    QCOMPARE(m_trace->after("quit"), QStringList());
    QCOMPARE(m_gate->visits().back(), std::string(clean ? "clean:" : "scan:") + std::to_string(pausedRow));
    for (std::size_t r = 0; r < kJunkRowCount; ++r)
        QCOMPARE(exists(location(r)), !clean || r >= pausedRow);
    if (!clean)
        QCOMPARE(untouched, qsizetype(kJunkRowCount - pausedRow));
}

QTEST_MAIN(TestDiskWork)
#include "test_disk_work.moc"
