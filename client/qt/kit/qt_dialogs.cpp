#include "client/qt/kit/qt_dialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

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

int TQtDialogs::ShowReportBox(TReportForm& form) {
    namespace L = report_layout;
    QDialog box;
    box.setObjectName(QStringLiteral("ReportForm"));
    box.setWindowTitle(FromBar(form.caption));
    box.setFixedSize(L::CLIENT.Width(), L::CLIENT.Height());
    box.setFont(QFont(QStringLiteral("Verdana")));
    auto* prompt = new QLabel(FromBar(form.prompt), &box);
    prompt->setGeometry(Geometry(L::PROMPT));
    auto* reasons = new QButtonGroup(&box);
    for (int i = 0; i < int(form.reasons.size()); ++i) {
        auto* reason = new QRadioButton(FromBar(form.reasons[size_t(i)]), &box);
        reason->setGeometry(Geometry(L::Reason(i)));
        reason->setChecked(i == form.reason);
        reasons->addButton(reason, i);
    }
    auto* label = new QLabel(FromBar(form.textLabel), &box);
    label->setGeometry(Geometry(L::TEXT_LABEL));
    auto* text = new QLineEdit(FromBar(form.text), &box);
    text->setObjectName(QStringLiteral("ReportText"));
    text->setGeometry(Geometry(L::TEXT));
    if (form.textMaxLength > 0)
        text->setMaxLength(form.textMaxLength);
    label->setBuddy(text);
    auto* alsoIgnore = new QCheckBox(FromBar(form.alsoIgnoreCaption), &box);
    alsoIgnore->setObjectName(QStringLiteral("AlsoIgnore"));
    alsoIgnore->setGeometry(Geometry(L::ALSO_IGNORE));
    alsoIgnore->setChecked(form.alsoIgnore);
    auto* bevel = new QFrame(&box);
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(Geometry(L::BEVEL));
    auto* ok = new QPushButton(FromBar(form.okCaption), &box);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setGeometry(Geometry(L::OK_BUTTON));
    ok->setDefault(true);
    // A report names its reason: OK waits for one.
    ok->setEnabled(reasons->checkedId() >= 0);
    QObject::connect(reasons, &QButtonGroup::idClicked, ok, [ok] { ok->setEnabled(true); });
    auto* cancel = new QPushButton(FromBar(form.cancelCaption), &box);
    cancel->setObjectName(QStringLiteral("CancelButton"));
    cancel->setGeometry(Geometry(L::CANCEL_BUTTON));
    QObject::connect(ok, &QPushButton::clicked, &box, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, &box, &QDialog::reject);
    form.modalResult = box.exec() == QDialog::Accepted ? MODAL_RESULT_OK : 0;
    form.reason = reasons->checkedId();
    form.text = ToBar(text->text());
    form.alsoIgnore = alsoIgnore->isChecked();
    return form.modalResult;
}

} // namespace navlet::qt
