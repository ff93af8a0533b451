#include "client/qt/kit/qt_dialogs.h"

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>

#include "client/qt/kit/ansi.h"

namespace navlet::qt {

namespace {

// The About box's design size and places.
constexpr int CLIENT_WIDTH = 450;
constexpr int CLIENT_HEIGHT = 333;
constexpr int PICTURE_WIDTH = 449;
constexpr int PICTURE_HEIGHT = 281;
const QPoint VERSION_LABEL_AT(283, 124);
constexpr int BEVEL_Y = 288;
const QRect OK_BUTTON(188, 300, 75, 25);

// The About picture: a sky gradient with the product's name, drawn here so
// that the module carries no image file.
QPixmap AboutPicture() {
    QPixmap picture(PICTURE_WIDTH, PICTURE_HEIGHT);
    QPainter p(&picture);
    QLinearGradient sky(0, 0, 0, PICTURE_HEIGHT);
    sky.setColorAt(0, QColor(20, 60, 140));
    sky.setColorAt(1, QColor(120, 190, 250));
    p.fillRect(picture.rect(), sky);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 60));
    for (int i = 0; i < 5; ++i)
        p.drawEllipse(QPoint(60 + 80 * i, 220 - 15 * i), 70 - 8 * i, 30 - 3 * i);
    QFont title(QStringLiteral("Verdana"));
    title.setPixelSize(48);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 40, PICTURE_WIDTH, 70), Qt::AlignCenter, QStringLiteral("Navlet"));
    QFont small(QStringLiteral("Verdana"));
    small.setPixelSize(13);
    p.setFont(small);
    p.drawText(QRect(0, 150, PICTURE_WIDTH, 30), Qt::AlignCenter,
               QStringLiteral("people on the same site, in your browser"));
    return picture;
}

} // namespace

int TQtDialogs::ShowAboutBox(TAboutForm& form) {
    QDialog box;
    box.setWindowTitle(FromAnsi(form.caption));
    box.setFixedSize(CLIENT_WIDTH, CLIENT_HEIGHT);
    box.setFont(QFont(QStringLiteral("Verdana")));
    auto* image = new QLabel(&box);
    image->setObjectName(QStringLiteral("Image1"));
    image->setPixmap(AboutPicture());
    image->setGeometry(0, 0, PICTURE_WIDTH, PICTURE_HEIGHT);
    auto* label = new QLabel(FromAnsi(form.versionLabel), &box);
    label->setObjectName(QStringLiteral("Label1"));
    label->setStyleSheet(QStringLiteral("background: white; color: black;"));
    label->adjustSize();
    label->move(VERSION_LABEL_AT);
    auto* bevel = new QFrame(&box);
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(0, BEVEL_Y, CLIENT_WIDTH, 2);
    auto* ok = new QPushButton(FromAnsi(form.okCaption), &box);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setGeometry(OK_BUTTON);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &box, &QDialog::accept);
    form.modalResult = box.exec() == QDialog::Accepted ? MODAL_RESULT_OK : 0;
    return form.modalResult;
}

} // namespace navlet::qt
