// The controller under Qt's offscreen platform: start-up, the figures, the
// folder grant (and Check and Clean refused without one), every request
// reaching its handler, hiding and showing, and life without a tray. Then
// the work it runs off the main thread: the junk scan and clean (the order
// of what the window and the tray show, a second request, what the user
// changes while one runs) and the memory release, with a stand-in purge
// tool that the test holds and lets go (ending well or with a failure,
// changing the page counters on its way out); and quitting while any of
// them runs. How the walker measures, the remover removes and the tool
// purges is the core's to test; here a home with a few files is enough.
// Every string table through the window: test_locale.

#include "AppFixture.h"

#include "core/DiskText.h"
#include "core/Platform.h"
#include "core/SizeText.h"
#include "core/TreeWalker.h"
#include "core/WorkProgress.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <filesystem>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace headroom;
using namespace headroom::test;

namespace {

// The titled menu items with their keys, in the order start-up titles them.
const std::vector<std::pair<const char*, const char*>> kMenuTitles{
    {"authorizeItem", "Authorize"}, {"diskItem", "Disk"},       {"checkItem", "Check"}, {"cleanItem", "Clean"},
    {"memoryItem", "Memory"},       {"releaseItem", "Release"}, {"showItem", "Show"},   {"hideItem", "Hide"},
    {"aboutItem", "About"},         {"exitItem", "Quit"}};

const char* const kGauges[] = {"free", "wired", "active", "inactive"};

const char* const kBoxes[] = {"cachesCheckBox", "logsCheckBox", "downloadsCheckBox", "mailDownloadCheckBox",
                              "trashCheckBox"};

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
constexpr std::uint64_t kFree = 250790436864;
constexpr std::uint64_t kGain = std::uint64_t{5} << 30; // what the volume gains as the Trash goes: 5.00 GB

const QStringList kCleanStart{"progress.start", "progressBox.shown", "checkButton.disabled", "cleanButton.disabled"};
const QStringList kScanStart = kCleanStart + QStringList{"checkItem.disabled"};
const QStringList kCleanEnd{"progress.stop", "progressBox.hidden", "checkButton.enabled", "cleanButton.enabled"};
const QStringList kScanEnd = kCleanEnd + QStringList{"checkItem.enabled"};

// The fixture's page counters, and those the stand-in tool leaves: 1 GiB
// more free.
const QString kBefore = "Free 1.00 GB  Wired 2.00 GB";
const QString kAfter = "Free 2.00 GB  Wired 2.00 GB";
const QStringList kReleaseStart{"releaseProgress.shown", "releaseProgress.start", "releaseProgressBox.shown",
                                "releaseButton.disabled", "releaseItem.disabled"};
// The new figures while the release still shows as under way, and the
// report after every restoring step.
const QStringList kReleaseEnd{"memory.refresh",
                              "releaseProgress.stop",
                              "releaseProgress.hidden",
                              "releaseProgressBox.hidden",
                              "releaseButton.enabled",
                              "releaseItem.enabled",
                              "notify"};

} // namespace

class TestAppDelegate : public QObject, protected AppFixture {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startUpTitlesEverythingAndShowsTheTrayBeforeTheGrant();
    void grantRecordsTheChosenFolder_data();
    void grantRecordsTheChosenFolder();
    void eachRequestReachesItsHandler_data();
    void eachRequestReachesItsHandler();
    void withoutATrayTheWindowIsTheWayInUntilOneComes();
    void runShowsItsChangesInOrder_data();
    void runShowsItsChangesInOrder();
    void progressShowsTheRowAtHandWhileWorkRuns();
    void itemsListLargestFirstAndUntickedOnesStay_data();
    void itemsListLargestFirstAndUntickedOnesStay();
    void releaseShowsASampleTakenAfterTheTool_data();
    void releaseShowsASampleTakenAfterTheTool();
    void quitInTheMiddleStopsAndShowsNothing_data();
    void quitInTheMiddleStopsAndShowsNothing();
    void figuresAreMeasuredAgainWhenLookedAt_data();
    void figuresAreMeasuredAgainWhenLookedAt();
    void homeOnItsOwnVolumeHasItsLineAndItsReport();

private:
    QSystemTrayIcon* statusItem() const { return m_d->findChild<QSystemTrayIcon*>(); }
    QCheckBox* box(std::size_t row) const { return find<QCheckBox>(kBoxes[row]); }
    // Sets the boxes ("x" checked, "-" unchecked, "~" mixed) and marks their
    // titles, so that a title nothing wrote reads "untouched".
    void setBoxes(const char* states)
    {
        for (std::size_t row = 0; row < kJunkRowCount; ++row) {
            box(row)->setTristate(states[row] == '~');
            box(row)->setCheckState(states[row] == 'x'   ? Qt::Checked
                                    : states[row] == '~' ? Qt::PartiallyChecked
                                                         : Qt::Unchecked);
            box(row)->setText(QStringLiteral("untouched"));
        }
    }
    void request(bool clean) { button(clean ? "cleanButton" : "checkButton")->click(); }
    bool toolStarted() const
    {
        return QTest::qWaitFor([this] { return readFile(file("starts")) == "started\n"; });
    }
    void openToolGate() const { writeFile(file("gate"), "open"); }
};

