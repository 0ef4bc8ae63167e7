// Whether the application may construct its Qt objects at all.

#include "app/DisplayCheck.h"

#include <QtTest>

using headroom::canOpenWindows;
using headroom::DisplayEnvironment;

class TestDisplayCheck : public QObject {
    Q_OBJECT

private slots:
    void decides_data();
    void decides();
    void platformArgumentWins();
};

void TestDisplayCheck::decides_data()
{
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("wayland");
    QTest::addColumn<bool>("canOpen");

    QTest::newRow("nothing at all") << "" << "" << "" << false;
    QTest::newRow("X display") << "" << ":0" << "" << true;
    QTest::newRow("Wayland display") << "" << "" << "wayland-0" << true;
    QTest::newRow("offscreen needs no server") << "offscreen" << "" << "" << true;
    QTest::newRow("xcb without DISPLAY") << "xcb" << "" << "wayland-0" << false;
    QTest::newRow("xcb with options") << "xcb:dpi=96" << ":1" << "" << true;
    QTest::newRow("wayland without WAYLAND_DISPLAY") << "wayland" << ":0" << "" << false;
    QTest::newRow("fallback list, second works") << "wayland;xcb" << ":0" << "" << true;
    QTest::newRow("fallback list, none works") << "wayland-egl;xcb" << "" << "" << false;
}

void TestDisplayCheck::decides()
{
    QFETCH(QString, platform);
    QFETCH(QString, display);
    QFETCH(QString, wayland);
    QFETCH(bool, canOpen);
    QCOMPARE(canOpenWindows({platform.toStdString(), display.toStdString(), wayland.toStdString()}), canOpen);
}

void TestDisplayCheck::platformArgumentWins()
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    char program[] = "headroom";
    char option[] = "-platform";
    char value[] = "offscreen";
    char* argv[] = {program, option, value, nullptr};
    const DisplayEnvironment environment = headroom::currentDisplayEnvironment(3, argv);
    QCOMPARE(QString::fromStdString(environment.platform), QStringLiteral("offscreen"));
    QVERIFY(canOpenWindows(environment));
    QVERIFY(!canOpenWindows(headroom::currentDisplayEnvironment(1, argv)));
}

QTEST_APPLESS_MAIN(TestDisplayCheck)
#include "test_display_check.moc"
