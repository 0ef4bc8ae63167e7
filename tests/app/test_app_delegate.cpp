// The controller under Qt's offscreen platform: start-up, the tabs and the
// menu, the folder grant, hiding and showing, and life without a tray.

#include "AppFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace headroom;
using headroom::test::FixedFigures;
using headroom::test::PromptLog;

namespace {

struct MenuTitle {
    QAction* item;
    const char* key;
};

// The titled menu items with their keys, in the order start-up titles them.
std::vector<MenuTitle> menuTitles(const AppDelegate& d)
{
    return {{d.authorizeItem(), "Authorize"}, {d.diskItem(), "Disk"},       {d.checkItem(), "Check"},
            {d.cleanItem(), "Clean"},         {d.memoryItem(), "Memory"},   {d.releaseItem(), "Release"},
            {d.showItem(), "Show"},           {d.hideItem(), "Hide"},       {d.aboutItem(), "About"},
            {d.exitItem(), "Quit"}};
}

QStringList tabLabels(const QTabWidget* tabs)
{
    QStringList labels;
    for (int i = 0; i < tabs->count(); ++i)
        labels << tabs->tabText(i);
    return labels;
}

} // namespace

class TestAppDelegate : public QObject {
    Q_OBJECT

private slots:
    void init();

    void beforeLaunchNothingIsGranted();
    void startupTitlesAndFillsEverythingBeforeTheGrant();
    void startupEndsWithTheDiskTabAloneWhateverTheGrant_data();
    void startupEndsWithTheDiskTabAloneWhateverTheGrant();
    void emptyTableShowsEveryKey();
    void germanTableTitlesTheMenuAndTabs();
    void memoryTabKeepsBeingWrittenOffScreen();

    void grantConfirmedRecordsTheChosenFolder();
    void grantCancelledAtFirstStart();
    void grantCancelledAfterAGrantKeepsTheFolder();
    void authorizeItemAsksAgain();

    void showActionBringsBackAHiddenWindow();
    void showActionShowsTheWindowWhenNotHidden();
    void unhideRestoresOnlyAWindowThatWasOnScreen();
    void closingTheWindowLeavesTheTrayRunning();
    void leftClickOpensTheMenu();
    void aboutAndQuitItems();

    void withoutTrayTheWindowIsTheWayIn();
    void trayAppearingLaterTakesOver();
    void trayGoingAwayBringsTheWindowBack();

private:
    std::unique_ptr<AppDelegate> make(std::shared_ptr<const StringTable> strings = StringTable::empty());
    std::unique_ptr<AppDelegate> launch(std::shared_ptr<const StringTable> strings = StringTable::empty());

    std::shared_ptr<PromptLog> log_;
    std::shared_ptr<FixedFigures> figures_;
    std::unique_ptr<QTemporaryDir> home_;
};

void TestAppDelegate::init()
{
    log_ = std::make_shared<PromptLog>();
    figures_ = std::make_shared<FixedFigures>();
    home_ = std::make_unique<QTemporaryDir>();
    QVERIFY(home_->isValid());
}

std::unique_ptr<AppDelegate> TestAppDelegate::make(std::shared_ptr<const StringTable> strings)
{
    return std::make_unique<AppDelegate>(test::environment(std::move(strings), log_, figures_));
}

std::unique_ptr<AppDelegate> TestAppDelegate::launch(std::shared_ptr<const StringTable> strings)
{
    auto delegate = make(std::move(strings));
    delegate->applicationDidFinishLaunching();
    return delegate;
}

void TestAppDelegate::beforeLaunchNothingIsGranted()
{
    const auto d = make();
    // Every titled item is in the menu the tray opens.
    for (const MenuTitle& t : menuTitles(*d))
        QVERIFY2(d->statusMenu()->actions().contains(t.item), t.key);
    for (QAction* line : {d->authorizeStatusItem(), d->diskStatusItem(), d->memoryStatusItem1(), d->memoryStatusItem2()})
        QVERIFY(d->statusMenu()->actions().contains(line));
    QCOMPARE(d->tabView()->count(), 2);
    QVERIFY(!d->statusItem());
    QVERIFY(!d->isAuthorized());
    QVERIFY(d->userDir().isNull());
    QVERIFY(!d->progressIndicatorBox()->isVisibleTo(d->window()));
    QVERIFY(!d->releaseMemProgressIndicatorBox()->isVisibleTo(d->window()));
}

