#include "client/web/kit/web_kit.h"

#include <cmath>
#include <cstdio>
#include <map>

#include <emscripten.h>

#include "client/web/kit/bar_text.h"
#include "protocol/ascii.h"

namespace navlet::web {

namespace {

constexpr double UNIX_EPOCH_DAYS = 25569.0; // 1 January 1970 in days since 30 December 1899
constexpr double MS_PER_DAY = 86400000.0;

// clang-format off
EM_JS(double, navlet_now_ms, (), { return Date.now(); });

// Minutes to add to local time to reach UTC at that instant.
EM_JS(double, navlet_zone_offset, (double ms), { return new Date(ms).getTimezoneOffset(); });

EM_JS(char*, navlet_short_date, (double ms), {
    var text;
    try {
        text = new Intl.DateTimeFormat(undefined, {dateStyle: "short", timeZone: "UTC"})
                   .format(new Date(ms));
    } catch (e) {
        text = new Date(ms).toISOString().slice(0, 10);
    }
    var size = lengthBytesUTF8(text) + 1;
    var ptr = _malloc(size);
    stringToUTF8(text, ptr, size);
    return ptr;
});

EM_JS(int, navlet_interval_start, (uint32_t handle, uint32_t ms), {
    var timers = Module.navletTimers || (Module.navletTimers = {});
    timers[handle] = setInterval(function() { _navlet_timer_tick(handle); }, ms);
    return 1;
});

EM_JS(void, navlet_interval_stop, (uint32_t handle), {
    var timers = Module.navletTimers || {};
    if (timers[handle] !== undefined) {
        clearInterval(timers[handle]);
        delete timers[handle];
    }
});

EM_JS(void, navlet_store_value, (const char* item, int type, const char* name, const uint8_t* data,
                                 int size), {
    var bytes = HEAPU8.subarray(data, data + size);
    var text = "";
    for (var i = 0; i < bytes.length; ++i)
        text += String.fromCharCode(bytes[i]);
    var entry = {};
    entry[UTF8ToString(item)] = {type: type, name: UTF8ToString(name), data: text};
    if (Module.navletStore)
        Module.navletStore(entry);
});

EM_JS(int, navlet_text_width, (const char* font, const char* text), {
    var canvas = Module.navletMeasure || (Module.navletMeasure = document.createElement("canvas"));
    var ctx = canvas.getContext("2d");
    ctx.font = UTF8ToString(font);
    return Math.round(ctx.measureText(UTF8ToString(text)).width);
});

// The font's own ascent and descent, as a line of it takes them in the page.
EM_JS(int, navlet_line_height, (const char* font), {
    var canvas = Module.navletMeasure || (Module.navletMeasure = document.createElement("canvas"));
    var ctx = canvas.getContext("2d");
    ctx.font = UTF8ToString(font);
    var m = ctx.measureText("Hg");
    return Math.ceil((m.fontBoundingBoxAscent || 0) + (m.fontBoundingBoxDescent || 0));
});

EM_JS(void, navlet_open_tab, (const char* link), {
    if (Module.navletOpenTab)
        Module.navletOpenTab(UTF8ToString(link));
});

EM_JS(void, navlet_clipboard_write, (const char* text), {
    try {
        navigator.clipboard.writeText(UTF8ToString(text)).catch(function(e) {
            console.log("Navlet: the clipboard refused the text: " + e);
        });
    } catch (e) {
        console.log("Navlet: no clipboard here: " + e);
    }
});

EM_JS(void, navlet_play_sound, (), {
    try {
        var audio = new Audio("navlet_beep.wav");
        audio.play().catch(function() {});
    } catch (e) {}
});

EM_JS(void, navlet_canvas_begin, (emscripten::EM_VAL canvasHandle, int dx, int dy, int left, int top,
                                  int width, int height), {
    var canvas = Emval.toValue(canvasHandle);
    var ctx = canvas.getContext("2d");
    ctx.save();
    ctx.beginPath();
    ctx.rect(left, top, width, height);
    ctx.clip();
    ctx.translate(dx, dy);
    Module.navletPaint = {ctx: ctx, canvas: canvas, texts: []};
});

EM_JS(void, navlet_canvas_end, (), {
    var paint = Module.navletPaint;
    if (!paint)
        return;
    paint.ctx.restore();
    // What the surface shows, for readers of the page (a canvas has no text).
    paint.canvas.setAttribute("aria-label", paint.texts.join(" "));
    Module.navletPaint = null;
});

EM_JS(void, navlet_canvas_fill, (int left, int top, int width, int height, const char* colour), {
    var ctx = Module.navletPaint.ctx;
    ctx.fillStyle = UTF8ToString(colour);
    ctx.fillRect(left, top, width, height);
});

EM_JS(void, navlet_canvas_text, (int x, int y, const char* text, const char* font, const char* colour,
                                 const char* background, int clipped, int cl, int ct, int cw, int ch), {
    var paint = Module.navletPaint;
    var ctx = paint.ctx;
    var s = UTF8ToString(text);
    paint.texts.push(s);
    ctx.save();
    if (clipped) {
        ctx.beginPath();
        ctx.rect(cl, ct, cw, ch);
        ctx.clip();
    }
    ctx.font = UTF8ToString(font);
    ctx.textBaseline = "top";
    if (background) {
        var m = ctx.measureText(s);
        ctx.fillStyle = UTF8ToString(background);
        ctx.fillRect(x, y, Math.ceil(m.width), Math.ceil(m.fontBoundingBoxAscent + m.fontBoundingBoxDescent) || 12);
    }
    ctx.fillStyle = UTF8ToString(colour);
    ctx.fillText(s, x, y);
    ctx.restore();
});

EM_JS(void, navlet_canvas_round_rect, (int left, int top, int width, int height, int ew, int eh,
                                       const char* fill, const char* pen), {
    var ctx = Module.navletPaint.ctx;
    var rx = ew / 2, ry = eh / 2;
    var l = left + 0.5, t = top + 0.5, r = left + width - 0.5, b = top + height - 0.5;
    ctx.beginPath();
    ctx.moveTo(l + rx, t);
    ctx.lineTo(r - rx, t);
    ctx.ellipse(r - rx, t + ry, rx, ry, 0, -Math.PI / 2, 0);
    ctx.lineTo(r, b - ry);
    ctx.ellipse(r - rx, b - ry, rx, ry, 0, 0, Math.PI / 2);
    ctx.lineTo(l + rx, b);
    ctx.ellipse(l + rx, b - ry, rx, ry, 0, Math.PI / 2, Math.PI);
    ctx.lineTo(l, t + ry);
    ctx.ellipse(l + rx, t + ry, rx, ry, 0, Math.PI, Math.PI * 1.5);
    ctx.closePath();
    ctx.fillStyle = UTF8ToString(fill);
    ctx.fill();
    ctx.lineWidth = 1;
    ctx.strokeStyle = UTF8ToString(pen);
    ctx.stroke();
});

EM_JS(void, navlet_console_line, (const char* text), { console.log(UTF8ToString(text)); });
// clang-format on

double DaysOfMs(double ms) {
    return ms / MS_PER_DAY + UNIX_EPOCH_DAYS;
}

double MsOfDays(double days) {
    return (days - UNIX_EPOCH_DAYS) * MS_PER_DAY;
}

std::string TakeString(char* text) {
    std::string s = text ? text : "";
    std::free(text);
    return s;
}

std::string Folded(std::string_view text) {
    return FoldCase(text);
}

const char* HivePrefix(THive hive) {
    return hive == THive::ClassesRoot ? "HKCR" : "HKCU";
}

} // namespace

double TWebClock::UtcNow() const {
    return DaysOfMs(navlet_now_ms());
}

double TWebClock::UtcToLocal(double utc) const {
    return utc - navlet_zone_offset(MsOfDays(utc)) / 1440.0;
}

double TWebClock::LocalNow() const {
    return UtcToLocal(UtcNow());
}

std::string TWebClock::ShortDate(double local) const {
    // The local date-time's fields read as UTC: no zone moves the date.
    return TakeString(navlet_short_date(MsOfDays(std::floor(local))));
}

namespace {

// Every page interval by its handle, unique across the page's schedulers.
std::map<TTimerHandle, TWebScheduler*>& Schedulers() {
    static std::map<TTimerHandle, TWebScheduler*> schedulers;
    return schedulers;
}

TTimerHandle nextTimerHandle = 1;

} // namespace

TWebScheduler::~TWebScheduler() {
    for (const auto& [handle, tick] : ticks) {
        navlet_interval_stop(uint32_t(handle));
        Schedulers().erase(handle);
    }
}

TTimerHandle TWebScheduler::Start(uint32_t intervalMs, std::function<void()> tick) {
    const TTimerHandle handle = nextTimerHandle++;
    ticks[handle] = std::move(tick);
    Schedulers()[handle] = this;
    navlet_interval_start(uint32_t(handle), std::max<uint32_t>(intervalMs, 1));
    return handle;
}

void TWebScheduler::Stop(TTimerHandle handle) {
    if (ticks.erase(handle) == 0)
        return;
    navlet_interval_stop(uint32_t(handle));
    Schedulers().erase(handle);
}

void TWebScheduler::Tick(TTimerHandle handle) {
    auto it = ticks.find(handle);
    if (it == ticks.end())
        return;
    // The tick may stop its own timer: it runs from a copy.
    std::function<void()> tick = it->second;
    tick();
}

// ---- Settings ----

class TWebRegistryKey : public TRegistryKey {
  public:
    TWebRegistryKey(TWebRegistry::TKeyData& k, THive h, std::string p)
        : key(k), hive(h), path(std::move(p)) {}