void TestAppDelegate::init()
{
    setUpApp();
    writeFile(file("vmstat-after"), "nr_free_pages 32768\nnr_unevictable 32768\nnr_active_anon 49152\n"
                                    "nr_inactive_file 65536\n");
    platform::setPurgeToolPathForTesting(helper("purge-waits-for-gate.sh"));
    // Read by the stand-in tool, which inherits the environment: its files
    // are in the home.
    qputenv("HEADROOM_TEST_DIR", QByteArray::fromStdString(m_home->path()));
    qunsetenv("HEADROOM_TEST_STATUS");
}

void TestAppDelegate::cleanup()
{
    openToolGate(); // a stand-in still waiting must end before the controller waits for it
    tearDownApp();
}

void TestAppDelegate::startUpTitlesEverythingAndShowsTheTrayBeforeTheGrant()
{
    m_tray = true;
    // What the window and the tray show while the grant's alert is up.
    QStringList seen;
    m_log->duringAlert = [&] {
        const auto* tabs = find<QTabWidget>("tabView");
        seen << QString::number(tabs->count()) + tabs->tabText(0) + tabs->tabText(1)
             << action("authorizeStatusItem")->text() << action("diskStatusItem")->text()
             << action("memoryStatusItem1")->text();
        for (const auto& [name, key] : kMenuTitles)
            seen << action(name)->text();
        seen << (statusItem() && statusItem()->isVisible() && !statusItem()->icon().isNull()
                         && statusItem()->contextMenu() == find<QMenu>("statusMenu")
                     ? "tray ready"
                     : "no tray");
    };
    launch(StringTable::empty()); // every text reads as its key
    m_log->duringAlert = nullptr;

    QCOMPARE(m_log->events, (QStringList{"alert", "chooseFolder"}));
    QStringList expected{"2DiskMemory", "Not Authorized", "Total:465.76 GB  FreeDisk:233.57 GB (51%)",
                         "Free1.00 GB  Wired2.00 GB"};
    for (const auto& [name, key] : kMenuTitles)
        expected << QLatin1String(key);
    QCOMPARE(seen, expected << "tray ready");
    // Then the Memory page leaves the tabs; with a tray no window shows.
    QCOMPARE(find<QTabWidget>("tabView")->count(), 1);
    QCOMPARE(find<QTabWidget>("tabView")->tabText(0), QStringLiteral("Disk"));
    QVERIFY(!m_d->window()->isVisible());
    QVERIFY(!find<QLabel>("noTrayHintLabel")->isVisibleTo(m_d->window()));
}

void TestAppDelegate::grantRecordsTheChosenFolder_data()
{
    QTest::addColumn<bool>("firstConfirmed"); // at start-up
    QTest::addColumn<QString>("askWith");     // what asks again, if anything
    QTest::addColumn<bool>("secondConfirmed");
    QTest::addColumn<QStringList>("alerts"); // Check and Clean without a grant give the permission alert
    // The dialog (the first alert or chooser after the start, or after
    // askWith) during which Authorize, Check and Clean come from the menu.
    QTest::addColumn<QString>("meanwhile");
    const QStringList once{"Authorization"}, twice = once + once;
    const QStringList refused{"Authorization", "Permission Alert", "Authorization"};
    QTest::newRow("confirmed") << true << "" << false << once << "alert";
    QTest::newRow("cancelled") << false << "" << false << once << "chooser";
    QTest::newRow("cancelled after a grant") << true << "authorizeItem" << false << twice << "chooser";
    QTest::newRow("check without a grant, cancelled") << false << "checkButton" << false << refused << "";
    QTest::newRow("check without a grant, confirmed") << false << "checkButton" << true << refused << "alert";
    QTest::newRow("clean without a grant, cancelled") << false << "cleanButton" << false << refused << "";
    QTest::newRow("clean without a grant, confirmed") << false << "cleanButton" << true << refused << "";
}

