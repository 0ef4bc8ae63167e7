// The junk scan and the junk clean through the controller: the order of
// their interface changes, a second request and what the user changes
// while one runs, and quitting in the middle. Without a grant they start
// nothing: test_app_delegate.
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

    void runShowsItsStepsInOrder_data();
    void runShowsItsStepsInOrder();
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

void TestDiskWork::runShowsItsStepsInOrder_data()
{
    QTest::addColumn<bool>("clean");
    QTest::addColumn<bool>("tray");
    QTest::addColumn<bool>("hidden");
    QTest::newRow("scan, window on screen") << false << false << false;
    QTest::newRow("scan, application hidden") << false << true << true;
    QTest::newRow("clean, no tray: the window's report line") << true << false << false;
    QTest::newRow("clean, tray: a tray message") << true << true << false;
}

// One run, held at its third row while the user asks again, changes boxes
// and grants another folder: the steps it shows, in order, and what it took.
void TestDiskWork::runShowsItsStepsInOrder()
{
    QFETCH(bool, clean);
    QFETCH(bool, tray);
    QFETCH(bool, hidden);
    m_figures.tray = tray;
    fillRows(std::size_t{kMiB});
    const std::uint64_t logsBytes = measured(Logs);
    TempTree other;
    writeFile(other / (std::string(junkTable()[Trash].relativePath) + "/f"), "other");
    writeFile(other / ".config/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"$HOME/Dl\"\n");
    // A name that begins like a location's; no core test has one yet.
    writeFile(m_home->path() + "/.cache-not-this/n", "keep");
    launch();
    setBoxes("-x~x-"); // a mixed box counts as off
    if (hidden) {
        m_d->showAction();
        action("hideItem")->trigger();
    }

    m_gate->pauseAt(clean ? "clean" : "scan", Downloads);
    mark("request");
    // While hidden only the menu can ask.
    hidden ? action("checkItem")->trigger() : request(clean);
    QTRY_VERIFY(m_gate->reached());
    // A scan has titled the rows before already; the window is in front,
    // the bar spinning, the controls locked.
    if (!clean)
        QTRY_COMPARE(box(Logs)->text(), title(Logs, logsBytes));
    QVERIFY(m_d->window()->isVisible());
    QCOMPARE(find<QProgressBar>("progressIndicator")->maximum(), 0);
    QVERIFY(find<QGroupBox>("progressIndicatorBox")->isVisible());
    QVERIFY(!button("checkButton")->isEnabled() && !button("cleanButton")->isEnabled());
    QCOMPARE(action("checkItem")->isEnabled(), clean);
    QVERIFY(action("cleanItem")->isEnabled());
    // A second request of either kind, as the menu's items that stay
    // enabled could make it, is refused.
    m_d->checkAction();
    m_d->cleanAction();
    // Each box counts as it is when the worker reaches its row.
    box(Caches)->setCheckState(Qt::Checked);          // passed already
    box(MailDownloads)->setCheckState(Qt::Unchecked); // not reached yet
    box(Trash)->setCheckState(Qt::Checked);           // not reached yet
    // A new grant meanwhile: the run stays with the folder it started on.
    m_log.folders = {QString::fromStdString(other.path())};
    action("authorizeItem")->trigger();
    QCOMPARE(m_d->userDir(), QString::fromStdString(other.path()));
    QCOMPARE(box(Downloads)->toolTip(), QString::fromStdString(other / "Dl")); // where that folder's desktop has it
    // The free space moves too: a clean's report tells what the volume
    // gained, not the sum removed.
    m_figures.free = *m_figures.free + 5 * kMiB;
    m_gate->open();
    QVERIFY(waitForEnd("request", clean));

    // One start and one end, with the refusals where they came. A clean
    // ends with the scan of the rows checked by then, the refreshed
    // overview and its report.
    const QStringList unhide = hidden ? QStringList{"application.unhide"} : QStringList{};
    const QStringList refused{"refused.check", "refused.clean"};
    QCOMPARE(after("request"),
             clean ? kForward + kCleanStart + refused + titleSteps({Caches, Logs, Trash}) + kScanEnd + kCleanEnd
                   : unhide + kForward + kScanStart + titleSteps({Logs}) + refused + titleSteps({Trash}) + kScanEnd);
    for (std::size_t row = 0; row < kJunkRowCount; ++row)
        QCOMPARE(exists(location(row)), !clean || (row != Logs && row != Trash));
    QCOMPARE(readFile(other / (std::string(junkTable()[Trash].relativePath) + "/f")), std::string("other"));
    QCOMPARE(readFile(m_home->path() + "/.cache-not-this/n"), std::string("keep"));
    QCOMPARE(find<QProgressBar>("progressIndicator")->maximum(), 1);
    QVERIFY(find<QGroupBox>("progressIndicatorBox")->isHidden());
    QVERIFY(button("cleanButton")->isEnabled());
    if (!clean) {
        QCOMPARE(box(Trash)->text(), title(Trash, measured(Trash)));
        QCOMPARE(box(Trash)->accessibleName(), box(Trash)->text()); // read with its size
        QCOMPARE(box(Downloads)->text(), QStringLiteral("untouched"));
    } else {
        // The refresh wrote the new free space and took every size away;
        // the boxes keep their state.
        QCOMPARE(find<QLabel>("diskFreeSize")->text(), QString::fromStdString(convertBytes(std::uint64_t(*m_figures.free))));
        QCOMPARE(box(Downloads)->text(), L("Downloads"));
        QVERIFY(box(Caches)->isChecked());
        QCOMPARE(find<QLabel>("reportLabel")->isVisibleTo(m_d->window()), !tray);
        if (!tray)
            QCOMPARE(find<QLabel>("reportLabel")->text(), L("Clean Freed") + QString::fromStdString(convertBytes(std::uint64_t{5 * kMiB})));
    }

    // Once the run has ended, the next request is taken.
    mark("again");
    m_d->checkAction();
    QVERIFY(waitForEnd("again", false));
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
    m_figures.tray = true;
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
    QCOMPARE(after("quit"), QStringList());
    QCOMPARE(m_gate->visits().back(), std::string(clean ? "clean:" : "scan:") + std::to_string(held));
    for (std::size_t r = 0; r < kJunkRowCount; ++r)
        QCOMPARE(exists(location(r)), !clean || r >= held);
}

QTEST_MAIN(TestDiskWork)
#include "test_disk_work.moc"