    TRegResult ReadString(std::string_view name, std::string& out) override {
        const TWebRegistry::TValue* v = Find(name);
        if (!v)
            return TRegResult::Missing;
        if (v->type != TWebRegistry::TType::String)
            return TRegResult::WrongType;
        out = v->data;
        return TRegResult::Ok;
    }
    TRegResult WriteString(std::string_view name, std::string_view value) override {
        return Write(name, TWebRegistry::TType::String, std::string(value));
    }
    TRegResult ReadInteger(std::string_view name, int32_t& out) override {
        const TWebRegistry::TValue* v = Find(name);
        if (!v)
            return TRegResult::Missing;
        if (v->type != TWebRegistry::TType::Integer || v->data.size() != 4)
            return TRegResult::WrongType;
        uint32_t u = 0;
        for (int i = 3; i >= 0; --i)
            u = u << 8 | uint8_t(v->data[size_t(i)]);
        out = int32_t(u);
        return TRegResult::Ok;
    }
    TRegResult WriteInteger(std::string_view name, int32_t value) override {
        std::string data(4, '\0');
        for (int i = 0; i < 4; ++i)
            data[size_t(i)] = char(uint32_t(value) >> (8 * i) & 0xFF);
        return Write(name, TWebRegistry::TType::Integer, data);
    }
    TRegResult ReadBinary(std::string_view name, std::span<uint8_t> buffer, size_t& size) override {
        const TWebRegistry::TValue* v = Find(name);
        if (!v)
            return TRegResult::Missing;
        if (v->type != TWebRegistry::TType::Binary)
            return TRegResult::WrongType;
        size = v->data.size();
        if (v->data.size() > buffer.size())
            return TRegResult::TooLong;
        std::copy(v->data.begin(), v->data.end(), buffer.begin());
        return TRegResult::Ok;
    }
    TRegResult WriteBinary(std::string_view name, std::span<const uint8_t> data) override {
        return Write(name, TWebRegistry::TType::Binary, std::string(data.begin(), data.end()));
    }