// One grant dialog is open at a time: requests from the menu while one is
// up bring it forward, and neither open another nor start any work, not
// even with an earlier grant.
void TestAppDelegate::grantRecordsTheChosenFolder()
{
    QFETCH(bool, firstConfirmed);
    QFETCH(QString, askWith);
    QFETCH(bool, secondConfirmed);
    QFETCH(QStringList, alerts);
    QFETCH(QString, meanwhile);
    // The chooser answers with the folder the user selected, here a child
    // of the one it was showing; that child is what gets recorded. An "&"
    // in it is no mnemonic.
    const QString chosen = home() + QStringLiteral("/R&D me");
    m_log->folders = {firstConfirmed ? chosen : QString(), secondConfirmed ? chosen : QString()};
    std::function<void()>* during = meanwhile == QLatin1String("alert")     ? &m_log->duringAlert
                                    : meanwhile == QLatin1String("chooser") ? &m_log->duringChooser
                                                                            : nullptr;
    const auto fromTheMenu = [&] {
        *during = nullptr; // once
        for (const char* name : {"authorizeItem", "checkItem", "cleanItem"})
            action(name)->trigger();
    };
    if (during && askWith.isEmpty())
        *during = fromTheMenu;
    launch(StringTable::empty());
    m_screen->start();
    if (during)
        *during = fromTheMenu;
    if (askWith == QLatin1String("authorizeItem"))
        action("authorizeItem")->trigger();
    else if (!askWith.isEmpty())
        button(askWith.toLatin1().constData())->click();

    const bool asked = !askWith.isEmpty();
    QCOMPARE(m_log->alerts, alerts);
    QCOMPARE(m_log->events.count(QStringLiteral("chooseFolder")), asked ? 2 : 1);
    QCOMPARE(m_log->events.count(QStringLiteral("forward")), during ? 3 : 0);
    const bool granted = asked ? secondConfirmed : firstConfirmed;
    QCOMPARE(m_d->isAuthorized(), granted);
    // A cancelled chooser keeps the folder of an earlier grant.
    QCOMPARE(m_d->userDir(), firstConfirmed || granted ? chosen : QString());
    // As the menu shows it, mnemonics taken out.
    QCOMPARE(action("authorizeStatusItem")->iconText(),
             granted ? QStringLiteral("Authorized") + chosen : QStringLiteral("Not Authorized"));
    // Even a grant given then starts no work.
    QCoreApplication::processEvents();
    QCOMPARE(m_screen->steps(), QStringList());
}

void TestAppDelegate::eachRequestReachesItsHandler_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("handler");
    const std::vector<std::pair<const char*, std::vector<const char*>>> handlers{
        {"checkAction", {"checkItem", "checkButton"}},
        {"cleanAction", {"cleanItem", "cleanButton"}},
        {"releaseAction", {"releaseItem", "releaseButton"}},
        {"showAction", {"showItem", "authorizeStatusItem", "diskStatusItem", "memoryStatusItem1", "memoryStatusItem2"}},
        {"needUserAuthorize", {"authorizeItem"}},
        {"hideApplication", {"hideItem"}},
        {"aboutAction", {"aboutItem"}},
        {"requestQuit", {"exitItem"}}};
    for (const auto& [handler, names] : handlers)
        for (const char* name : names)
            QTest::newRow(name) << QString(name) << QString(handler);
}

void TestAppDelegate::eachRequestReachesItsHandler()
{
    QFETCH(QString, name);
    QFETCH(QString, handler);
    m_tray = true;
    launch();
    if (handler == QLatin1String("hideApplication"))
        m_d->showAction();
    QSignalSpy quit(m_d.get(), &AppDelegate::quitRequested);
    m_log->events.clear();
    m_screen->start();

    const QByteArray objectName = name.toLatin1();
    if (name.endsWith(QLatin1String("Button")))
        button(objectName.constData())->click();
    else
        action(objectName.constData())->trigger();

    const QStringList steps = m_screen->steps();
    const bool scan = handler == QLatin1String("checkAction");
    const bool diskWork = scan || handler == QLatin1String("cleanAction");
    const bool release = handler == QLatin1String("releaseAction");
    QCOMPARE(steps.contains(QStringLiteral("progress.start")), diskWork);
    QCOMPARE(steps.contains(QStringLiteral("checkItem.disabled")), scan);
    QCOMPARE(steps.contains(QStringLiteral("releaseButton.disabled")), release);
    QCOMPARE(m_log->events.contains(QStringLiteral("chooseFolder")), handler == QLatin1String("needUserAuthorize"));
    QCOMPARE(m_log->events.contains(QStringLiteral("about")), handler == QLatin1String("aboutAction"));
    QCOMPARE(quit.count(), handler == QLatin1String("requestQuit") ? 1 : 0);
    QCOMPARE(m_d->window()->isVisible(), diskWork || handler == QLatin1String("showAction"));
}

