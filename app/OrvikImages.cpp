#include "app/OrvikImages.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>

namespace {

constexpr int kSide = 32;

QPen pen(qreal width = 2.5) {
    QPen p(QGuiApplication::palette().color(QPalette::WindowText), width);
    p.setCapStyle(Qt::RoundCap);
    p.setJoinStyle(Qt::RoundJoin);
    return p;
}

// A transparent square drawn antialiased in the palette's text colour.
template <typename Draw>
QIcon drawn(qreal penWidth, Draw draw) {
    QPixmap pixmap(kSide, kSide);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(pen(penWidth));
    draw(p);
    p.end();
    return QIcon(pixmap);
}

// A terminal window with a prompt.
QIcon connectImage() {
    return drawn(2.5, [](QPainter& p) {
        p.drawRoundedRect(QRectF(3, 5, 26, 22), 3, 3);
        p.drawPolyline(QPolygonF({QPointF(9, 12), QPointF(13, 16), QPointF(9, 20)}));
        p.drawLine(QPointF(15, 21), QPointF(22, 21));
    });
}

QIcon pullDownImage() {
    return drawn(2.5, [](QPainter& p) {
        p.drawPolyline(QPolygonF({QPointF(10, 13), QPointF(16, 19), QPointF(22, 13)}));
    });
}

// A window with its left pane marked.
QIcon sidebarImage() {
    return drawn(2.5, [](QPainter& p) {
        p.drawRoundedRect(QRectF(3, 6, 26, 20), 3, 3);
        p.drawLine(QPointF(12, 6), QPointF(12, 26));
    });
}

// A keyboard: a frame with two rows of keys and a space bar.
QIcon keyboardImage() {
    return drawn(2.5, [](QPainter& p) {
        p.drawRoundedRect(QRectF(2, 8, 28, 17), 3, 3);
        for (int column = 0; column < 5; ++column) {
            p.drawPoint(QPointF(7 + column * 4.5, 13));
            p.drawPoint(QPointF(7 + column * 4.5, 17));
        }
        p.drawLine(QPointF(11, 21), QPointF(21, 21));
    });
}

// Two stacked server boxes with their lights.
QIcon serversImage() {
    return drawn(2, [](QPainter& p) {
        const QColor ink = p.pen().color();
        for (int y : {5, 18}) {
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(QRectF(4, y, 24, 9), 2, 2);
            p.setBrush(ink);
            p.drawEllipse(QPointF(9, y + 4.5), 1.5, 1.5);
        }
    });
}

} // namespace

QIcon OrvikImageNamed(const QString& name) {
    if (name == QLatin1String("TBConnectButtonTemplate")) return connectImage();
    if (name == QLatin1String("TBPullDownTemplate")) return pullDownImage();
    if (name == QLatin1String("TBSidebarTemplate")) return sidebarImage();
    if (name == QLatin1String("preference-keyboard")) return keyboardImage();
    if (name == QLatin1String("preference-servers")) return serversImage();
    return {};
}
