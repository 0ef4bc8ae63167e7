// The controller under Qt's offscreen platform: start-up, the figures, the
// folder grant, every request reaching its handler, hiding and showing, and
// life without a tray. The German table through the window: test_locale.

#include "AppFixture.h"

#include "core/Platform.h"
#include "tests/support/Seams.h"

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

QStringList tabLabels(const QTabWidget* tabs)
{
    QStringList labels;
    for (int i = 0; i < tabs->count(); ++i)
        labels << tabs->tabText(i);
    return labels;
}

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
    m_figures->tray = true;
    // What the window and the tray show while the grant's alert is up. The
    // prompt log outlives this test, so the hook keeps its own record.
    const auto seen = std::make_shared<QStringList>();
    m_log->duringAlert = [this, seen] {
        *seen << tabLabels(find<QTabWidget>("tabView")).join('|') << action("diskStatusItem")->text()
              << action("memoryStatusItem1")->text();
        for (const auto& [name, key] : kMenuTitles)
            *seen << action(name)->text();
        *seen << (statusItem() && statusItem()->isVisible() && !statusItem()->icon().isNull()
                  && statusItem()->contextMenu() == find<QMenu>("statusMenu") ? "tray ready" : "no tray");
    };
    launch(StringTable::empty());
    m_log->duringAlert = nullptr;

    QCOMPARE(m_log->events, (QStringList{"alert", "chooseFolder"}));
    QStringList expected{"Disk|Memory", "Total:465.76 GB  FreeDisk:233.57 GB (51%)", "Free1.00 GB  Wired1.00 GB"};
    for (const auto& [name, key] : kMenuTitles)
        expected << QLatin1String(key);
    QCOMPARE(*seen, expected << "tray ready");
    // Then the Memory page leaves the tabs; with a tray no window shows.
    QCOMPARE(tabLabels(find<QTabWidget>("tabView")), QStringList{"Disk"});
    QVERIFY(!m_d->window()->isVisible());
    QVERIFY(!find<QLabel>("noTrayHintLabel")->isVisibleTo(m_d->window()));
}

void TestAppDelegate::figuresReachTheirWidgetsAndNames()
{
    m_figures->memory = FixedFigures::pages(1, 2, 3, 4); // a different figure in each gauge
    launch();
    QCOMPARE(find<QLabel>("diskTotalSize")->text(), QStringLiteral("465.76 GB"));
    QCOMPARE(find<QLabel>("diskFreeSize")->text(), QStringLiteral("233.57 GB"));
    QCOMPARE(find<QProgressBar>("diskLevelIndicator")->value(), 49);
    // Screen readers read each figure with its caption.
    QCOMPARE(find<QLabel>("diskTotalSize")->accessibleName(), QStringLiteral("Total 465.76 GB"));
    QCOMPARE(find<QLabel>("diskFreeSize")->accessibleName(), QStringLiteral("Free 233.57 GB"));
    QCOMPARE(find<QProgressBar>("diskLevelIndicator")->accessibleName(), QStringLiteral("Disk 49 % used"));
    QCOMPARE(button("checkButton")->accessibleName(), QStringLiteral("Check Junk"));
    const QStringList titles{"Free 4.0 KB", "Wired 8.0 KB", "Active 12.0 KB", "Inactive 16.0 KB"};
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
    QTest::addColumn<bool>("firstConfirmed");
    QTest::addColumn<bool>("askAgain");
    QTest::newRow("confirmed") << true << false;
    QTest::newRow("cancelled") << false << false;
    QTest::newRow("cancelled after a grant") << true << true;
}

