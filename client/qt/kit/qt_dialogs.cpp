#include "client/qt/kit/qt_dialogs.h"

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "client/qt/kit/bar_text.h"
#include "client/qt/kit/qt_picture.h"

namespace navlet::qt {

namespace {

QRect Geometry(const TRect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

} // namespace

int TQtDialogs::ShowAboutBox(TAboutForm& form) {
    QDialog box;
    box.setWindowTitle(FromBar(form.caption));
    box.setFixedSize(about_layout::CLIENT.Width(), about_layout::CLIENT.Height());
    box.setFont(QFont(QStringLiteral("Verdana")));
    auto* image = new QLabel(&box);
    image->setObjectName(QStringLiteral("Image1"));
    image->setPixmap(QPixmap::fromImage(PictureImage(art::aboutPicture)));
    image->setGeometry(Geometry(about_layout::PICTURE));
    auto* label = new QLabel(FromBar(form.versionLabel), &box);
    label->setObjectName(QStringLiteral("Label1"));
    label->setStyleSheet(QStringLiteral("background: white; color: black;"));
    label->adjustSize();
    label->move(about_layout::VERSION_LEFT, about_layout::VERSION_TOP);
    auto* bevel = new QFrame(&box);
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(Geometry(about_layout::BEVEL));
    auto* ok = new QPushButton(FromBar(form.okCaption), &box);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setGeometry(Geometry(about_layout::OK_BUTTON));
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &box, &QDialog::accept);
    form.modalResult = box.exec() == QDialog::Accepted ? MODAL_RESULT_OK : 0;
    return form.modalResult;
}

} // namespace navlet::qt
