#include "app/AppDelegate.h"
#include "app/DisplayCheck.h"
#include "l10n/StringTable.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

#include <cstdio>

int main(int argc, char** argv)
{
    // Qt aborts when it cannot reach a display; say so plainly instead.
    if (!headroom::canOpenWindows(headroom::currentDisplayEnvironment(argc, argv))) {
        const auto strings = headroom::StringTable::forSystemLocale();
        std::fprintf(stderr, "headroom: %s\n", strings->utf8("No Display").c_str());
        return 2;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Headroom"));
    QApplication::setApplicationVersion(QStringLiteral(HEADROOM_VERSION));
    QApplication::setQuitOnLastWindowClosed(false); // the tray icon keeps running

    headroom::AppEnvironment environment = headroom::AppEnvironment::live();
    // Qt's own dialogs (the folder chooser) in the language of our table, so
    // that a language we have no table for does not get half-translated.
    QTranslator qtDialogs;
    if (qtDialogs.load(QLocale(environment.strings->language()), QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtDialogs);

    headroom::AppDelegate delegate(std::move(environment));
    QApplication::setWindowIcon(delegate.window()->windowIcon());
    QObject::connect(&delegate, &headroom::AppDelegate::quitRequested, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    QTimer::singleShot(0, &delegate, &headroom::AppDelegate::applicationDidFinishLaunching);
    return QApplication::exec();
}