void TestAppDelegate::withoutATrayTheWindowIsTheWayInUntilOneComes()
{
    launch();
    QSignalSpy quit(m_d.get(), &AppDelegate::quitRequested);
    QLabel* hint = find<QLabel>("noTrayHintLabel");
    QVERIFY(m_d->window()->isVisible() && !statusItem()->isVisible());
    QVERIFY(hint->isVisible());
    QCOMPARE(hint->text(), L("No Tray Hint"));
    // The menu's commands are in the window's menu bar; Hide is not, and
    // does nothing, nor is Show, for the window that shows.
    QVERIFY(find<QMenu>("statusMenu")->menuAction()->associatedObjects().contains(m_d->window()->menuBar()));
    QVERIFY(!action("hideItem")->isVisible() && !action("showItem")->isVisible());
    action("hideItem")->trigger();
    QVERIFY(m_d->window()->isVisible());

    // A tray coming later takes over: Hide hides, closing is no quit, and
    // a left click on the icon opens the same menu.
    m_tray = true;
    emit m_trayWatch->changed();
    QTRY_VERIFY(statusItem()->isVisible());
    QVERIFY(!hint->isVisible() && action("hideItem")->isVisible() && action("showItem")->isVisible());
    action("hideItem")->trigger();
    QVERIFY(!m_d->window()->isVisible());
    m_d->showAction();
    m_d->window()->close();
    QCOMPARE(quit.count(), 0);
    emit statusItem()->activated(QSystemTrayIcon::Trigger);
    QTRY_VERIFY(find<QMenu>("statusMenu")->isVisible());
    find<QMenu>("statusMenu")->close();

    // The tray goes again: the window comes back, and closing it quits.
    action("hideItem")->trigger();
    m_tray = false;
    emit m_trayWatch->changed();
    QTRY_VERIFY(m_d->window()->isVisible());
    QVERIFY(hint->isVisible() && !statusItem()->isVisible());
    m_d->window()->close();
    QCOMPARE(quit.count(), 1);
}

void TestAppDelegate::runShowsItsChangesInOrder_data()
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
void TestAppDelegate::runShowsItsChangesInOrder()
{
    QFETCH(bool, clean);
    QFETCH(bool, tray);
    QFETCH(bool, hidden);
    m_tray = tray;
    fillRows(std::size_t{kMiB});
    // The caches a link, which a clean leaves in place and says so.
    std::filesystem::remove_all(location(Caches));
    QCOMPARE(::symlink("/nowhere", location(Caches).c_str()), 0);
    const std::uint64_t logsBytes = duBelow(location(Logs)).value_or(0);
    TempTree other;
    writeFile(other / (std::string(junkTable()[Trash].relativePath) + "/f"), "other");
    writeFile(other / ".config/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"$HOME/Dl\"\n");
    // A name that begins like a location's; no core test has one yet.
    writeFile(m_home->path() + "/.cache-not-this/n", "keep");
    // A clean's report tells what the volume gained, not the sum removed.
    m_volume->free = [trash = location(Trash)] { return kFree + (exists(trash) ? 0 : kGain); };
    if (clean)
        m_volume->holdWhen = [] { return true; };
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
    // The window is in front, the bar spinning, the controls locked but for
    // the menu's Clean item (and Check during a clean).
    const QStringList shown = tray ? QStringList{"window.shown"} : QStringList{}; // else it is on screen
    QCOMPARE(m_screen->steps(), shown + (clean ? kCleanStart : kScanStart));
    QVERIFY(action("cleanItem")->isEnabled());
    // A second request of either kind, as the menu's items that stay
    // enabled could make it, is refused: the tray says why.
    m_d->checkAction();
    m_d->cleanAction();
    // A new grant meanwhile: the run stays with the folder it started on.
    m_log->folders = {QString::fromStdString(other.path())};
    action("authorizeItem")->trigger();
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
    const QStringList refused = tray ? QStringList{"busy", "busy"} : QStringList{};
    const QStringList titles = clean ? QStringList{"title.caches", "title.logs", "title.trash"}
                                     : QStringList{"title.logs", "title.mail-downloads"};
    const QStringList refresh{"disk.refresh", "title.downloads", "title.mail-downloads", "notify"};
    QCOMPARE(m_screen->steps(), clean ? shown + kCleanStart + refused + titles + kCleanEnd + refresh
                                      : shown + kScanStart + refused + titles + kScanEnd);
    for (std::size_t row = 0; row < kJunkRowCount; ++row)
        QCOMPARE(exists(location(row)), !clean || (row != Logs && row != Trash));
    QCOMPARE(readFile(other / (std::string(junkTable()[Trash].relativePath) + "/f")), std::string("other"));
    QCOMPARE(readFile(m_home->path() + "/.cache-not-this/n"), std::string("keep"));
    if (!clean) {
        QCOMPARE(box(Logs)->text(),
                 QString::fromStdString(junkCheckBoxTitle(StringTable::lookup(english()), "Logs", logsBytes)));
        QCOMPARE(box(Logs)->accessibleName(), box(Logs)->text()); // read with its size
    } else {
        QCOMPARE(find<QLabel>("diskFreeSize")->text(), QStringLiteral("238.57 GB"));
        QVERIFY(box(Caches)->isChecked()); // the refresh keeps the boxes' states
        QCOMPARE(find<QLabel>("reportLabel")->isVisibleTo(m_d->window()), !tray);
        const QString link = L("Caches").trimmed() + QStringLiteral(": ") + L("Left Link") + QStringLiteral("/nowhere");
        QVERIFY(box(Caches)->toolTip().endsWith(QLatin1Char('\n') + link));
        if (!tray)
            QCOMPARE(find<QLabel>("reportLabel")->text(), L("Clean Freed") + QStringLiteral("5.00 GB\n") + link);
    }

    // Once the run has ended, the next request is taken.
    m_screen->start();
    m_d->checkAction();
    QVERIFY(m_screen->waitFor("checkItem.enabled"));
}

