// Whether the application may construct its Qt objects at all, and what
// the built program does when it may not.

#include "app/DisplayCheck.h"
#include "l10n/StringTable.h"

#include <QProcess>
#include <QtTest>

using headroom::canOpenWindows;

class TestDisplayCheck : public QObject {
    Q_OBJECT

private slots:
    void windowsCanOpen_data();
    void windowsCanOpen();
    void programWithoutADisplayExitsWithOneLine_data();
    void programWithoutADisplayExitsWithOneLine();
};

// Each case as the program sees it: the environment, and a -platform
// argument that, when given, wins over QT_QPA_PLATFORM.
void TestDisplayCheck::windowsCanOpen_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("wayland");
    QTest::addColumn<bool>("canOpen");

    // clang-format off
    QTest::newRow("nothing at all") << "" << "" << "" << "" << false;
    QTest::newRow("X display") << "" << "" << ":0" << "" << true;
    QTest::newRow("Wayland display") << "" << "" << "" << "wayland-0" << true;
    QTest::newRow("offscreen needs no server") << "" << "offscreen" << "" << "" << true;
    QTest::newRow("xcb without DISPLAY") << "" << "xcb" << "" << "wayland-0" << false;
    QTest::newRow("xcb with options") << "" << "xcb:dpi=96" << ":1" << "" << true;
    QTest::newRow("wayland without WAYLAND_DISPLAY") << "" << "wayland" << ":0" << "" << false;
    QTest::newRow("fallback list, second works") << "" << "wayland;xcb" << ":0" << "" << true;
    QTest::newRow("fallback list, none works") << "" << "wayland-egl;xcb" << "" << "" << false;
    QTest::newRow("-platform offscreen over xcb") << "offscreen" << "xcb" << "" << "" << true;
    QTest::newRow("-platform xcb over offscreen") << "xcb" << "offscreen" << "" << "" << false;
}

void TestDisplayCheck::windowsCanOpen()
{
    QFETCH(QString, argument);
    QFETCH(QString, platform);
    QFETCH(QString, display);
    QFETCH(QString, wayland);
    QFETCH(bool, canOpen);
    qputenv("QT_QPA_PLATFORM", platform.toUtf8());
    qputenv("DISPLAY", display.toUtf8());
    qputenv("WAYLAND_DISPLAY", wayland.toUtf8());
    QByteArray value = argument.toUtf8();
    char program[] = "headroom";
    char option[] = "-platform";
    char* argv[] = {program, option, value.data(), nullptr};
    QCOMPARE(canOpenWindows(headroom::currentDisplayEnvironment(argument.isEmpty() ? 1 : 3, argv)), canOpen);
}

void TestDisplayCheck::programWithoutADisplayExitsWithOneLine_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("language");
    QTest::newRow("C locale") << "C.UTF-8" << "en";
    QTest::newRow("German locale") << "de_DE.UTF-8" << "de";
    // clang-format on
}

void TestDisplayCheck::programWithoutADisplayExitsWithOneLine()
{
    QFETCH(QString, lang);
    QFETCH(QString, language);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "LC_ALL", "LC_MESSAGES", "LANGUAGE"})
        environment.remove(QLatin1String(name));
    environment.insert(QStringLiteral("LANG"), lang);
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(HEADROOM_APP_PATH), {});
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 2);
    const QString expected = QStringLiteral("headroom: ")
                             + headroom::StringTable::forLocale(QLocale(language))->text("No Display")
                             + QLatin1Char('\n');
    QCOMPARE(QString::fromUtf8(program.readAllStandardError()), expected);
    QCOMPARE(program.readAllStandardOutput(), QByteArray());
}

QTEST_GUILESS_MAIN(TestDisplayCheck)
#include "test_display_check.moc"
