#include "client/qt/kit/qt_dialogs.h"

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "client/qt/kit/ansi.h"
#include "client/qt/kit/qt_picture.h"

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

} // namespace

int TQtDialogs::ShowAboutBox(TAboutForm& form) {
    QDialog box;
    box.setWindowTitle(FromAnsi(form.caption));
    box.setFixedSize(CLIENT_WIDTH, CLIENT_HEIGHT);
    box.setFont(QFont(QStringLiteral("Verdana")));
    auto* image = new QLabel(&box);
    image->setObjectName(QStringLiteral("Image1"));
    image->setPixmap(QPixmap::fromImage(PictureImage(art::aboutPicture)));
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
