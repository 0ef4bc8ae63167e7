// The application's own choice of language: the window and the menu speak
// the table that the process environment selects. Each ctest case runs this
// with its own LANG, LC_ALL and LANGUAGE and names the language it expects
// in HEADROOM_EXPECT_LANGUAGE.

#include "AppFixture.h"

#include "core/DiskText.h"

#include <QTabWidget>

using namespace headroom;
using namespace headroom::test;

class TestLocale : public QObject, protected AppFixture {
    Q_OBJECT

private slots:
    void init() { setUpApp(); }
    void cleanup() { tearDownApp(); }
    void windowSpeaksTheLanguageOfTheEnvironment();
};

void TestLocale::windowSpeaksTheLanguageOfTheEnvironment()
{
    const QString expected = qEnvironmentVariable("HEADROOM_EXPECT_LANGUAGE");
    QVERIFY2(!expected.isEmpty(), "HEADROOM_EXPECT_LANGUAGE names the language this case expects");
    const auto table = StringTable::forLocale(QLocale(expected));
    QCOMPARE(table->language().left(2), expected);
    launch(AppEnvironment::live().strings); // the table the application itself picks

    // Each kind of text comes from that table: a menu item, a button, a
    // tab, a status line, the grant's alert. Not merely English: each table
    // has its own wording.
    QCOMPARE(action("checkItem")->text(), table->text("Check"));
    QCOMPARE(action("checkItem")->text() == english()->text("Check"), expected == QLatin1String("en"));
    QCOMPARE(button("cleanButton")->text(), table->text("Clean"));
    QCOMPARE(find<QTabWidget>("tabView")->tabText(0), table->text("Disk"));
    QCOMPARE(action("authorizeStatusItem")->text(), table->text("Authorized") + home());
    QCOMPARE(action("diskStatusItem")->text(),
             QString::fromStdString(diskStatusLine(StringTable::lookup(table), *m_figures.total, *m_figures.free)));
    QCOMPARE(m_log.alerts.first(), table->text("Authorization"));
}

QTEST_MAIN(TestLocale)
#include "test_locale.moc"
