// The window alone: which widget each figure and title goes to, the names
// screen readers read, the keyboard path, mnemonics and the icon.

#include "app/MainWindow.h"
#include "core/DiskText.h"
#include "core/JunkLocations.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

using namespace headroom;

namespace {

QString accessibleName(QObject* object)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
    return iface ? iface->text(QAccessible::Name) : QStringLiteral("<no interface>");
}

// Every visible name in the accessibility tree below `node`, by role.
void collectNames(QAccessibleInterface* node, QMultiMap<QAccessible::Role, QString>& names, int depth = 0)
{
    if (!node || depth > 30)
        return;
    if (!node->state().invisible)
        names.insert(node->role(), node->text(QAccessible::Name));
    for (int i = 0; i < node->childCount(); ++i)
        collectNames(node->child(i), names, depth + 1);
}

VMStatSchema pages(std::uint64_t free, std::uint64_t wired, std::uint64_t active, std::uint64_t inactive)
{
    VMStatSchema sample;
    sample.setPagesFree(free);
    sample.setPagesWiredDown(wired);
    sample.setPagesActive(active);
    sample.setPagesInactive(inactive);
    return sample;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void init();
    void figuresGoToTheirWidgetsAndNames();
    void rowSizeGoesToItsBoxAndARefreshTakesItAway();
    void everyControlInTheTreeHasAName();
    void tabReachesEveryControlInReadingOrder();
    void checkAndCleanHaveDistinctMnemonics_data();
    void checkAndCleanHaveDistinctMnemonics();
    void windowIconHasADoubleSize();

private:
    template <typename T>
    T* find(const char* name) const
    {
        T* object = m_window->findChild<T*>(QLatin1String(name));
        if (!object)
            qFatal("no %s", name);
        return object;
    }

    std::shared_ptr<const StringTable> m_strings = StringTable::forLocale(QLocale(QLocale::English));
    QStringList m_steps;
    std::unique_ptr<MainWindow> m_window;
};

void TestMainWindow::init()
{
    m_steps.clear();
    m_window = std::make_unique<MainWindow>(m_strings, [this](const QString& step) { m_steps << step; });
    m_window->titleMenu();
    m_window->showDisk({500107862016, 250790436864, true});
    m_window->showMemory(memoryFigures(pages(262144, 262144, 262144, 262144)));
}

void TestMainWindow::figuresGoToTheirWidgetsAndNames()
{
    QCOMPARE(find<QLabel>("diskTotalSize")->text(), QStringLiteral("465.76 GB"));
    QCOMPARE(find<QLabel>("diskFreeSize")->text(), QStringLiteral("233.57 GB"));
    QCOMPARE(accessibleName(find<QLabel>("diskTotalSize")), QStringLiteral("Total 465.76 GB"));
    QCOMPARE(accessibleName(find<QLabel>("diskFreeSize")), QStringLiteral("Free 233.57 GB"));
    QCOMPARE(find<QProgressBar>("diskLevelIndicator")->value(), 49);
    QCOMPARE(find<QGroupBox>("diskLevelIndicatorBox")->title(), QStringLiteral("49%"));
    QCOMPARE(accessibleName(find<QProgressBar>("diskLevelIndicator")), QStringLiteral("Disk 49 % used"));
    QCOMPARE(find<QAction>("diskStatusItem")->text(), QStringLiteral("Total:465.76 GB  Free:233.57 GB (51%)"));

    // Four different figures, each in its own gauge, also while the Memory
    // page is off the tabs.
    m_window->removeMemoryTab();
    m_window->showMemory(memoryFigures(pages(1, 2, 3, 4)));
    const char* const gauges[] = {"freeMem", "wiredMem", "activeMem", "inactiveMem"};
    const QStringList titles{"Free 4.0 KB", "Wired 8.0 KB", "Active 12.0 KB", "Inactive 16.0 KB"};
    for (int i = 0; i < 4; ++i) {
        const QByteArray name = QByteArray(gauges[i]) + "LevelIndicator";
        QCOMPARE(find<QGroupBox>((name + "Box").constData())->title(), titles[i]);
        QCOMPARE(find<QProgressBar>(name.constData())->value(), 10 * (i + 1));
        QCOMPARE(accessibleName(find<QProgressBar>(name.constData())), titles[i]);
    }
    QCOMPARE(find<QAction>("memoryStatusItem1")->text(), titles[0] + "  " + titles[1]);
    QCOMPARE(find<QAction>("memoryStatusItem2")->text(), titles[2] + "  " + titles[3]);
    QCOMPARE(find<QTabWidget>("tabView")->count(), 1);
}

