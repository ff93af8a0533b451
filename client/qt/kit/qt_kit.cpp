#include "client/qt/kit/qt_kit.h"

#include <canberra.h>

#include <cmath>

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLocale>
#include <QMessageBox>
#include <QPalette>
#include <QProcess>
#include <QTimer>

#include <dlfcn.h>

#include "client/kit/round_rect.h"
#include "client/qt/kit/bar_text.h"

namespace navlet::qt {

namespace {

constexpr double MS_PER_DAY = 86400000.0;
const QDate DAY_ZERO(1899, 12, 30);
// The service's own host; NAVLET_SERVER and NAVLET_WEB point elsewhere.
constexpr const char* SERVICE_HOST = "www.navlet.net";
constexpr const char* BROWSER_PROGRAM = "navlet-browser";

} // namespace

double DateTimeToDays(const QDateTime& t) {
    return double(DAY_ZERO.daysTo(t.date())) + t.time().msecsSinceStartOfDay() / MS_PER_DAY;
}

QDateTime DaysToDateTime(double days, Qt::TimeSpec timeSpec) {
    const double whole = std::floor(days);
    const qint64 ms = qint64(std::llround((days - whole) * MS_PER_DAY));
    QDateTime t(DAY_ZERO.addDays(qint64(whole)), QTime(0, 0), timeSpec);
    return t.addMSecs(ms);
}

double TQtClock::LocalNow() const {
    return DateTimeToDays(QDateTime::currentDateTime());
}

double TQtClock::UtcNow() const {
    return DateTimeToDays(QDateTime::currentDateTimeUtc());
}

double TQtClock::UtcToLocal(double utc) const {
    return DateTimeToDays(DaysToDateTime(utc, Qt::UTC).toLocalTime());
}

std::string TQtClock::ShortDate(double local) const {
    const QDate date = DaysToDateTime(local, Qt::LocalTime).date();
    return ToBar(QLocale().toString(date, QLocale::ShortFormat));
}

TQtScheduler::~TQtScheduler() {
    for (auto& [handle, timer] : timers)
        delete timer;
}

TTimerHandle TQtScheduler::Start(uint32_t intervalMs, std::function<void()> tick) {
    const TTimerHandle handle = nextHandle++;
    auto* timer = new QTimer(this);
    timer->setInterval(int(intervalMs));
    // The scroll steps of the ticker are 50 ms: keep them even.
    timer->setTimerType(intervalMs < 1000 ? Qt::PreciseTimer : Qt::CoarseTimer);
    QObject::connect(timer, &QTimer::timeout, this, [this, handle, tick = std::move(tick)] {
        // A tick may stop this timer: keep the callable alive for this call.
        const std::function<void()> call = tick;
        if (timers.count(handle))
            call();
    });
    timers[handle] = timer;
    timer->start();
    return handle;
}

void TQtScheduler::Stop(TTimerHandle handle) {
    auto it = timers.find(handle);
    if (it == timers.end())
        return;
    it->second->stop();
    it->second->deleteLater(); // maybe inside its own timeout
    timers.erase(it);
}

QFont FontOf(const TFont& font) {
    QFont f(QString::fromStdString(font.name));
    f.setPixelSize(std::max(1, int(std::lround(font.pointSize * 96.0 / 72.0))));
    return f;
}

QColor ColorOf(TColor color) {
    if (IsSystemColor(color)) {
        const QPalette palette = QGuiApplication::palette();
        switch (color) {
        case clWindow:
            return palette.color(QPalette::Base);
        case clWindowText:
            return palette.color(QPalette::Text);
        case clBtnFace:
            return palette.color(QPalette::Button);
        case clInactiveCaptionText:
            return palette.color(QPalette::Disabled, QPalette::Text); // a visible grey
        default:
            return palette.color(QPalette::Window);
        }
    }
    return QColor(int(color & 0xFF), int(color >> 8 & 0xFF), int(color >> 16 & 0xFF));
}

int32_t TQtTextMetrics::TextWidth(const TFont& font, const std::string& text) {
    return QFontMetrics(FontOf(font)).horizontalAdvance(FromBar(text));
}

namespace {

QRect RectOf(const TRect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

void PaintOp(QPainter& p, const TFillRect& op) {
    p.fillRect(RectOf(op.rect), ColorOf(op.color));
}

void PaintOp(QPainter& p, const TTextOut& op) {
    p.save();
    const QFont font = FontOf(op.font);
    const QFontMetrics metrics(font);
    const QString text = FromBar(op.text);
    if (op.clipped)
        p.setClipRect(RectOf(op.clip), Qt::IntersectClip);
    if (op.opaque)
        p.fillRect(QRect(op.x, op.y, metrics.horizontalAdvance(text), metrics.height()),
                   ColorOf(op.background));
    p.setFont(font);
    p.setPen(ColorOf(op.font.color));
    p.drawText(op.x, op.y + metrics.ascent(), text);
    p.restore();
}

// Pixel for pixel the shape of the ticker's hit map, so that the hand cursor
// shows exactly over a button's inside.
void PaintOp(QPainter& p, const TRoundRect& op) {
    const QColor fill = ColorOf(op.fill);
    const QColor pen = ColorOf(op.pen);
    ForEachRoundRectPixel(
        op.rect, op.ellipseWidth, op.ellipseHeight,
        [&](int32_t x0, int32_t x1, int32_t y) { p.fillRect(QRect(x0, y, x1 - x0 + 1, 1), fill); },
        [&](int32_t x, int32_t y) { p.fillRect(QRect(x, y, 1, 1), pen); });
}

} // namespace

void TQtCanvas::PaintDisplayList(const TDisplayList& image, const TRect& src, const TRect& dst) {
    painter.save();
    painter.setClipRect(RectOf(dst));
    painter.translate(dst.left - src.left, dst.top - src.top);
    painter.setClipRect(QRect(0, 0, image.width, image.height), Qt::IntersectClip);
    for (const TDrawOp& op : image.ops)
        std::visit([this](const auto& o) { PaintOp(painter, o); }, op);
    painter.restore();
}

bool TQtModuleFacts::ModuleFileName(std::string& out) const {
    // The object that holds this function: the bar's module when the kit is
    // linked into it, the program otherwise.
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&LcidOfLocale), &info) == 0 || !info.dli_fname)
        return false;
    const QString path = QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absoluteFilePath();
    out = path.toLocal8Bit().toStdString();
    return !out.empty();
}

