// The peer that bench/bench_idle.sh measures Headroom against: about the
// least a Qt 6 tray program does. A tray icon with a small menu, and at
// start an information box like Headroom's first dialog; its windows are
// titled "bare tray".
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QString title = QStringLiteral("bare tray");

    QPixmap image(22, 22);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setBrush(Qt::darkCyan);
        painter.drawEllipse(2, 2, 18, 18);
    }
    QMenu menu;
    menu.addAction(QStringLiteral("Free 1.00 GB"))->setEnabled(false);
    menu.addSeparator();
    QObject::connect(menu.addAction(QStringLiteral("Quit")), &QAction::triggered, &app, &QCoreApplication::quit);
    QSystemTrayIcon tray{QIcon(image)};
    tray.setToolTip(title);
    tray.setContextMenu(&menu);
    tray.show();

    QMessageBox box(QMessageBox::Information, title, QStringLiteral("A bare tray program."), QMessageBox::Ok);
    box.setInformativeText(QStringLiteral("It does nothing but sit in the tray."));
    box.exec();
    return QApplication::exec();
}
