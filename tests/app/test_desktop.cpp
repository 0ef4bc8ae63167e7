// What the window offers beyond the mouse and the eye: names that screen
// readers read with the figures in them, a keyboard path through every
// control, mnemonics that do not collide, and an icon with a 2x size.

#include "WorkFixture.h"

#include "core/JunkLocations.h"
#include "core/SizeText.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace headroom;
using namespace headroom::test;

namespace {

QString accessibleName(QObject* object)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
    return iface ? iface->text(QAccessible::Name) : QStringLiteral("<no interface>");
}

// Every name in the accessibility tree below `root`, with its role.
void collectNames(QAccessibleInterface* node, QMultiMap<QAccessible::Role, QString>& names, int depth = 0)
{
    if (!node || depth > 30)
        return;
    if (!node->state().invisible)
        names.insert(node->role(), node->text(QAccessible::Name));
    for (int i = 0; i < node->childCount(); ++i)
        collectNames(node->child(i), names, depth + 1);
}

QString sizeText(std::uint64_t bytes)
{
    return QString::fromStdString(convertBytes(bytes));
}

} // namespace

class TestDesktop : public QObject, protected WorkFixture {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void namesReadTheFiguresAndFollowThem_data();
    void namesReadTheFiguresAndFollowThem();
    void everyControlInTheTreeHasAName();
    void tabReachesEveryControlInReadingOrder();
    void checkAndCleanHaveDistinctMnemonics_data();
    void checkAndCleanHaveDistinctMnemonics();
    void windowIconHasADoubleSize();

private:
    AppDelegate* launch(const QLocale& locale);
};

void TestDesktop::init()
{
    startWork();
}

void TestDesktop::cleanup()
{
    endWork();
}

AppDelegate* TestDesktop::launch(const QLocale& locale)
{
    d_ = std::make_unique<AppDelegate>(workEnvironment(StringTable::forLocale(locale), log_, figures_, trace_, gate_));
    d_->applicationDidFinishLaunching();
    return d_.get();
}

void TestDesktop::namesReadTheFiguresAndFollowThem_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("gaugeAt49");
    QTest::addColumn<QString>("gaugeAt90");
    QTest::addColumn<QString>("caches");
    QTest::newRow("English") << QLocale(QLocale::English) << "Disk 49 % used" << "Disk 90 % used" << "Caches";
    QTest::newRow("German") << QLocale(QLocale::German) << "Festplatte 49 % belegt" << "Festplatte 90 % belegt"
                            << "Caches";
}

void TestDesktop::namesReadTheFiguresAndFollowThem()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, gaugeAt49);
    QFETCH(QString, gaugeAt90);
    QFETCH(QString, caches);
    QVERIFY(writeBytes(home_->path() + "/.cache/blob", qint64{3} * 1024 * 1024));
    const std::uint64_t cacheBytes = expectedBytes(home_->path(), ".cache");
    auto* d = launch(locale);

    // The fixed figures: 465.76 GB in all, 233.57 GB free, 49 % used.
    QCOMPARE(accessibleName(d->diskLevelIndicator()), gaugeAt49);
    QVERIFY(accessibleName(d->diskTotalSize()).endsWith(QStringLiteral(" 465.76 GB")));
    QVERIFY(accessibleName(d->diskFreeSize()).endsWith(QStringLiteral(" 233.57 GB")));
    QCOMPARE(accessibleName(d->cachesCheckBox()), caches);
    QCOMPARE(accessibleName(d->freeMemLevelIndicator()), d->freeMemLevelIndicatorBox()->title().simplified());

    // A scan puts the size into the check box's name; a refresh with new
    // figures moves the gauge's name along with its value.
    d->logsCheckBox()->setChecked(false);
    d->trashCheckBox()->setChecked(false);
    d->checkButton()->click();
    QTRY_VERIFY(!d->isDiskWorkRunning());
    QCOMPARE(accessibleName(d->cachesCheckBox()), caches + ' ' + sizeText(cacheBytes));
    figures_->free = *figures_->total / 10;
    d->updateDiskUI();
    QCOMPARE(accessibleName(d->diskLevelIndicator()), gaugeAt90);
    QCOMPARE(accessibleName(d->cachesCheckBox()), caches);
}