// A clean held after the scan that follows its removals: the window shows
// the last row measured, sampled only while the work runs. Then the counts
// as the window words them, fed by hand.
void TestAppDelegate::progressShowsTheRowAtHandWhileWorkRuns()
{
    fillRows();
    m_volume->holdWhen = [trash = location(Trash)] { return !exists(trash); };
    launch();
    setBoxes("xxxxx");
    const auto* timer = find<QTimer>("progressTimer");
    const auto* box = find<QGroupBox>("progressIndicatorBox");
    const auto* label = find<QLabel>("progressLabel");
    QVERIFY(!timer->isActive()); // no wake-ups while nothing runs
    request(true);
    QVERIFY(m_volume->waitUntilHeld());
    QTRY_COMPARE(box->title(), L("Progress Measuring").arg(L("Trash").trimmed()));
    QCOMPARE(label->text(), L("Progress Measured").arg("0", QString::fromStdString(convertBytes(0))));
    m_volume->open();
    QVERIFY(m_screen->waitFor("notify"));
    QVERIFY(!timer->isActive());

    WorkProgress progress;
    progress.begin(Caches, WorkProgress::Measuring);
    progress.add(1234567, std::uint64_t{5} << 30);
    m_d->window()->startDiskProgress(true, &progress);
    QTRY_COMPARE(label->text(), L("Progress Measured").arg("1,234,567", "5.00 GB"));
    QCOMPARE(box->title(), L("Progress Measuring").arg(L("Caches").trimmed()));
    progress.begin(Downloads, WorkProgress::Removing);
    progress.add(42, 0);
    QTRY_COMPARE(box->title(), L("Progress Removing").arg(L("Downloads").trimmed()));
    QCOMPARE(label->text(), L("Progress Removed").arg("42"));
    m_d->window()->stopDiskProgress();
    QVERIFY(!timer->isActive());
}

void TestAppDelegate::itemsListLargestFirstAndUntickedOnesStay_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("count");    // items in the row, f00 the smallest
    QTest::addColumn<int>("unticked"); // the line the user unticks; -1: none
    QTest::newRow("caches, all ticked: the row goes whole") << int(Caches) << 3 << -1;
    QTest::newRow("downloads, 23 items: 20 and the rest, one kept") << int(Downloads) << 23 << 1;
    QTest::newRow("trash: the original name, both halves kept") << int(Trash) << 3 << 0;
}