void TestAppDelegate::startupTitlesAndFillsEverythingBeforeTheGrant()
{
    figures_->tray = true;
    log_->folders = {home_->path()};
    auto d = make();
    // What the window shows while the alert is up. The prompt log outlives
    // this test, so its hook holds its own state rather than our locals.
    struct DuringGrant {
        QStringList tabs;
        QStringList titles;
        QString diskLine;
        QString memoryLine;
        bool trayReady = false;
    };
    const auto seen = std::make_shared<DuringGrant>();
    log_->duringAlert = [seen, delegate = d.get()] {
        seen->tabs = tabLabels(delegate->tabView());
        for (const MenuTitle& t : menuTitles(*delegate))
            seen->titles << t.item->text();
        seen->diskLine = delegate->diskStatusItem()->text();
        seen->memoryLine = delegate->memoryStatusItem1()->text();
        seen->trayReady = delegate->statusItem() && delegate->statusItem()->contextMenu() == delegate->statusMenu()
            && !delegate->statusItem()->icon().isNull() && delegate->statusItem()->isVisible();
    };

    d->applicationDidFinishLaunching();
    log_->duringAlert = nullptr;

    QCOMPARE(log_->events, (QStringList{"alert", "chooseFolder"}));
    QVERIFY(seen->trayReady);
    QCOMPARE(seen->tabs, (QStringList{"Disk", "Memory"}));
    QStringList keys;
    for (const MenuTitle& t : menuTitles(*d))
        keys << QString::fromLatin1(t.key);
    QCOMPARE(seen->titles, keys);
    QCOMPARE(seen->diskLine, QStringLiteral("Total:465.76 GB  FreeDisk:233.57 GB (51%)"));
    QCOMPARE(seen->memoryLine, QStringLiteral("Free1.00 GB  Wired1.00 GB"));
}

void TestAppDelegate::startupEndsWithTheDiskTabAloneWhateverTheGrant_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::newRow("granted") << true;
    QTest::newRow("cancelled") << false;
}

void TestAppDelegate::startupEndsWithTheDiskTabAloneWhateverTheGrant()
{
    QFETCH(bool, confirm);
    if (confirm)
        log_->folders = {home_->path()};
    const auto d = launch();

    QCOMPARE(tabLabels(d->tabView()), QStringList{"Disk"});
    QVERIFY(d->tabView()->widget(0)->isAncestorOf(d->diskLevelIndicator()));
    // Selecting the first or the last tab now both mean the Disk tab.
    d->tabView()->setCurrentIndex(d->tabView()->count() - 1);
    QVERIFY(d->tabView()->currentWidget()->isAncestorOf(d->cachesCheckBox()));

    QCOMPARE(d->authorizeStatusItem()->text(),
             confirm ? QStringLiteral("Authorized") + home_->path() : QStringLiteral("Not Authorized"));
    QCOMPARE(d->diskStatusItem()->text(), QStringLiteral("Total:465.76 GB  FreeDisk:233.57 GB (51%)"));
    QCOMPARE(d->memoryStatusItem1()->text(), QStringLiteral("Free1.00 GB  Wired1.00 GB"));
    QCOMPARE(d->memoryStatusItem2()->text(), QStringLiteral("Active1.00 GB  Inactive1.00 GB"));
}

void TestAppDelegate::emptyTableShowsEveryKey()
{
    const auto d = launch(StringTable::empty());

    for (const MenuTitle& t : menuTitles(*d))
        QCOMPARE(t.item->text(), QString::fromLatin1(t.key));
    QCOMPARE(d->tabView()->tabText(0), QStringLiteral("Disk"));
    QCOMPARE(d->totalLabel()->text(), QStringLiteral("Total"));
    QCOMPARE(d->freeLabel()->text(), QStringLiteral("FreeDisk"));
    const QStringList boxes{"Caches", "Logs", "Downloads", "Mail Download", "Trash"};
    for (std::size_t row = 0; row < kJunkRowCount; ++row)
        QCOMPARE(d->junkCheckBoxes()[row]->text(), boxes[int(row)]);
    QCOMPARE(d->checkButton()->text(), QStringLiteral("Check"));
    QCOMPARE(d->cleanButton()->text(), QStringLiteral("Clean"));
    QCOMPARE(d->releaseButton()->text(), QStringLiteral("Release"));
    QCOMPARE(d->authorizeStatusItem()->text(), QStringLiteral("Not Authorized"));
    QCOMPARE(log_->alertMessage, QStringLiteral("Authorization"));
    QCOMPARE(log_->alertInformative, QStringLiteral("Authorization Need"));
    QCOMPARE(d->noTrayHintLabel()->text(), QStringLiteral("No Tray Hint"));
}

