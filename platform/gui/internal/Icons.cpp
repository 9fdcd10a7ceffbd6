#include "platform/gui/internal/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace pla013::gui::internal {

namespace {
const QColor kInk(0x30, 0x30, 0x30);

// Drawn at two sizes, so that a scaled screen gets a sharp one.
template <class Draw>
QIcon drawn(Draw draw) {
    QIcon icon;
    for (int size : {16, 32}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 16.0, size / 16.0);
        draw(p);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}
}  // namespace

QIcon pageIcon(PageIcon which) {
    return drawn([which](QPainter& p) {
        const bool back = which == PageIcon::First || which == PageIcon::Previous;
        const bool bar = which == PageIcon::First || which == PageIcon::Last;
        if (back) {
            p.translate(16, 0);
            p.scale(-1, 1);
        }
        p.setPen(Qt::NoPen);
        p.setBrush(kInk);
        QPainterPath arrow;
        const double x = bar ? 4 : 5.5;
        arrow.moveTo(x, 3);
        arrow.lineTo(x + 7, 8);
        arrow.lineTo(x, 13);
        arrow.closeSubpath();
        p.drawPath(arrow);
        if (bar) p.drawRect(QRectF(11.5, 3, 2, 10));
    });
}

QIcon thumbnailsIcon() {
    return drawn([](QPainter& p) {
        p.setPen(QPen(kInk, 1));
        p.setBrush(Qt::white);
        for (int i = 0; i < 3; ++i) p.drawRect(QRectF(1.5, 1.5 + i * 4.7, 4, 3.5));
        p.setBrush(QColor(0xe8, 0xe8, 0xe8));
        p.drawRect(QRectF(7.5, 1.5, 7, 13));
    });
}

QIcon applicationIcon() {
    return drawn([](QPainter& p) {
        p.setPen(QPen(kInk, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(2.5, 0.5, 11, 15));
        p.setPen(QPen(QColor(0x80, 0x80, 0x80), 1));
        for (int i = 0; i < 3; ++i) p.drawLine(QPointF(4.5, 3 + i * 2), QPointF(11.5, 3 + i * 2));
        p.setPen(QPen(QColor(0x2a, 0x6a, 0x3a), 1.2));
        p.setBrush(QColor(0xf4, 0xe0, 0xa0));
        p.drawEllipse(QPointF(8, 11), 3.6, 2.6);
    });
}

}  // namespace pla013::gui::internal