// Check lists what is inside the row, largest first with its share of the
// row; an unticked item stays through a Clean while the rest of the row
// goes, stays unticked after the clean's own scan and after a new Check.
void TestAppDelegate::itemsListLargestFirstAndUntickedOnesStay()
{
    QFETCH(int, row);
    QFETCH(int, count);
    QFETCH(int, unticked);
    const bool trash = row == Trash;
    const std::string items = location(row) + (trash ? "/files/" : "/");
    const auto name = [](int i) { return QStringLiteral("f%1").arg(i, 2, 10, QLatin1Char('0')).toStdString(); };
    for (int i = 0; i < count; ++i) {
        writeFile(items + name(i), std::string(std::size_t(1000) * (i + 1), 'x'));
        if (trash)
            writeFile(location(row) + "/info/" + name(i) + ".trashinfo",
                      "[Trash Info]\nPath=/home/me/Docs/report%20" + name(i)
                          + ".txt\nDeletionDate=2026-12-01T10:00:00\n");
    }
    launch();
    setBoxes(QByteArray("-----").replace(row, 1, "x").constData());
    const int defaultHeight = m_d->window()->height();
    request(false);
    QVERIFY(m_screen->waitFor("checkItem.enabled"));

    const QByteArray prefix = QByteArray(kBoxes[row]).replace("CheckBox", "");
    auto* toggle = find<QToolButton>(prefix + "ItemsButton");
    auto* list = find<QTreeWidget>(prefix + "Items");
    QVERIFY(toggle->isVisible() && !list->isVisible());
    toggle->click();
    QVERIFY(list->isVisible());
    QTRY_VERIFY(m_d->window()->height() > defaultHeight);
    const int shown = std::min(count, MainWindow::kShownItems);
    QCOMPARE(list->topLevelItemCount(), shown + (count > shown ? 1 : 0));
    const double rowBytes = double(measureTree(location(row)).bytes);
    const auto share = [rowBytes](std::uint64_t bytes) {
        return QString::number(qRound(100 * static_cast<double>(bytes) / rowBytes)) + '%';
    };
    for (int line = 0; line < shown; ++line) {
        const int i = count - 1 - line;
        const QTreeWidgetItem* item = list->topLevelItem(line);
        const QString text = QString::fromStdString(trash ? "report " + name(i) + ".txt" : name(i));
        QCOMPARE(item->text(0), text);
        QCOMPARE(item->text(1), QString::fromStdString(convertBytes(std::uint64_t{1000} * (i + 1))));
        QCOMPARE(item->text(3), share(std::uint64_t{1000} * (i + 1)));
        QCOMPARE(item->checkState(0), Qt::Checked);
    }
    if (count > shown) {
        const std::uint64_t rest = 1000 * std::uint64_t(count - shown) * (count - shown + 1) / 2;
        const QTreeWidgetItem* item = list->topLevelItem(shown);
        QCOMPARE(item->text(0), L("Items Rest").arg(count - shown));
        QCOMPARE(item->text(1), QString::fromStdString(convertBytes(rest)));
        QCOMPARE(item->text(3), share(rest));
        QVERIFY(!(item->flags() & Qt::ItemIsUserCheckable));
    }

    if (unticked >= 0)
        list->topLevelItem(unticked)->setCheckState(0, Qt::Unchecked);
    m_screen->start();
    request(true);
    QVERIFY(m_screen->waitFor("notify"));
    const int kept = count - 1 - unticked;
    QCOMPARE(exists(location(row)), unticked >= 0);
    for (int i = 0; i < count; ++i) {
        QCOMPARE(exists(items + name(i)), i == kept);
        if (trash)
            QCOMPARE(exists(location(row) + "/info/" + name(i) + ".trashinfo"), i == kept);
    }
    // The clean's scan lists what stayed, still unticked; so does a new
    // Check, which finds the same item.
    for (bool again : {false, true}) {
        if (again) {
            m_screen->start();
            request(false);
            QVERIFY(m_screen->waitFor("checkItem.enabled"));
        }
        QCOMPARE(list->topLevelItemCount(), unticked >= 0 ? 1 : 0);
        QCOMPARE(toggle->isVisible(), unticked >= 0);
        if (unticked >= 0)
            QCOMPARE(list->topLevelItem(0)->checkState(0), Qt::Unchecked);
    }
}

void TestAppDelegate::releaseShowsASampleTakenAfterTheTool_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("tray");
    QTest::addColumn<bool>("windowShown");
    QTest::newRow("tool succeeds") << 0 << false << true;
    QTest::newRow("password dialog dismissed") << 126 << false << true;
    QTest::newRow("application hidden in the tray") << 0 << true << true;
    QTest::newRow("hidden in the tray, window closed") << 0 << true << false;
}