void TestDesktop::everyControlInTheTreeHasAName()
{
    auto* d = launch(QLocale(QLocale::English));
    d->showAction(nullptr);
    QMultiMap<QAccessible::Role, QString> names;
    collectNames(QAccessible::queryAccessibleInterface(d->window()), names);

    for (QAccessible::Role role : {QAccessible::CheckBox, QAccessible::Button, QAccessible::ProgressBar}) {
        QVERIFY2(names.contains(role), qPrintable(QString::number(role)));
        for (const QString& name : names.values(role))
            QVERIFY2(!name.trimmed().isEmpty() && !name.contains('&'), qPrintable(QString::number(role) + name));
    }
    const QStringList buttons = names.values(QAccessible::Button);
    QVERIFY2(buttons.contains("Check Junk") && buttons.contains("Clean Junk"), qPrintable(buttons.join('|')));
    const QStringList boxes = names.values(QAccessible::CheckBox);
    QCOMPARE(boxes.size(), qsizetype(kJunkRowCount));
    QVERIFY(names.values(QAccessible::ProgressBar).contains("Disk 49 % used"));
}

void TestDesktop::tabReachesEveryControlInReadingOrder()
{
    auto* d = launch(QLocale(QLocale::English));
    d->showAction(nullptr);
    QApplication::setActiveWindow(d->window());
    QVERIFY(QTest::qWaitForWindowActive(d->window()));
    d->tabView()->tabBar()->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), d->tabView()->tabBar());

    QList<QWidget*> order;
    for (int i = 0; i < 12 && !order.contains(QApplication::focusWidget()); ++i) {
        order << QApplication::focusWidget();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QStringList names;
    for (QWidget* w : order)
        names << (w == d->tabView()->tabBar() ? QStringLiteral("tabBar") : w->objectName());
    QCOMPARE(names, (QStringList{"tabBar", "cachesCheckBox", "logsCheckBox", "downloadsCheckBox",
                                 "mailDownloadCheckBox", "trashCheckBox", "checkButton", "cleanButton"}));

    // A check box toggles from the keyboard.
    QTest::keyClick(d->cachesCheckBox(), Qt::Key_Space); // toggled from the keyboard
    QVERIFY(!d->cachesCheckBox()->isChecked());
}

void TestDesktop::checkAndCleanHaveDistinctMnemonics_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::newRow("English") << QLocale(QLocale::English);
    QTest::newRow("German") << QLocale(QLocale::German);
}

void TestDesktop::checkAndCleanHaveDistinctMnemonics()
{
    QFETCH(QLocale, locale);
    auto* d = launch(locale);
    const QKeySequence check = QKeySequence::mnemonic(d->checkButton()->text());
    const QKeySequence clean = QKeySequence::mnemonic(d->cleanButton()->text());
    QVERIFY(!check.isEmpty());
    QVERIFY(!clean.isEmpty());
    QVERIFY(check != clean);
}

void TestDesktop::windowIconHasADoubleSize()
{
    auto* d = launch(QLocale(QLocale::English));
    const QIcon icon = d->window()->windowIcon();
    QVERIFY(!icon.isNull());
    // At scale 2 a 20-point icon is drawn from 40 real pixels, not blown up.
    const QPixmap crisp = icon.pixmap(QSize(20, 20), 2.0);
    QCOMPARE(crisp.size(), QSize(40, 40));
    QCOMPARE(crisp.devicePixelRatio(), 2.0);
}

QTEST_MAIN(TestDesktop)
#include "test_desktop.moc"
