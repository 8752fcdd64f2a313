#include "studio/app_icon.h"

#include <QPainter>
#include <QPixmap>

#include <algorithm>

namespace orvane::studio {

QIcon appIcon(bool recording) {
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF square(0, 0, size, size);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor("#1d2230"));
        painter.drawRoundedRect(square.adjusted(size * 0.04, size * 0.04, -size * 0.04, -size * 0.04), size * 0.22,
                                size * 0.22);
        painter.setPen(QPen(QColor("#e8ebf2"), std::max(1.5, size * 0.08)));
        painter.setBrush(Qt::NoBrush);
        const double ring = size * 0.30;
        painter.drawEllipse(square.center(), ring, ring);
        painter.setPen(Qt::NoPen);
        painter.setBrush(recording ? QColor("#ff453a") : QColor("#5b8cff"));
        const double dot = size * (recording ? 0.17 : 0.12);
        painter.drawEllipse(square.center(), dot, dot);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace orvane::studio
