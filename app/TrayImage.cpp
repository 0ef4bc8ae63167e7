#include "app/TrayImage.h"

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QRect>
#include <QSize>

#include <utility>

// Outside any namespace, as Q_INIT_RESOURCE requires.
static void initTrayImageResources()
{
    Q_INIT_RESOURCE(headroom);
}

namespace headroom {

namespace {

// Draws with the compiled-in pixmaps and answers QIcon::name() with the
// theme name: Qt's D-Bus tray sends name() as the item's IconName and the
// engine's sizes as its IconPixmap. (QIcon::fromTheme would give the name
// but the theme's drawings, losing the 20 px disk.)
class NamedIconEngine final : public QIconEngine {
public:
    NamedIconEngine(QIcon pixmaps, QString name) : m_pixmaps(std::move(pixmaps)), m_name(std::move(name)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        m_pixmaps.paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return m_pixmaps.pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        return m_pixmaps.pixmap(size, scale, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return m_pixmaps.actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return m_pixmaps.availableSizes(mode, state);
    }
    QString iconName() override { return m_name; }
    QString key() const override { return QStringLiteral("headroom.named"); }
    QIconEngine* clone() const override { return new NamedIconEngine(m_pixmaps, m_name); }

private:
    const QIcon m_pixmaps;
    const QString m_name;
};

} // namespace

QIcon trayImage(const QString& themeName)
{
    initTrayImageResources();
    QIcon pixmaps;
    pixmaps.addFile(QStringLiteral(":/Disk20.png"), QSize(20, 20));
    pixmaps.addFile(QStringLiteral(":/Disk20@2x.png"), QSize(40, 40));
    for (const int size : {16, 22, 24, 32, 48, 64})
        pixmaps.addFile(QStringLiteral(":/icons/%1.png").arg(size), QSize(size, size));
    if (themeName.isEmpty() || !QIcon::hasThemeIcon(themeName))
        return pixmaps;
    return QIcon(new NamedIconEngine(pixmaps, themeName));
}

} // namespace headroom
