// The memory release through the controller, with a stand-in purge tool
// that the test holds and lets go (ending well or with a failure, changing
// the page counters on its way out), a second request while it runs, and
// quitting in the middle. What the tool itself does and how the report is
// worded is the core's to test.

#include "AppFixture.h"

#include "core/MemoryText.h"
#include "core/Platform.h"
#include "core/SizeText.h"
#include "core/VmStatParse.h"

#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSystemTrayIcon>

using namespace headroom;
using namespace headroom::test;

namespace {

const std::string kBefore = "nr_free_pages 100000\nnr_active_anon 300000\nnr_active_file 200000\n"
                            "nr_inactive_anon 150000\nnr_inactive_file 150000\nnr_unevictable 2000\n"
                            "pgfault 1\npgactivate 1\npgpgin 4\npgpgout 4\n";
const std::string kAfter = "nr_free_pages 600000\nnr_active_anon 100000\nnr_active_file 50000\n"
                           "nr_inactive_anon 50000\nnr_inactive_file 100000\nnr_unevictable 2000\n"
                           "pgfault 2\npgactivate 2\npgpgin 8\npgpgout 8\n";
constexpr std::uint64_t kFreePagesGained = 600000 - 100000;

const QStringList kStart{"releaseProgress.shown", "releaseProgress.start", "releaseProgressBox.shown",
                         "releaseButton.disabled"};
// The new figures while the release still shows as under way, and the
// report after every restoring step.
const QStringList kEnd{"memory.refresh", "releaseProgress.stop", "releaseProgress.hidden", "releaseProgressBox.hidden",
                       "releaseButton.enabled", "notify"};

QString line1For(const std::string& vmstat)
{
    return QString::fromStdString(memoryStatusLine1(StringTable::lookup(StringTable::forLocale(QLocale(QLocale::English))),
                                                    memoryFigures(*parseProcVmstat(vmstat))));
}

} // namespace

class TestRelease : public QObject, protected AppFixture {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void releaseShowsASampleTakenAfterTheTool_data();
    void releaseShowsASampleTakenAfterTheTool();

private:
    void openToolGate() const { writeFile(file("gate"), "open"); }
};

void TestRelease::init()
{
    setUpApp();
    platform::setPageSizeForTesting(16384); // the counts below are pages of this size
    writeFile(file("vmstat"), kBefore);
    writeFile(file("vmstat-after"), kAfter);
    platform::setVmstatPathForTesting(file("vmstat"));
    platform::setPurgeToolPathForTesting(helper("purge-waits-for-gate.sh"));
    // Read by the stand-in, which inherits the environment.
    qputenv("HEADROOM_TEST_GATE", QByteArray::fromStdString(file("gate")));
    qputenv("HEADROOM_TEST_VMSTAT", QByteArray::fromStdString(file("vmstat")));
    qputenv("HEADROOM_TEST_VMSTAT_AFTER", QByteArray::fromStdString(file("vmstat-after")));
    qputenv("HEADROOM_TEST_STARTS", QByteArray::fromStdString(file("starts")));
    qputenv("HEADROOM_TEST_ENDS", QByteArray::fromStdString(file("ends")));
    qunsetenv("HEADROOM_TEST_STATUS");
}

void TestRelease::cleanup()
{
    openToolGate(); // a stand-in still waiting must end before the controller waits for it
    tearDownApp();
}

void TestRelease::releaseShowsASampleTakenAfterTheTool_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("tray");
    QTest::addColumn<bool>("windowShown");
    QTest::addColumn<bool>("quit"); // while the tool runs
    QTest::newRow("tool succeeds") << 0 << false << true << false;
    QTest::newRow("tool fails") << 5 << false << true << false;
    QTest::newRow("application hidden in the tray") << 0 << true << true << false;
    QTest::newRow("hidden in the tray, window closed") << 0 << true << false << false;
    QTest::newRow("quit while the tool runs") << 0 << true << true << true;
}

void TestRelease::releaseShowsASampleTakenAfterTheTool()
{
    QFETCH(int, status);
    QFETCH(bool, tray);
    QFETCH(bool, windowShown);
    QFETCH(bool, quit);
    qputenv("HEADROOM_TEST_STATUS", QByteArray::number(status));
    m_tray = tray;
    launch();
    QCOMPARE(action("memoryStatusItem1")->text(), line1For(kBefore));
    if (tray) {
        if (windowShown)
            m_d->showAction();
        action("hideItem")->trigger();
    }
    m_screen->start();
    action("releaseItem")->trigger();
    QTRY_COMPARE(readFile(file("starts")), std::string("started\n"));
    // The tool is running: spinner on, button off, old figures.
    const QStringList unhide = tray && windowShown ? QStringList{"window.shown"} : QStringList{};
    QCOMPARE(m_screen->steps(), unhide + kStart);
    QVERIFY(action("releaseItem")->isEnabled());
    QCOMPARE(action("memoryStatusItem1")->text(), line1For(kBefore));
    // Unhiding brings back only a window that was on screen.
    QCOMPARE(m_d->window()->isVisible(), windowShown);
    if (quit) {
        // Everything hides at once; the controller, going, waits for the
        // tool.
        QSignalSpy quitRequested(m_d.get(), &AppDelegate::quitRequested);
        action("exitItem")->trigger();
        QCOMPARE(quitRequested.count(), 1);
        QVERIFY(!m_d->findChild<QSystemTrayIcon*>()->isVisible() && !m_d->window()->isVisible());
        QCOMPARE(readFile(file("ends")), std::string("<missing>"));
        openToolGate();
        destroyApp();
        QCOMPARE(readFile(file("ends")), std::string("ended\n"));
        return;
    }
    // A second request, as the menu's item that stays enabled, is refused.
    m_d->releaseAction();
    openToolGate();
    QVERIFY(m_screen->waitFor("notify"));

    const QStringList refused = tray ? QStringList{"busy"} : QStringList{};
    QCOMPARE(m_screen->steps(), unhide + kStart + refused + kEnd);
    QCOMPARE(readFile(file("starts")), std::string("started\n"));
    QCOMPARE(action("memoryStatusItem1")->text(), line1For(kAfter));
    QCOMPARE(find<QProgressBar>("releaseMemProgressIndicator")->maximum(), 1);
    QVERIFY(find<QGroupBox>("releaseMemProgressIndicatorBox")->isHidden());
    // What the cache gave back, from the samples either side of the tool;
    // a failed tool frees nothing whatever the counters did. With a tray
    // the report is the tray's message.
    const QString freed = L("Release Freed") + QString::fromStdString(convertBytes(kFreePagesGained * platform::pageSize()));
    QCOMPARE(find<QLabel>("reportLabel")->isVisibleTo(m_d->window()), !tray);
    if (!tray)
        QCOMPARE(find<QLabel>("reportLabel")->text(), status == 0 ? freed : L("Release Failed"));

    // Once the first has ended, the next request is taken.
    m_screen->start();
    action("releaseItem")->trigger();
    QVERIFY(m_screen->waitFor("releaseButton.enabled"));
    QCOMPARE(readFile(file("starts")), std::string("started\nstarted\n"));
}

QTEST_MAIN(TestRelease)
#include "test_release.moc"