void TestAppDelegate::releaseShowsASampleTakenAfterTheTool()
{
    QFETCH(int, status);
    QFETCH(bool, tray);
    QFETCH(bool, windowShown);
    qputenv("HEADROOM_TEST_STATUS", QByteArray::number(status));
    m_tray = tray;
    launch();
    QCOMPARE(action("memoryStatusItem1")->text(), kBefore);
    if (tray) {
        if (windowShown)
            m_d->showAction();
        action("hideItem")->trigger();
    }
    m_screen->start();
    action("releaseItem")->trigger();
    QVERIFY(toolStarted());
    // The tool is running: spinner on, button off, old figures. Unhiding
    // brings back only a window that was on screen.
    const QStringList unhide = tray && windowShown ? QStringList{"window.shown"} : QStringList{};
    QCOMPARE(m_screen->steps(), unhide + kReleaseStart);
    // Seen where the user looks: the menu's item, and the window when shown.
    QCOMPARE(action("releaseItem")->text(), L("Releasing"));
    QCOMPARE(find<QGroupBox>("releaseMemProgressIndicatorBox")->isVisible(), m_d->window()->isVisible());
    // A second request, as a call from elsewhere could make it, is refused.
    m_d->releaseAction();
    openToolGate();
    QVERIFY(m_screen->waitFor("notify"));

    const QStringList refused = tray ? QStringList{"busy"} : QStringList{};
    QCOMPARE(m_screen->steps(), unhide + kReleaseStart + refused + kReleaseEnd);
    QCOMPARE(readFile(file("starts")), std::string("started\n"));
    QCOMPARE(action("memoryStatusItem1")->text(), kAfter);
    // What the cache gave back, from the samples either side of the tool;
    // a failed tool frees nothing whatever the counters did. With a tray
    // the report is the tray's message.
    const QString freed = L("Release Freed") + QStringLiteral("1.00 GB");
    QCOMPARE(find<QLabel>("reportLabel")->isVisibleTo(m_d->window()), !tray);
    if (!tray)
        QCOMPARE(find<QLabel>("reportLabel")->text(), status == 0 ? freed : L("Release Cancelled"));
    QCOMPARE(action("releaseItem")->text(), L("Release"));

    // Once the first has ended, the next request is taken.
    m_screen->start();
    action("releaseItem")->trigger();
    QVERIFY(m_screen->waitFor("releaseButton.enabled"));
    QCOMPARE(readFile(file("starts")), std::string("started\nstarted\n"));
}

void TestAppDelegate::quitInTheMiddleStopsAndShowsNothing_data()
{
    QTest::addColumn<bool>("release");
    QTest::addColumn<bool>("removed"); // a clean held after its removal, its scan's titles on their way
    QTest::newRow("clean, before the first removal") << false << false;
    QTest::newRow("clean, after the removal") << false << true;
    QTest::newRow("release, while the tool runs") << true << false;
}

void TestAppDelegate::quitInTheMiddleStopsAndShowsNothing()
{
    QFETCH(bool, release);
    QFETCH(bool, removed);
    m_tray = true;
    fillRows();
    m_volume->holdWhen = [removed, trash = location(Trash)] { return !removed || !exists(trash); };
    launch();
    setBoxes("xxxxx");
    m_d->showAction();
    QSignalSpy quit(m_d.get(), &AppDelegate::quitRequested);
    // Waits for a clean without running the event loop: whatever the worker
    // has posted is still on its way.
    release ? action("releaseItem")->trigger() : request(true);
    QVERIFY(release ? toolStarted() : m_volume->waitUntilHeld());

    m_screen->start();
    action("exitItem")->trigger();
    QCOMPARE(quit.count(), 1);
    QVERIFY(!m_d->findChild<QSystemTrayIcon*>()->isVisible());
    // Gone from the screen at once, and nothing else shown after the quit,
    // though the work still runs.
    QCoreApplication::processEvents();
    QCOMPARE(m_screen->steps(), QStringList{"window.hidden"});
    // The controller, going, waits for the tool; a clean stops before its
    // next entry.
    QCOMPARE(readFile(file("ends")), std::string("<missing>"));
    release ? openToolGate() : m_volume->open();
    destroyApp();
    QCOMPARE(readFile(file("ends")), std::string(release ? "ended\n" : "<missing>"));
    for (std::size_t row = 0; row < kJunkRowCount; ++row)
        QCOMPARE(exists(location(row)), release || !removed);
}

void TestAppDelegate::figuresAreMeasuredAgainWhenLookedAt_data()
{
    QTest::addColumn<QString>("look");
    QTest::newRow("the menu opens") << "menu";
    QTest::newRow("the window is shown") << "show";
    QTest::newRow("the window, on screen, is brought forward") << "forward";
}

