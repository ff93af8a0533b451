#include "client/qt/bar/pictures.h"

#include <QPainter>
#include <QPainterPath>

#include "client/core/components.h"
#include "client/core/lists.h"
#include "client/core/module_state.h"
#include "client/qt/kit/qt_kit.h"

namespace navlet::qt {

namespace {

QPixmap Blank(int size) {
    QPixmap p(size, size);
    p.fill(Qt::transparent);
    return p;
}

QPixmap Led(const QColor& colour) {
    QPixmap p = Blank(16);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    QRadialGradient shine(QPointF(6, 6), 7);
    shine.setColorAt(0, colour.lighter(160));
    shine.setColorAt(1, colour);
    g.setBrush(shine);
    g.setPen(QPen(colour.darker(170), 1));
    g.drawEllipse(QRectF(2.5, 2.5, 11, 11));
    return p;
}

QPixmap Person(const QColor& colour, bool member) {
    QPixmap p = Blank(12);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(Qt::NoPen);
    g.setBrush(colour);
    g.drawEllipse(QRectF(3.5, 0.5, 5, 5));
    g.drawRoundedRect(QRectF(1.5, 6, 9, 6), 3, 3);
    if (member) {
        // The chat member's mark: a small gold dot at the top right.
        g.setBrush(QColor(240, 180, 0));
        g.setPen(QPen(Qt::black, 0.5));
        g.drawEllipse(QRectF(8, 0.5, 3.5, 3.5));
    }
    return p;
}

} // namespace

QPixmap Glyph16(int index) {
    switch (index) {
    case glMinimise: {
        QPixmap p = Blank(16);
        QPainter g(&p);
        g.fillRect(QRect(4, 10, 8, 2), Qt::black);
        return p;
    }
    case glRestore: {
        QPixmap p = Blank(16);
        QPainter g(&p);
        g.setPen(Qt::black);
        g.drawRect(QRect(3, 4, 9, 7));
        g.fillRect(QRect(3, 4, 10, 2), Qt::black);
        return p;
    }
    case glLedNews:
        return Led(QColor(40, 200, 40));
    case glLedError:
        return Led(QColor(220, 30, 30));
    case glLedSignedIn:
        return Led(QColor(150, 150, 150));
    case glLedConnecting:
        return Led(QColor(250, 240, 150));
    default:
        return {};
    }
}

QPixmap StateImage12(int index) {
    const QColor male(40, 90, 200);
    const QColor female(220, 80, 150);
    const QColor other(120, 120, 120);
    switch (index) {
    case giMale:
        return Person(male, false);
    case giFemale:
        return Person(female, false);
    case giMaleMember:
        return Person(male, true);
    case giFemaleMember:
        return Person(female, true);
    case giOther:
        return Person(other, false);
    case giOtherMember:
        return Person(other, true);
    default:
        return {};
    }
}

QImage DefaultBannerImage() {
    FillDefBannerPixels();
    QImage image(DEF_BANNER_WIDTH, DEF_BANNER_HEIGHT, QImage::Format_RGB32);
    for (int x = 0; x < DEF_BANNER_WIDTH; ++x) {
        for (int y = 0; y < DEF_BANNER_HEIGHT; ++y)
            image.setPixelColor(x, y, ColorOf(defBannerPixels[size_t(x * DEF_BANNER_HEIGHT + y)]));
    }
    return image;
}

QPixmap LogoImage() {
    QPixmap p(73, 25);
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setRenderHint(QPainter::TextAntialiasing);
    QFont font(QStringLiteral("Verdana"));
    font.setPixelSize(17);
    font.setBold(true);
    font.setItalic(true);
    g.setFont(font);
    g.setPen(QColor(20, 40, 110));
    g.drawText(QRect(1, 1, 73, 25), Qt::AlignCenter, QStringLiteral("navlet"));
    g.setPen(Qt::white);
    g.drawText(QRect(0, 0, 73, 25), Qt::AlignCenter, QStringLiteral("navlet"));
    return p;
}

} // namespace navlet::qt
