// The junk scan and the junk clean through the controller: the order of
// what the window and the tray show, a second request and what the user
// changes while one runs, and quitting in the middle. Without a grant they
// start nothing: test_app_delegate.
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

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
constexpr std::uint64_t kFree = 250790436864;
constexpr std::uint64_t kGain = std::uint64_t{5} << 30; // what the volume gains as the Trash goes

const QStringList kCleanStart{"progress.start", "progressBox.shown", "checkButton.disabled", "cleanButton.disabled"};
const QStringList kScanStart = kCleanStart + QStringList{"checkItem.disabled"};
const QStringList kCleanEnd{"progress.stop", "progressBox.hidden", "checkButton.enabled", "cleanButton.enabled"};
const QStringList kScanEnd = kCleanEnd + QStringList{"checkItem.enabled"};

} // namespace

class TestDiskWork : public QObject, protected AppFixture {
    Q_OBJECT

private slots:
    void init() { setUpApp(); }
    void cleanup() { tearDownApp(); }

    void runShowsItsChangesInOrder_data();
    void runShowsItsChangesInOrder();
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
};

void TestDiskWork::runShowsItsChangesInOrder_data()
{
    QTest::addColumn<bool>("clean");
    QTest::addColumn<bool>("tray");
    QTest::addColumn<bool>("hidden");
    QTest::newRow("scan, window on screen") << false << false << false;
    QTest::newRow("scan, application hidden") << false << true << true;
    QTest::newRow("clean, no tray: the window's report line") << true << false << false;
    QTest::newRow("clean, tray: a tray message") << true << true << false;
}

