#include "app/OrvikImages.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>

namespace {

constexpr int kSide = 32;

QPixmap canvas() {
    QPixmap pixmap(kSide, kSide);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QPen pen() {
    QPen p(QGuiApplication::palette().color(QPalette::WindowText), 2.5);
    p.setCapStyle(Qt::RoundCap);
    p.setJoinStyle(Qt::RoundJoin);
    return p;
}

// A terminal window with a prompt.
QPixmap connectImage() {
    QPixmap pixmap = canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(pen());
    p.drawRoundedRect(QRectF(3, 5, 26, 22), 3, 3);
    p.drawPolyline(QPolygonF({QPointF(9, 12), QPointF(13, 16), QPointF(9, 20)}));
    p.drawLine(QPointF(15, 21), QPointF(22, 21));
    return pixmap;
}

QPixmap pullDownImage() {
    QPixmap pixmap = canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(pen());
    p.drawPolyline(QPolygonF({QPointF(10, 13), QPointF(16, 19), QPointF(22, 13)}));
    return pixmap;
}

// A window with its left pane marked.
QPixmap sidebarImage() {
    QPixmap pixmap = canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(pen());
    p.drawRoundedRect(QRectF(3, 6, 26, 20), 3, 3);
    p.drawLine(QPointF(12, 6), QPointF(12, 26));
    return pixmap;
}

// A keyboard: a frame with two rows of keys and a space bar.
QPixmap keyboardImage() {
    QPixmap pixmap = canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(pen());
    p.drawRoundedRect(QRectF(2, 8, 28, 17), 3, 3);
    for (int column = 0; column < 5; ++column) {
        p.drawPoint(QPointF(7 + column * 4.5, 13));
        p.drawPoint(QPointF(7 + column * 4.5, 17));
    }
    p.drawLine(QPointF(11, 21), QPointF(21, 21));
    return pixmap;
}

} // namespace

QIcon OrvikImageNamed(const QString& name) {
    if (name == QLatin1String("TBConnectButtonTemplate")) return QIcon(connectImage());
    if (name == QLatin1String("TBPullDownTemplate")) return QIcon(pullDownImage());
    if (name == QLatin1String("TBSidebarTemplate")) return QIcon(sidebarImage());
    if (name == QLatin1String("preference-keyboard")) return QIcon(keyboardImage());
    return {};
}
