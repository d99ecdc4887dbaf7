// dbsync-icon: renders the window's logo into a square PNG for the desktop entry.
//
//   dbsync-icon FILE.png SIZE

#include "app/Logo.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QStringList>

#include <cstdio>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    bool ok = false;
    const int size = args.size() == 2 ? args[1].toInt(&ok) : 0;
    if (!ok || size < 16 || size > 1024) {
        std::fputs("usage: dbsync-icon FILE.png SIZE (16 to 1024)\n", stderr);
        return 2;
    }
    // The logo is wider than high: scale it to the full width and centre it.
    const QPixmap logo = dbsync::logoPixmap();
    const QSize scaled = logo.size().scaled(size, size, Qt::KeepAspectRatio);
    QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(QRect(QPoint((size - scaled.width()) / 2, (size - scaled.height()) / 2), scaled), logo);
    painter.end();
    if (!icon.save(args[0], "PNG")) {
        std::fprintf(stderr, "dbsync-icon: cannot write %s\n", qPrintable(args[0]));
        return 1;
    }
    return 0;
}
