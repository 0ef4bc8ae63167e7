#pragma once

#include <QIcon>
#include <QString>

namespace headroom {

// The tray icon's image at the sizes panels ask for: the 20 px disk (and
// its 40 px double for a 2x screen) and the application icon's PNGs from
// 16 to 64 px, all compiled in, so a large panel or a HiDPI screen gets a
// drawing of its size instead of a scaled 20 px one. Where the installed
// icon theme has `themeName` the image carries that name too, which a
// StatusNotifierItem host may use to load the theme's own file; the
// pixmaps stay these.
QIcon trayImage(const QString& themeName = QStringLiteral("headroom"));

} // namespace headroom