void TestAppDelegate::germanTableTitlesTheMenuAndTabs()
{
    const auto german = StringTable::forLocale(QLocale(QLocale::German, QLocale::Germany));
    const auto english = StringTable::forLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(german->language().left(2), QStringLiteral("de"));
    log_->folders = {home_->path()};
    const auto d = launch(german);

    for (const MenuTitle& t : menuTitles(*d)) {
        QCOMPARE(t.item->text(), german->text(t.key));
        QVERIFY2(t.item->text() != english->text(t.key), t.key);
    }
    QCOMPARE(d->tabView()->tabText(0), german->text("Disk"));
    QCOMPARE(d->authorizeStatusItem()->text(), german->text("Authorized") + home_->path());
    QCOMPARE(d->diskStatusItem()->text(), QStringLiteral("Gesamt:465.76 GB  Frei:233.57 GB (51%)"));
    QCOMPARE(log_->alertMessage, german->text("Authorization"));
}

void TestAppDelegate::memoryTabKeepsBeingWrittenOffScreen()
{
    const auto d = launch();
    QWidget* memoryPage = d->freeMemLevelIndicatorBox()->parentWidget();
    QCOMPARE(d->tabView()->indexOf(memoryPage), -1);

    figures_->memory = FixedFigures::pages(1, 2, 0, 0);
    d->updateMemUI();
    QCOMPARE(d->freeMemLevelIndicatorBox()->title(), QStringLiteral("Free4.0 KB"));
    QCOMPARE(d->wiredMemLevelIndicator()->value(), 66);
    QCOMPARE(d->memoryStatusItem1()->text(), QStringLiteral("Free4.0 KB  Wired8.0 KB"));
    QCOMPARE(d->tabView()->count(), 1);
}

void TestAppDelegate::grantConfirmedRecordsTheChosenFolder()
{
    // The chooser answers with the folder the user selected, here a child
    // of the folder it was showing; that child is what gets recorded.
    const QString chosen = home_->filePath(QStringLiteral("me"));
    log_->folders = {chosen};
    const auto d = make();
    d->needUserAuthorize(nullptr);

    QCOMPARE(log_->events, (QStringList{"alert", "chooseFolder"}));
    QVERIFY(d->isAuthorized());
    QCOMPARE(d->userDir(), chosen);
    QCOMPARE(d->authorizeStatusItem()->text(), QStringLiteral("Authorized") + chosen);
}

void TestAppDelegate::grantCancelledAtFirstStart()
{
    const auto d = launch();
    QVERIFY(!d->isAuthorized());
    QVERIFY(d->userDir().isNull());
    QCOMPARE(d->authorizeStatusItem()->text(), QStringLiteral("Not Authorized"));
}

void TestAppDelegate::grantCancelledAfterAGrantKeepsTheFolder()
{
    log_->folders = {home_->path(), QString()};
    const auto d = launch();
    QVERIFY(d->isAuthorized());

    d->needUserAuthorize(nullptr);
    QCOMPARE(log_->events, (QStringList{"alert", "chooseFolder", "alert", "chooseFolder"}));
    QVERIFY(!d->isAuthorized());
    QCOMPARE(d->userDir(), home_->path());
    QCOMPARE(d->authorizeStatusItem()->text(), QStringLiteral("Not Authorized"));
}

void TestAppDelegate::authorizeItemAsksAgain()
{
    const QString second = home_->filePath(QStringLiteral("other"));
    log_->folders = {home_->path(), second};
    const auto d = launch();
    d->authorizeItem()->trigger();
    QCOMPARE(log_->events.count(QStringLiteral("chooseFolder")), 2);
    QCOMPARE(d->userDir(), second);
    QCOMPARE(d->authorizeStatusItem()->text(), QStringLiteral("Authorized") + second);
}

void TestAppDelegate::showActionBringsBackAHiddenWindow()
{
    figures_->tray = true;
    const auto d = launch();
    d->showAction(nullptr);
    QVERIFY(d->window()->isVisible());

    d->hideItem()->trigger();
    QVERIFY(d->isApplicationHidden());
    QVERIFY(!d->window()->isVisible());

    d->showAction(nullptr);
    QVERIFY(!d->isApplicationHidden());
    QVERIFY(d->window()->isVisible());
}

