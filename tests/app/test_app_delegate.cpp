// The controller under Qt's offscreen platform: start-up, the figures, the
// folder grant (and Check and Clean refused without one), every request
// reaching its handler, hiding and showing, and life without a tray. Every
// string table through the window: test_locale.

#include "AppFixture.h"

#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTabWidget>

using namespace headroom;
using namespace headroom::test;

namespace {

// The titled menu items with their keys, in the order start-up titles them.
const std::vector<std::pair<const char*, const char*>> kMenuTitles{
    {"authorizeItem", "Authorize"}, {"diskItem", "Disk"}, {"checkItem", "Check"},   {"cleanItem", "Clean"},
    {"memoryItem", "Memory"},       {"releaseItem", "Release"}, {"showItem", "Show"}, {"hideItem", "Hide"},
    {"aboutItem", "About"},         {"exitItem", "Quit"}};

const char* const kGauges[] = {"free", "wired", "active", "inactive"};

} // namespace

class TestAppDelegate : public QObject, protected AppFixture {
    Q_OBJECT

private slots:
    void init() { setUpApp(); }
    void cleanup() { tearDownApp(); }

    void startUpTitlesEverythingAndShowsTheTrayBeforeTheGrant();
    void figuresReachTheirWidgetsAndNames();
    void grantRecordsTheChosenFolder_data();
    void grantRecordsTheChosenFolder();
    void eachRequestReachesItsHandler_data();
    void eachRequestReachesItsHandler();
    void withoutATrayTheWindowIsTheWayInUntilOneComes();

private:
    QSystemTrayIcon* statusItem() const { return m_d->findChild<QSystemTrayIcon*>(); }
};

void TestAppDelegate::startUpTitlesEverythingAndShowsTheTrayBeforeTheGrant()
{
    m_tray = true;
    // What the window and the tray show while the grant's alert is up.
    QStringList seen;
    m_log.duringAlert = [&] {
        const auto* tabs = find<QTabWidget>("tabView");
        seen << QString::number(tabs->count()) + tabs->tabText(0) + tabs->tabText(1)
             << action("diskStatusItem")->text() << action("memoryStatusItem1")->text();
        for (const auto& [name, key] : kMenuTitles)
            seen << action(name)->text();
        seen << (statusItem() && statusItem()->isVisible() && !statusItem()->icon().isNull()
                 && statusItem()->contextMenu() == find<QMenu>("statusMenu") ? "tray ready" : "no tray");
    };
    launch(StringTable::empty());
    m_log.duringAlert = nullptr;

    QCOMPARE(m_log.events, (QStringList{"alert", "chooseFolder"}));
    QStringList expected{"2DiskMemory", "Total:465.76 GB  FreeDisk:233.57 GB (51%)", "Free1.00 GB  Wired2.00 GB"};
    for (const auto& [name, key] : kMenuTitles)
        expected << QLatin1String(key);
    QCOMPARE(seen, expected << "tray ready");
    // Then the Memory page leaves the tabs; with a tray no window shows.
    QCOMPARE(find<QTabWidget>("tabView")->count(), 1);
    QCOMPARE(find<QTabWidget>("tabView")->tabText(0), QStringLiteral("Disk"));
    QVERIFY(!m_d->window()->isVisible());
    QVERIFY(!find<QLabel>("noTrayHintLabel")->isVisibleTo(m_d->window()));
}

void TestAppDelegate::figuresReachTheirWidgetsAndNames()
{
    launch(); // a different figure in each gauge
    QCOMPARE(find<QLabel>("diskTotalSize")->text(), QStringLiteral("465.76 GB"));
    QCOMPARE(find<QLabel>("diskFreeSize")->text(), QStringLiteral("233.57 GB"));
    QCOMPARE(find<QProgressBar>("diskLevelIndicator")->value(), 49);
    // Screen readers read each figure with its caption.
    QCOMPARE(find<QLabel>("diskTotalSize")->accessibleName(), QStringLiteral("Total 465.76 GB"));
    QCOMPARE(find<QLabel>("diskFreeSize")->accessibleName(), QStringLiteral("Free 233.57 GB"));
    QCOMPARE(find<QProgressBar>("diskLevelIndicator")->accessibleName(), QStringLiteral("Disk 49 % used"));
    QCOMPARE(button("checkButton")->accessibleName(), QStringLiteral("Check Junk"));
    const QStringList titles{"Free 1.00 GB", "Wired 2.00 GB", "Active 3.00 GB", "Inactive 4.00 GB"};
    for (qsizetype i = 0; i < titles.size(); ++i) {
        const QByteArray name = QByteArray(kGauges[i]) + "MemLevelIndicator";
        QCOMPARE(find<QGroupBox>((name + "Box").constData())->title(), titles[i]);
        QCOMPARE(find<QProgressBar>(name.constData())->value(), 10 * int(i + 1));
        QCOMPARE(find<QProgressBar>(name.constData())->accessibleName(), titles[i]);
    }
    QCOMPARE(action("memoryStatusItem2")->text(), titles[2] + "  " + titles[3]);
}