void TestMainWindow::rowSizeGoesToItsBoxAndARefreshTakesItAway()
{
    const auto lookup = StringTable::lookup(m_strings);
    const char* const boxes[] = {"cachesCheckBox", "logsCheckBox", "downloadsCheckBox", "mailDownloadCheckBox",
                                 "trashCheckBox"};
    for (std::size_t row = 0; row < kJunkRowCount; ++row)
        m_window->showRowSize(row, 1000 * (row + 1));
    for (std::size_t row = 0; row < kJunkRowCount; ++row) {
        const QString title =
            QString::fromStdString(junkCheckBoxTitle(lookup, junkTable()[row].labelKey, 1000 * (row + 1)));
        QCOMPARE(find<QCheckBox>(boxes[row])->text(), title);
        QCOMPARE(accessibleName(find<QCheckBox>(boxes[row])), title);
        QCOMPARE(m_steps[qsizetype(row)], QStringLiteral("title.") + QLatin1String(junkTable()[row].row.data(),
                                                                                   qsizetype(junkTable()[row].row.size())));
    }
    find<QCheckBox>("cachesCheckBox")->setChecked(false);
    m_window->showDisk({1000, 500, true});
    for (std::size_t row = 0; row < kJunkRowCount; ++row)
        QCOMPARE(find<QCheckBox>(boxes[row])->text(), m_strings->text(junkTable()[row].labelKey));
    // A refresh titles the boxes; it leaves their state alone.
    QVERIFY(!find<QCheckBox>("cachesCheckBox")->isChecked());
    QVERIFY(find<QCheckBox>("logsCheckBox")->isChecked());
}

void TestMainWindow::everyControlInTheTreeHasAName()
{
    m_window->show();
    QMultiMap<QAccessible::Role, QString> names;
    collectNames(QAccessible::queryAccessibleInterface(m_window.get()), names);
    for (QAccessible::Role role : {QAccessible::CheckBox, QAccessible::Button, QAccessible::ProgressBar}) {
        QVERIFY2(names.contains(role), qPrintable(QString::number(role)));
        for (const QString& name : names.values(role))
            QVERIFY2(!name.trimmed().isEmpty() && !name.contains('&'), qPrintable(QString::number(role) + name));
    }
    const QStringList buttons = names.values(QAccessible::Button);
    QVERIFY2(buttons.contains("Check Junk") && buttons.contains("Clean Junk"), qPrintable(buttons.join('|')));
    QCOMPARE(names.values(QAccessible::CheckBox).size(), qsizetype(kJunkRowCount));
}

void TestMainWindow::tabReachesEveryControlInReadingOrder()
{
    m_window->show();
    QApplication::setActiveWindow(m_window.get());
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QTabBar* tabBar = find<QTabWidget>("tabView")->tabBar();
    tabBar->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), tabBar);

    QStringList order;
    for (int i = 0; i < 12 && !order.contains(QApplication::focusWidget()->objectName()); ++i) {
        order << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    order[0] = QStringLiteral("tabBar");
    QCOMPARE(order, (QStringList{"tabBar", "cachesCheckBox", "logsCheckBox", "downloadsCheckBox",
                                 "mailDownloadCheckBox", "trashCheckBox", "checkButton", "cleanButton"}));
    QTest::keyClick(find<QCheckBox>("cachesCheckBox"), Qt::Key_Space);
    QVERIFY(!find<QCheckBox>("cachesCheckBox")->isChecked());
}

void TestMainWindow::checkAndCleanHaveDistinctMnemonics_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::newRow("English") << QLocale(QLocale::English);
    QTest::newRow("German") << QLocale(QLocale::German);
}

void TestMainWindow::checkAndCleanHaveDistinctMnemonics()
{
    QFETCH(QLocale, locale);
    MainWindow window(StringTable::forLocale(locale), {});
    window.showDisk({});
    const QKeySequence check = QKeySequence::mnemonic(window.findChild<QPushButton*>("checkButton")->text());
    const QKeySequence clean = QKeySequence::mnemonic(window.findChild<QPushButton*>("cleanButton")->text());
    QVERIFY(!check.isEmpty());
    QVERIFY(!clean.isEmpty());
    QVERIFY(check != clean);
}

void TestMainWindow::windowIconHasADoubleSize()
{
    // At scale 2 a 20-point icon is drawn from 40 real pixels, not blown up.
    const QPixmap crisp = m_window->windowIcon().pixmap(QSize(20, 20), 2.0);
    QCOMPARE(crisp.size(), QSize(40, 40));
    QCOMPARE(crisp.devicePixelRatio(), 2.0);
}

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