void TestAppDelegate::grantRecordsTheChosenFolder()
{
    QFETCH(bool, firstConfirmed);
    QFETCH(bool, askAgain);
    // The chooser answers with the folder the user selected, here a child
    // of the one it was showing; that child is what gets recorded.
    const QString chosen = home() + QStringLiteral("/me");
    m_log->folders = {firstConfirmed ? chosen : QString(), QString()};
    launch(StringTable::empty());
    if (askAgain)
        action("authorizeItem")->trigger();

    QCOMPARE(m_log->events.count(QStringLiteral("chooseFolder")), askAgain ? 2 : 1);
    QCOMPARE(m_log->alerts.last(), QStringLiteral("Authorization"));
    const bool granted = firstConfirmed && !askAgain;
    QCOMPARE(m_d->isAuthorized(), granted);
    // A cancelled chooser keeps the folder of an earlier grant.
    QCOMPARE(m_d->userDir(), firstConfirmed ? chosen : QString());
    QCOMPARE(action("authorizeStatusItem")->text(),
             granted ? QStringLiteral("Authorized") + chosen : QStringLiteral("Not Authorized"));
}

void TestAppDelegate::eachRequestReachesItsHandler_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("handler");
    for (const char* name : {"checkItem", "checkButton"})
        QTest::newRow(name) << name << "checkAction";
    for (const char* name : {"cleanItem", "cleanButton"})
        QTest::newRow(name) << name << "cleanAction";
    for (const char* name : {"releaseItem", "releaseButton"})
        QTest::newRow(name) << name << "releaseAction";
    for (const char* name : {"showItem", "authorizeStatusItem", "diskStatusItem", "memoryStatusItem1", "memoryStatusItem2"})
        QTest::newRow(name) << name << "showAction";
    QTest::newRow("authorizeItem") << "authorizeItem" << "needUserAuthorize";
    QTest::newRow("hideItem") << "hideItem" << "hideApplication";
    QTest::newRow("aboutItem") << "aboutItem" << "aboutAction";
    QTest::newRow("exitItem") << "exitItem" << "requestQuit";
}

void TestAppDelegate::eachRequestReachesItsHandler()
{
    QFETCH(QString, name);
    QFETCH(QString, handler);
    const SeamReset seams;
    platform::setPurgeToolPathForTesting(helper("purge-fails.sh"));
    m_figures->tray = true;
    launch();
    if (handler == QLatin1String("hideApplication"))
        m_d->showAction();
    QSignalSpy quit(m_d.get(), &AppDelegate::quitRequested);
    m_log->events.clear();
    mark("request");

    const QByteArray objectName = name.toLatin1();
    if (name.endsWith(QLatin1String("Button")))
        button(objectName.constData())->click();
    else
        action(objectName.constData())->trigger();

    const QStringList steps = m_trace->after("request");
    const bool scan = handler == QLatin1String("checkAction");
    const bool diskWork = scan || handler == QLatin1String("cleanAction");
    const bool release = handler == QLatin1String("releaseAction");
    QCOMPARE(steps.contains(QStringLiteral("progress.start")), diskWork);
    QCOMPARE(steps.contains(QStringLiteral("checkItem.disabled")), scan);
    QCOMPARE(steps.contains(QStringLiteral("tab.last")), release);
    QCOMPARE(m_log->events.contains(QStringLiteral("chooseFolder")), handler == QLatin1String("needUserAuthorize"));
    QCOMPARE(m_log->events.contains(QStringLiteral("about")), handler == QLatin1String("aboutAction"));
    QCOMPARE(quit.count(), handler == QLatin1String("requestQuit") ? 1 : 0);
    QCOMPARE(m_d->window()->isVisible(), diskWork || handler == QLatin1String("showAction"));
    if (diskWork || release)
        QVERIFY(waitForStep("request", scan ? "checkItem.enabled" : "notify"));
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
    m_figures->tray = true;
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
    m_figures->tray = false;
    QTRY_VERIFY(m_d->window()->isVisible());
    QVERIFY(hint->isVisible() && !statusItem()->isVisible());
    m_d->window()->close();
    QCOMPARE(quit.count(), 1);
}

QTEST_MAIN(TestAppDelegate)
#include "test_app_delegate.moc"