uint32_t LcidOfLocale(const QLocale& locale) {
    struct TEntry {
        QLocale::Language language;
        QLocale::Territory territory; // AnyTerritory = the language's main one
        uint32_t lcid;
    };
    static const TEntry TABLE[] = {
        {QLocale::English, QLocale::UnitedKingdom, 0x0809},
        {QLocale::English, QLocale::AnyTerritory, 0x0409},
        {QLocale::Danish, QLocale::AnyTerritory, 0x0406},
        {QLocale::Dutch, QLocale::Belgium, 0x0813},
        {QLocale::Dutch, QLocale::AnyTerritory, 0x0413},
        {QLocale::Finnish, QLocale::AnyTerritory, 0x040B},
        {QLocale::French, QLocale::Canada, 0x0C0C},
        {QLocale::French, QLocale::AnyTerritory, 0x040C},
        {QLocale::German, QLocale::Austria, 0x0C07},
        {QLocale::German, QLocale::Switzerland, 0x0807},
        {QLocale::German, QLocale::AnyTerritory, 0x0407},
        {QLocale::Hungarian, QLocale::AnyTerritory, 0x040E},
        {QLocale::Italian, QLocale::AnyTerritory, 0x0410},
        {QLocale::Polish, QLocale::AnyTerritory, 0x0415},
        {QLocale::Portuguese, QLocale::Brazil, 0x0416},
        {QLocale::Portuguese, QLocale::AnyTerritory, 0x0816},
        {QLocale::Spanish, QLocale::AnyTerritory, 0x0C0A},
        {QLocale::Swedish, QLocale::AnyTerritory, 0x041D},
        {QLocale::Turkish, QLocale::AnyTerritory, 0x041F},
    };
    for (const TEntry& e : TABLE) {
        if (e.language == locale.language() &&
            (e.territory == QLocale::AnyTerritory || e.territory == locale.territory()))
            return e.lcid;
    }
    return 0x0409;
}

uint32_t TQtModuleFacts::UserDefaultLcid() const {
    return LcidOfLocale(QLocale::system());
}

std::string TQtModuleFacts::ServiceHostName() const {
    return SERVICE_HOST;
}

int TQtHostActions::OpenBrowserWindow(const std::string& link) {
    constexpr int STARTED = 33;
    constexpr int FILE_NOT_FOUND = 2;
    if (opener) {
        opener(link.c_str());
        return STARTED;
    }
    QString path = program;
    if (path.isEmpty())
        path = QDir(QCoreApplication::applicationDirPath()).filePath(BROWSER_PROGRAM);
    // One argument, never a shell: the link cannot carry commands.
    const QStringList args = link.empty() ? QStringList{} : QStringList{FromBar(link)};
    return QProcess::startDetached(path, args) ? STARTED : FILE_NOT_FOUND;
}

void TQtHostActions::ShowMessage(const std::string& text) {
    QMessageBox::information(nullptr, QStringLiteral("Navlet"), FromBar(text));
}

std::optional<std::string> TQtEnvironment::Lookup(const std::string& name) const {
    const QByteArray key = QByteArray::fromStdString(name);
    if (!qEnvironmentVariableIsSet(key.constData()))
        return std::nullopt;
    return qgetenv(key.constData()).toStdString();
}

void TQtClipboard::SetText(const std::string& text) {
    QGuiApplication::clipboard()->setText(FromBar(text));
}

namespace {

// A sound server's socket, or a sound card's playback device. Without one
// the player's ALSA backend would print its errors on every play.
bool SoundOutputExists() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && (QFileInfo::exists(runtime + QStringLiteral("/pulse/native")) ||
                               QFileInfo::exists(runtime + QStringLiteral("/pipewire-0"))))
        return true;
    if (qEnvironmentVariableIsSet("PULSE_SERVER"))
        return true;
    const QStringList devices =
        QDir(QStringLiteral("/dev/snd")).entryList({QStringLiteral("pcmC*p")}, QDir::System);
    return !devices.isEmpty();
}

} // namespace

TQtSound::TQtSound() {
    if (!SoundOutputExists() || ca_context_create(&context) != CA_SUCCESS)
        context = nullptr;
}

TQtSound::~TQtSound() {
    if (context)
        ca_context_destroy(context);
}

// The sound theme's event of each alias the bar plays; other aliases beep.
void TQtSound::PlayAlias(const std::string& alias) {
    const char* event = alias == "MailBeep" ? "message-new-instant" : nullptr;
    if (context && event &&
        ca_context_play(context, 0, CA_PROP_EVENT_ID, event, CA_PROP_EVENT_DESCRIPTION,
                        "Navlet chat message", nullptr) == CA_SUCCESS)
        return;
    // A player that failed once fails again, noisily: the bar beeps from now on.
    if (context && event) {
        ca_context_destroy(context);
        context = nullptr;
    }
    QApplication::beep();
}

} // namespace navlet::qt
