// The application's own choice of language: the window and the menu speak
// the table that the process environment selects. Each ctest case runs this
// with its own LANG, LC_ALL and LANGUAGE and names the language it expects
// in HEADROOM_EXPECT_LANGUAGE.

#include "AppFixture.h"

#include <QPushButton>
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

    for (const char* key : {"Check", "Clean", "Release", "Authorize", "Quit"})
        QCOMPARE(m_d->window()->L(key), table->text(key));
    QCOMPARE(action("checkItem")->text(), table->text("Check"));
    QCOMPARE(find<QPushButton>("cleanButton")->text(), table->text("Clean"));
    QCOMPARE(find<QTabWidget>("tabView")->tabText(0), table->text("Disk"));
    QCOMPARE(m_log->alerts.first(), table->text("Authorization"));
}

QTEST_MAIN(TestLocale)
#include "test_locale.moc"