// The volume and the page counters change while nobody looks: nothing is
// measured (no timer) until the user looks. Then every figure reaches its
// widget and the name screen readers read, and the sizes a scan put in
// the titles stay. The home is on "/"'s volume: no line of its own.
void TestAppDelegate::figuresAreMeasuredAgainWhenLookedAt()
{
    QFETCH(QString, look);
    m_tray = true;
    fillRows();
    launch();
    if (look == QLatin1String("forward"))
        m_d->showAction();
    m_d->checkAction();
    QVERIFY(m_screen->waitFor("checkItem.enabled"));
    const QString scanned = box(Caches)->text();
    QVERIFY(scanned != L("Caches"));
    if (look == QLatin1String("show"))
        m_d->window()->close();

    m_volume->free = [] { return kFree - kGain; };
    // A different figure in each gauge: 5, 2, 3 and 4 GiB.
    writeFile(file("vmstat"), "nr_free_pages 81920\nnr_unevictable 32768\nnr_active_anon 49152\n"
                              "nr_inactive_file 65536\n");
    m_screen->start();
    QTest::qWait(50);
    QCOMPARE(m_screen->steps(), QStringList());
    if (look == QLatin1String("menu"))
        find<QMenu>("statusMenu")->popup(QPoint());
    else
        m_d->showAction();
    QVERIFY(m_screen->waitFor("memory.refresh"));
    QCOMPARE(find<QProgressBar>("diskLevelIndicator")->value(), 50);
    QCOMPARE(find<QLabel>("diskTotalSize")->accessibleName(), QStringLiteral("Total 465.76 GB"));
    QCOMPARE(find<QLabel>("diskFreeSize")->accessibleName(), QStringLiteral("Free 228.57 GB"));
    QCOMPARE(find<QProgressBar>("diskLevelIndicator")->accessibleName(), QStringLiteral("Disk 50 % used"));
    QCOMPARE(m_d->window()->summaryLines(),
             (QStringList{"Total:465.76 GB  Free:228.57 GB (50%)", "Free 5.00 GB  Wired 2.00 GB",
                          "Active 3.00 GB  Inactive 4.00 GB"}));
    QCOMPARE(statusItem()->toolTip(), m_d->window()->summaryLines().join(u'\n'));
    const QStringList titles{"Free 5.00 GB", "Wired 2.00 GB", "Active 3.00 GB", "Inactive 4.00 GB"};
    const int percents[] = {35, 14, 21, 28};
    for (qsizetype i = 0; i < titles.size(); ++i) {
        const QByteArray name = QByteArray(kGauges[i]) + "MemLevelIndicator";
        QCOMPARE(find<QGroupBox>((name + "Box").constData())->title(), titles[i]);
        QCOMPARE(find<QProgressBar>(name.constData())->value(), percents[i]);
        QCOMPARE(find<QProgressBar>(name.constData())->accessibleName(), titles[i]);
    }
    QCOMPARE(box(Caches)->text(), scanned);
    QCOMPARE(button("checkButton")->accessibleName(), QStringLiteral("Check Junk"));
    QCOMPARE(m_screen->steps().filter(QStringLiteral("title.")), QStringList());
    find<QMenu>("statusMenu")->close();
}

// The volumes as the system gives them. A home on a file system of its own
// has a line of its own under the disk line in the window and the menu,
// and a clean there reports what that volume gained; granted a folder on
// "/"'s volume, the line goes.
void TestAppDelegate::homeOnItsOwnVolumeHasItsLineAndItsReport()
{
    platform::setVolumeQueryForTesting({});
    const std::string granted = file("me");
    writeFile(granted + "/.cache/f", "");
    // A mount namespace of this thread's own, which the workers it starts
    // share; the tmpfs goes with the process.
    if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
        || ::mount("headroom-test", granted.c_str(), "tmpfs", 0, "size=64m") != 0)
        QSKIP("cannot mount a tmpfs here");
    writeFile(granted + "/.cache/f", std::string(5 * kMiB, 'x'));
    m_log->folders = {QString::fromStdString(granted)};
    launch();
    setBoxes("x----");
    const auto* line = find<QLabel>("folderDiskLine");
    QAction* item = action("folderDiskStatusItem");
    const QString shown = L("Folder Disk") + QStringLiteral("Total:64.0 MB  Free:59.0 MB (93%)");
    QVERIFY(line->isVisibleTo(m_d->window()) && item->isVisible());
    QCOMPARE(line->text(), shown);
    QCOMPARE(m_d->window()->summaryLines().mid(1, 1), QStringList{shown});

    request(true);
    QVERIFY(m_screen->waitFor("notify"));
    QCOMPARE(find<QLabel>("reportLabel")->text(), L("Clean Freed") + QStringLiteral("5.0 MB"));
    QCOMPARE(item->text(), L("Folder Disk") + QStringLiteral("Total:64.0 MB  Free:64.0 MB (100%)"));
    // Another folder granted, on "/"'s volume: the line goes at once.
    m_log->folders = {home()};
    action("authorizeItem")->trigger();
    QVERIFY(!line->isVisibleTo(m_d->window()) && !item->isVisible());
    QCOMPARE(m_d->window()->summaryLines().size(), 3);
    destroyApp();
    ::umount2(granted.c_str(), MNT_DETACH);
}

QTEST_MAIN(TestAppDelegate)
#include "test_app_delegate.moc"