void TestAppDelegate::grantRecordsTheChosenFolder_data()
{
    QTest::addColumn<bool>("firstConfirmed"); // at start-up
    QTest::addColumn<QString>("askWith");     // what asks again, if anything
    QTest::addColumn<bool>("secondConfirmed");
    QTest::newRow("confirmed") << true << "" << false;
    QTest::newRow("cancelled") << false << "" << false;
    QTest::newRow("cancelled after a grant") << true << "authorizeItem" << false;
    QTest::newRow("check without a grant, cancelled") << false << "checkButton" << false;
    QTest::newRow("check without a grant, confirmed") << false << "checkButton" << true;
    QTest::newRow("clean without a grant, cancelled") << false << "cleanButton" << false;
    QTest::newRow("clean without a grant, confirmed") << false << "cleanButton" << true;
}

void TestAppDelegate::grantRecordsTheChosenFolder()
{
    QFETCH(bool, firstConfirmed);
    QFETCH(QString, askWith);
    QFETCH(bool, secondConfirmed);
    // The chooser answers with the folder the user selected, here a child
    // of the one it was showing; that child is what gets recorded.
    const QString chosen = home() + QStringLiteral("/me");
    m_log.folders = {firstConfirmed ? chosen : QString(), secondConfirmed ? chosen : QString()};
    QString lineWhileAsking;
    m_log.duringAlert = [&] {
        if (lineWhileAsking.isNull())
            lineWhileAsking = action("authorizeStatusItem")->text();
    };
    launch(StringTable::empty());
    QCOMPARE(lineWhileAsking, QStringLiteral("Not Authorized"));
    m_screen->start();
    if (askWith == QLatin1String("authorizeItem"))
        action("authorizeItem")->trigger();
    else if (!askWith.isEmpty())
        button(askWith.toLatin1().constData())->click();

    // Check and Clean without a grant give the permission alert, then ask.
    const bool asked = !askWith.isEmpty();
    QStringList alerts{"Authorization"};
    if (askWith.endsWith(QLatin1String("Button")))
        alerts << QStringLiteral("Permission Alert");
    QCOMPARE(m_log.alerts, asked ? alerts << QStringLiteral("Authorization") : alerts);
    QCOMPARE(m_log.events.count(QStringLiteral("chooseFolder")), asked ? 2 : 1);
    const bool granted = asked ? secondConfirmed : firstConfirmed;
    QCOMPARE(m_d->isAuthorized(), granted);
    // A cancelled chooser keeps the folder of an earlier grant.
    QCOMPARE(m_d->userDir(), firstConfirmed || granted ? chosen : QString());
    QCOMPARE(action("authorizeStatusItem")->text(),
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
    platform::setPurgeToolPathForTesting(helper("purge-fails.sh"));
    m_tray = true;
    launch();
    if (handler == QLatin1String("hideApplication"))
        m_d->showAction();
    QSignalSpy quit(m_d.get(), &AppDelegate::quitRequested);
    m_log.events.clear();
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
    QCOMPARE(m_log.events.contains(QStringLiteral("chooseFolder")), handler == QLatin1String("needUserAuthorize"));
    QCOMPARE(m_log.events.contains(QStringLiteral("about")), handler == QLatin1String("aboutAction"));
    QCOMPARE(quit.count(), handler == QLatin1String("requestQuit") ? 1 : 0);
    QCOMPARE(m_d->window()->isVisible(), diskWork || handler == QLatin1String("showAction"));
    if (diskWork || release)
        QVERIFY(m_screen->waitFor(scan ? "checkItem.enabled" : "notify"));
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
    // does nothing.
    QVERIFY(find<QMenu>("statusMenu")->menuAction()->associatedObjects().contains(m_d->window()->menuBar()));
    QVERIFY(!action("hideItem")->isVisible());
    action("hideItem")->trigger();
    QVERIFY(m_d->window()->isVisible());

    // A tray coming later takes over: Hide hides, closing is no quit, and
    // a left click on the icon opens the same menu.
    m_tray = true;
    emit m_trayWatch->changed();
    QTRY_VERIFY(statusItem()->isVisible());
    QVERIFY(!hint->isVisible() && action("hideItem")->isVisible());
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

QTEST_MAIN(TestAppDelegate)
#include "test_app_delegate.moc"
