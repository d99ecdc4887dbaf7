#include "app/Logo.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace dbsync {

namespace {

void drawDrum(QPainter &p, qreal x, qreal y, const QColor &colour)
{
    const qreal w = 34, h = 44, lid = 10;
    QLinearGradient shade(x, 0, x + w, 0);
    shade.setColorAt(0, colour.lighter(150));
    shade.setColorAt(1, colour.darker(130));
    QPainterPath body;
    body.moveTo(x, y + lid / 2);
    body.lineTo(x, y + h - lid / 2);
    body.arcTo(x, y + h - lid, w, lid, 180, 180);
    body.lineTo(x + w, y + lid / 2);
    body.arcTo(x, y, w, lid, 0, -180);
    p.setPen(QPen(colour.darker(170), 1));
    p.setBrush(shade);
    p.drawPath(body);
    p.setBrush(colour.lighter(170));
    p.drawEllipse(QRectF(x, y, w, lid));
    p.setBrush(Qt::NoBrush);
    for (qreal band : {h / 3, 2 * h / 3})
        p.drawArc(QRectF(x, y + band - lid / 2, w, lid), 180 * 16, 180 * 16);
}

}  // namespace

QPixmap logoPixmap()
{
    QPixmap pixmap(184, 84);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient back(0, 0, 0, 84);
    back.setColorAt(0, QColor(0xf4, 0xf8, 0xfd));
    back.setColorAt(1, QColor(0xc9, 0xdc, 0xf2));
    p.setPen(QPen(QColor(0x5b, 0x83, 0xb5), 1));
    p.setBrush(back);
    p.drawRoundedRect(QRectF(0.5, 0.5, 183, 83), 8, 8);

    drawDrum(p, 12, 10, QColor(0x3c, 0x78, 0xc8));
    drawDrum(p, 138, 10, QColor(0x3a, 0xa0, 0x5a));

    // Arrow from the sample drum to the target drum.
    p.setPen(QPen(QColor(0xe0, 0x7a, 0x1f), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(54, 32), QPointF(124, 32));
    p.setBrush(QColor(0xe0, 0x7a, 0x1f));
    p.setPen(Qt::NoPen);
    p.drawPolygon(QPolygonF({QPointF(134, 32), QPointF(120, 24), QPointF(120, 40)}));

    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Micro Hei")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(18);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(0x23, 0x3f, 0x66));
    p.drawText(QRectF(0, 56, 184, 26), Qt::AlignCenter, QStringLiteral("dbsync"));
    p.end();
    return pixmap;
}

}  // namespace dbsync
