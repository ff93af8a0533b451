#include "client/web/bar/dom.h"

#include <deque>
#include <vector>

#include <emscripten.h>

namespace navlet::web {

namespace {

std::vector<std::function<void(val)>>& Handlers() {
    static std::vector<std::function<void(val)>> handlers;
    return handlers;
}

std::deque<std::function<void()>>& Posted() {
    static std::deque<std::function<void()>> posted;
    return posted;
}

// clang-format off
EM_JS(void, navlet_listen, (emscripten::EM_VAL target, const char* type, int id, int prevent), {
    Emval.toValue(target).addEventListener(UTF8ToString(type), function(e) {
        if (prevent)
            e.preventDefault();
        _navlet_dom_event(id, Emval.toHandle(e));
    });
});

EM_JS(void, navlet_post, (), { setTimeout(function() { _navlet_posted(); }, 0); });

// ARGB pixels (straight alpha), `stride` per row, from (x0, 0): w x h of them.
EM_JS(emscripten::EM_VAL, navlet_picture_canvas, (const uint32_t* pixels, int stride, int x0, int w,
                                                  int h), {
    var canvas = document.createElement("canvas");
    canvas.width = w;
    canvas.height = h;
    var ctx = canvas.getContext("2d");
    var image = ctx.createImageData(w, h);
    var base = pixels >> 2;
    for (var y = 0; y < h; ++y) {
        for (var x = 0; x < w; ++x) {
            var p = HEAPU32[base + y * stride + x0 + x];
            var o = (y * w + x) * 4;
            image.data[o] = (p >>> 16) & 255;
            image.data[o + 1] = (p >>> 8) & 255;
            image.data[o + 2] = p & 255;
            image.data[o + 3] = (p >>> 24) & 255;
        }
    }
    ctx.putImageData(image, 0, 0);
    return Emval.toHandle(canvas);
});

EM_JS(emscripten::EM_VAL, navlet_column_canvas, (const uint32_t* pixels, int w, int h), {
    var canvas = document.createElement("canvas");
    canvas.width = w;
    canvas.height = h;
    var ctx = canvas.getContext("2d");
    var image = ctx.createImageData(w, h);
    var base = pixels >> 2;
    for (var x = 0; x < w; ++x) {
        for (var y = 0; y < h; ++y) {
            var p = HEAPU32[base + x * h + y];
            var o = (y * w + x) * 4;
            image.data[o] = p & 255;
            image.data[o + 1] = (p >>> 8) & 255;
            image.data[o + 2] = (p >>> 16) & 255;
            image.data[o + 3] = 255;
        }
    }
    ctx.putImageData(image, 0, 0);
    return Emval.toHandle(canvas);
});
// clang-format on

} // namespace

val Document() {
    return val::global("document");
}

val MakeElement(const char* tag, const std::string& id, const val& parent) {
    val element = Document().call<val>("createElement", std::string(tag));
    if (!id.empty())
        element.call<void>("setAttribute", std::string("id"), id);
    element["style"].set("position", "absolute");
    element["style"].set("boxSizing", "border-box");
    if (parent.isNull() || parent.isUndefined())
        Document()["body"].call<void>("appendChild", element);
    else
        parent.call<void>("appendChild", element);
    return element;
}

void PlaceElement(val& element, const TRect& rect) {
    val style = element["style"];
    style.set("left", std::to_string(rect.left) + "px");
    style.set("top", std::to_string(rect.top) + "px");
    style.set("width", std::to_string(std::max(0, rect.Width())) + "px");
    style.set("height", std::to_string(std::max(0, rect.Height())) + "px");
}

void ShowElement(val& element, bool shown) {
    element["style"].set("display", shown ? "" : "none");
}

void Listen(const val& target, const char* type, std::function<void(val)> handler,
            TDefault handling) {
    Handlers().push_back(std::move(handler));
    navlet_listen(target.as_handle(), type, int(Handlers().size() - 1),
                  handling == TDefault::Prevent ? 1 : 0);
}

void Post(std::function<void()> work) {
    Posted().push_back(std::move(work));
    navlet_post();
}

val PictureCanvas(const art::TPicture& picture, int index) {
    const int cells = art::CellCount(picture);
    if (index < 0 || index >= cells)
        return val::take_ownership(
            navlet_picture_canvas(picture.pixels, picture.width, 0, picture.width, picture.height));
    return val::take_ownership(navlet_picture_canvas(
        picture.pixels, picture.width, index * picture.height, picture.height, picture.height));
}

val ColumnPixelsCanvas(const TColor* pixels, int32_t width, int32_t height) {
    return val::take_ownership(navlet_column_canvas(pixels, width, height));
}

int32_t OffsetX(const val& event) {
    return event["offsetX"].as<int32_t>();
}

int32_t OffsetY(const val& event) {
    return event["offsetY"].as<int32_t>();
}

} // namespace navlet::web

extern "C" {

EMSCRIPTEN_KEEPALIVE void navlet_dom_event(int id, emscripten::EM_VAL event) {
    navlet::web::val e = navlet::web::val::take_ownership(event);
    auto& handlers = navlet::web::Handlers();
    if (id < 0 || size_t(id) >= handlers.size())
        return;
    // A handler may add listeners (and grow the list): it runs from a copy.
    std::function<void(navlet::web::val)> handler = handlers[size_t(id)];
    handler(e);
}

EMSCRIPTEN_KEEPALIVE void navlet_posted() {
    auto& posted = navlet::web::Posted();
    if (posted.empty())
        return;
    std::function<void()> work = std::move(posted.front());
    posted.pop_front();
    work();
}
}