  private:
    const TWebRegistry::TValue* Find(std::string_view name) const {
        auto it = key.values.find(Folded(name));
        return it == key.values.end() ? nullptr : &it->second;
    }
    TRegResult Write(std::string_view name, TWebRegistry::TType type, std::string data) {
        TWebRegistry::TValue& v = key.values[Folded(name)];
        if (v.name.empty())
            v.name = std::string(name);
        v.type = type;
        v.data = std::move(data);
        const std::string item = TWebRegistry::ItemName(hive, path, v.name);
        navlet_store_value(item.c_str(), int(type), v.name.c_str(),
                           reinterpret_cast<const uint8_t*>(v.data.data()), int(v.data.size()));
        return TRegResult::Ok;
    }

    TWebRegistry::TKeyData& key;
    THive hive;
    std::string path;
};

std::string TWebRegistry::ItemName(THive hive, std::string_view path, std::string_view name) {
    return std::string(HivePrefix(hive)) + "\\" + NormalisedKeyPath(path) + "\\" +
           std::string(name);
}

std::unique_ptr<TRegistryKey> TWebRegistry::OpenKey(THive hive, std::string_view path,
                                                    TKeyOpen mode) {
    const std::string normal = NormalisedKeyPath(path);
    const std::string folded = std::string(HivePrefix(hive)) + "\\" + Folded(normal);
    auto it = keys.find(folded);
    if (it == keys.end()) {
        if (mode != TKeyOpen::Create)
            return nullptr;
        it = keys.emplace(folded, TKeyData{}).first;
    }
    return std::make_unique<TWebRegistryKey>(it->second, hive, normal);
}

void TWebRegistry::Load(THive hive, const std::string& path, const std::string& name, TType type,
                        std::string data) {
    if (type != TType::String && type != TType::Integer && type != TType::Binary)
        return;
    if (type == TType::Integer && data.size() != 4)
        return;
    TKeyData& key = keys[std::string(HivePrefix(hive)) + "\\" + Folded(NormalisedKeyPath(path))];
    key.values[Folded(name)] = TValue{type, name, std::move(data)};
}

// ---- Text and drawing ----

std::string CssFont(const TFont& font, bool bold) {
    const int pixels = std::max(1, int(std::lround(font.pointSize * 96.0 / 72.0)));
    char css[160];
    // A generic family ("system-ui", the browser's own UI font) is a keyword,
    // which quotes would turn into a family of that name.
    const bool generic = font.name == "system-ui" || font.name == "sans-serif";
    std::snprintf(css, sizeof css,
                  generic ? "%s%dpx %s, \"DejaVu Sans\", sans-serif"
                          : "%s%dpx \"%s\", Verdana, \"DejaVu Sans\", sans-serif",
                  bold ? "bold " : "", pixels, font.name.c_str());
    return css;
}

std::string CssColor(TColor color) {
    if (IsSystemColor(color)) {
        switch (color) {
        case clWindow:
            return "#ffffff";
        case clWindowText:
            return "#000000";
        case clBtnFace:
            return "#f0f0f0";
        case clInactiveCaptionText:
            return "#434e54";
        default:
            return "#808080";
        }
    }
    char css[8];
    std::snprintf(css, sizeof css, "#%02x%02x%02x", unsigned(color & 0xFF),
                  unsigned(color >> 8 & 0xFF), unsigned(color >> 16 & 0xFF));
    return css;
}

int32_t TWebTextMetrics::TextWidth(const TFont& font, const std::string& text) {
    return navlet_text_width(CssFont(font).c_str(), PageText(text).c_str());
}

int32_t TWebTextMetrics::LineHeight(const TFont& font) {
    const int32_t measured = navlet_line_height(CssFont(font).c_str());
    // A browser that does not measure a font's box gets the estimate.
    return measured > 0 ? measured : TTextMetrics::LineHeight(font);
}

void TWebCanvas::PaintDisplayList(const TDisplayList& image, const TRect& src, const TRect& dst) {
    // The image's point (x, y) lands on dst's corner plus (x - src.left, y - src.top).
    navlet_canvas_begin(canvas.as_handle(), dst.left - src.left, dst.top - src.top, dst.left,
                        dst.top, dst.Width(), dst.Height());
    for (const TDrawOp& op : image.ops) {
        if (const auto* fill = std::get_if<TFillRect>(&op)) {
            navlet_canvas_fill(fill->rect.left, fill->rect.top, fill->rect.Width(),
                               fill->rect.Height(), CssColor(fill->color).c_str());
        } else if (const auto* text = std::get_if<TTextOut>(&op)) {
            const std::string background = text->opaque ? CssColor(text->background) : "";
            navlet_canvas_text(text->x, text->y, PageText(text->text).c_str(),
                               CssFont(text->font).c_str(), CssColor(text->font.color).c_str(),
                               text->opaque ? background.c_str() : nullptr, text->clipped ? 1 : 0,
                               text->clip.left, text->clip.top, text->clip.Width(),
                               text->clip.Height());
        } else if (const auto* round = std::get_if<TRoundRect>(&op)) {
            navlet_canvas_round_rect(round->rect.left, round->rect.top, round->rect.Width(),
                                     round->rect.Height(), round->ellipseWidth,
                                     round->ellipseHeight, CssColor(round->fill).c_str(),
                                     CssColor(round->pen).c_str());
        }
    }
    navlet_canvas_end();
}

// ---- Facts of the host ----

bool TWebModuleFacts::ModuleFileName(std::string& out) const {
    // The module as the page loaded it; nothing is ever written beside it.
    out = "/extension/navlet_panel.wasm";
    return true;
}

std::string TWebModuleFacts::ServiceHostName() const {
    return facts.serviceHost.empty() ? "www.navlet.net" : facts.serviceHost;
}

std::string TWebModuleFacts::HostStatedVersion() const {
    return facts.manifestVersion;
}

std::optional<std::string> TWebEnvironment::Lookup(const std::string& name) const {
    auto it = facts.environment.find(name);
    if (it == facts.environment.end())
        return std::nullopt;
    return it->second;
}

int TWebHostActions::OpenBrowserWindow(const std::string& link) {
    constexpr int STARTED = SHELL_OK_ABOVE + 1;
    navlet_open_tab(PageText(link).c_str());
    return STARTED;
}

void TWebClipboard::SetText(const std::string& text) {
    navlet_clipboard_write(PageText(text).c_str());
}

void TWebSound::PlayAlias(const std::string&) {
    navlet_play_sound();
}

void TWebHostActions::NewerModuleOffered(const std::string& version) {
    const std::string line = "Navlet: the service offers a newer module (" + version +
                             "); the browser updates this extension, so it is not downloaded";
    navlet_console_line(line.c_str());
}

} // namespace navlet::web

extern "C" EMSCRIPTEN_KEEPALIVE void navlet_timer_tick(uint32_t handle) {
    auto& schedulers = navlet::web::Schedulers();
    auto it = schedulers.find(handle);
    if (it != schedulers.end())
        it->second->Tick(handle);
}