void TestAppDelegate::showActionShowsTheWindowWhenNotHidden()
{
    figures_->tray = true;
    const auto d = launch();
    QVERIFY(!d->window()->isVisible()); // a tray is there: start-up shows no window
    d->showItem()->trigger();
    QVERIFY(d->window()->isVisible());
    QVERIFY(!d->isApplicationHidden());

    // The summary lines lead to the window too.
    for (QAction* line : {d->authorizeStatusItem(), d->diskStatusItem(), d->memoryStatusItem1(), d->memoryStatusItem2()}) {
        d->window()->close();
        line->trigger();
        QVERIFY2(d->window()->isVisible(), qPrintable(line->objectName()));
    }
}

void TestAppDelegate::unhideRestoresOnlyAWindowThatWasOnScreen()
{
    figures_->tray = true;
    const auto d = launch();
    d->hideApplication(); // window closed at the time
    QVERIFY(d->isApplicationHidden());
    d->unhideApplication();
    QVERIFY(!d->isApplicationHidden());
    QVERIFY(!d->window()->isVisible());

    d->showAction(nullptr);
    d->hideApplication();
    d->unhideApplication();
    QVERIFY(d->window()->isVisible());
}

void TestAppDelegate::closingTheWindowLeavesTheTrayRunning()
{
    figures_->tray = true;
    const auto d = launch();
    QSignalSpy quit(d.get(), &AppDelegate::quitRequested);
    d->showAction(nullptr);
    QVERIFY(d->window()->close());
    QVERIFY(!d->window()->isVisible());
    QVERIFY(d->statusItem()->isVisible());
    QCOMPARE(quit.count(), 0);
    d->showAction(nullptr);
    QVERIFY(d->window()->isVisible());
}

void TestAppDelegate::leftClickOpensTheMenu()
{
    figures_->tray = true;
    const auto d = launch();
    QVERIFY(!d->statusMenu()->isVisible());
    emit d->statusItem()->activated(QSystemTrayIcon::Trigger);
    QTRY_VERIFY(d->statusMenu()->isVisible());
    d->statusMenu()->close();
}

void TestAppDelegate::aboutAndQuitItems()
{
    const auto d = launch(StringTable::forLocale(QLocale(QLocale::English)));
    QSignalSpy quit(d.get(), &AppDelegate::quitRequested);

    d->aboutItem()->trigger();
    QCOMPARE(log_->events.last(), QStringLiteral("about"));
    QCOMPARE(log_->aboutTitle, d->L("About"));
    QVERIFY(log_->aboutText.contains(QStringLiteral("Headroom " HEADROOM_VERSION)));
    QVERIFY(log_->aboutText.contains(d->L("Licence") + QStringLiteral(HEADROOM_LICENCE)));
    QCOMPARE(quit.count(), 0);

    d->exitItem()->trigger();
    QCOMPARE(quit.count(), 1);
}

void TestAppDelegate::withoutTrayTheWindowIsTheWayIn()
{
    const auto d = launch();
    QSignalSpy quit(d.get(), &AppDelegate::quitRequested);

    QVERIFY(d->window()->isVisible());
    QVERIFY(!d->statusItem()->isVisible());
    QVERIFY(d->noTrayHintLabel()->isVisible());
    // The menu's commands are in the window's menu bar.
    QVERIFY(d->statusMenu()->menuAction()->associatedObjects().contains(d->window()->menuBar()));
    QVERIFY(!d->hideItem()->isVisible());
    d->hideApplication();
    QVERIFY(!d->isApplicationHidden());
    QVERIFY(d->window()->isVisible());

    d->window()->close();
    QCOMPARE(quit.count(), 1);
}

void TestAppDelegate::trayAppearingLaterTakesOver()
{
    const auto d = launch();
    QVERIFY(!d->isInTray());
    figures_->tray = true;
    QTRY_VERIFY(d->statusItem()->isVisible());
    QVERIFY(d->isInTray());
    QVERIFY(!d->noTrayHintLabel()->isVisible());
    QVERIFY(d->hideItem()->isVisible());

    QSignalSpy quit(d.get(), &AppDelegate::quitRequested);
    d->window()->close();
    QCOMPARE(quit.count(), 0);
}

void TestAppDelegate::trayGoingAwayBringsTheWindowBack()
{
    figures_->tray = true;
    const auto d = launch();
    d->showAction(nullptr);
    d->hideApplication();
    QVERIFY(!d->window()->isVisible());

    figures_->tray = false;
    QTRY_VERIFY(d->window()->isVisible());
    QVERIFY(!d->isApplicationHidden());
    QVERIFY(d->noTrayHintLabel()->isVisible());
    QVERIFY(!d->statusItem()->isVisible());
}

QTEST_MAIN(TestAppDelegate)
#include "test_app_delegate.moc"
