#include "app/AppIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

QPixmap QuillbankIconPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);  // drawn on a 64 x 64 grid

    QLinearGradient tile(0, 0, 0, 64);
    tile.setColorAt(0.0, QColor(46, 117, 182));
    tile.setColorAt(1.0, QColor(20, 58, 110));
    painter.setPen(Qt::NoPen);
    painter.setBrush(tile);
    painter.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

    // Card slot: the device's file store.
    painter.setBrush(QColor(242, 184, 48));
    painter.drawRoundedRect(QRectF(36, 40, 20, 14), 3, 3);
    painter.setBrush(QColor(20, 58, 110));
    painter.drawRect(QRectF(40, 45, 12, 4));

    // Quill: a feather vane from the upper right down to a nib at the lower left.
    QPainterPath vane;
    vane.moveTo(54, 8);
    vane.cubicTo(36, 10, 20, 26, 16, 44);
    vane.cubicTo(30, 40, 46, 28, 54, 8);
    painter.setBrush(Qt::white);
    painter.drawPath(vane);
    QPen shaft(QColor(20, 58, 110), 2.0, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(shaft);
    painter.setBrush(Qt::NoBrush);
    painter.drawLine(QPointF(50, 12), QPointF(12, 54));
    return pixmap;
}

QIcon QuillbankIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(QuillbankIconPixmap(size));
    return icon;
}