// One run, asked for again and given another folder while it runs; a clean
// is held as it first samples the volume, before its first removal, while
// the user changes boxes. What it shows, in order, and what it took.
void TestDiskWork::runShowsItsChangesInOrder()
{
    QFETCH(bool, clean);
    QFETCH(bool, tray);
    QFETCH(bool, hidden);
    m_tray = tray;
    fillRows(std::size_t{kMiB});
    const std::uint64_t logsBytes = measured(Logs);
    TempTree other;
    writeFile(other / (std::string(junkTable()[Trash].relativePath) + "/f"), "other");
    writeFile(other / ".config/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"$HOME/Dl\"\n");
    // A name that begins like a location's; no core test has one yet.
    writeFile(m_home->path() + "/.cache-not-this/n", "keep");
    // A clean's report tells what the volume gained, not the sum removed.
    m_volume->setFree([trash = location(Trash)] { return kFree + (exists(trash) ? 0 : kGain); });
    if (clean)
        m_volume->holdWhen([] { return true; });
    launch();
    setBoxes("-x~x-"); // a mixed box counts as off
    if (hidden) {
        m_d->showAction();
        action("hideItem")->trigger();
    }

    m_screen->start();
    // While hidden only the menu can ask.
    hidden ? action("checkItem")->trigger() : request(clean);
    if (clean)
        QVERIFY(m_volume->waitUntilHeld());
    // The window is in front, the bar spinning, the controls locked.
    QVERIFY(m_d->window()->isVisible());
    QCOMPARE(find<QProgressBar>("progressIndicator")->maximum(), 0);
    QVERIFY(find<QGroupBox>("progressIndicatorBox")->isVisible());
    QVERIFY(!button("checkButton")->isEnabled() && !button("cleanButton")->isEnabled());
    QCOMPARE(action("checkItem")->isEnabled(), clean);
    QVERIFY(action("cleanItem")->isEnabled());
    // A second request of either kind, as the menu's items that stay
    // enabled could make it, is refused: the tray says why.
    m_d->checkAction();
    m_d->cleanAction();
    // A new grant meanwhile: the run stays with the folder it started on.
    m_log.folders = {QString::fromStdString(other.path())};
    action("authorizeItem")->trigger();
    QCOMPARE(m_d->userDir(), QString::fromStdString(other.path()));
    QCOMPARE(box(Downloads)->toolTip(), QString::fromStdString(other / "Dl")); // where that folder's desktop has it
    if (clean) {
        // Each box counts as it is when the clean reaches its row.
        box(Caches)->setCheckState(Qt::Checked);
        box(MailDownloads)->setCheckState(Qt::Unchecked);
        box(Trash)->setCheckState(Qt::Checked);
        m_volume->open();
    }
    QVERIFY(m_screen->waitFor(clean ? "notify" : "checkItem.enabled"));

    // One start and one end, the refusals where they came. A clean ends
    // with the scan of the rows it removed, then the refreshed overview,
    // which takes every size away, and its report.
    const QStringList shown = tray ? QStringList{"window.shown"} : QStringList{}; // else it is on screen
    const QStringList refused = tray ? QStringList{"busy", "busy"} : QStringList{};
    const QStringList titles = clean ? QStringList{"title.caches", "title.logs", "title.trash"}
                                     : QStringList{"title.logs", "title.mail-downloads"};
    const QStringList refresh{"disk.refresh", "title.downloads", "title.mail-downloads", "notify"};
    QCOMPARE(m_screen->steps(), clean ? shown + kCleanStart + refused + titles + kCleanEnd + refresh
                                      : shown + kScanStart + refused + titles + kScanEnd);
    for (std::size_t row = 0; row < kJunkRowCount; ++row)
        QCOMPARE(exists(location(row)), !clean || (row != Caches && row != Logs && row != Trash));
    QCOMPARE(readFile(other / (std::string(junkTable()[Trash].relativePath) + "/f")), std::string("other"));
    QCOMPARE(readFile(m_home->path() + "/.cache-not-this/n"), std::string("keep"));
    QCOMPARE(find<QProgressBar>("progressIndicator")->maximum(), 1);
    QVERIFY(find<QGroupBox>("progressIndicatorBox")->isHidden());
    if (!clean) {
        QCOMPARE(box(Logs)->text(), title(Logs, logsBytes));
        QCOMPARE(box(Logs)->accessibleName(), box(Logs)->text()); // read with its size
    } else {
        QCOMPARE(find<QLabel>("diskFreeSize")->text(), QString::fromStdString(convertBytes(kFree + kGain)));
        QVERIFY(box(Caches)->isChecked()); // the refresh keeps the boxes' states
        QCOMPARE(find<QLabel>("reportLabel")->isVisibleTo(m_d->window()), !tray);
        if (!tray)
            QCOMPARE(find<QLabel>("reportLabel")->text(), L("Clean Freed") + QString::fromStdString(convertBytes(kGain)));
    }

    // Once the run has ended, the next request is taken.
    m_screen->start();
    m_d->checkAction();
    QVERIFY(m_screen->waitFor("checkItem.enabled"));
}

void TestDiskWork::quitInTheMiddleStopsAndShowsNothing_data()
{
    QTest::addColumn<bool>("removed"); // held after the removal, its scan's titles on their way
    QTest::newRow("before the first removal") << false;
    QTest::newRow("after the removal") << true;
}

void TestDiskWork::quitInTheMiddleStopsAndShowsNothing()
{
    QFETCH(bool, removed);
    m_tray = true;
    fillRows();
    if (removed)
        m_volume->holdWhen([trash = location(Trash)] { return !exists(trash); });
    else
        m_volume->holdWhen([] { return true; });
    launch();
    setBoxes("xxxxx");
    QSignalSpy quit(m_d.get(), &AppDelegate::quitRequested);
    request(true);
    // Waits without running the event loop: whatever the worker has posted
    // is still on its way.
    QVERIFY(m_volume->waitUntilHeld());

    m_screen->start();
    action("exitItem")->trigger();
    QCOMPARE(quit.count(), 1);
    QVERIFY(!m_d->window()->isVisible());
    QVERIFY(!m_d->findChild<QSystemTrayIcon*>()->isVisible());
    m_volume->open();
    QTest::qWait(100);
    // Gone from the screen at once, and nothing else shown after the quit.
    QCOMPARE(m_screen->steps(), QStringList{"window.hidden"});
    destroyApp(); // waits for the worker
    for (std::size_t row = 0; row < kJunkRowCount; ++row)
        QCOMPARE(exists(location(row)), !removed);
}

QTEST_MAIN(TestDiskWork)
#include "test_disk_work.moc"
